#include "results/adjust.h"

#include <algorithm>
#include <cmath>

#include "common/record_order.h"
#include "common/records.h"

bool stat_less_p(const struct fstat& a, const struct fstat& b) { return a.p_value < b.p_value; }
bool stat_less_fdr(const struct fstat& a, const struct fstat& b) { return a.fdr < b.fdr; }

// The ratio is taken position by position, without the running minimum of the
// step-up procedure: stored result files depend on these values.
using records = std::vector<struct fstat>::iterator;

// The records in the order std::sort(first, last, less) gives them, where
// less compares key(record) with <: through the keys in one array
// (sorted_positions).
template <class Key> static void sort_by_key(records first, records last, Key key) {
    std::vector<double> keys;
    for (records r = first; r != last; ++r) keys.push_back(key(*r));
    std::vector<std::size_t> order =
        sorted_positions(keys.size(), [&](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
    apply_order(first, order);
}

static void adjust_by_position(records first, records last) {
    sort_by_key(first, last, [](const struct fstat& r) { return r.p_value; });  // as stat_less_p
    int n = static_cast<int>(last - first);
    for (int i = 0; i < n; ++i) {
        double q = (static_cast<double>(n) * first[i].p_value) / (1.0 + i);
        first[i].fdr = q <= 1 ? q : 1;
    }
    sort_by_key(first, last, [](const struct fstat& r) { return r.fdr; });  // as stat_less_fdr
}

// Ascending, a NaN after every number, so that the sort has a strict order.
static bool less_nan_last(double a, double b) { return std::isnan(b) ? !std::isnan(a) : a < b; }

// Benjamini-Hochberg step-up: the running minimum of n * p / rank from the
// largest p-value down, capped at 1. Equal values are ordered by name, so
// the table is the same in every run.
static void adjust_step_up(records first, records last) {
    std::vector<double> p;
    for (records r = first; r != last; ++r) p.push_back(r->p_value);
    std::vector<std::size_t> order = sorted_positions(p.size(), [&](std::size_t a, std::size_t b) {
        if (less_nan_last(p[a], p[b]) || less_nan_last(p[b], p[a])) return less_nan_last(p[a], p[b]);
        return first[a].name < first[b].name;
    });
    apply_order(first, order);
    std::size_t n = static_cast<std::size_t>(last - first);
    double running = 1;
    for (std::size_t i = n; i-- > 0;) {
        double q = (static_cast<double>(n) * first[i].p_value) / (1.0 + static_cast<double>(i));
        if (q < running) running = q;  // a NaN ratio keeps the running value
        first[i].fdr = running;
    }
    // The running minimum does not fall as p grows, so the p-value order is
    // already the order by FDR, then p-value, then name.
}

// Each ranking of --lists is adjusted on its own, as if it had been the only
// gene list; the records come grouped by ranking.
void adjust_p_values(std::vector<struct fstat>& all, fdr_method kind) {
    for (records first = all.begin(); first != all.end();) {
        records last = first;
        while (last != all.end() && last->list == first->list) ++last;
        if (kind == fdr_method::bh)
            adjust_step_up(first, last);
        else
            adjust_by_position(first, last);
        first = last;
    }
}
