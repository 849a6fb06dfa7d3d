#include "meters/BandSplit.h"

#include <algorithm>
#include <cmath>
#include <numbers>

BandCoefficients BandCoefficients::ForRate(double sampleRate) {
  static constexpr double kFrequencies[kSplits] = {40.0, 125.0, 400.0, 1250.0, 4000.0};
  BandCoefficients c;
  for (int k = 0; k < kSplits; ++k) {
    // Past a quarter of the rate tan() would turn negative and the filter unstable (at rates
    // below 16 kHz for the 4 kHz split): such a split passes everything instead.
    const double angle = std::min(2.0 * std::numbers::pi * kFrequencies[k] / sampleRate, 1.56);
    const double t = std::tan(angle);
    c.a[k] = static_cast<float>(t / (1.0 + t));
  }
  return c;
}
