#pragma once

#include <cstdint>
#include <vector>

#include "dsp/WideTruePeakMeter.h"

// Sample peak and true peak of a whole file as it is written (or read), over all channels. The true peak
// is the plug-in's own full-band meter, which reads as an ideal reconstruction would; a
// band-limited one would measure a low-passed copy of the output, whose peaks can stand above
// the output's own.
class OutputPeakMeter {
 public:
  explicit OutputPeakMeter(int nChannels);

  // `frames` frames of every channel, one array per channel.
  void Add(const double* const* channels, int64_t frames);
  // Reads the last samples, with silence after them; call once after the last Add.
  void Finish();

  double SamplePeak() const { return samplePeak_; }  // linear
  double TruePeak() const { return truePeak_; }      // linear

 private:
  std::vector<WideTruePeakMeter> meters_;
  double samplePeak_ = 0.0;
  double truePeak_ = 0.0;
};
