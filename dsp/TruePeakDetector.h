#pragma once

#include "dsp/TruePeakTable.h"

// Streaming true-peak estimator: for every sample, the largest magnitude among the sample itself,
// 16 points interpolated between the last 48 samples and their parabolic refinements. The
// interpolated points describe the signal about 24 samples before the newest one.
class TruePeakDetector {
 public:
  TruePeakDetector() : table_(&TruePeakTable::DefaultDetection()) {}

  void SetTable(const TruePeakTable* table) { table_ = table; }
  void Reset();

  float Process(float x);

  float PeakHold() const { return peakHold_; }
  void ClearPeakHold() { peakHold_ = 0.0f; }

 private:
  static constexpr int kLength = TruePeakTable::kTaps;
  // Each sample is stored twice (at i and i + 48), so the newest 48 always form one straight run.
  alignas(32) float ring_[2 * kLength] = {};
  int index_ = 0;
  float peakHold_ = 0.0f;
  const TruePeakTable* table_;
};
