#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "common/records.h"
#include "config/run_options.h"
#include "error_of.h"
#include "reference.h"
#include "stats/ranks.h"
#include "stats/tau_analysis.h"

using doubles = std::vector<double>;
using ints = std::vector<int>;

struct outcome {
    double tau, estimate, p;
    char dir;
    fdata record;
};

static outcome run(const doubles& x, const doubles& y, double pp, const char* method) {
    run_options options;
    set_wt_method(options, method);
    outcome o;
    one_tau_analysis(options, x, y, pp, o.tau, o.estimate, o.p, o.dir, o.record);
    return o;
}

static void near6(double got, double want) { EXPECT_NEAR(got, want, std::fabs(want) * 5e-6 + 1e-12); }

TEST(GeneSetTest, ConcordantThreeGenes) {
    outcome o = run({3, 2, 1}, {30, 20, 10}, 0.5, "1");
    EXPECT_EQ(o.record.rank_x, (ints{1, 2, 3}));
    EXPECT_EQ(o.record.rank_y, (ints{1, 2, 3}));
    near6(o.record.weights[0], 5.0 / 6);
    EXPECT_EQ(o.record.weights[1], 0.5);
    near6(o.record.weights[2], 1.0 / 6);
    EXPECT_EQ(o.tau, 1.0);
    // The extended-precision normalising factor gives this, one unit in the
    // last place below an all-double evaluation.
    EXPECT_EQ(o.estimate, 2.2819164877669946);
    EXPECT_EQ(o.dir, '+');
    near6(o.p, 0.0224943);
}

TEST(GeneSetTest, DiscordantThreeGenes) {
    outcome o = run({3, 2, 1}, {10, 20, 30}, 0.5, "1");
    EXPECT_EQ(o.record.rank_y, (ints{3, 2, 1}));
    near6(o.record.weights[0], 0.372678);
    near6(o.record.weights[2], 0.372678);
    EXPECT_EQ(o.tau, -1.0);
    near6(o.estimate, -2.57134);
    EXPECT_EQ(o.dir, '-');
    near6(o.p, 0.0101306);
}

TEST(GeneSetTest, ThreeMethodsOnMixedSigns) {
    const doubles x{-2, 1, 0.5, 3}, y{1.5, -0.5, 2, 1};
    struct row {
        const char* method;
        double pp;
        doubles weights;
        double tau, estimate, p;
    };
    const row rows[] = {
        {"1", 0.5, {0.625, 0.216506, 0.330719, 0.572822}, -0.390433, -1.09255, 0.274592},
        {"2", 0.5, {0.625, 0.125, 0.875, 0.375}, -0.116279, -0.30449, 0.760755},
        {"3", 0.5, {0.625, 0.375, 0.125, 0.875}, -0.395349, -1.03527, 0.300545},
        {"1", 0.8, {0.984451, 0.805399, 0.840188, 0.95811}, -0.336129, -1.0048, 0.314992},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(std::string("method ") + r.method);
        outcome o = run(x, y, r.pp, r.method);
        EXPECT_EQ(o.record.rank_x, (ints{4, 2, 3, 1}));
        EXPECT_EQ(o.record.rank_y, (ints{2, 4, 1, 3}));
        for (int i = 0; i < 4; ++i) near6(o.record.weights[i], r.weights[i]);
        near6(o.tau, r.tau);
        near6(o.estimate, r.estimate);
        near6(o.p, r.p);
        EXPECT_EQ(o.dir, '-');
    }
}

TEST(GeneSetTest, OneGeneIsNeutral) {
    for (const char* method : {"1", "2", "3"}) {
        outcome o = run({4}, {-2}, 0.5, method);
        EXPECT_EQ(o.tau, 0.0);
        EXPECT_EQ(o.estimate, 0.0);
        EXPECT_EQ(o.dir, '+');
        EXPECT_EQ(o.p, 1.0);
    }
}

TEST(GeneSetTestError, UnknownMethodOrUnequalLengthsEndTheRun) {
    EXPECT_EQ(error_of([] { run({1, 2}, {2, 1}, 0.5, "4"); }).text(), "unknown weighting method: 4\nx_n < 1");
    EXPECT_EQ(error_of([] { run({1, 2}, {2, 1}, 0.5, ""); }).text(), "unknown weighting method: \nx_n < 1");
    EXPECT_EQ(error_of([] { run({1, 2}, {1, 2, 3}, 0.5, "1"); }).text(), "length error3: vec_x:2 vec_y:3");
}

