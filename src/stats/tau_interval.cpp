#include "stats/tau_interval.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "stats/tau.h"

// Why the ranges hold the exact results.
//
// The pair pass (pair_sums) gives, for float weights f_k >= 0 in pair order,
// the W and T of the straightforward pass: for every pair (i, j < i) in pair
// order the float product p = fl(f_i f_j) is added to W, and p s to T, with
// s = sgn(x_i - x_j) sgn(y_i - y_j), in long double. Let W* and T* be the
// same sums of the real products f_i f_j, N = n(n - 1)/2 the number of pairs.
// tau_ranges makes the floats from the weights as pair_sums does, one
// static_cast per weight in pair order, so both see the same f.
//
// 1. Products (bounded_weights: 0 <= f <= 2^60, so no product overflows).
//    Rounding to float errs by at most 2^-24 of the product when the result
//    is normal and by at most 2^-150 when it is subnormal or zero, so the
//    sums P = sum p and P_s = sum p s of the float products are within
//    2^-24 W* + N 2^-150 of W* and T*.
// 2. Long double sums. Each add rounds to a 64-bit significand, so a sum of
//    N terms added one after another is within g = gamma_N = N 2^-64 / (1 -
//    N 2^-64) of the sum of the magnitudes of its terms: |W - P| <= g P and
//    |T - P_s| <= g P, with P <= (1 + 2^-24) W* + N 2^-150. The faster paths
//    of pair_sums give the same bits as this pass, so the bound holds for
//    them too.
// 3. The fast sums (fast_sums, in double, unit u = 2^-53). Every quantity is
//    a sum of at most n + log2(n) + 3 rounded operations on non-negative
//    numbers, or the difference of two such sums that both lie below the sum
//    S_i of the weights before i's run of equal x ranks; per row the error is
//    at most 5 gamma_(n+L+3) f_i S_i (L = log2 n + 1) and the row terms add
//    gamma_n more, and sum f_i S_i <= W*. So both fast sums are within
//    e_f W* of W* and T*, with e_f = 16 (2n + 64) u, far above these gammas
//    for n <= 2^24. Then W* <= W'/(1 - e_f) for the fast W'.
// Together (bound_of): |W - W'| and |T - T'| are at most
//    R = (2^-24 + 2g + e_f) W'/(1 - e_f) + 2 N 2^-150,
// taken larger by a factor 1 + 2^-20 (and n 2^-1000 for any underflow of
// the double sums) to cover the rounding of R's own computation.
// 4. tau (range_of). For W > 0, the real T/W is within
//    (R + |T'/W'| R) / (W' - R) of T'/W', and fl(T'/W') is within u of it;
//    the radius is taken 1 + 2^-20 larger again, and the ends one double
//    further out (nextafter), so the real T/W lies between two doubles.
//    tau_from_sums rounds T/W to long double and then to double; rounding is
//    monotone and leaves doubles as they are, so tau lies between the two
//    ends too. W' > 2R makes W > 0, so tau_from_sums divides.
// 5. Exact cases (tau_ranges). Without a pair of non-zero sign (all x ranks
//    equal, or all y ranks equal) every term of T is +0 and tau is +0; with
//    no equal x ranks and y rising (falling) along the pair order, T adds
//    exactly the terms of W (their negatives), rounding is symmetric, so T
//    = W (T = -W) to the bit and tau = 1 (-1) once W > 0.
// 6. p-value (pvalue_range). tau_pvalue computes x = (-z)/sqrt2, e =
//    erfc(x), f = e/2, and p = 2f for f <= 0.5, 2(1 - f) otherwise. The
//    steps before and after erfc are single roundings of monotone functions,
//    hence monotone. erfc itself is only assumed accurate: |erfc_c(x) -
//    erfc(x)| <= rho erfc(x) + a with rho = 2^-46 (64 units in the last
//    place) and a = 2^-1040 (results far below the normal range lose
//    digits). The unit tests measure the C library's erfc against the long
//    double one: at most about 2 units, and 2^-1050 below the normal range.
//    The true erfc falls, so over [x_low, x_high] the computed erfc lies in
//    [erfc_c(x_high)(1 - 2 rho) - 2a, erfc_c(x_low)(1 + 3 rho) + 3a];
//    4 rho and 2^-1020 also cover the rounding of the ends. Then 2f and
//    2(1 - f) are exact for f in the ranges met (Sterbenz), so p lies in the
//    range made from the ends of f. When z_low and z_high are the same
//    double the range is tau_pvalue's own result, exactly. For z > 0, p =
//    2(1 - f) keeps rho as an absolute error of about 2^-43: p-values near
//    1e-10 and below at several PP values then often need their exact tests.
// The estimate between tau and z is finish_test in tau_analysis.cpp: a chain
// of products by non-negative constants, monotone in tau; it is applied to
// the ends of the tau range there.

