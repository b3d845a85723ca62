// The ranges that hold each exact result, and the choice of the tests that
// get the pair pass: every kept record must be the one all five exact tests
// give, to the bit.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <random>

#include "config/run_options.h"
#include "stats/pair/pair_pass.h"
#include "stats/tau.h"
#include "stats/tau_analysis.h"
#include "stats/tau_interval.h"

using doubles = std::vector<double>;
using ints = std::vector<int>;

static bool same(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

static doubles auto_pps() {
    doubles pps;
    for (int j = 0; j < 5; ++j) pps.push_back(0.8 - static_cast<double>(j) * 0.15);
    return pps;
}

// What the driver keeps from the tests it is given (test_set in driver.cpp):
// the first smallest p-value below the start value 1.1, and its weights.
struct kept_record {
    bool any = false;
    double pp = 0, tau = 0, estimate = 0, p_value = 1.1;
    char cor_dir = '+';
    doubles weights;
};

static kept_record keep(const std::vector<tau_test>& tests, const std::vector<doubles>& weights) {
    kept_record r;
    std::size_t kept = tests.size();
    for (std::size_t k = 0; k < tests.size(); ++k)
        if (r.p_value > tests[k].p_value) {
            r.pp = tests[k].pp;
            r.tau = tests[k].tau;
            r.estimate = tests[k].estimate;
            r.p_value = tests[k].p_value;
            r.cor_dir = tests[k].cor_dir;
            kept = k;
        }
    if (kept < tests.size()) {
        r.any = true;
        r.weights = weights[kept];
    }
    return r;
}

static void expect_same_record(const kept_record& got, const kept_record& want) {
    ASSERT_EQ(got.any, want.any);
    ASSERT_TRUE(same(got.pp, want.pp)) << got.pp << " vs " << want.pp;
    ASSERT_TRUE(same(got.tau, want.tau)) << got.tau << " vs " << want.tau;
    ASSERT_TRUE(same(got.estimate, want.estimate));
    ASSERT_TRUE(same(got.p_value, want.p_value)) << got.p_value << " vs " << want.p_value;
    ASSERT_EQ(got.cor_dir, want.cor_dir);
    ASSERT_EQ(got.weights.size(), want.weights.size());
    for (std::size_t i = 0; i < got.weights.size(); ++i) ASSERT_TRUE(same(got.weights[i], want.weights[i]));
}

// ---- the ranges ------------------------------------------------------------

static ints random_ranks(std::mt19937& rng, int n, int spread) {
    ints r;
    for (int i = 0; i < n; ++i) r.push_back(1 + static_cast<int>(rng() % spread));
    return r;
}

// Weights of the kinds the ranges must bound or refuse.
static doubles some_weights(std::mt19937& rng, int n, int kind) {
    std::uniform_real_distribution<double> unit(0, 1);
    doubles w;
    for (int i = 0; i < n; ++i) {
        double u = unit(rng);
        switch (kind) {
        case 0: w.push_back(u); break;
        case 1: w.push_back(std::ldexp(u + 0.5, -static_cast<int>(rng() % 70))); break;  // wide spread
        case 2: w.push_back(i % 4 == 0 ? 0.0 : u); break;                                  // zeros
        case 3: w.push_back(std::ldexp(u + 0.5, -70 - static_cast<int>(rng() % 10))); break;  // subnormal products
        case 4: w.push_back(u * 1e17); break;                                             // near the product limit
        default: w.push_back(i == 0 ? (rng() % 2 ? NAN : -u) : u); break;                // refused
        }
    }
    return w;
}

static bool inside(double v, const value_range& r) { return r.low <= v && v <= r.high; }

TEST(TauRange, HoldsTheTauOfThePairPass) {
    std::mt19937 rng(11);
    int narrow = 0, bounded = 0;
    for (int round = 0; round < 600; ++round) {
        int n = 1 + static_cast<int>(rng() % (round % 10 == 0 ? 2000 : 120));
        int spread = 1 + static_cast<int>(rng() % (n + 2));
        ints rx = random_ranks(rng, n, spread), ry = random_ranks(rng, n, 1 + static_cast<int>(rng() % (n + 2)));
        pair_layout l;
        make_pair_layout(rx, ry, l);
        int kind = static_cast<int>(rng() % 6);
        doubles w = some_weights(rng, n, kind);
        std::vector<value_range> ranges;
        tau_ranges(l, {&w}, ranges);
        std::vector<long double> ws, ts;
        pair_sums(l, {&w}, ws, ts);
        double tau = tau_from_sums(ws[0], ts[0]);
        SCOPED_TRACE(testing::Message() << "n " << n << " kind " << kind << " round " << round);
        if (kind == 5) {
            EXPECT_TRUE(std::isinf(ranges[0].low) && std::isinf(ranges[0].high));
            continue;
        }
        if (std::isfinite(ranges[0].low)) {
            ++bounded;
            ASSERT_TRUE(inside(tau, ranges[0])) << tau << " not in " << ranges[0].low << " " << ranges[0].high;
            if (kind == 0 && ranges[0].high - ranges[0].low < 1e-6) ++narrow;
        }
    }
    // Negative control: ranges that always gave up would pass vacuously.
    EXPECT_GT(bounded, 450);
    EXPECT_GT(narrow, 80);
}

TEST(TauRange, ExactWhereTheSumsAreKnown) {
    doubles w{0.9, 0.3, 0.7, 0.2, 0.55};
    struct row {
        ints x, y;
        double tau;
    };
    const row rows[] = {
        {{1, 1, 1, 1, 1}, {1, 2, 3, 4, 5}, 0.0},  // all x equal: no pair has a sign
        {{1, 2, 3, 4, 5}, {3, 3, 3, 3, 3}, 0.0},  // all y equal
        {{5, 4, 3, 2, 1}, {5, 4, 3, 2, 1}, 1.0},  // concordant, no ties
        {{1, 2, 3, 4, 5}, {5, 4, 3, 2, 1}, -1.0},  // discordant, no ties
    };
    for (const row& r : rows) {
        pair_layout l;
        make_pair_layout(r.x, r.y, l);
        std::vector<value_range> ranges;
        tau_ranges(l, {&w}, ranges);
        EXPECT_TRUE(same(ranges[0].low, r.tau));
        EXPECT_TRUE(same(ranges[0].high, r.tau));
        EXPECT_EQ(wtau2(r.x, r.y, w), r.tau);
    }
    // One gene: no pair at all.
    pair_layout one;
    make_pair_layout({1}, {1}, one);
    doubles w1{0.5};
    std::vector<value_range> ranges;
    tau_ranges(one, {&w1}, ranges);
    EXPECT_TRUE(same(ranges[0].low, 0.0) && same(ranges[0].high, 0.0));
    // Concordant but for one tie in x: a range, not a point.
    make_pair_layout({5, 4, 3, 3, 1}, {5, 4, 3, 2, 1}, one);
    tau_ranges(one, {&w}, ranges);
    EXPECT_LT(ranges[0].low, ranges[0].high);
}

// The assumption behind the p-value ranges: the C library's erfc within
// 2^-46 of the true value (relative) or 2^-1040 (results far below the
// normal range lose digits). Measured here against the long double erfc,
// with margins of 4 and 1024; the error seen is about 2^-51.
TEST(PvalueRange, ErfcIsAsAccurateAsAssumed) {
    std::mt19937_64 rng(5);
    // Most points where p-values are met (|z| < 12, x = -z/sqrt2), some
    // near 0, and the whole range out to where erfc underflows.
    std::uniform_real_distribution<double> span(-40, 40), met(-8.5, 8.5), near(-1e-6, 1e-6);
    double worst = 0;
    for (int k = 0; k < 500000; ++k) {
        int kind = k % 8;
        double x = kind == 0   ? near(rng)
                   : kind == 1 ? std::ldexp(span(rng), -static_cast<int>(rng() % 60))
                   : kind == 2 ? span(rng)
                               : met(rng);
        long double want = erfcl(static_cast<long double>(x));
        long double got = std::erfc(x);
        long double err = std::fabs(got - want);
        if (want > 0x1p-1000L) worst = std::max(worst, static_cast<double>(err / want));
        else ASSERT_LE(err, 0x1p-1050L) << x;
    }
    EXPECT_LT(worst, 0x1p-48);
}

TEST(PvalueRange, HoldsThePvalueOfEveryEstimateBetweenItsEnds) {
    std::mt19937_64 rng(3);
    std::uniform_real_distribution<double> centre(-45, 45), unit(0, 1);
    for (int k = 0; k < 20000; ++k) {
        double a = k % 5 == 0 ? std::ldexp(centre(rng), -40) : centre(rng);
        double width = std::ldexp(unit(rng), -static_cast<int>(rng() % 50));
        double b = a + width;
        value_range r = pvalue_range(a, b);
        for (int s = 0; s <= 8; ++s) {
            double z = s == 8 ? b : a + width * s / 8;
            if (z > b) z = b;
            double p = tau_pvalue(z);
            ASSERT_TRUE(inside(p, r)) << "z " << z << " in [" << a << ", " << b << "]: p " << p << " not in ["
                                      << r.low << ", " << r.high << "]";
        }
    }
    // One double: the p-value itself.
    for (double z : {0.0, -0.0, 1.5, -3.25, 9.0, -40.0}) {
        value_range r = pvalue_range(z, z);
        EXPECT_TRUE(same(r.low, tau_pvalue(z)) && same(r.high, tau_pvalue(z)));
    }
    // Large positive estimates give p = 0, and a range reaching 0.
    EXPECT_EQ(tau_pvalue(9.0), 0.0);
    EXPECT_LE(pvalue_range(9.0, 9.5).low, 0.0);
    value_range bad = pvalue_range(NAN, 1.0);
    EXPECT_TRUE(std::isinf(bad.low) && std::isinf(bad.high));
}

TEST(PossibleWinners, RulesOutOnlyWhatCannotBeKept) {
    const double inf = INFINITY;
    struct row {
        std::vector<value_range> p;
        std::vector<bool> can;
    };
    const row rows[] = {
        // clearly apart: the smallest alone
        {{{0.3, 0.31}, {0.01, 0.011}, {0.5, 0.6}}, {false, true, false}},
        // overlapping the smallest: both stay
        {{{0.010, 0.0105}, {0.0101, 0.011}, {0.5, 0.6}}, {true, true, false}},
        // exact equal p-values: the earlier one is kept
        {{{0.2, 0.2}, {0.1, 0.1}, {0.1, 0.1}, {0.1, 0.1}}, {false, true, false, false}},
        // all p = 1 (no signed pair), and all p = 0
        {{{1, 1}, {1, 1}, {1, 1}}, {true, false, false}},
        {{{0, 0}, {0, 0}, {0, 0}}, {true, false, false}},
        // a later range touching an earlier exact value is ruled out, an earlier one is not
        {{{0, 1e-12}, {0, 0}, {0, 1e-12}}, {true, true, false}},
        // a test whose p-value may be NaN neither rules out nor is ruled out
        {{{-inf, inf}, {0.3, 0.4}, {0.01, 0.02}}, {true, false, true}},
        {{{NAN, NAN}, {0.3, 0.4}}, {true, true}},
        {{{0.5, 0.5}}, {true}},
    };
    for (const row& r : rows) EXPECT_EQ(possible_winners(r.p), r.can);
}

// ---- the choice ------------------------------------------------------------

// The choice against all five exact tests, from scores; counts the sets
// where one pair pass sufficed.
static void check_scores(const doubles& x, const doubles& y, const char* method, int& single,
                         pair_path path = best_pair_path()) {
    run_options o;
    set_wt_method(o, method);
    set_ranks r;
    prepare_ranks(x, y, o.wt_kind, r);
    std::vector<tau_test> all, chosen;
    std::vector<doubles> all_weights, chosen_weights;
    tau_tests(r, auto_pps(), all, all_weights, path);
    deciding_tau_tests(r, auto_pps(), chosen, chosen_weights, path);
    ASSERT_EQ(chosen.size(), chosen_weights.size());
    ASSERT_GE(chosen.size(), 1u);
    // The tests returned are exact tests, in PP order.
    for (std::size_t c = 0, k = 0; c < chosen.size(); ++c, ++k) {
        while (k < all.size() && !same(all[k].pp, chosen[c].pp)) ++k;
        ASSERT_LT(k, all.size());
        ASSERT_TRUE(same(all[k].tau, chosen[c].tau) && same(all[k].p_value, chosen[c].p_value));
    }
    expect_same_record(keep(chosen, chosen_weights), keep(all, all_weights));
    single += chosen.size() == 1;
}

static doubles random_scores(std::mt19937& rng, int n, int distinct) {
    std::uniform_int_distribution<int> level(-distinct, distinct);
    std::uniform_real_distribution<double> any(-50, 50);
    doubles v;
    for (int i = 0; i < n; ++i) v.push_back(distinct > 0 ? level(rng) * 0.5 : any(rng));
    return v;
}

TEST(DecidingTests, KeepTheRecordOfAllFiveTestsOnRandomSets) {
    std::mt19937 rng(17);
    int single = 0, sets = 0;
    for (int round = 0; round < 1500; ++round, ++sets) {
        int n = 1 + static_cast<int>(rng() % (round % 50 == 0 ? 1500 : 150));
        int distinct = rng() % 3 == 0 ? 0 : 1 + static_cast<int>(rng() % (n + 3));
        doubles x = random_scores(rng, n, distinct), y = random_scores(rng, n, distinct);
        if (rng() % 2)
            for (double& v : x) v = std::fabs(v);
        const char* method = (const char*[]){"1", "2", "3"}[rng() % 3];
        SCOPED_TRACE(testing::Message() << "round " << round << " n " << n << " method " << method);
        check_scores(x, y, method, single);
    }
    // Negative control: a choice that always ran all five would pass too.
    EXPECT_GT(single, sets * 8 / 10);
}

// Sets made to be hard: strong correlation (estimates beyond 8, p = 0 at
// several PP values), no correlation, perfect order, one gene, all scores
// equal, ties everywhere, large sets that take the row-by-row pass, and the
// exact passes forced onto each path.
TEST(DecidingTests, KeepTheRecordOfAllFiveTestsOnHardSets) {
    std::mt19937 rng(23);
    std::normal_distribution<double> noise(0, 1);
    int single = 0;
    for (int round = 0; round < 400; ++round) {
        int kind = round % 8;
        int n = kind == 7 ? 2500 + static_cast<int>(rng() % 800) : 1 + static_cast<int>(rng() % 400);
        doubles x, y;
        for (int i = 0; i < n; ++i) {
            double t = static_cast<double>(i);
            switch (kind) {
            case 0: x.push_back(t); y.push_back(t + noise(rng) * n * 0.05); break;  // p = 0 at large n
            case 1: x.push_back(t); y.push_back(-t - noise(rng) * n * 0.05); break;  // the other tail
            case 2: x.push_back(t); y.push_back(rng() % 2 ? t : -t); break;          // |tau| small
            case 3: x.push_back(t); y.push_back(t * 3 + 1); break;                   // perfect order
            case 4: x.push_back(2.5); y.push_back(2.5); break;                       // all scores equal
            case 5: x.push_back(static_cast<double>(rng() % 3)); y.push_back(static_cast<double>(rng() % 2)); break;
            case 6: x.push_back(t); y.push_back(n - t); break;                       // perfectly reversed
            default: x.push_back(10 + noise(rng)); y.push_back(noise(rng) + 0.02 * x.back()); break;
            }
        }
        if (round % 16 == 4) {  // one gene
            x.resize(1);
            y.resize(1);
        }
        const char* method = (const char*[]){"1", "2", "3"}[round % 3];
        pair_path path = best_pair_path();
        if (round % 5 == 1 && pair_path_supported(path_sse2)) path = path_sse2;
        if (round % 5 == 2 && pair_path_supported(path_avx2)) path = path_avx2;
        SCOPED_TRACE(testing::Message() << "round " << round << " kind " << kind << " n " << x.size());
        check_scores(x, y, method, single, path);
    }
    EXPECT_GT(single, 200);
}

// Weight vectors chosen to make p-values tie or nearly tie across PP values:
// the same vector twice, one scaled by 2 (the same p-value to the bit), one
// a float step away, zeros, products below the float range, and NaN.
TEST(DecidingTests, KeepTheRecordOnTiedAndNearlyTiedWeights) {
    std::mt19937 rng(29);
    std::uniform_real_distribution<double> unit(0, 1);
    int ties = 0, single = 0;
    for (int round = 0; round < 1200; ++round) {
        int n = 1 + static_cast<int>(rng() % 300);
        ints rx = random_ranks(rng, n, 1 + static_cast<int>(rng() % (n + 2)));
        ints ry = random_ranks(rng, n, 1 + static_cast<int>(rng() % (n + 2)));
        if (round % 7 == 0) ry = rx;  // strong concordance
        pair_layout l;
        make_pair_layout(rx, ry, l);
        doubles base;
        for (int i = 0; i < n; ++i) base.push_back(0.05 + unit(rng));
        std::vector<doubles> w(5, base);
        for (int k = 0; k < 5; ++k) {
            int kind = static_cast<int>(rng() % 9);
            doubles& v = w[k];
            switch (kind) {
            case 0: break;                                            // the same vector
            case 1: for (double& e : v) e *= 2; break;                // the same p-value
            case 2: v[rng() % n] = std::nextafter(static_cast<float>(v[0]), 2.0f); break;  // one float step
            case 3: for (double& e : v) e = std::pow(e, 1.0 + 1e-9); break;  // nearly the same
            case 4: for (double& e : v) e = unit(rng); break;          // unrelated
            case 5: for (double& e : v) e = rng() % 3 ? e : 0.0; break;
            case 6: for (double& e : v) e = std::ldexp(e, -80); break;  // products below the float range
            case 7: v[rng() % n] = NAN; break;
            default: for (double& e : v) e = std::ldexp(e, -static_cast<int>(rng() % 40)); break;
            }
        }
        std::vector<doubles> all_weights = w, chosen_weights = w;
        std::vector<tau_test> all, chosen;
        weighed_tau_tests(l, auto_pps(), all_weights, all);
        deciding_weighed_tests(l, auto_pps(), chosen_weights, chosen);
        SCOPED_TRACE(testing::Message() << "round " << round << " n " << n);
        kept_record want = keep(all, all_weights);
        for (const tau_test& t : all) ties += t.pp != want.pp && same(t.p_value, want.p_value);
        expect_same_record(keep(chosen, chosen_weights), want);
        single += chosen.size() == 1;
    }
    // Negative controls: ties did occur, and were still decided by one pass often.
    EXPECT_GT(ties, 300);
    EXPECT_GT(single, 100);
}

TEST(DecidingTests, OnePpValueRunsAsBefore) {
    set_ranks r;
    prepare_ranks({3, 1, 2, 5}, {0.5, -1, 2, 1}, weighting::both, r);
    std::vector<tau_test> all, chosen;
    std::vector<doubles> all_weights, chosen_weights;
    tau_tests(r, {0.5}, all, all_weights);
    deciding_tau_tests(r, {0.5}, chosen, chosen_weights);
    ASSERT_EQ(chosen.size(), 1u);
    EXPECT_TRUE(same(chosen[0].tau, all[0].tau) && same(chosen[0].p_value, all[0].p_value));
    EXPECT_EQ(chosen_weights, all_weights);
}
