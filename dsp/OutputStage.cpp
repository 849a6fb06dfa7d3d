#include "dsp/OutputStage.h"

#include <algorithm>
#include <cmath>

namespace output_stage {

namespace {
constexpr double kMinRatio = 0.0625;
constexpr double kMaxRatio = 16.0;
constexpr double kBypassLimit = 2.0;
constexpr double kTwoPow24Inverse = 1.0 / 16777216.0;
}  // namespace

double DitherStep(int dither) {
  if (dither == 1) return 1.0 / 32768.0;
  if (dither == 2) return 1.0 / 8388608.0;
  return 0.0;
}

double LevelMatchRatio(double msOut, double msRef) {
  return std::clamp(std::sqrt(msOut / std::max(msRef, 1e-12)), kMinRatio, kMaxRatio);
}

double Dither(double x, double step, uint32_t& seed) {
  const uint32_t s1 = NextRandom(seed);
  const uint32_t s2 = NextRandom(s1);
  seed = s2;
  const double tpdf = (s1 >> 8) * kTwoPow24Inverse - (s2 >> 8) * kTwoPow24Inverse;
  return step * std::floor(x / step + 0.5 + tpdf);
}

double Process(const Settings& s, double dry, double dryForDelta, double processed,
               double msOut, double msRef, uint32_t& seed) {
  if (s.bypass) {
    if (!s.levelMatch) return dry;
    return std::clamp(dryForDelta * LevelMatchRatio(msOut, msRef), -kBypassLimit, kBypassLimit);
  }
  double out = processed;
  if (s.fullDelta) out -= LevelMatchRatio(msOut, msRef) * dryForDelta;
  return s.ditherStep > 0.0 ? Dither(out, s.ditherStep, seed) : out;
}

}  // namespace output_stage
