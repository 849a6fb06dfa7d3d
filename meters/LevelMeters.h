#pragma once

#include "dsp/kernels/LaneVectors.h"
#include "meters/MeterBlockTaps.h"
#include "meters/MeterSnapshot.h"

// Input level, VU-style output level, gain reduction, 3-s true-peak maxima, peak-to-loudness
// ratios and the output's stereo correlation.
class LevelMeters {
 public:
  static constexpr int kPeakSlots = 60;  // ticks: 3 s

  void Prepare(double sampleRate);
  void Reset();

  // A run of samples: raw input (in) and catcher output (o). [audio thread]
  void AccumulateBlock(const MeterBlockTaps& t);
  // One sample of the same, x: raw input, o: catcher output: the plain form the block form must
  // equal.
  void Accumulate(const double* x, const double* o) {
    for (int ch = 0; ch < 2; ++ch) {
      msIn_[ch] = cIn_ * x[ch] * x[ch] + (1.0 - cIn_) * msIn_[ch];
      msFast_[ch] = cFast_ * o[ch] * o[ch] + (1.0 - cFast_) * msFast_[ch];
      msSlow_[ch] = cSlow_ * o[ch] * o[ch] + (1.0 - cSlow_) * msSlow_[ch];
    }
    sumLR_ += o[0] * o[1];
    sumLL_ += o[0] * o[0];
    sumRR_ += o[1] * o[1];
    ++count_;
  }

  // inL/R, vuL/R, grL/R from the smoothed limiter gains.
  void TickLevels(const double* smoothedGain, bool channelsIndependent, MeterSnapshot& s);
  // tpL/R and the peak-to-loudness ratios from this tick's peak holds (linear): output L and R,
  // driven L; returns the larger output peak of the tick.
  float TickPeaks(float outL, float outR, float drivenL, double drivenShortTermLufs,
                  MeterSnapshot& s);
  void TickCorrelation(MeterSnapshot& s);

 private:
  // The block kernel, built for the baseline and for AVX2 with FMA.
  template <class Lanes>
  void Kernel(const MeterBlockTaps& t);
  void KernelBaseline(const MeterBlockTaps& t);
  ZARN_LANES_AVX2_FMA void KernelAvx2(const MeterBlockTaps& t);

  double cIn_ = 0.0, cFast_ = 0.0, cSlow_ = 0.0;
  double msIn_[2] = {}, msFast_[2] = {}, msSlow_[2] = {};
  float peaks_[3][kPeakSlots] = {};  // output L, output R, driven L
  int peakPosition_ = 0;
  double sumLR_ = 0.0, sumLL_ = 0.0, sumRR_ = 0.0;
  int count_ = 0;
  double correlation_ = 0.0;
  bool avx2_ = false;
};

// 10 log10 of a power, or -100 at or below 1e-10.
float PowerDb(double power);
// 20 log10 of an amplitude, or -100 at or below 1e-10.
float AmplitudeDb(double amplitude);
