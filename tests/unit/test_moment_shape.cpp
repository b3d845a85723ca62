#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>

#include "permutation/moment_shape.h"
#include "stats/weights.h"

using doubles = std::vector<double>;

// N = sum_{i<j} c_i c_j sgn(q_i - q_j) for every ordering q: its moments, and
// the share of orderings with |N| / sd at least each of `z`.
static void all_orderings(const doubles& c, long double& second, long double& fourth, const doubles& z = {},
                          doubles* tails = nullptr) {
    std::size_t n = c.size();
    std::vector<int> q(n);
    std::iota(q.begin(), q.end(), 0);
    std::vector<long double> values;
    do {
        long double sum = 0;
        for (std::size_t i = 0; i < n; ++i)
            for (std::size_t j = i + 1; j < n; ++j) sum += c[i] * c[j] * ((q[i] > q[j]) - (q[i] < q[j]));
        values.push_back(sum);
    } while (std::next_permutation(q.begin(), q.end()));
    second = fourth = 0;
    for (long double v : values) second += v * v, fourth += v * v * v * v;
    second /= values.size();
    fourth /= values.size();
    if (!tails) return;
    tails->clear();
    for (double t : z) {
        double count = 0;
        for (long double v : values) count += std::fabs(static_cast<double>(v)) >= t * std::sqrt(second) * (1 - 1e-12);
        tails->push_back(count / values.size());
    }
}

// Steep weights of magnitude ranks in a shuffled order, as -w 3 at PP 0.2 gives them.
static doubles steep(int n, std::mt19937& rng) {
    doubles c;
    for (int r = 1; r <= n; ++r) c.push_back(weigher((r - 0.5) / n, -std::log(2.0) / std::log(0.2)));
    std::shuffle(c.begin(), c.end(), rng);
    return c;
}

TEST(MomentShape, CumulantsEqualThoseOverAllOrderings) {
    std::mt19937 rng(11);
    for (int n = 2; n <= 7; ++n)
        for (int kind = 0; kind < 3; ++kind) {
            doubles c;
            for (int i = 0; i < n; ++i)
                c.push_back(kind == 0 ? 1.0 : kind == 1 ? std::ldexp(static_cast<double>(rng() % 9), -3) : 0.0);
            if (kind == 2) c = steep(n, rng);
            double second, fourth;
            long double want2, want4;
            numerator_cumulants(c, second, fourth);
            all_orderings(c, want2, want4);
            double cumulant = static_cast<double>(want4 - 3 * want2 * want2);
            EXPECT_NEAR(second, static_cast<double>(want2), 1e-12 * (1 + want2)) << n << " " << kind;
            EXPECT_NEAR(fourth, cumulant, 1e-12 * (1 + want4)) << n << " " << kind;
        }
}

// The shape's tail against the exact one of 9! orderings, where the normal's
// is several times too large: within a factor 1.6 of the exact tail at 0.05
// and 0.01 of the normal (nearer in all but the steepest weights), and never 0 while the orderings still reach the value.
TEST(MomentShape, TailNearTheExactOneWhereTheNormalIsFarOff) {
    std::mt19937 rng(5);
    for (int trial = 0; trial < 3; ++trial) {
        doubles c = steep(9, rng), tails;
        const doubles z = {1.959964, 2.575829};
        long double second, fourth;
        all_orderings(c, second, fourth, z, &tails);
        tail_shape s = one_sided_shape(c);
        for (std::size_t k = 0; k < z.size(); ++k) {
            double shaped = shaped_tail(z[k], s), normal = std::erfc(z[k] / std::sqrt(2.0));
            if (tails[k] > 0) {
                EXPECT_GT(shaped, 0) << trial << " " << z[k];
            }
            EXPECT_LT(shaped, 1.6 * tails[k] + 0.002) << trial << " " << z[k] << " exact " << tails[k];
            EXPECT_GT(shaped, tails[k] / 1.6 - 0.002) << trial << " " << z[k] << " exact " << tails[k];
            EXPECT_GT(normal, 2 * tails[k]) << trial << " " << z[k];
        }
    }
}

// I_x(a, a) against Simpson's rule on the density, with t = s^(1/a) taking
// away the pole at 0 where a < 1.
TEST(MomentShape, IncompleteBetaAgainstQuadrature) {
    const double as[] = {0.6, 1.0, 2.5, 40.0, 900.0}, xs[] = {1e-6, 0.01, 0.2, 0.45};
    for (double a : as)
        for (double x : xs) {
            int steps = 200000;
            double top = a < 1 ? std::pow(x, a) : x, h = top / steps, sum = 0;
            for (int k = 0; k <= steps; ++k) {
                double t = a < 1 ? std::pow(k * h, 1 / a) : k * h;
                double f = a < 1 ? std::pow(1 - t, a - 1) / a
                           : k == 0 ? (a == 1 ? 1.0 : 0.0)
                                    : std::exp((a - 1) * std::log(t * (1 - t)) + std::lgamma(2 * a) - 2 * std::lgamma(a));
                sum += f * (k == 0 || k == steps ? 1 : k % 2 ? 4 : 2);
            }
            double want = sum * h / 3 * (a < 1 ? std::exp(std::lgamma(2 * a) - 2 * std::lgamma(a)) : 1.0);
            EXPECT_NEAR(symmetric_beta_lower(a, x), want, 1e-8 * want + 1e-300) << a << " " << x;
        }
}
