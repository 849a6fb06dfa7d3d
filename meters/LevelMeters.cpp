#include "meters/LevelMeters.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {
double Coefficient(double seconds, double sampleRate) {
  return 1.0 - std::exp(-1.0 / (seconds * sampleRate));
}
constexpr double kCorrelationSmoothing = 0.8464817248906141;  // exp(-1/6): 300 ms at 50-ms ticks
}  // namespace

float PowerDb(double power) {
  return power > 1e-10 ? static_cast<float>(10.0 * std::log10(power)) : -100.0f;
}

float AmplitudeDb(double amplitude) {
  return amplitude > 1e-10 ? static_cast<float>(20.0 * std::log10(amplitude)) : -100.0f;
}

void LevelMeters::Prepare(double sampleRate) {
  cIn_ = Coefficient(0.3, sampleRate);
  cFast_ = Coefficient(0.0651, sampleRate);
  cSlow_ = Coefficient(0.095, sampleRate);
  Reset();
}

void LevelMeters::Reset() {
  for (int ch = 0; ch < 2; ++ch) msIn_[ch] = msFast_[ch] = msSlow_[ch] = 0.0;
  for (auto& ring : peaks_) std::fill(std::begin(ring), std::end(ring), 0.0f);
  peakPosition_ = 0;
  sumLR_ = sumLL_ = sumRR_ = 0.0;
  count_ = 0;
  correlation_ = 0.0;
}

void LevelMeters::TickLevels(const double* smoothedGain, bool channelsIndependent,
                             MeterSnapshot& s) {
  s.inL = PowerDb(msIn_[0]);
  s.inR = PowerDb(msIn_[1]);
  float* vu[2] = {&s.vuL, &s.vuR};
  for (int ch = 0; ch < 2; ++ch) {
    // The fast average, lifted while it runs ahead of the slow one: a VU needle's overshoot.
    const double v = msFast_[ch] *
                     (1.0 + 0.6 * std::max(0.0, msFast_[ch] - msSlow_[ch]) / std::max(1e-20, msSlow_[ch]));
    *vu[ch] = PowerDb(v);
  }
  auto reduction = [](double g) {
    return g >= 0.999999 ? 0.0f : static_cast<float>(20.0 * std::log10(std::max(1e-10, g)));
  };
  s.grL = reduction(smoothedGain[0]);
  s.grR = channelsIndependent ? reduction(smoothedGain[1]) : s.grL;
}

float LevelMeters::TickPeaks(float outL, float outR, float drivenL, double drivenShortTermLufs,
                             MeterSnapshot& s) {
  peaks_[0][peakPosition_] = outL;
  peaks_[1][peakPosition_] = outR;
  peaks_[2][peakPosition_] = drivenL;
  peakPosition_ = (peakPosition_ + 1) % kPeakSlots;
  const float pl = *std::max_element(std::begin(peaks_[0]), std::end(peaks_[0]));
  const float pr = *std::max_element(std::begin(peaks_[1]), std::end(peaks_[1]));
  const float pi = *std::max_element(std::begin(peaks_[2]), std::end(peaks_[2]));
  s.tpL = AmplitudeDb(pl);
  s.tpR = AmplitudeDb(pr);

  const float peakOutDb = AmplitudeDb(pl), peakInDb = AmplitudeDb(pi);
  s.psrOut = s.lufsS > -70.0f && peakOutDb > -100.0f ? peakOutDb - s.lufsS : -100.0f;
  s.psrIn = drivenShortTermLufs > -70.0 && peakInDb > -100.0f
                ? static_cast<float>(peakInDb - drivenShortTermLufs)
                : -100.0f;
  s.deltaPsr = s.psrIn > -100.0f && s.psrOut > -100.0f ? std::max(0.0f, s.psrIn - s.psrOut) : -100.0f;
  return std::max(outL, outR);
}

void LevelMeters::TickCorrelation(MeterSnapshot& s) {
  if (count_ < 1) {
    s.corrR = static_cast<float>(correlation_);
    return;
  }
  const bool leftSilent = sumLL_ < 1e-9, rightSilent = sumRR_ < 1e-9;
  if (leftSilent != rightSilent) {
    s.corrR = 2.0f;  // exactly one channel silent
  } else {
    const double root = std::sqrt(sumLL_ * sumRR_);
    const double r = root > 1e-12 ? sumLR_ / root : correlation_;
    correlation_ = kCorrelationSmoothing * correlation_ + (1.0 - kCorrelationSmoothing) * r;
    s.corrR = static_cast<float>(correlation_);
  }
  sumLR_ = sumLL_ = sumRR_ = 0.0;
  count_ = 0;
}
