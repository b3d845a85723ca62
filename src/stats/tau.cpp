#include "stats/tau.h"

#include <cmath>
#include <string>

#include "common/output.h"
#include "stats/pair/pair_pass.h"

int sgn(int v) { return (v > 0) - (v < 0); }

double tau_from_sums(long double w_sum, long double t_sum) {
    if (w_sum == 0) return 0.0;
    return static_cast<double>(t_sum / w_sum);
}

double wtau2(const std::vector<int>& x, const std::vector<int>& y, const std::vector<double>& weights) {
    int nx = static_cast<int>(x.size());
    int ny = static_cast<int>(y.size());
    if (nx < 1 || ny < 1 || nx != ny)
        fail("length error1: rank_x:" + std::to_string(nx) + " rank_y:" + std::to_string(ny));
    pair_layout layout;
    make_pair_layout(x, y, layout);
    std::vector<long double> w_sums, t_sums;
    pair_sums(layout, {&weights}, w_sums, t_sums);
    return tau_from_sums(w_sums[0], t_sums[0]);
}

double tau_pvalue(double z) {
    double f = std::erfc((-z) / 1.4142135623730951) / 2;
    if (f <= 0.5) return f + f;
    return (1 - f) + (1 - f);
}
