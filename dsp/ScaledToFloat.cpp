#include "dsp/ScaledToFloat.h"

#include <algorithm>

#include "dsp/CpuDispatch.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ZARN_X86 1
#endif

namespace simd {

void ScaledToFloatPlain(const double* x, double gain, int n, float* out) {
  for (int j = 0; j < n; ++j) out[j] = static_cast<float>(gain * x[j]);
}

namespace {

void CopyThenScaledPlain(const float* head, int m, const double* x, double gain, int n, float* out) {
  std::copy(head, head + m, out);
  ScaledToFloatPlain(x, gain, n, out + m);
}

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

__attribute__((target("avx2,fma"))) void CopyThenScaledAvx2(const float* head, int m, const double* x,
                                                            double gain, int n, float* out) {
  int j = 0;
  for (; j + 8 <= m; j += 8) _mm256_storeu_ps(out + j, _mm256_loadu_ps(head + j));
  for (; j < m; ++j) out[j] = head[j];
  ScaledToFloatAvx2(x, gain, n, out + m);
}

__attribute__((target("avx512f,avx2,fma"))) void CopyThenScaledAvx512(const float* head, int m, const double* x,
                                                                      double gain, int n, float* out) {
  int j = 0;
  for (; j + 16 <= m; j += 16) _mm512_storeu_ps(out + j, _mm512_loadu_ps(head + j));
  for (; j + 8 <= m; j += 8) _mm256_storeu_ps(out + j, _mm256_loadu_ps(head + j));
  for (; j < m; ++j) out[j] = head[j];
  ScaledToFloatAvx512(x, gain, n, out + m);
}
#else
void ScaledToFloatAvx2(const double* x, double gain, int n, float* out) { ScaledToFloatPlain(x, gain, n, out); }
void ScaledToFloatAvx512(const double* x, double gain, int n, float* out) { ScaledToFloatPlain(x, gain, n, out); }
void CopyThenScaledAvx2(const float* head, int m, const double* x, double gain, int n, float* out) {
  CopyThenScaledPlain(head, m, x, gain, n, out);
}
void CopyThenScaledAvx512(const float* head, int m, const double* x, double gain, int n, float* out) {
  CopyThenScaledPlain(head, m, x, gain, n, out);
}
#endif

using ScaledFn = void (*)(const double*, double, int, float*);
using Scaled = cpu::Dispatch<ScaledFn, ScaledToFloatAvx2, ScaledToFloatPlain, ScaledToFloatAvx512>;
using JoinFn = void (*)(const float*, int, const double*, double, int, float*);
using Join = cpu::Dispatch<JoinFn, CopyThenScaledAvx2, CopyThenScaledPlain, CopyThenScaledAvx512>;

}  // namespace

void ScaledToFloat(const double* x, double gain, int n, float* out) { Scaled::Call(x, gain, n, out); }

void CopyThenScaled(const float* head, int m, const double* x, double gain, int n, float* out) {
  Join::Call(head, m, x, gain, n, out);
}

}  // namespace simd
