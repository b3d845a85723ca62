// The exact whole passes: every pair weight as a whole number, added in any
// order, on SSE2, AVX2 or AVX-512.
//
// When the order of the adds does not matter: let m1 <= m2 be the two
// smallest weights and pmin = fl(m1 * m2). Rounding is monotone, so every
// pair weight p >= pmin.
//  1. All weights positive and finite, at least two, fewer than 2^22:
//     checked at the top of exact_shift.
//  2. The exact product m1 * m2 >= FLT_MIN (checked in exact_shift, in double
//     where it is exact), so every product keeps 24 bits: then every float
//     p >= pmin is a whole multiple of g = ulp(pmin) = 2^-s (s from
//     exact_shift), and so is every partial sum of W and of T.
//  3. W < 2^64 g, checked in exact_shift against the bound
//     1/2 (sum f)^2 (1 + 2^-20) >= sum over pairs of f_i f_j (1 + 2^-24).
//     Then every partial sum, and |T| <= W, is a multiple of g below 2^64 g:
//     it fits the 64-bit significand of long double, so every add of the
//     straightforward pass is exact and W and T are the exact sums, whatever
//     the order.
//  4. The kernels add k = p * 2^s = fl(f_i 2^s * f_j) (scaled) as whole
//     numbers: scaling by a power of two commutes with rounding while every
//     product and scaled weight stays normal, by 2 and by the range checks on
//     top * 2^s and m1 * 2^s in exact_shift. k >= 2^23, so k is whole.
//  5. The whole numbers add without loss: 64-bit lanes and 128-bit totals
//     (exact_avx512, scalar_row), or double lanes of exact parts flushed
//     before they could round (split_big, flush_after, flush), and
//     exact_pair_sums scales the totals back by 2^-s.
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "stats/pair/pair_pass_internal.h"
#include "stats/pair/pair_simd.h"

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
        top = v > top ? v : top;  // fmax without the call: v is positive and finite here
        sum += v;
    }
    // The exact product (48 bits, exact in double), not its float: a product
    // just below the normal range can round up to FLT_MIN.
    if (!(static_cast<double>(m1) * m2 >= FLT_MIN)) return -1;
    float pmin = m1 * m2;
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

// f * 2^s, for the s of exact_shift: pmin is a normal float, so s lies in
// [-104, 149] and 2^s is a double; every f * 2^s lies between 2^-100 and
// 2^126, so the product in double is exact, as ldexp's, and a float.
static void scaled(const std::vector<float>& f, int s, std::vector<float>& out) {
    out.resize(f.size());
    const double scale = std::ldexp(1.0, s);
    for (std::size_t i = 0; i < f.size(); ++i) out[i] = static_cast<float>(static_cast<double>(f[i]) * scale);
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

// The W and T lanes of the SSE2 and the AVX2 pass, each sum split into its
// high and low parts.
struct sse2_sums {
    __m128d whi{}, wlo{}, thi{}, tlo{};
};
struct avx2_sums {
    __m256d whi{}, wlo{}, thi{}, tlo{};
};

// Moves every lane to the totals: the one flush of both passes, after each
// pass has stored its lanes. Every lane is a whole number held exactly (see
// split_big), so the casts are exact.
static inline void add_lanes(const double* whi, const double* wlo, const double* thi, const double* tlo, int lanes,
                             exact_totals& tot) {
    for (int l = 0; l < lanes; ++l) {
        tot.w += static_cast<__int128>(whi[l]) + static_cast<__int128>(wlo[l]);
        tot.t += static_cast<__int128>(thi[l]) + static_cast<__int128>(tlo[l]);
    }
}

// The lanes are stored straight from the sums (copying them through their
// addresses would keep them in memory through the whole pass), then cleared.
// The AVX2 store needs its own target, hence two small functions.
static inline void flush(sse2_sums& a, exact_totals& tot) {
    double whi[2], wlo[2], thi[2], tlo[2];
    _mm_storeu_pd(whi, a.whi);
    _mm_storeu_pd(wlo, a.wlo);
    _mm_storeu_pd(thi, a.thi);
    _mm_storeu_pd(tlo, a.tlo);
    add_lanes(whi, wlo, thi, tlo, 2, tot);
    a = sse2_sums();
}

__attribute__((target("avx2"))) static inline void flush(avx2_sums& a, exact_totals& tot) {
    double whi[4], wlo[4], thi[4], tlo[4];
    _mm256_storeu_pd(whi, a.whi);
    _mm256_storeu_pd(wlo, a.wlo);
    _mm256_storeu_pd(thi, a.thi);
    _mm256_storeu_pd(tlo, a.tlo);
    add_lanes(whi, wlo, thi, tlo, 4, tot);
    a = avx2_sums();
}

__attribute__((target("avx2"))) static void exact_avx2(const float* fs, const float* f, const int* y,
                                                        const int* tie, int n, exact_totals& tot) {
    const __m256d big = _mm256_set1_pd(split_big);
    avx2_sums a;
    int count = 0;
    for (int i = 1; i < n; ++i) {
        if (count + i / 4 + 1 > flush_after) {
            flush(a, tot);
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
            a.whi = _mm256_add_pd(a.whi, hi);
            a.wlo = _mm256_add_pd(a.wlo, lo);
            a.thi = _mm256_add_pd(a.thi, _mm256_mul_pd(hi, sg));
            a.tlo = _mm256_add_pd(a.tlo, _mm256_mul_pd(lo, sg));
        }
        scalar_row(fs[i], f, y, y[i], j, t, true, tot);
        for (j = t; j + 4 <= i; j += 4, ++count) {
            __m256d k = _mm256_cvtps_pd(_mm_mul_ps(fi, _mm_loadu_ps(f + j)));
            __m256d hi = _mm256_sub_pd(_mm256_add_pd(k, big), big);
            a.whi = _mm256_add_pd(a.whi, hi);
            a.wlo = _mm256_add_pd(a.wlo, _mm256_sub_pd(k, hi));
        }
        scalar_row(fs[i], f, y, y[i], j, i, false, tot);
    }
    flush(a, tot);
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
            flush(a, tot);
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
    flush(a, tot);
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
            flush(bsum, b_tot);
            flush(csum, c_tot);
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
    flush(bsum, b_tot);
    flush(csum, c_tot);
    w_sum = w;
    t_sum = t;
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
