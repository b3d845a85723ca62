#pragma once
#include <vector>

#include "config/run_options.h"
#include "stats/tau_analysis.h"

// The statistic of the permutation test for any pairing of a set's list
// scores with its set scores: the largest |estimate| over the PP values
// tested (at one PP value, |estimate|; with -p the largest of five, which
// is the smallest of the five analytic p-values, so the test is corrected for
// the choice among them). With --null=moments it is the largest |z| instead,
// z the numerator over its exact standard deviation (`scale`), the statistic
// whose normal tail the moments give: both ways answer the same question.
//
// It is the weighted tau of the definitions computed in double in
// O(n log n), not the float pair pass: the observed pairing goes through the
// same function as the permuted ones, so both are measured alike.

// What does not change from one pairing to the next: the set side's order,
// the ranks, and the weight of every magnitude rank at every PP value.
struct null_model {
    int n = 0;
    weighting method = weighting::both;
    std::vector<int> by_x;       // elements in ascending x rank
    std::vector<int> run_end;    // for each position of by_x, the end of its run of equal x ranks
    std::vector<int> magnitude_x;
    std::vector<int> rank_y;
    std::vector<int> magnitude_y;
    std::vector<std::vector<double>> rank_weight;  // per PP value: the weight of rank r at r
    double root_n = 0;
    std::vector<double> scale;  // per PP value, 1 / sd of the numerator; empty: the estimate
};

// For one PP value, or the five of -p.
void make_null_model(const set_ranks& r, const std::vector<double>& pps, weighting method, null_model& m);

// Working space of null_statistic, reused across pairings.
struct null_scratch {
    std::vector<double> weights;  // [element][PP]
    std::vector<double> tree;     // Fenwick tree over y ranks, [node][PP]
    std::vector<double> at;       // the weight inserted at each y rank, [rank][PP]
    std::vector<int> y;
};

// The statistic when list element pairing[i] is paired with set element i.
double null_statistic(const null_model& m, const std::vector<int>& pairing, null_scratch& s);
