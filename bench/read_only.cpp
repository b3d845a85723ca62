// Reads a gene-set file and a gene-list file with the program's own readers
// and nothing else, and prints how long each took: the input share of a run.
// The optional thread count is the run's -t, which the readers may use too.
#include <chrono>
#include <cstdio>
#include <algorithm>
#include <cstdlib>

#include "config/config.h"
#include "input/gene_list.h"
#include "input/gene_sets.h"

static double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: quorin_read GENE_SET_FILE GENE_LIST_FILE [THREADS]\n");
        return 1;
    }
    if (argc == 4) thread_n = std::max(1, std::atoi(argv[3]));
    auto start = std::chrono::steady_clock::now();
    read_vemo_dataset_bed(argv[1]);
    double sets = seconds_since(start);
    start = std::chrono::steady_clock::now();
    read_rank_data(argv[2]);
    double list = seconds_since(start);
    std::size_t genes = vemo_set.genes.size();
    std::printf("read_gene_sets_s\t%.3f\nread_gene_list_s\t%.3f\nsets\t%zu\nset_genes\t%zu\nlist_genes\t%zu\n", sets,
                list, set_count(vemo_set), genes, rank_data.size());
    // Leave without releasing the tables, as a complete run does.
    std::fflush(stdout);
    std::_Exit(0);
}
