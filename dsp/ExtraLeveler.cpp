#include "dsp/ExtraLeveler.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double kMaxLiftDb = 14.8;
constexpr double kKneeDb = -18.0;
const double kKneeLin = std::pow(10.0, -0.9);  // -18 dBFS
constexpr double kSlope = 0.6;                  // dB less lift per dB above the knee
constexpr double kStateFloor = 1e-20;
}  // namespace

ExtraLeveler::Coefficients ExtraLeveler::ForRate(double sampleRate) {
  return {std::exp(-1.0 / (0.01 * sampleRate)), std::exp(-1.0 / (0.15 * sampleRate))};
}

double ExtraLeveler::Gain(double xL, double xR, double amount, const Coefficients& c) {
  const double u = std::max(std::fabs(xL), std::fabs(xR));
  const double a = envelope_ < u ? c.attack : c.release;
  envelope_ = envelope_ * a + u * (1.0 - a);
  if (envelope_ < kStateFloor) envelope_ = 0.0;
  const double reductionDb =
      envelope_ > kKneeLin ? amount * kSlope * (20.0 * std::log10(envelope_) - kKneeDb) : 0.0;
  return std::pow(10.0, (amount * kMaxLiftDb - reductionDb) / 20.0);
}
