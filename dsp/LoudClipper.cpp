#include "dsp/LoudClipper.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <numbers>

#include "dsp/ClipCurve.h"
#include "dsp/kernels/DotProduct.h"
#include "dsp/kernels/Kaiser.h"

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
  bank.assign(static_cast<size_t>(factor * p), 0.0);
  for (int k = 0; k < factor; ++k)
    for (int j = 0; j < p; ++j) {
      const int i = k + j * factor;
      const double tap = i < length ? static_cast<float>(factor * h[static_cast<size_t>(i)]) : 0.0;
      bank[static_cast<size_t>((p - 1 - j) * factor + k)] = tap;
    }
  decimation.assign(h.rbegin(), h.rend());
  decimationHalf.assign(decimation.begin(), decimation.begin() + (length + 1) / 2);
  inputRing = p - 1 + kRun;
  input.assign(static_cast<size_t>(2 * inputRing), 0.0);
  ring = length + kRun * factor;
  output.assign(static_cast<size_t>(2 * ring), 0.0);
  Clear();
  linear = LoudClipper::LinearImpulseResponse(*this);
}

// The unshaped path is linear and time-invariant at the base rate (interpolate, filter, keep one
// phase), so its impulse response, reversed, reproduces it as one filter.
std::vector<double> LoudClipper::LinearImpulseResponse(const Path& design) {
  Path path = design;
  path.Clear();
  std::vector<double> response;
  for (int n = 0; n < kMaxLinearLength; ++n) {
    path.PushInput(n == 0 ? 1.0 : 0.0);
    double points[kMaxFactor];
    simd::BankDotProductsScalar(path.bank.data(), path.Inputs(0), path.tapsPerPhase, path.factor, points);
    for (int k = 0; k < path.factor; ++k) path.PushOutput(points[k]);
    response.push_back(simd::DotProductScalar(path.decimation.data(), path.Window(0), path.length));
  }
  while (!response.empty() && response.back() == 0.0) response.pop_back();
  return std::vector<double>(response.rbegin(), response.rend());
}

void LoudClipper::Path::Clear() {
  std::fill(input.begin(), input.end(), 0.0);
  std::fill(output.begin(), output.end(), 0.0);
  inputIndex = outputIndex = 0;
}

void LoudClipper::Design(int request, double threshold, int baseLength) {
  const int factorA = FactorFor(request, kMaxFactor / 2);
  pathA_.Design(factorA, baseLength * factorA + 1, 0.5 / factorA);
  const int factorB = FactorFor(hardRequest_, kMaxFactor);
  pathB_.Design(factorB, (baseLength * factorB) | 1, 0.5 / factorB);
  threshold_ = threshold;
  dcPreviousIn_ = dcPreviousOut_ = 0.0;
}

void LoudClipper::SetMode(int mode) {
  const bool wasHard = mode_ == kHard;
  mode_ = mode < 0 ? kSoft : std::min(mode, static_cast<int>(kHard));
  kappa_ = mode_ == kHard ? 0.985 : 0.66;
  // The path taking over last ran when it was last selected (or never): its rings hold that
  // moment's signal. It catches up at the next run, when the bias is set too.
  if ((mode_ == kHard) != wasHard) pathBehind_ = true;
}

void LoudClipper::SetBias(double fraction) {
  const double bias = threshold_ * fraction;
  if ((bias > 0.0) != (bias_ > 0.0)) dcPreviousIn_ = dcPreviousOut_ = linearDcIn_ = linearDcOut_ = 0.0;
  bias_ = bias;
}

void LoudClipper::Reset() {
  pathBehind_ = false;
  pathA_.Clear();
  pathB_.Clear();
  dcPreviousIn_ = dcPreviousOut_ = 0.0;
  std::fill(std::begin(history_), std::end(history_), 0.0);
  historyIndex_ = 0;
  linearOut_ = linearDcIn_ = linearDcOut_ = 0.0;
}

void LoudClipper::SetTrackLinear(bool on) {
  if (!on) linearOut_ = linearDcIn_ = linearDcOut_ = 0.0;
  trackLinear_ = on;
}

