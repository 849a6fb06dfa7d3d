#pragma once

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

#include "dsp/kernels/FoldedTaps.h"

namespace folded {

// folded::SumsAndDifferences (FoldedAvx2.h) in sixteen-lane vectors: each vector holds a pair of
// phases' sums in its low half and their differences in its high half, so a group of four taps
// takes four multiply-adds instead of eight. Every lane runs the same chain as its eight-lane
// counterpart, in the same order, so the results are the same to the bit. Only the window's
// samples are read from memory (no newest eight from a register).
template <int N>
inline __attribute__((target("avx512f,avx2,fma"), always_inline)) void SumsAndDifferences512(
    const FoldedTaps<N>& t, const float* x, __m256& sum, __m256& diff) {
  // near + far in the low half, near - far in the high one: far times +1 or -1 is exact, so the
  // one rounding of the fused multiply-add is that of the addition or the subtraction.
  const __m512 signs = _mm512_set_ps(-1, -1, -1, -1, -1, -1, -1, -1, 1, 1, 1, 1, 1, 1, 1, 1);
  // (The masked forms with every lane set: GCC 12's unmasked ones warn of an uninitialised value.)
  const __m512 zero = _mm512_setzero_ps();
  constexpr __mmask16 kAll = 0xFFFF;
  __m512 chains[4];
  for (int p = 0; p < 4; ++p) chains[p] = zero;
  for (int g = 0; g < FoldedTaps<N>::kQuads; ++g) {
    const __m512 near = _mm512_mask_broadcast_f32x4(zero, kAll, _mm_loadu_ps(x + 4 * g));
    const __m512 mirror = _mm512_mask_broadcast_f32x4(zero, kAll, _mm_loadu_ps(x + N - 4 - 4 * g));
    const __m512 far = _mm512_mask_permute_ps(zero, kAll, mirror, _MM_SHUFFLE(0, 1, 2, 3));
    const __m512 mirrored = _mm512_fmadd_ps(far, signs, near);
    for (int p = 0; p < 4; ++p) chains[p] = _mm512_fmadd_ps(_mm512_load_ps(t.pairQuads[g][p]), mirrored, chains[p]);
  }
  __m256 s[4], d[4];
  for (int p = 0; p < 4; ++p) {
    const __m512d halves = _mm512_castps_pd(chains[p]);
    s[p] = _mm256_castpd_ps(_mm512_mask_extractf64x4_pd(_mm256_setzero_pd(), 0xFF, halves, 0));
    d[p] = _mm256_castpd_ps(_mm512_mask_extractf64x4_pd(_mm256_setzero_pd(), 0xFF, halves, 1));
  }
  // Closed as the eight-lane form closes its chains.
  sum = _mm256_hadd_ps(_mm256_hadd_ps(s[0], s[1]), _mm256_hadd_ps(s[2], s[3]));
  diff = _mm256_hadd_ps(_mm256_hadd_ps(d[0], d[1]), _mm256_hadd_ps(d[2], d[3]));
}

}  // namespace folded

#endif
