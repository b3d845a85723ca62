#include "permutation/normal_max.h"

#include <algorithm>
#include <cmath>

#include "permutation/counter_rng.h"

// How the tail is reached without 1 - P(inside).
//
// With A_k the event |Z_k| >= t_k (t_k = m / sd_k), the union splits by the
// first component that leaves its interval, taken last-to-first:
//   P(max |Z_k / sd_k| >= m / sd_k ...) = P(A_0) + sum_{k >= 1} P(A_k, not A_0, ..., not A_{k-1}),
// and by the symmetry Z -> -Z each term is 2 P(Z_k >= t_k, |Z_j| < t_j for j < k).
// Each term is computed by separation of variables (Genz, 1992) with Z_k put
// first: Z_k = y_0 is drawn from the normal tail beyond t_k, whose mass
// erfc(t_k / sqrt 2) is exact, and each later Z_j = sum_i L_ji y_i (L the
// Cholesky factor of the correlations in that order) contributes the
// probability e_j that its y_j keeps Z_j inside, y_j being drawn inside. So
//   term k = erfc(t_k / sqrt 2) * E[e_1 ... e_k],
// an average of a product of numbers in [0, 1] that are never tiny where the
// term matters: a term whose inner probabilities are tiny is itself tiny next
// to the first. The first term is exact, the error of the rest is relative
// to the answer, at any depth of the tail.
//
// The averages use a Kronecker sequence (the fractional parts of i sqrt(prime))
// under 8 fixed shifts: the spread of the 8 shifted means estimates the
// error, and the points double until three times it is below 0.2% of the
// answer. (Periodising by the tent map converged more slowly here.)
//
// The components are taken in an order that spreads them out: each next one
// the least correlated with those before. A component close to an earlier one
// then comes late, and its term, mostly covered by the earlier ones, is small.
// That is the reference rule (normal_max_tail_reference).
//
// The run's rule (normal_max_tail) gets the same answer with far fewer points.
// The components go in a chain, each next one the closest to the last (for
// the five PP values, their order), and within a term the earlier components
// most correlated with the term's own come first. Then e_1, the chance that
// the closest one stays inside, carries nearly all of a term, and
// e_2 ... e_k are near 1. The part tail * e_1 depends on w[0] alone: its mean
// comes from a 32-point Gauss-Legendre rule, and the points average only the
// rest, tail * e_1 * (e_2 ... e_k - 1), a control variate whose spread is a
// small share of the answer. Where the answer is below 0.05, 4 points per
// shift (32 in all) usually meet the 0.3% allowance; the draws use a rational
// inverse without erfc.

static const double root_two = 1.4142135623730951;

double normal_upper(double x) { return 0.5 * std::erfc(x / root_two); }

// A rational start within 4.5e-4 (Abramowitz and Stegun 26.2.23), then
// Halley steps on erfc, each cubing the relative error: two give 1e-10, the
// third full precision.
static double upper_inverse(double q, int steps) {
    if (std::isnan(q)) return q;
    if (q <= 0) return INFINITY;
    if (q >= 1) return -INFINITY;
    if (q > 0.5) return -upper_inverse(1 - q, steps);
    double t = std::sqrt(-2 * std::log(q));
    double x = t - (2.515517 + t * (0.802853 + t * 0.010328)) / (1 + t * (1.432788 + t * (0.189269 + t * 0.001308)));
    for (int step = 0; step < steps; ++step) {
        double density = 0.3989422804014327 * std::exp(-0.5 * x * x);
        if (!(density > 0)) break;
        double r = (normal_upper(x) - q) / density;
        x += r / (1 - 0.5 * x * r);
        if (std::fabs(r) <= 1e-15 * std::max(1.0, std::fabs(x))) break;
    }
    return x;
}

double normal_upper_inverse(double q) { return upper_inverse(q, 4); }

