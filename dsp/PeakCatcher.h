#pragma once

#include <cmath>

#include "dsp/NyquistGuard.h"
#include "dsp/TruePeakTable.h"
#include "dsp/WideGate.h"
#include "dsp/WideInterpolator.h"


// The last safety stage: delays the gained signal by 48 samples and, wherever the true peak of
// what it holds still exceeds the ceiling, cuts a 49-sample Hann-shaped dip into its gain around
// that point (up to two passes per sample), as deep as brings that peak to the ceiling.
//
// Each point is first read with the 48-tap interpolator. That reading is exact for content below
// about 0.45 of the sample rate; near Nyquist and in the far sidelobes of full-band material it
// can be more than a dB off, so wherever it comes near the ceiling (WideGate) the point is read
// again through the 256-tap interpolator, and only that reading decides. Its window reaches 104
// samples past the catcher's newest into the limiter's look-ahead, at the limiter's present gain.
class PeakCatcher {
 public:
  static constexpr int kDelay = 48;
  static constexpr int kRing = 256;  // a power of two: positions wrap by masking

  // What still lies in the limiter's look-ahead after the sample it gave the catcher last, oldest
  // first (`available` entries, as floats and at full precision), and the limiter's gain at present.
  struct Preview {
    const float* ahead = nullptr;
    const double* aheadExact = nullptr;
    int available = 0;
    double gain = 1.0;
    // Optional running sums of the squares of `ahead` (k = 0 .. available), for a cheap bound.
    const double* aheadSquares = nullptr;
  };

  PeakCatcher();

  void Prepare(double sampleRate);  // overshoot factor and window; clears the rings
  void SetTable(const TruePeakTable* table) { table_ = table; }
  void Reset();

  // Hands over the inputs of the next n calls of Process at once (n <= NyquistGuard::kMaxRun),
  // so the work that depends on them alone is done for the run in one pass; with the running
  // sums of squares of the look-ahead the first call will see (Preview::aheadSquares, the next
  // calls' one further each), that part of the gate's bound too.
  void PrepareRun(const double* a, int n, const double* aheadSquares = nullptr);
  double Process(double a, float ceilLin, const Preview& preview);
  // Without a preview the wide window sees silence past the newest sample.
  double Process(double a, float ceilLin) { return Process(a, ceilLin, Preview{}); }

  float OvershootFactor() const { return factor_; }
  // The 48-tap reading of the 48 samples up to and including the one the last Process call
  // returned, as those samples left; NaN where a later dip changed them after the reading (a
  // meter reading the output then reads them itself).
  float LeavingReading() const { return reading_[(q_ - 1 - kDelay) & (kRing - 1)]; }
  // The catcher's own gain on the sample the last Process call returned; 1 where that sample is
  // practically silent (under -80 dBFS), as dips around a loud peak cut nothing there.
  float OutputGain() const {
    const int out = (q_ - 1 - kDelay) & (kRing - 1);
    return std::fabs(sig_[out]) >= 1e-4f ? gain_[out] : 1.0f;
  }

 private:
  static constexpr int kWindow = 49;
  static constexpr int kMaxPasses = 2;
  // The wide window: the products up to the newest, then the look-ahead.
  static constexpr int kWideKnown = WideInterpolator::kCentre + kDelay / 2 + 1;  // 152
  static constexpr int kWideAhead = WideInterpolator::kTaps - kWideKnown;        // 104
  static_assert(kWideKnown == WideGate::kKnown && kWideAhead == WideGate::kAhead);

  void GatherWideWindow(const Preview& preview, float* window) const;
  // The gate, reading the products and the look-ahead where they lie.
  bool MayExceed(const Preview& preview, float shortPeak, float guard, float ceilLin) const;
  // The wide reading, exact where it exceeds the ceiling (no greater than it elsewhere).
  float WidePeak(const float* window, float ceilLin, float* y) const;
  float WideDipShare(const float* window, const float* y, int phase) const;
  void SetProduct(int i) { product_[i] = product_[i + kRing] = gain_[i] * sig_[i]; }

  // Invalidates the readings a dip just cut changed: those of the 48 steps before this one.
  void ForgetReadingsBefore(int q);

  float sig_[kRing] = {};
  // Per step, the 48-tap reading of the products up to it as the last pass left them.
  float reading_[kRing] = {};
  float gain_[kRing] = {};
  // gain x sig, stored twice (at i and i + 256) so that any run up to the newest is contiguous.
  alignas(32) float product_[2 * kRing] = {};
  NyquistGuard guard_;  // on the input alone
  // The prepared run: its length, the step Process is at, the 48-tap reading each step would make
  // first if no dip were cut during the run, and the last step whose reading a dip has changed.
  int runLength_ = 0;
  int runStep_ = 0;
  int dippedUntil_ = -1;
  float firstReading_[NyquistGuard::kMaxRun] = {};
  float envelope_[NyquistGuard::kMaxRun] = {};  // the guard's envelope at each step's interval
  // The products of the run's wide windows' known parts (the 151 before the run, then the run's),
  // and running sums of their squares, kept up to date as dips are cut.
  float known_[kWideKnown - 1 + NyquistGuard::kMaxRun] = {};
  double knownSquares_[kWideKnown + NyquistGuard::kMaxRun] = {};
  void SumKnownSquares(int from);  // knownSquares_ from known_[from] on
  // The gate bound's weighted sums of both parts, per step of the run; the known part's kept up
  // to date from the step at which a dip was cut.
  double knownSums_[NyquistGuard::kMaxRun] = {};
  double aheadSums_[NyquistGuard::kMaxRun] = {};
  const double* aheadSquares_ = nullptr;  // the run's first step's, or null where not given
  const WideInterpolator* wide_;
  const WideGate* gate_;
  int q_ = 0;
  float factor_ = 1.3f;
  float hann_[kWindow] = {};
  const TruePeakTable* table_;
};
