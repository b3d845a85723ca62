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

// wt_method as the tests read it, parsed once when it is set.
enum class weighting { both, list, set, unknown };
extern weighting wt_kind;
void set_wt_method(const std::string& method);

// The process-wide tables. vemo_set_nodes is defined before vemo_set, so that
// at exit the tables are released before the pools that hold their nodes.
extern node_storage vemo_set_nodes;
extern set_table vemo_set;
extern gene_table rank_data;  // the gene list
extern std::vector<struct fstat> result_stats;
extern std::mutex thread_lock;
