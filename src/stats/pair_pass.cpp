#include "stats/pair_pass.h"

#include <immintrin.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "stats/ranks.h"

// The pair pass adds, for every pair (i, j < i) in pair order, the float pair
// weight p = fl(f_i * f_j) to W and p * sgn(dx) * sgn(dy) to T, in long double.
//
// Pair order sorts by x rank, so for j < i sgn(x_i - x_j) is 1 before the run
// of equal x ranks that holds i and 0 inside it. A zero term never changes T
// (T starts at +0 and x + 0 = x, +0 + -0 = +0), so only the j before the run
// add to T, and there the term is p * sgn(y_i - y_j). This holds while every
// product is finite: inf * 0 would be NaN. Otherwise the literal pass runs.
//
// When the order of the adds does not matter: let m1 <= m2 be the two
// smallest weights and pmin = fl(m1 * m2). Rounding is monotone, so every
// pair weight p >= pmin. If pmin is a normal float, every float p >= pmin is a
// whole multiple of g = ulp(pmin) = 2^-s, and so is every partial sum of W and
// of T. If moreover W < 2^64 g (checked against the bound
// 1/2 (sum f)^2 (1 + 2^-20) >= sum over pairs of f_i f_j (1 + 2^-24)), every
// partial sum, and |T| <= W, is a multiple of g below 2^64 g: it fits the
// 64-bit significand of long double, so every add of the straightforward
// pass is exact and W and T are the exact sums, whatever the order. The fast
// paths therefore add the whole numbers k = p * 2^s exactly, in any order,
// and scale the totals back by 2^-s. Scaling by a power of two commutes with
// rounding while nothing leaves the normal range, so k = fl(f_i 2^s * f_j).

void make_pair_layout(const std::vector<int>& rank_x, const std::vector<int>& rank_y, pair_layout& layout) {
    bubble_lexsort(rank_x, rank_y, layout.order);
    std::size_t n = layout.order.size();
    layout.x.resize(n);
    layout.y.resize(n);
    layout.tie_start.resize(n);
    for (std::size_t k = 0; k < n; ++k) {
        layout.x[k] = rank_x[layout.order[k]];
        layout.y[k] = rank_y[layout.order[k]];
        bool same = k > 0 && layout.x[k] == layout.x[k - 1];
        layout.tie_start[k] = same ? layout.tie_start[k - 1] : static_cast<int>(k);
    }
}

// sgn(a - b), without the overflow of the difference.
static int sign_of(int a, int b) { return (a > b) - (a < b); }

