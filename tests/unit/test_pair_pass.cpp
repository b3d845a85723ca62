#include <gtest/gtest.h>

#include <cstring>

#include "pair_inputs.h"
#include "reference.h"
#include "stats/tau.h"

// Bit-for-bit equality, NaN included.
static bool same(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(PairPass, TauMatchesTheStraightforwardPassOnRandomInput) {
    std::mt19937 rng(3);
    for (int trial = 0; trial < 700; ++trial) {
        int n = 1 + static_cast<int>(rng() % (trial < 600 ? 120 : 2500));
        int spread = 1 + static_cast<int>(rng() % n);
        ints x = random_ranks(rng, n, spread), y = random_ranks(rng, n, spread);
        doubles w = trial % 6 == 5   ? tiny_weights(rng, n)
                    : trial % 3 == 2 ? adversarial_weights(rng, n)
                                     : rank_made_weights(rng, n);
        double fast = wtau2(x, y, w), slow = reference::wtau2(x, y, w);
        ASSERT_TRUE(same(fast, slow)) << "n " << n << " trial " << trial << ": " << fast << " vs " << slow;
    }
}

// All five weight vectors of automatic selection at once, on every path the
// processor has, against the straightforward pass over all pairs.
TEST(PairPass, EveryPathOfTheFiveTestsMatchesTheStraightforwardPass) {
    std::mt19937 rng(23);
    for (int trial = 0; trial < 60; ++trial) {
        int n = 2 + static_cast<int>(rng() % (trial < 48 ? 200 : 2500));
        ints x = random_ranks(rng, n, 1 + static_cast<int>(rng() % n));
        ints y = random_ranks(rng, n, 1 + static_cast<int>(rng() % n));
        pair_layout layout;
        make_pair_layout(x, y, layout);
        std::vector<doubles> weights;
        std::vector<const doubles*> each;
        for (int v = 0; v < 5; ++v)
            weights.push_back(trial % 5 == 4 && v == 2   ? adversarial_weights(rng, n)
                              : trial % 3 == 1 && v >= 3 ? tiny_weights(rng, n)
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
