#pragma once
#include <deque>
#include <map>
#include <memory>
#include <memory_resource>
#include <cstdint>
#include <string>
#include <vector>

// gene name -> score, in byte order of the names (std::less<> also finds
// keys by string_view, in the same order). The gene-set reader gives its
// tables a pool for their nodes; other tables use the heap.
using gene_table = std::pmr::map<std::string, double, std::less<>>;
// gene-set name -> its genes
using set_table = std::map<std::string, gene_table, std::less<>>;

// Rankings side by side, held once as numbers: the score of gene row g in
// ranking k is values[k * genes.size() + g], and present[] says whether the
// gene is in that ranking at all. 9 bytes per gene per ranking. A ranking's
// scores lie together: the workers test one ranking's sets at a time.
struct score_matrix {
    std::vector<std::string> names;  // the rankings, in header order
    std::vector<std::string> genes;  // the rows, in order of first appearance
    std::vector<double> values;
    std::vector<std::uint8_t> present;
};

// The tree nodes of the gene-set tables: one block cut into one pool per set,
// instead of one malloc per gene. A table must be released before the pool
// its nodes live in.
struct node_storage {
    std::unique_ptr<char[]> block;
    std::deque<std::pmr::monotonic_buffer_resource> pools;
};