void LoudClipper::FinishLinear(double sum) {
  if (bias_ <= 0.0) {
    linearOut_ = sum;
    return;
  }
  // The same DC blocker as the shaped signal, so only what the curve did differs.
  linearOut_ = linearDcOut_ * kDcBlockPole + (sum - linearDcIn_);
  linearDcIn_ = sum;
  linearDcOut_ = linearOut_;
}

double LoudClipper::Shape(double x) const { return Curve().Apply(x); }

// The bank reads the inputs alone and the curve each point alone, so the run's points are all
// summed first (four inputs' windows side by side where the processor allows), then all shaped,
// then pushed in order.
void LoudClipper::Oversample(Path& path, const double* x, int count, double biasOut) {
  for (int i = 0; i < count; ++i) path.PushInput(x[i]);
  double points[kRun * kMaxFactor];
  const int n = count * path.factor;
  simd::BankDotProductsRun(path.bank.data(), path.Inputs(count - 1), path.tapsPerPhase, path.factor, count, points);
  Curve().ApplyAll(points, bias_ > 0.0 ? bias_ : 0.0, biasOut, n, points);
  path.PushOutputs(points, n);
}

float LoudClipper::Finish(double decimated) {
  const double result = static_cast<float>(decimated);
  if (bias_ <= 0.0) return static_cast<float>(result);
  const double y = dcPreviousOut_ * kDcBlockPole + (result - dcPreviousIn_);
  dcPreviousIn_ = result;
  dcPreviousOut_ = y;
  return static_cast<float>(y);
}

float LoudClipper::Process(float x) {
  float y;
  ProcessRun(&x, 1, &y, nullptr);
  return y;
}

void LoudClipper::ProcessRun(const float* x, int n, float* out, double* linear) {
  if (pathBehind_) CatchUp();
  Path& path = mode_ == kHard ? pathB_ : pathA_;
  const double biasOut = bias_ > 0.0 ? Shape(bias_) : 0.0;
  while (n > 0) {
    const int count = std::min(n, kRun);
    Follow(x, count);  // the history and the clip counts
    double inputs[kRun];
    for (int i = 0; i < count; ++i) inputs[i] = x[i];
    Oversample(path, inputs, count, biasOut);
    double sums[kRun];
    if (trackLinear_) {
      const int length = static_cast<int>(path.linear.size());
      simd::DotProducts(path.linear.data(), History(length, count - 1), length, count, sums);
    }
    for (int i = 0; i < count; ++i) {
      if (trackLinear_) FinishLinear(sums[i]);
      if (linear) linear[i] = linearOut_;
    }
    simd::SymmetricDotProducts(path.decimationHalf.data(), path.Window(count - 1), path.length, path.factor, count,
                               sums);
    for (int i = 0; i < count; ++i) out[i] = Finish(sums[i]);
    x += count;
    out += count;
    if (linear) linear += count;
    n -= count;
  }
}

// The counts and the ring's position in locals (the ring's stores could alias the members, which
// would then go through memory on every sample), and the clip test counted without a branch (loud
// material crosses the knee at random).
void LoudClipper::Follow(const float* x, int n) {
  const double limit = kappa_ * threshold_;
  int clipped = 0, index = historyIndex_;
  for (int i = 0; i < n; ++i) {
    clipped += std::fabs(x[i]) > limit;
    history_[index] = history_[index + kHistory] = x[i];
    if (++index == kHistory) index = 0;
  }
  historyIndex_ = index;
  clipped_ += clipped;
  total_ += n;
}

// The decimating filter's window holds the last length / factor inputs' oversampled values, each
// of which needed the tapsPerPhase inputs up to it: replaying that many inputs from a cleared path
// rebuilds both rings as far as any window reads them.
void LoudClipper::CatchUp() {
  pathBehind_ = false;
  Path& path = mode_ == kHard ? pathB_ : pathA_;
  const int replay = (path.length + path.factor - 1) / path.factor + path.tapsPerPhase - 1;
  path.Clear();
  const double biasOut = bias_ > 0.0 ? Shape(bias_) : 0.0;
  for (int i = std::min(replay, kMaxLinearLength); i > 0;) {
    const int count = std::min(i, kRun);
    Oversample(path, history_ + historyIndex_ + kHistory - i, count, biasOut);
    i -= count;
  }
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
