#pragma once

#include "dsp/kernels/LaneVectors.h"
#include "meters/BandSplit.h"
#include "meters/MeterSnapshot.h"

// What limiting changed, comparing the limiter input u with the catcher output o: crest factor
// lost per range (punch), spectral balance and stereo width; risks for later lossy coding and
// sample-rate conversion; the effective ceiling; and the codec pre-attenuation and model features
// that the ceiling control reads back.
class ImpactIndicators {
 public:
  static constexpr int kFeatures = 5;
  static constexpr int kCeilingHitSlots = 10;

  void Prepare(double sampleRate);  // the punch and balance averages keep running
  void Reset();

  // A chunk of samples: u, o and their band splits, as GainAnalysis::AccumulateBlock hands them
  // on. [audio thread]
  void AccumulateBlock(const SplitChunk& c);
  // One sample: the band splits of u and o (left, right) and the split inputs; the plain form
  // the block form must equal.
  void Accumulate(const BandSplit& inputLeft, const BandSplit& inputRight, const double* u,
                  const BandSplit& outputLeft, const BandSplit& outputRight, const double* o) {
    AccumulateSide(input_, inputLeft, inputRight, u);
    AccumulateSide(output_, outputLeft, outputRight, o);
  }

  // The tick's readings; s holds everything earlier steps of the tick computed.
  void Tick(float ceilingDbLeft, int codecMode, double codecHeadroomDb, MeterSnapshot& s);

  double CodecPreAttenDb() const { return codecPreAttenDb_; }
  const float* Features() const { return features_; }

 private:
  struct Side {
    double peak[3] = {}, mean[3] = {};  // low, mid, high
    double low = 0.0, high = 0.0, total = 0.0, mid = 0.0, side = 0.0;
  };
  // The block kernel, built for the baseline and for AVX2 with FMA.
  template <class Lanes>
  void Kernel(const SplitChunk& c);
  void KernelBaseline(const SplitChunk& c);
  ZARN_LANES_AVX2_FMA void KernelAvx2(const SplitChunk& c);
  void AccumulateSide(Side& side, const BandSplit& left, const BandSplit& right, const double* x);
  float CeilingHitFraction(float ceilingDbLeft, float tpL);

  double punchCoefficient_ = 0.0;    // 300 ms
  double balanceCoefficient_ = 0.0;  // 3 s
  Side input_, output_;
  double codecPreAttenDb_ = 0.0;
  float ceilingHits_[kCeilingHitSlots] = {};
  int ceilingHitPosition_ = 0;
  float features_[kFeatures] = {};
  bool avx2_ = false;
};
