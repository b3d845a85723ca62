#include "permutation/null_statistic.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "stats/weights.h"

void make_null_model(const set_ranks& r, const std::vector<double>& pps, weighting method, null_model& m) {
    int n = static_cast<int>(r.rank_x.size());
    m.n = n;
    m.method = method;
    m.by_x.resize(n);
    std::iota(m.by_x.begin(), m.by_x.end(), 0);
    std::stable_sort(m.by_x.begin(), m.by_x.end(), [&](int a, int b) { return r.rank_x[a] < r.rank_x[b]; });
    m.run_end.assign(n, n);
    for (int k = n - 1; k > 0; --k)
        m.run_end[k - 1] = r.rank_x[m.by_x[k]] == r.rank_x[m.by_x[k - 1]] ? m.run_end[k] : k;
    m.magnitude_x = r.magnitude_x;
    m.rank_y = r.rank_y;
    m.magnitude_y = r.magnitude_y;
    m.rank_weight.assign(pps.size(), std::vector<double>(n + 1, 0.0));
    for (std::size_t k = 0; k < pps.size(); ++k) {
        double power = pp_power(pps[k]);
        for (int rank = 1; rank <= n; ++rank) m.rank_weight[k][rank] = weigher((rank - 0.5) / n, power);
    }
    m.root_n = std::sqrt(static_cast<double>(n));
}

// The statistic at P PP values, the loops over them unrolled.
template <int P>
static double statistic(const null_model& m, const std::vector<int>& pairing, null_scratch& s) {
    int n = m.n;
    s.weights.resize(static_cast<std::size_t>(n) * P);
    s.y.resize(n);
    double sum[P] = {}, squares[P] = {};
    for (int i = 0; i < n; ++i) {
        int j = pairing[i];
        s.y[i] = m.rank_y[j];
        for (int q = 0; q < P; ++q) {
            const double* w = m.rank_weight[q].data();
            double v = m.method == weighting::set    ? w[m.magnitude_x[i]]
                       : m.method == weighting::list ? w[m.magnitude_y[j]]
                                                     : std::sqrt(w[m.magnitude_x[i]] * w[m.magnitude_y[j]]);
            s.weights[i * P + q] = v;
            sum[q] += v;
            squares[q] += v * v;
        }
    }
    // Elements in ascending x rank, one run of equal x ranks at a time: an
    // element pairs with every element of earlier runs, where sgn(dx) = 1,
    // and sgn(dy) splits those by y rank: the tree gives the weight below
    // its y rank, `at` the weight at it (ties in y add 0), the rest is above.
    s.tree.assign(static_cast<std::size_t>(n + 1) * P, 0.0);
    s.at.assign(static_cast<std::size_t>(n + 1) * P, 0.0);
    double t[P] = {}, total[P] = {};
    for (int a = 0; a < n;) {
        int b = m.run_end[a];
        for (int k = a; k < b; ++k) {
            int i = m.by_x[k], y = s.y[i];
            double below[P] = {};
            for (int node = y - 1; node > 0; node -= node & -node)
                for (int q = 0; q < P; ++q) below[q] += s.tree[node * P + q];
            for (int q = 0; q < P; ++q)
                t[q] += s.weights[i * P + q] * (2 * below[q] + s.at[y * P + q] - total[q]);
        }
        for (int k = a; k < b; ++k) {
            int i = m.by_x[k], y = s.y[i];
            for (int node = y; node <= n; node += node & -node)
                for (int q = 0; q < P; ++q) s.tree[node * P + q] += s.weights[i * P + q];
            for (int q = 0; q < P; ++q) {
                s.at[y * P + q] += s.weights[i * P + q];
                total[q] += s.weights[i * P + q];
            }
        }
        a = b;
    }
    double best = 0;
    if (!m.scale.empty()) {
        for (int q = 0; q < P; ++q) best = std::max(best, std::fabs(t[q] * m.scale[q]));
        return best;
    }
    for (int q = 0; q < P; ++q) {
        double pairs = (sum[q] * sum[q] - squares[q]) / 2;
        double tau = pairs > 0 ? t[q] / pairs : 0.0;
        double limit = squares[q] > 0 ? sum[q] / std::sqrt(squares[q]) / m.root_n : 0.0;
        best = std::max(best, std::fabs(1.5 * tau * limit * m.root_n));
    }
    return best;
}

double null_statistic(const null_model& m, const std::vector<int>& pairing, null_scratch& s) {
    return m.rank_weight.size() == 1 ? statistic<1>(m, pairing, s) : statistic<5>(m, pairing, s);
}
