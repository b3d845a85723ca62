#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <cstring>
#include <random>

#include "error_of.h"
#include "reference.h"
#include "stats/ranks.h"

using ints = std::vector<int>;
using doubles = std::vector<double>;

TEST(Ranks, OrderAndRanksOfWorkedExamples) {
    struct row {
        doubles values;
        ints order, ranks;
    };
    const row rows[] = {
        {{4.0}, {0}, {1}},
        {{2, 2, 2}, {0, 1, 2}, {1, 1, 1}},
        {{5, 3, 5, 1}, {0, 2, 1, 3}, {1, 3, 1, 4}},
        {{0.0, -0.0}, {0, 1}, {1, 1}},
        {{2.5, 7.0, 7.0, 1.0, 7.0}, {1, 2, 4, 0, 3}, {4, 1, 1, 5, 1}},
    };
    for (const row& r : rows) {
        ints order, ranks;
        bubble_asort_rev(r.values, order);
        vec_rank_rev(r.values, ranks);
        EXPECT_EQ(order, r.order);
        EXPECT_EQ(ranks, r.ranks);
    }
}

TEST(Ranks, EmptyValuesGiveEmptyRanks) {
    ints ranks{7};
    vec_rank_rev({}, ranks);
    EXPECT_TRUE(ranks.empty());
}

TEST(Ranks, LexsortOfWorkedExamples) {
    ints order;
    bubble_lexsort({2, 1, 1}, {1, 5, 3}, order);
    EXPECT_EQ(order, (ints{2, 1, 0}));
    bubble_lexsort({1, 1}, {4, 4}, order);
    EXPECT_EQ(order, (ints{0, 1}));
}

TEST(RanksError, LexsortLengthErrorEndsTheRun) {
    ints order;
    EXPECT_EQ(error_of([&] { bubble_lexsort({1, 2, 3}, {1, 2}, order); }).text(), "length error4: vec_x:3 vec_y:2");
    EXPECT_EQ(error_of([&] { bubble_lexsort({}, {}, order); }).text(), "length error4: vec_x:0 vec_y:0");
}

// Values drawn from a small pool so that ties, signed zeros and NaN are common.
static double random_values_pool(std::mt19937_64& rng) {
    const double pool[] = {0.0, -0.0, 1.0, -1.0, 2.5, 3.0, -7.25, 1e-300, 1e300, INFINITY, -INFINITY};
    return pool[rng() % 11];
}

static doubles random_values(std::mt19937& rng, int n, bool with_nan) {
    const double pool[] = {0.0, -0.0, 1.0, -1.0, 2.5, 3.0, -7.25, 1e-300, 1e300, INFINITY, -INFINITY};
    std::uniform_int_distribution<int> pick(0, 10 + (with_nan ? 2 : 0));
    std::uniform_real_distribution<double> any(-5, 5);
    doubles v;
    for (int i = 0; i < n; ++i) {
        int k = pick(rng);
        v.push_back(k < 11 ? pool[k] : k == 11 ? any(rng) : NAN);
    }
    return v;
}

TEST(Ranks, SameOrderAsTheExchangeSortOnRandomInput) {
    std::mt19937 rng(11);
    for (int trial = 0; trial < 600; ++trial) {
        int n = 1 + static_cast<int>(rng() % (trial < 550 ? 60 : 1500));
        bool with_nan = trial % 3 == 0;
        doubles v = random_values(rng, n, with_nan);
        ints fast, slow;
        bubble_asort_rev(v, fast);
        reference::bubble_asort_rev(v, slow);
        ASSERT_EQ(fast, slow) << "n " << n;
        vec_rank_rev(v, fast);
        reference::vec_rank_rev(v, slow);
        ASSERT_EQ(fast, slow) << "n " << n;
    }
}

