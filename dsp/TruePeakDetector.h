#pragma once

#include "dsp/kernels/TruePeakTable.h"

// Streaming true-peak estimator: for every sample, the largest magnitude among the sample itself,
// 16 points interpolated between the last 48 samples and their parabolic refinements. The
// interpolated points describe the signal about 24 samples before the newest one.
class TruePeakDetector {
 public:
  static constexpr int kRun = 256;  // samples per pass; longer runs are taken in passes

  TruePeakDetector() : table_(&TruePeakTable::DefaultDetection()) { SetTable(table_); }

  void SetTable(const TruePeakTable* table);
  void Reset();

  float Process(float x);
  // The peaks of n consecutive samples, as Process gives them one by one.
  void ProcessRun(const double* x, int n, float* peaks);
  // Only the peak hold, as ProcessRun would leave it: a sample whose window cannot reach the
  // hold (its largest magnitude times the table's largest gain) is not interpolated, nor are the
  // first `givenCount` samples, whose peaks (ProcessRun's, made elsewhere from the same samples
  // and table) are `given`.
  void HoldRun(const double* x, int n, const float* given = nullptr, int givenCount = 0);

  float PeakHold() const { return peakHold_; }
  void ClearPeakHold() { peakHold_ = 0.0f; }

 private:
  static constexpr int kLength = TruePeakTable::kTaps;
  static constexpr int kKept = kLength - 1;

  // Appends up to kRun samples after the kept ones; returns how many.
  int Append(const double* x, int n);
  void KeepNewest(int appended);

  // The newest 47 samples, oldest first, then room for a run: every window is one straight
  // run of memory, written well before it is read.
  alignas(32) float line_[kKept + kRun] = {};
  float peakHold_ = 0.0f;
  float bound_ = 1.0f;  // no point interpolated from a window exceeds its largest magnitude times this
  const TruePeakTable* table_;
};
