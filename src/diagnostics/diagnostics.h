#pragma once
#include <string>

// --verbose: what the readers met, and what testing left out or found
// doubtful, on standard error. Counts and the first few names, never a flood.
void report_reading(const std::string& gene_set_file, const std::string& gene_list_file);
void report_testing();