static const value_range anything = {-INFINITY, INFINITY};
static const double unit = 0x1p-53;

// The floats of one weight vector in pair order, as pair_sums makes them;
// whether all are bounded (0 <= f <= 2^60, NaN not), checked in the same
// loop without a branch a weight.
static bool bounded_weights(const std::vector<double>& weights, const pair_layout& l, std::vector<float>& f) {
    std::size_t n = l.order.size();
    f.resize(n);
    bool bounded = true;
    for (std::size_t k = 0; k < n; ++k) {
        float v = static_cast<float>(weights[l.order[k]]);
        f[k] = v;
        bounded &= v >= 0 && v <= 0x1p60f;
    }
    return bounded;
}

// Two doubles added, subtracted and multiplied lane by lane (a GCC and Clang
// vector type; two lanes are one SSE2 instruction). Each lane does the
// scalar operations in the same order, so every sum below is the same
// double as with scalars; the sweep does half as many operations.
typedef double two_lanes __attribute__((vector_size(16)));

// W' and T' of M weight vectors in one sweep along the pair order: the
// weights of the elements before i's run of equal x ranks are held in a
// Fenwick tree over y rank, M values per node, two a lane pair (an odd M
// leaves a lane that sums zeros).
template <std::size_t M>
static void fast_sums_of(const pair_layout& l, const std::vector<const std::vector<float>*>& f, std::size_t first,
                         std::vector<double>& w_sum, std::vector<double>& t_sum) {
    constexpr std::size_t L = (M + 1) / 2;
    const std::size_t n = l.y.size();
    // Kept from set to set: memory of this size, taken anew for every set,
    // costs more in page faults than the sweep itself.
    thread_local std::vector<two_lanes> value, tree, same;
    value.resize(n * L);
    tree.assign((n + 1) * L, two_lanes{});
    same.assign((n + 1) * L, two_lanes{});
    for (std::size_t i = 0; i < n; ++i) {
        if (M % 2) value[i * L + L - 1][1] = 0;  // the lane an odd M leaves
        for (std::size_t k = 0; k < M; ++k) value[i * L + k / 2][k % 2] = (*f[first + k])[i];
    }
    two_lanes before[L] = {}, placed[L] = {}, w[L] = {}, t[L] = {};
    std::size_t in = 0;
    for (std::size_t i = 0; i < n; ++i) {
        for (; in < static_cast<std::size_t>(l.tie_start[i]); ++in) {
            std::size_t y = static_cast<std::size_t>(l.y[in]);
            const two_lanes* v = &value[in * L];
            for (std::size_t k = 0; k < L; ++k) {
                placed[k] += v[k];
                same[y * L + k] += v[k];
            }
            for (std::size_t node = y; node <= n; node += node & (~node + 1))
                for (std::size_t k = 0; k < L; ++k) tree[node * L + k] += v[k];
        }
        std::size_t yi = static_cast<std::size_t>(l.y[i]);
        two_lanes below[L] = {};
        for (std::size_t node = yi - 1; node > 0; node &= node - 1)
            for (std::size_t k = 0; k < L; ++k) below[k] += tree[node * L + k];
        const two_lanes* v = &value[i * L];
        for (std::size_t k = 0; k < L; ++k) {
            two_lanes above = (placed[k] - below[k]) - same[yi * L + k];
            t[k] += v[k] * (below[k] - above);
            w[k] += v[k] * before[k];
            before[k] += v[k];
        }
    }
    for (std::size_t k = 0; k < M; ++k) {
        w_sum[first + k] = w[k / 2][k % 2];
        t_sum[first + k] = t[k / 2][k % 2];
    }
    if (tree.size() > (1u << 20)) {  // a very large set: not held on to
        value = std::vector<two_lanes>();
        tree = std::vector<two_lanes>();
        same = std::vector<two_lanes>();
    }
}

// Five vectors at a time (the five PP values of -p in one sweep).
static void fast_sums(const pair_layout& l, const std::vector<const std::vector<float>*>& f,
                      std::vector<double>& w_sum, std::vector<double>& t_sum) {
    w_sum.assign(f.size(), 0.0);
    t_sum.assign(f.size(), 0.0);
    for (std::size_t first = 0; first < f.size(); first += 5) {
        switch (std::min<std::size_t>(f.size() - first, 5)) {
        case 1: fast_sums_of<1>(l, f, first, w_sum, t_sum); break;
        case 2: fast_sums_of<2>(l, f, first, w_sum, t_sum); break;
        case 3: fast_sums_of<3>(l, f, first, w_sum, t_sum); break;
        case 4: fast_sums_of<4>(l, f, first, w_sum, t_sum); break;
        default: fast_sums_of<5>(l, f, first, w_sum, t_sum); break;
        }
    }
}

