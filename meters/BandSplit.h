#pragma once

// Six bands from five parallel two-stage one-pole low-passes at 40, 125, 400, 1250 and 4000 Hz:
// the lowest band is the 40 Hz low-pass, each next band the difference of neighbouring low-passes,
// the top band what lies above 4 kHz. Single precision.
struct BandCoefficients {
  static constexpr int kSplits = 5;
  float a[kSplits] = {};
  static BandCoefficients ForRate(double sampleRate);
};

// A chunk of the four band splits of the gain analysis (lanes o L, o R, u L, u R) as it hands
// them to the impact indicators: per sample the split inputs and two of the low-passes.
struct SplitChunk {
  int frames = 0;
  const double (*input)[4] = nullptr;  // o L, o R, u L, u R
  const float* lowPasses = nullptr;    // per sample the four 125 Hz, then the four 1250 Hz ones
  int stride = 8;                      // floats from one sample's low-passes to the next
};

class BandSplit {
 public:
  static constexpr int kBands = 6;

  void Reset() {
    for (int k = 0; k < BandCoefficients::kSplits; ++k) s1_[k] = s2_[k] = 0.0f;
  }

  void Process(const BandCoefficients& c, float x, float* bands) {
    for (int k = 0; k < BandCoefficients::kSplits; ++k) {
      s1_[k] += c.a[k] * (x - s1_[k]);
      s2_[k] += c.a[k] * (s1_[k] - s2_[k]);
    }
    bands[0] = s2_[0];
    for (int k = 1; k < BandCoefficients::kSplits; ++k) bands[k] = s2_[k] - s2_[k - 1];
    bands[5] = x - s2_[4];
  }

  // The second-stage low-pass of split k (0: 40 Hz .. 4: 4 kHz).
  float LowPass(int k) const { return s2_[k]; }

 private:
  friend class GainAnalysis;  // its block kernel runs all four splits side by side in vectors

  float s1_[BandCoefficients::kSplits] = {};
  float s2_[BandCoefficients::kSplits] = {};
};
