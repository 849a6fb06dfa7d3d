#include "dsp/PeakCatcher.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <numbers>

#include "dsp/WideGate.h"
#include "dsp/kernels/ScaledToFloat.h"
#include "dsp/kernels/TruePeakKernel.h"

namespace {

// Ring positions wrap by masking; correct for the negative offsets below too.
constexpr int kMask = PeakCatcher::kRing - 1;
// A dip aimed exactly at the ceiling lands a rounding error either side of it; aim a hair under.
constexpr float kExactAim = 0.9995f;
constexpr float kUnread = std::numeric_limits<float>::quiet_NaN();
// A reading under this is of silence: nothing there can reach a ceiling.
constexpr float kSilentReading = 1e-12f;

float Finite(double a) { return std::isfinite(a) ? static_cast<float>(a) : 0.0f; }

int LoudestPhase(const float* y) {
  int loudest = 0;
  for (int k = 1; k < TruePeakTable::kPhases; ++k)
    if (std::fabs(y[k]) > std::fabs(y[loudest])) loudest = k;
  return loudest;
}

}  // namespace

PeakCatcher::PeakCatcher()
    : wide_(&WideInterpolator::Shared()),
      gate_(&WideGate::Shared()),
      table_(&TruePeakTable::DefaultCatcher()) {}

void PeakCatcher::Prepare(double sampleRate) {
  // A dip lowers the neighbours of a peak less than the peak itself, so where the exact depth
  // cannot be worked out it over-corrects; less so at high rates, where the peak is better resolved.
  factor_ = static_cast<float>(
      std::max(1.0, 1.3 - 0.15 * std::max(0.0, std::log2(sampleRate / 48000.0))));
  wideReadings_ = 0;
  for (int m = 0; m < kWindow; ++m)
    hann_[m] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * m / 48.0));
  Reset();
}

void PeakCatcher::Reset() {
  std::fill(std::begin(sig_), std::end(sig_), 0.0f);
  std::fill(std::begin(gain_), std::end(gain_), 1.0f);
  std::fill(std::begin(product_), std::end(product_), 0.0f);
  std::fill(std::begin(reading_), std::end(reading_), 0.0f);  // of the silence the rings hold
  guard_.Reset();
  runLength_ = runStep_ = 0;
  q_ = 0;
}

// The wide window: the 152 products up to the newest (their gains as cut so far), then what is
// still in the look-ahead, at the limiter's present gain.
void PeakCatcher::GatherWideWindow(const Preview& preview, float* window) const {
  const float* past = product_ + ((q_ - kWideKnown + 1) & kMask);
  std::copy(past, past + kWideKnown, window);
  WriteLookAhead(preview, window + kWideKnown);
}

// What is still in the look-ahead at the limiter's present gain, silence past its end.
void PeakCatcher::WriteLookAhead(const Preview& preview, float* ahead) const {
  const int known = std::min(kWideAhead, preview.available);
  simd::ScaledToFloat(preview.aheadExact, preview.gain, known, ahead);
  std::fill(ahead + known, ahead + kWideAhead, 0.0f);
}

// Up to the present step, known_ holds the products as they stand (the run's inputs at unit gain
// are its products until a dip, and dips are written to both): the line takes what it lacks from
// there.
const float* PeakCatcher::RunLineWindow(const Preview& preview) {
  const int newest = kWideKnown - 1 + runStep_;
  std::copy(known_ + lineKnown_, known_ + newest + 1, runLine_ + lineKnown_);
  lineKnown_ = newest + 1;
  float* window = runLine_ + runStep_;
  WriteLookAhead(preview, window + kWideKnown);
  return window;
}

