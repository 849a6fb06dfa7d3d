#pragma once

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

#include "dsp/kernels/FoldedTaps.h"

namespace folded {

inline __attribute__((target("avx2,fma"))) __m256i ReverseLanes() {
  return _mm256_set_epi32(0, 1, 2, 3, 4, 5, 6, 7);
}

// Group g's sums ag and differences bg (its four mirrored sums and differences, in both halves)
// added into the chains of every phase.
template <int N>
inline __attribute__((target("avx2,fma"))) void AddGroup(const FoldedTaps<N>& t, int g, __m256 ag, __m256 bg,
                                                         __m256* s, __m256* d) {
  for (int p = 0; p < 4; ++p) {
    s[p] = _mm256_fmadd_ps(_mm256_load_ps(t.sumQuads[g][p]), ag, s[p]);
    d[p] = _mm256_fmadd_ps(_mm256_load_ps(t.diffQuads[g][p]), bg, d[p]);
  }
}

// Group g of a window x: its samples x[4g .. 4g + 3] and their mirrors x[N - 1 - 4g] ..
// x[N - 4 - 4g] (`far`, given) summed and differenced.
template <int N>
inline __attribute__((target("avx2,fma"))) void AddGroup(const FoldedTaps<N>& t, const float* x, int g, __m128 far,
                                                         __m256* s, __m256* d) {
  const __m128 near = _mm_loadu_ps(x + 4 * g);
  const __m128 a4 = _mm_add_ps(near, far), b4 = _mm_sub_ps(near, far);
  AddGroup(t, g, _mm256_set_m128(a4, a4), _mm256_set_m128(b4, b4), s, d);
}

// The same with the mirrors read from x too: both fours loaded straight into both halves (a load
// each, where building the halves in registers took two more shuffles), the mirrors reversed in
// place.
template <int N>
inline __attribute__((target("avx2,fma"))) void AddGroup(const FoldedTaps<N>& t, const float* x, int g, __m256* s,
                                                         __m256* d) {
  const __m256 near = _mm256_broadcast_ps(reinterpret_cast<const __m128*>(x + 4 * g));
  const __m256 mirrored = _mm256_broadcast_ps(reinterpret_cast<const __m128*>(x + N - 4 - 4 * g));
  const __m256 far = _mm256_permute_ps(mirrored, _MM_SHUFFLE(0, 1, 2, 3));
  AddGroup(t, g, _mm256_add_ps(near, far), _mm256_sub_ps(near, far), s, d);
}

// The folded sums for a window x of N samples, oldest first: phases 0..7 are sum + diff, phases
// 15..8 sum - diff. `newestEight` holds x[N-1] .. x[N-8] (the newest eight, newest first), so a
// caller may supply the newest sample from a register. Per group of four taps, the mirrored sums
// and differences of its four samples (made in registers, not stored and loaded back), then one
// vector multiply-add for each pair of phases p and p + 4, whose lanes are four independent chains
// (tap mod 4) so the additions do not wait on each other; two horizontal additions close the
// chains as (0 + 1) + (2 + 3). A group's four samples are loaded once for the eight phases.
template <int N>
inline __attribute__((target("avx2,fma"))) void SumsAndDifferences(const FoldedTaps<N>& t, const float* x,
                                                                   __m256 newestEight, __m256& sum,
                                                                   __m256& diff) {
  __m256 s[4], d[4];
  for (int p = 0; p < 4; ++p) s[p] = d[p] = _mm256_setzero_ps();
  AddGroup(t, x, 0, _mm256_castps256_ps128(newestEight), s, d);
  AddGroup(t, x, 1, _mm256_extractf128_ps(newestEight, 1), s, d);
  for (int g = 2; g < FoldedTaps<N>::kQuads; ++g) AddGroup(t, x, g, s, d);
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
