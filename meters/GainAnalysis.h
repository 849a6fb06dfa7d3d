#pragma once

#include "dsp/kernels/LaneVectors.h"
#include "meters/BandSplit.h"
#include "meters/MeterBlockTaps.h"
#include "meters/MeterSnapshot.h"

class ImpactIndicators;

// How the limiter treats the programme: pumping and fast modulation of its gain, gain steadiness,
// transient score, load, stereo gain difference, an audibility model of the limiting distortion
// (noise-to-mask ratio, which also tells the gain computer how fast it may release), per-band
// stereo correlation and the bands that cause the gain reduction.
class GainAnalysis {
 public:
  static constexpr int kBands = BandSplit::kBands;
  static constexpr int kHistory = 40;  // ticks: 2 s
  static constexpr int kModulationBins = 20;

  // Runs are taken in chunks of at most this many samples.
  static constexpr int kChunk = 128;

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

  // A run of samples: u, v, o, g, gainState, msDriven. The impact indicators read the band
  // splits sample by sample: they take each chunk of the run right after the analysis. [audio
  // thread]
  void AccumulateBlock(const MeterBlockTaps& t, bool channelsIndependent, ImpactIndicators& impact);
  // One sample of the same, the plain form the block form must equal: band splits of u (B) and
  // o (A) for both channels, also read by the impact indicators.
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

  // What one chunk's passes hand on to the next, per sample, in lanes o L, o R, u L, u R.
  struct Scratch {
    float bands[kChunk][24];  // bands 0 and 2, 1 and 3, 4 and 5
    float lowMid[kChunk][8];  // the 125 Hz and 1250 Hz low-passes, for the impact indicators
    double input[kChunk][4];  // the splits' input, for the impact indicators
    double load[kChunk];      // the load term of the left gain
  };

  // The block kernel on one chunk, built for the baseline and for AVX2 (never with fused
  // multiply-adds: the noise-to-mask ratio subtracts nearly equal band energies). It runs in
  // passes over the chunk, each keeping its own state in registers.
  template <class Lanes>
  void Kernel(const MeterBlockTaps& t, int from, int count, bool channelsIndependent);
  template <class Lanes>
  void SplitPass(const MeterBlockTaps& t, int from, int count);
  template <class Lanes>
  void EnergyPass(const MeterBlockTaps& t, int from, int count);
  template <class Lanes>
  void StereoSumPass(int count);
  template <class Lanes>
  void StatisticsPass(const MeterBlockTaps& t, int from, int count, bool channelsIndependent);
  void KernelBaseline(const MeterBlockTaps& t, int from, int count, bool channelsIndependent);
  ZARN_LANES_AVX2 void KernelAvx2(const MeterBlockTaps& t, int from, int count, bool channelsIndependent);

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
  Scratch scratch_;
  bool avx2_ = false;
};
