#include "config/config.h"

#include <climits>

#include "common/records.h"

double tscore;
int thread_n;
bool mute;
bool auto_p;
bool dump;
std::string report_file;
std::string wt_method;
std::string adj_method;
weighting wt_kind;
fdr_method fdr_kind;
int min_size;
int max_size;
bool size_column;
int digits;
bool verbose;
long long permutations;
long long exceed;
unsigned long long seed;
bool many_lists;
bool progress_bar;

void reset_run_config() {
    tscore = 10.0;
    thread_n = 1;
    mute = true;
    auto_p = false;
    dump = false;
    report_file.clear();
    set_wt_method("1");
    adj_method = "11";
    fdr_kind = fdr_method::position;
    min_size = 1;
    max_size = INT_MAX;
    size_column = false;
    digits = 6;
    verbose = false;
    permutations = 0;
    exceed = 20;
    seed = 1;
    many_lists = false;
    progress_bar = false;
}

// The defaults are set here, before main, by the same function that tests
// and fuzz targets call between runs. Defined after the strings it assigns,
// so they are constructed first.
static const bool defaults_set = (reset_run_config(), true);

void set_wt_method(const std::string& method) {
    wt_method = method;
    wt_kind = method == "3"   ? weighting::set
              : method == "2" ? weighting::list
              : method == "1" ? weighting::both
                              : weighting::unknown;
}

read_counts set_file_counts;
read_counts list_file_counts;

set_table vemo_set;
gene_table rank_data;
score_matrix list_matrix;
std::vector<struct fstat> result_stats;
std::mutex thread_lock;
