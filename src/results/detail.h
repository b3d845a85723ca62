#pragma once
#include <string>

// Writes one block of per-gene detail for every record with an FDR below 0.05.
void save_data(std::string file_name);
