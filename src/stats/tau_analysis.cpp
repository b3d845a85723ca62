#include "stats/tau_analysis.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>
#include <string>

#include "common/error.h"
#include "common/records.h"
#include "stats/rank_tables.h"
#include "stats/ranks.h"
#include "stats/tau.h"
#include "stats/tau_interval.h"
#include "stats/weights.h"

static bool has_negative(const std::vector<double>& scores) {
    return std::any_of(scores.begin(), scores.end(), [](double v) { return v < 0; });
}

// Without a negative score the magnitudes compare exactly as the scores do
// (taking the absolute value only changes -0 and the sign of NaN), so their
// ranks are the ranks of the scores.
static void magnitude_ranks(const std::vector<double>& scores, const std::vector<int>& score_ranks,
                            std::vector<int>& ranks) {
    if (!has_negative(scores)) {
        ranks = score_ranks;
        return;
    }
    std::vector<double> magnitudes;
    abs_vec(scores, magnitudes);
    vec_rank_rev(magnitudes, ranks);
}

void prepare_ranks(const std::vector<double>& vec_x, const std::vector<double>& vec_y, weighting method,
                   set_ranks& r) {
    prepare_keyed_ranks(vec_x, vec_y, nullptr, nullptr, method, r);
}

// The magnitude ranks of a keyed side: its score ranks where no score is
// negative (magnitude_ranks), else from the keys of the magnitudes.
static void magnitude_key_ranks(const std::vector<double>& scores, const side_keys& keys,
                                const std::vector<int>& score_ranks, std::vector<int>& ranks) {
    if (has_negative(scores))
        ranks_of_keys(keys.magnitudes, ranks);
    else
        ranks = score_ranks;
}

static bool keyed(const side_keys* keys) {
    return keys && std::find(keys->scores.begin(), keys->scores.end(), nan_key) == keys->scores.end();
}

// One side: the ranks of the scores and, where weighed, of their magnitudes.
// Keys hold nan_key exactly where a score is NaN; there the exchange rule
// of vec_rank_rev decides, so those sides take it.
static void side_ranks(const std::vector<double>& scores, const side_keys* keys, bool weighed,
                       std::vector<int>& ranks, std::vector<int>& magnitudes) {
    magnitudes.clear();
    if (!keyed(keys)) {
        vec_rank_rev(scores, ranks);
        if (weighed) magnitude_ranks(scores, ranks, magnitudes);
        return;
    }
    ranks_of_keys(keys->scores, ranks);
    if (weighed) magnitude_key_ranks(scores, *keys, ranks, magnitudes);
}

void prepare_keyed_ranks(const std::vector<double>& vec_x, const std::vector<double>& vec_y, const side_keys* x,
                         const side_keys* y, weighting method, set_ranks& r) {
    r.method = method;
    if (keyed(x) && keyed(y) && !x->scores.empty() && x->scores.size() == y->scores.size()) {
        // Both sides keyed: their ranks and the pair order from one sort of
        // each (anything else fails in make_pair_layout as it always has).
        keyed_pair_order(x->scores, y->scores, r.rank_x, r.rank_y, r.layout.order);
        r.magnitude_x.clear();
        r.magnitude_y.clear();
        if (method != weighting::list) magnitude_key_ranks(vec_x, *x, r.rank_x, r.magnitude_x);
        if (method != weighting::set) magnitude_key_ranks(vec_y, *y, r.rank_y, r.magnitude_y);
        layout_in_order(r.rank_x, r.rank_y, r.layout);
        return;
    }
    side_ranks(vec_x, x, method != weighting::list, r.rank_x, r.magnitude_x);
    side_ranks(vec_y, y, method != weighting::set, r.rank_y, r.magnitude_y);
    make_pair_layout(r.rank_x, r.rank_y, r.layout);
}

