#pragma once

#include "dsp/kernels/LaneVectors.h"
#include "meters/GatingHistogram.h"
#include "meters/KWeighting.h"
#include "meters/MeterBlockTaps.h"
#include "meters/MeterSnapshot.h"
#include "meters/PowerWindows.h"

// Loudness of the output (momentary, short-term, integrated, per channel, loudness range), of the
// input (integrated) and of the driven signal (short-term, for the input peak-to-loudness ratio).
// Per sample: K-weighting and running windows; per tick: logarithms and gating histograms.
class LoudnessMeter {
 public:
  void Prepare(double sampleRate);
  void Reset();  // windows, histograms, phase; the coefficients stay

  // A run of samples: raw input (in), driven signal and catcher output (o). [audio thread]
  void AccumulateBlock(const MeterBlockTaps& t);
  // One sample of the same, x: raw input, y: driven signal, o: catcher output: the plain form
  // the block form must equal.
  void Accumulate(const double* x, const double* y, const double* o);

  // Output readings, gating and loudness range: lufsL/R/M/S, lufsI, lra.
  void TickOutput(bool mono, MeterSnapshot& s);
  // Input gating block and lufsI_in; on the ticks the output took a gating block.
  void TickInput(bool mono, MeterSnapshot& s);
  // Short-term loudness of the driven signal, for psrIn.
  double DrivenShortTermLufs(bool mono) const;

  double OutShortTermLufs() const { return outShortTermLufs_; }
  // The loudest momentary loudness of the output since prepare or reset. Taken every 10 ms of the
  // samples accumulated, whatever the runs and ticks: read only at the 50-ms ticks, a 400-ms
  // burst could fall between two of them and read up to 0.28 LU low.
  double MaxMomentaryLufs(bool mono) const;

 private:
  static double MonoFactor(bool mono) { return mono ? 0.5 : 1.0; }
  // At each step of the 10-ms grid: the momentary power now, into the maximum.
  void StepMomentaryMax();

  // The block kernel (the same source built for the baseline and for AVX2 with FMA) on a run
  // that neither ring wraps within.
  template <class Lanes>
  void Kernel(const MeterBlockTaps& t, int from, int to);
  void KernelBaseline(const MeterBlockTaps& t, int from, int to);
  ZARN_LANES_AVX2_FMA void KernelAvx2(const MeterBlockTaps& t, int from, int to);

  KWeightingCoefficients k_ = KWeightingCoefficients::Design(48000.0);

  KWeightingFilter out_[2], in_[2], driven_[2];
  // Lanes: output L, R and input L, R; output L, R and driven L, R.
  PowerWindows momentary_, shortTerm_;
  GatingHistogram outGating_, inGating_;
  LoudnessRangeHistogram range_;
  int gatingPhase_ = 0;
  // Gating blocks and short-term values count only once their window holds programme: blocks
  // that still contain the zeros from before a start or reset would read the programme low.
  int samplesSinceReset_ = 0;
  int momentaryLength_ = 1;
  int shortTermLength_ = 1;
  int maxStep_ = 480;  // samples from one evaluation of the maximum to the next
  int untilMaxStep_ = 480;
  double maxMomentaryPower_ = 0.0;  // two-channel, before the mono factor
  double outShortTermLufs_ = -100.0;
  bool avx2_ = false;
};