// The straightforward pass, for weights whose products may not be finite.
static void literal_pair_sums(const std::vector<float>& f, const pair_layout& l, long double& w_sum,
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

static bool finite_products(const std::vector<float>& f) {
    float top = 0;
    for (float v : f) {
        if (!std::isfinite(v)) return false;
        top = std::fmax(top, std::fabs(v));
    }
    return std::isfinite(top * top);
}

int exact_shift(const std::vector<float>& f) {
    std::size_t n = f.size();
    if (n < 2 || n >= (1u << 22)) return -1;
    float m1 = INFINITY, m2 = INFINITY, top = 0;
    double sum = 0;
    for (float v : f) {
        if (!(v > 0) || !std::isfinite(v)) return -1;
        if (v < m1) {
            m2 = m1;
            m1 = v;
        } else if (v < m2) {
            m2 = v;
        }
        top = std::fmax(top, v);
        sum += v;
    }
    float pmin = m1 * m2;
    if (!(pmin >= FLT_MIN)) return -1;
    int s = 23 - std::ilogb(pmin);
    double bound = 0.5 * sum * sum * (1 + std::ldexp(1.0, -20));
    if (!(std::ldexp(bound, s) < std::ldexp(1.0, 64))) return -1;
    // The scaled weights f * 2^s must stay normal floats.
    if (!(std::ldexp(static_cast<double>(top), s) < std::ldexp(1.0, 126))) return -1;
    if (!(std::ldexp(static_cast<double>(m1), s) > std::ldexp(1.0, -100))) return -1;
    return s;
}

// Exact totals of the whole numbers k, as 128-bit integers.
struct exact_totals {
    __int128 w = 0;
    __int128 t = 0;
};

static void scaled(const std::vector<float>& f, int s, std::vector<float>& out) {
    out.resize(f.size());
    for (std::size_t i = 0; i < f.size(); ++i)
        out[i] = static_cast<float>(std::ldexp(static_cast<double>(f[i]), s));
}

// The j of row i from `from` to `to`, one at a time (the tails of the vector loops).
static void scalar_row(float fsi, const float* f, const int* y, int yi, int from, int to, bool signed_part,
                       exact_totals& tot) {
    for (int j = from; j < to; ++j) {
        auto k = static_cast<std::uint64_t>(fsi * f[j]);
        tot.w += k;
        if (signed_part) tot.t += static_cast<__int128>(k) * sign_of(yi, y[j]);
    }
}

// The two halves of sixteen floats. (GCC 12's plain casts warn of an
// uninitialized value inside its own headers.)
__attribute__((target("avx512f"))) static inline __m256 low_half(__m512 v) {
    return _mm256_castpd_ps(_mm512_maskz_extractf64x4_pd(0xff, _mm512_castps_pd(v), 0));
}
__attribute__((target("avx512f"))) static inline __m256 high_half(__m512 v) {
    return _mm256_castpd_ps(_mm512_maskz_extractf64x4_pd(0xff, _mm512_castps_pd(v), 1));
}

__attribute__((target("avx512f,avx512dq,avx512vl"))) static void exact_avx512(const float* fs, const float* f,
                                                                               const int* y, const int* tie,
                                                                               int n, exact_totals& tot) {
    __m512i w = _mm512_setzero_si512(), c = w, d = w, w2 = w, c2 = w, d2 = w;
    for (int i = 1; i < n; ++i) {
        __m512 fi = _mm512_set1_ps(fs[i]);
        __m512i yi = _mm512_set1_epi32(y[i]);
        int t = tie[i];
        // Sixteen pairs a step, in two halves of eight 64-bit lanes.
        for (int j = 0; j < t; j += 16) {
            __mmask16 m = t - j >= 16 ? 0xffff : static_cast<__mmask16>((1u << (t - j)) - 1);
            __m512 p = _mm512_mul_ps(fi, _mm512_maskz_loadu_ps(m, f + j));
            __m512i k = _mm512_cvttps_epu64(low_half(p));
            __m512i k2 = _mm512_cvttps_epu64(high_half(p));
            __m512i yj = _mm512_maskz_loadu_epi32(m, y + j);
            __mmask16 gt = _mm512_cmpgt_epi32_mask(yi, yj), lt = _mm512_cmpgt_epi32_mask(yj, yi);
            w = _mm512_add_epi64(w, k);
            w2 = _mm512_add_epi64(w2, k2);
            c = _mm512_mask_add_epi64(c, static_cast<__mmask8>(gt), c, k);
            c2 = _mm512_mask_add_epi64(c2, static_cast<__mmask8>(gt >> 8), c2, k2);
            d = _mm512_mask_add_epi64(d, static_cast<__mmask8>(lt), d, k);
            d2 = _mm512_mask_add_epi64(d2, static_cast<__mmask8>(lt >> 8), d2, k2);
        }
        for (int j = t; j < i; j += 16) {
            __mmask16 m = i - j >= 16 ? 0xffff : static_cast<__mmask16>((1u << (i - j)) - 1);
            __m512 p = _mm512_mul_ps(fi, _mm512_maskz_loadu_ps(m, f + j));
            w = _mm512_add_epi64(w, _mm512_cvttps_epu64(low_half(p)));
            w2 = _mm512_add_epi64(
                w2, _mm512_cvttps_epu64(high_half(p)));
        }
    }
    w = _mm512_add_epi64(w, w2);
    c = _mm512_add_epi64(c, c2);
    d = _mm512_add_epi64(d, d2);
    // Every lane and every total is below 2^64, so the lanes add exactly.
    alignas(64) std::uint64_t lw[8], lc[8], ld[8];
    _mm512_store_si512(lw, w);
    _mm512_store_si512(lc, c);
    _mm512_store_si512(ld, d);
    for (int l = 0; l < 8; ++l) {
        tot.w += lw[l];
        tot.t += static_cast<__int128>(lc[l]) - static_cast<__int128>(ld[l]);
    }
}

// Without a float-to-integer conversion of 64 bits, k (a whole number below
// 2^64) is split exactly into hi, a multiple of 2^32, and lo, |lo| <= 2^31:
// adding 1.5 * 2^84 rounds k to a multiple of 2^32. Up to 2^20 such parts
// add exactly in a double lane before the lanes are moved to the totals.
static const double split_big = 0x1.8p84;
static const int flush_after = 1 << 20;

static void add_lanes(const double* hi, const double* lo, int lanes, __int128& total) {
    for (int l = 0; l < lanes; ++l) total += static_cast<__int128>(hi[l]) + static_cast<__int128>(lo[l]);
}

__attribute__((target("avx2"))) static void exact_avx2(const float* fs, const float* f, const int* y,
                                                        const int* tie, int n, exact_totals& tot) {
    const __m256d big = _mm256_set1_pd(split_big);
    __m256d whi = _mm256_setzero_pd(), wlo = whi, thi = whi, tlo = whi;
    int count = 0;
    for (int i = 1; i < n; ++i) {
        if (count + i / 4 + 1 > flush_after) {
            alignas(32) double a[4], b[4];
            _mm256_store_pd(a, whi);
            _mm256_store_pd(b, wlo);
            add_lanes(a, b, 4, tot.w);
            _mm256_store_pd(a, thi);
            _mm256_store_pd(b, tlo);
            add_lanes(a, b, 4, tot.t);
            whi = wlo = thi = tlo = _mm256_setzero_pd();
            count = 0;
        }
        __m128 fi = _mm_set1_ps(fs[i]);
        __m128i yi = _mm_set1_epi32(y[i]);
        int t = tie[i], j = 0;
        for (; j + 4 <= t; j += 4, ++count) {
            __m256d k = _mm256_cvtps_pd(_mm_mul_ps(fi, _mm_loadu_ps(f + j)));
            __m256d hi = _mm256_sub_pd(_mm256_add_pd(k, big), big);
            __m256d lo = _mm256_sub_pd(k, hi);
            __m128i yj = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y + j));
            __m256d sg = _mm256_cvtepi32_pd(_mm_sub_epi32(_mm_cmpgt_epi32(yj, yi), _mm_cmpgt_epi32(yi, yj)));
            whi = _mm256_add_pd(whi, hi);
            wlo = _mm256_add_pd(wlo, lo);
            thi = _mm256_add_pd(thi, _mm256_mul_pd(hi, sg));
            tlo = _mm256_add_pd(tlo, _mm256_mul_pd(lo, sg));
        }
        scalar_row(fs[i], f, y, y[i], j, t, true, tot);
        for (j = t; j + 4 <= i; j += 4, ++count) {
            __m256d k = _mm256_cvtps_pd(_mm_mul_ps(fi, _mm_loadu_ps(f + j)));
            __m256d hi = _mm256_sub_pd(_mm256_add_pd(k, big), big);
            whi = _mm256_add_pd(whi, hi);
            wlo = _mm256_add_pd(wlo, _mm256_sub_pd(k, hi));
        }
        scalar_row(fs[i], f, y, y[i], j, i, false, tot);
    }
    alignas(32) double a[4], b[4];
    _mm256_store_pd(a, whi);
    _mm256_store_pd(b, wlo);
    add_lanes(a, b, 4, tot.w);
    _mm256_store_pd(a, thi);
    _mm256_store_pd(b, tlo);
    add_lanes(a, b, 4, tot.t);
}

