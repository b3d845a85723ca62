#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>
#include <map>

#include "config/run_options.h"
#include "permutation/counter_rng.h"
#include "permutation/moments.h"
#include "permutation/null_statistic.h"
#include "permutation/permutation_p.h"
#include "reference.h"
#include "stats/tau_analysis.h"

using doubles = std::vector<double>;

static const char* method_name(weighting w) { return w == weighting::set ? "3" : w == weighting::list ? "2" : "1"; }

// The largest |estimate| of the straightforward test over the PP values.
static double reference_statistic(const doubles& x, const doubles& y, const doubles& pps, weighting method) {
    double best = 0;
    for (double pp : pps) {
        double tau, estimate, p;
        char dir;
        std::vector<int> rx, ry;
        doubles w;
        reference::one_tau_analysis(x, y, pp, method_name(method), tau, estimate, p, dir, rx, ry, w);
        best = std::max(best, std::fabs(estimate));
    }
    return best;
}

static doubles scores(std::mt19937& rng, int n, bool signed_scores) {
    doubles v;
    int spread = 1 + static_cast<int>(rng() % (2 * n + 2));  // small spreads give ties
    for (int i = 0; i < n; ++i) v.push_back(static_cast<double>(rng() % spread) - (signed_scores ? spread / 2 : 0));
    return v;
}

static doubles five_pps() {
    doubles pps;
    for (int j = 0; j < 5; ++j) pps.push_back(0.8 - static_cast<double>(j) * 0.15);
    return pps;
}

// The null statistic of any pairing is the estimate the test itself gives
// the list scores paired that way: ranks and weights follow the pairing.
TEST(NullStatistic, IsTheTestsEstimateForEveryPairing) {
    std::mt19937 rng(11);
    const weighting methods[] = {weighting::both, weighting::list, weighting::set};
    for (int round = 0; round < 600; ++round) {
        int n = 1 + static_cast<int>(rng() % (round < 500 ? 40 : 400));
        weighting method = methods[round % 3];
        doubles pps = round % 2 ? five_pps() : doubles{0.5};
        doubles x = scores(rng, n, rng() % 2), y = scores(rng, n, true);
        set_ranks r;
        prepare_ranks(x, y, method, r);
        null_model m;
        make_null_model(r, pps, method, m);
        null_scratch s;
        std::vector<int> pairing(n);
        std::iota(pairing.begin(), pairing.end(), 0);
        std::shuffle(pairing.begin(), pairing.end(), rng);
        doubles paired(n);
        for (int i = 0; i < n; ++i) paired[i] = y[pairing[i]];
        double want = reference_statistic(x, paired, pps, method);
        // The test rounds each weight and pair weight to float (at most 3 * 2^-24
        // relative per pair): tau moves by at most 3.6e-7, the estimate by
        // 1.5 * 3.6e-7 * sqrt(n). The null statistic sums in double.
        double bound = 5.4e-7 * std::sqrt(static_cast<double>(n)) + 1e-12;
        ASSERT_NEAR(null_statistic(m, pairing, s), want, bound) << "n " << n << " round " << round;
    }
}

// Small sets are enumerated: the p-value is the share of all n! orderings
// whose straightforward estimate is at least as large in magnitude.
TEST(PermutationTest, ExactForSmallSetsCountsEveryOrdering) {
    std::mt19937 rng(3);
    for (int round = 0; round < 60; ++round) {
        int n = 1 + round % 5;
        doubles x = scores(rng, n, true), y = scores(rng, n, true);
        doubles pps = round % 2 ? five_pps() : doubles{0.5};
        set_ranks r;
        prepare_ranks(x, y, weighting::both, r);
        run_options o;
        o.permutations = 120;
        o.exceed = 120;  // draws that never stop early: enumerating 5! costs no more
        permutation_p got = permutation_pvalue("S", r, pps, o);
        double observed = reference_statistic(x, y, pps, weighting::both);
        std::vector<int> order(n);
        std::iota(order.begin(), order.end(), 0);
        long long all = 0, extreme = 0;
        do {
            doubles paired(n);
            for (int i = 0; i < n; ++i) paired[i] = y[order[i]];
            ++all;
            extreme += reference_statistic(x, paired, pps, weighting::both) >= observed * (1 - 1e-9);
        } while (std::next_permutation(order.begin(), order.end()));
        EXPECT_TRUE(got.exact);
        EXPECT_EQ(got.done, all);
        EXPECT_EQ(got.p_value, static_cast<double>(extreme) / static_cast<double>(all)) << "n " << n;
    }
}

