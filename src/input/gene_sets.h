#pragma once
#include <string>

#include "common/tables.h"
#include "config/run_options.h"
#include "input/read_file.h"

// Reads the gene-set file, dropping records scored below tscore, then treats
// the scores by the first character of adj_method. A file of 4 MB or more is
// read on up to thread_n threads (at most 8); the table and the line reported
// on error do not depend on their number.
set_table read_vemo_dataset_bed(const std::string& file_name, const run_options& o, read_counts& counts);

// Reads the gene-set file, refusing a GMT file (refuse_gmt). A regular file
// that is not compressed is parsed as it is read, a block of `block` bytes
// at a time, in stretches on up to thread_n threads (at most 8) from
// `split_at` bytes up; the table, the counts and the first error, and the
// line it names, are those of reading it whole first (read_file, then
// read_set_bytes).
set_table read_set_file(const std::string& file_name, const run_options& o, read_counts& counts,
                        std::size_t block = std::size_t{1} << 18, std::size_t split_at = std::size_t{1} << 22);

// The same from bytes already in memory (a file's, or text made from records).
set_table read_set_bytes(file_bytes bytes, const run_options& o, read_counts& counts);

void vemo_set_abs(set_table& t);
void vemo_set_rev(set_table& t);
