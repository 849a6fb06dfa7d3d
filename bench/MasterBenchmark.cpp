// `zarn master` against `zarn render`: the same 30 s of the demo mastered in per-track mode to
// -14 LUFS with the three codec checks (every default of `zarn master`), and rendered once with
// default settings, in alternating
// rounds so that both see the same machine load. The search, the delivery measurements and the
// codecs together are on target while master_vs_render stays at 4 or below.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <unistd.h>

#include "app/MasterArguments.h"
#include "app/MasterCommand.h"
#include "app/audio/AudioFile.h"
#include "app/delivery/CodecProof.h"
#include "app/render/RenderFile.h"
#include "app/signals/TestSignals.h"

namespace {

constexpr double kRate = 48000.0;
constexpr double kSeconds = 30.0;

double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

template <typename Work>
double Timed(const Work& work) {
  const auto started = std::chrono::steady_clock::now();
  work();
  return Seconds(std::chrono::steady_clock::now() - started);
}

void BM_MasterAgainstRender(benchmark::State& state) {
  constexpr int kRounds = 5;  // the best of each, on a machine shared with others
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("zarn-master-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  const std::string input = (folder / "demo.wav").string();
  const signals::Stereo demo = signals::Demo(kRate, kSeconds);
  SaveAudioFile(input, AudioBuffer{kRate, {demo.left, demo.right}});

  RenderOptions render;
  render.inputPath = input;
  render.outputPath = (folder / "rendered.wav").string();
  // As a user runs it: every default, --jobs included.
  const MasterOptions master =
      ParseMasterArguments({input, "--out", (folder / "masters").string(), "--quiet"});

  double renderSeconds = 1e9, masterSeconds = 1e9;
  int renders = 0;
  for (auto _ : state) {
    for (int round = 0; round < kRounds; ++round) {
      renderSeconds = std::min(renderSeconds, Timed([&] { RenderFile(render); }));
      masterSeconds = std::min(masterSeconds, Timed([&] {
        renders = MasterTracks(master).tracks.at(0).renders;
      }));
    }
    state.SetIterationTime(masterSeconds);
  }
  state.counters["render_x_realtime"] = kSeconds / renderSeconds;
  state.counters["master_x_realtime"] = kSeconds / masterSeconds;
  state.counters["master_vs_render"] = masterSeconds / renderSeconds;
  state.counters["renders"] = renders;
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}
BENCHMARK(BM_MasterAgainstRender)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

namespace {

// One codec's round trip and reading on 30 s of a limited master, against real time.
void BM_CodecProof(benchmark::State& state) {
  const auto codec = static_cast<Codec>(state.range(0));
  const signals::Stereo demo = signals::Demo(kRate, kSeconds);
  AudioBuffer master{kRate, {demo.left, demo.right}};
  for (auto& channel : master.channels)
    for (double& x : channel) x = std::clamp(2.0 * x, -0.9, 0.9);  // hot, so that codecs make overs
  for (auto _ : state) benchmark::DoNotOptimize(ProveCodec(codec, master));
  state.SetLabel(CodecName(codec));
  state.counters["x_realtime"] =
      benchmark::Counter(kSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_CodecProof)
    ->Arg(static_cast<int>(Codec::kAac))
    ->Arg(static_cast<int>(Codec::kMp3))
    ->Arg(static_cast<int>(Codec::kOpus))
    ->Unit(benchmark::kMillisecond);

}  // namespace

namespace {

// An album as `zarn master --album` gets it: twelve five-minute tracks of different levels and
// densities (the demo turned and mixed with noise of its own for each), three codecs and the
// report; the time against the programme's length.
void BM_MasterAlbum(benchmark::State& state) {
  constexpr int kTracks = 12;
  constexpr double kTrackSeconds = 300.0;
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("zarn-album-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  const signals::Stereo demo = signals::Demo(kRate, kTrackSeconds);
  std::vector<std::string> args;
  for (int t = 0; t < kTracks; ++t) {
    const signals::Stereo noise = signals::PinkNoise(kRate, kTrackSeconds, -30.0 + 1.5 * t, 100u + t);
    const double level = std::pow(10.0, -t / 20.0);  // 0 to -11 dB
    const size_t shift = static_cast<size_t>(t) * demo.left.size() / kTracks;  // a different start
    AudioBuffer track{kRate, {demo.left, demo.right}};
    for (size_t c = 0; c < 2; ++c) {
      const std::vector<double>& source = c == 0 ? demo.left : demo.right;
      const std::vector<double>& added = c == 0 ? noise.left : noise.right;
      for (size_t n = 0; n < source.size(); ++n)
        track.channels[c][n] = level * source[(n + shift) % source.size()] + added[n];
    }
    const std::string path = (folder / ("track" + std::to_string(t + 10) + ".wav")).string();
    SaveAudioFile(path, track);
    args.push_back(path);
  }
  args.insert(args.end(), {"--album", "--quiet", "--out", (folder / "masters").string()});

  double seconds = 0.0;
  for (auto _ : state) {
    std::ostringstream out, err;
    seconds = Timed([&] { RunMasterCommand(args, out, err); });
    state.SetIterationTime(seconds);
  }
  const double programme = kTracks * kTrackSeconds;
  state.counters["fraction_of_duration"] = seconds / programme;
  state.counters["x_realtime"] = programme / seconds;
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}
BENCHMARK(BM_MasterAlbum)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
