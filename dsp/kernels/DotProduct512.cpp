#include "dsp/kernels/DotProduct512.h"

#include "dsp/kernels/DotProduct.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

// GCC 12's AVX-512 intrinsics warn of an uninitialised value of their own making.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#define ZARN_AVX512 __attribute__((target("avx512f,avx2,fma")))

namespace simd::avx512 {
namespace {

// The four-lane forms keep two chains of four lanes, for products i .. i + 3 and i + 4 .. i + 7
// of each eight; here one vector holds both, and its halves are added as those two chains are.
ZARN_AVX512 inline double Close(__m512d chains) {
  const __m256d acc = _mm256_add_pd(_mm512_castpd512_pd256(chains), _mm512_extractf64x4_pd(chains, 1));
  const __m128d pair = _mm_add_pd(_mm256_castpd256_pd128(acc), _mm256_extractf128_pd(acc, 1));
  return _mm_cvtsd_f64(_mm_add_sd(pair, _mm_unpackhi_pd(pair, pair)));
}

// Taps i .. i + 7 of the window at x, each added to its mirror.
ZARN_AVX512 inline __m512d MirroredEight(const double* x, int length, int i) {
  const __m512i reverse = _mm512_set_epi64(0, 1, 2, 3, 4, 5, 6, 7);
  return _mm512_add_pd(_mm512_loadu_pd(x + i), _mm512_permutexvar_pd(reverse, _mm512_loadu_pd(x + length - 8 - i)));
}

template <int kWindows>
ZARN_AVX512 inline void SymmetricDots(const double* half, const double* x, int length, int stride, double* out) {
  const int middle = (length - 1) / 2;
  __m512d acc[kWindows];
  for (int v = 0; v < kWindows; ++v) acc[v] = _mm512_setzero_pd();
  int i = 0;
  for (; i + 8 <= middle; i += 8) {
    const __m512d h = _mm512_loadu_pd(half + i);
    for (int v = 0; v < kWindows; ++v) acc[v] = _mm512_fmadd_pd(h, MirroredEight(x + v * stride, length, i), acc[v]);
  }
  for (int v = 0; v < kWindows; ++v) out[v] = tail::Symmetric(half, x + v * stride, i, length, Close(acc[v]));
}

// SymmetricDots<8> where the stride divides eight (the oversampled windows lie kStride points
// apart): window v's taps i .. i + 7 start at the line's point kStride v + i, and their mirror
// ends at its point kStride v - i from the far end. Windows 8 / kStride apart are one vector
// apart, so each step of eight taps shares seven of every eight near vectors, and of every eight
// reversed far ones, with the step before. They are carried over in registers, and each step
// loads and reverses kSets of each instead of eight: the same sums in the same order.
template <int kStride>
ZARN_AVX512 inline void SymmetricDotsCarried(const double* half, const double* x, int length, double* out) {
  constexpr int kSets = 8 / kStride, kPerSet = kStride;  // window v = set p + kSets * u
  const __m512i reverse = _mm512_set_epi64(0, 1, 2, 3, 4, 5, 6, 7);
  const double* far = x + length - 8;
  __m512d acc[8], near[kSets][kPerSet], mirror[kSets][kPerSet];
  for (int p = 0; p < kSets; ++p)
    for (int u = 0; u < kPerSet; ++u) {
      acc[p + kSets * u] = _mm512_setzero_pd();
      near[p][u] = _mm512_loadu_pd(x + kStride * p + 8 * u);
      mirror[p][u] = _mm512_permutexvar_pd(reverse, _mm512_loadu_pd(far + kStride * p + 8 * u));
    }
  const int middle = (length - 1) / 2;
  int i = 0;
  for (; i + 8 <= middle; i += 8) {
    const __m512d h = _mm512_loadu_pd(half + i);
    for (int p = 0; p < kSets; ++p)
      for (int u = 0; u < kPerSet; ++u)
        acc[p + kSets * u] = _mm512_fmadd_pd(h, _mm512_add_pd(near[p][u], mirror[p][u]), acc[p + kSets * u]);
    // On to taps i + 8 .. i + 15: a window's near vector is the next one's of its set now, its
    // far one the one's before.
    for (int p = 0; p < kSets; ++p) {
      for (int u = 0; u + 1 < kPerSet; ++u) near[p][u] = near[p][u + 1];
      near[p][kPerSet - 1] = _mm512_loadu_pd(x + kStride * p + 8 * kPerSet + i);
      for (int u = kPerSet - 1; u > 0; --u) mirror[p][u] = mirror[p][u - 1];
      mirror[p][0] = _mm512_permutexvar_pd(reverse, _mm512_loadu_pd(far + kStride * p - 8 - i));
    }
  }
  for (int v = 0; v < 8; ++v) out[v] = tail::Symmetric(half, x + kStride * v, i, length, Close(acc[v]));
}

template <int kWindows>
ZARN_AVX512 inline void Dots(const double* a, const double* b, int n, double* out) {
  __m512d acc[kWindows];
  for (int v = 0; v < kWindows; ++v) acc[v] = _mm512_setzero_pd();
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m512d ai = _mm512_loadu_pd(a + i);
    for (int v = 0; v < kWindows; ++v) acc[v] = _mm512_fmadd_pd(ai, _mm512_loadu_pd(b + v + i), acc[v]);
  }
  for (int v = 0; v < kWindows; ++v) out[v] = tail::Dot(a, b + v, i, n, Close(acc[v]));
}

}  // namespace

