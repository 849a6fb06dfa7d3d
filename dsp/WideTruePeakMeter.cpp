#include "dsp/WideTruePeakMeter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>

#include "dsp/WideGate.h"
#include "dsp/kernels/TruePeakKernel.h"

WideTruePeakMeter::WideTruePeakMeter()
    : table_(&TruePeakTable::DefaultCatcher()),
      wide_(&WideInterpolator::Shared()),
      gate_(&WideGate::Shared()) {}

namespace {
constexpr float kUnread = std::numeric_limits<float>::quiet_NaN();
constexpr int kShortEnd = WideGate::kShortOffset + TruePeakTable::kTaps - 1;
}  // namespace

void WideTruePeakMeter::Reset() {
  std::fill(std::begin(line_), std::end(line_), 0.0f);
  std::fill(std::begin(readings_), std::end(readings_), kUnread);
  sinceReset_ = 0;
  peakHold_ = 0.0f;
  guard_.Reset();
}

// The samples either side of the interval are points of the reconstruction too.
inline float WideTruePeakMeter::SamplesAround(int i) const {
  const float* window = line_ + i;
  return std::max(std::fabs(window[WideInterpolator::kCentre]), std::fabs(window[WideInterpolator::kCentre + 1]));
}

bool WideTruePeakMeter::MayExceed(int i, float guard, float samples) const {
  const float given = readings_[i + kShortEnd];
  const float shortPeak = !std::isnan(given)
                              ? given
                              : truepeak::InterpolatedPeak(*table_, line_ + i + WideGate::kShortOffset, 0.0f);
  return gate_->MayExceedSpread(shortPeak, guard, spreads_[i], std::max(peakHold_, samples));
}

void WideTruePeakMeter::ReadNewest(int i, float guard, bool passed, float wide) {
  const float* window = line_ + i;  // the newest 256, oldest first
  float peak = SamplesAround(i);
  // The bound of the spread settles it: the gate's full test would pass nearly every window this
  // one passes (98 % with every stage in), and reading one it would not have changes nothing
  // unless that window passes the hold after all, which the reading then shows.
  if (passed || MayExceed(i, guard, peak)) {
    float y[TruePeakTable::kPhases];
    // Only a peak above the hold changes it; one read ahead in full changes the hold just as one
    // read now whose search stops at the hold.
    peak = std::isnan(wide) ? wide_->Peak(window, peak, peakHold_, y) : wide;
  }
  peakHold_ = std::max(peakHold_, peak);
}

void WideTruePeakMeter::SumSquares(int appended) {
  double sum = 0.0;
  for (int k = 0; k < kKept + appended; ++k) {
    squares_[k] = sum;
    sum += static_cast<double>(line_[k]) * line_[k];
  }
  squares_[kKept + appended] = sum;
}

void WideTruePeakMeter::KeepNewest(int appended) {
  std::memmove(line_, line_ + appended, kKept * sizeof(float));
  std::memmove(readings_, readings_ + appended, kKept * sizeof(float));
}

// A reading whose 48 samples reach back before the last Reset read other samples than the
// line holds (it was cleared): it is not used.
void WideTruePeakMeter::Append(const double* x, const float* readings, int count) {
  for (int i = 0; i < count; ++i) {
    const float v = static_cast<float>(x[i]);
    line_[kKept + i] = std::isfinite(v) ? v : 0.0f;
    readings_[kKept + i] = readings && sinceReset_ >= TruePeakTable::kTaps - 1 ? readings[i] : kUnread;
    sinceReset_ = std::min(sinceReset_ + 1, TruePeakTable::kTaps);
  }
}

// The 48-tap readings the source did not give, eight windows a pass over every stretch long
// enough to fill the passes (the whole run, where the meter reads a signal on its own); shorter
// gaps are read one window at a time as they come.
void WideTruePeakMeter::ReadShortPeaks(int count) {
  constexpr int kWorthAPass = 8;
  float* given = readings_ + kShortEnd;
  for (int start = 0; start < count;) {
    if (!std::isnan(given[start])) {
      ++start;
      continue;
    }
    int end = start + 1;
    while (end < count && std::isnan(given[end])) ++end;
    if (end - start >= kWorthAPass)
      truepeak::InterpolatedPointPeaks(*table_, line_ + WideGate::kShortOffset + start, end - start,
                                       given + start);
    start = end;
  }
}

