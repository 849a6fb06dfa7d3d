#include "app/signals/ConverterFilter.h"

#include <cmath>
#include <numbers>

namespace signals {
namespace {

constexpr int kHalfLength = 128;
constexpr double kCutoff = 0.45;  // cycles per sample

std::vector<double> DesignLowpass() {
  std::vector<double> taps(2 * kHalfLength + 1);
  for (int i = -kHalfLength; i <= kHalfLength; ++i) {
    const double u = static_cast<double>(i) / (kHalfLength + 1);
    const double blackman =
        0.42 + 0.5 * std::cos(std::numbers::pi * u) + 0.08 * std::cos(2.0 * std::numbers::pi * u);
    const double sinc = i == 0 ? 2.0 * kCutoff
                               : std::sin(2.0 * std::numbers::pi * kCutoff * i) /
                                     (std::numbers::pi * i);
    taps[static_cast<size_t>(i + kHalfLength)] = sinc * blackman;
  }
  return taps;
}

}  // namespace

std::vector<double> BandLimitLikeConverter(const std::vector<double>& samples) {
  static const std::vector<double> taps = DesignLowpass();
  const long n = static_cast<long>(samples.size());
  std::vector<double> out(samples.size());
  for (long i = 0; i < n; ++i) {
    double sum = 0.0;
    const long first = std::max(0L, i - kHalfLength), last = std::min(n - 1, i + kHalfLength);
    for (long j = first; j <= last; ++j)
      sum += taps[static_cast<size_t>(i - j + kHalfLength)] * samples[static_cast<size_t>(j)];
    out[static_cast<size_t>(i)] = sum;
  }
  return out;
}

}  // namespace signals
