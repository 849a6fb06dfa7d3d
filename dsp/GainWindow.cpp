#include "dsp/GainWindow.h"

#include <algorithm>
#include <iterator>
#include <cmath>

namespace {
constexpr double kLogFloor = 1e-12;
// Gain below which more than 0.5 dB is being taken off: 10^(-0.5 / 20).
const double kGainAtHalfDb = std::pow(10.0, -0.025);
// 1 - exp(-h) for the small h of a per-sample pole (under 4e-4 at any rate): the series to the
// fifth power is exact to double precision there.
double OneMinusExpMinus(double h) {
  return h * (1.0 - h * (0.5 - h * (1.0 / 6.0 - h * (1.0 / 24.0 - h * (1.0 / 120.0)))));
}
}  // namespace

void GainWindow::Prepare(int lookAhead) {
  lookAhead_ = std::clamp(lookAhead, 1, kDequeSize - 1);
  Reset();
}

void GainWindow::Reset() {
  counter_ = 0;
  head_ = size_ = 0;
  ramping_ = false;
  gainState_ = 1.0;
  previousRequired_ = 1.0;
  fallCount_ = 0;
  releaseScale_ = 0.0;
  holdCounter_ = 0;
  releaseRamp_ = 0.0f;
  effReleaseMs_ = 0.0;
  slowEnvelope_ = 1.0;
  std::fill(std::begin(smoother_), std::end(smoother_), 1.0);
}

void GainWindow::RestartFromCurrentGain() {
  counter_ = 0;
  head_ = size_ = 0;
  releaseScale_ = 0.0;
  holdCounter_ = 0;
  fallCount_ = 0;
  previousRequired_ = gainState_;
  ramping_ = false;
}

// Monotonic deque over the last K required gains: values rise from oldest to newest, so the
// oldest entry is the window's minimum. Ties keep the newest entry.
double GainWindow::PushRequired(double r) {
  const int64_t now = counter_;
  while (size_ > 0 && deque_[(head_ + size_ - 1) & (kDequeSize - 1)].value >= r) --size_;
  deque_[(head_ + size_) & (kDequeSize - 1)] = Entry{r, now};
  ++size_;
  while (size_ > 1 && deque_[head_].time <= now - lookAhead_) {
    head_ = (head_ + 1) & (kDequeSize - 1);
    --size_;
  }
  ++counter_;
  return deque_[head_].value;
}

// Exponential in dB from the current gain towards the window minimum.
double GainWindow::Release(double gain, double floorGain, double ex, const Constants& c) {
  releaseRamp_ += (1.0f - releaseRamp_) * c.kRamp;
  // Releasing from where the last release left the gain, its logarithm is the exponent that
  // gave it; the window minimum changes far less often than every sample.
  const double g = std::max(gain, kLogFloor);
  const double lg = g == logOf_[0].value ? logOf_[0].log : std::log(g);
  const double f = std::max(floorGain, kLogFloor);
  if (f != logOf_[1].value) logOf_[1] = {f, std::log(f)};
  const double exponent = lg + (logOf_[1].log - lg) * static_cast<double>(releaseRamp_) * (1.0 - ex);
  const double released = std::exp(exponent);
  logOf_[0] = {released, exponent};
  return released;
}

double GainWindow::Process(double u, float p, double ceilLin, double msDriven, double maskedness,
                           const Constants& c) {
  const double r = p > ceilLin ? ceilLin / p : 1.0;
  const double f = PushRequired(r);

  // The release scale grows while more than 0.5 dB is taken off, decays over 2 s otherwise, and
  // drops by a fifth on every transient that stands out of the 3-s mean.
  if (msDriven > 1e-10 && 2.0 * msDriven < u * u && gainState_ < 0.9999 && releaseScale_ > 0.2)
    releaseScale_ *= 0.8;
  if (std::max(gainState_, kLogFloor) < kGainAtHalfDb)
    releaseScale_ = std::min(1.0, releaseScale_ + (1.0 - c.a2s));
  releaseScale_ *= c.a2s;

  effReleaseMs_ = 180.0 * (1.0 + 13.3 * std::min(releaseScale_, 1.0));
  // The release's per-sample pole, worked out only on the samples that use it (a division).
  double pole = 0.0;
  const auto releasePole = [&] {
    if (pole == 0.0) pole = 1.0 / (effReleaseMs_ * c.sampleRate * 0.001);
    return pole;
  };

  fallCount_ = r < previousRequired_ ? fallCount_ + 1 : 0;
  previousRequired_ = r;

  double target = f;
  if (holdCounter_ >= 1 && fallCount_ >= 3 && f < gainState_)
    target = gainState_ - 0.3 * (gainState_ - f);
  if (f < gainState_) {
    // Samples until the minimum leaves the look-ahead: ramp down along a straight line that
    // reaches it exactly then. The line is a state of its own, started from the gain when the
    // ramp begins: stepped from the smoothed gain itself, each step would shrink by the attack
    // smoothing and the gain would arrive far too late, leaving the peak to the catcher.
    if (!ramping_) rampLine_ = gainState_;
    ramping_ = true;
    // The minimum entered at `oldest`, within the last lookAhead_ pushes; counter_ is one past
    // the newest, so this is (oldest - counter_) mod lookAhead_ without a division.
    const int dist = static_cast<int>(deque_[head_].time - counter_ + lookAhead_);
    if (dist < 2) {
      rampLine_ = f;
      target = std::min(target, f);
    } else {
      rampLine_ += (f - rampLine_) / dist;
      target = std::max(target, rampLine_);
    }
  } else {
    ramping_ = false;
  }

  if (target < gainState_) {
    gainState_ = c.aAtk * gainState_ + (1.0 - c.aAtk) * target;
    releaseRamp_ = 0.0f;
    holdCounter_ = c.holdBase + static_cast<int>(0.015 * releaseScale_ * c.sampleRate);
  } else if (holdCounter_ < 1) {
    const double ev = releasePole();
    const double ex = 1.0 - ev * (1.0 - 0.5 * ev * (1.0 - ev / 3.0));
    gainState_ = Release(gainState_, f, ex, c);
  } else {
    --holdCounter_;
    releaseRamp_ = 0.0f;
  }
  gainState_ = std::min(gainState_, 1.0);

  if (gainState_ < slowEnvelope_)
    slowEnvelope_ = gainState_;
  else
    slowEnvelope_ += (1.0 - slowEnvelope_) * OneMinusExpMinus(0.5 * releasePole());

  // With full masking the fast gain passes; as distortion becomes audible the slow envelope rules.
  const double blend = slowEnvelope_ + (gainState_ - slowEnvelope_) * maskedness;
  const double smoothTarget = std::min(gainState_, blend);
  smoother_[0] += (smoothTarget - smoother_[0]) * c.kSmooth;
  smoother_[1] += (smoother_[0] - smoother_[1]) * c.kSmooth;
  smoother_[2] += (smoother_[1] - smoother_[2]) * c.kSmooth;
  smoother_[3] += (smoother_[2] - smoother_[3]) * c.kSmooth;
  return smoother_[3];
}
