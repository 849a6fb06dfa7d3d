#include "dsp/TruePeakKernel.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ZARN_X86 1
#endif

namespace truepeak {

namespace {

constexpr int kPhases = TruePeakTable::kPhases;
constexpr int kTaps = TruePeakTable::kTaps;
static_assert(kPhases == 16 && kTaps % 4 == 0);

#if ZARN_X86
// One tap of all 16 phases is two 8-float vectors; four groups of taps run in independent
// accumulators so the multiply-adds do not wait on each other.
__attribute__((target("avx2,fma"))) void InterpolateAvx2(const TruePeakTable& table,
                                                         const float* window, float* y) {
  __m256 lo[4], hi[4];
  for (int g = 0; g < 4; ++g) lo[g] = hi[g] = _mm256_setzero_ps();
  for (int m = 0; m < kTaps; m += 4) {
    for (int g = 0; g < 4; ++g) {
      const float* taps = table.tapMajor[m + g];
      const __m256 x = _mm256_broadcast_ss(window + (kTaps - 1 - m - g));
      lo[g] = _mm256_fmadd_ps(_mm256_load_ps(taps), x, lo[g]);
      hi[g] = _mm256_fmadd_ps(_mm256_load_ps(taps + 8), x, hi[g]);
    }
  }
  _mm256_storeu_ps(y, _mm256_add_ps(_mm256_add_ps(lo[0], lo[1]), _mm256_add_ps(lo[2], lo[3])));
  _mm256_storeu_ps(y + 8, _mm256_add_ps(_mm256_add_ps(hi[0], hi[1]), _mm256_add_ps(hi[2], hi[3])));
}

// With AVX-512 one tap of all 16 phases is a single vector.
__attribute__((target("avx512f"))) void InterpolateAvx512(const TruePeakTable& table,
                                                          const float* window, float* y) {
  __m512 acc[4];
  for (auto& a : acc) a = _mm512_setzero_ps();
  for (int m = 0; m < kTaps; m += 4) {
    for (int g = 0; g < 4; ++g) {
      const __m512 x = _mm512_set1_ps(window[kTaps - 1 - m - g]);
      acc[g] = _mm512_fmadd_ps(_mm512_load_ps(table.tapMajor[m + g]), x, acc[g]);
    }
  }
  _mm512_storeu_ps(y, _mm512_add_ps(_mm512_add_ps(acc[0], acc[1]), _mm512_add_ps(acc[2], acc[3])));
}

// SSE2 is the x86-64 baseline: four 4-float vectors per tap, two groups of taps.
void InterpolateSse2(const TruePeakTable& table, const float* window, float* y) {
  __m128 acc[2][4];
  for (auto& group : acc)
    for (auto& v : group) v = _mm_setzero_ps();
  for (int m = 0; m < kTaps; m += 2) {
    for (int g = 0; g < 2; ++g) {
      const float* taps = table.tapMajor[m + g];
      const __m128 x = _mm_set1_ps(window[kTaps - 1 - m - g]);
      for (int v = 0; v < 4; ++v)
        acc[g][v] = _mm_add_ps(acc[g][v], _mm_mul_ps(_mm_load_ps(taps + 4 * v), x));
    }
  }
  for (int v = 0; v < 4; ++v) _mm_storeu_ps(y + 4 * v, _mm_add_ps(acc[0][v], acc[1][v]));
}
#endif

std::vector<KernelVariant> DetectKernels() {
  std::vector<KernelVariant> kernels;
#if ZARN_X86
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f")) kernels.push_back({"avx512", InterpolateAvx512});
  if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma"))
    kernels.push_back({"avx2", InterpolateAvx2});
  kernels.push_back({"sse2", InterpolateSse2});
#endif
  kernels.push_back({"scalar", InterpolatePhasesScalar});
  return kernels;
}

InterpolateFn BestKernel() {
#if ZARN_X86
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f")) return InterpolateAvx512;
  if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) return InterpolateAvx2;
  return InterpolateSse2;
#else
  return InterpolatePhasesScalar;
#endif
}

// Constant-initialised to a first-call trampoline, so the choice needs neither a lock nor an
// allocation and works even during another file's static initialisation.
void SelectAndInterpolate(const TruePeakTable& table, const float* window, float* y);
std::atomic<InterpolateFn> gKernel{SelectAndInterpolate};

void SelectAndInterpolate(const TruePeakTable& table, const float* window, float* y) {
  const InterpolateFn best = BestKernel();
  gKernel.store(best, std::memory_order_relaxed);
  best(table, window, y);
}

}  // namespace

