#pragma once
#include <atomic>
#include <string>
#include <vector>

#include "input/overlap.h"

// The gene sets, in byte order of name, handed out one at a time to the
// workers for each ranking, and where each gene is in the rankings.
struct work_queue {
    const set_table* sets = nullptr;
    std::size_t rankings = 1;
    std::atomic<std::size_t> next{0};
    std::vector<std::uint32_t> rows;  // the matrix row of each gene number (gene_rows)
};

// The sets --verbose names after testing, each list in byte order of name.
struct test_notes {
    std::vector<std::string> no_pairs;     // no gene in the gene list
    std::vector<std::string> out_of_size;  // left out by --min-size or --max-size
    std::vector<std::string> small;        // tested on fewer than 5 genes
    std::vector<std::string> constant;     // set or list scores all equal: tau is 0
};
extern test_notes run_notes;

// Tests every gene set of vemo_set on worker threads and leaves one record
// per tested set in result_stats, in byte order of name.
void performe_threading();

// Workers: each takes names from the queue until it is empty and tests each
// set at PP 0.5, or at the five PP values 0.8 ... 0.2 keeping the smallest p-value.
void performe_wrktf_analysis(work_queue* queue);
void performe_wrktf_analysis_auto_p(work_queue* queue);

// The number of threads for n gene sets: one per batch of ceil(n / thread_n) sets.
unsigned thread_count(unsigned n, int threads);

// The most workers a run starts: four per processor the system reports.
unsigned worker_cap();
