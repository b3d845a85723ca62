#include <gtest/gtest.h>

#include <cfloat>
#include <cstring>
#include <cmath>
#include <random>

#include "reference.h"
#include "stats/pair_pass_internal.h"
#include "stats/ranks.h"
#include "stats/tau.h"
#include "stats/weights.h"

using doubles = std::vector<double>;
using ints = std::vector<int>;

// Bit-for-bit equality, NaN included.
static bool same(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

static ints random_ranks(std::mt19937& rng, int n, int spread) {
    ints r;
    for (int i = 0; i < n; ++i) r.push_back(1 + static_cast<int>(rng() % spread));
    return r;
}

// Weights as the program makes them: from magnitude ranks at one of the five PP values.
static doubles rank_made_weights(std::mt19937& rng, int n) {
    double pp = 0.8 - (rng() % 5) * 0.15;
    doubles scores;
    for (int i = 0; i < n; ++i) scores.push_back(static_cast<double>(rng() % (2 * n + 1)) - n);
    doubles w;
    cal_weights(scores, -0.6931471805599453 / std::log(pp), w);
    if (rng() % 2) {
        doubles other, merged;
        for (double& s : scores) s = static_cast<double>(rng() % 97);
        cal_weights(scores, -0.6931471805599453 / std::log(pp), other);
        merge_weights(w, other, merged);
        return merged;
    }
    return w;
}

// Weights chosen to break the exactness condition, or to probe its edges.
static doubles adversarial_weights(std::mt19937& rng, int n) {
    doubles w;
    std::uniform_real_distribution<double> unit(0, 1);
    int kind = static_cast<int>(rng() % 6);
    for (int i = 0; i < n; ++i) {
        double u = unit(rng);
        switch (kind) {
        case 0: w.push_back(std::ldexp(u + 0.5, -static_cast<int>(rng() % 60))); break;  // wide spread
        case 1: w.push_back(i == 0 ? 1e-30 : u); break;                                 // one tiny weight
        case 2: w.push_back(u * 1e20); break;                                           // big weights
        case 3: w.push_back(i % 7 == 0 ? 0.0 : u); break;                                // zeros
        case 4: w.push_back(i % 5 == 0 ? -u : u); break;                                // negative weights
        default: w.push_back(i == 1 ? (rng() % 2 ? NAN : INFINITY) : u); break;        // NaN, inf
        }
    }
    return w;
}

TEST(PairPass, TauMatchesTheStraightforwardPassOnRandomInput) {
    std::mt19937 rng(3);
    for (int trial = 0; trial < 700; ++trial) {
        int n = 1 + static_cast<int>(rng() % (trial < 600 ? 120 : 2500));
        int spread = 1 + static_cast<int>(rng() % n);
        ints x = random_ranks(rng, n, spread), y = random_ranks(rng, n, spread);
        doubles w = trial % 3 == 2 ? adversarial_weights(rng, n) : rank_made_weights(rng, n);
        double fast = wtau2(x, y, w), slow = reference::wtau2(x, y, w);
        ASSERT_TRUE(same(fast, slow)) << "n " << n << " trial " << trial << ": " << fast << " vs " << slow;
    }
}

// Every SIMD path, wherever its exactness condition holds, gives the sums of
// the straightforward sequential pass bit for bit.
TEST(PairPass, EveryExactPathMatchesTheSequentialPass) {
    std::mt19937 rng(5);
    int exact_cases = 0;
    for (int trial = 0; trial < 400; ++trial) {
        int n = 2 + static_cast<int>(rng() % (trial < 320 ? 200 : 5000));
        int spread = 1 + static_cast<int>(rng() % n);
        pair_layout layout;
        make_pair_layout(random_ranks(rng, n, spread), random_ranks(rng, n, spread), layout);
        doubles w = trial % 4 == 3 ? adversarial_weights(rng, n) : rank_made_weights(rng, n);
        std::vector<float> f;
        for (int k : layout.order) f.push_back(static_cast<float>(w[k]));
        int s = exact_shift(f);
        if (s < 0) continue;
        ++exact_cases;
        long double w_seq, t_seq;
        sequential_pair_sums(f, layout, w_seq, t_seq);
        for (pair_path path : {path_sse2, path_avx2, path_avx512}) {
            if (!pair_path_supported(path)) continue;
            long double w_fast, t_fast;
            exact_pair_sums(path, f, layout, s, w_fast, t_fast);
            ASSERT_EQ(w_fast, w_seq) << "path " << path << " n " << n;
            ASSERT_EQ(t_fast, t_seq) << "path " << path << " n " << n;
        }
    }
    EXPECT_GT(exact_cases, 200);
}

// Weights with few significant bits, so that many products fall exactly
// halfway between the multiples the row method adds.
static doubles coarse_weights(std::mt19937& rng, int n) {
    doubles w;
    for (int i = 0; i < n; ++i) w.push_back(std::ldexp(1 + static_cast<double>(rng() % 8), -static_cast<int>(rng() % 40)));
    return w;
}

TEST(PairPass, RowByRowMatchesTheSequentialPass) {
    std::mt19937 rng(13);
    int rows_tried = 0;
    for (int trial = 0; trial < 300; ++trial) {
        int n = 2 + static_cast<int>(rng() % (trial < 250 ? 300 : 5000));
        int spread = 1 + static_cast<int>(rng() % n);
        pair_layout layout;
        make_pair_layout(random_ranks(rng, n, spread), random_ranks(rng, n, spread), layout);
        doubles w = trial % 3 == 0 ? coarse_weights(rng, n) : trial % 3 == 1 ? adversarial_weights(rng, n)
                                                                                : rank_made_weights(rng, n);
        std::vector<float> f;
        for (int k : layout.order) f.push_back(static_cast<float>(w[k]));
        if (!rowwise_applies(f)) continue;
        ++rows_tried;
        long double w_seq, t_seq, w_row, t_row;
        sequential_pair_sums(f, layout, w_seq, t_seq);
        rowwise_pair_sums(f, layout, w_row, t_row);
        ASSERT_EQ(w_row, w_seq) << "n " << n << " trial " << trial;
        ASSERT_EQ(t_row, t_seq) << "n " << n << " trial " << trial;
    }
    if (pair_path_supported(path_avx512)) {
        EXPECT_GT(rows_tried, 150);
    }
}

TEST(PairPass, TwoChainsMatchOneChainEach) {
    std::mt19937 rng(9);
    for (int trial = 0; trial < 60; ++trial) {
        int n = 2 + static_cast<int>(rng() % 700);
        pair_layout layout;
        make_pair_layout(random_ranks(rng, n, n), random_ranks(rng, n, 1 + n / 3), layout);
        std::vector<float> a, b;
        doubles wa = rank_made_weights(rng, n), wb = rank_made_weights(rng, n);
        for (int k : layout.order) {
            a.push_back(static_cast<float>(wa[k]));
            b.push_back(static_cast<float>(wb[k]));
        }
        long double w1, t1, w2, t2, wa1, ta1, wb1, tb1;
        sequential_pair_sums2(a, b, layout, w1, t1, w2, t2);
        sequential_pair_sums(a, layout, wa1, ta1);
        sequential_pair_sums(b, layout, wb1, tb1);
        ASSERT_EQ(w1, wa1);
        ASSERT_EQ(t1, ta1);
        ASSERT_EQ(w2, wb1);
        ASSERT_EQ(t2, tb1);
    }
}

TEST(PairPass, ExactnessConditionRefusesWhatItCannotProve) {
    EXPECT_LT(exact_shift({1.0f}), 0);                     // no pair
    EXPECT_LT(exact_shift({1.0f, 0.0f, 1.0f}), 0);         // a zero weight
    EXPECT_LT(exact_shift({1.0f, -0.5f}), 0);              // a negative weight
    EXPECT_LT(exact_shift({1.0f, NAN}), 0);                // not a number
    EXPECT_LT(exact_shift({1e-20f, 1e-20f, 1.0f}), 0);     // smallest product below the normal range
    EXPECT_EQ(exact_shift({0.5f, 0.5f}), 25);              // pmin 0.25 = 2^-2, ulp 2^-25
    std::vector<float> many(5000, 1.0f);
    many[0] = many[1] = 1e-9f;                             // sum of pairs too large for 2^64 ulps
    EXPECT_LT(exact_shift(many), 0);
}

TEST(PairPass, SequentialAndExactInOneLoopMatchEachAlone) {
    std::mt19937 rng(17);
    int tried = 0;
    for (int trial = 0; trial < 200; ++trial) {
        int n = 2 + static_cast<int>(rng() % (trial < 150 ? 300 : 4000));
        int spread = 1 + static_cast<int>(rng() % n);
        pair_layout layout;
        make_pair_layout(random_ranks(rng, n, spread), random_ranks(rng, n, spread), layout);
        doubles wa = trial % 2 ? coarse_weights(rng, n) : rank_made_weights(rng, n);
        doubles wb = rank_made_weights(rng, n), wc = rank_made_weights(rng, n);
        std::vector<float> a, b, c;
        for (int k : layout.order) {
            a.push_back(static_cast<float>(wa[k]));
            b.push_back(static_cast<float>(wb[k]));
            c.push_back(static_cast<float>(wc[k]));
        }
        int sb = exact_shift(b), sc = exact_shift(c);
        if (sb < 0 || sc < 0) continue;
        ++tried;
        long double wa1, ta1, wb1, tb1, wc1, tc1, w_seq, t_seq, wb2, tb2, wc2, tc2;
        sequential_with_exact_pair_sums(a, b, c, layout, sb, sc, wa1, ta1, wb1, tb1, wc1, tc1);
        sequential_pair_sums(a, layout, w_seq, t_seq);
        exact_pair_sums(path_sse2, b, layout, sb, wb2, tb2);
        exact_pair_sums(path_sse2, c, layout, sc, wc2, tc2);
        ASSERT_EQ(wa1, w_seq) << "n " << n;
        ASSERT_EQ(ta1, t_seq) << "n " << n;
        ASSERT_EQ(wb1, wb2) << "n " << n;
        ASSERT_EQ(tb1, tb2) << "n " << n;
        ASSERT_EQ(wc1, wc2) << "n " << n;
        ASSERT_EQ(tc1, tc2) << "n " << n;
    }
    EXPECT_GT(tried, 100);
}

// All five weight vectors of automatic selection at once, on every path the
// processor has, against the straightforward pass over all pairs.
TEST(PairPass, EveryPathOfTheFiveTestsMatchesTheStraightforwardPass) {
    std::mt19937 rng(23);
    for (int trial = 0; trial < 40; ++trial) {
        int n = 2 + static_cast<int>(rng() % (trial < 30 ? 200 : 2500));
        ints x = random_ranks(rng, n, 1 + static_cast<int>(rng() % n));
        ints y = random_ranks(rng, n, 1 + static_cast<int>(rng() % n));
        pair_layout layout;
        make_pair_layout(x, y, layout);
        std::vector<doubles> weights;
        std::vector<const doubles*> each;
        for (int v = 0; v < 5; ++v) weights.push_back(trial % 5 == 4 && v == 2 ? adversarial_weights(rng, n)
                                                                                : rank_made_weights(rng, n));
        for (const doubles& w : weights) each.push_back(&w);
        for (pair_path path : {path_sse2, path_avx2, path_avx512}) {
            if (!pair_path_supported(path)) continue;
            std::vector<long double> w_sums, t_sums;
            pair_sums(path, layout, each, w_sums, t_sums);
            for (int v = 0; v < 5; ++v) {
                long double w_ref, t_ref;
                reference::pair_sums(x, y, weights[v], layout.order, w_ref, t_ref);
                // the ten bytes of the value, so that NaN matches NaN
                ASSERT_TRUE(std::memcmp(&w_sums[v], &w_ref, 10) == 0 && std::memcmp(&t_sums[v], &t_ref, 10) == 0)
                    << "path " << path << " n " << n << " vector " << v;
            }
        }
    }
}
