#include "app/delivery/MasterRender.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "app/audio/Decibels.h"
#include "app/audio/UserError.h"
#include "app/delivery/ParallelFor.h"
#include "core/ZARN.h"

namespace {

std::unique_ptr<ZARN> PreparedPlugin(const ParamValues& values, const AudioBuffer& input) {
  auto plugin = std::make_unique<ZARN>();
  for (int i = 0; i < kNumParams; ++i) plugin->SetParamValue(i, values[static_cast<size_t>(i)]);
  if (!plugin->SetupProcessing(input.sampleRate, kBlockSize, input.Channels(), input.Channels()))
    throw UserError("the plug-in refuses " + std::to_string(input.sampleRate) + " Hz");
  // Nobody watches these meters; the master comes out the same without them.
  plugin->Engine().SetDisplayMeters(false);
  return plugin;
}

// Input frames [begin, end) of a render, the plug-in started `warmUp` frames before `begin`.
struct Stretch {
  int64_t begin = 0;
  int64_t end = 0;
  int64_t warmUp = 0;
};

// Renders `stretch` of `input` into the same frames of `output`: the plug-in gets the input from
// the start of its warm-up, and after the stretch the input that follows it (silence past the
// end) for the latency, so the stretch's last samples come out too. Reduction is collected over
// the stretch's own blocks.
void RenderStretch(const AudioBuffer& input, const ParamValues& values, double gainDb,
                   const Stretch& stretch, AudioBuffer& output, ReductionCollector& reduction,
                   RenderProgress* progress = nullptr) {
  const auto plugin = PreparedPlugin(values, input);
  const int nChannels = input.Channels();
  const int64_t frames = input.Frames();
  const int64_t latency = plugin->GetLatency();
  const double gain = DbToAmplitude(gainDb);
  const int64_t first = std::max<int64_t>(0, stretch.begin - stretch.warmUp);

  std::vector<std::vector<double>> in(static_cast<size_t>(nChannels), std::vector<double>(kBlockSize));
  std::vector<std::vector<double>> out(in);
  double* inPointers[2];
  double* outPointers[2];
  plugin->Engine().EndInputAfter(frames - first);
  for (int64_t start = first; start < stretch.end + latency; start += kBlockSize) {
    const int n = static_cast<int>(std::min<int64_t>(kBlockSize, stretch.end + latency - start));
    for (int c = 0; c < nChannels; ++c) {
      const auto& source = input.channels[static_cast<size_t>(c)];
      auto& block = in[static_cast<size_t>(c)];
      for (int i = 0; i < n; ++i)
        block[static_cast<size_t>(i)] = start + i < frames ? gain * source[static_cast<size_t>(start + i)] : 0.0;
      inPointers[c] = block.data();
      outPointers[c] = out[static_cast<size_t>(c)].data();
    }
    plugin->ProcessAudioBlock(inPointers, outPointers, n);
    if (start >= stretch.begin && start < stretch.end)
      reduction.Add(*plugin, nChannels);
    else
      for (int c = 0; c < nChannels; ++c) plugin->Engine().TakeMinGain(c);  // not the stretch's
    for (int c = 0; c < nChannels; ++c) {
      auto& target = output.channels[static_cast<size_t>(c)];
      for (int i = 0; i < n; ++i) {
        const int64_t at = start + i - latency;
        if (at >= stretch.begin && at < stretch.end) target[static_cast<size_t>(at)] = outPointers[c][i];
      }
    }
    if (progress) progress->Publish(std::clamp(start + n - latency, stretch.begin, stretch.end));
  }
}

// `frames` rounded up to whole blocks.
int64_t WholeBlocks(int64_t frames) { return (frames + kBlockSize - 1) / kBlockSize * kBlockSize; }

AudioBuffer SilentLike(const AudioBuffer& input) {
  AudioBuffer output;
  output.sampleRate = input.sampleRate;
  output.channels.assign(input.channels.size(), std::vector<double>(static_cast<size_t>(input.Frames())));
  return output;
}

}  // namespace

EngineRender BlankRender(const AudioBuffer& input) {
  EngineRender render;
  render.output = SilentLike(input);
  return render;
}

void RenderInto(const AudioBuffer& input, const ParamValues& values, double gainDb,
                EngineRender& render, RenderProgress* progress) {
  const int64_t frames = input.Frames();
  ReductionCollector reduction(WholeBlocks(frames) / kBlockSize, kReductionColumns);
  RenderStretch(input, values, gainDb, {0, frames, 0}, render.output, reduction, progress);
  render.reduction = reduction.Stats();
  render.reductionDb = reduction.Columns();
}

EngineRender RenderThroughEngine(const AudioBuffer& input, const ParamValues& values,
                                 double gainDb) {
  EngineRender render = BlankRender(input);
  RenderInto(input, values, gainDb, render);
  return render;
}

bool EstimateSavesTime(const AudioBuffer& input) {
  return static_cast<double>(input.Frames()) >=
         2.0 * kEstimateWarmUpSeconds * input.sampleRate * static_cast<double>(kEstimateParts);
}

EngineRender EstimateThroughEngine(const AudioBuffer& input, const ParamValues& values,
                                   double gainDb, int jobs) {
  EngineRender render = BlankRender(input);
  const int64_t frames = input.Frames();
  // Whole blocks, so that every stretch's blocks fall where a whole render's would.
  const int64_t warmUp =
      WholeBlocks(static_cast<int64_t>(std::ceil(kEstimateWarmUpSeconds * input.sampleRate)));
  // Every stretch but the first renders its warm-up too: the first is longer by that much, so
  // that all take as long.
  const auto parts = static_cast<int64_t>(kEstimateParts);
  const int64_t share = (frames + (parts - 1) * warmUp) / parts;
  const auto boundary = [&](size_t part) {
    if (part == kEstimateParts) return frames;
    const int64_t k = static_cast<int64_t>(part);
    return std::clamp<int64_t>(k * share - std::max<int64_t>(0, k - 1) * warmUp, 0, frames) / kBlockSize * kBlockSize;
  };
  std::vector<ReductionCollector> reductions(kEstimateParts);
  ParallelFor(kEstimateParts, jobs, [&](size_t part) {
    RenderStretch(input, values, gainDb, {boundary(part), boundary(part + 1), warmUp}, render.output,
                  reductions[part]);
  });
  for (size_t part = 1; part < reductions.size(); ++part) reductions[0].Merge(reductions[part]);
  render.reduction = reductions[0].Stats();
  return render;
}
