#pragma once
#include <cstddef>
#include <string>

#include "common/records.h"

// Genes drawn in one scatter at most: those of largest weight. The rest
// weigh least and would only make the file larger.
constexpr std::size_t panel_max_genes = 4000;

// Whether a gene follows the set's direction: its two descending ranks lie
// in the same half of the n paired genes (direction +) or in opposite
// halves (direction -). Genes on the middle rank of either side follow
// neither way and count as not following.
bool follows_direction(int rank_x, int rank_y, std::size_t n, char cor_dir);

// One set of the detail selection: its statistics, a scatter of the set's
// scores against the list's scores of its paired genes (dot area in
// proportion to weight, colour by direction), and its ten genes of largest
// weight. An HTML <section>; number is its place in the table (1-based).
std::string set_panel(const struct fstat& s, std::size_t number);