// The two-lane exact sums of one weight vector, and their steps of two pairs.
struct sse2_sums {
    __m128d whi = _mm_setzero_pd(), wlo = whi, thi = whi, tlo = whi;
};

static inline void sse2_flush(sse2_sums& a, exact_totals& tot) {
    alignas(16) double h[2], l[2];
    _mm_store_pd(h, a.whi);
    _mm_store_pd(l, a.wlo);
    add_lanes(h, l, 2, tot.w);
    _mm_store_pd(h, a.thi);
    _mm_store_pd(l, a.tlo);
    add_lanes(h, l, 2, tot.t);
    a = sse2_sums();
}

// The pairs (i, j) and (i, j + 1): fi = f_i * 2^s in every lane, f = f + j,
// sg the two signs sgn(y_i - y_j).
static inline void sse2_signed_step(sse2_sums& a, __m128 fi, const float* f, __m128d sg) {
    const __m128d big = _mm_set1_pd(split_big);
    __m128 fj = _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(f)));
    __m128d k = _mm_cvtps_pd(_mm_mul_ps(fi, fj));
    __m128d hi = _mm_sub_pd(_mm_add_pd(k, big), big);
    __m128d lo = _mm_sub_pd(k, hi);
    a.whi = _mm_add_pd(a.whi, hi);
    a.wlo = _mm_add_pd(a.wlo, lo);
    a.thi = _mm_add_pd(a.thi, _mm_mul_pd(hi, sg));
    a.tlo = _mm_add_pd(a.tlo, _mm_mul_pd(lo, sg));
}

