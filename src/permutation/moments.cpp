#include "permutation/moments.h"

#include <cmath>

#include "common/output.h"
#include "permutation/normal_max.h"
#include "stats/ranks.h"
#include "stats/weights.h"

// Why the moments are what they are.
//
// Let pairing p give set gene i the list gene p(i). With sx_ij = sgn(x_i - x_j)
// and sy_kl = sgn(y_k - y_l), the numerator of that pairing is
//   N(p) = sum_{i<j} u_i u_j v_p(i) v_p(j) sx_ij sy_p(i)p(j).
// Put a_ij = u_i u_j sx_ij and b_kl = v_k v_l sy_kl. Both are antisymmetric
// with a zero diagonal, so a_ij b_p(i)p(j) is symmetric in i, j and
//   G(p) = sum_{i != j} a_ij b_p(i)p(j) = 2 N(p).
// For i != j, (p(i), p(j)) is uniform over the n(n-1) ordered pairs of
// distinct genes, so E G = sum a_ij * (sum_{k != l} b_kl) / (n(n-1)) = 0: the
// b of an antisymmetric matrix sum to 0. Hence E N = 0.
//
// For two PP values (a, b and a', b'), E[G G'] sums a_ij a'_st E[b_p(i)p(j) b'_p(s)p(t)]
// over i != j, s != t, grouped by the indices the two pairs share; in each
// group the targets are uniform over the same pattern of distinct genes:
//   (s,t) = (i,j): S_aa' S_bb' / (n(n-1)), where S_aa' = sum_{i != j} a_ij a'_ij;
//   (s,t) = (j,i): the same, a'_ji = -a'_ij and b'_lk = -b'_kl cancel;
//   one index shared, four patterns (s=i, t=j, s=j, t=i): sum over distinct
//     i, j, t of a_ij a'_it is R_aa' = sum_i r_i r'_i - S_aa', r_i = sum_j a_ij
//     the row sums; the other patterns are it with the signs +, -, - on both
//     sides, so each gives R_aa' R_bb' / (n(n-1)(n-2));
//   all four distinct: sum a_ij a'_st = (sum a)(sum a') less the patterns
//     above = 0 - (S - S + R + R - R - R) = 0.
// So Cov(G, G') = 2 S_aa' S_bb' / (n(n-1)) + 4 R_aa' R_bb' / (n(n-1)(n-2))
// (Mantel's and Daniels' moments of the quadratic assignment statistic), and
// Cov(N, N') = Cov(G, G') / 4. With n = 2, R is 0.
//
// Both sums need only sums over ranks: with f the factors of a side and
// q_i = f_i f'_i, S = sum_i q_i (Q - Q_rank(i)) (Q the sum of q, Q_r its sum
// over the genes of rank r: a tie adds nothing), and r_i = f_i (F_below(i) -
// F_above(i)), the sums of f over the genes of lower and of higher rank.
// Descending ranks flip every sign of a side, which changes no product above.

void moment_factors(const std::vector<double>& x, const std::vector<double>& y, const std::vector<double>& pps,
                    weighting method, std::vector<std::vector<double>>& u, std::vector<std::vector<double>>& v) {
    if (method == weighting::unknown) fail("unknown weighting method");
    std::size_t n = x.size();
    std::vector<int> magnitude_x, magnitude_y;
    std::vector<double> magnitudes;
    if (method != weighting::list) {
        abs_vec(x, magnitudes);
        vec_rank_rev(magnitudes, magnitude_x);
    }
    if (method != weighting::set) {
        abs_vec(y, magnitudes);
        vec_rank_rev(magnitudes, magnitude_y);
    }
    u.assign(pps.size(), std::vector<double>(n, 1.0));
    v.assign(pps.size(), std::vector<double>(n, 1.0));
    for (std::size_t k = 0; k < pps.size(); ++k) {
        double power = pp_power(pps[k]);
        if (method != weighting::list) rank_weights(magnitude_x, power, u[k]);
        if (method != weighting::set) rank_weights(magnitude_y, power, v[k]);
        if (method == weighting::both)
            for (std::size_t i = 0; i < n; ++i) {
                u[k][i] = std::sqrt(u[k][i]);
                v[k][i] = std::sqrt(v[k][i]);
            }
    }
}

void moment_factors(const set_ranks& r, const std::vector<double>& pps, std::vector<std::vector<double>>& u,
                    std::vector<std::vector<double>>& v) {
    std::size_t n = r.rank_x.size();
    u.assign(pps.size(), std::vector<double>(n, 1.0));
    v.assign(pps.size(), std::vector<double>(n, 1.0));
    std::vector<double> x, y;
    for (std::size_t k = 0; k < pps.size(); ++k) {
        side_weights(r, pps[k], x, y);
        if (r.method == weighting::both)
            for (std::size_t i = 0; i < n; ++i) {
                u[k][i] = std::sqrt(x[i]);
                v[k][i] = std::sqrt(y[i]);
            }
        else if (r.method == weighting::set)
            u[k] = x;
        else
            v[k] = y;
    }
}

