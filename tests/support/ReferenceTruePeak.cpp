#include "support/ReferenceTruePeak.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace reference {
namespace {

constexpr int kHalfLength = kTapsPerPhase / 2;  // the sinc spans +-256 input samples
constexpr double kKaiserBeta = 12.0;             // about -120 dB stop band

double BesselI0(double x) {
  double sum = 1.0, term = 1.0;
  for (int k = 1; k < 1000 && term > 1e-17 * sum; ++k) {
    term *= (0.5 * x / k) * (0.5 * x / k);
    sum += term;
  }
  return sum;
}

// coefficients[i][k] weighs input sample n - 255 + i for the point n + k / 16. Laid out tap by
// tap, so one input sample updates all 16 phases with one contiguous run.
struct Interpolator {
  double coefficients[kTapsPerPhase][kOversampling];

  Interpolator() {
    const double i0Beta = BesselI0(kKaiserBeta);
    for (int k = 0; k < kOversampling; ++k) {
      double sum = 0.0;
      for (int i = 0; i < kTapsPerPhase; ++i) {
        const double t = static_cast<double>(k) / kOversampling + (kHalfLength - 1) - i;
        const double r = t / kHalfLength;
        const double window = BesselI0(kKaiserBeta * std::sqrt(std::max(0.0, 1.0 - r * r))) / i0Beta;
        const double sinc = t == 0.0 ? 1.0 : std::sin(std::numbers::pi * t) / (std::numbers::pi * t);
        // Whole-sample points are the samples themselves, exactly.
        coefficients[i][k] = k == 0 ? (t == 0.0 ? 1.0 : 0.0) : sinc * window;
        sum += coefficients[i][k];
      }
      // Unity gain at DC for every phase, so a slow signal reads its own level.
      for (int i = 0; i < kTapsPerPhase; ++i) coefficients[i][k] /= sum;
    }
  }
};

const Interpolator& SharedInterpolator() {
  static const Interpolator interpolator;
  return interpolator;
}

// Tracks the largest magnitude of a sequence of points and refines each local maximum with the
// parabola through it and its two neighbours.
class PeakTracker {
 public:
  void Push(double value) {
    const double m = std::fabs(value);
    peak_ = std::max(peak_, m);
    if (count_ >= 2 && previous_ >= beforePrevious_ && previous_ >= m) {
      const double curvature = beforePrevious_ - 2.0 * previous_ + m;
      if (curvature < 0.0) {
        const double offset = std::clamp(0.5 * (beforePrevious_ - m) / curvature, -0.5, 0.5);
        peak_ = std::max(peak_, previous_ - 0.25 * (beforePrevious_ - m) * offset);
      }
    }
    beforePrevious_ = previous_;
    previous_ = m;
    ++count_;
  }
  double Peak() const { return peak_; }

 private:
  double peak_ = 0.0, previous_ = 0.0, beforePrevious_ = 0.0;
  long count_ = 0;
};

}  // namespace

double TruePeak(const double* x, size_t n, size_t begin, size_t end) {
  end = std::min(end, n);
  if (begin >= end) return 0.0;
  const Interpolator& interp = SharedInterpolator();

  // The samples that reach the range, with zeros beyond the signal's ends.
  const size_t first = begin >= kHalfLength - 1 ? begin - (kHalfLength - 1) : 0;
  const size_t last = std::min(n, end + kHalfLength + 1);
  const size_t lead = (begin - first < kHalfLength - 1) ? kHalfLength - 1 - (begin - first) : 0;
  std::vector<double> padded(lead + (last - first) + kTapsPerPhase + 1, 0.0);
  std::copy(x + first, x + last, padded.begin() + static_cast<std::ptrdiff_t>(lead));

  PeakTracker tracker;
  for (size_t s = begin; s < end; ++s) {
    // padded[window + i] is sample s - 255 + i.
    const double* window = padded.data() + (s - begin);
    double points[kOversampling] = {};
    for (int i = 0; i < kTapsPerPhase; ++i) {
      const double xi = window[i];
      const double* c = interp.coefficients[i];
      for (int k = 0; k < kOversampling; ++k) points[k] += c[k] * xi;
    }
    for (double p : points) tracker.Push(p);
  }
  return tracker.Peak();
}

double SamplePeak(const std::vector<double>& x, size_t begin) {
  double peak = 0.0;
  for (size_t i = begin; i < x.size(); ++i) peak = std::max(peak, std::fabs(x[i]));
  return peak;
}

double ToDb(double amplitude) { return 20.0 * std::log10(std::max(amplitude, 1e-10)); }

}  // namespace reference