static inline void sse2_step(sse2_sums& a, __m128 fi, const float* f) {
    const __m128d big = _mm_set1_pd(split_big);
    __m128 fj = _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(f)));
    __m128d k = _mm_cvtps_pd(_mm_mul_ps(fi, fj));
    __m128d hi = _mm_sub_pd(_mm_add_pd(k, big), big);
    a.whi = _mm_add_pd(a.whi, hi);
    a.wlo = _mm_add_pd(a.wlo, _mm_sub_pd(k, hi));
}

static inline __m128d sse2_signs(__m128i yi, const int* y) {
    __m128i yj = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(y));
    return _mm_cvtepi32_pd(_mm_sub_epi32(_mm_cmpgt_epi32(yj, yi), _mm_cmpgt_epi32(yi, yj)));
}

static void exact_sse2(const float* fs, const float* f, const int* y, const int* tie, int n, exact_totals& tot) {
    sse2_sums a;
    int count = 0;
    for (int i = 1; i < n; ++i) {
        if (count + i / 2 + 1 > flush_after) {
            sse2_flush(a, tot);
            count = 0;
        }
        __m128 fi = _mm_set1_ps(fs[i]);
        __m128i yi = _mm_set1_epi32(y[i]);
        int t = tie[i], j = 0;
        for (; j + 2 <= t; j += 2, ++count) sse2_signed_step(a, fi, f + j, sse2_signs(yi, y + j));
        scalar_row(fs[i], f, y, y[i], j, t, true, tot);
        for (j = t; j + 2 <= i; j += 2, ++count) sse2_step(a, fi, f + j);
        scalar_row(fs[i], f, y, y[i], j, i, false, tot);
    }
    sse2_flush(a, tot);
}

