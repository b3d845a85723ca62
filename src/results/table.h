#pragma once
#include <cstdio>
#include <string>

// Adjusts the p-values, then writes the result table to standard output.
void print_result();
// Adjusts the p-values, then writes the result table to the named file.
void save_result(std::string file_name);
// Writes the table as it stands, into the stream's buffer.
void write_table(std::FILE* f);
