#include "dsp/PeakCatcher.h"

#include <algorithm>
#include <iterator>
#include <cmath>
#include <numbers>

#include "dsp/TruePeakKernel.h"

namespace {
// Ring positions wrap by masking; correct for the negative offsets below too.
constexpr int kMask = 127;
}  // namespace

void PeakCatcher::Prepare(double sampleRate) {
  // A dip lowers the neighbours of a peak less than the peak itself, so it over-corrects; less so
  // at high rates, where the peak is better resolved.
  factor_ = static_cast<float>(
      std::max(1.0, 1.3 - 0.15 * std::max(0.0, std::log2(sampleRate / 48000.0))));
  for (int m = 0; m < kWindow; ++m)
    hann_[m] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * m / 48.0));
  Reset();
}

void PeakCatcher::Reset() {
  std::fill(std::begin(sig_), std::end(sig_), 0.0f);
  std::fill(std::begin(gain_), std::end(gain_), 1.0f);
  std::fill(std::begin(product_), std::end(product_), 0.0f);
  q_ = 0;
}

float PeakCatcher::TruePeakOfProducts() const {
  const float* window = product_ + ((q_ - (TruePeakTable::kTaps - 1)) & kMask);  // oldest first
  float y[TruePeakTable::kPhases];
  truepeak::InterpolatePhases(*table_, window, y);
  return truepeak::PeakOfPhases(y, 0.0f);
}

double PeakCatcher::Process(double a, float ceilLin) {
  sig_[q_] = std::isfinite(a) ? static_cast<float>(a) : 0.0f;
  gain_[q_] = 1.0f;
  SetProduct(q_);
  for (int pass = 0; pass < kMaxPasses; ++pass) {
    const float p = TruePeakOfProducts();
    if (p <= ceilLin || p < 1e-12f) break;
    const float depth = std::min(0.95f, (1.0f - ceilLin / p) * factor_);
    // The dip spans the sample leaving now (m = 0) to the newest (m = 48), centred 24 back.
    for (int m = 0; m < kWindow; ++m) {
      const int j = (q_ - kDelay + m) & kMask;
      gain_[j] *= 1.0f - depth * hann_[m];
      SetProduct(j);
    }
  }
  const int out = (q_ - kDelay) & kMask;
  const double result = static_cast<double>(gain_[out]) * static_cast<double>(sig_[out]);
  q_ = (q_ + 1) & kMask;
  return result;
}