// With --null=moments the permutations rank pairings by the largest |z|,
// the statistic whose normal tail the moments give: enumeration counts the
// orderings whose z, from the moments of each permuted pairing, is as large.
TEST(PermutationTest, WithMomentsScaleCountsOrderingsByLargestZ) {
    std::mt19937 rng(5);
    const weighting methods[] = {weighting::both, weighting::list, weighting::set};
    for (int round = 0; round < 60; ++round) {
        int n = 2 + round % 5;
        weighting method = methods[round % 3];
        doubles x = scores(rng, n, true), y = scores(rng, n, true);
        doubles pps = round % 2 ? five_pps() : doubles{0.5};
        numerator_moments observed = tau_moments(x, y, pps, method);
        doubles scale;
        for (std::size_t k = 0; k < pps.size(); ++k) {
            double var = observed.covariance[k * pps.size() + k];
            scale.push_back(var > 0 ? 1 / std::sqrt(var) : 0.0);
        }
        auto largest_z = [&](const doubles& paired) {
            double best = 0;
            for (double z : tau_moments(x, paired, pps, method).z) best = std::max(best, std::fabs(z));
            return best;
        };
        double want_observed = largest_z(y);
        std::vector<int> order(n);
        std::iota(order.begin(), order.end(), 0);
        long long all = 0, extreme = 0;
        do {
            doubles paired(n);
            for (int i = 0; i < n; ++i) paired[i] = y[order[i]];
            ++all;
            extreme += largest_z(paired) >= want_observed - std::max(want_observed * 1e-9, 1e-12);
        } while (std::next_permutation(order.begin(), order.end()));
        set_ranks r;
        prepare_ranks(x, y, method, r);
        run_options o;
        o.permutations = o.exceed = 720;
        permutation_p got = permutation_pvalue("S", r, pps, o, scale);
        EXPECT_TRUE(got.exact);
        EXPECT_EQ(got.p_value, static_cast<double>(extreme) / static_cast<double>(all)) << "round " << round;
    }
}

// Tau 0 is the least extreme value: every pairing is at least as extreme,
// also when the observed statistic is a rounding residue (here 4.3e-17)
// and some permuted ones are exactly 0 (96 of the 720).
TEST(PermutationTest, TauZeroHasPValueOne) {
    set_ranks r;
    prepare_ranks({1, 9, 6, 9, 6, 1}, {1, -3, 1, 3, 1, 1}, weighting::both, r);
    const long long caps[] = {720, 1000, 100000};
    for (long long cap : caps)
        for (long long stop : {20LL, cap}) {
            run_options o;
            o.permutations = cap;
            o.exceed = stop;
            permutation_p got = permutation_pvalue("S", r, five_pps(), o);
            EXPECT_EQ(got.p_value, 1.0) << cap << " " << stop;
        }
}

