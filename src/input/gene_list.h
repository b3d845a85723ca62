#pragma once
#include <string>

#include "common/tables.h"
#include "config/run_options.h"
#include "input/read_file.h"

// Reads the gene-list file, then treats the scores by the second character
// of adj_method.
gene_table read_rank_data(const std::string& file_name, const run_options& o, read_counts& counts);

// The same from bytes already in memory.
gene_table read_list_bytes(file_bytes bytes, const run_options& o, read_counts& counts);

void vemo_list_abs(gene_table& list);
void vemo_list_rev(gene_table& list);
