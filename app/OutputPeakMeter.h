#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "dsp/TruePeakDetector.h"
#include "dsp/TruePeakTable.h"

// Sample peak and true peak of a whole file as it is written, over all channels. The true peak
// uses the plug-in's own 16-phase estimator with its full-band table: a band-limited table would
// measure a low-passed copy of the output, whose peaks can stand above the output's own.
class OutputPeakMeter {
 public:
  explicit OutputPeakMeter(int nChannels);

  void Add(const double* interleaved, int64_t frames);
  // Pushes the last samples through the interpolator's delay; call once after the last Add.
  void Finish();

  double SamplePeak() const { return samplePeak_; }  // linear
  double TruePeak() const { return truePeak_; }      // linear

 private:
  void Measure(int channel, double sample);

  std::unique_ptr<TruePeakTable> table_;  // on the heap: the detectors keep its address
  std::vector<TruePeakDetector> detectors_;
  double samplePeak_ = 0.0;
  double truePeak_ = 0.0;
};
