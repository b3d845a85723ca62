#pragma once
#include <string>
#include <vector>

#include "common/records.h"
#include "common/tables.h"
#include "config/run_options.h"

// --genes: one row per paired gene of every tested set, in table order, each
// set's genes from the largest weight down as in the detail file:
//   [List]  Gene-set  Gene  Set score  List score  Set rank  List rank  Weight  Follows
// Set rank is the gene's descending rank among the set's paired genes (as in
// the detail file); List rank its descending rank in the whole ranking, 1 for
// the largest score, ties sharing the first rank. Follows is yes or no, as the
// report colours the gene.
void save_genes(const std::string& file_name, const std::vector<struct fstat>& records, const run_options& o,
                const score_matrix& rankings);
