#pragma once
#include <cstdint>
#include <vector>

#include "common/records.h"
#include "config/run_options.h"
#include "stats/rank_tables.h"
#include "stats/pair/pair_pass.h"

// Tests one gene set at one PP value with the weighting method of o;
// fills rank_x, rank_y and weights of the record. The run tests sets through
// prepare_ranks and tau_tests, and calls this only to stop at an unknown
// method with the test's own messages.
void one_tau_analysis(const run_options& o, const std::vector<double>& vec_x, const std::vector<double>& vec_y,
                      double pp, double& tau, double& estimate, double& p_value, char& cor_dir, fdata& record);

// What the tests of one gene set share at every PP value: the ranks of both
// score vectors, the ranks of the magnitudes the method weighs, the pair order.
struct set_ranks {
    weighting method = weighting::both;
    std::vector<int> rank_x;
    std::vector<int> rank_y;
    std::vector<int> magnitude_x;
    std::vector<int> magnitude_y;
    pair_layout layout;
    rank_tables* tables = nullptr;  // the weights by rank the run's workers share, if any
};

struct tau_test {
    double pp;
    double tau;
    double estimate;
    double p_value;
    char cor_dir;
};

// The weight of each gene from the magnitude rank of its set score (x) and of
// its list score (y) at a PP value, from the tables the tests fill; a side
// the method does not weigh is left empty.
void side_weights(const set_ranks& r, double pp, std::vector<double>& x, std::vector<double>& y);

// For a known weighting method and vectors of equal, non-zero length.
void prepare_ranks(const std::vector<double>& vec_x, const std::vector<double>& vec_y, weighting method,
                   set_ranks& r);

// The keys (descending_keys) of one side's scores and of their magnitudes,
// one per paired gene, taken from keys found once for a whole ranking or set.
struct side_keys {
    std::vector<std::uint32_t> scores;
    std::vector<std::uint32_t> magnitudes;
};

// The same ranks as prepare_ranks, by integer sorts of the keys; a side
// given no keys, or holding a NaN, is ranked from its scores.
void prepare_keyed_ranks(const std::vector<double>& vec_x, const std::vector<double>& vec_y, const side_keys* x,
                         const side_keys* y, weighting method, set_ranks& r);

// The tests at each PP value, with the weights each used; the pair passes of
// all of them run together, on the processor's best path unless one is forced.
void tau_tests(const set_ranks& r, const std::vector<double>& pps, std::vector<tau_test>& tests,
               std::vector<std::vector<double>>& weights, pair_path path = best_pair_path());

// The same from weights already made for each PP value (weights[k] for pps[k]).
void weighed_tau_tests(const pair_layout& layout, const std::vector<double>& pps,
                       const std::vector<std::vector<double>>& weights, std::vector<tau_test>& tests,
                       pair_path path = best_pair_path());

// The tests that can be the one a set's record keeps (the smallest p-value,
// the earlier on ties, never NaN): as tau_tests, but tests and weights hold
// only those, in the order of pps. Ranges of each p-value found without the
// pair pass (tau_interval.h) rule the others out, so that with several PP
// values the pair pass usually runs for one; with one it runs as in tau_tests.
// Keeping the smallest p-value, the earlier on ties, among the tests returned
// keeps the same test as among all of them.
void deciding_tau_tests(const set_ranks& r, const std::vector<double>& pps, std::vector<tau_test>& tests,
                        std::vector<std::vector<double>>& weights, pair_path path = best_pair_path());

// The same from weights already made for each PP value; weights keeps only
// those of the tests returned.
void deciding_weighed_tests(const pair_layout& layout, const std::vector<double>& pps,
                            std::vector<std::vector<double>>& weights, std::vector<tau_test>& tests,
                            pair_path path = best_pair_path());