bool PeakCatcher::MayExceed(const Preview& preview, float shortPeak, float guard, float ceilLin,
                            bool boundPassed) const {
  // Most steps the bound from running sums settles, and where it says yes the wide reading follows
  // straight away: the full test below would say yes to nearly all of those (96 % with every stage
  // in), and a reading of a window that test would have passed over changes nothing, unless the
  // window exceeds the ceiling after all, which the reading then catches.
  if (boundPassed) return true;
  if (runStep_ < runLength_ && preview.aheadSquares && preview.available >= kWideAhead) {
    const bool summed = aheadSquares_ && preview.aheadSquares == aheadSquares_ + runStep_;
    return summed ? gate_->MayExceedBound(shortPeak, guard, knownSquares_ + runStep_, preview.aheadSquares,
                                          knownSums_[runStep_], aheadSums_[runStep_],
                                          static_cast<float>(preview.gain), ceilLin)
                  : gate_->MayExceedBound(shortPeak, guard, knownSquares_ + runStep_, preview.aheadSquares,
                                          static_cast<float>(preview.gain), ceilLin);
  }
  // Without the sums (a step on its own, or a look-ahead shorter than the window): the full test.
  const float* known = product_ + ((q_ - kWideKnown + 1) & kMask);
  static constexpr float kSilence[kWideAhead] = {};
  const float newest = product_[q_];
  if (preview.available == 0) return gate_->MayExceed(shortPeak, guard, known, newest, kSilence, 0.0f, ceilLin);
  if (preview.available >= kWideAhead)
    return gate_->MayExceed(shortPeak, guard, known, newest, preview.ahead,
                            static_cast<float>(preview.gain), ceilLin);
  // A look-ahead shorter than the window's reach (at low rates): silence beyond its end.
  alignas(32) float window[WideInterpolator::kTaps];
  GatherWideWindow(preview, window);
  return gate_->MayExceed(shortPeak, guard, window, ceilLin);
}

float PeakCatcher::WidePeak(const float* window, float ceilLin, float* y) const {
  // The samples either side are points of the reconstruction too.
  const float samples = std::max(std::fabs(window[WideInterpolator::kCentre]),
                                 std::fabs(window[WideInterpolator::kCentre + 1]));
  return wide_->Peak(window, samples, ceilLin, y);
}

// How much a dip of full depth lowers the wide point of this phase. A dip of depth d lowers
// that point from y to y - d * share, exactly.
float PeakCatcher::WideDipShare(const float* window, const float* y, int phase) const {
  constexpr int kFirst = kWideKnown - kWindow;  // the sample leaving now
  float share = 0.0f;
  for (int m = 0; m < kWindow; ++m)
    share += wide_->Coefficient(phase, kFirst + m) * window[kFirst + m] * hann_[m];
  // Of the same sign as the point, or the dip would not lower it.
  return share * y[phase] > 0.0f ? std::fabs(share) : 0.0f;
}

void PeakCatcher::ForgetReadingsBefore(int q) {
  for (int back = 1; back <= kDelay; ++back) reading_[(q - back) & kMask] = kUnread;
}

// The first reading of every step is made for the whole run at once, over the products so far
// and the run's inputs at unit gain; a dip cut during the run voids those of the 47 steps after it.
void PeakCatcher::PrepareRun(const double* a, int n, const double* aheadSquares) {
  constexpr int kOlder = kWideKnown - 1;
  for (int j = 0; j < kOlder; ++j) known_[j] = product_[(q_ - kOlder + j) & kMask];
  for (int i = 0; i < n; ++i) known_[kOlder + i] = Finite(a[i]);
  lineKnown_ = 0;
  guard_.PushRun(known_ + kOlder, n);
  guard_.Envelopes(kDelay / 2 + n - 1, n, envelope_);
  // The short window of step i: the 48 products up to it.
  constexpr int kShortOlder = TruePeakTable::kTaps - 1;
  truepeak::InterpolatedPointPeaks(*table_, known_ + kOlder - kShortOlder, n, firstReading_);
  runLength_ = n;
  runStep_ = 0;
  dippedUntil_ = -1;
  // Read only where a whole wide window lies ahead (shorter look-aheads, at low rates, never
  // take the bound).
  aheadSquares_ = aheadSquares;
  if (aheadSquares_) gate_->AheadSums(aheadSquares_, n, aheadSums_);
  boundsDecided_ = false;
  wideAheadStands_ = false;
  SumKnownSquares(0);
}