// Large inputs without NaN take the counting-pass sort: values of every
// kind (random bit patterns, subnormals, ±0, ±inf, scores with many ties).
TEST(Ranks, LargeInputsWithoutNanSortAsTheExchangeSort) {
    std::mt19937_64 rng(31);
    for (int trial = 0; trial < 60; ++trial) {
        int n = 256 + static_cast<int>(rng() % 2500);
        doubles v;
        for (int i = 0; i < n; ++i) {
            std::uint64_t bits = rng();
            double d;
            std::memcpy(&d, &bits, sizeof d);
            switch (trial % 4) {
            case 0: v.push_back(std::isnan(d) ? 0.0 : d); break;
            case 1: v.push_back(std::ldexp(static_cast<double>(rng() % 9) - 4, -1070 + static_cast<int>(rng() % 8))); break;
            case 2: v.push_back(static_cast<double>(rng() % 200) / 10.0 - (rng() % 2 ? 10 : 0)); break;
            default: v.push_back(random_values_pool(rng)); break;
            }
        }
        ints fast, slow;
        bubble_asort_rev(v, fast);
        reference::bubble_asort_rev(v, slow);
        ASSERT_EQ(fast, slow) << "n " << n << " trial " << trial;
    }
}

// With NaN the order is the exchange sort's: NaN stay in place and each
// stretch between them is sorted on its own. Few NaN make long stretches
// (the counting-pass sort from 256 values on); runs of NaN, NaN at both ends,
// all NaN and stretches of one value are the edges.
TEST(Ranks, NanStretchesSortAsTheExchangeSort) {
    std::mt19937 rng(41);
    for (int trial = 0; trial < 80; ++trial) {
        int n = 1 + static_cast<int>(rng() % (trial < 30 ? 2000 : 700));
        doubles v = random_values(rng, n, false);
        int nans = static_cast<int>(rng() % 6);
        for (int k = 0; k < nans; ++k) v[rng() % n] = k % 2 ? NAN : -NAN;
        switch (trial % 5) {
        case 0: v.front() = NAN; break;
        case 1: v.back() = NAN; break;
        case 2: for (int k = 0; k < n / 3; ++k) v[(n / 3 + k) % n] = NAN; break;  // a run of NaN
        case 3: if (trial % 10 == 3) v.assign(n, NAN); break;
        default: break;
        }
        ints fast, slow;
        bubble_asort_rev(v, fast);
        reference::bubble_asort_rev(v, slow);
        ASSERT_EQ(fast, slow) << "n " << n << " trial " << trial;
        vec_rank_rev(v, fast);
        reference::vec_rank_rev(v, slow);
        ASSERT_EQ(fast, slow) << "n " << n << " trial " << trial;
    }
}

// The worked case of the rule: the NaN at position 2 splits the values.
TEST(Ranks, NanKeepsItsPlaceAndNothingPassesIt) {
    ints order;
    bubble_asort_rev({1, 3, NAN, 5, 2, 5}, order);
    EXPECT_EQ(order, (ints{1, 0, 2, 3, 5, 4}));
}

TEST(Ranks, SameLexOrderAsTheExchangeSortOnRandomInput) {
    std::mt19937 rng(12);
    for (int trial = 0; trial < 300; ++trial) {
        int n = 1 + static_cast<int>(rng() % (trial < 250 ? 80 : 3000));
        int spread = 1 + static_cast<int>(rng() % n);
        // Keys from ranks lie in 1..n; other keys take the general path.
        int shift = trial % 4 == 3 ? static_cast<int>(rng() % 7) - 3 : 0;
        ints a, b;
        for (int i = 0; i < n; ++i) {
            a.push_back(1 + shift + static_cast<int>(rng() % spread));
            b.push_back(1 + static_cast<int>(rng() % spread) * (trial % 8 == 7 ? 1000 : 1));
        }
        ints fast, slow;
        bubble_lexsort(a, b, fast);
        reference::bubble_lexsort(a, b, slow);
        ASSERT_EQ(fast, slow) << "n " << n;
    }
}

