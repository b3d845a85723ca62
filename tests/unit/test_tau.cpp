#include <gtest/gtest.h>

#include <cmath>

#include "error_of.h"
#include "stats/tau.h"

using ints = std::vector<int>;

TEST(Tau, WorkedExamples) {
    EXPECT_EQ(wtau2({1, 2, 3}, {1, 3, 2}, {1, 1, 1}), 1.0 / 3);
    EXPECT_EQ(wtau2({1, 1, 3}, {1, 2, 3}, {1, 1, 1}), 2.0 / 3);
    EXPECT_EQ(wtau2({1, 2}, {2, 1}, {0.1, 0.1}), -1.0);
    EXPECT_EQ(wtau2({1}, {1}, {0.7}), 0.0);
}

TEST(Tau, PairWeightsAreFloatProducts) {
    double tau = wtau2({1, 2, 3}, {1, 3, 2}, {0.9, 0.5, 0.1});
    EXPECT_NEAR(tau, 0.8305084677, 5e-11);
    EXPECT_GT(std::fabs(tau - 0.8305084746), 1e-9);  // what double pair weights would give
    // Weights equal in float act as equal weights.
    EXPECT_EQ(wtau2({1, 2, 3}, {1, 3, 2}, {1.0, 1.00000001, 1.0}), 1.0 / 3);
}

TEST(TauError, LengthErrorEndsTheRun) {
    EXPECT_EQ(error_of([] { wtau2({1, 2, 3}, {1, 2}, {1, 1, 1}); }).text(), "length error1: rank_x:3 rank_y:2");
    EXPECT_EQ(error_of([] { wtau2({}, {}, {}); }).text(), "length error1: rank_x:0 rank_y:0");
}

TEST(Sign, OfDifferences) {
    EXPECT_EQ(sgn(-5), -1);
    EXPECT_EQ(sgn(0), 0);
    EXPECT_EQ(sgn(7), 1);
}

TEST(PValue, TwoSidedNormal) {
    EXPECT_EQ(tau_pvalue(0), 1.0);
    EXPECT_NEAR(tau_pvalue(1), 0.317311, 5e-7);
    EXPECT_EQ(tau_pvalue(1), tau_pvalue(-1));
    EXPECT_NEAR(tau_pvalue(1.959964), 0.05, 5e-7);
    EXPECT_NEAR(tau_pvalue(3), 0.0026998, 5e-8);
    // The upper tail is formed as 1 - F, so a large positive z loses what a negative one keeps.
    EXPECT_EQ(tau_pvalue(9), 0.0);
    EXPECT_NEAR(tau_pvalue(-9), 2.2572e-19, 1e-23);
    EXPECT_EQ(tau_pvalue(40), 0.0);
    EXPECT_EQ(tau_pvalue(-40), 0.0);
    EXPECT_TRUE(std::isnan(tau_pvalue(NAN)));
}
