#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <thread>

#include "error_of.h"
#include "stats/rank_tables.h"
#include "stats/weights.h"

using doubles = std::vector<double>;

TEST(Weigher, CurvePointsAndEnds) {
    EXPECT_EQ(weigher(0.5, 1), 0.5);
    EXPECT_EQ(weigher(0.25, 1), 0.75);
    for (double power : {0.3, 1.0, 3.1}) {
        EXPECT_EQ(weigher(0, power), 1);
        EXPECT_EQ(weigher(1, power), 0);
    }
    // The curve passes through (PP, PP) for power = -ln 2 / ln PP.
    for (double pp : {0.8, 0.65, 0.35, 0.2}) EXPECT_NEAR(weigher(pp, -std::log(2.0) / std::log(pp)), pp, 1e-12);
}

TEST(WeigherError, OutsideTheUnitIntervalEndsTheRun) {
    EXPECT_EQ(error_of([] { weigher(1.5, 1); }).text(), "wrong x1: 1.5");
    EXPECT_EQ(error_of([] { weigher(-0.1, 1); }).text(), "wrong x1: -0.1");
}

TEST(Weights, FromMagnitudeRanks) {
    doubles w;
    std::vector<int> ranks;
    cal_weights({3.0, -4.0, 1.0, -4.0}, 1, w);
    EXPECT_EQ(w, (doubles{0.375, 0.875, 0.125, 0.875}));
    cal_weight_ranks({3.0, -4.0, 1.0, -4.0}, 1, w, ranks);
    EXPECT_EQ(w, (doubles{0.375, 0.875, 0.125, 0.875}));
    EXPECT_EQ(ranks, (std::vector<int>{1, 3, 2, 3}));
    cal_weights({-2.0}, 1, w);
    EXPECT_EQ(w, (doubles{0.5}));
}

TEST(WeightsError, EmptyScoresEndTheRun) {
    doubles w;
    std::vector<int> r;
    EXPECT_EQ(error_of([&] { cal_weights({}, 1, w); }).text(), "x_n < 1");
    EXPECT_EQ(error_of([&] { cal_weight_ranks({}, 1, w, r); }).text(), "x_n < 1");
    EXPECT_EQ(error_of([&] { abs_vec({}, w); }).text(), "x_n < 1");
    EXPECT_EQ(error_of([] { calculate_limit({}); }).text(), "x_n < 1");
    EXPECT_EQ(error_of([&] { merge_weights({1}, {1, 2}, w); }).text(), "x_n != y_n!");
}

TEST(Weights, GeometricMean) {
    doubles m{9};
    merge_weights({0.25, 1.0}, {1.0, 0.36}, m);
    EXPECT_EQ(m, (doubles{0.5, 0.6}));
    merge_weights({}, {}, m);
    EXPECT_TRUE(m.empty());
}

TEST(Limit, DividesBySqrtQBeforeSqrtN) {
    EXPECT_EQ(calculate_limit({1, 1, 1, 1}), 1.0);
    EXPECT_EQ(calculate_limit({0.5, 0.5}), 0.9999999999999999);
    EXPECT_EQ(calculate_limit({1, 0}), 0.7071067811865475);
    EXPECT_EQ(calculate_limit({0, 0}), 0.0);
    // limit of the weights (5/6, 1/2, 1/6), in extended precision
    EXPECT_NEAR(calculate_limit({5.0 / 6, 0.5, 1.0 / 6}), 0.87831, 5e-6);
}

// A filled table holds rank_weights' weights, and merged_rank_weights reads
// it into merge_weights of the two rank_weights vectors, to the bit: ranks
// with ties, the lazy table shared between calls as the run shared it.
TEST(Weights, MergedInOneLoopAsMergedFromBothVectors) {
    std::mt19937 rng(3);
    for (int trial = 0; trial < 300; ++trial) {
        std::size_t n = 1 + rng() % 300;
        std::vector<int> x(n), y(n);
        for (std::size_t i = 0; i < n; ++i) {
            x[i] = 1 + static_cast<int>(rng() % (trial % 3 == 0 ? std::min<std::size_t>(3, n) : n));
            y[i] = 1 + static_cast<int>(rng() % n);
        }
        double power = 0.3 + (rng() % 40) / 10.0;
        doubles table_a, table_b, wx, wy, want, got;
        rank_weights(x, power, table_a, wx);
        rank_weights(y, power, table_a, wy);
        merge_weights(wx, wy, want);
        fill_rank_table(n, power, table_b);
        merged_rank_weights(x, y, table_b, got);
        doubles read;
        table_rank_weights(x, table_b, read);
        ASSERT_EQ(std::memcmp(read.data(), wx.data(), n * sizeof(double)), 0);
        for (std::size_t r = 1; r <= n; ++r) {
            if (std::isnan(table_a[r])) continue;  // a rank no vector held
            ASSERT_EQ(std::memcmp(&table_a[r], &table_b[r], sizeof(double)), 0) << r;
        }
        ASSERT_EQ(got.size(), want.size());
        for (std::size_t i = 0; i < n; ++i) ASSERT_EQ(std::memcmp(&got[i], &want[i], sizeof(double)), 0) << i;
    }
}

// Tables the workers share are fill_rank_table's, made once for all of them:
// threads asking at once get the same table; another power or a size above
// the largest kept gets none, and its caller makes its own.
TEST(RankTables, SharedTablesAreTheFilledTablesMadeOnce) {
    rank_tables t;
    start_rank_tables(t, {0.8, 0.5}, 40);
    std::vector<const doubles*> got(4 * 41);
    std::vector<std::thread> threads;
    for (int k = 0; k < 4; ++k)
        threads.emplace_back([&, k] {
            for (std::size_t n = 1; n <= 40; ++n) got[k * 41 + n] = shared_rank_table(t, n, pp_power(n % 2 ? 0.8 : 0.5));
        });
    for (auto& th : threads) th.join();
    for (std::size_t n = 1; n <= 40; ++n) {
        doubles want;
        fill_rank_table(n, pp_power(n % 2 ? 0.8 : 0.5), want);
        ASSERT_NE(got[n], nullptr);
        ASSERT_EQ(std::memcmp(got[n]->data() + 1, want.data() + 1, n * sizeof(double)), 0) << n;
        for (int k = 1; k < 4; ++k) EXPECT_EQ(got[k * 41 + n], got[n]) << n;
    }
    EXPECT_EQ(shared_rank_table(t, 41, pp_power(0.8)), nullptr);
    EXPECT_EQ(shared_rank_table(t, 10, pp_power(0.65)), nullptr);
}
