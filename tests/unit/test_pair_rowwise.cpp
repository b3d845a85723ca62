// The row-by-row pass against the sequential pass.
#include <gtest/gtest.h>

#include "pair_inputs.h"

TEST(PairRowwise, MatchesTheSequentialPass) {
    std::mt19937 rng(13);
    int rows_tried = 0;
    for (int trial = 0; trial < 400; ++trial) {
        int n = 2 + static_cast<int>(rng() % (trial < 330 ? 300 : 5000));
        pair_layout layout = random_layout(rng, n);
        int kind = trial % 4;
        doubles w = kind == 0   ? coarse_weights(rng, n)
                    : kind == 1 ? adversarial_weights(rng, n)
                    : kind == 2 ? tiny_weights(rng, n)
                                : rank_made_weights(rng, n);
        floats f = in_pair_order(w, layout);
        if (!rowwise_applies(f)) continue;
        ++rows_tried;
        long double w_seq, t_seq, w_row, t_row;
        sequential_pair_sums(f, layout, w_seq, t_seq);
        rowwise_pair_sums(f, layout, w_row, t_row);
        ASSERT_EQ(w_row, w_seq) << "n " << n << " trial " << trial;
        ASSERT_EQ(t_row, t_seq) << "n " << n << " trial " << trial;
    }
    if (pair_path_supported(path_avx512)) {
        EXPECT_GT(rows_tried, 200);
    }
}

// Products that are subnormal floats carry fewer bits than their scaled
// copies: the rows that hold them must be added term by term.
TEST(PairRowwise, MatchesTheSequentialPassWhereProductsAreSubnormal) {
    if (!pair_path_supported(path_avx512)) GTEST_SKIP() << "no AVX-512";
    std::mt19937 rng(31);
    for (int low : {55, 62}) {
        int high = low == 55 ? 65 : 75, differ = 0;
        for (int trial = 0; trial < 300; ++trial) {
            int n = 2 + static_cast<int>(rng() % 300);
            pair_layout layout = random_layout(rng, n);
            floats f;
            for (int k = 0; k < n; ++k) {
                double u = std::uniform_real_distribution<double>(0, 1)(rng);
                f.push_back(static_cast<float>(std::ldexp(1 + u, -(low + static_cast<int>(rng() % (high - low + 1))))));
            }
            ASSERT_TRUE(rowwise_applies(f));
            long double w_seq, t_seq, w_row, t_row;
            sequential_pair_sums(f, layout, w_seq, t_seq);
            rowwise_pair_sums(f, layout, w_row, t_row);
            differ += w_row != w_seq || t_row != t_seq;
        }
        EXPECT_EQ(differ, 0) << "weights 2^-" << low << " to 2^-" << high;
    }
}
