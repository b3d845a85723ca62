#pragma once
#include <cstdint>
#include <vector>

#include "common/tables.h"

// Pairing through numbers: the matrix row of every gene number of the sets is
// found once per run, and a set is then paired by reading that array, whatever
// the number of sets and rankings.
constexpr std::uint32_t no_row = ~0u;

// The matrix row of each gene of the sets, by gene number; no_row for a gene
// in no ranking. Looked up on `threads` threads for a long list.
void gene_rows(const set_table& sets, const score_matrix& matrix, std::vector<std::uint32_t>& rows, int threads = 1);

// The genes common to set k and one ranking of the matrix (a gene list is a
// matrix of one), in byte order of name: their numbers, and the set's and the
// ranking's score of each.
void overlap_set(const set_table& sets, std::size_t k, const std::vector<std::uint32_t>& rows,
                 const score_matrix& matrix, std::size_t ranking, std::vector<std::uint32_t>& genes,
                 std::vector<double>& vec_x, std::vector<double>& vec_y);

// The names of gene numbers, as the detail file writes them.
void gene_names(const set_table& sets, const std::vector<std::uint32_t>& genes, std::vector<std::string>& names);
