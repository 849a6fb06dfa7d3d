#include "dsp/PeakCatcher.h"

#include <algorithm>
#include <iterator>
#include <cmath>
#include <numbers>

#include "dsp/Kaiser.h"
#include "dsp/TruePeakKernel.h"

namespace {

// Ring positions wrap by masking; correct for the negative offsets below too.
constexpr int kMask = 127;

// The guard's highpass: half of (identity - lowpass at 0.455 of the sample rate), 39 taps,
// Kaiser beta 5. Its gain stays above the interpolator's shortfall at every frequency (0.5 at
// Nyquist, 0.3 at 0.46, 0.04 at 0.43) and is negligible below 0.42.
constexpr int kGuardTaps = 39;
constexpr int kGuardCentre = (kGuardTaps - 1) / 2;
// Positions of the guard's magnitudes around the interval being checked, 24 samples back.
constexpr int kGuardNewest = kGuardCentre;
constexpr int kGuardOldest = 28;
// Below this share of the estimate the guard is taken for the highpass's leakage of lower
// content (at most 8e-4) and ignored, so signals at the ceiling pass untouched; near-Nyquist
// content that small cannot move the estimate by more than 0.02 dB.
constexpr float kGuardDeadband = 2e-3f;
// A dip aimed exactly at the ceiling lands a rounding error either side of it; aim a hair under.
constexpr float kExactAim = 0.9995f;

struct GuardTaps {
  alignas(32) float taps[kGuardTaps + 1] = {};  // one zero tap of padding

  GuardTaps() {
    constexpr double kCutoff = 0.455, kBeta = 5.0;
    double lowpass[kGuardTaps], sum = 0.0;
    for (int n = 0; n < kGuardTaps; ++n) {
      const double t = n - kGuardCentre;
      const double window = kaiser::Window(t, kGuardCentre + 1, kBeta);
      const double sinc = t == 0.0 ? 2.0 * kCutoff
                                   : std::sin(2.0 * std::numbers::pi * kCutoff * t) /
                                         (std::numbers::pi * t);
      lowpass[n] = sinc * window;
      sum += lowpass[n];
    }
    for (int n = 0; n < kGuardTaps; ++n)
      taps[n] = static_cast<float>((n == kGuardCentre ? 0.5 : 0.0) - 0.5 * lowpass[n] / sum);
  }
};

const float* DesignGuardTaps() {
  static const GuardTaps guard;
  return guard.taps;
}

}  // namespace

PeakCatcher::PeakCatcher()
    : guardTaps_(DesignGuardTaps()), table_(&TruePeakTable::DefaultCatcher()) {}

void PeakCatcher::Prepare(double sampleRate) {
  // A dip lowers the neighbours of a peak less than the peak itself, so it over-corrects; less so
  // at high rates, where the peak is better resolved.
  factor_ = static_cast<float>(
      std::max(1.0, 1.3 - 0.15 * std::max(0.0, std::log2(sampleRate / 48000.0))));
  for (int m = 0; m < kWindow; ++m)
    hann_[m] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * m / 48.0));
  // Phase k interpolates the point (k + 0.5) / 16 of a sample from the nearer centre sample.
  for (int k = 0; k < TruePeakTable::kPhases; ++k)
    guardShape_[k] = static_cast<float>(std::sin(std::numbers::pi * (k + 0.5) / TruePeakTable::kPhases));
  Reset();
}

void PeakCatcher::Reset() {
  std::fill(std::begin(sig_), std::end(sig_), 0.0f);
  std::fill(std::begin(gain_), std::end(gain_), 1.0f);
  std::fill(std::begin(product_), std::end(product_), 0.0f);
  std::fill(std::begin(sigTwice_), std::end(sigTwice_), 0.0f);
  std::fill(std::begin(guardMagnitude_), std::end(guardMagnitude_), 0.0f);
  q_ = 0;
}

float PeakCatcher::TruePeakOfProducts(float* y) const {
  truepeak::InterpolatePhases(*table_, NewestProducts(), y);
  return truepeak::PeakOfPhases(y, 0.0f);
}

