#include "app/render/RenderFile.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <memory>

#include <sndfile.h>

#include "app/audio/AudioReader.h"
#include "app/audio/AudioWriter.h"
#include "app/audio/Decibels.h"
#include "app/audio/UserError.h"
#include "app/render/DynamicCeilingWatch.h"
#include "app/render/MeterLog.h"
#include "app/render/OfflineHost.h"
#include "app/render/OutputPeakMeter.h"
#include "app/render/ParamAssignment.h"
#include "app/render/PluginHost.h"
#include "app/render/RenderPipeline.h"
#include "core/ParamIds.h"
#include "core/ZARN.h"

namespace {

void CheckBlockSize(int blockSize) {
  if (blockSize < RenderOptions::kMinBlockSize || blockSize > RenderOptions::kMaxBlockSize)
    throw UserError("block size " + std::to_string(blockSize) + " is outside " +
                       std::to_string(RenderOptions::kMinBlockSize) + ".." +
                       std::to_string(RenderOptions::kMaxBlockSize));
}

void CheckChannels(const AudioReader& reader) {
  if (reader.Channels() > 2)
    throw UserError("cannot render " + reader.Path() + ": it has " +
                       std::to_string(reader.Channels()) +
                       " channels; only mono and stereo files can be rendered");
}

// Rendering onto the input would replace the only copy of it with the result.
void CheckOutputIsNotInput(const RenderOptions& options) {
  std::error_code error;
  if (std::filesystem::equivalent(options.inputPath, options.outputPath, error))
    throw UserError("cannot write " + options.outputPath + ": it is the input file");
}

void SetUpPlugin(ZARN& plugin, const AudioReader& reader, int blockSize) {
  if (!plugin.SetupProcessing(reader.SampleRate(), blockSize, reader.Channels(),
                              reader.Channels()))
    throw UserError("cannot render " + reader.Path() + ": sample rate " +
                       std::to_string(static_cast<int>(reader.SampleRate())) +
                       " Hz is not supported (" +
                       std::to_string(static_cast<int>(IFxProcessor::kMinSampleRate)) + ".." +
                       std::to_string(static_cast<int>(IFxProcessor::kMaxSampleRate)) + " Hz)");
}

// The output's container, word length and what the Dither parameter must become for it.
struct OutputChoice {
  Container container = Container::kWav;
  int format = 0;
  int dither = -1;  // the Dither value the word length asks for; -1: leave it as set
  bool flacHoldsNoFloat = false;
};

// Everything that needs only the options, so a bad one is refused before any file is opened.
Container CheckOutputOptions(const RenderOptions& options) {
  const Container container = ContainerForOutput(options.outputPath);
  if (options.bits && options.keepInputFormat)
    throw UserError("--bits and --format same both choose the word length; give one of them");
  if (options.bits && !CanHold(container, *options.bits))
    throw UserError("cannot write " + options.outputPath +
                       ": FLAC cannot hold float samples; use --bits 16 or 24, or a .wav or .aiff name");
  return container;
}

bool Writable(int format, const AudioReader& reader) {
  SF_INFO info{};
  info.samplerate = static_cast<int>(reader.SampleRate());
  info.channels = reader.Channels();
  info.format = format;
  return sf_format_check(&info) != 0;
}

OutputChoice ChooseOutput(const RenderOptions& options, Container container, const AudioReader& reader) {
  OutputChoice choice;
  choice.container = container;
  WordLength bits = WordLength::kFloat;
  if (options.bits) {
    bits = *options.bits;
    if (bits != WordLength::kFloat) choice.dither = DitherFor(bits);
  } else if (options.keepInputFormat) {
    const int same = SndfileFormat(container, WordLength::kFloat) & SF_FORMAT_TYPEMASK;
    choice.format = same | (reader.Format() & SF_FORMAT_SUBMASK);
    if (Writable(choice.format, reader)) return choice;
    bits = WordLengthOf(reader.Format());
  }
  if (!CanHold(container, bits)) {
    bits = WordLength::k24;
    choice.dither = DitherFor(bits);
    choice.flacHoldsNoFloat = true;
  }
  choice.format = SndfileFormat(container, bits);
  return choice;
}

bool NamesParam(const std::vector<ParamAssignment>& assignments, int paramIdx) {
  return std::any_of(assignments.begin(), assignments.end(),
                     [paramIdx](const ParamAssignment& a) { return a.paramIdx == paramIdx; });
}

// Integer samples of 24 bits or fewer, without dither for that word length or a shorter one:
// the quantisation error stays correlated with the music.
void DescribeOutput(const OutputChoice& choice, const ZARN& plugin, RenderResult& result) {
  const IParam& dither = *plugin.GetParam(kDither);
  result.container = choice.container;
  result.format = choice.format;
  result.dither = dither.DisplayText();
  result.flacHoldsNoFloat = choice.flacHoldsNoFloat;
  const int bits = IntegerBits(choice.format);
  const int ditherBits = dither.Value() >= 2 ? 24 : dither.Value() >= 1 ? 16 : 0;
  result.undithered = bits > 0 && bits <= 24 && (ditherBits == 0 || ditherBits > bits);
  if (result.undithered)
    result.warnings.push_back(result.outputPath + " is " + SampleFormatName(choice.format) + " and Dither is " +
                              result.dither + ": the samples are quantised without dither; --bits " +
                              (bits > 16 ? "24" : "16") + " dithers them");
}

double Db(double amplitude) { return AmplitudeToDb(amplitude); }

// A move, checked, and the sample it takes effect at once the input's length is known.
struct DueMove {
  double seconds = 0.0;
  ParamAssignment assignment;
  std::string text;  // for messages: `--at 2.5 "Name=value"`
  int64_t frame = 0;
};

std::string MoveText(const TimedSetting& move) {
  return "--at " + FormatExactNumber(move.seconds) + " \"" + move.setting + "\"";
}

std::vector<DueMove> ParseMoves(const std::vector<TimedSetting>& moves, const ZARN& plugin) {
  std::vector<DueMove> due;
  for (const TimedSetting& move : moves) {
    if (!std::isfinite(move.seconds) || move.seconds < 0.0)
      throw UserError(MoveText(move) + ": expected a time in seconds from the start of the input, 0 or more");
    due.push_back({move.seconds, ParseParamAssignment(move.setting, plugin, "--at " + FormatExactNumber(move.seconds)),
                   MoveText(move)});
  }
  return due;
}

// Each move at the first sample at or after its time (a time within a millionth of a sample of a
// sample's counts as that sample's, so that decimal times land where they are meant to), in the
// order they take effect; at one sample in the order given, so that the last one given wins.
void ScheduleMoves(std::vector<DueMove>& due, const AudioReader& reader) {
  const double frames = static_cast<double>(reader.Frames());
  for (DueMove& move : due) {
    const double position = move.seconds * reader.SampleRate();
    const double nearest = std::round(position);
    const double first = std::fabs(position - nearest) <= 1e-6 ? nearest : std::ceil(position);
    if (!(first < frames))
      throw UserError(move.text + ": past the end of " + reader.Path() + ", which lasts " +
                      FormatPlainNumber(frames / reader.SampleRate()) + " s");
    move.frame = static_cast<int64_t>(first);
  }
  std::stable_sort(due.begin(), due.end(), [](const DueMove& a, const DueMove& b) { return a.frame < b.frame; });
}

void Summarise(const RenderOptions& options, double sampleRate, int nChannels, int64_t frames,
               int latency, const WholeFileMeters& whole, const OutputPeakMeter& meter,
               const MeterLog& meters, std::chrono::steady_clock::time_point started,
               RenderResult& result) {
  result.inputPath = options.inputPath;
  result.outputPath = options.outputPath;
  result.sampleRate = sampleRate;
  result.channels = nChannels;
  result.frames = frames;
  result.latencySamples = latency;
  const bs1770::Analysis in = whole.input.Result();
  const bs1770::Analysis out = whole.output.Result();
  result.inputTruePeakDbtp = Db(whole.inputPeak.TruePeak());
  result.inputIntegratedLufs = in.integratedLufs;
  result.inputLoudnessRangeLu = in.loudnessRangeLu;
  result.outputSamplePeakDbfs = Db(meter.SamplePeak());
  result.outputTruePeakDbtp = Db(meter.TruePeak());
  result.outputIntegratedLufs = out.integratedLufs;
  result.outputLoudnessRangeLu = out.loudnessRangeLu;
  result.maxShortTermLufs = out.maxShortTermLufs;
  result.maxMomentaryLufs = out.maxMomentaryLufs;
  result.hasMeters = meters.HasSnapshot();
  result.meters = meters.Last();
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  const double audioSeconds = static_cast<double>(frames) / sampleRate;
  result.realtimeFactor = audioSeconds / std::max(result.seconds, 1e-9);
}

}  // namespace

