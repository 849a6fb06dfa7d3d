#include "app/OutputPeakMeter.h"

#include <algorithm>
#include <cmath>

OutputPeakMeter::OutputPeakMeter(int nChannels)
    : table_(std::make_unique<TruePeakTable>()), detectors_(static_cast<size_t>(nChannels)) {
  table_->Design(TruePeakTable::kCatcherCutoff);
  for (auto& detector : detectors_) {
    detector.SetTable(table_.get());
    detector.Reset();
  }
}

void OutputPeakMeter::Add(const double* interleaved, int64_t frames) {
  const int nChannels = static_cast<int>(detectors_.size());
  for (int64_t i = 0; i < frames; ++i)
    for (int c = 0; c < nChannels; ++c) Measure(c, interleaved[i * nChannels + c]);
}

void OutputPeakMeter::Finish() {
  for (int i = 0; i < TruePeakTable::kTaps; ++i)
    for (size_t c = 0; c < detectors_.size(); ++c)
      truePeak_ = std::max(truePeak_, static_cast<double>(detectors_[c].Process(0.0f)));
}

void OutputPeakMeter::Measure(int channel, double sample) {
  samplePeak_ = std::max(samplePeak_, std::abs(sample));
  const float estimate = detectors_[static_cast<size_t>(channel)].Process(static_cast<float>(sample));
  truePeak_ = std::max(truePeak_, static_cast<double>(estimate));
}