// The weight of a rank depends only on n and the power, and many gene sets
// have the same size: the tables are kept, those of the run's sizes and PP
// values shared by its workers (rank_tables.h), any other by each thread up
// to a bound. A table is filled for every rank when made (fill_rank_table):
// its n weights cost little beside the n^2 / 2 pairs of any set of that
// size, and the sets that read it then need no check for a missing weight.
static const std::vector<double>& rank_table(const set_ranks& r, double power) {
    std::size_t n = r.rank_x.size();
    if (r.tables)
        if (const std::vector<double>* shared = shared_rank_table(*r.tables, n, power)) return *shared;
    thread_local std::map<std::pair<std::size_t, double>, std::vector<double>> tables;
    thread_local std::size_t held = 0;
    auto key = std::make_pair(n, power);
    auto it = tables.find(key);
    if (it != tables.end()) return it->second;
    if (held + n + 1 > (1u << 22)) {
        tables.clear();
        held = 0;
    }
    held += n + 1;
    std::vector<double>& table = tables[key];
    fill_rank_table(n, power, table);
    return table;
}

static void weights_at(const set_ranks& r, double power, std::vector<double>& weights) {
    const std::vector<double>& by_rank = rank_table(r, power);
    if (r.method == weighting::set) {
        table_rank_weights(r.magnitude_x, by_rank, weights);
    } else if (r.method == weighting::list) {
        table_rank_weights(r.magnitude_y, by_rank, weights);
    } else if (r.magnitude_x.size() == r.magnitude_y.size()) {
        merged_rank_weights(r.magnitude_x, r.magnitude_y, by_rank, weights);
    } else {
        thread_local std::vector<double> wx, wy;
        table_rank_weights(r.magnitude_x, by_rank, wx);
        table_rank_weights(r.magnitude_y, by_rank, wy);
        merge_weights(wx, wy, weights);
    }
}

void side_weights(const set_ranks& r, double pp, std::vector<double>& x, std::vector<double>& y) {
    double power = pp_power(pp);
    const std::vector<double>& by_rank = rank_table(r, power);
    x.clear();
    y.clear();
    if (r.method != weighting::list) table_rank_weights(r.magnitude_x, by_rank, x);
    if (r.method != weighting::set) table_rank_weights(r.magnitude_y, by_rank, y);
}

static tau_test finish_test(double pp, std::size_t n, double limit, double tau) {
    tau_test t;
    t.pp = pp;
    t.tau = tau;
    t.estimate = ((1.5 * tau) * limit) * std::pow(static_cast<double>(n), 0.5);
    t.cor_dir = t.estimate >= 0 ? '+' : '-';
    t.p_value = tau_pvalue(t.estimate);
    return t;
}

// The tests of weights made beforehand, with the limit of each where known.
static void tests_of(const pair_layout& layout, const std::vector<double>& pps,
                     const std::vector<std::vector<double>>& weights, const std::vector<double>& limits,
                     std::vector<tau_test>& tests, pair_path path) {
    std::size_t m = pps.size(), n = layout.order.size();
    std::vector<const std::vector<double>*> each(m);
    for (std::size_t k = 0; k < m; ++k) each[k] = &weights[k];
    std::vector<long double> w_sums, t_sums;
    pair_sums(path, layout, each, w_sums, t_sums);
    tests.clear();
    for (std::size_t k = 0; k < m; ++k) {
        double limit = k < limits.size() ? limits[k] : calculate_limit(weights[k]);
        tests.push_back(finish_test(pps[k], n, limit, tau_from_sums(w_sums[k], t_sums[k])));
    }
}

void weighed_tau_tests(const pair_layout& layout, const std::vector<double>& pps,
                       const std::vector<std::vector<double>>& weights, std::vector<tau_test>& tests, pair_path path) {
    tests_of(layout, pps, weights, {}, tests, path);
}

// The weights of the set at each PP value.
static void weights_at_each(const set_ranks& r, const std::vector<double>& pps,
                            std::vector<std::vector<double>>& weights) {
    weights.resize(pps.size());
    for (std::size_t k = 0; k < pps.size(); ++k) weights_at(r, pp_power(pps[k]), weights[k]);
}

void tau_tests(const set_ranks& r, const std::vector<double>& pps, std::vector<tau_test>& tests,
               std::vector<std::vector<double>>& weights, pair_path path) {
    weights_at_each(r, pps, weights);
    weighed_tau_tests(r.layout, pps, weights, tests, path);
}

