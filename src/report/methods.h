#pragma once
#include <cstddef>
#include <string>

#include "config/run_options.h"

// -r for one side (its character) in words: "" when the scores are used as
// given, "absolute value" or "sign reversed".
std::string treatment_words(char treatment);

// A paragraph a reader can paste into the methods section of a paper: the
// statistic, the weights and PP, the score treatment, the cut-off, the kind
// of p-value, the FDR, the size limits and the version, all from the run's
// settings. Plain text; rankings is the number of rankings tested.
std::string methods_text(const run_options& o, std::size_t rankings);
