#pragma once
#include <cmath>
#include <vector>

// Beyond the variance: the shape of the numerator's null distribution where
// one side's factors are all 1 (-w 2 and -w 3), and the tail that shape gives.
//
// There the numerator is N = sum_{i<j} c_i c_j sgn(U_i - U_j) for the
// weighted side's factors c in that side's order and the other side's order
// U uniformly shuffled. Where a few genes carry most of the weight its
// tails are much shorter than the normal's, and the normal p-value of
// z = N / sd is conservative: at 10 genes and PP 0.2, 0.004 of the orderings
// reach |z| = 1.96, not 0.05. The shape is read off the exact fourth cumulant.

struct tail_shape {
    double excess = 0;        // excess kurtosis of N; 0: the normal tail
    double bound = INFINITY;  // the largest |N| / sd that any ordering reaches
    double variance = 0;      // E[N^2], without ties
};

// E[N^2] and the fourth cumulant E[N^4] - 3 E[N^2]^2 over the n! orderings of
// distinct U (moment_shape.cpp says how), and the shape from them.
void numerator_cumulants(const std::vector<double>& c, double& second, double& fourth);
tail_shape one_sided_shape(const std::vector<double>& c);

// P(|Z| >= z) for Z = N / sd of that shape: a symmetric beta (Pearson's type
// II) of that kurtosis, widened where needed to reach the bound; the normal
// tail where the shape is normal or longer-tailed.
double shaped_tail(double z, const tail_shape& s);

// ln Gamma(x) for x > 0, without std::lgamma's write to the global signgam,
// which threads testing sets side by side would race on.
double log_gamma(double x);

// The regularized incomplete beta I_x(a, a), x <= 1/2.
double symmetric_beta_lower(double a, double x);
