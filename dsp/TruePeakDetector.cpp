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
  // The newest 48 samples, oldest first, start just after the newest one's first copy.
  const float a = truepeak::InterpolatedPeak(*table_, ring_ + index_ + 1, std::fabs(x));
  if (++index_ == kLength) index_ = 0;
  peakHold_ = std::max(peakHold_, a);
  return a;
}