int PeakCatcher::LoudestPhase(const float* y) {
  int loudest = 0;
  for (int k = 1; k < TruePeakTable::kPhases; ++k)
    if (std::fabs(y[k]) > std::fabs(y[loudest])) loudest = k;
  return loudest;
}

// The interpolator's shortfall vanishes at the samples themselves and is largest half way
// between them, so the guard is added in that proportion: a click, whose peak is its own sample,
// is not taken for louder than it is.
// Also moves `phase` to the point that gives the guarded peak.
float PeakCatcher::GuardedPeak(const float* y, float peak, float guard, int& phase) const {
  float guarded = peak + guard * guardShape_[phase];
  for (int k = 0; k < TruePeakTable::kPhases; ++k) {
    const float candidate = std::fabs(y[k]) + guard * guardShape_[k];
    if (candidate > guarded) {
      guarded = candidate;
      phase = k;
    }
  }
  return guarded;
}

// How much a dip of full depth would lower the interpolated point of this phase: its taps weighted by
// the window. A dip of depth d lowers that point from y to y - d * share, exactly.
float PeakCatcher::DipShare(const float* y, int phase) const {
  const float* window = NewestProducts();
  float share = 0.0f;
  // Tap m weighs the product m samples back from the newest, which the dip scales by hann[48 - m].
  for (int m = 0; m < TruePeakTable::kTaps; ++m)
    share += table_->Coefficient(phase, m) * window[TruePeakTable::kTaps - 1 - m] * hann_[kWindow - 1 - m];
  // Of the same sign as the point, or the dip would not lower it.
  return share * y[phase] > 0.0f ? std::fabs(share) : 0.0f;
}

float PeakCatcher::NyquistGuard() {
  const float* window = sigTwice_ + ((q_ - (kGuardTaps - 1)) & kMask);  // oldest first
  float acc[8] = {};
  for (int m = 0; m < kGuardTaps + 1; m += 8)
    for (int k = 0; k < 8; ++k) acc[k] += guardTaps_[m + k] * window[m + k];
  const float highpass = ((acc[0] + acc[1]) + (acc[2] + acc[3])) + ((acc[4] + acc[5]) + (acc[6] + acc[7]));
  guardMagnitude_[(q_ - kGuardNewest) & kMask] = std::fabs(highpass);
  float envelope = 0.0f;
  for (int j = kGuardNewest; j <= kGuardOldest; ++j)
    envelope = std::max(envelope, guardMagnitude_[(q_ - j) & kMask]);
  return envelope;
}

double PeakCatcher::Process(double a, float ceilLin) {
  sig_[q_] = std::isfinite(a) ? static_cast<float>(a) : 0.0f;
  gain_[q_] = 1.0f;
  SetProduct(q_);
  sigTwice_[q_] = sigTwice_[q_ + kRing] = sig_[q_];
  const float envelope = NyquistGuard();
  for (int pass = 0; pass < kMaxPasses; ++pass) {
    float y[TruePeakTable::kPhases];
    float p = TruePeakOfProducts(y);
    int binding = LoudestPhase(y);
    // The dips already cut around the interval scale its content too.
    const float guard = envelope * gain_[(q_ - kDelay / 2) & kMask];
    float guardTaken = 0.0f;
    if (guard > kGuardDeadband * p) {
      p = GuardedPeak(y, p, guard, binding);
      guardTaken = guard * guardShape_[binding];
    }
    if (p <= ceilLin || p < 1e-12f) break;
    // The over-correction suits peaks spread over many samples, which a dip lowers less than its
    // depth. A peak made of a few samples would be cut below the ceiling by it, and repeated dips
    // would compound; so no dip goes deeper than what brings the loudest point to the ceiling.
    // The guard scales with the gain at the centre, which the dip lowers by its full depth.
    const float exact = (p - kExactAim * ceilLin) / (DipShare(y, binding) + guardTaken);
    const float depth = std::min({0.95f, (1.0f - ceilLin / p) * factor_, exact});
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