// A draw inside the integrand moves the answer by about its own relative
// error, so 1e-6 is plenty for an answer to 1%: the reference rule refines
// its draws to 1e-10 with two Halley steps; the run's rule takes Acklam's
// rational approximation of the normal quantile as it is (no erfc, which is
// what makes a point cheap): within 5e-7 relative from 1e-300 to 1, measured
// against normal_upper_inverse (tests/unit/test_moments.cpp).
static double acklam_upper_inverse(double q) {
    static const double a[6] = {-3.969683028665376e+01, 2.209460984245205e+02, -2.759285104469687e+02,
                                1.383577518672690e+02,  -3.066479806614716e+01, 2.506628277459239e+00};
    static const double b[5] = {-5.447609879822406e+01, 1.615858368580409e+02, -1.556989798598866e+02,
                                6.680131188771972e+01,  -1.328068155833372e+01};
    static const double c[6] = {-7.784894002430293e-03, -3.223964580411365e-01, -2.400758277161838e+00,
                                -2.549732539343734e+00, 4.374664141464968e+00,  2.938163982698783e+00};
    static const double d[4] = {7.784695709041462e-03, 3.224671290700398e-01, 2.445134137142996e+00,
                                3.754408661907416e+00};
    if (!(q > 0)) return INFINITY;
    if (!(q < 1)) return -INFINITY;
    // The lower quantile of p = 1 - q is minus the lower quantile of q.
    double p = q;
    if (p < 0.02425) {
        double t = std::sqrt(-2 * std::log(p));
        return -(((((c[0] * t + c[1]) * t + c[2]) * t + c[3]) * t + c[4]) * t + c[5]) /
               ((((d[0] * t + d[1]) * t + d[2]) * t + d[3]) * t + 1);
    }
    if (p > 1 - 0.02425) {
        double t = std::sqrt(-2 * std::log1p(-p));
        return (((((c[0] * t + c[1]) * t + c[2]) * t + c[3]) * t + c[4]) * t + c[5]) /
               ((((d[0] * t + d[1]) * t + d[2]) * t + d[3]) * t + 1);
    }
    double r = p - 0.5, r2 = r * r;
    return -(((((a[0] * r2 + a[1]) * r2 + a[2]) * r2 + a[3]) * r2 + a[4]) * r2 + a[5]) * r /
           (((((b[0] * r2 + b[1]) * r2 + b[2]) * r2 + b[3]) * r2 + b[4]) * r2 + 1);
}

double normal_upper_inverse_fast(double q) { return acklam_upper_inverse(q); }

static double draw_inverse(double q, bool precise) { return precise ? upper_inverse(q, 2) : acklam_upper_inverse(q); }

// The standard normal mass of (lo, hi), each end's tail taken on its own side
// so that a far interval keeps its digits; with draw, y is the point at
// quantile w of the normal restricted to the interval.
static double inside(double lo, double hi, double w, bool draw, bool precise, double& y) {
    if (lo >= 0) {
        double q_lo = normal_upper(lo), q_hi = normal_upper(hi);
        if (draw) y = draw_inverse(q_hi + w * (q_lo - q_hi), precise);
        return q_lo - q_hi;
    }
    if (hi <= 0) {
        double p_lo = normal_upper(-lo), p_hi = normal_upper(-hi);
        if (draw) y = -draw_inverse(p_lo + w * (p_hi - p_lo), precise);
        return p_hi - p_lo;
    }
    double p_lo = normal_upper(-lo), q_hi = normal_upper(hi);
    double mass = (1 - p_lo) - q_hi;
    if (draw) {
        double p = p_lo + w * mass;
        y = p < 0.5 ? -draw_inverse(p, precise) : draw_inverse(1 - p, precise);
    }
    return mass;
}

