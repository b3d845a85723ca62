// The row-by-row pass, for weights whose whole pass is not provably exact.
//
// The partial sums of one chain (W, or T) inside row i are acc + the terms
// t_j = fl(fi * f[j]) of the row in order.
//  1. Every partial sum of the row stays in the binade [2^e, 2^(e+1)) of acc
//     (in magnitude, same sign): checked in exact_range against the bound on
//     the terms from the prefix sums (add_range); ranges that fail are halved,
//     and short ones added term by term. Then every value the chain takes is
//     a multiple of G = 2^(e-63), and each add rounds acc + t to the nearest
//     multiple of G. With K = acc / G whole, K + t/G rounds to K + RN(t/G)
//     unless t/G lies exactly halfway between two whole numbers: then the
//     even K wins, which depends on K. So a run of terms without such a tie
//     adds exactly G * sum RN(t_j / G), whatever the order.
//  2. The halfway cases are found, not assumed away: row_terms_avx512 stops
//     at the first block of sixteen that holds one, and exact_range adds that
//     block term by term from the exact value the chain has there.
//  3. t_j / G is computed as k = fl(fi_scaled * f[j]), fi_scaled = fi 2^(63-e)
//     a normal float (checked in exact_range). k = t_j 2^(63-e) needs the
//     exact product fi * f[j] >= FLT_MIN: a subnormal t_j keeps fewer bits
//     than k. exact_range checks fi * (smallest weight before the range, from
//     the prefix minima) >= FLT_MIN, exact in double, or else e >= -61: then
//     G >= 2^-124, a subnormal t_j < 2^-126 <= G/4 leaves the chain unchanged,
//     and k <= 2^-2 rounds to 0 as well. A k below the normal range from a
//     normal t_j rounds to 0 the same way.
//  4. The products are finite and positive: rowwise_applies.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "stats/pair/pair_pass_internal.h"
#include "stats/pair/pair_simd.h"

// Adds RN(k), k = fi_scaled * f[j] (times sgn(yi - y[j]) when signed), for j
// from `from` on, up to the first block of sixteen that holds a halfway k.
// Returns the start of that block, or count. Where exact_range lets it run,
// RN(k) = RN(fl(fi * f[j]) * 2^s) (condition 3): a float k of at least 2^23 is a whole
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
                        bool signed_terms, double bound, float smallest) {
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
    // No product may be subnormal, unless G is so large that it adds nothing
    // either way. fi * smallest is exact in double (48 bits).
    if (!(static_cast<double>(fi) * smallest >= FLT_MIN || e >= -61)) return false;
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

// Sums and minima of the weights before each position: the bound on the
// terms of a range, and the smallest weight that range can hold.
struct prefixes {
    std::vector<double> sum;
    std::vector<float> low;
};

// A range that may leave the binade of acc (T near a power of two, or near
// zero) is halved until its parts stay inside one, or are short.
static void add_range(long double& acc, float fi, const float* f, const int* y, int yi, int from, int to,
                      bool signed_terms, const prefixes& pre) {
    if (from >= to) return;
    // The float products and the double prefix sums are covered by the margin.
    const std::vector<double>& sum = pre.sum;
    double bound = fi * ((sum[to] - sum[from]) + std::ldexp(sum[to], -40)) * (1 + std::ldexp(1.0, -20));
    if (exact_range(acc, fi, f, y, yi, from, to, signed_terms, bound, pre.low[to])) return;
    if (to - from <= 64) {
        acc = signed_terms ? sequential_signed_row(acc, fi, f, y, yi, from, to) : sequential_row(acc, fi, f, from, to);
        return;
    }
    int mid = from + (to - from) / 2;
    add_range(acc, fi, f, y, yi, from, mid, signed_terms, pre);
    add_range(acc, fi, f, y, yi, mid, to, signed_terms, pre);
}

bool rowwise_applies(const std::vector<float>& f) {
    if (!pair_path_supported(path_avx512)) return false;
    for (float v : f)
        if (!(v > 0) || !std::isfinite(v)) return false;
    return finite_products(f);
}

void rowwise_pair_sums(const std::vector<float>& f, const pair_layout& l, long double& w_sum, long double& t_sum) {
    std::size_t n = f.size();
    prefixes pre;
    pre.sum.assign(n + 1, 0.0);
    pre.low.assign(n + 1, INFINITY);
    for (std::size_t k = 0; k < n; ++k) {
        pre.sum[k + 1] = pre.sum[k] + f[k];
        pre.low[k + 1] = std::min(pre.low[k], f[k]);
    }
    long double w = 0, t = 0;
    for (std::size_t i = 1; i < n; ++i) {
        float fi = f[i];
        int yi = l.y[i];
        add_range(w, fi, f.data(), l.y.data(), yi, 0, static_cast<int>(i), false, pre);
        add_range(t, fi, f.data(), l.y.data(), yi, 0, l.tie_start[i], true, pre);
    }
    w_sum = w;
    t_sum = t;
}