// Enumeration only where it costs no more than the draws a set unrelated
// to the list is expected to make: e (1 + ln(N / e)), or N when e >= N.
TEST(PermutationTest, EnumeratesOnlyWhereDrawingWouldCostMore) {
    struct row { int n; long long cap, stop; bool exact; };
    const row rows[] = {{3, 6, 20, true},       {4, 1000, 20, true},      {5, 1000, 20, false},
                        {5, 10000, 20, true},   {6, 10000000, 20, false}, {10, 3628800, 20, false},
                        {6, 720, 720, true},    {7, 720, 720, false},     {1, 1, 1, true}};
    std::mt19937 rng(4);
    for (const row& t : rows) {
        set_ranks r;
        prepare_ranks(scores(rng, t.n, true), scores(rng, t.n, true), weighting::both, r);
        run_options o;
        o.permutations = t.cap;
        o.exceed = t.stop;
        EXPECT_EQ(permutation_pvalue("S", r, five_pps(), o).exact, t.exact) << t.n << " " << t.cap << " " << t.stop;
    }
}

TEST(PermutationTest, StopsAfterEnoughExtremeDrawsAndDependsOnlyOnSeedAndName) {
    std::mt19937 rng(8);
    doubles x = scores(rng, 60, false), y = scores(rng, 60, true);
    set_ranks r;
    prepare_ranks(x, y, weighting::both, r);
    run_options o;
    o.permutations = 100000;
    o.exceed = 20;
    permutation_p first = permutation_pvalue("S", r, {0.5}, o);
    EXPECT_FALSE(first.exact);
    EXPECT_LT(first.done, o.permutations);  // unrelated scores: p is large, 20 extreme draws come soon
    EXPECT_EQ(first.p_value, 21.0 / (1.0 + static_cast<double>(first.done)));
    permutation_p again = permutation_pvalue("S", r, {0.5}, o);
    EXPECT_EQ(again.done, first.done);
    EXPECT_EQ(again.p_value, first.p_value);
    // Another name, or another seed, is another stream of orderings.
    run_options other = o;
    other.seed = 2;
    permutation_p other_seed = permutation_pvalue("S", r, {0.5}, other);
    permutation_p other_name = permutation_pvalue("T", r, {0.5}, o);
    EXPECT_TRUE(other_seed.done != first.done || other_name.done != first.done);
    // A strong association reaches the cap: p = 1 / (1 + N).
    doubles same(60);
    std::iota(same.begin(), same.end(), 1.0);
    prepare_ranks(same, same, weighting::both, r);
    o.permutations = 2000;
    permutation_p strong = permutation_pvalue("S", r, {0.5}, o);
    EXPECT_EQ(strong.done, 2000);
    EXPECT_EQ(strong.p_value, 1.0 / 2001.0);
}

TEST(CounterRng, OrderingsAreUniformPermutationsFixedByKeyAndIndex) {
    std::uint64_t key = set_key(1, "SET");
    EXPECT_NE(key, set_key(2, "SET"));
    EXPECT_NE(key, set_key(1, "SET2"));
    std::vector<int> order(5), again(5);
    std::map<std::vector<int>, int> seen;
    for (std::uint64_t t = 0; t < 12000; ++t) {
        draw_stream s = permutation_stream(key, t);
        random_order(s, order);
        ++seen[order];
    }
    // All 120 orderings of five, each near 100 times (a chi-square with 119
    // degrees of freedom stays below 190 with probability 1 - 1e-5).
    ASSERT_EQ(seen.size(), 120u);
    double chi = 0;
    for (auto& kv : seen) chi += (kv.second - 100.0) * (kv.second - 100.0) / 100.0;
    EXPECT_LT(chi, 190);
    // The same index gives the same ordering, whatever was drawn before.
    draw_stream a = permutation_stream(key, 77), b = permutation_stream(key, 77);
    random_order(a, order);
    b.next();
    b = permutation_stream(key, 77);
    random_order(b, again);
    EXPECT_EQ(order, again);
    for (std::uint32_t bound : {1u, 2u, 3u, 1000u, 4294967295u}) {
        draw_stream s = permutation_stream(key, bound);
        for (int k = 0; k < 1000; ++k) ASSERT_LT(s.below(bound), bound);
    }
}
