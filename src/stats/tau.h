#pragma once
#include <vector>

int sgn(int v);

// Weighted Kendall tau of two rank vectors: every pair weighs the product of
// its two weights, each rounded to float and the product formed in float.
// The run computes it for all PP values of a set at once with pair_sums and
// tau_from_sums (tau_tests).
double wtau2(const std::vector<int>& x, const std::vector<int>& y, const std::vector<double>& weights);

// tau from the sums of the pair pass.
double tau_from_sums(long double w_sum, long double t_sum);

// Two-sided p-value of a standard normal score.
double tau_pvalue(double z);
