#include "app/RenderCommand.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>

#include "app/AudioReader.h"
#include "app/AudioWriter.h"
#include "app/CommandError.h"
#include "app/Decibels.h"
#include "app/MeterLog.h"
#include "app/OfflineHost.h"
#include "app/OutputPeakMeter.h"
#include "app/ParamAssignment.h"
#include "app/PluginHost.h"
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

// Hands the plug-in's output to the file and the peak meter without its first `latency` frames,
// so that the file lines up with the input.
class AlignedOutput {
 public:
  AlignedOutput(AudioWriter& writer, OutputPeakMeter& meter, int nChannels, int latency)
      : writer_(writer), meter_(meter), nChannels_(nChannels), framesToDrop_(latency) {}

  void Take(const double* interleaved, int64_t frames) {
    const int64_t dropped = std::min(framesToDrop_, frames);
    framesToDrop_ -= dropped;
    const double* kept = interleaved + dropped * nChannels_;
    meter_.Add(kept, frames - dropped);
    writer_.Write(kept, frames - dropped);
  }

 private:
  AudioWriter& writer_;
  OutputPeakMeter& meter_;
  int nChannels_;
  int64_t framesToDrop_;
};

// Runs the whole input through the host, then `latency` frames of silence to bring out the
// plug-in's last samples. Returns the number of input frames.
// One block through the host, its output to the file and its meter tick, if any, to the log.
template <class Host>  // OfflineHost or PluginHost
class BlockRunner {
 public:
  BlockRunner(Host& host, AlignedOutput& output, MeterLog& meters, double sampleRate)
      : host_(host), output_(output), meters_(meters), sampleRate_(sampleRate) {}

  void Run(const double* interleaved, int frames) {
    output_.Take(host_.Process(interleaved, frames), frames);
    framesProcessed_ += frames;
    if (host_.TakeMeterSnapshot(snapshot_))
      meters_.Add(static_cast<double>(framesProcessed_) / sampleRate_, snapshot_);
  }

 private:
  Host& host_;
  AlignedOutput& output_;
  MeterLog& meters_;
  double sampleRate_;
  int64_t framesProcessed_ = 0;
  MeterSnapshot snapshot_;
};

template <class Runner>
int64_t RunBlocks(AudioReader& reader, Runner& runner, int blockSize, int latency,
                  const RenderOptions& options) {
  std::vector<double> block(static_cast<size_t>(blockSize * reader.Channels()));
  const double totalSeconds = static_cast<double>(reader.Frames()) / reader.SampleRate();
  int64_t framesRead = 0;
  while (const int64_t frames = reader.Read(block.data(), blockSize)) {
    runner.Run(block.data(), static_cast<int>(frames));
    framesRead += frames;
    if (options.onProgress)
      options.onProgress(static_cast<double>(framesRead) / reader.SampleRate(), totalSeconds);
  }
  std::fill(block.begin(), block.end(), 0.0);
  for (int remaining = latency; remaining > 0; remaining -= blockSize)
    runner.Run(block.data(), std::min(blockSize, remaining));
  return framesRead;
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
    AlignedOutput output(writer, meter, nChannels, latency);
    MeterLog meters(options.metersPath);
    BlockRunner runner(host, output, meters, reader.SampleRate());
    const int64_t frames = RunBlocks(reader, runner, options.blockSize, latency, options);
    meter.Finish();
    meters.Finish();
    writer.Commit();
    return Summarise(options, reader.SampleRate(), nChannels, frames, latency, host.MinGain(),
                     meter, meters, started);
  };
  if (!options.pluginPath.empty()) {
    PluginHost host(options.pluginPath, reader.SampleRate(), nChannels, options.blockSize,
                    assignments);
    return render(host, host.Latency());
  }
  OfflineHost host(*plugin, nChannels, options.blockSize);
  return render(host, plugin->GetLatency());
}