void InterpolatePhasesScalar(const TruePeakTable& table, const float* window, float* y) {
  for (int k = 0; k < kPhases; ++k) {
    float sum = 0.0f;
    for (int m = 0; m < kTaps; ++m) sum += table.Coefficient(k, m) * window[kTaps - 1 - m];
    y[k] = sum;
  }
}

const std::vector<KernelVariant>& AvailableKernels() {
  static const std::vector<KernelVariant> kernels = DetectKernels();
  return kernels;
}

void InterpolatePhases(const TruePeakTable& table, const float* window, float* y) {
  gKernel.load(std::memory_order_relaxed)(table, window, y);
}

namespace {

// Parabola through a local maximum c of |y| and its neighbours l and r.
float RefineLocalMaximum(float l, float c, float r, float a) {
  const float curvature = l - 2.0f * c + r;
  if (curvature >= -1e-12f) return a;
  const float delta = std::clamp((l - r) * 0.5f / curvature, -0.5f, 0.5f);
  return std::max(a, c - delta * (l - r) * 0.25f);
}

}  // namespace

float PeakOfPhases(const float* y, float a) {
  // Magnitudes between two infinite guards, so the end phases are never local maxima.
  constexpr float kGuard = std::numeric_limits<float>::infinity();
  alignas(16) float mag[kPhases + 4];
  mag[0] = mag[kPhases + 1] = kGuard;
  unsigned maxima = 0;
#if ZARN_X86
  const __m128 signMask = _mm_set1_ps(-0.0f);
  __m128 peak = _mm_set1_ps(a);
  for (int k = 0; k < kPhases; k += 4) {
    const __m128 m = _mm_andnot_ps(signMask, _mm_loadu_ps(y + k));
    _mm_storeu_ps(mag + 1 + k, m);
    peak = _mm_max_ps(peak, m);
  }
  peak = _mm_max_ps(peak, _mm_shuffle_ps(peak, peak, _MM_SHUFFLE(1, 0, 3, 2)));
  peak = _mm_max_ps(peak, _mm_shuffle_ps(peak, peak, _MM_SHUFFLE(2, 3, 0, 1)));
  a = _mm_cvtss_f32(peak);
  for (int k = 0; k < kPhases; k += 4) {
    const __m128 c = _mm_loadu_ps(mag + 1 + k);
    const __m128 isMax = _mm_and_ps(_mm_cmpge_ps(c, _mm_loadu_ps(mag + k)),
                                    _mm_cmpge_ps(c, _mm_loadu_ps(mag + 2 + k)));
    maxima |= static_cast<unsigned>(_mm_movemask_ps(isMax)) << k;
  }
#else
  for (int k = 0; k < kPhases; ++k) {
    mag[k + 1] = std::fabs(y[k]);
    a = std::max(a, mag[k + 1]);
  }
  for (int k = 1; k < kPhases - 1; ++k)
    maxima |= static_cast<unsigned>((mag[k + 1] >= mag[k]) & (mag[k + 1] >= mag[k + 2])) << k;
#endif
  while (maxima != 0) {
    const int k = __builtin_ctz(maxima);
    maxima &= maxima - 1;
    a = RefineLocalMaximum(mag[k], mag[k + 1], mag[k + 2], a);
  }
  return a;
}

float PeakOfPhasesScalar(const float* y, float a) {
  for (int k = 0; k < kPhases; ++k) a = std::max(a, std::fabs(y[k]));
  for (int k = 1; k < kPhases - 1; ++k) {
    const float l = std::fabs(y[k - 1]), c = std::fabs(y[k]), r = std::fabs(y[k + 1]);
    if (c >= l && c >= r) a = RefineLocalMaximum(l, c, r, a);
  }
  return a;
}

}  // namespace truepeak
