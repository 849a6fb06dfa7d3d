#include "meters/ImpactIndicators.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {
constexpr int kLowPass125 = 1;
constexpr int kLowPass1250 = 3;
constexpr double kCodecKeep = 0.99;
}  // namespace

void ImpactIndicators::Prepare(double sampleRate) {
  punchCoefficient_ = std::exp(-1.0 / (0.3 * sampleRate));
  balanceCoefficient_ = std::exp(-1.0 / (3.0 * sampleRate));
  std::fill(std::begin(ceilingHits_), std::end(ceilingHits_), 0.0f);
  ceilingHitPosition_ = 0;
  std::fill(std::begin(features_), std::end(features_), 0.0f);
}

void ImpactIndicators::Reset() {
  codecPreAttenDb_ = 0.0;
  std::fill(std::begin(ceilingHits_), std::end(ceilingHits_), 0.0f);
  ceilingHitPosition_ = 0;
  std::fill(std::begin(features_), std::end(features_), 0.0f);
}

void ImpactIndicators::AccumulateSide(Side& s, const BandSplit& left, const BandSplit& right,
                                      const double* x) {
  const BandSplit* split[2] = {&left, &right};
  double range[3] = {0.0, 0.0, 0.0};
  for (int ch = 0; ch < 2; ++ch) {
    const double low = split[ch]->LowPass(kLowPass125);
    const double mid = split[ch]->LowPass(kLowPass1250);
    range[0] += low * low;
    range[1] += (mid - low) * (mid - low);
    range[2] += (x[ch] - mid) * (x[ch] - mid);
  }
  const double f = punchCoefficient_;
  for (int r = 0; r < 3; ++r) {
    s.peak[r] = std::max(range[r], f * s.peak[r]);
    s.mean[r] = f * s.mean[r] + (1.0 - f) * range[r];
  }
  const double a = balanceCoefficient_;
  const double total = range[0] + range[1] + range[2] + 1e-20;
  const double midSignal = 0.5 * (x[0] + x[1]), sideSignal = 0.5 * (x[0] - x[1]);
  s.low = a * s.low + (1.0 - a) * range[0];
  s.high = a * s.high + (1.0 - a) * range[2];
  s.total = a * s.total + (1.0 - a) * total;
  s.mid = a * s.mid + (1.0 - a) * midSignal * midSignal;
  s.side = a * s.side + (1.0 - a) * sideSignal * sideSignal;
}

float ImpactIndicators::CeilingHitFraction(float ceilingDbLeft, float tpL) {
  const float nearCeiling = 0.9441f * static_cast<float>(std::pow(10.0, ceilingDbLeft / 20.0));
  const double peak = tpL > -100.0f ? std::pow(10.0, tpL / 20.0) : 0.0;
  ceilingHits_[ceilingHitPosition_] = peak >= nearCeiling ? 1.0f : 0.0f;
  ceilingHitPosition_ = (ceilingHitPosition_ + 1) % kCeilingHitSlots;
  float hits = 0.0f;
  for (float h : ceilingHits_) hits += h;
  return hits / kCeilingHitSlots;
}

void ImpactIndicators::Tick(float ceilingDbLeft, int codecMode, double codecHeadroomDb,
                            MeterSnapshot& s) {
  s.smoothValidConflict = (s.pwmdL > 0.95f && s.lnsL < 0.05f) || (s.pwmdR > 0.95f && s.lnsR < 0.05f) ||
                          (s.ascL < 0.3f && s.pwmdL > 0.7f) || (s.ascR < 0.3f && s.pwmdR > 0.7f);

  const float deltaPsr = s.deltaPsr;
  s.codecIspRisk = deltaPsr > 2.0f && s.tpL > ceilingDbLeft - 1.0f ? std::min(1.0f, (deltaPsr - 2.0f) * 0.25f)
                                                                    : 0.0f;
  const double target = s.codecIspRisk > 0.1f ? 0.4 * codecMode : 0.0;
  codecPreAttenDb_ = kCodecKeep * codecPreAttenDb_ + (1.0 - kCodecKeep) * target;
  s.srcRisk = std::min(1.0f, s.deltaSfmL * s.causeBands[5] * 2.5f);
  s.mlPreAttenDb = static_cast<float>(codecHeadroomDb);
  s.effCeilDb = static_cast<float>(20.0 * std::log10(static_cast<double>(0.9954f)) + ceilingDbLeft -
                                   codecPreAttenDb_ - codecHeadroomDb);

  float* punch[3] = {&s.punchLowDb, &s.punchMidDb, &s.punchHighDb};
  for (int r = 0; r < 3; ++r) {
    const bool quiet = input_.mean[r] < 1e-7 || output_.mean[r] < 1e-7;
    *punch[r] = quiet ? 0.0f
                      : static_cast<float>(std::max(
                            0.0, 10.0 * std::log10(input_.peak[r] / input_.mean[r]) -
                                     10.0 * std::log10(output_.peak[r] / output_.mean[r])));
  }

  s.deltaLfDb = s.deltaHfDb = s.deltaWidthPct = 0.0f;
  if (input_.total > 1e-7 && output_.total > 1e-7) {
    const double tu = std::max(1e-12, input_.total), to = std::max(1e-12, output_.total);
    auto shareChange = [](double before, double after) {
      return before > 1e-4 && after > 1e-4 ? static_cast<float>(10.0 * std::log10(after / before)) : 0.0f;
    };
    s.deltaLfDb = shareChange(input_.low / tu, output_.low / to);
    s.deltaHfDb = shareChange(input_.high / tu, output_.high / to);
    s.deltaWidthPct = static_cast<float>(
        100.0 * (output_.side / (output_.side + output_.mid + 1e-12) -
                 input_.side / (input_.side + input_.mid + 1e-12)));
  }

  features_[0] = s.causeBands[5];
  features_[1] = s.deltaSfmL;
  features_[2] = s.srcRisk;
  features_[3] = CeilingHitFraction(ceilingDbLeft, s.tpL);
  features_[4] = std::clamp((s.lufsS + 100.0f) / 86.0f, 0.0f, 1.0f);
}
