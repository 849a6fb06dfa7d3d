#include "dsp/GainWindow.h"

#include <algorithm>
#include <iterator>
#include <cmath>

#if defined(__x86_64__) || defined(__i386__)
#include <emmintrin.h>
#endif

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

#if defined(__x86_64__) || defined(__i386__)

namespace {

// SSE2, the x86-64 baseline: one lane per channel. Every operation below is the one Process
// does, lane by lane, with the same rounding (no fused multiply-adds in the baseline).
__m128d Pair(double left, double right) { return _mm_set_pd(right, left); }
double Left(__m128d v) { return _mm_cvtsd_f64(v); }
double Right(__m128d v) { return _mm_cvtsd_f64(_mm_unpackhi_pd(v, v)); }
__m128d Broadcast(double x) { return _mm_set1_pd(x); }
__m128d OneMinusExpMinus(__m128d h) {
  __m128d t = _mm_sub_pd(Broadcast(1.0 / 24.0), _mm_mul_pd(h, Broadcast(1.0 / 120.0)));
  t = _mm_sub_pd(Broadcast(1.0 / 6.0), _mm_mul_pd(h, t));
  t = _mm_sub_pd(Broadcast(0.5), _mm_mul_pd(h, t));
  return _mm_mul_pd(h, _mm_sub_pd(Broadcast(1.0), _mm_mul_pd(h, t)));
}
// mask ? a : b, lane by lane.
__m128d Select(__m128d mask, __m128d a, __m128d b) {
  return _mm_or_pd(_mm_and_pd(mask, a), _mm_andnot_pd(mask, b));
}
// std::min(a, b) and std::max(a, b) as Process writes them: b where b < a (resp. a < b), else a.
__m128d Min(__m128d a, __m128d b) { return _mm_min_pd(b, a); }
__m128d Max(__m128d a, __m128d b) { return _mm_max_pd(b, a); }

}  // namespace

// The steps are Process's, in its order, on both lanes at once: where Process branches, both
// outcomes are made and each lane takes its own.
struct GainWindow::PairLanes {
  struct Sample {
    __m128d u, msDriven, required, minimum, leavesIn;
  };

  __m128d gainState, releaseScale, effReleaseMs, previousRequired, rampLine, slowEnvelope;
  // Counts as doubles (whole numbers, exact) and the flag as a mask, so they select in lanes too.
  __m128d fallCount, holdCounter, ramping;
  __m128d smoother[4];

  explicit PairLanes(const GainWindow (&w)[2])
      : gainState(Pair(w[0].gainState_, w[1].gainState_)),
        releaseScale(Pair(w[0].releaseScale_, w[1].releaseScale_)),
        effReleaseMs(Pair(w[0].effReleaseMs_, w[1].effReleaseMs_)),
        previousRequired(Pair(w[0].previousRequired_, w[1].previousRequired_)),
        rampLine(Pair(w[0].rampLine_, w[1].rampLine_)),
        slowEnvelope(Pair(w[0].slowEnvelope_, w[1].slowEnvelope_)),
        fallCount(Pair(w[0].fallCount_, w[1].fallCount_)),
        holdCounter(Pair(w[0].holdCounter_, w[1].holdCounter_)),
        ramping(_mm_cmpneq_pd(Pair(w[0].ramping_, w[1].ramping_), _mm_setzero_pd())) {
    for (int k = 0; k < 4; ++k) smoother[k] = Pair(w[0].smoother_[k], w[1].smoother_[k]);
  }

  void StoreTo(GainWindow (&w)[2]) const {
    for (int ch = 0; ch < 2; ++ch) {
      const auto lane = [ch](__m128d v) { return ch == 0 ? Left(v) : Right(v); };
      GainWindow& g = w[ch];
      g.gainState_ = lane(gainState);
      g.releaseScale_ = lane(releaseScale);
      g.effReleaseMs_ = lane(effReleaseMs);
      g.previousRequired_ = lane(previousRequired);
      g.rampLine_ = lane(rampLine);
      g.slowEnvelope_ = lane(slowEnvelope);
      g.fallCount_ = static_cast<int>(lane(fallCount));
      g.holdCounter_ = static_cast<int>(lane(holdCounter));
      g.ramping_ = (_mm_movemask_pd(ramping) >> ch & 1) != 0;
      for (int k = 0; k < 4; ++k) g.smoother_[k] = lane(smoother[k]);
    }
  }