// The five PP values of the automatic choice.
static doubles auto_pps() {
    doubles pps;
    for (int j = 0; j < 5; ++j) pps.push_back(0.8 - j * 0.15);
    return pps;
}

static doubles random_scores(std::mt19937& rng, int n, int distinct) {
    std::uniform_int_distribution<int> level(-distinct, distinct);
    std::uniform_real_distribution<double> any(-50, 50);
    doubles v;
    for (int i = 0; i < n; ++i) v.push_back(distinct > 0 ? level(rng) * 0.5 : any(rng));
    return v;
}

// The shared preparation and the joint pair passes give exactly what the
// straightforward test gives at each PP value, for every method.
TEST(GeneSetTest, FastTestsMatchTheStraightforwardTest) {
    std::mt19937 rng(7);
    const int sizes[] = {1, 2, 3, 5, 17, 64, 200, 731, 1500};
    for (int n : sizes)
        for (const char* method : {"1", "2", "3"}) {
            int distinct = static_cast<int>(rng() % 3) == 0 ? 0 : 1 + static_cast<int>(rng() % (n + 3));
            doubles x = random_scores(rng, n, distinct), y = random_scores(rng, n, distinct);
            if (rng() % 2)  // scores without a negative one share their ranks with the magnitudes
                for (double& v : x) v = std::fabs(v);
            run_options o;
            set_wt_method(o, method);
            set_ranks r;
            prepare_ranks(x, y, o.wt_kind, r);
            std::vector<tau_test> tests;
            std::vector<doubles> weights;
            tau_tests(r, auto_pps(), tests, weights);
            for (std::size_t k = 0; k < tests.size(); ++k) {
                double tau, estimate, p;
                char dir;
                ints rx, ry;
                doubles w;
                reference::one_tau_analysis(x, y, tests[k].pp, method, tau, estimate, p, dir, rx, ry, w);
                SCOPED_TRACE(testing::Message() << "n " << n << " method " << method << " pp " << tests[k].pp);
                ASSERT_EQ(r.rank_x, rx);
                ASSERT_EQ(r.rank_y, ry);
                ASSERT_EQ(weights[k], w);
                ASSERT_EQ(tests[k].tau, tau);
                ASSERT_EQ(tests[k].estimate, estimate);
                ASSERT_EQ(tests[k].p_value, p);
                ASSERT_EQ(tests[k].cor_dir, dir);
            }
        }
}

// Ranks from keys of the whole vectors equal those of the scores, for every
// method, with and without a negative score, and where a NaN sends a side
// back to its scores.
TEST(GeneSetTest, KeyedRanksEqualTheRanksOfTheScores) {
    std::mt19937 rng(17);
    for (int trial = 0; trial < 120; ++trial) {
        int n = 1 + static_cast<int>(rng() % (trial < 100 ? 40 : 700));
        int distinct = trial % 3 == 0 ? 0 : 1 + static_cast<int>(rng() % 5);
        doubles x = random_scores(rng, n, distinct), y = random_scores(rng, n, distinct);
        if (trial % 4 == 1) x[rng() % n] = NAN;
        if (trial % 4 == 2) y[rng() % n] = -0.0;
        if (trial % 5 == 3)
            for (double& v : y) v = std::fabs(v);
        side_keys kx, ky;
        descending_keys(x.data(), x.size(), false, kx.scores);
        descending_keys(x.data(), x.size(), true, kx.magnitudes);
        descending_keys(y.data(), y.size(), false, ky.scores);
        descending_keys(y.data(), y.size(), true, ky.magnitudes);
        for (weighting method : {weighting::both, weighting::set, weighting::list}) {
            set_ranks slow, fast;
            prepare_ranks(x, y, method, slow);
            prepare_keyed_ranks(x, y, &kx, &ky, method, fast);
            ASSERT_EQ(fast.rank_x, slow.rank_x) << "trial " << trial;
            ASSERT_EQ(fast.rank_y, slow.rank_y);
            ASSERT_EQ(fast.magnitude_x, slow.magnitude_x);
            ASSERT_EQ(fast.magnitude_y, slow.magnitude_y);
            ASSERT_EQ(fast.layout.order, slow.layout.order);
        }
    }
}
