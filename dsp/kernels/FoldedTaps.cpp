#include "dsp/kernels/FoldedTaps.h"

#include "dsp/kernels/CpuDispatch.h"
#include "dsp/kernels/FoldedAvx2.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ZARN_X86 1
#endif

namespace {

#if ZARN_X86
template <int N>
__attribute__((target("avx2,fma"))) void FoldedAvx2(const FoldedTaps<N>& t, const float* x, float* y) {
  __m256 sum, diff;
  folded::SumsAndDifferences(t, x, folded::NewestEight<N>(x), sum, diff);
  _mm256_storeu_ps(y, _mm256_add_ps(sum, diff));
  _mm256_storeu_ps(y + 8, _mm256_permutevar8x32_ps(_mm256_sub_ps(sum, diff), folded::ReverseLanes()));
}

template <int N>
void FoldedSse2(const FoldedTaps<N>& t, const float* x, float* y) {
  constexpr int kHalf = N / 2;
  alignas(16) float a[kHalf], b[kHalf];
  for (int i = 0; i < kHalf; i += 4) {
    const __m128 near = _mm_loadu_ps(x + i);
    const __m128 far = _mm_shuffle_ps(_mm_loadu_ps(x + N - 4 - i), _mm_loadu_ps(x + N - 4 - i),
                                      _MM_SHUFFLE(0, 1, 2, 3));
    _mm_store_ps(a + i, _mm_add_ps(near, far));
    _mm_store_ps(b + i, _mm_sub_ps(near, far));
  }
  __m128 s[2][2], d[2][2];
  for (int g = 0; g < 2; ++g) s[g][0] = s[g][1] = d[g][0] = d[g][1] = _mm_setzero_ps();
  for (int i = 0; i < kHalf; i += 2)
    for (int g = 0; g < 2; ++g) {
      const __m128 ai = _mm_set1_ps(a[i + g]), bi = _mm_set1_ps(b[i + g]);
      for (int v = 0; v < 2; ++v) {
        s[g][v] = _mm_add_ps(s[g][v], _mm_mul_ps(_mm_load_ps(t.sum[i + g] + 4 * v), ai));
        d[g][v] = _mm_add_ps(d[g][v], _mm_mul_ps(_mm_load_ps(t.diff[i + g] + 4 * v), bi));
      }
    }
  for (int v = 0; v < 2; ++v) {
    const __m128 sum = _mm_add_ps(s[0][v], s[1][v]), diff = _mm_add_ps(d[0][v], d[1][v]);
    _mm_storeu_ps(y + 4 * v, _mm_add_ps(sum, diff));
    // Phases 15 - 4v .. 12 - 4v, written in rising order.
    _mm_storeu_ps(y + 12 - 4 * v, _mm_shuffle_ps(_mm_sub_ps(sum, diff), _mm_sub_ps(sum, diff),
                                                 _MM_SHUFFLE(0, 1, 2, 3)));
  }
}
#else
template <int N>
void FoldedSse2(const FoldedTaps<N>& t, const float* x, float* y) {
  float sum[8] = {}, diff[8] = {};
  for (int i = 0; i < N / 2; ++i) {
    const float a = x[i] + x[N - 1 - i], b = x[i] - x[N - 1 - i];
    for (int k = 0; k < 8; ++k) {
      sum[k] += t.sum[i][k] * a;
      diff[k] += t.diff[i][k] * b;
    }
  }
  for (int k = 0; k < 8; ++k) {
    y[k] = sum[k] + diff[k];
    y[15 - k] = sum[k] - diff[k];
  }
}
template <int N>
void FoldedAvx2(const FoldedTaps<N>& t, const float* x, float* y) { FoldedSse2(t, x, y); }
#endif

using Fn48 = void (*)(const FoldedTaps<48>&, const float*, float*);
using Fn256 = void (*)(const FoldedTaps<256>&, const float*, float*);
using Dispatch48 = cpu::Dispatch<Fn48, FoldedAvx2<48>, FoldedSse2<48>>;
using Dispatch256 = cpu::Dispatch<Fn256, FoldedAvx2<256>, FoldedSse2<256>>;

}  // namespace

namespace folded {

void Interpolate(const FoldedTaps<48>& taps, const float* window, float* y) {
  Dispatch48::Call(taps, window, y);
}
void Interpolate(const FoldedTaps<256>& taps, const float* window, float* y) {
  Dispatch256::Call(taps, window, y);
}
void InterpolateBaseline(const FoldedTaps<48>& taps, const float* window, float* y) {
  FoldedSse2(taps, window, y);
}
void InterpolateBaseline(const FoldedTaps<256>& taps, const float* window, float* y) {
  FoldedSse2(taps, window, y);
}

}  // namespace folded
