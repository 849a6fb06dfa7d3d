#include "app/OutputPeakMeter.h"

#include <algorithm>
#include <cmath>

OutputPeakMeter::OutputPeakMeter(int nChannels) : meters_(static_cast<size_t>(nChannels)) {}

void OutputPeakMeter::Add(const double* interleaved, int64_t frames) {
  const int nChannels = static_cast<int>(meters_.size());
  for (int64_t i = 0; i < frames; ++i)
    for (int c = 0; c < nChannels; ++c) Measure(c, interleaved[i * nChannels + c]);
}

void OutputPeakMeter::Finish() {
  for (WideTruePeakMeter& meter : meters_) {
    meter.Flush();
    truePeak_ = std::max(truePeak_, static_cast<double>(meter.PeakHold()));
  }
}

void OutputPeakMeter::Measure(int channel, double sample) {
  samplePeak_ = std::max(samplePeak_, std::abs(sample));
  meters_[static_cast<size_t>(channel)].Process(static_cast<float>(sample));
}