RenderResult RenderFile(const RenderOptions& options) {
  const auto started = std::chrono::steady_clock::now();
  CheckBlockSize(options.blockSize);
  const Container container = CheckOutputOptions(options);
  auto plugin = std::make_unique<ZARN>();
  std::vector<ParamAssignment> assignments = ParseParamAssignments(options.settings, *plugin);
  std::vector<DueMove> moves = ParseMoves(options.moves, *plugin);

  AudioReader reader(options.inputPath);
  CheckChannels(reader);
  CheckOutputIsNotInput(options);
  ScheduleMoves(moves, reader);
  const OutputChoice output = ChooseOutput(options, container, reader);
  if (output.dither >= 0 && !NamesParam(assignments, kDither))
    assignments.push_back({kDither, static_cast<double>(output.dither)});
  ApplyParamAssignments(*plugin, assignments);
  SetUpPlugin(*plugin, reader, options.blockSize);

  RenderResult result;
  result.outputPath = options.outputPath;
  result.settings = NonDefaultSettings(*plugin);
  DescribeOutput(output, *plugin, result);

  const int nChannels = reader.Channels();
  const auto render = [&](auto& host, int latency) {
    AudioWriter writer(options.outputPath, static_cast<int>(reader.SampleRate()), nChannels, output.format);
    OutputPeakMeter meter(nChannels);
    MeterLog meters(options.metersPath);
    WholeFileMeters whole(reader.SampleRate(), nChannels);
    RenderPipeline pipeline(reader, options.blockSize, latency, writer, meter, meters);
    pipeline.Measure(whole);
    pipeline.OnInputEnd([&host] { host.EndInput(); });
    // The watches follow the parameters as the built-in plug-in holds them; a module's ticks are
    // not seen.
    const auto& p = *plugin;
    DynamicCeilingWatch raised(p.GetParam(kDynamicCeiling)->Value() >= 0.5, p.GetParam(kCeilingL)->Value(),
                               p.GetParam(kTargetLufs)->Value());
    CodecCeilingWatch lowered(p.GetParam(kCodecMode)->Value() >= 1.0, p.GetParam(kCeilingL)->Value());
    size_t nextMove = 0;
    int64_t blockStart = 0;
    // Each move goes with the block that holds its sample, at the block's start.
    const auto makeMoves = [&](int n) {
      if (nextMove == moves.size() || moves[nextMove].frame >= blockStart + n) return;
      for (; nextMove < moves.size() && moves[nextMove].frame < blockStart + n; ++nextMove) {
        const DueMove& move = moves[nextMove];
        host.ChangeParam(move.assignment.paramIdx, move.assignment.plainValue);
        const IParam& param = *p.GetParam(move.assignment.paramIdx);
        const double value = param.ClampValue(move.assignment.plainValue);
        result.moves.push_back({move.seconds, move.frame, blockStart,
                                {param.Name(), value, param.Label(), param.FormatDisplay(value, false, true)}});
      }
      raised.Set(p.GetParam(kDynamicCeiling)->Value() >= 0.5, p.GetParam(kCeilingL)->Value(),
                 p.GetParam(kTargetLufs)->Value());
      lowered.Set(p.GetParam(kCodecMode)->Value() >= 1.0, p.GetParam(kCeilingL)->Value());
    };
    const int64_t frames = pipeline.Run(
        [&](const double* const* in, double* const* out, int n, MeterSnapshot& tick) {
          makeMoves(n);
          host.Process(in, out, n);
          blockStart += n;
          const bool ticked = host.TakeMeterSnapshot(tick);
          if (ticked) {
            raised.Add(tick);
            lowered.Add(tick);
          }
          return ticked;
        },
        options.onProgress);
    meter.Finish();
    whole.inputPeak.Finish();
    meters.Finish();
    writer.Commit();
    Summarise(options, reader.SampleRate(), nChannels, frames, latency, whole, meter, meters, started, result);
    result.gainReduction = host.Reduction();
    result.dynamicCeilingRaisedToDbtp = raised.RaisedTo().value_or(-100.0);
    result.codecModeLoweredCeilingToDbtp = lowered.LoweredTo().value_or(-100.0);
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
