#include "dsp/kernels/ScaledToFloat.h"

#include "dsp/kernels/CpuDispatch.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ZARN_X86 1
#endif

namespace simd {

void ScaledToFloatPlain(const double* x, double gain, int n, float* out) {
  for (int j = 0; j < n; ++j) out[j] = static_cast<float>(gain * x[j]);
}

namespace {

#if ZARN_X86
__attribute__((target("avx2,fma"))) void ScaledToFloatAvx2(const double* x, double gain, int n, float* out) {
  const __m256d g = _mm256_set1_pd(gain);
  int j = 0;
  for (; j + 4 <= n; j += 4) _mm_storeu_ps(out + j, _mm256_cvtpd_ps(_mm256_mul_pd(g, _mm256_loadu_pd(x + j))));
  ScaledToFloatPlain(x + j, gain, n - j, out + j);
}

__attribute__((target("avx512f,avx2,fma"))) void ScaledToFloatAvx512(const double* x, double gain, int n,
                                                                     float* out) {
  const __m512d g = _mm512_set1_pd(gain);
  // (The masked conversion with every lane set: GCC 12's unmasked one warns of an uninitialised value.)
  int j = 0;
  for (; j + 8 <= n; j += 8) _mm256_storeu_ps(out + j, _mm512_mask_cvtpd_ps(_mm256_setzero_ps(), 0xFF, _mm512_mul_pd(g, _mm512_loadu_pd(x + j))));
  ScaledToFloatAvx2(x + j, gain, n - j, out + j);
}
#else
void ScaledToFloatAvx2(const double* x, double gain, int n, float* out) { ScaledToFloatPlain(x, gain, n, out); }
void ScaledToFloatAvx512(const double* x, double gain, int n, float* out) { ScaledToFloatPlain(x, gain, n, out); }
#endif

using ScaledFn = void (*)(const double*, double, int, float*);
using Scaled = cpu::Dispatch<ScaledFn, ScaledToFloatAvx2, ScaledToFloatPlain, ScaledToFloatAvx512>;

}  // namespace

void ScaledToFloat(const double* x, double gain, int n, float* out) { Scaled::Call(x, gain, n, out); }

}  // namespace simd
