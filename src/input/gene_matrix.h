#pragma once
#include <string>

#include "common/tables.h"
#include "config/run_options.h"
#include "input/read_file.h"

// Reads a matrix of rankings: a header line, "gene" and one
// name per ranking, then a gene and its score in every ranking per line. NA
// or an empty field: the gene is not in that ranking. Each ranking reads as a
// gene list holding only its column would: scores as atof reads them, the
// later line of a gene wins, the second character of adj_method treats them.
// The file is read twice, a block of lines at a time, so that of a plain or
// BGZF file only the matrix is held whole; a pipe and other gzip files are
// held whole as read_file holds them (line_blocks.h).
score_matrix read_list_matrix(const std::string& file_name, const run_options& o, read_counts& counts);

// The same from bytes already in memory; file_name is what messages call them.
score_matrix read_matrix_bytes(file_bytes bytes, const std::string& file_name, const run_options& o,
                               read_counts& counts);

// The gene list as a matrix of one unnamed ranking, for the one pairing path.
score_matrix matrix_from_list(const gene_table& rank_data);
