#include "dsp/GainWindow.h"

#include <algorithm>
#include <iterator>
#include <cmath>

#include "dsp/kernels/CpuDispatch.h"
#include "dsp/kernels/LaneVectors.h"

namespace {
constexpr double kLogFloor = 1e-12;
// Gain below which more than 0.5 dB is being taken off: 10^(-0.5 / 20).
const double kGainAtHalfDb = std::pow(10.0, -0.025);
// 1 - exp(-h) for the small h of a per-sample pole (under 4e-4 at any rate): the series to the
// fifth power is exact to double precision there.
template <class T>
T OneMinusExpMinus(T h) {
  return h * (1.0 - h * (0.5 - h * (1.0 / 6.0 - h * (1.0 / 24.0 - h * (1.0 / 120.0)))));
}
}  // namespace

GainWindow::Constants GainWindow::Constants::ForRate(double sampleRate) {
  const auto onePole = [sampleRate](double seconds) { return std::exp(-1.0 / (seconds * sampleRate)); };
  Constants c;
  c.sampleRate = sampleRate;
  c.kSmooth = 1.0 - onePole(0.0005);
  c.kRamp = static_cast<float>(1.0 - onePole(0.001));
  c.holdBase = static_cast<int>(0.005 * sampleRate);
  c.aAtk = onePole(0.0005);
  c.a2s = onePole(2.0);
  return c;
}

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
// The first two pops from the back and the expiry are counted without branches: how many there
// are follows the signal, and a mispredicted branch costs more than the comparisons.
double GainWindow::PushRequired(double r) {
  const int64_t now = counter_;
  constexpr int kMask = kDequeSize - 1;
  // (Both sides are always read: the slot before the head is memory of the ring too.)
  const auto backPops = [&] { return static_cast<int>((size_ > 0) & (deque_[(head_ + size_ - 1) & kMask].value >= r)); };
  size_ -= backPops();
  size_ -= backPops();
  while (size_ > 0 && deque_[(head_ + size_ - 1) & kMask].value >= r) --size_;
  deque_[(head_ + size_) & kMask] = Entry{r, now};
  ++size_;
  // One entry enters per push, so at most one, the oldest, comes of age.
  const int expired = (size_ > 1) & (deque_[head_].time <= now - lookAhead_);
  head_ = (head_ + expired) & kMask;
  size_ -= expired;
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
    const int dist = MinimumLeavesIn();
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

namespace {

using lanes::V2d;
using lanes::V2l;

// Lanes of a where mask is set, else of b. In the floating-point domain (andpd, andnpd, orpd):
// lanes::Select, which goes through integer lanes, made this loop 12 % slower.
V2d Select(V2l mask, V2d a, V2d b) { return mask ? a : b; }
// std::min and std::max lane by lane, picking exactly what they pick (minpd, maxpd).
V2d Min(V2d a, V2d b) { return b < a ? b : a; }
V2d Max(V2d a, V2d b) { return a < b ? b : a; }

}  // namespace

// Process's steps in its order, for both channels at once, one lane each (two doubles: SSE2 on
// x86-64, whose arithmetic rounds exactly as the scalar code's, with no fused multiply-adds; on
// AVX2 machines the same operations in their three-operand forms, which spare the copies).
// Where Process branches, both outcomes are made and each lane takes its own.
struct GainWindow::PairLanes {
  struct Sample {
    V2d u, msDriven, required, minimum, leavesIn;
  };

  V2d gainState, releaseScale, effReleaseMs, previousRequired, rampLine, slowEnvelope;
  // Counts as doubles (whole numbers, exact) and the flag as a mask, so they select in lanes too.
  V2d fallCount, holdCounter;
  V2l ramping;
  V2d smoother[4];

  static void Run(GainWindow (&w)[2], const GainPairRun& run, const Constants& c);
  static void RunAvx2(GainWindow (&w)[2], const GainPairRun& run, const Constants& c);
  static void RunBaseline(GainWindow (&w)[2], const GainPairRun& run, const Constants& c);

  explicit PairLanes(const GainWindow (&w)[2])
      : gainState{w[0].gainState_, w[1].gainState_},
        releaseScale{w[0].releaseScale_, w[1].releaseScale_},
        effReleaseMs{w[0].effReleaseMs_, w[1].effReleaseMs_},
        previousRequired{w[0].previousRequired_, w[1].previousRequired_},
        rampLine{w[0].rampLine_, w[1].rampLine_},
        slowEnvelope{w[0].slowEnvelope_, w[1].slowEnvelope_},
        fallCount{static_cast<double>(w[0].fallCount_), static_cast<double>(w[1].fallCount_)},
        holdCounter{static_cast<double>(w[0].holdCounter_), static_cast<double>(w[1].holdCounter_)},
        ramping{w[0].ramping_ ? -1 : 0, w[1].ramping_ ? -1 : 0} {
    for (int k = 0; k < 4; ++k) smoother[k] = V2d{w[0].smoother_[k], w[1].smoother_[k]};
  }

  void StoreTo(GainWindow (&w)[2]) const {
    for (int ch = 0; ch < 2; ++ch) {
      GainWindow& g = w[ch];
      g.gainState_ = gainState[ch];
      g.releaseScale_ = releaseScale[ch];
      g.effReleaseMs_ = effReleaseMs[ch];
      g.previousRequired_ = previousRequired[ch];
      g.rampLine_ = rampLine[ch];
      g.slowEnvelope_ = slowEnvelope[ch];
      g.fallCount_ = static_cast<int>(fallCount[ch]);
      g.holdCounter_ = static_cast<int>(holdCounter[ch]);
      g.ramping_ = ramping[ch] != 0;
      for (int k = 0; k < 4; ++k) g.smoother_[k] = smoother[k][ch];
    }
  }

  // A release scale, its release time and the release's per-sample pole.
  struct Release {
    V2d scale, ms, pole;
  };
  static Release ReleaseFor(V2d scale, const Constants& c) {
    const V2d ms = 180.0 * (1.0 + 13.3 * Min(scale, V2d{1.0, 1.0}));
    return {scale, ms, 1.0 / (ms * c.sampleRate * 0.001)};
  }

  // The release scale and the release's per-sample pole. The scale takes one of four values,
  // whether there is a transient and whether more than 0.5 dB is taken off, both of which wait on
  // the last gain; all four and their poles are worked out from the last scale alone, so that the
  // division need not wait on the gain too. Each is what the steps in turn would give.
  V2d ScaleRelease(const Sample& x, const Constants& c) {
    const V2d one = {1.0, 1.0};
    const V2d cut = releaseScale * 0.8;
    const Release neither = ReleaseFor(releaseScale * c.a2s, c);
    const Release transientOnly = ReleaseFor(cut * c.a2s, c);
    const Release deepOnly = ReleaseFor(Min(one, releaseScale + (1.0 - c.a2s)) * c.a2s, c);
    const Release both = ReleaseFor(Min(one, cut + (1.0 - c.a2s)) * c.a2s, c);
    const V2l transient = (x.msDriven > 1e-10) & (2.0 * x.msDriven < x.u * x.u) & (gainState < 0.9999) &
                          (releaseScale > 0.2);
    const V2l deep = Max(gainState, V2d{kLogFloor, kLogFloor}) < kGainAtHalfDb;
    const auto pick = [&](V2d Release::*value) {
      return Select(transient, Select(deep, both.*value, transientOnly.*value),
                    Select(deep, deepOnly.*value, neither.*value));
    };
    releaseScale = pick(&Release::scale);
    effReleaseMs = pick(&Release::ms);
    return pick(&Release::pole);
  }

  // The gain to head for: the window minimum, along the ramp line where it lies ahead.
  V2d Target(const Sample& x) {
    const V2d f = x.minimum;
    fallCount = Select(x.required < previousRequired, fallCount + 1.0, V2d{});
    previousRequired = x.required;
    const V2l falling = f < gainState;
    const V2l steep = (holdCounter >= 1.0) & (fallCount >= 3.0) & falling;
    const V2d target = Select(steep, gainState - 0.3 * (gainState - f), f);
    // A ramp begins far less often than it goes on: as a branch, predicted not taken, the step
    // below need not wait on the gain.
    const V2l begins = falling & ~ramping;
    if ((begins[0] | begins[1]) != 0) rampLine = Select(begins, gainState, rampLine);
    ramping = falling;
    const V2l arriving = x.leavesIn < 2.0;
    const V2d stepped = rampLine + (f - rampLine) / x.leavesIn;
    rampLine = Select(falling, Select(arriving, f, stepped), rampLine);
    return Select(falling, Select(arriving, Min(target, f), Max(target, stepped)), target);
  }

  // Attack towards the target, release (Release itself, lane by lane) or hold.
  void MoveGain(GainWindow (&w)[2], V2d target, V2d f, V2d pole, const Constants& c) {
    const V2l attack = target < gainState;
    const V2l release = ~attack & (holdCounter < 1.0);
    const V2d attacked = c.aAtk * gainState + (1.0 - c.aAtk) * target;
    const V2d attackHold =
        c.holdBase + __builtin_convertvector(__builtin_convertvector(0.015 * releaseScale * c.sampleRate, V2l), V2d);
    V2d released = gainState;
    if ((release[0] | release[1]) != 0) {
      const V2d ex = 1.0 - pole * (1.0 - 0.5 * pole * (1.0 - pole / 3.0));
      for (int ch = 0; ch < 2; ++ch)
        if (release[ch] != 0) released[ch] = w[ch].Release(gainState[ch], f[ch], ex[ch], c);
    }
    // Attack and hold start the release's fade-in afresh.
    for (int ch = 0; ch < 2; ++ch)
      if (release[ch] == 0) w[ch].releaseRamp_ = 0.0f;
    holdCounter = Select(attack, attackHold, Select(release, holdCounter, holdCounter - 1.0));
    gainState = Min(Select(attack, attacked, released), V2d{1.0, 1.0});
  }

  // The slow envelope, the blend the masking verdict picks and the four smoothers.
  V2d Smooth(V2d pole, V2d maskedness, const Constants& c) {
    slowEnvelope = Select(gainState < slowEnvelope, gainState,
                          slowEnvelope + (1.0 - slowEnvelope) * OneMinusExpMinus(0.5 * pole));
    const V2d blend = slowEnvelope + (gainState - slowEnvelope) * maskedness;
    smoother[0] += (Min(gainState, blend) - smoother[0]) * c.kSmooth;
    for (int k = 1; k < 4; ++k) smoother[k] += (smoother[k - 1] - smoother[k]) * c.kSmooth;
    return smoother[3];
  }
};

__attribute__((always_inline)) inline void GainWindow::PairLanes::Run(GainWindow (&w)[2], const GainPairRun& run,
                                                                     const Constants& c) {
  const V2d ceilLin = {run.ceilLin[0], run.ceilLin[1]};
  const V2d maskedness = {run.maskedness[0], run.maskedness[1]};
  PairLanes lanes(w);
  for (int i = 0; i < run.n; ++i) {
    Sample x;
    x.u = V2d{run.u[0][i], run.u[1][i]};
    x.msDriven = V2d{run.msDriven[0][i], run.msDriven[1][i]};
    const V2d p = {run.peak[0][i], run.peak[1][i]};
    x.required = Select(p > ceilLin, ceilLin / p, V2d{1.0, 1.0});
    // The window minima, each channel's own deque.
    x.minimum = V2d{w[0].PushRequired(x.required[0]), w[1].PushRequired(x.required[1])};
    x.leavesIn = V2d{static_cast<double>(w[0].MinimumLeavesIn()), static_cast<double>(w[1].MinimumLeavesIn())};

    const V2d pole = lanes.ScaleRelease(x, c);
    const V2d target = lanes.Target(x);
    lanes.MoveGain(w, target, x.minimum, pole, c);
    const V2d gain = lanes.Smooth(pole, maskedness, c);
    for (int ch = 0; ch < 2; ++ch) {
      run.gain[ch][i] = gain[ch];
      run.gainState[ch][i] = lanes.gainState[ch];
    }
  }
  lanes.StoreTo(w);
}

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx2"))) void GainWindow::PairLanes::RunAvx2(GainWindow (&w)[2], const GainPairRun& run,
                                                                     const Constants& c) {
  Run(w, run, c);
}
#else
void GainWindow::PairLanes::RunAvx2(GainWindow (&w)[2], const GainPairRun& run, const Constants& c) { Run(w, run, c); }
#endif
void GainWindow::PairLanes::RunBaseline(GainWindow (&w)[2], const GainPairRun& run, const Constants& c) {
  Run(w, run, c);
}

void ProcessGainPair(GainWindow (&w)[2], const GainPairRun& run, const GainWindow::Constants& c) {
  if (cpu::UseAvx2())
    GainWindow::PairLanes::RunAvx2(w, run, c);
  else
    GainWindow::PairLanes::RunBaseline(w, run, c);
}
