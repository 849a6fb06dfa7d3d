#pragma once

#include "dsp/NyquistGuard.h"
#include "dsp/TruePeakTable.h"
#include "dsp/WideInterpolator.h"

class WideGate;

// Streaming true-peak meter that reads full-band material as an ideal reconstruction would:
// every interval is read with the 48-tap interpolator, and again through the 256-tap one
// wherever that reading, allowing for what it may miss (WideGate), could pass the peak held so
// far. Reads the interval 128 samples behind the newest, so its whole window is known.
class WideTruePeakMeter {
 public:
  static constexpr int kLag = WideInterpolator::kTaps - 1 - WideInterpolator::kCentre;  // 128

  WideTruePeakMeter();

  void Reset();  // clears the signal and the hold
  void Process(float x);
  // Pushes silence through, so that the last samples given are read too (for whole files).
  void Flush();

  float PeakHold() const { return peakHold_; }
  void ClearPeakHold() { peakHold_ = 0.0f; }

 private:
  static constexpr int kRing = 256;  // holds the wide window exactly

  alignas(32) float ring_[2 * kRing] = {};  // stored twice, so the newest 256 are one run
  int newest_ = kRing - 1;
  float peakHold_ = 0.0f;
  NyquistGuard guard_;
  const TruePeakTable* table_;
  const WideInterpolator* wide_;
  const WideGate* gate_;
};
