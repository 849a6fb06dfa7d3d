#include "app/render/OutputPeakMeter.h"

#include <algorithm>
#include <cmath>

OutputPeakMeter::OutputPeakMeter(int nChannels) : meters_(static_cast<size_t>(nChannels)) {}

// A channel at a time, in runs: the readings do not depend on the order, as each channel has its
// own meter and the peaks are maxima.
void OutputPeakMeter::Add(const double* const* channels, int64_t frames) {
  constexpr int64_t kMostPerCall = 1 << 20;
  for (size_t c = 0; c < meters_.size(); ++c) {
    const double* x = channels[c];
    double samplePeak = samplePeak_;
    for (int64_t i = 0; i < frames; ++i) samplePeak = std::max(samplePeak, std::abs(x[i]));
    samplePeak_ = samplePeak;
    for (int64_t done = 0; done < frames;) {
      const int n = static_cast<int>(std::min(frames - done, kMostPerCall));
      meters_[c].ProcessRun(x + done, n);
      done += n;
    }
  }
}

void OutputPeakMeter::Finish() {
  for (WideTruePeakMeter& meter : meters_) {
    meter.Flush();
    truePeak_ = std::max(truePeak_, static_cast<double>(meter.PeakHold()));
  }
}
