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
        double power = -0.6931471805599453 / std::log(pps[k]);
        for (int rank = 1; rank <= n; ++rank) m.rank_weight[k][rank] = weigher((rank - 0.5) / n, power);
    }
    m.root_n = std::sqrt(static_cast<double>(n));
}

// The weights of the pairing, [element][PP], as the method makes them.
static void pairing_weights(const null_model& m, const std::vector<int>& pairing, null_scratch& s) {
    std::size_t p = m.rank_weight.size();
    s.weights.resize(m.n * p);
    for (int i = 0; i < m.n; ++i) {
        int mx = m.method == weighting::list ? 0 : m.magnitude_x[i];
        int my = m.method == weighting::set ? 0 : m.magnitude_y[pairing[i]];
        for (std::size_t k = 0; k < p; ++k) {
            const std::vector<double>& w = m.rank_weight[k];
            double v = m.method == weighting::set ? w[mx] : m.method == weighting::list ? w[my] : std::sqrt(w[mx] * w[my]);
            s.weights[i * p + k] = v;
        }
    }
}

double null_statistic(const null_model& m, const std::vector<int>& pairing, null_scratch& s) {
    int n = m.n;
    std::size_t p = m.rank_weight.size();
    pairing_weights(m, pairing, s);
    s.y.resize(n);
    for (int i = 0; i < n; ++i) s.y[i] = m.rank_y[pairing[i]];
    s.tree.assign((n + 1) * p, 0.0);
    double t[5] = {0, 0, 0, 0, 0}, total[5] = {0, 0, 0, 0, 0};
    // Elements in ascending x rank, one run of equal x ranks at a time: an
    // element pairs with every element of earlier runs, sgn(dx) = 1, and
    // sgn(dy) splits those by y rank, read from the tree. Ties in y add 0.
    for (int a = 0; a < n;) {
        int b = m.run_end[a];
        for (int k = a; k < b; ++k) {
            int i = m.by_x[k];
            double below[5] = {0, 0, 0, 0, 0}, upto[5] = {0, 0, 0, 0, 0};
            for (int node = s.y[i] - 1; node > 0; node -= node & -node)
                for (std::size_t q = 0; q < p; ++q) below[q] += s.tree[node * p + q];
            for (int node = s.y[i]; node > 0; node -= node & -node)
                for (std::size_t q = 0; q < p; ++q) upto[q] += s.tree[node * p + q];
            for (std::size_t q = 0; q < p; ++q) t[q] += s.weights[i * p + q] * (below[q] - (total[q] - upto[q]));
        }
        for (int k = a; k < b; ++k) {
            int i = m.by_x[k];
            for (int node = s.y[i]; node <= n; node += node & -node)
                for (std::size_t q = 0; q < p; ++q) s.tree[node * p + q] += s.weights[i * p + q];
            for (std::size_t q = 0; q < p; ++q) total[q] += s.weights[i * p + q];
        }
        a = b;
    }
    double best = 0;
    for (std::size_t q = 0; q < p; ++q) {
        double sum = 0, squares = 0;
        for (int i = 0; i < n; ++i) {
            double w = s.weights[i * p + q];
            sum += w;
            squares += w * w;
        }
        double pairs = (sum * sum - squares) / 2;
        double tau = pairs > 0 ? t[q] / pairs : 0.0;
        double limit = squares > 0 ? sum / std::sqrt(squares) / m.root_n : 0.0;
        best = std::max(best, std::fabs(1.5 * tau * limit * m.root_n));
    }
    return best;
}
