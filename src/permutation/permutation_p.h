#pragma once
#include <string>
#include <vector>

#include "config/run_options.h"
#include "stats/tau_analysis.h"

// A permutation p-value for one set: the list scores are permuted among the
// set's paired genes, and the share of pairings whose statistic (see
// null_statistic.h) is at least the observed one is the p-value.
//   - When n! is no more than the draws below are expected to make (see
//     permutation_test.cpp), every ordering is visited once: p is the exact
//     share, counting the observed pairing itself.
//   - Otherwise random orderings are drawn until `exceed` of them were at
//     least as extreme, or `permutations` were drawn (a sequential stop),
//     and p = (1 + at least as extreme) / (1 + drawn).
struct permutation_p {
    double p_value = 1.0;
    long long done = 0;
    bool exact = false;
};

// Draws follow o.seed and the set's name, so the p-value does not depend on
// the thread that tests the set. `scale` (null_model::scale) makes the
// statistic the largest |z|; empty, it is the largest |estimate|.
permutation_p permutation_pvalue(const std::string& set_name, const set_ranks& r, const std::vector<double>& pps,
                                const run_options& o, const std::vector<double>& scale = {});
