#pragma once
#include <string>

// Reads the gene-list file into rank_data, then treats the scores by the
// second character of adj_method.
void read_rank_data(std::string file_name);
void vemo_list_abs();
void vemo_list_rev();
