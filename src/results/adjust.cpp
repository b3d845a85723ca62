#include "results/adjust.h"

#include <algorithm>

#include "common/records.h"
#include "config/config.h"

bool stat_less_p(const struct fstat& a, const struct fstat& b) { return a.p_value < b.p_value; }
bool stat_less_fdr(const struct fstat& a, const struct fstat& b) { return a.fdr < b.fdr; }

// The ratio is taken position by position, without the running minimum of the
// step-up procedure: stored result files depend on these values.
void adjust_p_values() {
    std::sort(result_stats.begin(), result_stats.end(), stat_less_p);
    int n = static_cast<int>(result_stats.size());
    for (int i = 0; i < n; ++i) {
        double q = (static_cast<double>(n) * result_stats[i].p_value) / (1.0 + i);
        result_stats[i].fdr = q <= 1 ? q : 1;
    }
    std::sort(result_stats.begin(), result_stats.end(), stat_less_fdr);
}
