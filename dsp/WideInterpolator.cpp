#include "dsp/WideInterpolator.h"

#include <atomic>
#include <cmath>
#include <numbers>

#include "dsp/Kaiser.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ZARN_X86 1
#endif

namespace {

constexpr int kPhases = WideInterpolator::kPhases;
constexpr int kTaps = WideInterpolator::kTaps;
constexpr double kHalfLength = kTaps / 2;
// A low beta keeps the transition band narrow (about 1 % of the sample rate), close to what a
// reference reconstruction with hundreds of zero crossings sees near the Nyquist frequency.
constexpr double kKaiserBeta = 4.0;

using Kernel = void (*)(const float (*taps)[kPhases], const float* window, float* y);

void ScalarKernel(const float (*taps)[kPhases], const float* window, float* y) {
  for (int k = 0; k < kPhases; ++k) {
    float sum = 0.0f;
    for (int i = 0; i < kTaps; ++i) sum += taps[i][k] * window[i];
    y[k] = sum;
  }
}

#if ZARN_X86
__attribute__((target("avx2,fma"))) void Avx2Kernel(const float (*taps)[kPhases], const float* window,
                                                     float* y) {
  __m256 lo[2] = {_mm256_setzero_ps(), _mm256_setzero_ps()};
  __m256 hi[2] = {_mm256_setzero_ps(), _mm256_setzero_ps()};
  for (int i = 0; i < kTaps; i += 2) {
    for (int g = 0; g < 2; ++g) {
      const __m256 x = _mm256_broadcast_ss(window + i + g);
      lo[g] = _mm256_fmadd_ps(_mm256_load_ps(taps[i + g]), x, lo[g]);
      hi[g] = _mm256_fmadd_ps(_mm256_load_ps(taps[i + g] + 8), x, hi[g]);
    }
  }
  _mm256_storeu_ps(y, _mm256_add_ps(lo[0], lo[1]));
  _mm256_storeu_ps(y + 8, _mm256_add_ps(hi[0], hi[1]));
}

void Sse2Kernel(const float (*taps)[kPhases], const float* window, float* y) {
  __m128 acc[4] = {_mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps()};
  for (int i = 0; i < kTaps; ++i) {
    const __m128 x = _mm_set1_ps(window[i]);
    for (int v = 0; v < 4; ++v) acc[v] = _mm_add_ps(acc[v], _mm_mul_ps(_mm_load_ps(taps[i] + 4 * v), x));
  }
  for (int v = 0; v < 4; ++v) _mm_storeu_ps(y + 4 * v, acc[v]);
}
#endif

Kernel BestKernel() {
#if ZARN_X86
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) return Avx2Kernel;
  return Sse2Kernel;
#else
  return ScalarKernel;
#endif
}

// Constant-initialised to a first-call trampoline: the choice needs no lock, and works even
// during another file's static initialisation.
void SelectAndRun(const float (*taps)[kPhases], const float* window, float* y);
std::atomic<Kernel> gKernel{SelectAndRun};

void SelectAndRun(const float (*taps)[kPhases], const float* window, float* y) {
  const Kernel best = BestKernel();
  gKernel.store(best, std::memory_order_relaxed);
  best(taps, window, y);
}

}  // namespace

WideInterpolator::WideInterpolator() {
  for (int k = 0; k < kPhases; ++k) {
    const double point = kCentre + (k + 0.5) / kPhases;
    double taps[kTaps], sum = 0.0;
    for (int i = 0; i < kTaps; ++i) {
      const double d = point - i;
      const double sinc = std::sin(std::numbers::pi * d) / (std::numbers::pi * d);
      taps[i] = sinc * kaiser::Window(d, kHalfLength, kKaiserBeta);
      sum += taps[i];
    }
    // Unity gain at DC for every phase, so a slow signal reads its own level.
    for (int i = 0; i < kTaps; ++i) tapMajor_[i][k] = static_cast<float>(taps[i] / sum);
  }
}

const WideInterpolator& WideInterpolator::Shared() {
  static const WideInterpolator interpolator;
  return interpolator;
}

void WideInterpolator::Interpolate(const float* window, float* y) const {
  gKernel.load(std::memory_order_relaxed)(tapMajor_, window, y);
}

void WideInterpolator::InterpolateScalar(const float* window, float* y) const {
  ScalarKernel(tapMajor_, window, y);
}