// Eight windows side by side where there are as many: eight chains keep both multiply-add units busy.
ZARN_AVX512 void SymmetricDots(const double* half, const double* x, int length, int stride, int count, double* out) {
  int j = 0;
  // (The carried vectors are loaded before the first step: only for windows that take one.)
  const bool carried = (length - 1) / 2 >= 8;
  if (carried && stride == 8)
    for (; j + 8 <= count; j += 8) SymmetricDotsCarried<8>(half, x + j * stride, length, out + j);
  if (carried && stride == 4)
    for (; j + 8 <= count; j += 8) SymmetricDotsCarried<4>(half, x + j * stride, length, out + j);
  for (; j + 8 <= count; j += 8) SymmetricDots<8>(half, x + j * stride, length, stride, out + j);
  for (; j + 4 <= count; j += 4) SymmetricDots<4>(half, x + j * stride, length, stride, out + j);
  for (; j < count; ++j) SymmetricDots<1>(half, x + j * stride, length, stride, out + j);
}

ZARN_AVX512 void Dots(const double* a, const double* b, int n, int count, double* out) {
  int j = 0;
  for (; j + 8 <= count; j += 8) Dots<8>(a, b + j, n, out + j);
  for (; j + 4 <= count; j += 4) Dots<4>(a, b + j, n, out + j);
  for (; j < count; ++j) Dots<1>(a, b + j, n, out + j);
}

// The eight phases in one vector, four chains (taps mod 4) as the four-lane form keeps them.
ZARN_AVX512 void Bank8(const double* bank, const double* x, int taps, double* out) {
  __m512d acc[4];
  for (__m512d& chain : acc) chain = _mm512_setzero_pd();
  int j = 0;
  for (; j + 4 <= taps; j += 4)
    for (int c = 0; c < 4; ++c)
      acc[c] = _mm512_fmadd_pd(_mm512_loadu_pd(bank + (j + c) * 8), _mm512_set1_pd(x[j + c]), acc[c]);
  for (; j < taps; ++j) acc[0] = _mm512_fmadd_pd(_mm512_loadu_pd(bank + j * 8), _mm512_set1_pd(x[j]), acc[0]);
  _mm512_storeu_pd(out, _mm512_add_pd(_mm512_add_pd(acc[0], acc[1]), _mm512_add_pd(acc[2], acc[3])));
}

// Bank8 of kWindows windows x, x + 1, ... together: each tap is loaded once for all of them, each
// sample once per group of four taps (tap j + c of window i reads sample j + c + i), and the
// windows' chains fill the time each waits on its multiply-adds. Each window keeps Bank8's four
// chains and its order.
template <int kWindows>
ZARN_AVX512 inline void Bank8Together(const double* bank, const double* x, int taps, double* out) {
  __m512d acc[kWindows][4];
  for (auto& window : acc)
    for (__m512d& chain : window) chain = _mm512_setzero_pd();
  int j = 0;
  for (; j + 4 <= taps; j += 4) {
    __m512d tap[4];
    for (int c = 0; c < 4; ++c) tap[c] = _mm512_loadu_pd(bank + (j + c) * 8);
    for (int m = 0; m < 4 + kWindows - 1; ++m) {
      const __m512d sample = _mm512_set1_pd(x[j + m]);
      for (int c = 0; c < 4; ++c) {
        const int i = m - c;
        if (i >= 0 && i < kWindows) acc[i][c] = _mm512_fmadd_pd(tap[c], sample, acc[i][c]);
      }
    }
  }
  for (; j < taps; ++j) {
    const __m512d tap = _mm512_loadu_pd(bank + j * 8);
    for (int i = 0; i < kWindows; ++i) acc[i][0] = _mm512_fmadd_pd(tap, _mm512_set1_pd(x[j + i]), acc[i][0]);
  }
  for (int i = 0; i < kWindows; ++i)
    _mm512_storeu_pd(out + 8 * i, _mm512_add_pd(_mm512_add_pd(acc[i][0], acc[i][1]), _mm512_add_pd(acc[i][2], acc[i][3])));
}

ZARN_AVX512 void Bank8Run(const double* bank, const double* x, int taps, int count, double* out) {
  int i = 0;
  for (; i + 4 <= count; i += 4) Bank8Together<4>(bank, x + i, taps, out + 8 * i);
  for (; i < count; ++i) Bank8(bank, x + i, taps, out + 8 * i);
}

}  // namespace simd::avx512

#else

namespace simd::avx512 {
void SymmetricDots(const double* half, const double* x, int length, int stride, int count, double* out) {
  for (int j = 0; j < count; ++j) out[j] = SymmetricDotProductScalar(half, x + j * stride, length);
}
void Dots(const double* a, const double* b, int n, int count, double* out) {
  for (int j = 0; j < count; ++j) out[j] = DotProductScalar(a, b + j, n);
}
void Bank8(const double* bank, const double* x, int taps, double* out) {
  BankDotProductsScalar(bank, x, taps, 8, out);
}
void Bank8Run(const double* bank, const double* x, int taps, int count, double* out) {
  for (int i = 0; i < count; ++i) BankDotProductsScalar(bank, x + i, taps, 8, out + 8 * i);
}
}  // namespace simd::avx512

#endif