  // The release scale and the release's per-sample pole.
  __m128d ScaleRelease(const Sample& x, const Constants& c) {
    const __m128d one = Broadcast(1.0);
    const __m128d transient = _mm_and_pd(
        _mm_and_pd(_mm_cmpgt_pd(x.msDriven, Broadcast(1e-10)),
                   _mm_cmplt_pd(_mm_mul_pd(Broadcast(2.0), x.msDriven), _mm_mul_pd(x.u, x.u))),
        _mm_and_pd(_mm_cmplt_pd(gainState, Broadcast(0.9999)), _mm_cmpgt_pd(releaseScale, Broadcast(0.2))));
    releaseScale = Select(transient, _mm_mul_pd(releaseScale, Broadcast(0.8)), releaseScale);
    const __m128d reducing = _mm_cmplt_pd(Max(gainState, Broadcast(kLogFloor)), Broadcast(kGainAtHalfDb));
    releaseScale = Select(reducing, Min(one, _mm_add_pd(releaseScale, Broadcast(1.0 - c.a2s))), releaseScale);
    releaseScale = _mm_mul_pd(releaseScale, Broadcast(c.a2s));
    effReleaseMs = _mm_mul_pd(Broadcast(180.0), _mm_add_pd(one, _mm_mul_pd(Broadcast(13.3), Min(releaseScale, one))));
    return _mm_div_pd(one, _mm_mul_pd(_mm_mul_pd(effReleaseMs, Broadcast(c.sampleRate)), Broadcast(0.001)));
  }

  // The gain to head for: the window minimum, along the ramp line where it lies ahead.
  __m128d Target(const Sample& x) {
    const __m128d f = x.minimum;
    fallCount = _mm_and_pd(_mm_cmplt_pd(x.required, previousRequired), _mm_add_pd(fallCount, Broadcast(1.0)));
    previousRequired = x.required;
    const __m128d falling = _mm_cmplt_pd(f, gainState);
    const __m128d steep = _mm_and_pd(
        _mm_and_pd(_mm_cmpge_pd(holdCounter, Broadcast(1.0)), _mm_cmpge_pd(fallCount, Broadcast(3.0))), falling);
    const __m128d target = Select(steep, _mm_sub_pd(gainState, _mm_mul_pd(Broadcast(0.3), _mm_sub_pd(gainState, f))), f);
    rampLine = Select(_mm_andnot_pd(ramping, falling), gainState, rampLine);
    ramping = falling;
    const __m128d arriving = _mm_cmplt_pd(x.leavesIn, Broadcast(2.0));
    const __m128d stepped = _mm_add_pd(rampLine, _mm_div_pd(_mm_sub_pd(f, rampLine), x.leavesIn));
    rampLine = Select(falling, Select(arriving, f, stepped), rampLine);
    return Select(falling, Select(arriving, Min(target, f), Max(target, stepped)), target);
  }

  // Attack towards the target, release (Release itself, lane by lane) or hold.
  void MoveGain(GainWindow (&w)[2], __m128d target, __m128d f, __m128d pole, const Constants& c) {
    const __m128d one = Broadcast(1.0);
    const __m128d attack = _mm_cmplt_pd(target, gainState);
    const __m128d release = _mm_andnot_pd(attack, _mm_cmplt_pd(holdCounter, one));
    const __m128d attacked =
        _mm_add_pd(_mm_mul_pd(Broadcast(c.aAtk), gainState), _mm_mul_pd(Broadcast(1.0 - c.aAtk), target));
    const __m128d attackHold = _mm_add_pd(
        Broadcast(c.holdBase),
        _mm_cvtepi32_pd(_mm_cvttpd_epi32(_mm_mul_pd(_mm_mul_pd(Broadcast(0.015), releaseScale), Broadcast(c.sampleRate)))));
    const int releasing = _mm_movemask_pd(release);
    __m128d released = gainState;
    if (releasing != 0) {
      const __m128d ex = _mm_sub_pd(
          one, _mm_mul_pd(pole, _mm_sub_pd(one, _mm_mul_pd(_mm_mul_pd(Broadcast(0.5), pole),
                                                           _mm_sub_pd(one, _mm_div_pd(pole, Broadcast(3.0)))))));
      const double left = releasing & 1 ? w[0].Release(Left(gainState), Left(f), Left(ex), c) : Left(gainState);
      const double right = releasing & 2 ? w[1].Release(Right(gainState), Right(f), Right(ex), c) : Right(gainState);
      released = Pair(left, right);
    }
    // Attack and hold start the release's fade-in afresh.
    if (!(releasing & 1)) w[0].releaseRamp_ = 0.0f;
    if (!(releasing & 2)) w[1].releaseRamp_ = 0.0f;
    holdCounter = Select(attack, attackHold, Select(release, holdCounter, _mm_sub_pd(holdCounter, one)));
    gainState = Min(Select(attack, attacked, released), one);
  }

