#pragma once
#include <mutex>
#include <string>
#include <vector>

#include "common/tables.h"

// Run configuration: written only while the options are taken, read afterwards.
extern double tscore;
extern int thread_n;
extern bool mute;
extern bool auto_p;
extern bool dump;
extern std::string report_file;  // --report; empty: no report
extern std::string wt_method;
extern std::string adj_method;

// Extensions, each off unless its option is given.
enum class fdr_method { position, bh };
extern fdr_method fdr_kind;  // --fdr
extern int min_size;         // --min-size: fewest paired genes a tested set has
extern int max_size;         // --max-size: most paired genes a tested set has
extern bool size_column;     // --size
extern int digits;           // --digits: significant digits of the numbers written
extern bool verbose;         // --verbose
extern long long permutations;  // --permutations: 0 for the analytic p-value
extern long long exceed;        // --exceed: the sequential stop
extern unsigned long long seed;  // --seed
extern bool many_lists;          // --lists
extern bool progress_bar;        // --progress: a bar on standard error when it is a terminal

// Every value above back to its default, as before the options are taken.
void reset_run_config();

// wt_method as the tests read it, parsed once when it is set.
enum class weighting { both, list, set, unknown };
extern weighting wt_kind;
void set_wt_method(const std::string& method);

// What a reader met, for --verbose and the report. Names are kept only with
// --verbose, the first few of each kind.
struct read_counts {
    std::size_t lines = 0;       // comments and empty lines included
    std::size_t records = 0;     // records stored; a gene given twice counts twice
    std::size_t below = 0;       // gene-set records scored below the cut-off
    std::size_t duplicates = 0;  // records that replaced an earlier one of their gene
    std::vector<std::string> duplicate_names;  // "gene in set" in the gene-set file
    std::size_t sets_emptied = 0;              // sets whose every record is below the cut-off
    std::vector<std::string> emptied_names;
};
extern read_counts set_file_counts;
extern read_counts list_file_counts;

// The process-wide tables.
extern set_table vemo_set;
extern gene_table rank_data;  // the gene list
extern score_matrix list_matrix;  // --lists: the rankings, each tested as a gene list
extern std::vector<struct fstat> result_stats;
extern std::mutex thread_lock;
