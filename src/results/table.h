#pragma once
#include <cstdio>
#include <string>
#include <vector>

#include "common/records.h"
#include "config/run_options.h"

// The columns of a result line up to the p-value, as the table and the
// progress lines write them; the table adds the FDR. `rankings` names the
// rankings of --lists.
std::string result_header(const run_options& o);
std::string result_fields(const struct fstat& s, const run_options& o, const std::vector<std::string>& rankings);
// A whole line of the table, FDR included, without the line break.
std::string result_line(const struct fstat& s, const run_options& o, const std::vector<std::string>& rankings);

// The table a ranking at a time: the header once, then each ranking's rows.
void write_table_header(std::FILE* f, const run_options& o);
void write_table_rows(std::FILE* f, const std::vector<struct fstat>& records, const run_options& o,
                      const std::vector<std::string>& rankings);

// Writes the table of records whose FDR is set, into the stream's buffer.
void write_table(std::FILE* f, const std::vector<struct fstat>& records, const run_options& o,
                 const std::vector<std::string>& rankings);

// The table as text, exactly the bytes write_table writes (the report's copy).
std::string table_text(const std::vector<struct fstat>& records, const run_options& o,
                       const std::vector<std::string>& rankings);

// Writes the table to standard output.
void print_result(const std::vector<struct fstat>& records, const run_options& o,
                  const std::vector<std::string>& rankings);
// Writes the table to the named file.
void save_result(const std::string& file_name, const std::vector<struct fstat>& records, const run_options& o,
                 const std::vector<std::string>& rankings);
