#pragma once

#include <functional>

// Finds the gain in front of the limiter that brings its output to a loudness target without
// more than a given peak gain reduction. Loudness and gain reduction both rise with the gain;
// each is followed by a secant through the two probes nearest its aim, and the next probe is the
// lower of the two gains they ask for, kept inside the bracket the probes have found (halving it
// when a secant would leave it). Every render is a whole pass over the track, so the first step
// is taken from what the input says about the limiting to come. The same measurements give the
// same answer.
struct GainProbe {
  double gainDb = 0.0;
  double lufs = -100.0;            // loudness of the limited output
  double maxReductionDb = 0.0;     // largest gain reduction the limiter applied
  double reductionShare = 0.0;     // share of the time with more than 1 dB of reduction, 0..1
};

struct LoudnessGoal {
  double targetLufs = -14.0;
  double maxReductionDb = 8.0;
  double toleranceLu = 0.05;       // the search's own aim, inside the delivery's 0.1 LU
  double reductionToleranceDb = 0.1;
  int maxProbes = 16;
};

struct GainSearchResult {
  GainProbe chosen;
  int probes = 0;
  bool reachedTarget = false;      // within 0.1 LU of the target and within the reduction limit
};

// What is known of the input before the first render.
struct SearchStart {
  double firstGainDb = 0.0;  // where the first probe goes
  double inputLufs = -100.0;
  // The gain at which the limiter starts to work: the ceiling less the input's true peak.
  double onsetGainDb = 0.0;
};

// Within 0.1 LU of the target and within the reduction limit.
bool ReachesTarget(const LoudnessGoal& goal, const GainProbe& probe);

using MeasureGain = std::function<GainProbe(double gainDb)>;

GainSearchResult SearchGain(const LoudnessGoal& goal, const SearchStart& start,
                            const MeasureGain& measure);
