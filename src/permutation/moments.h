#pragma once
#include <vector>

#include "config/run_options.h"
#include "permutation/moment_shape.h"
#include "stats/tau_analysis.h"

// Exact moments of the weighted-tau numerator over all n! pairings of a
// set's list scores with its set scores (the null of the permutation test:
// ranks and list-side weights follow the list scores), for one PP value or
// the five of -p, and the normal scores they give.
//
// The numerator at PP value k is
//   N_k = sum over i < j of w_i w_j sgn(x_i - x_j) sgn(y_i - y_j),
// and with the weight of element i split into a set-side factor u_i, fixed
// to the set gene, and a list-side factor v_i, which moves with the list
// score (w_i = u_i v_i):
//   -w 1: u = sqrt(set weights), v = sqrt(list weights)
//   -w 2: u = 1,                 v = list weights
//   -w 3: u = set weights,       v = 1
// moments.cpp derives the mean (0) and the covariances from row sums.

struct numerator_moments {
    int n = 0;
    std::vector<double> numerator;   // observed N_k, per PP value
    std::vector<double> covariance;  // Cov(N_k, N_l) over the n! pairings, row-major, PP values squared
    std::vector<double> z;           // N_k / sqrt(Var N_k); 0 where Var N_k is 0
    std::vector<tail_shape> shape;   // per PP value; the normal's where both sides are weighted (-w 1)
};

// The factors of each side at each PP value, from the scores of the n paired
// genes (x the set's, y the list's) and the weighting method (both, list or set).
void moment_factors(const std::vector<double>& x, const std::vector<double>& y, const std::vector<double>& pps,
                    weighting method, std::vector<std::vector<double>>& u, std::vector<std::vector<double>>& v);

// The same from a set's ranks (tau_analysis.h), with the weight tables the
// tests share: what the run uses.
void moment_factors(const set_ranks& r, const std::vector<double>& pps, std::vector<std::vector<double>>& u,
                    std::vector<std::vector<double>>& v);

// The moments from the descending ranks of both sides (1 .. n, ties sharing
// a rank) and the factors of each side at each PP value (u[k][i], v[k][i] for
// gene i): O(n log n) per PP value, plus O(n) per pair of PP values.
numerator_moments moments_of(const std::vector<int>& rank_x, const std::vector<int>& rank_y,
                             const std::vector<std::vector<double>>& u, const std::vector<std::vector<double>>& v);

// The p-value of the largest |z|: at one PP value the tail of its shape; with
// -p the same tails joined by the normals of equal tails, whose correlations
// are those of the numerators (a Gaussian copula), so that the choice among
// the five is paid for. Never below 1 / n!, the share of the observed pairing.
double moment_p_value(const numerator_moments& m);

// Both steps, from the scores.
numerator_moments tau_moments(const std::vector<double>& x, const std::vector<double>& y,
                              const std::vector<double>& pps, weighting method);
