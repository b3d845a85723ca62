// The gene-set test on odd score vectors (ties, NaN, infinities, signed
// zeros, extremes), compared bit for bit with the straightforward version in
// tests/reference: the single test at one PP value, and the five tests of
// automatic PP selection that the driver runs together. The record the driver
// keeps from the tests that get the pair pass (deciding_tau_tests) must be the
// one it keeps from all five, also for weight vectors made from the input
// bytes themselves (ties, zeros, NaN, infinities, negative and tiny weights).
//
// Input: the first byte picks the weighting method and the PP value; every
// following pair of bytes is one gene's set score and list score (at most 300
// genes). A byte below 0xF0 is a small value with many ties; from 0xF0 on it
// is one of 16 special values.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "common/records.h"
#include "config/run_options.h"
#include "same_as_reference.h"
#include "stats/tau_analysis.h"

static double value_of(uint8_t b) {
    static const double special[16] = {
        std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::quiet_NaN(),
        HUGE_VAL, -HUGE_VAL, 0.0, -0.0, 1.7976931348623157e308, -1.7976931348623157e308,
        4.9406564584124654e-324, -4.9406564584124654e-324, 2.2250738585072014e-308, 1e-300,
        0.1, 0.30000000000000004, 1e15, -1e15};
    if (b >= 0xF0) return special[b - 0xF0];
    return ((b % 24) - 12) * 0.5;
}

// What the driver keeps from a list of tests: the first smallest p-value
// below 1.1 (test_set in driver.cpp), and the weights of that test.
struct kept_record {
    std::size_t count = 0;
    double pp = 0, tau = 0, estimate = 0, p_value = 1.1;
    char cor_dir = '+';
    std::vector<double> weights;
};

static kept_record keep(const std::vector<tau_test>& tests, const std::vector<std::vector<double>>& weights) {
    kept_record r;
    for (std::size_t k = 0; k < tests.size(); ++k)
        if (r.p_value > tests[k].p_value) {
            r.count++;
            r.pp = tests[k].pp;
            r.tau = tests[k].tau;
            r.estimate = tests[k].estimate;
            r.p_value = tests[k].p_value;
            r.cor_dir = tests[k].cor_dir;
            r.weights = weights[k];
        }
    return r;
}

static bool same(const kept_record& a, const kept_record& b) {
    return (a.count > 0) == (b.count > 0) && same(a.pp, b.pp) && same(a.tau, b.tau) && same(a.estimate, b.estimate) &&
           same(a.p_value, b.p_value) && a.cor_dir == b.cor_dir && same(a.weights, b.weights);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    static const char* const methods[3] = {"1", "2", "3"};
    const char* method = methods[data[0] % 3];
    std::vector<double> pps;
    for (int j = 0; j < 5; ++j) pps.push_back(0.8 - static_cast<double>(j) * 0.15);
    double pp = pps[(data[0] / 3) % 5];
    std::vector<double> vec_x, vec_y;
    for (std::size_t i = 1; i + 1 < size && vec_x.size() < 300; i += 2) {
        vec_x.push_back(value_of(data[i]));
        vec_y.push_back(value_of(data[i + 1]));
    }
    run_options o;
    set_wt_method(o, method);

    check_one_test(o, vec_x, vec_y, pp, method);

    set_ranks r;
    prepare_ranks(vec_x, vec_y, o.wt_kind, r);
    std::vector<tau_test> tests;
    std::vector<std::vector<double>> each_weights;
    tau_tests(r, pps, tests, each_weights);
    if (tests.size() != pps.size()) std::abort();
    for (std::size_t k = 0; k < pps.size(); ++k) {
        if (!same(tests[k].pp, pps[k]) || !same_test(tests[k], each_weights[k], reference_at(vec_x, vec_y, pps[k], method)))
            std::abort();
    }

    std::vector<tau_test> chosen;
    std::vector<std::vector<double>> chosen_weights;
    deciding_tau_tests(r, pps, chosen, chosen_weights);
    if (chosen.empty() || chosen.size() != chosen_weights.size()) std::abort();
    if (!same(keep(chosen, chosen_weights), keep(tests, each_weights))) std::abort();

    // Weights straight from the input: the scores themselves, doubled (the
    // same p-value), the list scores, and the weights of PP 0.5 as they are
    // and with one weight changed.
    std::vector<std::vector<double>> raw(5);
    raw[0] = vec_x;
    for (double v : vec_x) raw[1].push_back(2 * v);
    raw[2] = vec_y;
    raw[3] = each_weights[2];
    raw[4] = each_weights[2];
    raw[4][data[0] % raw[4].size()] = value_of(data[size - 1]);
    std::vector<std::vector<double>> all_raw = raw;
    weighed_tau_tests(r.layout, pps, all_raw, tests);
    deciding_weighed_tests(r.layout, pps, raw, chosen);
    if (chosen.empty() || chosen.size() != raw.size()) std::abort();
    if (!same(keep(chosen, raw), keep(tests, all_raw))) std::abort();
    return 0;
}
