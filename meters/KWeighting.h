#pragma once

// The K-weighting of loudness measurement: a high shelf (+4 dB above about 1.7 kHz) and a
// high-pass at about 38 Hz, both designed from analogue prototypes for the running rate. The
// high-pass numerator is normalised like its denominator (unity gain at Nyquist), which reads
// 0.043 LU lower than the published 48 kHz coefficients.
struct Biquad {
  double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
};

struct KWeightingCoefficients {
  Biquad shelf, highPass;
  static KWeightingCoefficients Design(double sampleRate);
};

class KWeightingFilter {
 public:
  void Reset() { s1_[0] = s1_[1] = s2_[0] = s2_[1] = 0.0; }
  double Process(const KWeightingCoefficients& k, double x) {
    return Step(k.highPass, s2_, Step(k.shelf, s1_, x));
  }

 private:
  friend class LoudnessMeter;  // its block kernel runs six filters side by side in vectors

  // Direct form II; states that fall below 1e-20 are flushed to 0.
  static double Step(const Biquad& q, double* s, double x) {
    double w = x - q.a1 * s[0] - q.a2 * s[1];
    if (w > -1e-20 && w < 1e-20) w = 0.0;
    const double y = q.b0 * w + q.b1 * s[0] + q.b2 * s[1];
    s[1] = s[0];
    s[0] = w;
    return y;
  }

  double s1_[2] = {0, 0};
  double s2_[2] = {0, 0};
};
