#include "app/RenderCommand.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>

#include "app/AudioReader.h"
#include "app/AudioWriter.h"
#include "app/CommandError.h"
#include "app/Decibels.h"
#include "app/DynamicCeilingWatch.h"
#include "app/MeterLog.h"
#include "app/OfflineHost.h"
#include "app/OutputPeakMeter.h"
#include "app/ParamAssignment.h"
#include "app/PluginHost.h"
#include "app/RenderPipeline.h"
#include "core/ParamIds.h"
#include "core/ZARN.h"

namespace {

void CheckBlockSize(int blockSize) {
  if (blockSize < RenderOptions::kMinBlockSize || blockSize > RenderOptions::kMaxBlockSize)
    throw CommandError("block size " + std::to_string(blockSize) + " is outside " +
                       std::to_string(RenderOptions::kMinBlockSize) + ".." +
                       std::to_string(RenderOptions::kMaxBlockSize));
}

void CheckChannels(const AudioReader& reader) {
  if (reader.Channels() > 2)
    throw CommandError("cannot render " + reader.Path() + ": it has " +
                       std::to_string(reader.Channels()) +
                       " channels; only mono and stereo files can be rendered");
}

// Rendering onto the input would replace the only copy of it with the result.
void CheckOutputIsNotInput(const RenderOptions& options) {
  std::error_code error;
  if (std::filesystem::equivalent(options.inputPath, options.outputPath, error))
    throw CommandError("cannot write " + options.outputPath + ": it is the input file");
}

void SetUpPlugin(ZARN& plugin, const AudioReader& reader, int blockSize) {
  if (!plugin.SetupProcessing(reader.SampleRate(), blockSize, reader.Channels(),
                              reader.Channels()))
    throw CommandError("cannot render " + reader.Path() + ": sample rate " +
                       std::to_string(static_cast<int>(reader.SampleRate())) +
                       " Hz is not supported (" +
                       std::to_string(static_cast<int>(IFxProcessor::kMinSampleRate)) + ".." +
                       std::to_string(static_cast<int>(IFxProcessor::kMaxSampleRate)) + " Hz)");
}

int OutputFormat(const RenderOptions& options, const AudioReader& reader) {
  return options.keepInputFormat ? reader.Format() : AudioWriter::kFloatWav;
}

RenderResult Summarise(const RenderOptions& options, double sampleRate, int nChannels,
                       int64_t frames, int latency, double minGain, const OutputPeakMeter& meter,
                       const MeterLog& meters, std::chrono::steady_clock::time_point started) {
  RenderResult result;
  result.inputPath = options.inputPath;
  result.outputPath = options.outputPath;
  result.sampleRate = sampleRate;
  result.channels = nChannels;
  result.frames = frames;
  result.latencySamples = latency;
  result.maxGainReductionDb = std::max(0.0, -AmplitudeToDb(minGain));
  result.outputSamplePeakDbfs = AmplitudeToDb(meter.SamplePeak());
  result.outputTruePeakDbtp = AmplitudeToDb(meter.TruePeak());
  result.hasMeters = meters.HasSnapshot();
  result.meters = meters.Last();
  result.maxShortTermLufs = meters.MaxShortTermLufs();
  result.maxMomentaryLufs = meters.MaxMomentaryLufs();
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  const double audioSeconds = static_cast<double>(frames) / sampleRate;
  result.realtimeFactor = audioSeconds / std::max(result.seconds, 1e-9);
  return result;
}

}  // namespace

RenderResult RenderFile(const RenderOptions& options) {
  const auto started = std::chrono::steady_clock::now();
  CheckBlockSize(options.blockSize);
  auto plugin = std::make_unique<ZARN>();
  const std::vector<ParamAssignment> assignments = ParseParamAssignments(options.settings, *plugin);
  ApplyParamAssignments(*plugin, assignments);

  AudioReader reader(options.inputPath);
  CheckChannels(reader);
  CheckOutputIsNotInput(options);
  SetUpPlugin(*plugin, reader, options.blockSize);

  const int nChannels = reader.Channels();
  const auto render = [&](auto& host, int latency) {
    AudioWriter writer(options.outputPath, static_cast<int>(reader.SampleRate()), nChannels,
                       OutputFormat(options, reader));
    OutputPeakMeter meter(nChannels);
    MeterLog meters(options.metersPath);
    RenderPipeline pipeline(reader, options.blockSize, latency, writer, meter, meters);
    DynamicCeilingWatch ceiling(plugin->GetParam(kDynamicCeiling)->Value() >= 0.5,
                                plugin->GetParam(kCeilingL)->Value(), plugin->GetParam(kTargetLufs)->Value());
    const int64_t frames = pipeline.Run(
        [&host, &ceiling](const double* const* in, double* const* out, int n, MeterSnapshot& tick) {
          host.Process(in, out, n);
          const bool ticked = host.TakeMeterSnapshot(tick);
          if (ticked) ceiling.Add(tick);
          return ticked;
        },
        options.onProgress);
    meter.Finish();
    meters.Finish();
    writer.Commit();
    RenderResult result = Summarise(options, reader.SampleRate(), nChannels, frames, latency, host.MinGain(),
                                    meter, meters, started);
    result.dynamicCeilingRaisedToDbtp = ceiling.RaisedTo().value_or(-100.0);
    return result;
  };
  if (!options.pluginPath.empty()) {
    PluginHost host(options.pluginPath, reader.SampleRate(), nChannels, options.blockSize,
                    assignments);
    return render(host, host.Latency());
  }
  OfflineHost host(*plugin, nChannels, options.blockSize);
  return render(host, plugin->GetLatency());
}
