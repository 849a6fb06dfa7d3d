#pragma once

#include "meters/GatingHistogram.h"
#include "meters/KWeighting.h"
#include "meters/MeterSnapshot.h"
#include "meters/PowerWindow.h"

// Loudness of the output (momentary, short-term, integrated, per channel, loudness range), of the
// input (integrated) and of the driven signal (short-term, for the input peak-to-loudness ratio).
// Per sample: K-weighting and running windows; per tick: logarithms and gating histograms.
class LoudnessMeter {
 public:
  void Prepare(double sampleRate);
  void Reset();  // windows, histograms, phase; the coefficients stay

  // x: raw input, y: driven signal, o: catcher output, both channels. [audio thread]
  void Accumulate(const double* x, const double* y, const double* o) {
    if (samplesSinceReset_ < shortTermLength_) ++samplesSinceReset_;
    for (int ch = 0; ch < 2; ++ch) {
      const double ko = out_[ch].Process(k_, o[ch]);
      outMomentary_[ch].Push(ko * ko);
      outShortTerm_[ch].Push(ko * ko);
      const double ki = in_[ch].Process(k_, x[ch]);
      inMomentary_[ch].Push(ki * ki);
      const double kd = driven_[ch].Process(k_, y[ch]);
      drivenShortTerm_[ch].Push(kd * kd);
    }
  }

  // Output readings, gating and loudness range: lufsL/R/M/S, lufsI, lra.
  void TickOutput(bool mono, MeterSnapshot& s);
  // Input gating block and lufsI_in; on the ticks the output took a gating block.
  void TickInput(bool mono, MeterSnapshot& s);
  // Short-term loudness of the driven signal, for psrIn.
  double DrivenShortTermLufs(bool mono) const;

  double OutShortTermLufs() const { return outShortTermLufs_; }

 private:
  static double MonoFactor(bool mono) { return mono ? 0.5 : 1.0; }

  KWeightingCoefficients k_ = KWeightingCoefficients::Design(48000.0);
  KWeightingFilter out_[2], in_[2], driven_[2];
  PowerWindow outMomentary_[2], outShortTerm_[2], inMomentary_[2], drivenShortTerm_[2];
  GatingHistogram outGating_, inGating_;
  LoudnessRangeHistogram range_;
  int gatingPhase_ = 0;
  // Gating blocks and short-term values count only once their window holds programme: blocks
  // that still contain the zeros from before a start or reset would read the programme low.
  int samplesSinceReset_ = 0;
  int momentaryLength_ = 1;
  int shortTermLength_ = 1;
  double outShortTermLufs_ = -100.0;
};