// Reading a stretch at once costs about what 33 of its 64 (or 13 of its 16) readings cost apart,
// but where the hold rises during the stretch, many windows that pass the gate now are not read
// after all (at defaults, four in ten). So a stretch is read at once only where nearly all its
// windows from i on, of the `listed` that passed the gate's first test at the run's start, pass
// it still at the hold as it stands now with a 48-tap reading given (one without is read only
// where its own reading passes the gate as well).
void WideTruePeakMeter::ReadAhead(WideInterpolator::Stretch stretch, int i, int listed, const float* shortPeaks, float* wide) const {
  std::fill(wide + stretch.start, wide + stretch.start + std::max(stretch.length, 1), kUnread);
  const int worth = stretch.length == 64 ? 52 : 15;
  if (stretch.length == 0 || listed < worth) return;
  const int end = stretch.start + stretch.length;
  float thresholds[64];
  bool mayExceed[64];
  for (int j = i; j < end; ++j) thresholds[j - i] = std::max(peakHold_, SamplesAround(j));
  gate_->MayExceedSpreads(shortPeaks + i, guards_ + i, spreads_ + i, thresholds, end - i, mayExceed);
  int passing = 0;
  for (int j = i; j < end; ++j) passing += mayExceed[j - i] && !std::isinf(shortPeaks[j]);
  if (passing >= worth) wide_->SixteensOfPeaks(line_ + stretch.start, stretch.length, wide + stretch.start);
}

void WideTruePeakMeter::ReadRun(int count) {
  ReadShortPeaks(count);
  SumSquares(count);
  gate_->SpreadBounds(squares_, count, spreads_);
  guard_.PushRun(line_ + kKept, count);
  // Interval i lies kLag + (count - 1 - i) behind the newest sample pushed.
  guard_.Envelopes(kLag + count - 1, count, guards_);
  // The gate's first test for the whole run against the hold as it stands: the hold only rises,
  // and a window that does not pass it now passes it at no later hold either. Windows whose
  // 48-tap reading was not given take every test as they come.
  const float hold = peakHold_;
  float shortPeaks[kRun], thresholds[kRun];
  bool mayExceed[kRun];
  for (int i = 0; i < count; ++i) {
    const float given = readings_[i + kShortEnd];
    shortPeaks[i] = std::isnan(given) ? std::numeric_limits<float>::infinity() : given;
    thresholds[i] = std::max(hold, SamplesAround(i));
  }
  gate_->MayExceedSpreads(shortPeaks, guards_, spreads_, thresholds, count, mayExceed);
  // A window the test does not pass only raises the hold to its threshold (the samples around it,
  // or what the hold was). Those are gathered as a running maximum and the windows it passes as a
  // list, without a branch on each window (which way it goes follows the signal); then the hold
  // takes them in the same order.
  int passing[kRun];
  float failedUpTo[kRun];  // the largest threshold of the windows not passed before each
  int passed = 0;
  float failed = 0.0f;
  for (int i = 0; i < count; ++i) {
    passing[passed] = i;
    passed += mayExceed[i];
    failedUpTo[i] = failed;
    failed = mayExceed[i] ? failed : std::max(failed, thresholds[i]);
  }
  float wide[kRun];
  // (Where the processor cannot read ahead, no window is.)
  const bool readsAhead = WideInterpolator::ReadsSixteensAtOnce();
  int readAheadTo = readsAhead ? 0 : count;
  for (int k = 0; k < passed; ++k) {
    const int i = passing[k];
    peakHold_ = std::max(peakHold_, failedUpTo[i]);
    if (i >= readAheadTo) {
      const WideInterpolator::Stretch stretch = WideInterpolator::StretchOf(i, count);
      readAheadTo = std::max(i + 1, stretch.start + stretch.length);
      int listed = 0;
      while (k + listed < passed && passing[k + listed] < readAheadTo) ++listed;
      ReadAhead(stretch, i, listed, shortPeaks, wide);
    }
    // While the hold stands where the run's test took it, that test's yes stands for a window
    // whose reading was given.
    ReadNewest(i, guards_[i], peakHold_ == hold && !std::isnan(readings_[i + kShortEnd]),
               readsAhead ? wide[i] : kUnread);
  }
  peakHold_ = std::max(peakHold_, failed);
  KeepNewest(count);
}

void WideTruePeakMeter::Process(float x) {
  const double sample = x;
  Append(&sample, nullptr, 1);
  ReadRun(1);
}

void WideTruePeakMeter::ProcessRun(const double* x, int n) { ProcessRun(x, nullptr, n); }

void WideTruePeakMeter::ProcessRun(const double* x, const float* readings, int n) {
  while (n > 0) {
    const int count = std::min(n, kRun);
    Append(x, readings, count);
    ReadRun(count);
    x += count;
    if (readings) readings += count;
    n -= count;
  }
}

void WideTruePeakMeter::Flush() {
  for (int i = 0; i <= kLag; ++i) Process(0.0f);
}
