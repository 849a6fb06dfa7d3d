// Cost of one host block through the plug-in, as a real-time factor, and of the true-peak
// interpolation kernel in its plain and vector forms.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include <benchmark/benchmark.h>

#include "PinkNoise.h"
#include "core/ParamIds.h"
#include "core/ZARN.h"
#include "dsp/WideInterpolator.h"
#include "dsp/kernels/TruePeakKernel.h"
#include "dsp/kernels/TruePeakTable.h"
#include "meters/GainAnalysis.h"
#include "meters/ImpactIndicators.h"
#include "meters/LevelMeters.h"
#include "meters/LoudnessMeter.h"
#include "meters/MeterBlockTaps.h"

namespace {

using bench::PinkNoise;

constexpr double kRate = 48000.0;
constexpr int kBlock = 512;

struct Setting {
  int param;
  double value;
};

// Stereo 512-sample blocks of pink noise driven by +12 dB, with extra settings on top; 48 kHz
// unless told.
void RunBlocks(benchmark::State& state, std::initializer_list<Setting> settings, double rate = kRate) {
  const size_t frames = static_cast<size_t>(10.0 * rate) / kBlock * kBlock;
  const std::vector<double> left = PinkNoise(frames, 1), right = PinkNoise(frames, 2);
  std::vector<double> outL(kBlock), outR(kBlock);

  ZARN plugin;
  plugin.SetupProcessing(rate, kBlock, 2, 2);
  plugin.SetParamValue(kDriveL, 12.0);
  plugin.SetParamValue(kDriveR, 12.0);
  for (const Setting& s : settings) plugin.SetParamValue(s.param, s.value);

  size_t start = 0;
  for (auto _ : state) {
    double* inputs[2] = {const_cast<double*>(left.data() + start),
                         const_cast<double*>(right.data() + start)};
    double* outputs[2] = {outL.data(), outR.data()};
    plugin.ProcessAudioBlock(inputs, outputs, kBlock);
    benchmark::DoNotOptimize(outL.data());
    benchmark::ClobberMemory();
    start += kBlock;
    if (start == frames) start = 0;
  }
  // Seconds of audio per second of CPU time: above 1 keeps up with the host.
  state.counters["realtime"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * kBlock / rate, benchmark::Counter::kIsRate);
  state.SetItemsProcessed(state.iterations() * kBlock);
}

void BM_ProcessAudioBlock(benchmark::State& state) { RunBlocks(state, {}); }
BENCHMARK(BM_ProcessAudioBlock);

// Every stage in circuit: Loud 100 % Hard (8x oversampling), Character 10, Extra 75 %, 16-bit dither.
void BM_ProcessAudioBlockAllStages(benchmark::State& state) {
  RunBlocks(state, {{kLoud, 100.0}, {kLoudClip, 2.0}, {kCharacter, 10.0}, {kExtra, 75.0},
                    {kDither, 1.0}});
}
BENCHMARK(BM_ProcessAudioBlockAllStages);

// The same at other rates: the time per second of audio should follow the rate.
void BM_ProcessAudioBlockAtRate(benchmark::State& state) {
  RunBlocks(state, {}, static_cast<double>(state.range(0)));
}
BENCHMARK(BM_ProcessAudioBlockAtRate)->Arg(44100)->Arg(96000);

// One true-peak estimate: 16 interpolated phases of a 48-sample window plus the peak search.
template <bool kVector>
void BM_TruePeakEstimate(benchmark::State& state) {
  TruePeakTable table;
  table.Design(TruePeakTable::DetectionCutoff(kRate));
  const std::vector<double> noise = PinkNoise(4096 + TruePeakTable::kTaps, 3);
  std::vector<float> signal(noise.begin(), noise.end());
  alignas(64) float y[TruePeakTable::kPhases];
  size_t start = 0;
  for (auto _ : state) {
    const float* window = signal.data() + start;
    float peak;
    if constexpr (kVector) {
      truepeak::InterpolatePhases(table, window, y);
      peak = truepeak::PeakOfPhases(y, 0.0f);
    } else {
      truepeak::InterpolatePhasesScalar(table, window, y);
      peak = truepeak::PeakOfPhasesScalar(y, 0.0f);
    }
    benchmark::DoNotOptimize(peak);
    if (++start == 4096) start = 0;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TruePeakEstimate<false>)->Name("BM_TruePeakEstimate/scalar");
BENCHMARK(BM_TruePeakEstimate<true>)->Name("BM_TruePeakEstimate/vector");

// A run of 256 consecutive true-peak estimates (the detector's work for one run): one window at
// a time, or eight windows a pass. Over a second of noise, so that the branch predictor cannot
// learn the signal as it would a few runs repeated.
template <bool kEightAtOnce>
void BM_TruePeakRun(benchmark::State& state) {
  constexpr int kRun = 256;
  TruePeakTable table;
  table.Design(TruePeakTable::DetectionCutoff(kRate));
  constexpr size_t kLength = 1 << 16;
  const std::vector<double> noise = PinkNoise(kLength + kRun + TruePeakTable::kTaps, 3);
  std::vector<float> signal(noise.begin(), noise.end());
  alignas(64) float peaks[kRun];
  size_t start = 0;
  for (auto _ : state) {
    const float* line = signal.data() + start;
    if constexpr (kEightAtOnce) {
      truepeak::InterpolatedPeaks(table, line, kRun, peaks);
    } else {
      for (int t = 0; t < kRun; ++t)
        peaks[t] = truepeak::InterpolatedPeak(table, line + t, std::fabs(line[t + TruePeakTable::kTaps - 1]));
    }
    benchmark::DoNotOptimize(peaks);
    start = (start + kRun) % kLength;
  }
  state.SetItemsProcessed(state.iterations() * kRun);
}
BENCHMARK(BM_TruePeakRun<false>)->Name("BM_TruePeakRun/one_at_a_time");
BENCHMARK(BM_TruePeakRun<true>)->Name("BM_TruePeakRun/eight_at_once");

// A run of 256 consecutive wide readings (256 taps, the peak search included): what the peak
// catcher and the output meter pay for each window their gate lets through; one at a time, or
// sixteen a pass (AVX-512) as the meter reads a run's windows where most pass.
template <bool kSixteenAtOnce>
void BM_WideReadingRun(benchmark::State& state) {
  constexpr int kRun = 256;
  const WideInterpolator& wide = WideInterpolator::Shared();
  const std::vector<double> noise = PinkNoise(4096 + kRun + WideInterpolator::kTaps, 3);
  std::vector<float> signal(noise.begin(), noise.end());
  alignas(64) float y[WideInterpolator::kPhases];
  alignas(64) float peaks[kRun];
  if (kSixteenAtOnce && wide.SixteensOfPeaks(signal.data(), kRun, peaks) == 0) {
    state.SkipWithError("no AVX-512 here");
    return;
  }
  size_t start = 0;
  for (auto _ : state) {
    const float* line = signal.data() + start;
    float peak = 0.0f;
    if constexpr (kSixteenAtOnce) {
      wide.SixteensOfPeaks(line, kRun, peaks);
      peak = peaks[kRun - 1];
    } else {
      for (int t = 0; t < kRun; ++t) peak = std::max(peak, wide.Peak(line + t, 0.0f, 0.0f, y));
    }
    benchmark::DoNotOptimize(peak);
    start = (start + kRun) % 4096;
  }
  state.SetItemsProcessed(state.iterations() * kRun);
}
BENCHMARK(BM_WideReadingRun<false>)->Name("BM_WideReadingRun/one_at_a_time");
BENCHMARK(BM_WideReadingRun<true>)->Name("BM_WideReadingRun/sixteen_at_once");

}  // namespace

// The meters' per-sample work alone (loudness, levels, gain analysis, impact indicators), on the
// same programme, as a real-time factor: the difference to the block benchmarks is their share.
// The meters take each 512-sample block as one run, as the engine hands it over. Measured in one
// session on a 2-core AMD EPYC (Zen 3) VM: per-sample forms 64.1 us per block (166x real time),
// block forms 15.7 us (679x), 4.1x faster; the baseline (SSE2) kernels alone, about 31 us.
void BM_MeterAccumulation(benchmark::State& state) {
  const size_t frames = static_cast<size_t>(2.0 * kRate) / kBlock * kBlock;
  const std::vector<double> left = PinkNoise(frames, 4), right = PinkNoise(frames, 5);
  const std::vector<double> gainL(kBlock, 0.7), gainR(kBlock, 0.8), msDriven(kBlock, 0.01);
  LoudnessMeter loudness;
  LevelMeters levels;
  GainAnalysis analysis;
  ImpactIndicators impact;
  loudness.Prepare(kRate);
  levels.Prepare(kRate);
  analysis.Prepare(kRate);
  impact.Prepare(kRate);
  size_t start = 0;
  for (auto _ : state) {
    const double* x[2] = {left.data() + start, right.data() + start};
    MeterBlockTaps taps;
    taps.frames = kBlock;
    for (int ch = 0; ch < 2; ++ch)
      taps.in[ch] = taps.driven[ch] = taps.u[ch] = taps.v[ch] = taps.o[ch] = x[ch];
    taps.g[0] = taps.gainState[0] = gainL.data();
    taps.g[1] = taps.gainState[1] = gainR.data();
    taps.msDriven[0] = taps.msDriven[1] = msDriven.data();
    loudness.AccumulateBlock(taps);
    levels.AccumulateBlock(taps);
    analysis.AccumulateBlock(taps, true, impact);
    benchmark::ClobberMemory();
    start += kBlock;
    if (start == frames) start = 0;
  }
  state.counters["realtime"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * kBlock / kRate, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MeterAccumulation);
