// The gene-set test on large sets (256 to 4351 genes), compared bit for bit
// with the straightforward version in tests/reference. fuzz_analysis
// spells out every value and so stays small; here a few bytes drive a
// generator, which reaches what only large sets take: the counting-pass sort
// of 256 values or more, the counting sort of the rank pairs, and the pair
// pass row by row.
//
// Input: byte 0 picks the weighting method and the PP value; bytes 1-2 the
// number of genes (below); bytes 3 and 4 how the set scores and the list scores are
// made (ties, spread, sign, order, special values); bytes 5-12 seed the
// generator; every following pair of bytes puts one of 16 special values
// (NaN, infinities, signed zeros, extremes) at a position.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "common/records.h"
#include "config/run_options.h"
#include "same_as_reference.h"
#include "stats/tau_analysis.h"

static double special(std::uint8_t b) {
    static const double values[16] = {
        std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::quiet_NaN(),
        HUGE_VAL, -HUGE_VAL, 0.0, -0.0, 1.7976931348623157e308, -1.7976931348623157e308,
        4.9406564584124654e-324, -4.9406564584124654e-324, 2.2250738585072014e-308, 1e-300,
        0.1, 0.30000000000000004, 1e15, -1e15};
    return values[b % 16];
}

static std::uint64_t next(std::uint64_t& state) {  // splitmix64
    std::uint64_t z = (state += 0x9e3779b97f4a7c15u);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
    return z ^ (z >> 31);
}

// n scores in the style the byte asks for. Bits 0-2: the kind of value;
// bits 3-4: the sign; bit 5: sorted ascending, bit 6: sorted descending
// (both: constant); bit 7: one special value in about every 64.
static std::vector<double> scores(std::uint8_t style, std::size_t n, std::uint64_t& state) {
    std::vector<double> v(n);
    for (double& x : v) {
        std::uint64_t r = next(state);
        switch (style & 7) {
        case 0: x = static_cast<double>(r % 4); break;     // four values: long ties
        case 1: x = static_cast<double>(r % 40) * 0.5; break;  // many ties
        case 2: x = static_cast<double>(r % 100000) / 1000.0; break;  // few ties
        case 3: x = std::ldexp(static_cast<double>(r % 1000 + 1), static_cast<int>(r >> 40) % 80 - 40); break;
        case 4: {  // any finite bit pattern
            std::memcpy(&x, &r, sizeof x);
            if (!std::isfinite(x)) x = static_cast<double>(r % 7);
            break;
        }
        case 5: x = std::ldexp(1.0, static_cast<int>(r % 64) - 32); break;  // powers of two
        case 6: x = 1.0 + static_cast<double>(r % 3) * 1e-16 * static_cast<double>(r % 5); break;  // near-equal
        default: x = static_cast<double>(static_cast<std::int64_t>(r % 2001) - 1000); break;
        }
        switch ((style >> 3) & 3) {
        case 1: x = -std::fabs(x); break;  // all negative
        case 2: if (r & (1u << 20)) x = -x; break;  // mixed signs
        default: break;
        }
    }
    if ((style & 0x60) == 0x20) std::sort(v.begin(), v.end(), [](double a, double b) { return a < b; });
    if ((style & 0x60) == 0x40) std::sort(v.begin(), v.end(), [](double a, double b) { return a > b; });
    if ((style & 0x60) == 0x60) v.assign(n, v[0]);
    if (style & 0x80)
        for (double& x : v) {
            std::uint64_t r = next(state);
            if (r % 64 == 0) x = special(static_cast<std::uint8_t>(r >> 8));
        }
    return v;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 13) return 0;
    static const char* const methods[3] = {"1", "2", "3"};
    const char* method = methods[data[0] % 3];
    std::vector<double> pps;
    for (int j = 0; j < 5; ++j) pps.push_back(0.8 - static_cast<double>(j) * 0.15);
    double pp = pps[(data[0] / 3) % 5];
    // Mostly up to 1279 genes, which the reference tests in a fraction of a
    // second; one size value in sixteen goes up to 4351.
    std::size_t v = static_cast<std::size_t>(data[1]) << 8 | data[2];
    std::size_t n = 256 + (v % 16 == 15 ? v % 4096 : v % 1024);
    std::uint64_t state;
    std::memcpy(&state, data + 5, sizeof state);
    std::vector<double> vec_x = scores(data[3], n, state);
    std::vector<double> vec_y = scores(data[4], n, state);
    for (std::size_t i = 13; i + 1 < size; i += 2) {
        std::size_t at = (static_cast<std::size_t>(data[i]) * 131 + i) % n;
        (data[i + 1] & 0x10 ? vec_y : vec_x)[at] = special(data[i + 1]);
    }
    run_options o;
    set_wt_method(o, method);

    reference_test ref = check_one_test(o, vec_x, vec_y, pp, method);

    // The five tests of automatic PP selection share their pair passes; each
    // must equal the test at its PP value alone, which matches the reference
    // at the PP value of this input (the reference's quadratic sorts and pass
    // at all five would cost seconds per input at this size).
    set_ranks r;
    prepare_ranks(vec_x, vec_y, o.wt_kind, r);
    std::vector<tau_test> tests, alone;
    std::vector<std::vector<double>> each_weights, alone_weights;
    tau_tests(r, pps, tests, each_weights);
    if (tests.size() != pps.size()) std::abort();
    for (std::size_t k = 0; k < pps.size(); ++k) {
        tau_tests(r, {pps[k]}, alone, alone_weights);
        const tau_test& t = tests[k];
        const tau_test& a = alone[0];
        if (!same(t.pp, pps[k]) || !same(t.tau, a.tau) || !same(t.estimate, a.estimate) ||
            !same(t.p_value, a.p_value) || t.cor_dir != a.cor_dir || !same(each_weights[k], alone_weights[0]))
            std::abort();
        if (same(pps[k], pp) && !same_test(t, each_weights[k], ref)) std::abort();
    }
    return 0;
}
