#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "config/config.h"

// The genes of the rankings hashed by name, for pairing many sets: a lookup
// costs one hash instead of a walk down a tree. The views point into the
// matrix's gene names.
struct list_index {
    std::unordered_map<std::string_view, std::uint32_t> rows;
    const score_matrix* matrix = nullptr;
};
void make_list_index(const score_matrix& matrix, list_index& index);

// The matrix row of every gene of a set, in the set's order; no_row for a
// gene in no ranking. Found once per set, whatever the number of rankings.
constexpr std::uint32_t no_row = ~0u;
void set_rows(const gene_table& set, const list_index& list, std::vector<std::uint32_t>& rows);

// The genes common to a gene set and one ranking, from the set's rows.
void overlap_rows(const gene_table& set, const std::vector<std::uint32_t>& rows, const score_matrix& matrix,
                  std::size_t ranking, std::vector<std::string>& genes, std::vector<double>& vec_x,
                  std::vector<double>& vec_y);

// The genes common to a gene set and one ranking of the matrix (a gene list
// is a matrix of one), in byte order of name, with the set's and the
// ranking's score of each.
void overlap_set(const gene_table& set, const list_index& list, std::size_t ranking, std::vector<std::string>& genes,
                 std::vector<double>& vec_x, std::vector<double>& vec_y);
