#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "common/records.h"
#include "common/tables.h"

// Each gene row's position in one ranking of the matrix, as the list ranks
// its genes: descending by score, ties sharing the first position of their
// run (vec_rank_rev over the ranking's genes in row order); 0 for a gene not
// in the ranking. length is the number of genes in the ranking.
std::vector<int> list_positions(const score_matrix& m, std::size_t ranking, std::size_t& length);

// The heatmap of estimates of the many-ranking page shows at most this many
// sets (those significant in some ranking with the smallest FDR) and the
// first this many rankings; the per-ranking summary and the table have all.
constexpr std::size_t heatmap_max_sets = 100;
constexpr std::size_t heatmap_max_rankings = 500;

struct heatmap_layout {
    std::vector<std::string> sets;  // rows, top to bottom: by mean estimate over the columns, largest first
    std::size_t rankings = 0;       // columns: rankings 0 .. rankings - 1
    std::vector<long long> cells;   // row-major, sets x rankings: the record's place in the table, or -1
    std::size_t candidates = 0;     // sets with FDR below 0.05 in at least one ranking
};

// The records of a --lists run, in table order (each ranking's lines together).
heatmap_layout lay_out_heatmap(const std::vector<struct fstat>& records, std::size_t rankings);
