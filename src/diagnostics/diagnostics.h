#pragma once
#include <string>
#include <vector>

#include "common/records.h"
#include "common/tables.h"
#include "config/run_options.h"

// --verbose: what the readers met, and what testing left out or found
// doubtful, as lines for standard error. Counts and the first few names,
// never a flood.
std::vector<std::string> reading_notes(const std::string& gene_set_file, const std::string& gene_list_file,
                                       const read_counts& set_counts, const read_counts& list_counts,
                                       const set_table& sets, const score_matrix& rankings, const run_options& o);
std::vector<std::string> testing_notes(const test_notes& notes, std::size_t sets, const run_options& o);

// The warnings of a run, as "warning: ..." lines for standard error: few set
// genes paired with the list (or a set paired with none of it), most records
// below -g, scores that are not numbers. Each names the file, the count, a
// first example and what to do.
std::vector<std::string> reading_warnings(const std::string& gene_set_file, const std::string& gene_list_file,
                                          const read_counts& set_counts, const read_counts& list_counts,
                                          const set_table& sets, const score_matrix& rankings, const run_options& o);
