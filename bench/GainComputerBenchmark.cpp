// Cost of the gain computer alone, both channels at once in runs as the engine runs them, on
// material like the block benchmark's: pink noise about 12 dB over a -0.1 dB ceiling.
#include <cmath>
#include <cstdint>
#include <vector>

#include <benchmark/benchmark.h>

#include "PinkNoise.h"
#include "dsp/GainWindow.h"
#include "dsp/TruePeakDetector.h"

namespace {

constexpr double kRate = 48000.0;

struct ChannelInput {
  std::vector<double> u, msDriven;
  std::vector<float> peak;
};

ChannelInput Material(size_t frames, uint64_t seed) {
  ChannelInput in;
  in.u = bench::PinkNoise(frames, seed);
  for (double& v : in.u) v *= std::pow(10.0, 12.0 / 20.0);  // the block benchmark's drive
  in.peak.resize(frames);
  TruePeakDetector detector;
  detector.ProcessRun(in.u.data(), static_cast<int>(frames), in.peak.data());
  in.msDriven.resize(frames);
  const double a3s = std::exp(-1.0 / (3.0 * kRate));
  double ms = 0.0;
  for (size_t i = 0; i < frames; ++i) in.msDriven[i] = ms = a3s * ms + (1.0 - a3s) * in.u[i] * in.u[i];
  return in;
}

void BM_GainComputer(benchmark::State& state) {
  const size_t frames = static_cast<size_t>(10.0 * kRate);
  const ChannelInput in[2] = {Material(frames, 1), Material(frames, 2)};
  const GainWindow::Constants c = GainWindow::Constants::ForRate(kRate);
  GainWindow windows[2];
  for (GainWindow& w : windows) w.Prepare(241);
  const double ceiling = 0.9954 * std::pow(10.0, -0.1 / 20.0);
  std::vector<double> gain[2], gainState[2];
  for (int ch = 0; ch < 2; ++ch) gain[ch].resize(512), gainState[ch].resize(512);
  size_t start = 0;
  for (auto _ : state) {
    if (start + 512 > frames) start = 0;
    for (int half = 0; half < 2; ++half) {  // the engine's runs are 256 samples
      GainPairRun run;
      run.n = 256;
      for (int ch = 0; ch < 2; ++ch) {
        const size_t at = start + 256 * static_cast<size_t>(half);
        run.u[ch] = in[ch].u.data() + at;
        run.peak[ch] = in[ch].peak.data() + at;
        run.ceilLin[ch] = ceiling;
        run.msDriven[ch] = in[ch].msDriven.data() + at;
        run.maskedness[ch] = 0.5;
        run.gain[ch] = gain[ch].data() + 256 * half;
        run.gainState[ch] = gainState[ch].data() + 256 * half;
      }
      ProcessGainPair(windows, run, c);
    }
    start += 512;
    benchmark::DoNotOptimize(gain[0].data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 512);
  state.counters["realtime"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * 512 / kRate, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_GainComputer);

}  // namespace
