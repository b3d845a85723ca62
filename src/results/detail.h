#pragma once
#include <cstdio>
#include <string>
#include <vector>

#include "common/records.h"
#include "config/run_options.h"

// Writes one block of per-gene detail for each of the records with an FDR
// below 0.05, into the stream's buffer: the file a ranking at a time.
void write_detail_blocks(std::FILE* f, const std::vector<struct fstat>& records, const run_options& o,
                         const std::vector<std::string>& rankings);

// Writes one block of per-gene detail for every record with an FDR below 0.05.
void save_data(const std::string& file_name, const std::vector<struct fstat>& records, const run_options& o,
               const std::vector<std::string>& rankings);
