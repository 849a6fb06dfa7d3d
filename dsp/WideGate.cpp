#include "dsp/WideGate.h"

#include <algorithm>
#include <cmath>

#include "dsp/TruePeakTable.h"

namespace {

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
  float sum = 0.0f;
  for (int i = 0; i < WideInterpolator::kTaps; ++i) sum += tapDifference_[i] * window[i] * window[i];
  return std::sqrt(sum);
}

bool WideGate::MayExceed(float shortPeak, float guard, const float* window, float threshold) const {
  return shortPeak * kShortTolerance + kGuardReach * guard + kTailSpreads * TailSpread(window) >
         threshold;
}
