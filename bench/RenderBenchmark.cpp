// `zarn render` against the engine it drives: a minute of the demo through RenderFile (reading,
// engine, output meters, writing), and the same decoded audio through the plug-in alone in
// 512-sample blocks, in alternating rounds so that both see the same machine load. Render is on
// target while its speed stays at 80 % or more of the engine's (render_vs_engine >= 0.8).
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <unistd.h>

#include "app/audio/AudioFile.h"
#include "app/audio/AudioReader.h"
#include "app/audio/AudioWriter.h"
#include "app/render/MeterLog.h"
#include "app/render/OutputPeakMeter.h"
#include "app/render/ParamAssignment.h"
#include "app/render/RenderFile.h"
#include "app/render/RenderPipeline.h"
#include "app/signals/TestSignals.h"
#include "core/ZARN.h"

namespace {

constexpr double kRate = 48000.0;
constexpr double kSeconds = 60.0;
constexpr int kBlock = 512;

// The input file and its decoded samples, made once per process.
struct Programme {
  std::filesystem::path folder;
  std::string input;
  AudioBuffer decoded;

  Programme() {
    folder = std::filesystem::temp_directory_path() /
             ("zarn-render-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    input = (folder / "demo.wav").string();
    const signals::Stereo demo = signals::Demo(kRate, kSeconds);
    SaveAudioFile(input, AudioBuffer{kRate, {demo.left, demo.right}});
    decoded = LoadAudioFile(input);
  }
  ~Programme() {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }
};

const Programme& TheProgramme() {
  static const Programme programme;
  return programme;
}

double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

// The plug-in alone, set up as the renderer sets it up, over the whole decoded programme.
double EngineSeconds(const AudioBuffer& audio, const std::vector<std::string>& settings) {
  ZARN plugin;
  ApplyParamAssignments(plugin, ParseParamAssignments(settings, plugin));
  plugin.SetupProcessing(audio.sampleRate, kBlock, 2, 2);
  std::vector<double> outL(kBlock), outR(kBlock);
  const auto started = std::chrono::steady_clock::now();
  for (int64_t start = 0; start < audio.Frames(); start += kBlock) {
    const int frames = static_cast<int>(std::min<int64_t>(kBlock, audio.Frames() - start));
    double* inputs[2] = {const_cast<double*>(audio.channels[0].data() + start),
                         const_cast<double*>(audio.channels[1].data() + start)};
    double* outputs[2] = {outL.data(), outR.data()};
    plugin.ProcessAudioBlock(inputs, outputs, frames);
    benchmark::DoNotOptimize(outL.data());
  }
  return Seconds(std::chrono::steady_clock::now() - started);
}

double RenderSeconds(const RenderOptions& options) {
  const auto started = std::chrono::steady_clock::now();
  benchmark::DoNotOptimize(RenderFile(options));
  return Seconds(std::chrono::steady_clock::now() - started);
}

// The best of a few alternating rounds of each: other work on the machine comes and goes.
void RenderAgainstEngine(benchmark::State& state, std::vector<std::string> settings) {
  constexpr int kRounds = 3;
  const Programme& programme = TheProgramme();
  RenderOptions options;
  options.inputPath = programme.input;
  options.outputPath = (programme.folder / "out.wav").string();
  options.settings = settings;
  options.blockSize = kBlock;

  double engineSeconds = 1e9, renderSeconds = 1e9;
  for (auto _ : state) {
    for (int round = 0; round < kRounds; ++round) {
      engineSeconds = std::min(engineSeconds, EngineSeconds(programme.decoded, settings));
      renderSeconds = std::min(renderSeconds, RenderSeconds(options));
    }
    state.SetIterationTime(renderSeconds);
  }
  const double audioSeconds = static_cast<double>(programme.decoded.Frames()) / kRate;
  state.counters["engine_x_realtime"] = audioSeconds / engineSeconds;
  state.counters["render_x_realtime"] = audioSeconds / renderSeconds;
  state.counters["render_vs_engine"] = engineSeconds / renderSeconds;
}

void BM_RenderAgainstEngine(benchmark::State& state) {
  RenderAgainstEngine(state, {"Drive L=12", "Drive R=12"});
}
BENCHMARK(BM_RenderAgainstEngine)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

// Every stage in circuit, as BM_ProcessAudioBlockAllStages.
void BM_RenderAgainstEngineAllStages(benchmark::State& state) {
  RenderAgainstEngine(state, {"Drive L=12", "Drive R=12", "Loud=100", "Loud Clip=2",
                              "Character=10", "Extra=75", "Dither=1"});
}
BENCHMARK(BM_RenderAgainstEngineAllStages)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

// Everything render does but the plug-in's work (reading, hand-overs, output meters, writing),
// with a copy in place of the plug-in: the speed the engine can reach before the rest of render
// holds it back.
void BM_RenderPipelineWithoutEngine(benchmark::State& state) {
  const Programme& programme = TheProgramme();
  const std::string output = (programme.folder / "copy.wav").string();
  const RenderPipeline::ProcessBlock copy = [](const double* const* in, double* const* out,
                                               int frames, MeterSnapshot&) {
    for (int c = 0; c < 2; ++c) std::copy_n(in[c], frames, out[c]);
    return false;
  };
  double seconds = 1e9;
  for (auto _ : state) {
    const auto started = std::chrono::steady_clock::now();
    AudioReader reader(programme.input);
    AudioWriter writer(output, static_cast<int>(kRate), 2);
    OutputPeakMeter meter(2);
    MeterLog meters("");
    RenderPipeline(reader, kBlock, 0, writer, meter, meters).Run(copy, nullptr);
    meter.Finish();
    writer.Commit();
    const double taken = Seconds(std::chrono::steady_clock::now() - started);
    state.SetIterationTime(taken);
    seconds = std::min(seconds, taken);
  }
  state.counters["x_realtime"] = static_cast<double>(programme.decoded.Frames()) / kRate / seconds;
}
BENCHMARK(BM_RenderPipelineWithoutEngine)->UseManualTime()->Iterations(3)->Unit(benchmark::kSecond);

}  // namespace