namespace {

// Term k: the components k, 0, .., k-1, in that order.
struct term {
    std::vector<double> factor;  // Cholesky factor, row-major (k+1)^2
    std::vector<bool> fixed;     // a component the earlier ones determine
    std::vector<double> limit;   // t of each component, in the term's order
    double tail = 0;             // erfc(t_k / sqrt 2)
};

// A conditional variance below this (on the scale of correlations) is taken
// as 0: the component then follows the earlier ones exactly.
const double singular = 1e-12;

term make_term(const std::vector<double>& correlation, const std::vector<double>& limits, std::size_t d,
               std::size_t k, bool closest_first) {
    term t;
    std::vector<std::size_t> order = {k};
    for (std::size_t j = 0; j < k; ++j) order.push_back(j);
    if (closest_first)
        std::stable_sort(order.begin() + 1, order.end(), [&](std::size_t a, std::size_t b) {
            return std::fabs(correlation[a * d + k]) > std::fabs(correlation[b * d + k]);
        });
    std::size_t s = order.size();
    t.factor.assign(s * s, 0.0);
    t.fixed.assign(s, false);
    for (std::size_t a = 0; a < s; ++a) {
        t.limit.push_back(limits[order[a]]);
        for (std::size_t b = 0; b <= a; ++b) {
            double v = correlation[order[a] * d + order[b]];
            for (std::size_t c = 0; c < b; ++c) v -= t.factor[a * s + c] * t.factor[b * s + c];
            if (a == b) {
                t.fixed[a] = v <= singular;
                t.factor[a * s + a] = t.fixed[a] ? 0.0 : std::sqrt(v);
            } else {
                t.factor[a * s + b] = t.fixed[b] ? 0.0 : v / t.factor[b * s + b];
            }
        }
    }
    t.tail = std::erfc(limits[k] / root_two);
    return t;
}

// The term's integrand at the point w (its first k coordinates); *first
// gets tail * e_1, the part that depends on w[0] alone. With first_only the
// walk stops there: the control needs no more, and *first is the same.
double integrand(const term& t, const double* w, bool precise, double* first = nullptr, bool first_only = false) {
    std::size_t s = t.limit.size(), end = first_only ? std::min<std::size_t>(s, 2) : s;
    double y[5];
    if (first) *first = 0;
    // Rounding must not put the draw back inside: y_0 >= t_k.
    y[0] = std::max(t.limit[0], draw_inverse(w[0] * 0.5 * t.tail, precise));
    double product = 1;
    for (std::size_t j = 1; j < end; ++j) {
        double centre = 0;
        for (std::size_t i = 0; i < j; ++i) centre += t.factor[j * s + i] * y[i];
        if (t.fixed[j]) {
            if (!(std::fabs(centre) < t.limit[j])) return 0;
            y[j] = 0;
            continue;
        }
        double scale = t.factor[j * s + j];
        product *= inside((-t.limit[j] - centre) / scale, (t.limit[j] - centre) / scale, w[j], j + 1 < end, precise,
                          y[j]);
        if (j == 1 && first) *first = t.tail * product;
        if (!(product > 0)) return 0;
    }
    return t.tail * product;
}

// How far the averages go: the points per shift to start with, the
// allowance for three times the estimated error relative to the answer, and
// the draws' inverse.
struct rule {
    long long start;
    double allowance;       // below 0.05
    double allowance_large; // at 0.05 and above
    bool precise;
    bool closest_first;  // each term conditions on the earlier components most correlated with it first
    bool chain;          // components in a chain of nearest neighbours, not spread out
    bool control;        // each term's first factor integrated by Gauss-Legendre, the rest by the points
};

// Gauss-Legendre nodes and weights on (0, 1): Newton's method on P_n from
// the usual cosine start.
std::vector<std::pair<double, double>> make_legendre(int n) {
    std::vector<std::pair<double, double>> rule;
    for (int i = 1; i <= n; ++i) {
        double x = std::cos(M_PI * (i - 0.25) / (n + 0.5)), derivative = 1;
        for (int step = 0; step < 100; ++step) {
            double p0 = 1, p1 = x;
            for (int k = 2; k <= n; ++k) {
                double p2 = ((2 * k - 1) * x * p1 - (k - 1) * p0) / k;
                p0 = p1;
                p1 = p2;
            }
            derivative = n * (x * p1 - p0) / (x * x - 1);
            double dx = p1 / derivative;
            x -= dx;
            if (std::fabs(dx) < 1e-16) break;
        }
        rule.push_back({(1 + x) / 2, 1 / ((1 - x * x) * derivative * derivative)});
    }
    return rule;
}

const std::vector<std::pair<double, double>>& legendre() {
    static const std::vector<std::pair<double, double>> rule = make_legendre(32);
    return rule;
}

}  // namespace

