#pragma once
#include <string>
#include <string_view>

// Reads the gene-set file into vemo_set, dropping records scored below
// tscore, then treats the scores by the first character of adj_method.
// A file of 4 MB or more is read on up to thread_n threads (at most 8); the
// table and the line reported on error do not depend on their number.
void read_vemo_dataset_bed(std::string file_name);
void vemo_set_abs();
void vemo_set_rev();

// One line of the gene-set file, already cut at its carriage return: a
// comment or empty line, a record below the cut-off, a record (set, gene and
// score then hold its values; set and gene point into line), or a wrong line.
// A record below the cut-off is `below`, with set its set name.
enum class set_line_kind { skip, below, record, wrong };
set_line_kind parse_set_line(std::string_view line, std::string_view& set, std::string_view& gene, double& score);
