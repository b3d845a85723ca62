#pragma once
#include <deque>
#include <map>
#include <memory>
#include <memory_resource>
#include <mutex>
#include <string>
#include <vector>

#include "results/records.h"

// Run configuration: written only while the options are taken, read afterwards.
extern double tscore;
extern int thread_n;
extern bool mute;
extern bool auto_p;
extern bool dump;
extern std::string wt_method;
extern std::string adj_method;

// gene name -> score, in byte order of the names (std::less<> also finds
// keys by string_view, in the same order). The reader gives the gene-set
// tables a pool for their nodes; other tables use the heap.
using gene_table = std::pmr::map<std::string, double, std::less<>>;
using set_table = std::map<std::string, gene_table, std::less<>>;

// The tree nodes of vemo_set's gene tables: one block cut into one pool per
// set, instead of one malloc per gene. Defined before vemo_set, so released
// after it.
struct node_storage {
    std::unique_ptr<char[]> block;
    std::deque<std::pmr::monotonic_buffer_resource> pools;
};
extern node_storage vemo_set_nodes;
extern set_table vemo_set;  // gene-set name -> its genes
extern gene_table rank_data;                         // the gene list
extern std::vector<struct fstat> result_stats;
extern std::mutex thread_lock;