  // The slow envelope, the blend the masking verdict picks and the four smoothers.
  __m128d Smooth(__m128d pole, __m128d maskedness, const Constants& c) {
    const __m128d rising =
        _mm_mul_pd(_mm_sub_pd(Broadcast(1.0), slowEnvelope), OneMinusExpMinus(_mm_mul_pd(Broadcast(0.5), pole)));
    slowEnvelope = Select(_mm_cmplt_pd(gainState, slowEnvelope), gainState, _mm_add_pd(slowEnvelope, rising));
    const __m128d blend = _mm_add_pd(slowEnvelope, _mm_mul_pd(_mm_sub_pd(gainState, slowEnvelope), maskedness));
    const __m128d kSmooth = Broadcast(c.kSmooth);
    smoother[0] = _mm_add_pd(smoother[0], _mm_mul_pd(_mm_sub_pd(Min(gainState, blend), smoother[0]), kSmooth));
    for (int k = 1; k < 4; ++k)
      smoother[k] = _mm_add_pd(smoother[k], _mm_mul_pd(_mm_sub_pd(smoother[k - 1], smoother[k]), kSmooth));
    return smoother[3];
  }
};

void ProcessGainPair(GainWindow (&w)[2], const GainPairRun& run, const GainWindow::Constants& c) {
  const __m128d ceilLin = Pair(run.ceilLin[0], run.ceilLin[1]);
  const __m128d maskedness = Pair(run.maskedness[0], run.maskedness[1]);
  GainWindow::PairLanes lanes(w);
  for (int i = 0; i < run.n; ++i) {
    GainWindow::PairLanes::Sample x;
    x.u = Pair(run.u[0][i], run.u[1][i]);
    x.msDriven = Pair(run.msDriven[0][i], run.msDriven[1][i]);
    const __m128d p = Pair(run.peak[0][i], run.peak[1][i]);
    x.required = Select(_mm_cmpgt_pd(p, ceilLin), _mm_div_pd(ceilLin, p), Broadcast(1.0));
    // The window minima, each channel's own deque.
    x.minimum = Pair(w[0].PushRequired(Left(x.required)), w[1].PushRequired(Right(x.required)));
    x.leavesIn = Pair(w[0].MinimumLeavesIn(), w[1].MinimumLeavesIn());

    const __m128d pole = lanes.ScaleRelease(x, c);
    const __m128d target = lanes.Target(x);
    lanes.MoveGain(w, target, x.minimum, pole, c);
    const __m128d gain = lanes.Smooth(pole, maskedness, c);
    run.gain[0][i] = Left(gain);
    run.gain[1][i] = Right(gain);
    run.gainState[0][i] = Left(lanes.gainState);
    run.gainState[1][i] = Right(lanes.gainState);
  }
  lanes.StoreTo(w);
}

#else

void ProcessGainPair(GainWindow (&w)[2], const GainPairRun& run, const GainWindow::Constants& c) {
  for (int i = 0; i < run.n; ++i)
    for (int ch = 0; ch < 2; ++ch) {
      run.gain[ch][i] = w[ch].Process(run.u[ch][i], run.peak[ch][i], run.ceilLin[ch], run.msDriven[ch][i],
                                      run.maskedness[ch], c);
      run.gainState[ch][i] = w[ch].GainState();
    }
}

#endif
