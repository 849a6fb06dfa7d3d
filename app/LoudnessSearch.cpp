#include "app/LoudnessSearch.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

constexpr double kDeliveryToleranceLu = 0.1;
constexpr double kMaxStepDb = 24.0;  // per probe, before a bracket is found
constexpr double kMinSlope = 0.05;  // loudness per dB of gain when the limiter takes nearly all

struct Point {
  GainProbe probe;
  double excess;  // > 0: too loud or too much reduction
};

double Excess(const LoudnessGoal& goal, const GainProbe& p) {
  return std::max(p.lufs - goal.targetLufs, p.maxReductionDb - goal.maxReductionDb);
}

bool WithinLimit(const LoudnessGoal& goal, const GainProbe& p) {
  return p.maxReductionDb <= goal.maxReductionDb;
}

bool Accepted(const LoudnessGoal& goal, const GainProbe& p) {
  if (!WithinLimit(goal, p)) return false;
  const double miss = p.lufs - goal.targetLufs;
  if (std::abs(miss) <= goal.toleranceLu) return true;
  // Held back by the reduction limit, as close to it as asked.
  return miss < 0.0 && p.maxReductionDb >= goal.maxReductionDb - goal.reductionToleranceDb;
}

// Of the probes within the reduction limit, the one nearest the target.
bool Better(const LoudnessGoal& goal, const GainProbe& candidate,
            const std::optional<GainProbe>& best) {
  if (!WithinLimit(goal, candidate)) return false;
  if (!best) return true;
  return std::abs(candidate.lufs - goal.targetLufs) < std::abs(best->lufs - goal.targetLufs);
}

// The gains known to be too low and too high, with their excesses; Illinois regula falsi
// between them: an end kept twice in a row counts half, so the other end keeps moving.
class Bracket {
 public:
  void Add(const Point& p) {
    if (p.excess < 0.0) {
      if (below_ && p.probe.gainDb <= below_->gain) return;
      below_ = End{p.probe.gainDb, p.excess};
      if (lastMoved_ == Side::kBelow && above_) above_->excess *= 0.5;
      lastMoved_ = Side::kBelow;
    } else {
      if (above_ && p.probe.gainDb >= above_->gain) return;
      above_ = End{p.probe.gainDb, p.excess};
      if (lastMoved_ == Side::kAbove && below_) below_->excess *= 0.5;
      lastMoved_ = Side::kAbove;
    }
  }
  bool Closed() const { return below_ && above_; }
  double FalsePosition() const {
    const double t = -below_->excess / (above_->excess - below_->excess);
    return below_->gain + t * (above_->gain - below_->gain);
  }

 private:
  enum class Side { kNone, kBelow, kAbove };
  struct End {
    double gain, excess;
  };
  std::optional<End> below_, above_;
  Side lastMoved_ = Side::kNone;
};

// Before there is a bracket: a secant step through the two latest points, taken at least as
// far as the excess (loudness never rises faster than the gain) and at most kMaxStepDb. Once
// the limiter works, its reduction grows by up to a dB per dB, so upwards the step goes no
// further than the reduction left: where loudness barely rises, the limit comes first.
double ExtrapolatedGain(const LoudnessGoal& goal, const Point& previous, const Point& latest) {
  const double dx = latest.probe.gainDb - previous.probe.gainDb;
  const double dy = latest.excess - previous.excess;
  const double slope = std::clamp((dx != 0.0 && dy / dx > 0.0) ? dy / dx : 1.0, kMinSlope, 1.0);
  double step = std::clamp(-latest.excess / slope, -kMaxStepDb, kMaxStepDb);
  if (step > 0.0 && latest.probe.maxReductionDb > 0.0)
    step = std::min(step, goal.maxReductionDb - latest.probe.maxReductionDb);
  return latest.probe.gainDb + step;
}

}  // namespace

GainSearchResult SearchGain(const LoudnessGoal& goal, double firstGuessDb,
                            const MeasureGain& measure) {
  GainSearchResult result;
  Bracket bracket;
  std::optional<Point> previous;
  std::optional<GainProbe> best;
  GainProbe last;
  double gain = firstGuessDb;
  while (result.probes < goal.maxProbes) {
    const GainProbe probe = measure(gain);
    last = probe;
    ++result.probes;
    if (Better(goal, probe, best)) best = probe;
    if (Accepted(goal, probe)) {
      best = probe;
      break;
    }
    const Point latest{probe, Excess(goal, probe)};
    bracket.Add(latest);
    const double next = bracket.Closed() ? bracket.FalsePosition()
                                         : ExtrapolatedGain(goal, previous.value_or(latest), latest);
    previous = latest;
    if (next == gain) break;
    gain = next;
  }
  result.chosen = best ? *best : last;
  result.reachedTarget = WithinLimit(goal, result.chosen) &&
                         std::abs(result.chosen.lufs - goal.targetLufs) <= kDeliveryToleranceLu;
  return result;
}
