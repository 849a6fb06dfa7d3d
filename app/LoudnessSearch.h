#pragma once

#include <functional>

// Finds the gain in front of the limiter that brings its output to a loudness target without
// more than a given peak gain reduction. Loudness and gain reduction both rise with the gain, so
// the search looks for the root of the larger of the two excesses (loudness over the target,
// reduction over its limit): secant steps until the root is bracketed, then Illinois regula
// falsi inside the bracket. The same measurements give the same answer.
struct GainProbe {
  double gainDb = 0.0;
  double lufs = -100.0;            // loudness of the limited output
  double maxReductionDb = 0.0;     // largest gain reduction the limiter applied
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

using MeasureGain = std::function<GainProbe(double gainDb)>;

// `firstGuessDb`: the gain that would reach the target without limiting (target minus the
// input's loudness).
GainSearchResult SearchGain(const LoudnessGoal& goal, double firstGuessDb,
                            const MeasureGain& measure);
