#pragma once
#include "common/records.h"

bool stat_less_p(const struct fstat& a, const struct fstat& b);
bool stat_less_fdr(const struct fstat& a, const struct fstat& b);

// Sets the fdr of every record of result_stats and orders the records by it:
// n * p / rank (capped at 1) position by position, or with --fdr=bh the
// Benjamini-Hochberg step-up adjustment.
void adjust_p_values();