// The p-value of a test lies in the range made from the ends of its tau
// range: finish_test multiplies tau by 1.5, by the limit and by sqrt(n), each
// rounded once, so with a limit that is finite and not negative the estimate
// never falls as tau rises (see tau_interval.cpp for the rest).
static value_range pvalue_range_of(const value_range& tau, double pp, std::size_t n, double limit) {
    const value_range anything = {-INFINITY, INFINITY};
    if (!(std::isfinite(tau.low) && std::isfinite(tau.high) && std::isfinite(limit) && limit >= 0)) return anything;
    double z_low = finish_test(pp, n, limit, tau.low).estimate;
    double z_high = finish_test(pp, n, limit, tau.high).estimate;
    return pvalue_range(z_low, z_high);
}

// Why the record stays the same. Let w be the test the record keeps among
// all: every test before it has a larger p-value or NaN, every test after it
// one no smaller or NaN. possible_winners rules a test out only when another
// surely has a smaller p-value, or an earlier one surely one no larger, so
// never w; among the tests left, in PP order, w is still the first with the
// smallest p-value. A finite range holds a number, so where every p-value is
// NaN every range is (-inf, inf) and all tests stay, keeping nothing as before.
void deciding_weighed_tests(const pair_layout& layout, const std::vector<double>& pps,
                            std::vector<std::vector<double>>& weights, std::vector<tau_test>& tests,
                            pair_path path) {
    std::size_t m = pps.size(), n = layout.order.size();
    if (m < 2) return weighed_tau_tests(layout, pps, weights, tests, path);
    std::vector<const std::vector<double>*> each(m);
    for (std::size_t k = 0; k < m; ++k) each[k] = &weights[k];
    std::vector<value_range> taus, ps(m);
    std::vector<double> limits(m);
    tau_ranges(layout, each, taus);
    for (std::size_t k = 0; k < m; ++k) {
        limits[k] = calculate_limit(weights[k]);
        ps[k] = pvalue_range_of(taus[k], pps[k], n, limits[k]);
    }
    std::vector<bool> can = possible_winners(ps);
    std::vector<double> kept_pps, kept_limits;
    std::vector<std::vector<double>> kept_weights;
    for (std::size_t k = 0; k < m; ++k)
        if (can[k]) {
            kept_pps.push_back(pps[k]);
            kept_limits.push_back(limits[k]);
            kept_weights.push_back(std::move(weights[k]));
        }
    weights = std::move(kept_weights);
    tests_of(layout, kept_pps, weights, kept_limits, tests, path);
}

void deciding_tau_tests(const set_ranks& r, const std::vector<double>& pps, std::vector<tau_test>& tests,
                        std::vector<std::vector<double>>& weights, pair_path path) {
    weights_at_each(r, pps, weights);
    deciding_weighed_tests(r.layout, pps, weights, tests, path);
}

void one_tau_analysis(const run_options& o, const std::vector<double>& vec_x, const std::vector<double>& vec_y,
                      double pp, double& tau, double& estimate, double& p_value, char& cor_dir, fdata& record) {
    int nx = static_cast<int>(vec_x.size());
    int ny = static_cast<int>(vec_y.size());
    if (nx < 1 || ny < 1 || nx != ny)
        fail("length error3: vec_x:" + std::to_string(nx) + " vec_y:" + std::to_string(ny));
    tau_test t;
    if (o.wt_kind != weighting::unknown) {
        set_ranks r;
        prepare_ranks(vec_x, vec_y, o.wt_kind, r);
        std::vector<tau_test> tests;
        std::vector<std::vector<double>> weights;
        tau_tests(r, {pp}, tests, weights);
        t = tests[0];
        record.rank_x = std::move(r.rank_x);
        record.rank_y = std::move(r.rank_y);
        record.weights = std::move(weights[0]);
    } else {
        // The record keeps its vectors; on a fresh record the empty weights
        // end the run in calculate_limit, whose line follows this one.
        if (record.weights.empty()) fail("unknown weighting method: " + o.wt_method + "\nx_n < 1");
        double limit = calculate_limit(record.weights);
        t = finish_test(pp, vec_x.size(), limit, wtau2(record.rank_x, record.rank_y, record.weights));
    }
    tau = t.tau;
    estimate = t.estimate;
    p_value = t.p_value;
    cor_dir = t.cor_dir;
}
