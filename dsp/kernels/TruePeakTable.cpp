#include "dsp/kernels/TruePeakTable.h"

#include "dsp/kernels/Kaiser.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr int kPrototypeLength = TruePeakTable::kPhases * TruePeakTable::kTaps;  // 768
constexpr double kCentre = (kPrototypeLength - 1) / 2.0;                        // 383.5
constexpr double kKaiserBeta = 8.0;

double PrototypeTap(int i, double cutoff) {
  const double t = i - kCentre;
  const double window = kaiser::Window(t, kCentre, kKaiserBeta);
  const double sinc = std::sin(2.0 * std::numbers::pi * cutoff * t) / (std::numbers::pi * t);
  return TruePeakTable::kPhases * window * sinc;
}

}  // namespace

void TruePeakTable::Design(double cutoff) {
  for (int k = 0; k < kPhases; ++k)
    for (int m = 0; m < kTaps; ++m)
      tapMajor[m][k] = static_cast<float>(PrototypeTap(k + kPhases * m, cutoff));
  // Tap m weighs the sample m before the newest, window[47 - m].
  folded.Fold([this](int k, int i) { return static_cast<double>(tapMajor[kTaps - 1 - i][k]); });
}

double TruePeakTable::DetectionCutoff(double sampleRate) {
  // Above 48 kHz most of the band lies over 20 kHz: if the gain computer ignored it, the peak
  // catcher alone would have to hold full-band material there, dip after dip, and dips that
  // close together disturb the points they have already checked. Programme limited to 20 kHz
  // reads the same through either table.
  if (sampleRate > kWideBandRate) return kCatcherCutoff;
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
