#pragma once

#include "dsp/NyquistGuard.h"
#include "dsp/WideInterpolator.h"
#include "dsp/kernels/TruePeakTable.h"

class WideGate;

// Streaming true-peak meter that reads full-band material as an ideal reconstruction would:
// every interval is read with the 48-tap interpolator, and again through the 256-tap one
// wherever that reading, allowing for what it may miss (WideGate), could pass the peak held so
// far. Reads the interval 128 samples behind the newest, so its whole window is known.
class WideTruePeakMeter {
 public:
  static constexpr int kLag = WideInterpolator::kTaps - 1 - WideInterpolator::kCentre;  // 128

  WideTruePeakMeter();

  static constexpr int kRun = 256;  // samples per pass; longer runs are taken in passes

  void Reset();  // clears the signal and the hold
  void Process(float x);
  void ProcessRun(const double* x, int n);  // as Process on each in turn
  // The same, given for each sample the 48-tap reading (catcher table) of the 48 samples up to
  // and including it where the source already made one, NaN where not: the meter reads only
  // those it is not given.
  void ProcessRun(const double* x, const float* readings, int n);
  // Pushes silence through, so that the last samples given are read too (for whole files).
  void Flush();

  float PeakHold() const { return peakHold_; }
  void ClearPeakHold() { peakHold_ = 0.0f; }

 private:
  static constexpr int kKept = WideInterpolator::kTaps - 1;

  // The interval kLag behind line_[kKept + i], whose near-Nyquist envelope is `guard`; `passed`
  // where the gate is known to pass it at the present hold; `wide`: its wide reading where it was
  // read ahead, else NaN.
  void ReadNewest(int i, float guard, bool passed, float wide);
  // wide[j] for the windows j of the stretch: their wide readings where enough of them from i on
  // may be read to make it worth it, else NaN. `listed`: how many from i on passed the gate's
  // first test; `shortPeaks`: the run's as that test took them (infinite where not given).
  void ReadAhead(WideInterpolator::Stretch stretch, int i, int listed, const float* shortPeaks, float* wide) const;
  // The gate's test of that interval at the present hold; `samples`: SamplesAround(i).
  bool MayExceed(int i, float guard, float samples) const;
  float SamplesAround(int i) const;  // the larger magnitude of the two samples around that interval
  void KeepNewest(int appended);
  void SumSquares(int appended);  // squares_ over the kept and appended samples
  void Append(const double* x, const float* readings, int count);
  void ReadShortPeaks(int count);
  void ReadRun(int count);

  // The newest 255 samples, oldest first, then room for a run: every window is one straight run
  // of memory.
  alignas(32) float line_[kKept + kRun] = {};
  double squares_[kKept + kRun + 1] = {};  // running sums of line_'s squares, squares_[0] = 0
  double spreads_[kRun] = {};  // the gate's bound of the spread of each window of the run
  float guards_[kRun] = {};    // the near-Nyquist envelope around each interval of the run
  // Beside line_, the given reading of the 48 samples up to each one, or NaN.
  float readings_[kKept + kRun] = {};
  int sinceReset_ = 0;  // samples since Reset, up to one window's worth: older readings are void
  float peakHold_ = 0.0f;
  NyquistGuard guard_;
  const TruePeakTable* table_;
  const WideInterpolator* wide_;
  const WideGate* gate_;
};
