#pragma once
#include <vector>

#include "common/records.h"
#include "config/run_options.h"

bool stat_less_p(const struct fstat& a, const struct fstat& b);
bool stat_less_fdr(const struct fstat& a, const struct fstat& b);

// Sets the fdr of every record and orders the records by it, each ranking on its own:
// n * p / rank (capped at 1) position by position, or with --fdr=bh the
// Benjamini-Hochberg step-up adjustment.
void adjust_p_values(std::vector<struct fstat>& records, fdr_method kind);
