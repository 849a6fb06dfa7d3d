// The meters' block forms against their per-sample forms: the same programme fed sample by sample
// and in random runs of 1 to 512 samples, with a reset between two runs, must read the same at
// every tick (and hold the same maximum momentary loudness), with the baseline kernels and with
// the AVX2 ones.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dsp/kernels/CpuDispatch.h"
#include "dsp/kernels/LaneVectors.h"
#include "meters/GainAnalysis.h"
#include "meters/ImpactIndicators.h"
#include "meters/LevelMeters.h"
#include "meters/LoudnessMeter.h"
#include "meters/MeterBlockTaps.h"
#include "support/MeterTicks.h"

namespace {

// Per-sample arrays of everything the meters read, both channels.
struct Programme {
  std::vector<double> in[2], driven[2], u[2], v[2], o[2], g[2], gainState[2], msDriven[2];
  size_t Frames() const { return in[0].size(); }
};

// Stretches of noise at levels from -80 to 0 dBFS, digital silence, full-scale squares and
// signals so small that the K-weighting's states flush to zero; a gain that rests at 1, reduces
// gently (where the load term needs its logarithm) and deeply (where it is 1), with transients.
Programme MakeProgramme(double rate, double seconds, uint64_t seed) {
  std::mt19937_64 random(seed);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  const size_t frames = static_cast<size_t>(seconds * rate);
  Programme p;
  for (auto* a : {p.in, p.driven, p.u, p.v, p.o, p.g, p.gainState, p.msDriven})
    for (int ch = 0; ch < 2; ++ch) a[ch].assign(frames, 0.0);
  size_t n = 0;
  double gain = 1.0, target = 1.0, ms[2] = {0.0, 0.0};
  while (n < frames) {
    const size_t length = std::min(frames - n, static_cast<size_t>(rate * (0.02 + 0.3 * std::fabs(uniform(random)))));
    const int kind = static_cast<int>(random() % 6);
    const double level = std::pow(10.0, -80.0 * std::fabs(uniform(random)) / 20.0);
    const double targets[] = {1.0, 0.98, 0.85, 0.72, 0.5, 0.2};
    target = targets[random() % 6];
    for (size_t end = n + length; n < end; ++n) {
      gain += 0.002 * (target - gain);
      if (target == 1.0 && gain > 0.99995) gain = 1.0;
      for (int ch = 0; ch < 2; ++ch) {
        double x = 0.0;
        if (kind == 1 || kind == 2) x = level * uniform(random);
        else if (kind == 3) x = (n / 7 + static_cast<size_t>(ch)) % 2 ? 1.0 : -1.0;
        else if (kind == 4) x = 1e-22 * uniform(random);
        else if (kind == 5) x = std::sin(0.05 * static_cast<double>(n) * (ch + 1)) * (n % 997 == 0 ? 1.0 : 0.1);
        const double y = 2.0 * x;
        p.in[ch][n] = x;
        p.driven[ch][n] = y;
        p.u[ch][n] = std::clamp(y, -1.5, 1.5);
        p.v[ch][n] = n >= 32 ? p.u[ch][n - 32] : 0.0;
        p.g[ch][n] = ch == 0 ? gain : std::min(1.0, gain * 1.01);
        p.gainState[ch][n] = std::min(1.0, p.g[ch][n] * (ch == 0 ? 0.999 : 1.0));
        p.o[ch][n] = p.v[ch][n] * p.g[ch][n];
        ms[ch] += 1e-4 * (y * y - ms[ch]);
        p.msDriven[ch][n] = ms[ch];
      }
    }
  }
  return p;
}

MeterBlockTaps TapsAt(const Programme& p, size_t start, int frames) {
  MeterBlockTaps t;
  t.frames = frames;
  for (int ch = 0; ch < 2; ++ch) {
    t.in[ch] = p.in[ch].data() + start;
    t.driven[ch] = p.driven[ch].data() + start;
    t.u[ch] = p.u[ch].data() + start;
    t.v[ch] = p.v[ch].data() + start;
    t.o[ch] = p.o[ch].data() + start;
    t.g[ch] = p.g[ch].data() + start;
    t.gainState[ch] = p.gainState[ch].data() + start;
    t.msDriven[ch] = p.msDriven[ch].data() + start;
  }
  return t;
}

// The four meters the engine feeds per sample, ticked the way it ticks them.
struct Meters {
  LoudnessMeter loudness;
  LevelMeters levels;
  GainAnalysis analysis;
  ImpactIndicators impact;

