#pragma once

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

#include "dsp/FoldedTaps.h"

namespace folded {

inline __attribute__((target("avx2,fma"))) __m256i ReverseLanes() {
  return _mm256_set_epi32(0, 1, 2, 3, 4, 5, 6, 7);
}

// The folded sums for a window x of N samples, oldest first: phases 0..7 are sum + diff, phases
// 15..8 sum - diff. `newestEight` holds x[N-1] .. x[N-8] (the newest eight, newest first), so a
// caller may supply the newest sample from a register. Mirrored sums and differences eight at a
// time, then one tap of all 16 phases per vector multiply-add pair, in four independent chains
// so the additions do not wait on each other.
template <int N>
inline __attribute__((target("avx2,fma"))) void SumsAndDifferences(const FoldedTaps<N>& t, const float* x,
                                                                   __m256 newestEight, __m256& sum,
                                                                   __m256& diff) {
  constexpr int kHalf = N / 2;
  alignas(32) float a[kHalf], b[kHalf];
  for (int i = 0; i < kHalf; i += 8) {
    const __m256 near = _mm256_loadu_ps(x + i);
    const __m256 far =
        i == 0 ? newestEight : _mm256_permutevar8x32_ps(_mm256_loadu_ps(x + N - 8 - i), ReverseLanes());
    _mm256_store_ps(a + i, _mm256_add_ps(near, far));
    _mm256_store_ps(b + i, _mm256_sub_ps(near, far));
  }
  __m256 s[4], d[4];
  for (int g = 0; g < 4; ++g) s[g] = d[g] = _mm256_setzero_ps();
  for (int i = 0; i < kHalf; i += 4)
    for (int g = 0; g < 4; ++g) {
      s[g] = _mm256_fmadd_ps(_mm256_load_ps(t.sum[i + g]), _mm256_broadcast_ss(a + i + g), s[g]);
      d[g] = _mm256_fmadd_ps(_mm256_load_ps(t.diff[i + g]), _mm256_broadcast_ss(b + i + g), d[g]);
    }
  sum = _mm256_add_ps(_mm256_add_ps(s[0], s[1]), _mm256_add_ps(s[2], s[3]));
  diff = _mm256_add_ps(_mm256_add_ps(d[0], d[1]), _mm256_add_ps(d[2], d[3]));
}

template <int N>
inline __attribute__((target("avx2,fma"))) __m256 NewestEight(const float* x) {
  return _mm256_permutevar8x32_ps(_mm256_loadu_ps(x + N - 8), ReverseLanes());
}

}  // namespace folded

#endif