// One weight vector's straightforward chains (a, in order, as
// sequential_pair_sums adds them) and the exact passes of two others (b and
// c, scaled by 2^sb and 2^sc, as exact_sse2 adds them) in one loop. Each add
// of a waits for the one before; the exact work fills those waits, so b and
// c cost little.
__attribute__((noinline)) static void sequential_with_exact(const float* a, const float* bs, const float* b,
                                                            const float* cs, const float* c, const int* y,
                                                            const int* tie, int n, long double& w_sum,
                                                            long double& t_sum, exact_totals& b_tot,
                                                            exact_totals& c_tot) {
    sse2_sums bsum, csum;
    long double w = 0, t = 0;
    int count = 0;
    for (int i = 1; i < n; ++i) {
        if (count + i / 2 + 1 > flush_after) {
            sse2_flush(bsum, b_tot);
            sse2_flush(csum, c_tot);
            count = 0;
        }
        float ai = a[i];
        int yi = y[i];
        __m128 bi = _mm_set1_ps(bs[i]), ci = _mm_set1_ps(cs[i]);
        __m128i vyi = _mm_set1_epi32(yi);
        int ti = tie[i], j = 0;
        for (; j + 2 <= ti; j += 2, ++count) {
            __m128d sg = sse2_signs(vyi, y + j);
            sse2_signed_step(bsum, bi, b + j, sg);
            sse2_signed_step(csum, ci, c + j, sg);
            float p = ai * a[j], q = ai * a[j + 1];
            w += p;
            t += p * static_cast<float>(sign_of(yi, y[j]));
            w += q;
            t += q * static_cast<float>(sign_of(yi, y[j + 1]));
        }
        if (j < ti) {
            scalar_row(bs[i], b, y, yi, j, ti, true, b_tot);
            scalar_row(cs[i], c, y, yi, j, ti, true, c_tot);
            float p = ai * a[j];
            w += p;
            t += p * static_cast<float>(sign_of(yi, y[j]));
        }
        for (j = ti; j + 2 <= i; j += 2, ++count) {
            sse2_step(bsum, bi, b + j);
            sse2_step(csum, ci, c + j);
            w += ai * a[j];
            w += ai * a[j + 1];
        }
        if (j < i) {
            scalar_row(bs[i], b, y, yi, j, i, false, b_tot);
            scalar_row(cs[i], c, y, yi, j, i, false, c_tot);
            w += ai * a[j];
        }
    }
    sse2_flush(bsum, b_tot);
    sse2_flush(csum, c_tot);
    w_sum = w;
    t_sum = t;
}

// Row by row, when the whole pass is not provably exact. The partial sums of
// one chain (W, or T) inside row i are acc + the terms of the row in order.
// If every partial sum of the row stays in the binade [2^e, 2^(e+1)) of acc
// (in magnitude, same sign), every value the chain takes is a multiple of
// G = 2^(e-63), and each add rounds acc + t to the nearest multiple of G.
// With K = acc / G a whole number, K + t/G rounds to K + RN(t/G) unless t/G
// lies exactly halfway between two whole numbers: then the even K wins, which
// depends on K. So a run of terms without such a tie adds exactly
// G * sum RN(t_j / G), whatever the order; the few blocks that hold a tie are
// added term by term, from the exact value the chain has there. A row that may
// leave the binade is added term by term as the straightforward pass does.

