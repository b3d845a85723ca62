// The sequential passes: one chain against the straightforward pass over all
// pairs, and the fused loops against one chain or one exact pass each.
#include <gtest/gtest.h>

#include <cstring>

#include "pair_inputs.h"
#include "reference.h"

// The ten bytes of the value, so that NaN matches NaN.
static bool same_bits(long double a, long double b) { return std::memcmp(&a, &b, 10) == 0; }

// Skipping the zero terms of T, and taking the signs from y alone, is exact
// while the products are finite; otherwise the literal pass adds every term.
TEST(PairSequential, MatchesTheStraightforwardPass) {
    std::mt19937 rng(41);
    for (int trial = 0; trial < 300; ++trial) {
        int n = 1 + static_cast<int>(rng() % 150);
        ints x = random_ranks(rng, n, 1 + static_cast<int>(rng() % n));
        ints y = random_ranks(rng, n, 1 + static_cast<int>(rng() % n));
        pair_layout layout;
        make_pair_layout(x, y, layout);
        doubles w = trial % 3 == 0 ? tiny_weights(rng, n) : trial % 3 == 1 ? adversarial_weights(rng, n)
                                                                             : rank_made_weights(rng, n);
        floats f = in_pair_order(w, layout);
        long double w_ref, t_ref, w_seq, t_seq;
        reference::pair_sums(x, y, w, layout.order, w_ref, t_ref);
        if (finite_products(f))
            sequential_pair_sums(f, layout, w_seq, t_seq);
        else
            literal_pair_sums(f, layout, w_seq, t_seq);
        ASSERT_TRUE(same_bits(w_seq, w_ref) && same_bits(t_seq, t_ref)) << "n " << n << " trial " << trial;
    }
}

TEST(PairSequential, TwoChainsMatchOneChainEach) {
    std::mt19937 rng(9);
    for (int trial = 0; trial < 90; ++trial) {
        int n = 2 + static_cast<int>(rng() % 700);
        pair_layout layout;
        make_pair_layout(random_ranks(rng, n, n), random_ranks(rng, n, 1 + n / 3), layout);
        doubles wa = rank_made_weights(rng, n), wb = trial % 3 ? rank_made_weights(rng, n) : tiny_weights(rng, n);
        floats a = in_pair_order(wa, layout), b = in_pair_order(wb, layout);
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

TEST(PairSequential, SequentialAndExactInOneLoopMatchEachAlone) {
    std::mt19937 rng(17);
    int tried = 0, tiny = 0;
    for (int trial = 0; trial < 300; ++trial) {
        int n = 2 + static_cast<int>(rng() % (trial < 240 ? 300 : 4000));
        pair_layout layout = random_layout(rng, n);
        doubles wa = trial % 3 == 0 ? coarse_weights(rng, n) : trial % 3 == 1 ? tiny_weights(rng, n)
                                                                                : rank_made_weights(rng, n);
        doubles wb = trial % 2 ? tiny_weights(rng, n) : rank_made_weights(rng, n), wc = rank_made_weights(rng, n);
        floats a = in_pair_order(wa, layout), b = in_pair_order(wb, layout), c = in_pair_order(wc, layout);
        int sb = exact_shift(b), sc = exact_shift(c);
        if (sb < 0 || sc < 0) continue;
        ++tried;
        tiny += trial % 2;
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
    EXPECT_GT(tried, 80);
    EXPECT_GT(tiny, 5);
}
