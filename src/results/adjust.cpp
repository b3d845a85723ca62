#include "results/adjust.h"

#include <algorithm>
#include <cmath>

#include "common/records.h"
#include "config/config.h"

bool stat_less_p(const struct fstat& a, const struct fstat& b) { return a.p_value < b.p_value; }
bool stat_less_fdr(const struct fstat& a, const struct fstat& b) { return a.fdr < b.fdr; }

// The ratio is taken position by position, without the running minimum of the
// step-up procedure: stored result files depend on these values.
static void adjust_by_position() {
    std::sort(result_stats.begin(), result_stats.end(), stat_less_p);
    int n = static_cast<int>(result_stats.size());
    for (int i = 0; i < n; ++i) {
        double q = (static_cast<double>(n) * result_stats[i].p_value) / (1.0 + i);
        result_stats[i].fdr = q <= 1 ? q : 1;
    }
    std::sort(result_stats.begin(), result_stats.end(), stat_less_fdr);
}

// Ascending, a NaN after every number, so that the sort has a strict order.
static bool less_nan_last(double a, double b) { return std::isnan(b) ? !std::isnan(a) : a < b; }

// Benjamini-Hochberg step-up: the running minimum of n * p / rank from the
// largest p-value down, capped at 1. Equal values are ordered by name, so
// the table is the same in every run.
static void adjust_step_up() {
    std::sort(result_stats.begin(), result_stats.end(), [](const struct fstat& a, const struct fstat& b) {
        if (less_nan_last(a.p_value, b.p_value) || less_nan_last(b.p_value, a.p_value))
            return less_nan_last(a.p_value, b.p_value);
        return a.name < b.name;
    });
    std::size_t n = result_stats.size();
    double running = 1;
    for (std::size_t i = n; i-- > 0;) {
        double q = (static_cast<double>(n) * result_stats[i].p_value) / (1.0 + static_cast<double>(i));
        if (q < running) running = q;  // a NaN ratio keeps the running value
        result_stats[i].fdr = running;
    }
    // The running minimum does not fall as p grows, so the p-value order is
    // already the order by FDR, then p-value, then name.
}

void adjust_p_values() {
    if (fdr_kind == fdr_method::bh)
        adjust_step_up();
    else
        adjust_by_position();
}
