#include "dsp/CharacterSaturator.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "dsp/kernels/VectorMath.h"

namespace {
constexpr double kDrive = 6.0;
constexpr double kAmountPerRow = 0.00056;
constexpr double kDcBlockPole = 0.9995;
constexpr double kStateFloor = 1e-20;
}  // namespace

CharacterSaturator::CharacterSaturator() : history_(kHistory, 0.0) {}

void CharacterSaturator::Design() {
  norm_ = std::tanh(kDrive);
  amount_ = 0.0;
  previousInput_ = previousDiff_ = previousOut_ = 0.0;
  Antiderivatives(&previousInput_, &previousAntiderivative_, 1);
  historyIndex_ = historyFill_ = 0;
  ClearEnergies();
}

void CharacterSaturator::SetRow(int row) {
  amount_ = kAmountPerRow * std::clamp(row, 0, kRows - 1);
}

// ln(cosh(6 v)) / (6 norm), written so that it cannot overflow: the antiderivative of
// tanh(6 v) / norm, as (ln(1 + e^(-2a)) + a - ln 2) / (6 norm) with a = |6 v|. Its exp and log are
// the vector library's, a few units in the last place from the scalar ones, and ln(1 + t) stands
// for log1p(t): with t at most 1 both are within 1e-16 of the true value (log1p's relative
// accuracy at tiny t is lost, but only absolute error reaches the output). The divided differences
// below lose at most 7 of the antiderivative's 16 decimal places, which leaves the output within
// 1e-12 of the scalar form's.
void CharacterSaturator::Antiderivatives(const double* v, double* f, int n) const {
  double a[kRun];
  for (int i = 0; i < n; ++i) {
    a[i] = std::fabs(kDrive * v[i]);
    f[i] = -2.0 * a[i];
  }
  vmath::Exp(f, f, n);
  for (int i = 0; i < n; ++i) f[i] += 1.0;
  vmath::Log(f, f, n);
  for (int i = 0; i < n; ++i) f[i] = (f[i] + a[i] - std::numbers::ln2) / (kDrive * norm_);
}

void CharacterSaturator::Shape(const double* y, double* shaped, int n) {
  double f[kRun], diff[kRun];
  Antiderivatives(y, f, n);
  // The antiderivative's divided difference against the sample before, less the line's: only
  // the curvature remains.
  diff[0] = (f[0] - previousAntiderivative_) / (y[0] - previousInput_) - (y[0] + previousInput_) / 2.0;
  for (int i = 1; i < n; ++i) diff[i] = (f[i] - f[i - 1]) / (y[i] - y[i - 1]) - (y[i] + y[i - 1]) / 2.0;
  // Two samples too close for it take tanh at their midpoint instead.
  for (int i = 0; i < n; ++i) {
    const double a = i > 0 ? y[i - 1] : previousInput_;
    if (std::fabs(y[i] - a) > 1e-7) continue;
    diff[i] = std::tanh(kDrive * (a + y[i]) / 2.0) / norm_ - (y[i] + a) / 2.0;
  }
  previousInput_ = y[n - 1];
  previousAntiderivative_ = f[n - 1];
  // The DC blocker.
  double previousDiff = previousDiff_, previousOut = previousOut_;
  for (int i = 0; i < n; ++i) {
    double out = diff[i] - previousDiff + kDcBlockPole * previousOut;
    if (std::fabs(out) < kStateFloor) out = 0.0;
    previousDiff = diff[i];
    previousOut = out;
    shaped[i] = out;
  }
  previousDiff_ = previousDiff;
  previousOut_ = previousOut;
}

void CharacterSaturator::ProcessRun(const double* y, double* out, int n) {
  while (n > 0) {
    const int run = std::min(n, kRun);
    Follow(y, run);  // the history and the input energy
    double shaped[kRun];
    Shape(y, shaped, run);
    double energy = distortionEnergy_;
    for (int i = 0; i < run; ++i) {
      const double added = amount_ * shaped[i];
      energy += added * added;
      out[i] = y[i] + added;
    }
    distortionEnergy_ = energy;
    y += run;
    out += run;
    n -= run;
  }
}

double CharacterSaturator::Process(double y) {
  double out;
  ProcessRun(&y, &out, 1);
  return out;
}

void CharacterSaturator::Follow(const double* y, int n) {
  double energy = inputEnergy_;
  for (int i = 0; i < n; ++i) energy += y[i] * y[i];
  inputEnergy_ = energy;
  // Into the history in stretches up to the ring's end.
  while (n > 0) {
    const int stretch = std::min(n, kHistory - historyIndex_);
    std::copy(y, y + stretch, history_.begin() + historyIndex_);
    historyIndex_ = (historyIndex_ + stretch) & (kHistory - 1);
    historyFill_ = std::min(kHistory, historyFill_ + stretch);
    y += stretch;
    n -= stretch;
  }
}

// From the state Design leaves, over every input since (at most the history's length), in runs
// up to the ring's end.
void CharacterSaturator::CatchUp() {
  previousInput_ = previousDiff_ = previousOut_ = 0.0;
  Antiderivatives(&previousInput_, &previousAntiderivative_, 1);
  double shaped[kRun];
  int position = (historyIndex_ - historyFill_) & (kHistory - 1);
  for (int left = historyFill_; left > 0;) {
    const int run = std::min({left, kRun, kHistory - position});
    Shape(history_.data() + position, shaped, run);
    position = (position + run) & (kHistory - 1);
    left -= run;
  }
}
