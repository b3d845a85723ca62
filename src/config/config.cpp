#include "config/config.h"

#include "common/records.h"

double tscore = 10.0;
int thread_n = 1;
bool mute = true;
bool auto_p = false;
bool dump = false;
std::string report_file;
std::string wt_method = "1";
std::string adj_method = "11";
weighting wt_kind = weighting::both;

void set_wt_method(const std::string& method) {
    wt_method = method;
    wt_kind = method == "3"   ? weighting::set
              : method == "2" ? weighting::list
              : method == "1" ? weighting::both
                              : weighting::unknown;
}

// Objects of one file are destroyed in the reverse order of their
// definitions: the tables go before the node pools they point into.
node_storage vemo_set_nodes;
set_table vemo_set;
gene_table rank_data;
std::vector<struct fstat> result_stats;
std::mutex thread_lock;
