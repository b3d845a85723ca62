#pragma once
#include <string>

// Reads the gene-set file into vemo_set, dropping records scored below
// tscore, then treats the scores by the first character of adj_method.
void read_vemo_dataset_bed(std::string file_name);
void vemo_set_abs();
void vemo_set_rev();
