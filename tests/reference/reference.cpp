#include "reference.h"

#include <cmath>
#include <string>
#include <utility>

#include "stats/tau.h"
#include "stats/weights.h"

namespace reference {

void bubble_asort_rev(const std::vector<double>& values, std::vector<int>& order) {
    order.clear();
    int n = static_cast<int>(values.size());
    for (int i = 0; i < n; ++i) order.push_back(i);
    for (int j = 0; j < n - 1; ++j)
        for (int k = 0; k < n - j - 1; ++k)
            if (values[order[k + 1]] > values[order[k]]) std::swap(order[k], order[k + 1]);
}

void vec_rank_rev(const std::vector<double>& values, std::vector<int>& ranks) {
    ranks.clear();
    if (values.empty()) return;
    std::vector<int> order;
    bubble_asort_rev(values, order);
    ranks.assign(values.size(), 0);
    ranks[order[0]] = 1;
    for (std::size_t j = 1; j < order.size(); ++j)
        ranks[order[j]] = values[order[j]] == values[order[j - 1]] ? ranks[order[j - 1]] : static_cast<int>(j) + 1;
}

void bubble_lexsort(const std::vector<int>& first, const std::vector<int>& second, std::vector<int>& order) {
    order.clear();
    int n = static_cast<int>(first.size());
    for (int i = 0; i < n; ++i) order.push_back(i);
    for (int j = 0; j < n - 1; ++j)
        for (int k = 0; k < n - j - 1; ++k) {
            int a = order[k], b = order[k + 1];
            if (first[a] > first[b] || (first[a] == first[b] && second[a] > second[b])) std::swap(order[k], order[k + 1]);
        }
}

void cal_weights(const std::vector<double>& scores, double power, std::vector<double>& weights) {
    weights.clear();
    std::vector<double> magnitudes;
    for (double s : scores) magnitudes.push_back(std::fabs(s));
    std::vector<int> r;
    vec_rank_rev(magnitudes, r);
    double n = static_cast<double>(scores.size());
    for (int rank : r) weights.push_back(weigher((rank - 0.5) / n, power));
}

static int sign(int v) { return (v > 0) - (v < 0); }

void pair_sums(const std::vector<int>& x, const std::vector<int>& y, const std::vector<double>& weights,
               const std::vector<int>& order, long double& w_sum, long double& t_sum) {
    long double w = 0, t = 0;
    int n = static_cast<int>(x.size());
    for (int i = 1; i < n; ++i)
        for (int j = 0; j < i; ++j) {
            int a = order[i], b = order[j];
            float p = static_cast<float>(weights[a]) * static_cast<float>(weights[b]);
            w += p;
            t += p * static_cast<float>(sign(x[a] - x[b])) * static_cast<float>(sign(y[a] - y[b]));
        }
    w_sum = w;
    t_sum = t;
}

double wtau2(const std::vector<int>& x, const std::vector<int>& y, const std::vector<double>& weights) {
    std::vector<int> order;
    bubble_lexsort(x, y, order);
    long double w, t;
    pair_sums(x, y, weights, order, w, t);
    if (w == 0) return 0.0;
    return static_cast<double>(t / w);
}

void one_tau_analysis(const std::vector<double>& vec_x, const std::vector<double>& vec_y, double pp,
                      const char* method, double& tau, double& estimate, double& p_value, char& cor_dir,
                      std::vector<int>& rank_x, std::vector<int>& rank_y, std::vector<double>& weights) {
    double power = -0.6931471805599453 / std::log(pp);
    std::string m = method;
    std::vector<double> wx, wy;
    vec_rank_rev(vec_x, rank_x);
    vec_rank_rev(vec_y, rank_y);
    if (m == "3") {
        cal_weights(vec_x, power, weights);
    } else if (m == "2") {
        cal_weights(vec_y, power, weights);
    } else {
        cal_weights(vec_x, power, wx);
        cal_weights(vec_y, power, wy);
        weights.clear();
        for (std::size_t i = 0; i < wx.size(); ++i) weights.push_back(std::pow(wx[i] * wy[i], 0.5));
    }
    double limit = calculate_limit(weights);
    tau = wtau2(rank_x, rank_y, weights);
    estimate = std::pow(static_cast<double>(vec_x.size()), 0.5) * ((1.5 * tau) * limit);
    cor_dir = estimate >= 0 ? '+' : '-';
    p_value = tau_pvalue(estimate);
}

}  // namespace reference
