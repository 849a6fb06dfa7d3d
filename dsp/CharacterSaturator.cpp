#include "dsp/CharacterSaturator.h"

#include <algorithm>
#include <cmath>
#include <numbers>

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
  previousAntiderivative_ = Antiderivative(0.0);
  historyIndex_ = historyFill_ = 0;
  ClearEnergies();
}

void CharacterSaturator::SetRow(int row) {
  amount_ = kAmountPerRow * std::clamp(row, 0, kRows - 1);
}

// ln(cosh(6 v)) / (6 norm), written so that it cannot overflow: the antiderivative of
// tanh(6 v) / norm.
double CharacterSaturator::Antiderivative(double v) const {
  const double a = std::fabs(kDrive * v);
  return (std::log1p(std::exp(-2.0 * a)) + a - std::numbers::ln2) / (kDrive * norm_);
}

double CharacterSaturator::Shape(double y) {
  const double a = previousInput_;
  const double fy = Antiderivative(y);
  const double shaped = std::fabs(y - a) > 1e-7 ? (fy - previousAntiderivative_) / (y - a)
                                                : std::tanh(kDrive * (a + y) / 2.0) / norm_;
  const double diff = shaped - (y + a) / 2.0;  // only the curvature remains
  previousInput_ = y;
  previousAntiderivative_ = fy;
  double out = diff - previousDiff_ + kDcBlockPole * previousOut_;
  if (std::fabs(out) < kStateFloor) out = 0.0;
  previousDiff_ = diff;
  previousOut_ = out;
  return out;
}

void CharacterSaturator::Remember(double y) {
  history_[static_cast<size_t>(historyIndex_)] = y;
  historyIndex_ = (historyIndex_ + 1) & (kHistory - 1);
  if (historyFill_ < kHistory) ++historyFill_;
}

double CharacterSaturator::Process(double y) {
  Remember(y);
  const double added = amount_ * Shape(y);
  distortionEnergy_ += added * added;
  inputEnergy_ += y * y;
  return y + added;
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

// From the state Design leaves, over every input since (at most the history's length).
void CharacterSaturator::CatchUp() {
  previousInput_ = previousDiff_ = previousOut_ = 0.0;
  previousAntiderivative_ = Antiderivative(0.0);
  for (int i = historyFill_; i > 0; --i) Shape(history_[static_cast<size_t>((historyIndex_ - i) & (kHistory - 1))]);
}
