#pragma once
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "config/config.h"

// The gene list hashed by name, for pairing many sets: a lookup costs one hash
// instead of a walk down the tree. The views point into the list's keys.
using list_index = std::unordered_map<std::string_view, double>;
void make_list_index(const gene_table& list, list_index& index);

// The genes common to a gene set and the gene list, in byte order of name,
// with the set's and the list's score of each.
void overlap_set(const gene_table& set, const list_index& list, std::vector<std::string>& genes,
                 std::vector<double>& vec_x, std::vector<double>& vec_y);
