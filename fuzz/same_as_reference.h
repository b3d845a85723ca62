#pragma once
// What the gene-set fuzz targets check of every input: the test at one PP
// value equals the straightforward reference bit for bit, ranks and weights
// included.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/records.h"
#include "reference.h"
#include "stats/tau_analysis.h"

// Bit-for-bit equality, NaN included.
inline bool same(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

inline bool same(const std::vector<double>& a, const std::vector<double>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!same(a[i], b[i])) return false;
    return true;
}

// The reference's test at pp, as one_tau_analysis ought to give it.
struct reference_test {
    double tau, estimate, p_value;
    char dir;
    std::vector<int> rank_x, rank_y;
    std::vector<double> weights;
};

inline reference_test reference_at(const std::vector<double>& vec_x, const std::vector<double>& vec_y, double pp,
                                   const char* method) {
    reference_test r;
    reference::one_tau_analysis(vec_x, vec_y, pp, method, r.tau, r.estimate, r.p_value, r.dir, r.rank_x, r.rank_y,
                                r.weights);
    return r;
}

// Whether a test of the fast path is the reference's, weights included.
inline bool same_test(const tau_test& t, const std::vector<double>& weights, const reference_test& r) {
    return same(t.tau, r.tau) && same(t.estimate, r.estimate) && same(t.p_value, r.p_value) && t.cor_dir == r.dir &&
           same(weights, r.weights);
}

// Runs both tests with the weighting method, also set in o; aborts when they
// differ. Returns the reference's result for further checks.
inline reference_test check_one_test(const run_options& o, const std::vector<double>& vec_x,
                                     const std::vector<double>& vec_y, double pp, const char* method) {
    double tau, estimate, p_value;
    char dir;
    fdata record;
    one_tau_analysis(o, vec_x, vec_y, pp, tau, estimate, p_value, dir, record);
    reference_test r = reference_at(vec_x, vec_y, pp, method);
    if (!same(tau, r.tau) || !same(estimate, r.estimate) || !same(p_value, r.p_value) || dir != r.dir) std::abort();
    if (record.rank_x != r.rank_x || record.rank_y != r.rank_y || !same(record.weights, r.weights)) std::abort();
    return r;
}