// Adds RN(k), k = fi_scaled * f[j] (times sgn(yi - y[j]) when signed), for j
// from `from` on, up to the first block of sixteen that holds a halfway k.
// Returns the start of that block, or count. fi_scaled = fi * 2^s exactly, so
// k = fl(fi * f[j]) * 2^s exactly: a float k of at least 2^23 is a whole
// number and converts as it is; only smaller ones are rounded, in double.
__attribute__((target("avx512f,avx512dq,avx512vl"))) static int row_terms_avx512(float fi_scaled, const float* f,
                                                                                  const int* y, int yi, int from,
                                                                                  int count, bool signed_terms,
                                                                                  long long& sum) {
    const __m512 vf = _mm512_set1_ps(fi_scaled);
    const __m512i vy = _mm512_set1_epi32(yi);
    const __m512 whole = _mm512_set1_ps(0x1p23f);
    const __m512d half = _mm512_set1_pd(0.5);
    const __m512d no_sign = _mm512_castsi512_pd(_mm512_set1_epi64(0x7fffffffffffffffLL));
    __m512i acc = _mm512_setzero_si512(), acc2 = acc;
    int j = from;
    for (; j < count; j += 16) {
        __mmask16 m = count - j >= 16 ? 0xffff : static_cast<__mmask16>((1u << (count - j)) - 1);
        __m512 k = _mm512_mul_ps(vf, _mm512_maskz_loadu_ps(m, f + j));
        __m256 lo = low_half(k);
        __m256 hi = high_half(k);
        __m512i n, n2;
        if (__builtin_expect(_mm512_mask_cmp_ps_mask(m, k, whole, _CMP_LT_OQ) == 0, 1)) {
            n = _mm512_cvtps_epi64(lo);
            n2 = _mm512_cvtps_epi64(hi);
        } else {
            __m512d d = _mm512_maskz_cvtps_pd(0xff, lo), d2 = _mm512_maskz_cvtps_pd(0xff, hi);
            n = _mm512_cvtpd_epi64(d);  // nearest, ties to even
            n2 = _mm512_cvtpd_epi64(d2);
            __m512d off = _mm512_and_pd(_mm512_sub_pd(d, _mm512_cvtepi64_pd(n)), no_sign);
            __m512d off2 = _mm512_and_pd(_mm512_sub_pd(d2, _mm512_cvtepi64_pd(n2)), no_sign);
            if ((_mm512_cmp_pd_mask(off, half, _CMP_EQ_OQ) | _mm512_cmp_pd_mask(off2, half, _CMP_EQ_OQ)) != 0) break;
        }
        if (signed_terms) {
            __m512i yj = _mm512_maskz_loadu_epi32(m, y + j);
            __mmask16 gt = _mm512_mask_cmpgt_epi32_mask(m, vy, yj), lt = _mm512_mask_cmpgt_epi32_mask(m, yj, vy);
            acc = _mm512_mask_add_epi64(acc, static_cast<__mmask8>(gt), acc, n);
            acc = _mm512_mask_sub_epi64(acc, static_cast<__mmask8>(lt), acc, n);
            acc2 = _mm512_mask_add_epi64(acc2, static_cast<__mmask8>(gt >> 8), acc2, n2);
            acc2 = _mm512_mask_sub_epi64(acc2, static_cast<__mmask8>(lt >> 8), acc2, n2);
        } else {
            acc = _mm512_add_epi64(acc, n);
            acc2 = _mm512_add_epi64(acc2, n2);
        }
    }
    acc = _mm512_add_epi64(acc, acc2);
    alignas(64) long long lanes[8];
    _mm512_store_si512(lanes, acc);
    sum = 0;
    for (long long v : lanes) sum += v;
    return j < count ? j : count;
}

// Kept out of line: inlined into a larger function, the long double accumulator
// is spilled to memory on every add.
__attribute__((noinline)) static long double sequential_row(long double acc, float fi, const float* f, int from,
                                                            int to) {
    for (int j = from; j < to; ++j) acc += fi * f[j];
    return acc;
}

__attribute__((noinline)) static long double sequential_signed_row(long double acc, float fi, const float* f,
                                                                   const int* y, int yi, int from, int to) {
    for (int j = from; j < to; ++j) acc += (fi * f[j]) * static_cast<float>(sign_of(yi, y[j]));
    return acc;
}

