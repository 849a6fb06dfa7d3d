#include "dsp/TruePeakDetector.h"

#include <algorithm>
#include <iterator>
#include <cmath>

#include "dsp/TruePeakKernel.h"

void TruePeakDetector::Reset() {
  std::fill(std::begin(ring_), std::end(ring_), 0.0f);
  index_ = 0;
  peakHold_ = 0.0f;
}

float TruePeakDetector::Process(float x) {
  ring_[index_] = x;
  ring_[index_ + kLength] = x;
  float y[TruePeakTable::kPhases];
  // The newest 48 samples, oldest first, start just after the newest one's first copy.
  truepeak::InterpolatePhases(*table_, ring_ + index_ + 1, y);
  const float a = truepeak::PeakOfPhases(y, std::fabs(x));
  if (++index_ == kLength) index_ = 0;
  peakHold_ = std::max(peakHold_, a);
  return a;
}
