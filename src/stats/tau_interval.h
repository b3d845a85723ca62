#pragma once
#include <vector>

#include "stats/pair/pair_pass.h"

// Ranges that surely hold what the exact test computes, found in O(n log n)
// without the pair pass. With several PP values they tell which tests can be
// the one the record keeps, so that only those need the pair pass.
struct value_range {
    double low;
    double high;
};

// For each weight vector over the pair order of layout: a range that holds
// the tau that pair_sums and tau_from_sums give, or (-inf, inf) where the
// bound does not apply. A range whose ends are equal is the exact tau.
void tau_ranges(const pair_layout& layout, const std::vector<const std::vector<double>*>& weights,
                std::vector<value_range>& ranges);

// A range that holds tau_pvalue(z) for every double z in [z_low, z_high];
// the exact p-value when the two are the same double.
value_range pvalue_range(double z_low, double z_high);

// Which tests can be the one kept for the record (the smallest p-value, the
// earlier on ties, never NaN), from a range that holds each test's p-value or
// is (-inf, inf) where its p-value may be NaN.
std::vector<bool> possible_winners(const std::vector<value_range>& p_ranges);
