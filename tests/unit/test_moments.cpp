#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>

#include "permutation/moments.h"
#include "permutation/normal_max.h"
#include "reference.h"

using doubles = std::vector<double>;

static doubles five_pps() {
    doubles pps;
    for (int j = 0; j < 5; ++j) pps.push_back(0.8 - static_cast<double>(j) * 0.15);
    return pps;
}

static const char* method_name(weighting w) { return w == weighting::set ? "3" : w == weighting::list ? "2" : "1"; }

// Small spreads give ties; spread 1 ties every score.
static doubles scores(std::mt19937& rng, int n, int spread) {
    doubles v;
    for (int i = 0; i < n; ++i) v.push_back(static_cast<double>(static_cast<int>(rng() % spread) - spread / 3));
    return v;
}

// The numerator as the test defines it for the list scores paired as given:
// ranks and weights made by the straightforward test, all pairs summed.
static long double direct_numerator(const doubles& x, const doubles& y, double pp, weighting method) {
    double tau, estimate, p;
    char dir;
    std::vector<int> rx, ry;
    doubles w;
    reference::one_tau_analysis(x, y, pp, method_name(method), tau, estimate, p, dir, rx, ry, w);
    long double sum = 0;
    for (std::size_t i = 0; i < x.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            sum += static_cast<long double>(w[i]) * w[j] * ((rx[i] > rx[j]) - (rx[i] < rx[j])) *
                   ((ry[i] > ry[j]) - (ry[i] < ry[j]));
    return sum;
}

// Mean and covariances of the numerators over the pairings given by next().
template <class Next>
static void simulate(const doubles& x, const doubles& y, const doubles& pps, weighting method, Next next,
                     doubles& mean, doubles& covariance) {
    std::size_t m = pps.size(), n = x.size();
    std::vector<long double> sum(m, 0), products(m * m, 0);
    std::vector<int> order(n);
    std::iota(order.begin(), order.end(), 0);
    long long count = 0;
    doubles paired(n);
    std::vector<long double> value(m);
    do {
        for (std::size_t i = 0; i < n; ++i) paired[i] = y[order[i]];
        for (std::size_t k = 0; k < m; ++k) value[k] = direct_numerator(x, paired, pps[k], method);
        for (std::size_t k = 0; k < m; ++k) {
            sum[k] += value[k];
            for (std::size_t l = 0; l < m; ++l) products[k * m + l] += value[k] * value[l];
        }
        ++count;
    } while (next(order));
    mean.assign(m, 0);
    covariance.assign(m * m, 0);
    for (std::size_t k = 0; k < m; ++k) mean[k] = static_cast<double>(sum[k] / count);
    for (std::size_t k = 0; k < m; ++k)
        for (std::size_t l = 0; l < m; ++l)
            covariance[k * m + l] = static_cast<double>(products[k * m + l] / count - (sum[k] / count) * (sum[l] / count));
}

// Every one of the n! pairings, n = 2 .. 8: the mean is 0 and the covariances
// are those of the formula, for each weighting, one or five PP values, with
// and without ties (spread 1: one side all tied, variance 0).
TEST(Moments, EqualTheMomentsOverAllOrderings) {
    struct row { int n; int spread_x; int spread_y; };
    const row rows[] = {{2, 9, 9}, {3, 9, 9}, {3, 2, 9}, {4, 20, 20}, {4, 1, 5}, {5, 3, 3}, {5, 30, 30},
                        {6, 4, 50}, {6, 50, 50}, {7, 6, 3}, {7, 70, 70}, {8, 80, 80}, {8, 3, 4}};
    const weighting methods[] = {weighting::both, weighting::list, weighting::set};
    std::mt19937 rng(21);
    int round = 0;
    for (const row& r : rows)
        for (weighting method : methods) {
            doubles pps = round++ % 2 ? five_pps() : doubles{0.5};
            doubles x = scores(rng, r.n, r.spread_x), y = scores(rng, r.n, r.spread_y);
            doubles mean, covariance;
            simulate(x, y, pps, method, [](std::vector<int>& o) { return std::next_permutation(o.begin(), o.end()); },
                     mean, covariance);
            numerator_moments got = tau_moments(x, y, pps, method);
            std::size_t m = pps.size();
            double scale = 1e-12 * r.n * r.n;
            for (std::size_t k = 0; k < m; ++k) {
                EXPECT_NEAR(mean[k], 0.0, scale) << "n " << r.n;
                EXPECT_NEAR(got.numerator[k], static_cast<double>(direct_numerator(x, y, pps[k], method)), scale);
                for (std::size_t l = 0; l < m; ++l)
                    EXPECT_NEAR(got.covariance[k * m + l], covariance[k * m + l], scale) << "n " << r.n << " " << k << l;
                double sd = std::sqrt(got.covariance[k * m + k]);
                EXPECT_EQ(got.z[k], sd > 0 ? got.numerator[k] / sd : 0.0);
            }
        }
}

// n = 40: 20 000 random pairings, the sample moments within sampling error.
TEST(Moments, MatchSimulatedPermutationsOfForty) {
    const weighting methods[] = {weighting::both, weighting::list, weighting::set};
    std::mt19937 rng(40);
    for (weighting method : methods) {
        doubles x = scores(rng, 40, 25), y = scores(rng, 40, 60), pps = five_pps();
        const long long draws = 20000;
        long long left = draws - 1;
        doubles mean, covariance;
        simulate(x, y, pps, method,
                 [&](std::vector<int>& o) {
                     std::shuffle(o.begin(), o.end(), rng);
                     return left-- > 0;
                 },
                 mean, covariance);
        numerator_moments got = tau_moments(x, y, pps, method);
        for (int k = 0; k < 5; ++k) {
            double var = got.covariance[k * 6];
            EXPECT_NEAR(mean[k], 0.0, 4 * std::sqrt(var / draws));
            EXPECT_NEAR(covariance[k * 6] / var, 1.0, 4 * std::sqrt(2.0 / draws) * 1.5);
            for (int l = 0; l < k; ++l) {
                double rho = got.covariance[k * 5 + l] / std::sqrt(var * got.covariance[l * 6]);
                double sample = covariance[k * 5 + l] / std::sqrt(covariance[k * 6] * covariance[l * 6]);
                EXPECT_NEAR(sample, rho, 5 * (1 - rho * rho) / std::sqrt(draws) + 1e-4);
            }
        }
    }
}

// The tail of the maximum of equicorrelated normals by quadrature: given a
// common factor t, the components are independent, and the probability that
// one of d leaves (-m, m) is 1 - (1 - q(t))^d, formed without cancellation.
static double equicorrelated_tail(int d, double rho, double m) {
    const int steps = 40000;
    const double h = 24.0 / steps;
    double sum = 0;
    for (int i = 0; i <= steps; ++i) {
        double t = -12 + i * h, s = std::sqrt(1 - rho), c = std::sqrt(rho) * t;
        double q = normal_upper((m - c) / s) + normal_upper((m + c) / s);
        double f = -std::expm1(d * std::log1p(-std::min(q, 1.0))) * std::exp(-0.5 * t * t) / std::sqrt(2 * M_PI);
        sum += (i == 0 || i == steps ? 0.5 : 1.0) * f * h;
    }
    return sum;
}

// Two components by quadrature over the first: it leaves (-m, m), or it stays
// and the second, normal given it, leaves.
static double bivariate_tail(double rho, double m) {
    const int steps = 40000;
    const double h = 2 * m / steps, s = std::sqrt(1 - rho * rho);
    double sum = 0;
    for (int i = 0; i <= steps; ++i) {
        double t = -m + i * h;
        double q = normal_upper((m - rho * t) / s) + normal_upper((m + rho * t) / s);
        sum += (i == 0 || i == steps ? 0.5 : 1.0) * q * std::exp(-0.5 * t * t) / std::sqrt(2 * M_PI) * h;
    }
    return std::erfc(m / std::sqrt(2.0)) + sum;
}

static doubles equicorrelated(int d, double rho) {
    doubles c(d * d, rho);
    for (int k = 0; k < d; ++k) c[k * d + k] = 1;
    return c;
}

TEST(NormalMax, MatchesQuadratureFromOneToFiveDimensions) {
    struct row { int d; double rho; double m; };
    const row rows[] = {{1, 0, 0.3},    {1, 0, 7.3},     {2, 0, 2},      {3, 0, 5},       {5, 0, 7.1},
                        {2, 0.5, 1},    {2, 0.9, 7},     {3, 0.3, 3},    {3, 0.99, 6.5},  {4, 0.7, 4},
                        {4, 0.995, 7.2}, {5, 0.5, 2.5},  {5, 0.9, 5.5},  {5, 0.999, 7.1}, {5, 0.95, 0.8},
                        {5, 0.8, 8.2},  {2, -0.5, 3},   {2, -0.9, 6.5}, {2, 0.999, 7}};
    for (const row& r : rows) {
        double want = r.rho == 0 ? -std::expm1(r.d * std::log1p(-std::erfc(r.m / std::sqrt(2.0))))
                      : r.d == 2 ? bivariate_tail(r.rho, r.m)
                                 : equicorrelated_tail(r.d, r.rho, r.m);
        double got = normal_max_tail(equicorrelated(r.d, r.rho), r.m);
        EXPECT_NEAR(got / want, 1.0, 0.01) << r.d << " " << r.rho << " " << r.m << " want " << want;
        if (r.d == 1) {
            volatile double m = r.m;
            EXPECT_EQ(got, std::erfc(m / std::sqrt(2.0)));
        }
    }
    // Components that always agree are one; a component of variance 0 never counts.
    volatile double six = 6.0, three = 3.0;  // erfc at run time, not folded by the compiler
    EXPECT_EQ(normal_max_tail(equicorrelated(4, 1.0), 6.0), std::erfc(six / std::sqrt(2.0)));
    EXPECT_EQ(normal_max_tail({4, 0, 0, 0}, 6.0), std::erfc(three / std::sqrt(2.0)));
    EXPECT_EQ(normal_max_tail({1, 0.5, 0.5, 1}, 0.0), 1.0);
}

// The covariance of a real set's five numerators, against Monte Carlo draws
// of the normal vector, and the same twice gives the same bits.
TEST(NormalMax, MatchesMonteCarloOnTheMomentsOfASet) {
    std::mt19937 rng(5);
    doubles x = scores(rng, 120, 300), y = scores(rng, 120, 1000);
    numerator_moments mo = tau_moments(x, y, five_pps(), weighting::both);
    doubles c(25);
    for (int k = 0; k < 5; ++k)
        for (int l = 0; l < 5; ++l)
            c[k * 5 + l] = mo.covariance[k * 5 + l] / std::sqrt(mo.covariance[k * 6] * mo.covariance[l * 6]);
    // Cholesky, then draws.
    doubles f(25, 0);
    for (int a = 0; a < 5; ++a)
        for (int b = 0; b <= a; ++b) {
            double v = c[a * 5 + b];
            for (int k = 0; k < b; ++k) v -= f[a * 5 + k] * f[b * 5 + k];
            f[a * 5 + b] = a == b ? std::sqrt(v) : v / f[b * 5 + b];
        }
    std::normal_distribution<double> normal;
    const double m = 2.2;
    const long long draws = 400000;
    long long out = 0;
    for (long long t = 0; t < draws; ++t) {
        double e[5], most = 0;
        for (double& v : e) v = normal(rng);
        for (int a = 0; a < 5; ++a) {
            double z = 0;
            for (int b = 0; b <= a; ++b) z += f[a * 5 + b] * e[b];
            most = std::max(most, std::fabs(z));
        }
        out += most >= m;
    }
    double want = static_cast<double>(out) / draws, got = normal_max_tail(c, m);
    EXPECT_NEAR(got, want, 4 * std::sqrt(want * (1 - want) / draws));
    EXPECT_EQ(normal_max_tail(c, m), got);
    EXPECT_EQ(normal_max_p_value({0.0, 2.2, -1.0, 0.0, 0.0}, mo.covariance), got);
}

TEST(NormalMax, InverseTailIsExact) {
    for (double q : {1e-300, 1e-100, 1e-12, 0.01, 0.3, 0.5, 0.7, 0.999})
        EXPECT_NEAR(normal_upper(normal_upper_inverse(q)) / q, 1.0, 1e-12) << q;
}

// The run's rule against the reference rule on the covariances of random
// sets (sizes 5 to 300, ties, the three weightings) at maxima whose tails
// run from 0.9 down to 1e-12: within 1% below 0.05, within 5% above.
TEST(NormalMax, RunsRuleMatchesTheReference) {
    std::mt19937 rng(11);
    const weighting methods[] = {weighting::both, weighting::list, weighting::set};
    for (int t = 0; t < 60; ++t) {
        int n = 5 + static_cast<int>(rng() % 296);
        doubles x = scores(rng, n, 1 + rng() % 400), y = scores(rng, n, 5 + rng() % 3000);
        numerator_moments mo = tau_moments(x, y, five_pps(), methods[t % 3]);
        double q = std::pow(10.0, -12.0 * (t % 13) / 12.0) * 0.45;
        double m = normal_upper_inverse(q), want = normal_max_p_value({m, 0, 0, 0, 0}, mo.covariance);
        doubles c(25);
        for (int k = 0; k < 5; ++k)
            for (int l = 0; l < 5; ++l)
                c[k * 5 + l] = mo.covariance[k * 5 + l] / std::sqrt(mo.covariance[k * 6] * mo.covariance[l * 6]);
        double reference = normal_max_tail_reference(c, m);
        EXPECT_NEAR(want / reference, 1.0, reference < 0.05 ? 0.01 : 0.05) << "n " << n << " m " << m;
    }
}

TEST(NormalMax, FastInverseWithinItsBound) {
    for (double q = 1e-300; q < 1; q = q < 0.01 ? q * 3.7 : q + 0.0031) {
        double want = normal_upper_inverse(q);
        EXPECT_NEAR(normal_upper_inverse_fast(q), want, 5e-7 * std::max(std::fabs(want), 1e-3)) << q;
    }
}

// The run's factors, from the ranks and the tests' weight tables, equal the
// factors from the scores.
TEST(Moments, FactorsFromRanksEqualFactorsFromScores) {
    std::mt19937 rng(13);
    const weighting methods[] = {weighting::both, weighting::list, weighting::set};
    for (int t = 0; t < 30; ++t) {
        int n = 1 + static_cast<int>(rng() % 60);
        doubles x = scores(rng, n, 1 + rng() % 20), y = scores(rng, n, 1 + rng() % 200);
        set_ranks r;
        prepare_ranks(x, y, methods[t % 3], r);
        std::vector<doubles> u, v, u_r, v_r;
        moment_factors(x, y, five_pps(), methods[t % 3], u, v);
        moment_factors(r, five_pps(), u_r, v_r);
        EXPECT_EQ(u, u_r) << t;
        EXPECT_EQ(v, v_r) << t;
    }
}
