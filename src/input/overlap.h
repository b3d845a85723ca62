#pragma once
#include <string>
#include <vector>

#include "config/config.h"

// The genes common to a gene set and the gene list, in byte order of name,
// with the set's and the list's score of each.
void overlap_set(const gene_table& set, const gene_table& list, std::vector<std::string>& genes,
                 std::vector<double>& vec_x, std::vector<double>& vec_y);