void PeakCatcher::SumKnownSquares(int from) {
  const int end = kWideKnown - 1 + runLength_;
  double sum = from == 0 ? 0.0 : knownSquares_[from];
  for (int k = from; k < end; ++k) {
    knownSquares_[k] = sum;
    sum += static_cast<double>(known_[k]) * known_[k];
  }
  knownSquares_[end] = sum;
  // Every step from the present one reads sums from `from` on.
  if (aheadSquares_) gate_->KnownSums(knownSquares_ + runStep_, runLength_ - runStep_, knownSums_ + runStep_);
  // The steps whose first reading a dip voided make theirs afresh and take the bound as it comes.
  if (boundsDecided_) DecideBounds(std::max(runStep_, dippedUntil_ + 1));
}

// The guard of step i scales by the gain of the interval it reads, 24 steps back: as cut so far
// where that step is past, 1 where it is still to come (a later dip there voids step i's reading).
void PeakCatcher::DecideBounds(int from) {
  if (from >= runLength_) return;
  float guard[NyquistGuard::kMaxRun];
  for (int i = from; i < runLength_; ++i) {
    const int interval = i - kDelay / 2;
    const float gain = interval >= runStep_ ? 1.0f : gain_[(q_ + interval - runStep_) & kMask];
    guard[i] = envelope_[i] * gain;
  }
  const WideGate::BoundRun run{firstReading_ + from, guard + from, runGain_ + from, knownSums_ + from,
                               aheadSums_ + from, knownSquares_ + from + kWideKnown, aheadSquares_ + from + kWideAhead};
  gate_->MayExceedBounds(run, runLength_ - from, runCeiling_, boundPasses_ + from);
}

// Where nearly every step of a stretch will read its wide window (the bound says so, and a dip
// is rare), the stretch's windows are read at once: a pass of 64 costs about what 33 readings
// apart cost, one of 16 what 13 cost.
void PeakCatcher::ReadWideAhead(const RunPreview& preview) {
  wideAheadStands_ = WideInterpolator::ReadsSixteensAtOnce();
  if (!wideAheadStands_) return;
  std::fill(wideAhead_, wideAhead_ + runLength_, kUnread);
  for (int i = 0;;) {
    const auto [start, length] = WideInterpolator::StretchOf(i, runLength_);
    if (length == 0) break;
    const int reading = static_cast<int>(std::count(boundPasses_ + start, boundPasses_ + start + length, true));
    if (reading >= (length == 64 ? 34 : 14))
      wide_->SixteensOfPeaks(known_ + start, preview.aheadExact + start, preview.gains + start, length,
                             wideAhead_ + start);
    i = start + length;
  }
}

void PeakCatcher::ProcessRun(const double* a, int n, float ceilLin, const RunPreview& preview, double* out,
                             float* leavingReadings, float* outputGains) {
  PrepareRun(a, n, preview.aheadSquares);
  // The bound needs a whole wide window ahead (shorter look-aheads, at low rates, never take it).
  if (preview.aheadSquares && preview.available >= kWideAhead) {
    boundsDecided_ = true;
    runCeiling_ = ceilLin;
    for (int i = 0; i < n; ++i) runGain_[i] = static_cast<float>(preview.gains[i]);
    DecideBounds(0);
    ReadWideAhead(preview);
  }
  for (int i = 0; i < n; ++i) {
    const bool decided = boundsDecided_ && i > dippedUntil_;
    if (decided && !boundPasses_[i]) {
      out[i] = SettledStep(a[i]);
    } else if (decided && wideAheadStands_ && wideAhead_[i] <= ceilLin) {
      // The bound passed and the reading taken ahead stays under the ceiling: Step would read
      // the first reading, count the wide one (unless the window is silent) and cut nothing.
      wideReadings_ += firstReading_[i] >= kSilentReading;
      out[i] = SettledStep(a[i]);
    } else {
      out[i] = Step(a[i], ceilLin, preview.At(i), decided && boundPasses_[i]);
    }
    leavingReadings[i] = LeavingReading();
    outputGains[i] = OutputGain();
  }
}

