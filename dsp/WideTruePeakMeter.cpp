#include "dsp/WideTruePeakMeter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>

#include "dsp/TruePeakKernel.h"
#include "dsp/WideGate.h"

WideTruePeakMeter::WideTruePeakMeter()
    : table_(&TruePeakTable::DefaultCatcher()),
      wide_(&WideInterpolator::Shared()),
      gate_(&WideGate::Shared()) {}

void WideTruePeakMeter::Reset() {
  std::fill(std::begin(line_), std::end(line_), 0.0f);
  peakHold_ = 0.0f;
  guard_.Reset();
}

void WideTruePeakMeter::ReadNewest(int i, int after) {
  const float* window = line_ + i;  // the newest 256, oldest first
  // The samples either side of the interval are points of the reconstruction too.
  float peak = std::max(std::fabs(window[WideInterpolator::kCentre]),
                        std::fabs(window[WideInterpolator::kCentre + 1]));
  const float shortPeak = truepeak::InterpolatedPeak(*table_, window + WideGate::kShortOffset, 0.0f);
  const float guard = guard_.Envelope(kLag + after);
  const float threshold = std::max(peakHold_, peak);
  if (gate_->MayExceedBound(shortPeak, guard, squares_ + i, threshold) &&
      gate_->MayExceed(shortPeak, guard, window, threshold)) {
    float y[TruePeakTable::kPhases];
    wide_->Interpolate(window, y);
    peak = truepeak::PeakOfPhases(y, peak);
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
}

void WideTruePeakMeter::Process(float x) {
  line_[kKept] = std::isfinite(x) ? x : 0.0f;
  SumSquares(1);
  guard_.Push(line_[kKept]);
  ReadNewest(0, 0);
  KeepNewest(1);
}

void WideTruePeakMeter::ProcessRun(const double* x, int n) {
  while (n > 0) {
    const int count = std::min(n, kRun);
    for (int i = 0; i < count; ++i) {
      const float v = static_cast<float>(x[i]);
      line_[kKept + i] = std::isfinite(v) ? v : 0.0f;
    }
    SumSquares(count);
    guard_.PushRun(line_ + kKept, count);
    for (int i = 0; i < count; ++i) ReadNewest(i, count - 1 - i);
    KeepNewest(count);
    x += count;
    n -= count;
  }
}

void WideTruePeakMeter::Flush() {
  for (int i = 0; i <= kLag; ++i) Process(0.0f);
}
