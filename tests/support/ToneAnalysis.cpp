#include "support/ToneAnalysis.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tone {

namespace {
constexpr double kTwoPi = 2.0 * std::numbers::pi;

// Fractional part of cycles, in [0, 1): keeps the sine's argument small however long the signal.
double Turns(double cycles) { return cycles - std::floor(cycles); }
}  // namespace

std::vector<double> Sine(double rate, double frequency, double amplitude, size_t frames,
                         double phase, double delay) {
  std::vector<double> x(frames);
  const double perSample = frequency / rate;
  for (size_t n = 0; n < frames; ++n) {
    const double t = static_cast<double>(n) - delay;
    x[n] = amplitude * std::sin(kTwoPi * Turns(perSample * t) + phase);
  }
  return x;
}

double Amplitude(const std::vector<double>& x, size_t begin, size_t n, double rate,
                 double frequency) {
  const size_t end = std::min(x.size(), begin + n);
  if (end <= begin) return 0.0;
  const double perSample = frequency / rate;
  double re = 0.0, im = 0.0;
  for (size_t i = begin; i < end; ++i) {
    const double angle = kTwoPi * Turns(perSample * static_cast<double>(i - begin));
    re += x[i] * std::cos(angle);
    im += x[i] * std::sin(angle);
  }
  return 2.0 * std::hypot(re, im) / static_cast<double>(end - begin);
}

double HarmonicDb(const std::vector<double>& x, size_t begin, size_t n, double rate,
                  double fundamental, int h) {
  return RatioDb(Amplitude(x, begin, n, rate, fundamental * h),
                 Amplitude(x, begin, n, rate, fundamental));
}

double Rms(const std::vector<double>& x, size_t begin, size_t n) {
  const size_t end = std::min(x.size(), begin + n);
  if (end <= begin) return 0.0;
  double sum = 0.0;
  for (size_t i = begin; i < end; ++i) sum += x[i] * x[i];
  return std::sqrt(sum / static_cast<double>(end - begin));
}

double Mean(const std::vector<double>& x, size_t begin, size_t n) {
  const size_t end = std::min(x.size(), begin + n);
  if (end <= begin) return 0.0;
  double sum = 0.0;
  for (size_t i = begin; i < end; ++i) sum += x[i];
  return sum / static_cast<double>(end - begin);
}

double RatioDb(double a, double b) {
  if (!(a > 0.0) || !(b > 0.0)) return -400.0;
  return std::max(-400.0, 20.0 * std::log10(a / b));
}

}  // namespace tone
