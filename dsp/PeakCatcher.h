#pragma once

#include "dsp/TruePeakTable.h"

// The last safety stage: delays the gained signal by 48 samples and, wherever the true peak of
// what it holds still exceeds the ceiling, cuts a 49-sample Hann-shaped dip into its gain around
// that point (up to two passes per sample).
//
// A 48-tap interpolator cannot see the top few percent of the band below Nyquist: there its
// estimate falls short by up to half the content's amplitude. Converter recordings carry nothing
// there, but synthesised or clipped material does, so the estimate is raised by a Nyquist guard:
// half the local amplitude of the content above about 0.45 of the sample rate.
class PeakCatcher {
 public:
  static constexpr int kDelay = 48;

  PeakCatcher();

  void Prepare(double sampleRate);  // overshoot factor and window; clears the rings
  void SetTable(const TruePeakTable* table) { table_ = table; }
  void Reset();

  double Process(double a, float ceilLin);

  float OvershootFactor() const { return factor_; }
  // The catcher's own gain on the sample the last Process call returned.
  float OutputGain() const { return gain_[(q_ - 1 - kDelay) & (kRing - 1)]; }

 private:
  static constexpr int kRing = 128;  // a power of two: positions wrap by masking
  static constexpr int kWindow = 49;
  static constexpr int kMaxPasses = 2;

  const float* NewestProducts() const {  // the 48 newest products, oldest first
    return product_ + ((q_ - (TruePeakTable::kTaps - 1)) & (kRing - 1));
  }
  float TruePeakOfProducts(float* y) const;
  static int LoudestPhase(const float* y);
  float GuardedPeak(const float* y, float peak, float guard, int& phase) const;
  float DipShare(const float* y, int phase) const;
  float NyquistGuard();  // the local amplitude of the content near Nyquist
  void SetProduct(int i) { product_[i] = product_[i + kRing] = gain_[i] * sig_[i]; }

  float sig_[kRing] = {};
  float gain_[kRing] = {};
  // gain x sig, stored twice (at i and i + 128) so the newest 48 are always one straight run.
  alignas(32) float product_[2 * kRing] = {};
  // The input alone, stored twice like the products, and the guard's highpass magnitudes.
  alignas(32) float sigTwice_[2 * kRing] = {};
  float guardMagnitude_[kRing] = {};
  const float* guardTaps_;
  int q_ = 0;
  float factor_ = 1.3f;
  float hann_[kWindow] = {};
  float guardShape_[TruePeakTable::kPhases] = {};
  const TruePeakTable* table_;
};
