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

// Next gain: secant through the two latest points, bisection when that leaves the bracket.
// Before there is a bracket, a step of at least the excess (loudness never rises faster than
// the gain) in the direction that reduces it.
double NextGain(const Point& previous, const Point& latest, const std::optional<Point>& below,
                const std::optional<Point>& above) {
  const double dx = latest.probe.gainDb - previous.probe.gainDb;
  const double dy = latest.excess - previous.excess;
  double slope = (dx != 0.0 && dy / dx > 0.0) ? dy / dx : 1.0;
  if (below && above) {
    const double lo = below->probe.gainDb, hi = above->probe.gainDb;
    // Regula falsi between the bracket's ends is safer than a secant that may leave it.
    const double span = above->excess - below->excess;
    double next = lo - below->excess * (hi - lo) / span;
    const double margin = 0.05 * (hi - lo);
    if (!(next > lo + margin && next < hi - margin)) next = 0.5 * (lo + hi);
    return next;
  }
  slope = std::clamp(slope, kMinSlope, 1.0);
  const double step = std::clamp(-latest.excess / slope, -kMaxStepDb, kMaxStepDb);
  return latest.probe.gainDb + step;
}

}  // namespace

GainSearchResult SearchGain(const LoudnessGoal& goal, double firstGuessDb,
                            const MeasureGain& measure) {
  GainSearchResult result;
  std::optional<Point> below, above, previous;
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
    if (latest.excess < 0.0 && (!below || latest.probe.gainDb > below->probe.gainDb))
      below = latest;
    if (latest.excess >= 0.0 && (!above || latest.probe.gainDb < above->probe.gainDb))
      above = latest;
    const double next = NextGain(previous.value_or(latest), latest, below, above);
    previous = latest;
    if (next == gain) break;
    gain = next;
  }
  result.chosen = best ? *best : last;
  result.reachedTarget = WithinLimit(goal, result.chosen) &&
                         std::abs(result.chosen.lufs - goal.targetLufs) <= kDeliveryToleranceLu;
  return result;
}