static double tail_by_rule(const std::vector<double>& covariance, double m, const rule& r) {
    if (std::isnan(m)) return m;
    std::size_t full = static_cast<std::size_t>(std::lround(std::sqrt(static_cast<double>(covariance.size()))));
    std::vector<std::size_t> kept;
    for (std::size_t k = 0; k < full; ++k)
        if (covariance[k * full + k] > 0) kept.push_back(k);
    if (!(m > 0)) return 1.0;
    if (kept.empty()) return 0.0;
    // Spread out: the largest tail first (the smallest limit), then each time
    // the component whose largest correlation with those taken is smallest.
    std::size_t d = kept.size();
    {
        std::vector<std::size_t> order;
        std::vector<bool> taken(d, false);
        auto var = [&](std::size_t a) { return covariance[kept[a] * full + kept[a]]; };
        std::size_t first = 0;
        for (std::size_t a = 1; a < d; ++a)
            if (var(a) > var(first)) first = a;
        if (r.chain) {
            // An end of the chain: the component least correlated with the others in all.
            double least = INFINITY;
            for (std::size_t a = 0; a < d; ++a) {
                double sum = 0;
                for (std::size_t b = 0; b < d; ++b)
                    sum += std::fabs(covariance[kept[a] * full + kept[b]]) / std::sqrt(var(a) * var(b));
                if (sum < least) {
                    least = sum;
                    first = a;
                }
            }
        }
        order.push_back(first);
        taken[first] = true;
        while (r.chain && order.size() < d) {
            std::size_t best = d, last = order.back();
            double closest = -1;
            for (std::size_t a = 0; a < d; ++a) {
                double c = std::fabs(covariance[kept[a] * full + kept[last]]) / std::sqrt(var(a) * var(last));
                if (!taken[a] && c > closest) {
                    closest = c;
                    best = a;
                }
            }
            order.push_back(best);
            taken[best] = true;
        }
        while (order.size() < d) {
            std::size_t best = d;
            double best_closeness = INFINITY;
            for (std::size_t a = 0; a < d; ++a) {
                if (taken[a]) continue;
                double closeness = 0;
                for (std::size_t b : order)
                    closeness = std::max(closeness, std::fabs(covariance[kept[a] * full + kept[b]]) /
                                                        std::sqrt(var(a) * var(b)));
                if (closeness < best_closeness) {
                    best_closeness = closeness;
                    best = a;
                }
            }
            order.push_back(best);
            taken[best] = true;
        }
        std::vector<std::size_t> reordered;
        for (std::size_t a : order) reordered.push_back(kept[a]);
        kept = reordered;
    }
    std::vector<double> correlation(d * d), limits(d);
    for (std::size_t a = 0; a < d; ++a) {
        double va = covariance[kept[a] * full + kept[a]];
        limits[a] = m / std::sqrt(va);
        for (std::size_t b = 0; b < d; ++b) {
            double vb = covariance[kept[b] * full + kept[b]];
            double c = covariance[kept[a] * full + kept[b]] / std::sqrt(va * vb);
            correlation[a * d + b] = a == b ? 1.0 : std::min(1.0, std::max(-1.0, c));
        }
    }
    double first = std::erfc(limits[0] / root_two);
    if (d == 1) return first;
    std::vector<term> terms;
    for (std::size_t k = 1; k < d; ++k) terms.push_back(make_term(correlation, limits, d, k, r.closest_first));
    // The control: tail * e_1, a function of w[0] alone, has its mean from a
    // 32-point Gauss-Legendre rule; the points then average only the rest,
    // tail * e_1 * (e_2 ... e_k - 1), which is small where the components are
    // close, so that few points reach the allowance.
    std::vector<bool> controlled(terms.size(), false);
    double controls = 0;
    for (std::size_t k = 0; k < terms.size(); ++k) {
        controlled[k] = r.control && !terms[k].fixed[1];
        if (!controlled[k]) continue;
        for (const auto& node : legendre()) {
            double w[5] = {node.first, 0.5, 0.5, 0.5, 0.5}, part = 0;
            integrand(terms[k], w, r.precise, &part, true);
            controls += node.second * part;
        }
    }

    const int shifts = 8;
    const double primes[4] = {2, 3, 5, 7};
    double step[4], shift[shifts][4];
    for (int j = 0; j < 4; ++j) step[j] = std::sqrt(primes[j]) - std::floor(std::sqrt(primes[j]));
    for (int s = 0; s < shifts; ++s)
        for (int j = 0; j < 4; ++j)
            shift[s][j] = static_cast<double>(mix64(0x6d6f6d656e7473ull + 4 * s + j) >> 11) * 0x1p-53;
    double sums[shifts] = {};
    long long done = 0, goal = r.start;
    const long long most = 1 << 14;
    double estimate = first;
    while (true) {
        for (long long i = done + 1; i <= goal; ++i)
            for (int s = 0; s < shifts; ++s) {
                double w[5] = {0.5, 0.5, 0.5, 0.5, 0.5};
                for (std::size_t j = 0; j + 1 < d; ++j) {
                    double x = shift[s][j] + static_cast<double>(i) * step[j];
                    x -= std::floor(x);
                    w[j] = x;
                }
                for (std::size_t k = 0; k < terms.size(); ++k) {
                    double part = 0;
                    sums[s] += integrand(terms[k], w, r.precise, &part);
                    if (controlled[k]) sums[s] -= part;
                }
            }
        done = goal;
        double mean = 0, spread = 0;
        for (int s = 0; s < shifts; ++s) mean += sums[s] / static_cast<double>(done);
        mean /= shifts;
        for (int s = 0; s < shifts; ++s) {
            double e = sums[s] / static_cast<double>(done) - mean;
            spread += e * e;
        }
        double error = 3 * std::sqrt(spread / (shifts * (shifts - 1)));
        estimate = first + controls + mean;
        if (error <= (estimate < 0.05 ? r.allowance : r.allowance_large) * estimate || done >= most) break;
        goal *= 2;
    }
    return std::min(1.0, estimate);
}

double normal_max_tail_reference(const std::vector<double>& covariance, double m) {
    return tail_by_rule(covariance, m, {64, 2e-3, 2e-3, true, false, false, false});
}

double normal_max_tail(const std::vector<double>& covariance, double m) {
    return tail_by_rule(covariance, m, {4, 3e-3, 5e-2, false, true, true, true});
}

double normal_max_p_value(const std::vector<double>& z, const std::vector<double>& covariance) {
    std::size_t d = z.size();
    double largest = 0;
    for (double v : z) largest = std::max(largest, std::fabs(v));
    if (!(largest > 0)) return 1.0;
    std::vector<double> correlation(d * d, 0.0);
    for (std::size_t a = 0; a < d; ++a)
        for (std::size_t b = 0; b < d; ++b) {
            double va = covariance[a * d + a], vb = covariance[b * d + b];
            if (va > 0 && vb > 0) correlation[a * d + b] = a == b ? 1.0 : covariance[a * d + b] / std::sqrt(va * vb);
        }
    return normal_max_tail(correlation, largest);
}
