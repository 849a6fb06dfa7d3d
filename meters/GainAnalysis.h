#pragma once

#include "meters/BandSplit.h"
#include "meters/MeterSnapshot.h"

// How the limiter treats the programme: pumping and fast modulation of its gain, gain steadiness,
// transient score, load, stereo gain difference, an audibility model of the limiting distortion
// (noise-to-mask ratio, which also tells the gain computer how fast it may release), per-band
// stereo correlation and the bands that cause the gain reduction.
class GainAnalysis {
 public:
  static constexpr int kBands = BandSplit::kBands;
  static constexpr int kHistory = 40;  // ticks: 2 s
  static constexpr int kModulationBins = 20;

  // One stereo sample of what the analysis reads.
  struct Taps {
    double u[2];          // limiter input
    double v[2];          // look-ahead-delayed limiter input (lines up with g)
    double o[2];          // catcher output
    double g[2];          // smoothed limiter gain
    double gainState[2];  // gain before smoothing
    double msDriven[2];   // 3-s mean square of the driven signal
  };

  void Prepare(double sampleRate);
  void Reset(const double* gainState);

  // Band splits of u (B) and o (A) for both channels; also read by the impact indicators.
  void Accumulate(const Taps& t, bool channelsIndependent);
  const BandSplit& SplitOnInput(int ch) const { return splitB_[ch]; }
  const BandSplit& SplitOnOutput(int ch) const { return splitA_[ch]; }

  // Every reading of this analysis, in the tick's order. smoothedGainLeft: for deltaSfm.
  void Tick(float ceilingDbLeft, double smoothedGainLeft, MeterSnapshot& s);

  double Maskedness(int ch) const { return maskedness_[ch]; }

 private:
  struct Channel {
    double history[kHistory] = {};
    int historyPosition = 0;
    double tickSum = 0.0;
    int tickCount = 0;
    double modulation[kModulationBins + 1] = {};  // S_1..S_20
    double sum = 0.0, sumSquares = 0.0;
    int n = 0;
    double transientSum = 0.0;
    int transientCount = 0;
    double heldTransientScore = 1.0;
    float e[kBands] = {}, r[kBands] = {}, w[kBands] = {};
    void Clear(double transientScore);
  };

  float NoiseToMask(const Channel& c) const;
  static float Steadiness(Channel& c);
  void Pumping(Channel& c, float& pwmd, float& ehs) const;
  static float TransientScore(Channel& c);

  double sampleRate_ = 48000.0;
  BandCoefficients bands_;
  double loadCoefficient_ = 0.0;
  BandSplit splitA_[2], splitB_[2];
  Channel channels_[2];
  double load_ = 0.0;
  double gainDifference_ = 0.0;
  double bandLR_[kBands] = {}, bandLL_[kBands] = {}, bandRR_[kBands] = {};
  double bandCorrelation_[kBands] = {};
  double cause_[kBands] = {};
  double maskedness_[2] = {};
};