// The genes of a side in ascending rank, and where each run of equal ranks
// ends: the sums below walk the runs without a table per rank.
struct side_runs {
    std::vector<int> by_rank;
    std::vector<int> run_end;  // per run, one past its last position in by_rank
};

static void runs_of(const std::vector<int>& rank, side_runs& s) {
    std::size_t n = rank.size();
    thread_local std::vector<int> start;
    start.assign(n + 2, 0);
    for (int r : rank) ++start[r + 1];
    for (std::size_t r = 1; r <= n + 1; ++r) start[r] += start[r - 1];
    s.by_rank.resize(n);
    s.run_end.clear();
    for (std::size_t i = 0; i < n; ++i) s.by_rank[start[rank[i]]++] = static_cast<int>(i);
    for (std::size_t k = 1; k < n; ++k)
        if (rank[s.by_rank[k]] != rank[s.by_rank[k - 1]]) s.run_end.push_back(static_cast<int>(k));
    if (n > 0) s.run_end.push_back(static_cast<int>(n));
}

// The row sums r_i of a side's matrix f_i f_j sgn(rank_i - rank_j).
static void row_sums(const side_runs& s, const std::vector<double>& f, std::vector<long double>& rows) {
    rows.resize(f.size());
    long double total = 0, below = 0;
    for (double t : f) total += t;
    int from = 0;
    for (int to : s.run_end) {
        long double run = 0;
        for (int k = from; k < to; ++k) run += f[s.by_rank[k]];
        long double difference = below - (total - below - run);
        for (int k = from; k < to; ++k) rows[s.by_rank[k]] = f[s.by_rank[k]] * difference;
        below += run;
        from = to;
    }
}

// S of two matrices of a side (factors f and h): sum over pairs of genes of
// different rank of f_i h_i f_j h_j, that is sum over runs of g (Q - g) with
// g the run's sum of f h and Q the whole sum (a tie adds nothing).
static long double square_sum(const side_runs& s, const std::vector<double>& f, const std::vector<double>& h) {
    long double total = 0, sum = 0;
    for (std::size_t i = 0; i < f.size(); ++i) total += f[i] * h[i];
    int from = 0;
    for (int to : s.run_end) {
        long double run = 0;
        for (int k = from; k < to; ++k) run += f[s.by_rank[k]] * h[s.by_rank[k]];
        sum += run * (total - run);
        from = to;
    }
    return sum;
}

// The observed numerator: genes in ascending x rank, one run of equal x ranks
// at a time, against the weights of the earlier runs in a Fenwick tree over y
// ranks (lower y rank: sgn product +1, higher: -1, equal: 0).
static double observed_numerator(const std::vector<int>& rank_x, const std::vector<int>& rank_y,
                                 const std::vector<double>& w) {
    int n = static_cast<int>(rank_x.size());
    // Working space kept from set to set: most sets are small, and their
    // allocations would cost as much as the sums.
    thread_local std::vector<int> start, by_x, next;
    thread_local std::vector<double> tree;
    start.assign(n + 2, 0);
    by_x.resize(n);
    for (int r : rank_x) ++start[r + 1];
    for (int r = 1; r <= n + 1; ++r) start[r] += start[r - 1];
    next = start;
    for (int i = 0; i < n; ++i) by_x[next[rank_x[i]]++] = i;
    tree.assign(n + 1, 0.0);
    double inserted = 0;
    long double sum = 0;
    for (int r = 1; r <= n; ++r) {
        int from = start[r], to = start[r + 1];
        for (int k = from; k < to; ++k) {
            int i = by_x[k], y = rank_y[i];
            double lower = 0, upto = 0;
            for (int node = y - 1; node > 0; node -= node & -node) lower += tree[node];
            for (int node = y; node > 0; node -= node & -node) upto += tree[node];
            sum += static_cast<long double>(w[i]) * (lower - (inserted - upto));
        }
        for (int k = from; k < to; ++k) {
            int i = by_x[k];
            for (int node = rank_y[i]; node <= n; node += node & -node) tree[node] += w[i];
            inserted += w[i];
        }
    }
    return static_cast<double>(sum);
}

static bool all_ones(const std::vector<double>& f) {
    for (double x : f)
        if (x != 1.0) return false;
    return true;
}

// With one side's factors all 1 (-w 2, -w 3), the shape of N from the other
// side's factors in that side's order. It is the shape without ties (ties
// inside a run taken in gene order): where ties take more than a tenth of
// the variance away it is not trusted, and the tail stays the normal's.
static tail_shape shape_of(const side_runs& runs, const std::vector<double>& f, double variance) {
    std::vector<double> c(f.size());
    for (std::size_t k = 0; k < f.size(); ++k) c[k] = f[runs.by_rank[k]];
    tail_shape s = one_sided_shape(c);
    return variance >= 0.9 * s.variance ? s : tail_shape{};
}

