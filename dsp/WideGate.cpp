#include "dsp/WideGate.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "dsp/TruePeakTable.h"

namespace {

constexpr int kTaps = WideInterpolator::kTaps;

// Sum over i of weight[i] * x[i]^2, in eight independent sums so the additions do not wait on
// each other.
float WeightedSquaresPlain(const float* weight, const float* x) {
  float acc[8] = {};
  for (int i = 0; i < kTaps; i += 8)
    for (int k = 0; k < 8; ++k) acc[k] += weight[i + k] * x[i + k] * x[i + k];
  return ((acc[0] + acc[1]) + (acc[2] + acc[3])) + ((acc[4] + acc[5]) + (acc[6] + acc[7]));
}

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx2,fma"))) float WeightedSquaresAvx2(const float* weight, const float* x) {
  __m256 acc[2] = {_mm256_setzero_ps(), _mm256_setzero_ps()};
  for (int i = 0; i < kTaps; i += 16)
    for (int g = 0; g < 2; ++g) {
      const __m256 v = _mm256_loadu_ps(x + i + 8 * g);
      acc[g] = _mm256_fmadd_ps(_mm256_mul_ps(_mm256_load_ps(weight + i + 8 * g), v), v, acc[g]);
    }
  alignas(32) float lanes[8];
  _mm256_store_ps(lanes, _mm256_add_ps(acc[0], acc[1]));
  return ((lanes[0] + lanes[1]) + (lanes[2] + lanes[3])) + ((lanes[4] + lanes[5]) + (lanes[6] + lanes[7]));
}
#endif

using SquaresFn = float (*)(const float*, const float*);

// Constant-initialised to a first-call trampoline, as the interpolation kernels are.
float SelectAndSum(const float* weight, const float* x);
std::atomic<SquaresFn> gSquares{SelectAndSum};

float SelectAndSum(const float* weight, const float* x) {
  SquaresFn best = WeightedSquaresPlain;
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) best = WeightedSquaresAvx2;
#endif
  gSquares.store(best, std::memory_order_relaxed);
  return best(weight, x);
}

constexpr float kShortTolerance = 1.01f;
constexpr float kGuardReach = 4.0f;
constexpr float kTailSpreads = 5.0f;

}  // namespace

WideGate::WideGate() {
  const WideInterpolator& wide = WideInterpolator::Shared();
  const TruePeakTable& fullBand = TruePeakTable::DefaultCatcher();
  // Short tap m weighs the sample m before the newest of its 48, which sits at kShortOffset + 47.
  for (int i = 0; i < WideInterpolator::kTaps; ++i) {
    const int m = kShortOffset + TruePeakTable::kTaps - 1 - i;
    float largest = 0.0f;
    for (int k = 0; k < TruePeakTable::kPhases; ++k) {
      const float shortTap = m >= 0 && m < TruePeakTable::kTaps ? fullBand.Coefficient(k, m) : 0.0f;
      largest = std::max(largest, std::fabs(wide.Coefficient(k, i) - shortTap));
    }
    tapDifference_[i] = largest * largest;
  }
}

const WideGate& WideGate::Shared() {
  static const WideGate gate;
  return gate;
}

// The root of the summed squares of each sample times its largest tap difference.
float WideGate::TailSpread(const float* window) const {
  return std::sqrt(gSquares.load(std::memory_order_relaxed)(tapDifference_, window));
}

bool WideGate::MayExceed(float shortPeak, float guard, const float* window, float threshold) const {
  const float near = shortPeak * kShortTolerance + kGuardReach * guard;
  // The spread only adds: where the rest already passes, it need not be summed.
  return near > threshold || near + kTailSpreads * TailSpread(window) > threshold;
}