// Ranks through keys: the values of a whole ranking (ties, ±0, ±inf, NaN,
// and from 256 values on the counting-pass sort) are keyed once; any pick of
// them, in any order, then ranks from its keys as vec_rank_rev ranks it.
TEST(Ranks, KeysOfAWholeRankingRankAnyPickAsTheExchangeSort) {
    std::mt19937 rng(51);
    for (int trial = 0; trial < 300; ++trial) {
        int n = 1 + static_cast<int>(rng() % (trial < 250 ? 80 : 3000));
        doubles all = random_values(rng, n, trial % 2 == 0);
        for (bool magnitudes : {false, true}) {
            std::vector<std::uint32_t> keys, picked;
            descending_keys(all.data(), all.size(), magnitudes, keys);
            doubles values;
            for (int k = 0; k < n; ++k) {
                int i = static_cast<int>(rng() % n);
                double v = magnitudes ? std::fabs(all[i]) : all[i];
                ASSERT_EQ(keys[i] == nan_key, std::isnan(v));
                if (std::isnan(v) || rng() % 3 == 0) continue;
                values.push_back(v);
                picked.push_back(keys[i]);
            }
            ints fast, slow;
            ranks_of_keys(picked, fast);
            reference::vec_rank_rev(values, slow);
            ASSERT_EQ(fast, slow) << "n " << n << " trial " << trial;
        }
    }
}

// Keys of a few hundred thousand values with few distinct among them take
// the distinct ones alone (more than 65 536 distinct: all sorted): each key
// is the number of distinct values above, NaN nan_key, -0 equal to +0.
TEST(Ranks, KeysOfManyValuesAreTheirPlacesAmongTheDistinct) {
    std::mt19937 rng(53);
    for (int trial = 0; trial < 4; ++trial) {
        std::size_t n = 300000;
        doubles all(n);
        for (double& v : all) {
            if (trial == 3) v = std::ldexp(static_cast<double>(rng() % 1000000), -10) - 400;  // many distinct
            else if (trial == 2) v = random_values(rng, 1, true)[0];
            else v = static_cast<double>(rng() % 2000) / 10.0 - (trial == 1 ? 100 : 0);
        }
        for (bool magnitudes : {false, true}) {
            std::vector<std::uint32_t> keys;
            descending_keys(all.data(), n, magnitudes, keys);
            doubles distinct;
            for (double v : all)
                if (!std::isnan(v)) distinct.push_back(magnitudes ? std::fabs(v) : v);
            std::sort(distinct.begin(), distinct.end(), std::greater<double>());
            distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
            for (std::size_t k = 0; k < n; ++k) {
                double v = magnitudes ? std::fabs(all[k]) : all[k];
                std::uint32_t want = std::isnan(v) ? nan_key
                    : static_cast<std::uint32_t>(std::lower_bound(distinct.begin(), distinct.end(), v, std::greater<double>()) - distinct.begin());
                ASSERT_EQ(keys[k], want) << "trial " << trial << " value " << v;
            }
        }
    }
}

// Both sides' ranks and the pair order from one sort of each side's keys are
// ranks_of_keys of each and bubble_lexsort of those ranks: keys with many
// ties, none, and of every width.
TEST(Ranks, KeyedPairOrderIsTheLexsortOfTheKeyedRanks) {
    std::mt19937 rng(57);
    for (int trial = 0; trial < 500; ++trial) {
        std::size_t n = 1 + rng() % (trial < 450 ? 400 : 3000);
        std::uint32_t spread_x = trial % 3 == 0 ? 1 + rng() % 5 : static_cast<std::uint32_t>(rng()) >> (rng() % 32);
        std::uint32_t spread_y = trial % 4 == 0 ? 1 + rng() % 5 : static_cast<std::uint32_t>(rng()) >> (rng() % 32);
        std::vector<std::uint32_t> x(n), y(n);
        for (std::size_t k = 0; k < n; ++k) {
            x[k] = static_cast<std::uint32_t>(rng() % (std::uint64_t{spread_x} + 1)) % nan_key;
            y[k] = static_cast<std::uint32_t>(rng() % (std::uint64_t{spread_y} + 1)) % nan_key;
        }
        ints rank_x, rank_y, order, want_x, want_y, want_order;
        keyed_pair_order(x, y, rank_x, rank_y, order);
        ranks_of_keys(x, want_x);
        ranks_of_keys(y, want_y);
        bubble_lexsort(want_x, want_y, want_order);
        ASSERT_EQ(rank_x, want_x) << "trial " << trial;
        ASSERT_EQ(rank_y, want_y) << "trial " << trial;
        ASSERT_EQ(order, want_order) << "trial " << trial;
    }
}
