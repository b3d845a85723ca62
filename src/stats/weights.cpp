#include "stats/weights.h"

#include <cmath>

#include "common/output.h"
#include "stats/ranks.h"

double weigher(double x, double power) {
    if (x > 1 || x < 0) fail("wrong x1: " + num(x));
    return std::pow(1.0 - std::pow(x, power), 1.0 / power);
}

double pp_power(double pp) { return -0.6931471805599453 / std::log(pp); }

void abs_vec(const std::vector<double>& scores, std::vector<double>& magnitudes) {
    magnitudes.clear();
    if (scores.empty()) fail("x_n < 1");
    for (double s : scores) magnitudes.push_back(std::fabs(s));
}

void rank_weights(const std::vector<int>& magnitude_ranks, double power, std::vector<double>& by_rank,
                  std::vector<double>& weights) {
    std::size_t n = magnitude_ranks.size();
    if (by_rank.size() != n + 1) by_rank.assign(n + 1, NAN);
    weights.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        int r = magnitude_ranks[i];
        if (std::isnan(by_rank[r])) by_rank[r] = weigher((r - 0.5) / static_cast<double>(n), power);
        weights[i] = by_rank[r];
    }
}

void fill_rank_table(std::size_t n, double power, std::vector<double>& table) {
    table.assign(n + 1, NAN);
    for (std::size_t r = 1; r <= n; ++r) table[r] = weigher((static_cast<double>(r) - 0.5) / static_cast<double>(n), power);
}

void table_rank_weights(const std::vector<int>& magnitude_ranks, const std::vector<double>& table,
                        std::vector<double>& weights) {
    std::size_t n = magnitude_ranks.size();
    weights.resize(n);
    for (std::size_t i = 0; i < n; ++i) weights[i] = table[magnitude_ranks[i]];
}

void merged_rank_weights(const std::vector<int>& ranks_x, const std::vector<int>& ranks_y,
                         const std::vector<double>& table, std::vector<double>& weights) {
    std::size_t n = ranks_x.size();
    weights.resize(n);
    for (std::size_t i = 0; i < n; ++i) weights[i] = std::pow(table[ranks_x[i]] * table[ranks_y[i]], 0.5);
}

void rank_weights(const std::vector<int>& magnitude_ranks, double power, std::vector<double>& weights) {
    std::vector<double> by_rank;
    rank_weights(magnitude_ranks, power, by_rank, weights);
}

void cal_weights(const std::vector<double>& scores, double power, std::vector<double>& weights) {
    weights.clear();
    if (scores.empty()) fail("x_n < 1");
    std::vector<double> magnitudes;
    abs_vec(scores, magnitudes);
    std::vector<int> r;
    vec_rank_rev(magnitudes, r);
    rank_weights(r, power, weights);
}

void cal_weight_ranks(const std::vector<double>& scores, double power, std::vector<double>& weights,
                      std::vector<int>& ranks) {
    weights.clear();
    if (scores.empty()) fail("x_n < 1");
    std::vector<double> magnitudes;
    abs_vec(scores, magnitudes);
    vec_rank_rev(scores, ranks);
    std::vector<int> r;
    vec_rank_rev(magnitudes, r);
    rank_weights(r, power, weights);
}

void merge_weights(const std::vector<double>& first, const std::vector<double>& second,
                   std::vector<double>& merged) {
    merged.clear();
    if (static_cast<int>(first.size()) != static_cast<int>(second.size())) fail("x_n != y_n!");
    merged.resize(first.size());
    for (std::size_t i = 0; i < first.size(); ++i) merged[i] = std::pow(first[i] * second[i], 0.5);
}

double calculate_limit(const std::vector<double>& weights) {
    std::size_t n = weights.size();
    if (n == 0) fail("x_n < 1");
    long double s = 0, q = 0;
    for (double w : weights) {
        s += w;
        q += std::pow(w, 2.0);
    }
    if (!(q > 0)) return 0.0;
    long double r = s / std::sqrt(q);
    r = r / std::sqrt(static_cast<double>(n));
    return static_cast<double>(r);
}
