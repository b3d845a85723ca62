// The exact whole passes (SSE2, AVX2, AVX-512) against the sequential pass.
#include <gtest/gtest.h>

#include <cmath>

#include "pair_inputs.h"

// Every SIMD path, wherever its exactness condition holds, gives the sums of
// the straightforward sequential pass bit for bit.
TEST(PairExact, EveryPathMatchesTheSequentialPass) {
    std::mt19937 rng(5);
    int exact_cases = 0, tiny_cases = 0;
    for (int trial = 0; trial < 500; ++trial) {
        int n = 2 + static_cast<int>(rng() % (trial < 420 ? 200 : 5000));
        pair_layout layout = random_layout(rng, n);
        doubles w = trial % 5 == 4   ? tiny_weights(rng, n)
                    : trial % 5 == 3 ? adversarial_weights(rng, n)
                                     : rank_made_weights(rng, n);
        floats f = in_pair_order(w, layout);
        int s = exact_shift(f);
        if (s < 0) continue;
        ++exact_cases;
        tiny_cases += trial % 5 == 4;
        long double w_seq, t_seq;
        sequential_pair_sums(f, layout, w_seq, t_seq);
        for (pair_path path : {path_sse2, path_avx2, path_avx512}) {
            if (!pair_path_supported(path)) continue;
            long double w_fast, t_fast;
            exact_pair_sums(path, f, layout, s, w_fast, t_fast);
            ASSERT_EQ(w_fast, w_seq) << "path " << path << " n " << n << " trial " << trial;
            ASSERT_EQ(t_fast, t_seq) << "path " << path << " n " << n << " trial " << trial;
        }
    }
    EXPECT_GT(exact_cases, 250);
    EXPECT_GT(tiny_cases, 10);
}

TEST(PairExact, ConditionRefusesWhatItCannotProve) {
    EXPECT_LT(exact_shift({1.0f}), 0);                     // no pair
    EXPECT_LT(exact_shift({1.0f, 0.0f, 1.0f}), 0);         // a zero weight
    EXPECT_LT(exact_shift({1.0f, -0.5f}), 0);              // a negative weight
    EXPECT_LT(exact_shift({1.0f, NAN}), 0);                // not a number
    EXPECT_LT(exact_shift({1e-20f, 1e-20f, 1.0f}), 0);     // smallest product below the normal range
    // The float product of these two is the smallest normal float, but only
    // by rounding an exact product below it with subnormal precision.
    EXPECT_LT(exact_shift({0x1p-63f, 0x1.fffffep-64f, 0x1p-62f}), 0);
    EXPECT_EQ(exact_shift({0x1p-63f, 0x1p-63f, 0x1p-62f}), 149);  // exactly the smallest normal product
    EXPECT_EQ(exact_shift({0.5f, 0.5f}), 25);              // pmin 0.25 = 2^-2, ulp 2^-25
    std::vector<float> many(5000, 1.0f);
    many[0] = many[1] = 1e-9f;                             // sum of pairs too large for 2^64 ulps
    EXPECT_LT(exact_shift(many), 0);
}
