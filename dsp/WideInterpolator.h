#pragma once

#include "dsp/kernels/FoldedTaps.h"

// Points between two samples through a long windowed sinc: 16 phases, 256 taps (128 samples
// either side), Kaiser beta 4. The 48-tap interpolator cannot see the top of the band or the
// far sidelobes of full-band material (white noise, clipped and synthesised signals), whose
// peaks it reads up to 1.3 dB low; this one reads them within a few hundredths of a dB of an
// ideal reconstruction. Sixteen times the work, so it runs only where a peak may be at stake.
class WideInterpolator {
 public:
  static constexpr int kPhases = 16;
  static constexpr int kTaps = 256;
  // The points lie between window[kCentre] and window[kCentre + 1], phase k at
  // (k + 0.5) / 16 of a sample after window[kCentre].
  static constexpr int kCentre = kTaps / 2 - 1;

  static const WideInterpolator& Shared();  // designed once, on first use (thread-safe)

  // y[k] for k = 0..15 from a window of 256 samples, oldest first.
  void Interpolate(const float* window, float* y) const;
  void InterpolateScalar(const float* window, float* y) const;  // the literal form
  // Interpolate, then truepeak::PeakOfPhases(y, a), in one pass; where that peak cannot exceed
  // `floor`, only a value no greater than floor (truepeak::InterpolatedPeak).
  float Peak(const float* window, float a, float floor, float* y) const;
  // The readings of consecutive windows (window t is line[t .. t + 255]), sixteen at once in the
  // lanes of AVX-512 vectors, each exactly Peak(window, the larger magnitude of the two samples
  // around its interval, 0). Reads the first `count` rounded down to sixteen and returns how
  // many; none where the processor has no AVX-512. A pass of sixteen costs about what thirteen
  // readings apart cost, a pass of 64 what 33 cost.
  int SixteensOfPeaks(const float* line, int count, float* peaks) const;
  // The same for windows whose look-ahead is each their own: window t is known[t .. t + 151],
  // then static_cast<float>(gains[t] * ahead[t + r]) for r = 0 .. 103 (the peak catcher's windows
  // over a run, where no dip is cut).
  static constexpr int kKnownPart = kCentre + 25;
  int SixteensOfPeaks(const float* known, const double* ahead, const double* gains, int count, float* peaks) const;
  static bool ReadsSixteensAtOnce();  // whether SixteensOfPeaks reads anything here
  // How a run of `count` windows is read at once: in stretches of 64, then of 16 near its end,
  // the last few (fewer than 16) not at all. The stretch window i lies in; length 0 for those.
  struct Stretch {
    int start, length;
  };
  static Stretch StretchOf(int i, int count);

  float Coefficient(int phase, int tap) const { return tapMajor_[tap][phase]; }

 private:
  WideInterpolator();

  alignas(64) float tapMajor_[kTaps][kPhases];
  FoldedTaps<kTaps> folded_;  // the same filter folded, for the vector kernels
};