// R of step 3: how far the exact W and T may lie from the fast ones.
static double bound_of(double w_fast, std::size_t n) {
    double count = static_cast<double>(n);
    double pairs = 0.5 * count * (count - 1);
    double fast = 16 * (2 * count + 64) * unit;
    double chain = 1.01 * pairs * 0x1p-64;
    return ((0x1p-24 + 2 * chain + fast) * w_fast / (1 - fast) + 2 * pairs * 0x1p-150 + count * 0x1p-1000) *
           (1 + 0x1p-20);
}

// Step 4.
static value_range range_of(double w_fast, double t_fast, std::size_t n) {
    double r = bound_of(w_fast, n);
    if (!(std::isfinite(w_fast) && std::isfinite(t_fast) && w_fast > 2 * r)) return anything;
    double tau = t_fast / w_fast, size = std::fabs(tau);
    double radius = (r * (1 + size * (1 + 2 * unit)) / (w_fast - r) + unit * size) * (1 + 0x1p-20);
    return {std::nextafter(tau - radius, -INFINITY), std::nextafter(tau + radius, INFINITY)};
}

// Step 5: +1 when y rises along the pair order with no equal x ranks, -1
// when it falls so, 0 otherwise.
static int perfect_order(const pair_layout& l) {
    std::size_t n = l.y.size();
    bool rising = true, falling = true;
    for (std::size_t i = 1; i < n; ++i) {
        if (l.tie_start[i] != static_cast<int>(i)) return 0;
        rising = rising && l.y[i] > l.y[i - 1];
        falling = falling && l.y[i] < l.y[i - 1];
    }
    return rising ? 1 : falling ? -1 : 0;
}

void tau_ranges(const pair_layout& l, const std::vector<const std::vector<double>*>& weights,
                std::vector<value_range>& ranges) {
    std::size_t m = weights.size(), n = l.order.size();
    ranges.assign(m, anything);
    if (n < 1 || n > (1u << 24) || l.y.size() != n || l.tie_start.size() != n) return;
    for (int y : l.y)
        if (y < 1 || static_cast<std::size_t>(y) > n) return;
    thread_local std::vector<std::vector<float>> f;
    f.resize(m);
    std::vector<const std::vector<float>*> usable;
    std::vector<std::size_t> which;
    for (std::size_t v = 0; v < m; ++v) {
        if (weights[v]->size() != n) continue;
        if (!bounded_weights(*weights[v], l, f[v])) continue;
        usable.push_back(&f[v]);
        which.push_back(v);
    }
    if (which.empty()) return;
    bool all_x_equal = l.tie_start[n - 1] == 0;
    bool all_y_equal = std::all_of(l.y.begin(), l.y.end(), [&](int y) { return y == l.y[0]; });
    if (all_x_equal || all_y_equal) {
        for (std::size_t v : which) ranges[v] = {0.0, 0.0};
        return;
    }
    std::vector<double> w_fast, t_fast;
    fast_sums(l, usable, w_fast, t_fast);
    int order = perfect_order(l);
    for (std::size_t k = 0; k < which.size(); ++k) {
        value_range r = range_of(w_fast[k], t_fast[k], n);
        if (order != 0 && std::isfinite(r.low)) r = {static_cast<double>(order), static_cast<double>(order)};
        ranges[which[k]] = r;
    }
}

static bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Step 6.
value_range pvalue_range(double z_low, double z_high) {
    if (same_bits(z_low, z_high)) {
        double p = tau_pvalue(z_low);
        return {p, p};
    }
    if (!(std::isfinite(z_low) && std::isfinite(z_high) && z_low <= z_high)) return anything;
    const double rho = 0x1p-46, tiny = 0x1p-1020;
    double x_low = (-z_high) / 1.4142135623730951, x_high = (-z_low) / 1.4142135623730951;
    double f_low = (std::erfc(x_high) * (1 - 4 * rho) - tiny) / 2;
    double f_high = (std::erfc(x_low) * (1 + 4 * rho) + tiny) / 2;
    if (f_high <= 0.5) return {f_low + f_low, f_high + f_high};
    if (f_low > 0.5) return {(1 - f_high) + (1 - f_high), (1 - f_low) + (1 - f_low)};
    return {std::min(f_low + f_low, (1 - f_high) + (1 - f_high)), 1.0};
}

// A test cannot be kept when another surely has a smaller p-value, or an
// earlier one surely has one no larger. NaN or infinite ends never decide.
std::vector<bool> possible_winners(const std::vector<value_range>& p) {
    std::size_t m = p.size();
    std::vector<bool> can(m, true);
    for (std::size_t k = 0; k < m; ++k)
        for (std::size_t o = 0; o < m; ++o)
            if (o != k && (p[o].high < p[k].low || (o < k && p[o].high <= p[k].low))) can[k] = false;
    return can;
}
