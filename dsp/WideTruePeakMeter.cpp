#include "dsp/WideTruePeakMeter.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "dsp/TruePeakKernel.h"
#include "dsp/WideGate.h"

WideTruePeakMeter::WideTruePeakMeter()
    : table_(&TruePeakTable::DefaultCatcher()),
      wide_(&WideInterpolator::Shared()),
      gate_(&WideGate::Shared()) {}

void WideTruePeakMeter::Reset() {
  std::fill(std::begin(ring_), std::end(ring_), 0.0f);
  newest_ = kRing - 1;
  peakHold_ = 0.0f;
  guard_.Reset();
}

void WideTruePeakMeter::Process(float x) {
  if (!std::isfinite(x)) x = 0.0f;
  newest_ = (newest_ + 1) & (kRing - 1);
  ring_[newest_] = ring_[newest_ + kRing] = x;
  guard_.Push(x);
  const float* window = ring_ + ((newest_ + 1) & (kRing - 1));  // oldest first
  // The samples either side of the interval are points of the reconstruction too.
  float peak = std::max(std::fabs(window[WideInterpolator::kCentre]),
                        std::fabs(window[WideInterpolator::kCentre + 1]));
  const float shortPeak = truepeak::InterpolatedPeak(*table_, window + WideGate::kShortOffset, 0.0f);
  if (gate_->MayExceed(shortPeak, guard_.Envelope(kLag), window, std::max(peakHold_, peak))) {
    float y[TruePeakTable::kPhases];
    wide_->Interpolate(window, y);
    peak = truepeak::PeakOfPhases(y, peak);
  }
  peakHold_ = std::max(peakHold_, peak);
}

void WideTruePeakMeter::Flush() {
  for (int i = 0; i <= kLag; ++i) Process(0.0f);
}