double PeakCatcher::SettledStep(double a) {
  sig_[q_] = Finite(a);
  gain_[q_] = 1.0f;
  SetProduct(q_);
  reading_[q_] = firstReading_[runStep_];
  ++runStep_;
  const int out = (q_ - kDelay) & kMask;
  q_ = (q_ + 1) & kMask;
  return static_cast<double>(gain_[out]) * static_cast<double>(sig_[out]);
}

double PeakCatcher::Process(double a, float ceilLin, const Preview& preview) {
  return Step(a, ceilLin, preview, false);
}

double PeakCatcher::Step(double a, float ceilLin, const Preview& preview, bool boundPassed) {
  sig_[q_] = Finite(a);
  gain_[q_] = 1.0f;
  SetProduct(q_);
  const bool prepared = runStep_ < runLength_;
  if (!prepared) guard_.Push(sig_[q_]);
  const float envelope = prepared ? envelope_[runStep_] : guard_.Envelope(kDelay / 2);
  reading_[q_] = kUnread;
  for (int pass = 0; pass < kMaxPasses; ++pass) {
    // The 48 newest products, oldest first: the middle of the wide window.
    const bool firstOfRun = pass == 0 && prepared && runStep_ > dippedUntil_;
    const float shortPeak =
        firstOfRun ? firstReading_[runStep_]
                   : truepeak::InterpolatedPeak(*table_, product_ + ((q_ - TruePeakTable::kTaps + 1) & kMask),
                                                product_[q_], 0.0f);
    reading_[q_] = shortPeak;
    if (shortPeak < kSilentReading) break;
    // The dips already cut around the interval scale its content too.
    const float guard = envelope * gain_[(q_ - kDelay / 2) & kMask];
    if (!MayExceed(preview, shortPeak, guard, ceilLin, firstOfRun && boundPassed)) break;
    ++wideReadings_;
    // A reading taken ahead settles a window that stays under the ceiling (the reading here would
    // stop its search there too); one that exceeds it is read again for its points.
    if (prepared && wideAheadStands_ && wideAhead_[runStep_] <= ceilLin) break;
    alignas(32) float own[WideInterpolator::kTaps];
    const float* window = prepared ? RunLineWindow(preview) : own;
    if (!prepared) GatherWideWindow(preview, own);
    float y[TruePeakTable::kPhases];
    const float p = WidePeak(window, ceilLin, y);
    if (p <= ceilLin) break;
    const int binding = LoudestPhase(y);
    // The depth that brings the loudest point to the ceiling: a peak spread over many samples
    // needs more than its excess (the dip lowers its neighbours less), a click exactly its excess.
    // When the dip cannot lower that point, the fixed over-correction stands in.
    const float share = WideDipShare(window, y, binding);
    const float depth = std::min(
        0.95f, share > 0.0f ? (p - kExactAim * ceilLin) / share : (1.0f - ceilLin / p) * factor_);
    // The dip spans the sample leaving now (m = 0) to the newest (m = 48), centred 24 back.
    for (int m = 0; m < kWindow; ++m) {
      const int j = (q_ - kDelay + m) & kMask;
      gain_[j] *= 1.0f - depth * hann_[m];
      SetProduct(j);
    }
    ForgetReadingsBefore(q_);
    reading_[q_] = kUnread;  // until the next pass reads it again
    dippedUntil_ = runStep_ + TruePeakTable::kTaps - 1;
    wideAheadStands_ = false;
    if (prepared) {
      const int first = kWideKnown - 1 + runStep_ - kDelay;  // the dip's first product
      for (int m = 0; m < kWindow; ++m) known_[first + m] = runLine_[first + m] = product_[(q_ - kDelay + m) & kMask];
      SumKnownSquares(first);
    }
  }
  if (prepared) ++runStep_;
  const int out = (q_ - kDelay) & kMask;
  const double result = static_cast<double>(gain_[out]) * static_cast<double>(sig_[out]);
  q_ = (q_ + 1) & kMask;
  return result;
}
