// The sequential passes: the adds of the straightforward pass, in its order.
//
// The pair pass adds, for every pair (i, j < i) in pair order, the float pair
// weight p = fl(f_i * f_j) to W and p * sgn(dx) * sgn(dy) to T, in long double.
//
// Pair order sorts by x rank, so for j < i sgn(x_i - x_j) is 1 before the run
// of equal x ranks that holds i and 0 inside it. A zero term never changes T
// (T starts at +0 and x + 0 = x, +0 + -0 = +0), so only the j before the run
// add to T, and there the term is p * sgn(y_i - y_j). This holds while every
// product is finite (checked by finite_products): inf * 0 would be NaN.
// Otherwise literal_pair_sums runs, which adds every term as it is.
#include <cmath>

#include "stats/pair/pair_pass_internal.h"

bool finite_products(const std::vector<float>& f) {
    float top = 0;
    for (float v : f) {
        if (!std::isfinite(v)) return false;
        top = std::fmax(top, std::fabs(v));
    }
    return std::isfinite(top * top);
}

// The straightforward pass, for weights whose products may not be finite.
void literal_pair_sums(const std::vector<float>& f, const pair_layout& l, long double& w_sum,
                       long double& t_sum) {
    long double w = 0, t = 0;
    int n = static_cast<int>(f.size());
    for (int i = 1; i < n; ++i)
        for (int j = 0; j < i; ++j) {
            float p = f[i] * f[j];
            w += p;
            t += p * static_cast<float>(sign_of(l.x[i], l.x[j])) * static_cast<float>(sign_of(l.y[i], l.y[j]));
        }
    w_sum = w;
    t_sum = t;
}

// Kept small so that the compiler holds the accumulators in registers.
void sequential_pair_sums(const std::vector<float>& f, const pair_layout& l, long double& w_sum,
                          long double& t_sum) {
    long double w = 0, t = 0;
    const float* fp = f.data();
    const int* y = l.y.data();
    int n = static_cast<int>(f.size());
    for (int i = 1; i < n; ++i) {
        float fi = fp[i];
        int yi = y[i], ti = l.tie_start[i];
        for (int j = 0; j < ti; ++j) {
            float p = fi * fp[j];
            w += p;
            t += p * static_cast<float>(sign_of(yi, y[j]));
        }
        for (int j = ti; j < i; ++j) w += fi * fp[j];
    }
    w_sum = w;
    t_sum = t;
}

// Two weight vectors side by side: four independent chains of adds overlap,
// each keeping its own order.
void sequential_pair_sums2(const std::vector<float>& f1, const std::vector<float>& f2, const pair_layout& l,
                           long double& w1_sum, long double& t1_sum, long double& w2_sum, long double& t2_sum) {
    long double w1 = 0, t1 = 0, w2 = 0, t2 = 0;
    const float* a = f1.data();
    const float* b = f2.data();
    const int* y = l.y.data();
    int n = static_cast<int>(f1.size());
    for (int i = 1; i < n; ++i) {
        float ai = a[i], bi = b[i];
        int yi = y[i], ti = l.tie_start[i];
        for (int j = 0; j < ti; ++j) {
            float s = static_cast<float>(sign_of(yi, y[j]));
            float p = ai * a[j];
            float q = bi * b[j];
            w1 += p;
            t1 += p * s;
            w2 += q;
            t2 += q * s;
        }
        for (int j = ti; j < i; ++j) {
            w1 += ai * a[j];
            w2 += bi * b[j];
        }
    }
    w1_sum = w1;
    t1_sum = t1;
    w2_sum = w2;
    t2_sum = t2;
}
