#include "dsp/DotProduct.h"

#include <atomic>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ZARN_X86 1
#endif

namespace simd {

namespace {

using DotFn = double (*)(const double*, const double*, int);

#if ZARN_X86
__attribute__((target("avx512f"))) double DotAvx512(const double* a, const double* b, int n) {
  __m512d acc0 = _mm512_setzero_pd(), acc1 = _mm512_setzero_pd();
  int i = 0;
  for (; i + 16 <= n; i += 16) {
    acc0 = _mm512_fmadd_pd(_mm512_loadu_pd(a + i), _mm512_loadu_pd(b + i), acc0);
    acc1 = _mm512_fmadd_pd(_mm512_loadu_pd(a + i + 8), _mm512_loadu_pd(b + i + 8), acc1);
  }
  alignas(64) double lanes[8];
  _mm512_store_pd(lanes, _mm512_add_pd(acc0, acc1));
  double sum = ((lanes[0] + lanes[4]) + (lanes[1] + lanes[5])) + ((lanes[2] + lanes[6]) + (lanes[3] + lanes[7]));
  for (; i < n; ++i) sum += a[i] * b[i];
  return sum;
}

__attribute__((target("avx2,fma"))) double DotAvx2(const double* a, const double* b, int n) {
  __m256d acc0 = _mm256_setzero_pd(), acc1 = _mm256_setzero_pd();
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    acc0 = _mm256_fmadd_pd(_mm256_loadu_pd(a + i), _mm256_loadu_pd(b + i), acc0);
    acc1 = _mm256_fmadd_pd(_mm256_loadu_pd(a + i + 4), _mm256_loadu_pd(b + i + 4), acc1);
  }
  const __m256d acc = _mm256_add_pd(acc0, acc1);
  const __m128d pair = _mm_add_pd(_mm256_castpd256_pd128(acc), _mm256_extractf128_pd(acc, 1));
  double sum = _mm_cvtsd_f64(_mm_add_sd(pair, _mm_unpackhi_pd(pair, pair)));
  for (; i < n; ++i) sum += a[i] * b[i];
  return sum;
}

double DotSse2(const double* a, const double* b, int n) {
  __m128d acc0 = _mm_setzero_pd(), acc1 = _mm_setzero_pd();
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    acc0 = _mm_add_pd(acc0, _mm_mul_pd(_mm_loadu_pd(a + i), _mm_loadu_pd(b + i)));
    acc1 = _mm_add_pd(acc1, _mm_mul_pd(_mm_loadu_pd(a + i + 2), _mm_loadu_pd(b + i + 2)));
  }
  const __m128d acc = _mm_add_pd(acc0, acc1);
  double sum = _mm_cvtsd_f64(_mm_add_sd(acc, _mm_unpackhi_pd(acc, acc)));
  for (; i < n; ++i) sum += a[i] * b[i];
  return sum;
}
#endif

DotFn Best() {
#if ZARN_X86
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f")) return DotAvx512;
  if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) return DotAvx2;
  return DotSse2;
#else
  return DotProductScalar;
#endif
}

// Constant-initialised to a first-call trampoline: no lock, no allocation, safe at any time.
double SelectAndRun(const double* a, const double* b, int n);
std::atomic<DotFn> gDot{SelectAndRun};

double SelectAndRun(const double* a, const double* b, int n) {
  const DotFn best = Best();
  gDot.store(best, std::memory_order_relaxed);
  return best(a, b, n);
}

}  // namespace

double DotProductScalar(const double* a, const double* b, int n) {
  double sum = 0.0;
  for (int i = 0; i < n; ++i) sum += a[i] * b[i];
  return sum;
}

double DotProduct(const double* a, const double* b, int n) {
  return gDot.load(std::memory_order_relaxed)(a, b, n);
}

}  // namespace simd