numerator_moments moments_of(const std::vector<int>& rank_x, const std::vector<int>& rank_y,
                             const std::vector<std::vector<double>>& u, const std::vector<std::vector<double>>& v) {
    numerator_moments m;
    std::size_t n = rank_x.size(), count = u.size();
    m.n = static_cast<int>(n);
    m.numerator.assign(count, 0.0);
    m.covariance.assign(count * count, 0.0);
    m.z.assign(count, 0.0);
    m.shape.assign(count, tail_shape{});
    thread_local std::vector<std::vector<long double>> rows_x, rows_y;
    thread_local side_runs runs_x, runs_y;
    thread_local std::vector<double> w;
    rows_x.resize(count);
    rows_y.resize(count);
    runs_of(rank_x, runs_x);
    runs_of(rank_y, runs_y);
    w.resize(n);
    for (std::size_t k = 0; k < count; ++k) {
        for (std::size_t i = 0; i < n; ++i) w[i] = u[k][i] * v[k][i];
        m.numerator[k] = observed_numerator(rank_x, rank_y, w);
        row_sums(runs_x, u[k], rows_x[k]);
        row_sums(runs_y, v[k], rows_y[k]);
    }
    if (n < 2) return m;
    long double pairs = static_cast<long double>(n) * (n - 1), triples = pairs * (n - 2);
    for (std::size_t k = 0; k < count; ++k)
        for (std::size_t l = k; l < count; ++l) {
            long double s_x = square_sum(runs_x, u[k], u[l]), s_y = square_sum(runs_y, v[k], v[l]);
            long double r_x = -s_x, r_y = -s_y;
            for (std::size_t i = 0; i < n; ++i) {
                r_x += rows_x[k][i] * rows_x[l][i];
                r_y += rows_y[k][i] * rows_y[l][i];
            }
            long double c = 2 * s_x * s_y / pairs;
            if (n > 2) c += 4 * r_x * r_y / triples;
            m.covariance[k * count + l] = m.covariance[l * count + k] = static_cast<double>(c / 4);
        }
    for (std::size_t k = 0; k < count; ++k) {
        double variance = m.covariance[k * count + k];
        m.z[k] = variance > 0 ? m.numerator[k] / std::sqrt(variance) : 0.0;
        if (variance > 0 && all_ones(u[k])) m.shape[k] = shape_of(runs_y, v[k], variance);
        else if (variance > 0 && all_ones(v[k])) m.shape[k] = shape_of(runs_x, u[k], variance);
    }
    return m;
}

// Component k leaves at |Z_k| >= the largest |z| with probability p_k; a
// normal Y_k with the correlations of the numerators leaves at |Y_k| >= t_k
// with the same probability, and P(max_k |Y_k| / t_k >= 1) is that of the
// normals with covariance rho_kl / (t_k t_l). A component that cannot reach
// the largest |z| (p_k = 0) gets variance 0. With every shape normal, t_k is
// the largest |z| itself, and this is normal_max_p_value.
double moment_p_value(const numerator_moments& m) {
    std::size_t d = m.z.size();
    double largest = 0, p = 1.0;
    bool normal = true;
    for (std::size_t k = 0; k < d; ++k) {
        largest = std::max(largest, std::fabs(m.z[k]));
        normal = normal && !(m.shape[k].excess < 0);
    }
    if (d == 1) p = shaped_tail(largest, m.shape[0]);
    else if (normal) p = normal_max_p_value(m.z, m.covariance);
    else if (largest > 0) {
        std::vector<double> reach(d, 0.0), scaled(d * d, 0.0);
        for (std::size_t k = 0; k < d; ++k) {
            double tail = m.covariance[k * d + k] > 0 ? shaped_tail(largest, m.shape[k]) : 0.0;
            if (tail >= 1) return 1.0;
            reach[k] = tail > 0 ? 1 / normal_upper_inverse(tail / 2) : 0.0;
        }
        for (std::size_t a = 0; a < d; ++a)
            for (std::size_t b = 0; b < d; ++b)
                if (reach[a] > 0 && reach[b] > 0)
                    scaled[a * d + b] = (a == b ? 1.0 : m.covariance[a * d + b] /
                                                            std::sqrt(m.covariance[a * d + a] * m.covariance[b * d + b])) *
                                        reach[a] * reach[b];
        p = normal_max_tail(scaled, 1.0);
    }
    return std::max(p, std::exp(-log_gamma(m.n + 1.0)));
}

numerator_moments tau_moments(const std::vector<double>& x, const std::vector<double>& y,
                              const std::vector<double>& pps, weighting method) {
    std::vector<int> rank_x, rank_y;
    vec_rank_rev(x, rank_x);
    vec_rank_rev(y, rank_y);
    std::vector<std::vector<double>> u, v;
    moment_factors(x, y, pps, method, u, v);
    return moments_of(rank_x, rank_y, u, v);
}
