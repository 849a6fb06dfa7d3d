#include "app/delivery/LoudnessSearch.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

namespace {

constexpr double kDeliveryToleranceLu = 0.1;
constexpr double kMaxStepDb = 24.0;  // from the nearest probe
constexpr double kMinSlope = 0.05;   // loudness per dB of gain when the limiter takes nearly all
constexpr double kSilentLufs = -70.0;
constexpr double kReducing = 0.05;   // dB of reduction that show the limiter at work
// Reduction grows about a dB per dB of gain past the onset, a little faster as it deepens.
constexpr double kReductionSlope = 1.1;
constexpr double kInfinity = std::numeric_limits<double>::infinity();

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

// The probe whose `value` lies nearest `aim`, and the nearest after it at another gain (or none).
template <typename Value>
std::pair<const GainProbe*, const GainProbe*> Nearest(const std::vector<GainProbe>& probes,
                                                     double aim, const Value& value) {
  std::vector<const GainProbe*> order;
  for (const GainProbe& p : probes) order.push_back(&p);
  std::stable_sort(order.begin(), order.end(), [&](const GainProbe* a, const GainProbe* b) {
    return std::abs(value(*a) - aim) < std::abs(value(*b) - aim);
  });
  for (const GainProbe* p : order)
    if (p->gainDb != order.front()->gainDb) return {order.front(), p};
  return {order.front(), nullptr};
}

double SecantSlope(const GainProbe& a, const GainProbe& b, double GainProbe::*value) {
  return (a.*value - b.*value) / (a.gainDb - b.gainDb);
}

// The gain at which the output's loudness reaches the target. With one probe the slope is
// guessed, the lower of two guesses: from the loudness the limiter took (a loss growing with the
// square of the gain past the onset), and from how much of the time it works (loudness rises by
// about a third of a dB per dB once the reduction never lets go, nearly one for one while it
// works now and then). Both fit limiters on dense and on sparse material well enough for a step.
double LoudnessGain(const LoudnessGoal& goal, const SearchStart& start,
                    const std::vector<GainProbe>& probes) {
  const auto [nearest, other] =
      Nearest(probes, goal.targetLufs, [](const GainProbe& p) { return p.lufs; });
  double slope = 1.0;
  if (other != nullptr) {
    slope = SecantSlope(*nearest, *other, &GainProbe::lufs);
  } else if (nearest->maxReductionDb > kReducing) {
    const double past = nearest->gainDb - start.onsetGainDb;
    const double loss = start.inputLufs + nearest->gainDb - nearest->lufs;
    if (start.inputLufs > kSilentLufs && past > kReducing && loss > 0.0) slope = 1.0 - 2.0 * loss / past;
    slope = std::min(slope, 0.3 + 0.7 * std::exp(-nearest->reductionShare / 0.1));
  }
  slope = std::clamp(std::isfinite(slope) ? slope : 1.0, kMinSlope, 1.0);
  return nearest->gainDb + (goal.targetLufs - nearest->lufs) / slope;
}

// The gain at which the largest reduction reaches the middle of its accepted band.
double ReductionGain(const LoudnessGoal& goal, const SearchStart& start,
                     const std::vector<GainProbe>& probes) {
  const double aim = goal.maxReductionDb - 0.5 * goal.reductionToleranceDb;
  std::vector<GainProbe> reducing;
  for (const GainProbe& p : probes)
    if (p.maxReductionDb > kReducing) reducing.push_back(p);
  if (reducing.empty()) return std::isfinite(start.onsetGainDb) ? start.onsetGainDb + aim : kInfinity;
  const auto [nearest, other] =
      Nearest(reducing, aim, [](const GainProbe& p) { return p.maxReductionDb; });
  double slope = kReductionSlope;
  if (other != nullptr) slope = std::clamp(SecantSlope(*nearest, *other, &GainProbe::maxReductionDb), 0.5, 2.0);
  return nearest->gainDb + (aim - nearest->maxReductionDb) / slope;
}

// The gains known to be too low (below the target, within the reduction limit) and too high.
struct Bracket {
  double low = -kInfinity;
  double high = kInfinity;

  void Add(const LoudnessGoal& goal, const GainProbe& p) {
    if (p.lufs > goal.targetLufs || !WithinLimit(goal, p))
      high = std::min(high, p.gainDb);
    else
      low = std::max(low, p.gainDb);
  }

  // `wanted`, or where the bracket says it cannot be: its middle, or a step beyond its one end.
  double Keep(double wanted, double latest) const {
    if (wanted > low && wanted < high) return wanted;
    if (std::isfinite(low) && std::isfinite(high)) return 0.5 * (low + high);
    if (std::isfinite(low)) return std::max(latest, low) + 1.0;
    return std::min(latest, high) - 1.0;
  }
};

}  // namespace

bool ReachesTarget(const LoudnessGoal& goal, const GainProbe& probe) {
  return WithinLimit(goal, probe) && std::abs(probe.lufs - goal.targetLufs) <= kDeliveryToleranceLu;
}

GainSearchResult SearchGain(const LoudnessGoal& goal, const SearchStart& start,
                            const MeasureGain& measure) {
  GainSearchResult result;
  std::vector<GainProbe> probes;
  Bracket bracket;
  std::optional<GainProbe> best;
  double gain = start.firstGainDb;
  while (result.probes < goal.maxProbes) {
    const GainProbe probe = measure(gain);
    probes.push_back(probe);
    ++result.probes;
    if (Better(goal, probe, best)) best = probe;
    if (Accepted(goal, probe)) {
      best = probe;
      break;
    }
    bracket.Add(goal, probe);
    const double wanted = std::min(LoudnessGain(goal, start, probes), ReductionGain(goal, start, probes));
    const double next = bracket.Keep(std::clamp(wanted, gain - kMaxStepDb, gain + kMaxStepDb), gain);
    const bool probedAlready = std::any_of(probes.begin(), probes.end(),
                                           [&](const GainProbe& p) { return p.gainDb == next; });
    if (probedAlready || !std::isfinite(next)) break;
    gain = next;
  }
  result.chosen = best ? *best : probes.back();
  result.reachedTarget = ReachesTarget(goal, result.chosen);
  return result;
}
