#include "dsp/LoudClipper.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "dsp/DotProduct.h"
#include "dsp/Kaiser.h"

namespace {

constexpr double kKaiserBeta = 9.0;
constexpr double kDcBlockPole = 0.9995;

// Kaiser-windowed sinc lowpass of odd length, unity gain at DC, rounded to single precision.
std::vector<double> DesignPrototype(int length, double cutoff) {
  if (length % 2 == 0) ++length;
  const double centre = (length - 1) / 2.0;
  std::vector<double> h(static_cast<size_t>(length));
  double sum = 0.0;
  for (int i = 0; i < length; ++i) {
    const double t = i - centre;
    const double sinc = t == 0.0 ? 2.0 * cutoff
                                 : std::sin(2.0 * std::numbers::pi * cutoff * t) / (std::numbers::pi * t);
    const double window = kaiser::Window(t, centre, kKaiserBeta, 1e-16);
    h[static_cast<size_t>(i)] = sinc * window;
    sum += h[static_cast<size_t>(i)];
  }
  for (double& tap : h) tap = static_cast<float>(tap / sum);
  return h;
}

int FactorFor(int request, int largest) {
  int factor = 1;
  while (factor < largest && request >= 2 * factor) factor *= 2;
  return factor;
}

}  // namespace

void LoudClipper::Path::Design(int factorIn, int lengthIn, double cutoff) {
  factor = factorIn;
  const std::vector<double> h = DesignPrototype(lengthIn, cutoff);
  length = static_cast<int>(h.size());
  tapsPerPhase = (length + factor - 1) / factor;
  const int p = tapsPerPhase;
  phases.assign(static_cast<size_t>(factor * p), 0.0);
  for (int k = 0; k < factor; ++k)
    for (int j = 0; j < p; ++j) {
      const int i = k + j * factor;
      const double tap = i < length ? static_cast<float>(factor * h[static_cast<size_t>(i)]) : 0.0;
      phases[static_cast<size_t>(k * p + (p - 1 - j))] = tap;
    }
  decimation.assign(h.rbegin(), h.rend());
  input.assign(static_cast<size_t>(2 * p), 0.0);
  output.assign(static_cast<size_t>(2 * length), 0.0);
  Clear();
}

void LoudClipper::Path::Clear() {
  std::fill(input.begin(), input.end(), 0.0);
  std::fill(output.begin(), output.end(), 0.0);
  inputIndex = outputIndex = 0;
}

void LoudClipper::Design(int request, double threshold, int baseLength) {
  const int factorA = FactorFor(request, 4);
  pathA_.Design(factorA, baseLength * factorA + 1, 0.5 / factorA);
  const int factorB = FactorFor(hardRequest_, 8);
  pathB_.Design(factorB, (baseLength * factorB) | 1, 0.5 / factorB);
  threshold_ = threshold;
  dcPreviousIn_ = dcPreviousOut_ = 0.0;
}

void LoudClipper::SetMode(int mode) {
  mode_ = mode < 0 ? kSoft : std::min(mode, static_cast<int>(kHard));
  kappa_ = mode_ == kHard ? 0.985 : 0.66;
}

void LoudClipper::SetBias(double fraction) {
  const double bias = threshold_ * fraction;
  if ((bias > 0.0) != (bias_ > 0.0)) dcPreviousIn_ = dcPreviousOut_ = 0.0;
  bias_ = bias;
}

void LoudClipper::Reset() {
  pathA_.Clear();
  pathB_.Clear();
  dcPreviousIn_ = dcPreviousOut_ = 0.0;
}

double LoudClipper::Shape(double x) const {
  const double t = threshold_;
  const double s = x < 0.0 ? -1.0 : 1.0;
  const double a = std::fabs(x);
  switch (mode_) {
    case kHard:
      return a >= t ? s * t : x;
    case kCubic: {
      const double e = t / 2.0, f = 1.5 * (t - e);
      if (a <= e) return x;
      if (a >= e + f) return s * t;
      const double d = a - e;
      return s * (e + d - d * d * d / (3.0 * f * f));
    }
    default: {
      const double k = kappa_ * t, f = 2.0 * (t - k);
      if (a <= k) return x;
      if (a >= k + f) return s * t;
      const double e = (a - k) / f, e2 = e * e, e4 = e2 * e2;
      return s * (k + f * (e - 2.5 * e4 + 3.0 * e4 * e - e4 * e2));
    }
  }
}

double LoudClipper::RunPath(Path& path, double x, double biasOut) {
  const int p = path.tapsPerPhase;
  path.input[static_cast<size_t>(path.inputIndex)] = x;
  path.input[static_cast<size_t>(path.inputIndex + p)] = x;
  const double* window = path.input.data() + path.inputIndex + 1;  // oldest first
  for (int k = 0; k < path.factor; ++k) {
    const double acc = simd::DotProduct(path.phases.data() + k * p, window, p);
    const double u = bias_ > 0.0 ? Shape(acc + bias_) - biasOut : Shape(acc);
    path.output[static_cast<size_t>(path.outputIndex)] = u;
    path.output[static_cast<size_t>(path.outputIndex + path.length)] = u;
    if (++path.outputIndex == path.length) path.outputIndex = 0;
  }
  if (++path.inputIndex == p) path.inputIndex = 0;
  return simd::DotProduct(path.decimation.data(), path.output.data() + path.outputIndex, path.length);
}

float LoudClipper::Process(float x) {
  ++total_;
  if (std::fabs(x) > kappa_ * threshold_) ++clipped_;
  const double biasOut = bias_ > 0.0 ? Shape(bias_) : 0.0;
  const double result =
      static_cast<float>(RunPath(mode_ == kHard ? pathB_ : pathA_, static_cast<double>(x), biasOut));
  if (bias_ <= 0.0) return static_cast<float>(result);
  const double y = dcPreviousOut_ * kDcBlockPole + (result - dcPreviousIn_);
  dcPreviousIn_ = result;
  dcPreviousOut_ = y;
  return static_cast<float>(y);
}

int LoudClipper::MeasureDelay() {
  Reset();
  const int samples = 4 * 193 + 4 * 193 + 32;
  int where = 0;
  float largest = -1.0f;
  for (int i = 0; i < samples; ++i) {
    const float y = std::fabs(Process(i == 0 ? 0.05f : 0.0f));
    if (y > largest) {
      largest = y;
      where = i;
    }
  }
  Reset();
  ClearClipCounts();
  return where;
}
