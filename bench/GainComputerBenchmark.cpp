// Cost of the gain computer alone, both channels at once in runs as the engine runs them, on
// material like the block benchmark's: pink noise about 12 dB over a -0.1 dB ceiling.
#include <cmath>
#include <cstdint>
#include <vector>

#include <benchmark/benchmark.h>

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
  in.u.resize(frames);
  double b0 = 0.0, b1 = 0.0, b2 = 0.0;
  for (double& v : in.u) {
    uint64_t z = (seed += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    const double w = static_cast<double>(z >> 11) * 0x1.0p-52 - 1.0;
    b0 = 0.99765 * b0 + w * 0.0990460;
    b1 = 0.96300 * b1 + w * 0.2965164;
    b2 = 0.57000 * b2 + w * 1.0526913;
    v = (b0 + b1 + b2 + w * 0.1848) * 0.25;  // about -2 dBFS RMS
  }
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
  GainWindow::Constants c;
  c.sampleRate = kRate;
  c.kSmooth = 1.0 - std::exp(-1.0 / (0.0005 * kRate));
  c.kRamp = static_cast<float>(1.0 - std::exp(-1.0 / (0.001 * kRate)));
  c.holdBase = static_cast<int>(0.005 * kRate);
  c.aAtk = std::exp(-1.0 / (0.0005 * kRate));
  c.a2s = std::exp(-1.0 / (2.0 * kRate));
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
