#pragma once

#include <cmath>

#include "dsp/NyquistGuard.h"
#include "dsp/WideGate.h"
#include "dsp/WideInterpolator.h"
#include "dsp/kernels/TruePeakTable.h"


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

  double Process(double a, float ceilLin, const Preview& preview);
  // Without a preview the wide window sees silence past the newest sample.
  double Process(double a, float ceilLin) { return Process(a, ceilLin, Preview{}); }

  // The previews of a run's steps: step i's look-ahead starts i entries further on, at gains[i].
  struct RunPreview {
    const float* ahead = nullptr;
    const double* aheadExact = nullptr;
    int available = 0;
    const double* gains = nullptr;
    const double* aheadSquares = nullptr;
    Preview At(int i) const {
      return {ahead + i, aheadExact + i, available, gains[i], aheadSquares ? aheadSquares + i : nullptr};
    }
  };
  // Process over a run of n inputs (n <= NyquistGuard::kMaxRun), giving for each step its output,
  // LeavingReading() and OutputGain(): exactly what Process gives step by step. The work that
  // depends on the inputs alone is done for the run at once, the gate's bound included, and the
  // steps that bound settles take a short path.
  void ProcessRun(const double* a, int n, float ceilLin, const RunPreview& preview, double* out,
                  float* leavingReadings, float* outputGains);

  float OvershootFactor() const { return factor_; }
  // How many wide readings the catcher has made since it was prepared: what its gate let through.
  long long WideReadings() const { return wideReadings_; }
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
  void WriteLookAhead(const Preview& preview, float* ahead) const;  // the window's last kWideAhead
  // The same for the present step of a prepared run, in place in runLine_: the known part lies
  // there already, and the look-ahead is written after it, where later steps' products go.
  const float* RunLineWindow(const Preview& preview);
  // What depends on the run's inputs alone, for the steps to come in one pass: the guard, each
  // step's first reading and, given the running sums of squares of the first step's look-ahead
  // (the next steps' one further each), those sums of the gate's bound.
  void PrepareRun(const double* a, int n, const double* aheadSquares);
  // Process; `boundPassed` where the bound was decided for the run and said yes at this step.
  double Step(double a, float ceilLin, const Preview& preview, bool boundPassed);
  // A step whose first reading and decided bound stand and say no wide reading is needed.
  double SettledStep(double a);
  // The gate, reading the products and the look-ahead where they lie.
  bool MayExceed(const Preview& preview, float shortPeak, float guard, float ceilLin, bool boundPassed) const;
  void DecideBounds(int from);  // boundPasses_ from step `from` on
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
  // The same products up to the present step (the first lineKnown_ of them, brought up to date
  // before a wide reading, dips written to both), with room after the newest for a look-ahead:
  // each step's wide window is a straight stretch of it.
  alignas(64) float runLine_[kWideKnown - 1 + NyquistGuard::kMaxRun + kWideAhead] = {};
  int lineKnown_ = 0;
  void SumKnownSquares(int from);  // knownSquares_ from known_[from] on
  // The gate bound's weighted sums of both parts, per step of the run; the known part's kept up
  // to date from the step at which a dip was cut.
  double knownSums_[NyquistGuard::kMaxRun] = {};
  double aheadSums_[NyquistGuard::kMaxRun] = {};
  const double* aheadSquares_ = nullptr;  // the run's first step's, or null where not given
  // The bound for each step's first pass, decided for a run that ProcessRun takes (and again
  // after a dip, from the first step whose reading it left alone): the ceiling and look-ahead
  // gains it was decided for, and whether it said the wide reading may be needed.
  bool boundsDecided_ = false;
  float runCeiling_ = 0.0f;
  float runGain_[NyquistGuard::kMaxRun] = {};
  bool boundPasses_[NyquistGuard::kMaxRun] = {};
  // Each step's wide reading taken ahead for the run, on the products as they stand before it,
  // NaN where not taken; void once a dip is cut (every later window then holds other products).
  void ReadWideAhead(const RunPreview& preview);
  float wideAhead_[NyquistGuard::kMaxRun] = {};
  bool wideAheadStands_ = false;
  const WideInterpolator* wide_;
  const WideGate* gate_;
  int q_ = 0;
  long long wideReadings_ = 0;
  float factor_ = 1.3f;
  float hann_[kWindow] = {};
  const TruePeakTable* table_;
};
