#include "meters/GatingHistogram.h"

#include <algorithm>
#include <cmath>

namespace {
const double kAbsoluteGatePower = std::pow(10.0, -6.9309);  // -70 LUFS

// Loudness-range bins are counted from -45 LUFS in the 32-bit product (L + 45) * 4 and shifted by
// the 100 bins under it, so values and gates at or above -45 LUFS land exactly where that product
// puts them. Values under -45 LUFS are floored, not truncated, so none rounds up towards it.
constexpr int kBinsBelowMinus45 = 100;
}  // namespace

double LoudnessOfPower(double power, double floor) {
  return power > floor ? 10.0 * std::log10(power) - 0.691 : -100.0;
}

void GatingHistogram::Clear() { *this = GatingHistogram(); }

void GatingHistogram::Add(double power) {
  if (!(power > kAbsoluteGatePower)) return;
  const double loudness = 10.0 * std::log10(power) - 0.691;
  const int bin = std::clamp(static_cast<int>((loudness + 70.0) / 0.1), 0, kBins - 1);
  ++count_[bin];
  power_[bin] += power;
  ++totalCount_;
  totalPower_ += power;
}

float GatingHistogram::IntegratedLoudness() const {
  if (totalCount_ <= 0) return -100.0f;
  const double mean = totalPower_ / static_cast<double>(totalCount_);
  if (mean <= 1e-12) return -100.0f;
  const double ungated = 10.0 * std::log10(mean) - 0.691;
  // Only bins whose lower edge lies at or above the relative gate take part.
  const int start = std::clamp(static_cast<int>(std::ceil((ungated - 10.0 + 70.0) / 0.1)), 0, kBins - 1);
  int64_t count = 0;
  double power = 0.0;
  for (int k = start; k < kBins; ++k) {
    count += count_[k];
    power += power_[k];
  }
  if (count == 0) return static_cast<float>(ungated);
  return static_cast<float>(LoudnessOfPower(power / static_cast<double>(count)));
}

void LoudnessRangeHistogram::Clear() { *this = LoudnessRangeHistogram(); }

void LoudnessRangeHistogram::Add(float shortTermLufs, double shortTermPower) {
  if (!(shortTermLufs > -70.0f)) return;
  const int fromMinus45 = static_cast<int>(std::floor((shortTermLufs + 45.0f) * 4.0f));
  const int bin = std::clamp(fromMinus45 + kBinsBelowMinus45, 0, kBins - 1);
  ++count_[bin];
  ++totalCount_;
  totalPower_ += shortTermPower;
}

float LoudnessRangeHistogram::Range() const {
  if (totalCount_ == 0) return -100.0f;
  const double mean = std::max(1e-12, totalPower_ / static_cast<double>(totalCount_));
  const int start = std::clamp(
      static_cast<int>(std::ceil((10.0 * std::log10(mean) - 0.691 - 20.0 + 45.0) * 4.0)) +
          kBinsBelowMinus45,
      0, kBins - 1);
  int64_t n = 0;
  for (int k = start; k < kBins; ++k) n += count_[k];
  if (n < 200) return -100.0f;
  const int64_t t10 = static_cast<int64_t>(static_cast<double>(n) * 0.1);
  const int64_t t95 = static_cast<int64_t>(static_cast<double>(n) * 0.95);
  int lo = -1, hi = -1;
  int64_t running = 0;
  for (int k = start; k < kBins; ++k) {
    running += count_[k];
    if (lo < 0 && running >= t10) lo = k;
    if (hi < 0 && running >= t95) hi = k;
  }
  return static_cast<float>((hi - lo) * 0.25);
}