  explicit Meters(double rate) {
    loudness.Prepare(rate);
    levels.Prepare(rate);
    analysis.Prepare(rate);
    impact.Prepare(rate);
  }
  void Reset(const double* gainState) {
    loudness.Reset();
    levels.Reset();
    analysis.Reset(gainState);
    impact.Reset();
  }
  void PerSample(const Programme& p, size_t start, int frames, bool independent) {
    for (size_t n = start; n < start + static_cast<size_t>(frames); ++n) {
      const double x[2] = {p.in[0][n], p.in[1][n]}, y[2] = {p.driven[0][n], p.driven[1][n]};
      const double o[2] = {p.o[0][n], p.o[1][n]}, u[2] = {p.u[0][n], p.u[1][n]};
      const GainAnalysis::Taps taps{{u[0], u[1]},
                                    {p.v[0][n], p.v[1][n]},
                                    {o[0], o[1]},
                                    {p.g[0][n], p.g[1][n]},
                                    {p.gainState[0][n], p.gainState[1][n]},
                                    {p.msDriven[0][n], p.msDriven[1][n]}};
      loudness.Accumulate(x, y, o);
      levels.Accumulate(x, o);
      analysis.Accumulate(taps, independent);
      impact.Accumulate(analysis.SplitOnInput(0), analysis.SplitOnInput(1), u, analysis.SplitOnOutput(0),
                        analysis.SplitOnOutput(1), o);
    }
  }
  void Block(const Programme& p, size_t start, int frames, bool independent) {
    const MeterBlockTaps t = TapsAt(p, start, frames);
    loudness.AccumulateBlock(t);
    levels.AccumulateBlock(t);
    analysis.AccumulateBlock(t, independent, impact);
  }
  MeterSnapshot Tick(const double* smoothedGain, bool independent, bool mono) {
    MeterSnapshot s;
    levels.TickLevels(smoothedGain, independent, s);
    loudness.TickOutput(mono, s);
    loudness.TickInput(mono, s);
    levels.TickPeaks(0.5f, 0.6f, 0.7f, loudness.DrivenShortTermLufs(mono), s);
    levels.TickCorrelation(s);
    analysis.Tick(-1.0f, smoothedGain[0], s);
    impact.Tick(-1.0f, 2, 0.0, s);
    return s;
  }
};

// Readings of two ticks that differ, as "key[i]: a b"; empty when they agree. The baseline
// kernels must agree exactly; the AVX2 ones fuse some multiplies and adds of the double-precision
// filters and averages, which rounds differently by a few parts in 1e16: the readings, in float,
// agree to their last bits. The load is allowed the last float bit either way: its block form
// takes the logarithm in vectors.
std::string Differences(const MeterSnapshot& a, const MeterSnapshot& b, bool exact) {
  std::string out;
  for (int f = 0; f < kMeterFieldCount; ++f) {
    const MeterField& field = kMeterFields[f];
    const bool load = std::strcmp(field.key, "lnsL") == 0 || std::strcmp(field.key, "lnsR") == 0;
    for (int i = 0; i < field.count; ++i) {
      const float x = meter_ticks::FieldValue(a, field, i), y = meter_ticks::FieldValue(b, field, i);
      const bool same = exact && !load ? std::memcmp(&x, &y, sizeof x) == 0
                                       : std::fabs(x - y) <= 1e-6f * std::max(1.0f, std::fabs(x));
      if (!same) out += std::string(field.key) + "[" + std::to_string(i) + "]: " + std::to_string(x) + " " + std::to_string(y) + "; ";
    }
  }
  return out;
}

// Feeds one programme both ways, ticking both whenever a tick's worth of samples is complete at
// the end of a run; returns the number of ticks compared.
int CompareBlockWithPerSample(double rate, double seconds, uint64_t seed, bool independent, bool mono,
                              bool exact) {
  const Programme p = MakeProgramme(rate, seconds, seed);
  Meters perSample(rate), block(rate);
  std::mt19937_64 random(seed + 1);
  const int period = static_cast<int>(0.05 * rate);
  const size_t resetAt = p.Frames() / 3;
  bool wasReset = false;
  int sinceTick = 0, ticks = 0;
  for (size_t start = 0; start < p.Frames();) {
    // Mostly full host blocks and short odd runs, now and then a single sample.
    const int pick = static_cast<int>(random() % 8);
    int frames = pick == 0 ? 1 : pick < 4 ? 512 : 1 + static_cast<int>(random() % 512);
    frames = static_cast<int>(std::min<size_t>(frames, p.Frames() - start));
    perSample.PerSample(p, start, frames, independent);
    block.Block(p, start, frames, independent);
    start += static_cast<size_t>(frames);
    sinceTick += frames;
    if (sinceTick >= period) {
      sinceTick = 0;
      const double smoothed[2] = {p.g[0][start - 1], p.g[1][start - 1]};
      const MeterSnapshot a = perSample.Tick(smoothed, independent, mono);
      const MeterSnapshot b = block.Tick(smoothed, independent, mono);
      std::string differences = Differences(a, b, exact);
      const double maxA = perSample.loudness.MaxMomentaryLufs(mono), maxB = block.loudness.MaxMomentaryLufs(mono);
      if (exact ? maxA != maxB : std::fabs(maxA - maxB) > 1e-9)
        differences += "maximum momentary: " + std::to_string(maxA) + " " + std::to_string(maxB);
      EXPECT_TRUE(differences.empty()) << "tick " << ticks << " at " << start << ": " << differences;
      if (!differences.empty()) return ticks;
      ++ticks;
    }
    if (!wasReset && start >= resetAt) {
      wasReset = true;
      const double gainState[2] = {p.gainState[0][start - 1], p.gainState[1][start - 1]};
      perSample.Reset(gainState);
      block.Reset(gainState);
    }
  }
  return ticks;
}

class MeterBlock : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override { cpu::AllowAvx2(GetParam()); }
  void TearDown() override { cpu::AllowAvx2(true); }
};

TEST_P(MeterBlock, RunsReadWhatTheSamplesReadOneByOne) {
  // At 8 kHz the 3-s window wraps after 24000 samples (and the 4 kHz split passes everything);
  // at 48 kHz the 400-ms one after 19200.
  const bool exact = !GetParam() || !cpu::UseAvx2();
  EXPECT_GT(CompareBlockWithPerSample(8000.0, 8.0, 1, true, false, exact), 100);
  EXPECT_GT(CompareBlockWithPerSample(48000.0, 2.0, 2, false, false, exact), 35);
  EXPECT_GT(CompareBlockWithPerSample(44100.0, 1.0, 3, true, true, exact), 15);
}

INSTANTIATE_TEST_SUITE_P(Kernels, MeterBlock, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Avx2WhereAvailable" : "Baseline"; });

}  // namespace
