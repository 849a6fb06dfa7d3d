#pragma once

#include <vector>

#include "app/audio/AudioFile.h"
#include "app/delivery/MasterSettings.h"
#include "app/delivery/RenderProgress.h"
#include "app/render/ReductionCollector.h"

struct EngineRender {
  AudioBuffer output;  // aligned with the input, as long as it
  ReductionStats reduction;
  std::vector<float> reductionDb;  // the most reduction in each of up to kReductionColumns stretches
};

// Runs `input`, amplified by `gainDb` in front of the plug-in, through a fresh plug-in with
// `values`, the way `zarn render` does (host blocks of `kBlockSize`, latency compensated), so
// the same settings sound the same here as in a host. A fresh plug-in each time makes every
// render of the same input and gain identical, dither included.
EngineRender RenderThroughEngine(const AudioBuffer& input, const ParamValues& values,
                                 double gainDb);

// A render whose output is silence as long as `input`, to render into.
EngineRender BlankRender(const AudioBuffer& input);

// The same render into `render` (from BlankRender), publishing to `progress`, when given, the
// output frames written after every block, so that another thread may read them as they come.
void RenderInto(const AudioBuffer& input, const ParamValues& values, double gainDb,
                EngineRender& render, RenderProgress* progress = nullptr);

// The same render cut into kEstimateParts stretches rendered side by side on up to `jobs`
// threads, each from kEstimateWarmUpSeconds before its start: the limiter has settled by then,
// so loudness and reduction come within a few hundredths of the whole render's, in a fraction
// of its time on several cores. Only the first stretch is the whole render's sample for sample;
// a search probes with it, a master never. The parts do not depend on `jobs`, so neither does
// the estimate.
EngineRender EstimateThroughEngine(const AudioBuffer& input, const ParamValues& values,
                                   double gainDb, int jobs);
// Whether the input is long enough for its stretches to be worth their warm-up: each stretch at
// least twice as long as the warm-up.
bool EstimateSavesTime(const AudioBuffer& input);

inline constexpr int kBlockSize = 512;
inline constexpr size_t kEstimateParts = 2;
inline constexpr double kEstimateWarmUpSeconds = 3.0;
inline constexpr int kReductionColumns = 600;  // the report's picture of the gain reduction
