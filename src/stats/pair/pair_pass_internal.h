#pragma once
// The single passes behind pair_sums, for the dispatcher, the tests and the
// benchmarks. Weights f are floats in pair order.
#include <vector>

#include "stats/pair/pair_pass.h"

// sgn(a - b), without the overflow of the difference.
inline int sign_of(int a, int b) { return (a > b) - (a < b); }

// Sequential passes (pair_sequential.cpp): the adds of the straightforward
// pass in its order; they need every product finite (finite_products).
bool finite_products(const std::vector<float>& f);
void literal_pair_sums(const std::vector<float>& f, const pair_layout& layout, long double& w_sum,
                       long double& t_sum);
void sequential_pair_sums(const std::vector<float>& f, const pair_layout& layout, long double& w_sum,
                          long double& t_sum);
void sequential_pair_sums2(const std::vector<float>& f1, const std::vector<float>& f2, const pair_layout& layout,
                           long double& w1, long double& t1, long double& w2, long double& t2);

// Exact whole passes (pair_exact.cpp).
// The scale 2^s that makes every pair weight a whole number when all sums are exact, or -1.
int exact_shift(const std::vector<float>& f);
void exact_pair_sums(pair_path path, const std::vector<float>& f, const pair_layout& layout, int s,
                     long double& w_sum, long double& t_sum);
// The sequential pass of a and the exact passes of b and c (at scales 2^sb
// and 2^sc) in one loop.
void sequential_with_exact_pair_sums(const std::vector<float>& a, const std::vector<float>& b,
                                     const std::vector<float>& c, const pair_layout& layout, int sb, int sc,
                                     long double& wa, long double& ta, long double& wb, long double& tb,
                                     long double& wc, long double& tc);

// Row by row (pair_rowwise.cpp): each row at once where that is provably
// exact, term by term where not.
bool rowwise_applies(const std::vector<float>& f);
void rowwise_pair_sums(const std::vector<float>& f, const pair_layout& layout, long double& w_sum,
                       long double& t_sum);
