#pragma once
// What the vector kernels of the pair pass share. They are written for
// x86-64 only: the sums are defined in x87 long double (64-bit significand),
// and the kernels use SSE2, AVX2 and AVX-512 instructions.
#if !defined(__x86_64__)
#error "quorin's pair pass needs x86-64: x87 long double with a 64-bit significand, and SSE2/AVX2/AVX-512"
#endif

#include <immintrin.h>

// The two halves of sixteen floats. (GCC 12's plain casts warn of an
// uninitialized value inside its own headers.)
__attribute__((target("avx512f"))) static inline __m256 low_half(__m512 v) {
    return _mm256_castpd_ps(_mm512_maskz_extractf64x4_pd(0xff, _mm512_castps_pd(v), 0));
}
__attribute__((target("avx512f"))) static inline __m256 high_half(__m512 v) {
    return _mm256_castpd_ps(_mm512_maskz_extractf64x4_pd(0xff, _mm512_castps_pd(v), 1));
}
