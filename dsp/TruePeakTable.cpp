#include "dsp/TruePeakTable.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr int kPrototypeLength = TruePeakTable::kPhases * TruePeakTable::kTaps;  // 768
constexpr double kCentre = (kPrototypeLength - 1) / 2.0;                        // 383.5
constexpr double kKaiserBeta = 8.0;
constexpr double kI0OfBeta = 427.56411572180474;

// Modified Bessel function of the first kind, order 0, from its power series.
double BesselI0(double x) {
  const double quarterX2 = 0.25 * x * x;
  double sum = 1.0, term = 1.0;
  for (int k = 1; k < 500; ++k) {
    term *= quarterX2 / (static_cast<double>(k) * k);
    sum += term;
    if (term < 1e-15 * sum) break;
  }
  return sum;
}

double PrototypeTap(int i, double cutoff) {
  const double t = i - kCentre;
  const double r = t / kCentre;
  const double window = BesselI0(kKaiserBeta * std::sqrt(std::max(0.0, 1.0 - r * r))) / kI0OfBeta;
  const double sinc = std::sin(2.0 * std::numbers::pi * cutoff * t) / (std::numbers::pi * t);
  return TruePeakTable::kPhases * window * sinc;
}

}  // namespace

void TruePeakTable::Design(double cutoff) {
  for (int k = 0; k < kPhases; ++k)
    for (int m = 0; m < kTaps; ++m)
      tapMajor[m][k] = static_cast<float>(PrototypeTap(k + kPhases * m, cutoff));
}

double TruePeakTable::DetectionCutoff(double sampleRate) {
  return std::min(20000.0 / (kPhases * sampleRate), kCatcherCutoff);
}

const TruePeakTable& TruePeakTable::DefaultDetection() {
  static const TruePeakTable table = [] {
    TruePeakTable t;
    t.Design(DetectionCutoff(48000.0));
    return t;
  }();
  return table;
}

const TruePeakTable& TruePeakTable::DefaultCatcher() {
  static const TruePeakTable table = [] {
    TruePeakTable t;
    t.Design(kCatcherCutoff);
    return t;
  }();
  return table;
}
