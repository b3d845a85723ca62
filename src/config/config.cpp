#include "config/config.h"

double tscore = 10.0;
int thread_n = 1;
bool mute = true;
bool auto_p = false;
bool dump = false;
std::string wt_method = "1";
std::string adj_method = "11";

node_storage vemo_set_nodes;
set_table vemo_set;
gene_table rank_data;
std::vector<struct fstat> result_stats;
std::mutex thread_lock;
