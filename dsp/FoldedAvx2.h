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
// time; then, per group of four taps, one vector multiply-add for each pair of phases p and
// p + 4, whose lanes are four independent chains (tap mod 4) so the additions do not wait on each
// other; two horizontal additions close the chains as (0 + 1) + (2 + 3). A group's four samples
// are loaded once for the eight phases.
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
  for (int p = 0; p < 4; ++p) s[p] = d[p] = _mm256_setzero_ps();
  for (int g = 0; g < FoldedTaps<N>::kQuads; ++g) {
    const __m256 ag = _mm256_broadcast_ps(reinterpret_cast<const __m128*>(a + 4 * g));
    const __m256 bg = _mm256_broadcast_ps(reinterpret_cast<const __m128*>(b + 4 * g));
    for (int p = 0; p < 4; ++p) {
      s[p] = _mm256_fmadd_ps(_mm256_load_ps(t.sumQuads[g][p]), ag, s[p]);
      d[p] = _mm256_fmadd_ps(_mm256_load_ps(t.diffQuads[g][p]), bg, d[p]);
    }
  }
  // Lanes 0..3 of the first addition's halves: chains (0 + 1), (2 + 3) of phases p, p + 1; the
  // second gives phases 0..3 in the low half and 4..7 in the high one.
  sum = _mm256_hadd_ps(_mm256_hadd_ps(s[0], s[1]), _mm256_hadd_ps(s[2], s[3]));
  diff = _mm256_hadd_ps(_mm256_hadd_ps(d[0], d[1]), _mm256_hadd_ps(d[2], d[3]));
}

template <int N>
inline __attribute__((target("avx2,fma"))) __m256 NewestEight(const float* x) {
  return _mm256_permutevar8x32_ps(_mm256_loadu_ps(x + N - 8), ReverseLanes());
}

}  // namespace folded

#endif
