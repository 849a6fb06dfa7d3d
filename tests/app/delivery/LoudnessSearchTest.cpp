// The gain search on loudness curves shaped like a limiter's: one for one below its threshold,
// flattening above it, with gain reduction growing dB for dB past the peak.
#ifdef ZARN_HAVE_APP

#include <algorithm>
#include <cmath>

#include <gtest/gtest.h>

#include "app/delivery/LoudnessSearch.h"

namespace {

// Input at `inputLufs` with peaks `crestDb` above it into a limiter at `ceilingDbtp`: past the
// ceiling, loudness rises by `limitedSlope` per dB of gain.
struct ModelLimiter {
  double inputLufs = -24.0;
  double crestDb = 14.0;
  double ceilingDbtp = -1.0;
  double limitedSlope = 0.35;
  int calls = 0;

  SearchStart Start(double targetLufs) const {
    return {targetLufs - inputLufs, inputLufs, ceilingDbtp - (inputLufs + crestDb)};
  }

  GainProbe operator()(double gainDb) {
    ++calls;
    const double reduction = std::max(0.0, inputLufs + crestDb + gainDb - ceilingDbtp);
    const double lufs = inputLufs + gainDb - (1.0 - limitedSlope) * reduction;
    return {gainDb, lufs, reduction};
  }
};

}  // namespace

TEST(LoudnessSearch, ReachesTargetsWithAndWithoutLimitingInFewRenders) {
  for (double target : {-30.0, -14.0, -9.0}) {
    ModelLimiter model;
    LoudnessGoal goal;
    goal.targetLufs = target;
    goal.maxReductionDb = 20.0;
    const GainSearchResult result =
        SearchGain(goal, model.Start(target), [&](double g) { return model(g); });
    EXPECT_TRUE(result.reachedTarget) << target;
    EXPECT_NEAR(result.chosen.lufs, target, goal.toleranceLu) << target;
    EXPECT_LE(result.probes, 3) << target;
    EXPECT_EQ(result.probes, model.calls);
  }
}

TEST(LoudnessSearch, StopsAtTheReductionLimitAndReportsTheMiss) {
  ModelLimiter model;
  model.crestDb = 30.0;  // quiet and wide: -14 LUFS would need far more than 8 dB
  model.limitedSlope = 0.1;
  LoudnessGoal goal;
  goal.targetLufs = -14.0;
  goal.maxReductionDb = 8.0;
  const GainSearchResult result = SearchGain(goal, model.Start(-14.0), [&](double g) { return model(g); });
  EXPECT_FALSE(result.reachedTarget);
  EXPECT_LE(result.chosen.maxReductionDb, 8.0);
  EXPECT_GE(result.chosen.maxReductionDb, 8.0 - goal.reductionToleranceDb);
  EXPECT_LT(result.chosen.lufs, -14.0 - 1.0);
  EXPECT_LE(result.probes, 3);
}

// Loudness that flattens as the reduction deepens (half a dB per dB at 6 dB of reduction, a
// third at 12), as a limiter on dense material does: each render is a pass over the whole track,
// so a target anywhere on the curve, or the reduction limit before it, takes three at most.
TEST(LoudnessSearch, ACurveFlatteningWithTheReductionTakesThreeRenders) {
  const auto curve = [](double gainDb) {
    const double reduction = std::max(0.0, gainDb - 2.0);  // the ceiling reached at +2 dB
    const double loss = reduction - 6.0 * std::log1p(reduction / 6.0);
    return GainProbe{gainDb, -20.0 + gainDb - loss, 1.05 * reduction};
  };
  for (double target : {-17.0, -15.0, -13.0, -12.0, -11.0}) {
    for (double limit : {12.0, 5.0}) {
      LoudnessGoal goal;
      goal.targetLufs = target;
      goal.maxReductionDb = limit;
      const GainSearchResult result = SearchGain(goal, {target + 20.0, -20.0, 2.0}, curve);
      EXPECT_LE(result.probes, 3) << target << " LUFS, limit " << limit;
      EXPECT_LE(result.chosen.maxReductionDb, limit);
      if (!result.reachedTarget)
        EXPECT_GE(result.chosen.maxReductionDb, limit - goal.reductionToleranceDb) << target;
      else
        EXPECT_NEAR(result.chosen.lufs, target, goal.toleranceLu);
    }
  }
}

TEST(LoudnessSearch, AFlatCurveEndsWithinTheProbeBudgetOnTheBestProbe) {
  LoudnessGoal goal;
  goal.targetLufs = -14.0;
  goal.maxReductionDb = 100.0;
  int calls = 0;
  // Nothing the gain does changes the loudness (a silent track).
  const GainSearchResult result = SearchGain(goal, SearchStart{}, [&](double g) {
    ++calls;
    return GainProbe{g, -80.0, 0.0};
  });
  EXPECT_FALSE(result.reachedTarget);
  EXPECT_LE(calls, goal.maxProbes);
  EXPECT_EQ(result.chosen.lufs, -80.0);
}

TEST(LoudnessSearch, AStepInTheCurveIsBracketedAndBisected) {
  // Loudness jumps by 3 LU at 0 dB: the target in the gap cannot be hit; the search must end
  // within its budget on a probe beside the gap.
  LoudnessGoal goal;
  goal.targetLufs = -14.0;
  goal.maxReductionDb = 100.0;
  const GainSearchResult result = SearchGain(goal, SearchStart{5.0, -19.0, 10.0}, [](double g) {
    return GainProbe{g, g < 0.0 ? -16.0 + 0.01 * g : -13.0 + 0.01 * g, 0.0};
  });
  EXPECT_FALSE(result.reachedTarget);
  EXPECT_NEAR(result.chosen.lufs, -14.0, 1.1);
  EXPECT_LE(result.probes, goal.maxProbes);
}

#endif  // ZARN_HAVE_APP
