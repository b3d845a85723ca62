#pragma once
#include <string>

// Reads a matrix of rankings into list_matrix: a header line, "gene" and one
// name per ranking, then a gene and its score in every ranking per line. NA
// or an empty field: the gene is not in that ranking. Each ranking reads as a
// gene list holding only its column would: scores as atof reads them, the
// later line of a gene wins, the second character of adj_method treats them.
void read_list_matrix(std::string file_name);

// The gene list as a matrix of one unnamed ranking, for the one pairing path.
void matrix_from_list();
