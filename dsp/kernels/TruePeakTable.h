#pragma once

#include "dsp/kernels/FoldedTaps.h"

// 16-phase x 48-tap polyphase interpolation filter (single precision) for true-peak estimation.
// Stored tap-major, so that one tap of all 16 phases is one contiguous run of floats.
struct TruePeakTable {
  static constexpr int kPhases = 16;
  static constexpr int kTaps = 48;

  alignas(64) float tapMajor[kTaps][kPhases] = {};
  FoldedTaps<kTaps> folded;  // the same filter folded, for the vector kernels

  float Coefficient(int phase, int tap) const { return tapMajor[tap][phase]; }

  // Kaiser-windowed sinc prototype of 768 taps (beta 8), cutoff in cycles per sample at the 16x
  // rate; the prototype's factor 16 restores unity gain after interpolation.
  void Design(double cutoff);

  // The detection variant ignores content above 20 kHz at 44.1 and 48 kHz, and reads the whole
  // band, as the catcher variant always does, at higher rates.
  static double DetectionCutoff(double sampleRate);
  static constexpr double kCatcherCutoff = 1.0 / 32.0;
  static constexpr double kWideBandRate = 50000.0;

  // Tables for 48 kHz, designed once on first use (thread-safe), for objects not yet prepared.
  static const TruePeakTable& DefaultDetection();
  static const TruePeakTable& DefaultCatcher();
};