// Powers of two as doubles, built from their bits; e within the normal range.
static double pow2(int e) {
    std::uint64_t bits = static_cast<std::uint64_t>(e + 1023) << 52;
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

// The terms j in [from, to) added to acc, in blocks where that is provably
// exact and term by term around the halfway cases. False, with acc unchanged,
// when the partial sums may leave the binade of acc. The checks work on acc
// rounded to double, with margins far above that rounding.
static bool exact_range(long double& acc, float fi, const float* f, const int* y, int yi, int from, int to,
                        bool signed_terms, double bound) {
    double mag = std::fabs(static_cast<double>(acc));
    if (!(mag >= 0x1p-900 && mag <= 0x1p900)) return false;  // zero, or far outside what weights give
    int e = std::ilogb(mag);
    double low = pow2(e), high = 2 * low, g = pow2(e - 63);
    // Each rounding moves a partial sum by at most g / 2 beyond the exact terms.
    double reach = bound + (to - from + 2) * g;
    if (!(mag * (1 + 0x1p-50) + reach < high)) return false;
    if (!(mag * (1 - 0x1p-50) - (signed_terms ? reach : 0) > low)) return false;
    // fi * 2^(63 - e) must be a normal float for the products to scale exactly.
    double fi_scaled = fi * pow2(63 - e);
    if (!(fi_scaled >= 0x1p-100 && fi_scaled < 0x1p120)) return false;
    for (int j = from; j < to;) {
        long long sum;
        int stop = row_terms_avx512(static_cast<float>(fi_scaled), f, y, yi, j, to, signed_terms, sum);
        acc += static_cast<long double>(sum) * static_cast<long double>(g);
        if (stop == to) break;
        j = std::min(stop + 16, to);
        acc = signed_terms ? sequential_signed_row(acc, fi, f, y, yi, stop, j) : sequential_row(acc, fi, f, stop, j);
    }
    return true;
}

// A range that may leave the binade of acc (T near a power of two, or near
// zero) is halved until its parts stay inside one, or are short.
static void add_range(long double& acc, float fi, const float* f, const int* y, int yi, int from, int to,
                      bool signed_terms, const std::vector<double>& prefix) {
    if (from >= to) return;
    // The float products and the double prefix sums are covered by the margin.
    double bound = fi * ((prefix[to] - prefix[from]) + std::ldexp(prefix[to], -40)) * (1 + std::ldexp(1.0, -20));
    if (exact_range(acc, fi, f, y, yi, from, to, signed_terms, bound)) return;
    if (to - from <= 64) {
        acc = signed_terms ? sequential_signed_row(acc, fi, f, y, yi, from, to) : sequential_row(acc, fi, f, from, to);
        return;
    }
    int mid = from + (to - from) / 2;
    add_range(acc, fi, f, y, yi, from, mid, signed_terms, prefix);
    add_range(acc, fi, f, y, yi, mid, to, signed_terms, prefix);
}

bool rowwise_applies(const std::vector<float>& f) {
    if (!pair_path_supported(path_avx512)) return false;
    for (float v : f)
        if (!(v > 0) || !std::isfinite(v)) return false;
    return finite_products(f);
}

void rowwise_pair_sums(const std::vector<float>& f, const pair_layout& l, long double& w_sum, long double& t_sum) {
    std::size_t n = f.size();
    std::vector<double> prefix(n + 1, 0.0);
    for (std::size_t k = 0; k < n; ++k) prefix[k + 1] = prefix[k] + f[k];
    long double w = 0, t = 0;
    for (std::size_t i = 1; i < n; ++i) {
        float fi = f[i];
        int yi = l.y[i];
        add_range(w, fi, f.data(), l.y.data(), yi, 0, static_cast<int>(i), false, prefix);
        add_range(t, fi, f.data(), l.y.data(), yi, 0, l.tie_start[i], true, prefix);
    }
    w_sum = w;
    t_sum = t;
}

bool pair_path_supported(pair_path path) {
    __builtin_cpu_init();
    switch (path) {
    case path_avx512:
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
               __builtin_cpu_supports("avx512vl");
    case path_avx2: return __builtin_cpu_supports("avx2");
    case path_sse2: return true;
    }
    return false;
}

pair_path best_pair_path() {
    static const pair_path best = pair_path_supported(path_avx512) ? path_avx512
                                  : pair_path_supported(path_avx2) ? path_avx2
                                                                   : path_sse2;
    return best;
}

void exact_pair_sums(pair_path path, const std::vector<float>& f, const pair_layout& l, int s, long double& w_sum,
                     long double& t_sum) {
    std::vector<float> fs;
    scaled(f, s, fs);
    exact_totals tot;
    int n = static_cast<int>(f.size());
    if (path == path_avx512)
        exact_avx512(fs.data(), f.data(), l.y.data(), l.tie_start.data(), n, tot);
    else if (path == path_avx2)
        exact_avx2(fs.data(), f.data(), l.y.data(), l.tie_start.data(), n, tot);
    else
        exact_sse2(fs.data(), f.data(), l.y.data(), l.tie_start.data(), n, tot);
    // Both totals are whole numbers below 2^64: exact in long double.
    w_sum = std::ldexp(static_cast<long double>(tot.w), -s);
    t_sum = std::ldexp(static_cast<long double>(tot.t), -s);
}

void sequential_with_exact_pair_sums(const std::vector<float>& a, const std::vector<float>& b,
                                     const std::vector<float>& c, const pair_layout& l, int sb, int sc,
                                     long double& wa, long double& ta, long double& wb, long double& tb,
                                     long double& wc, long double& tc) {
    std::vector<float> bs, cs;
    scaled(b, sb, bs);
    scaled(c, sc, cs);
    exact_totals b_tot, c_tot;
    sequential_with_exact(a.data(), bs.data(), b.data(), cs.data(), c.data(), l.y.data(), l.tie_start.data(),
                          static_cast<int>(a.size()), wa, ta, b_tot, c_tot);
    wb = std::ldexp(static_cast<long double>(b_tot.w), -sb);
    tb = std::ldexp(static_cast<long double>(b_tot.t), -sb);
    wc = std::ldexp(static_cast<long double>(c_tot.w), -sc);
    tc = std::ldexp(static_cast<long double>(c_tot.t), -sc);
}

void pair_sums(pair_path path, const pair_layout& l, const std::vector<const std::vector<double>*>& weights,
               std::vector<long double>& w_sums, std::vector<long double>& t_sums) {
    std::size_t m = weights.size(), n = l.order.size();
    w_sums.assign(m, 0);
    t_sums.assign(m, 0);
    if (n < 2) return;
    std::vector<std::vector<float>> f(m);
    std::vector<int> shift(m);
    std::vector<std::size_t> exact, chains;
    for (std::size_t v = 0; v < m; ++v) {
        f[v].resize(n);
        for (std::size_t k = 0; k < n; ++k) f[v][k] = static_cast<float>((*weights[v])[l.order[k]]);
        shift[v] = exact_shift(f[v]);
        if (shift[v] >= 0)
            exact.push_back(v);
        else if (!finite_products(f[v]))
            literal_pair_sums(f[v], l, w_sums[v], t_sums[v]);
        else if (path == path_avx512 && rowwise_applies(f[v]))
            rowwise_pair_sums(f[v], l, w_sums[v], t_sums[v]);
        else
            chains.push_back(v);
    }
    std::size_t k = 0;
    for (; k + 1 < chains.size(); k += 2) {
        std::size_t a = chains[k], b = chains[k + 1];
        sequential_pair_sums2(f[a], f[b], l, w_sums[a], t_sums[a], w_sums[b], t_sums[b]);
    }
    if (k < chains.size() && !exact.empty()) {
        // One or two exact passes ride along with the last chain; with one,
        // it is passed twice and its second totals are dropped.
        std::size_t a = chains[k], b = exact.back();
        exact.pop_back();
        std::size_t c = exact.empty() ? b : exact.back();
        if (c != b) exact.pop_back();
        long double wc, tc;
        sequential_with_exact_pair_sums(f[a], f[b], f[c], l, shift[b], shift[c], w_sums[a], t_sums[a], w_sums[b],
                                        t_sums[b], wc, tc);
        w_sums[c] = wc;
        t_sums[c] = tc;
    } else if (k < chains.size()) {
        sequential_pair_sums(f[chains[k]], l, w_sums[chains[k]], t_sums[chains[k]]);
    }
    for (std::size_t v : exact) exact_pair_sums(path, f[v], l, shift[v], w_sums[v], t_sums[v]);
}

void pair_sums(const pair_layout& l, const std::vector<const std::vector<double>*>& weights,
               std::vector<long double>& w_sums, std::vector<long double>& t_sums) {
    pair_sums(best_pair_path(), l, weights, w_sums, t_sums);
}
