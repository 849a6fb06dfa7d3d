#include "dsp/WideInterpolator.h"

#include <cmath>
#include <numbers>

#include "dsp/kernels/CpuDispatch.h"
#include "dsp/kernels/Kaiser.h"
#include "dsp/kernels/SixteenWindows.h"
#include "dsp/kernels/TruePeakKernel.h"

namespace {

constexpr int kTaps = WideInterpolator::kTaps;
constexpr double kHalfLength = kTaps / 2;
// A low beta keeps the transition band narrow (about 1 % of the sample rate), close to what a
// reference reconstruction with hundreds of zero crossings sees near the Nyquist frequency.
constexpr double kKaiserBeta = 4.0;

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
  folded_.Fold([this](int k, int i) { return static_cast<double>(tapMajor_[i][k]); });
}

const WideInterpolator& WideInterpolator::Shared() {
  static const WideInterpolator interpolator;
  return interpolator;
}

void WideInterpolator::Interpolate(const float* window, float* y) const {
  folded::Interpolate(folded_, window, y);
}

float WideInterpolator::Peak(const float* window, float a, float floor, float* y) const {
  return truepeak::InterpolatedPeak(folded_, window, a, floor, y);
}

int WideInterpolator::SixteensOfPeaks(const float* known, const double* ahead, const double* gains, int count,
                                      float* peaks) const {
  static_assert(kKnownPart == truepeak::kWideKnown);
  return ReadsSixteensAtOnce() ? truepeak::SixteenWidePeaks(folded_, known, ahead, gains, count, peaks) : 0;
}

bool WideInterpolator::ReadsSixteensAtOnce() { return cpu::HasAvx512(); }

WideInterpolator::Stretch WideInterpolator::StretchOf(int i, int count) {
  const int sixtyFours = count / 64 * 64;
  if (i < sixtyFours) return {i / 64 * 64, 64};
  const int sixteens = sixtyFours + (count - sixtyFours) / 16 * 16;
  if (i < sixteens) return {sixtyFours + (i - sixtyFours) / 16 * 16, 16};
  return {i, 0};
}

int WideInterpolator::SixteensOfPeaks(const float* line, int count, float* peaks) const {
  return ReadsSixteensAtOnce() ? truepeak::SixteenWidePeaks(folded_, line, count, peaks) : 0;
}

void WideInterpolator::InterpolateScalar(const float* window, float* y) const {
  for (int k = 0; k < kPhases; ++k) {
    float sum = 0.0f;
    for (int i = 0; i < kTaps; ++i) sum += tapMajor_[i][k] * window[i];
    y[k] = sum;
  }
}
