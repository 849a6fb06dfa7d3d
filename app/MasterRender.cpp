#include "app/MasterRender.h"

#include <algorithm>
#include <memory>

#include "app/CommandError.h"
#include "app/Decibels.h"
#include "app/ReductionCollector.h"
#include "core/ZARN.h"

namespace {

std::unique_ptr<ZARN> PreparedPlugin(const ParamValues& values, const AudioBuffer& input) {
  auto plugin = std::make_unique<ZARN>();
  for (int i = 0; i < kNumParams; ++i) plugin->SetParamValue(i, values[static_cast<size_t>(i)]);
  if (!plugin->SetupProcessing(input.sampleRate, kBlockSize, input.Channels(), input.Channels()))
    throw CommandError("the plug-in refuses " + std::to_string(input.sampleRate) + " Hz");
  // Nobody watches these meters; the master comes out the same without them.
  plugin->Engine().SetDisplayMeters(false);
  return plugin;
}

}  // namespace

EngineRender RenderThroughEngine(const AudioBuffer& input, const ParamValues& values,
                                 double gainDb) {
  const auto plugin = PreparedPlugin(values, input);
  const int nChannels = input.Channels();
  const int64_t frames = input.Frames();
  const int64_t latency = plugin->GetLatency();
  const double gain = DbToAmplitude(gainDb);

  EngineRender render;
  render.output.sampleRate = input.sampleRate;
  render.output.channels.assign(static_cast<size_t>(nChannels),
                                std::vector<double>(static_cast<size_t>(frames)));
  std::vector<std::vector<double>> in(static_cast<size_t>(nChannels), std::vector<double>(kBlockSize));
  std::vector<std::vector<double>> out(in);
  double* inPointers[2];
  double* outPointers[2];
  ReductionCollector reduction((frames + kBlockSize - 1) / kBlockSize, kReductionColumns);
  // The input, then silence for the latency, so the output's last samples come out too.
  for (int64_t start = 0; start < frames + latency; start += kBlockSize) {
    const int n = static_cast<int>(std::min<int64_t>(kBlockSize, frames + latency - start));
    for (int c = 0; c < nChannels; ++c) {
      const auto& source = input.channels[static_cast<size_t>(c)];
      auto& block = in[static_cast<size_t>(c)];
      for (int i = 0; i < n; ++i)
        block[static_cast<size_t>(i)] = start + i < frames ? gain * source[static_cast<size_t>(start + i)] : 0.0;
      inPointers[c] = block.data();
      outPointers[c] = out[static_cast<size_t>(c)].data();
    }
    plugin->ProcessAudioBlock(inPointers, outPointers, n);
    if (start < frames) reduction.Add(*plugin, nChannels);
    for (int c = 0; c < nChannels; ++c) {
      auto& target = render.output.channels[static_cast<size_t>(c)];
      for (int i = 0; i < n; ++i) {
        const int64_t at = start + i - latency;
        if (at >= 0 && at < frames) target[static_cast<size_t>(at)] = outPointers[c][i];
      }
    }
  }
  render.reduction = reduction.Stats();
  render.reductionDb = reduction.Columns();
  return render;
}
