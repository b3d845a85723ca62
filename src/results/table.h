#pragma once
#include <cstdio>
#include <string>

// Adjusts the p-values, then writes the result table to standard output.
void print_result();
// Adjusts the p-values, then writes the result table to the named file.
void save_result(std::string file_name);
// The columns of a result line up to the p-value, as the table and the
// progress lines write them; the table adds the FDR.
std::string result_header();
std::string result_fields(const struct fstat& s);
// Writes the table as it stands, into the stream's buffer.
void write_table(std::FILE* f);
