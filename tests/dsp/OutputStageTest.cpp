// The output stage: latency-compensated bypass, level matching and its clamps, full delta, TPDF
// dither, switching between them at block edges, and the whole path with every stage active
// running without allocating.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/ParamIds.h"
#include "core/ZARN.h"
#include "dsp/OutputStage.h"
#include "support/AllocationCounter.h"
#include "support/EngineRender.h"
#include "support/ToneAnalysis.h"

namespace {

constexpr double kRate = 48000.0;
constexpr int kBlock = 480;
constexpr double kStep16 = 1.0 / 32768.0;
constexpr double kStep24 = 1.0 / 8388608.0;

double DbToLin(double db) { return std::pow(10.0, db / 20.0); }
double Db(double ratio) { return 20.0 * std::log10(ratio); }

std::unique_ptr<ZARN> MakePlugin() {
  auto plugin = std::make_unique<ZARN>();
  EXPECT_TRUE(plugin->SetupProcessing(kRate, kBlock, 2, 2));
  return plugin;
}

void Set(ZARN& plugin, std::initializer_list<std::pair<int, double>> values) {
  for (const auto& [index, value] : values) EXPECT_TRUE(plugin.SetParamValue(index, value)) << index;
}

double Correlation(const std::vector<double>& a, const std::vector<double>& b, size_t begin,
                   size_t lag = 0) {
  double ab = 0.0, aa = 0.0, bb = 0.0;
  for (size_t i = begin; i + lag < a.size(); ++i) {
    ab += a[i] * b[i + lag];
    aa += a[i] * a[i];
    bb += b[i + lag] * b[i + lag];
  }
  return ab / std::sqrt(aa * bb);
}

std::vector<double> Minus(const std::vector<double>& a, const std::vector<double>& b) {
  std::vector<double> d(a.size());
  for (size_t i = 0; i < a.size(); ++i) d[i] = a[i] - b[i];
  return d;
}

bool MultiplesOf(const std::vector<double>& x, double step) {
  return std::all_of(x.begin(), x.end(), [step](double v) {
    const double k = v / step;  // exact: the step is a power of two
    return k == std::floor(k);
  });
}

size_t LargestAt(const std::vector<double>& x, size_t begin, size_t end) {
  size_t at = begin;
  for (size_t i = begin; i < end; ++i)
    if (std::fabs(x[i]) > std::fabs(x[at])) at = i;
  return at;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Bypass and level match

TEST(OutputStageBypass, WithoutLevelMatchIsTheInputDelayedBitForBitEvenWithDither) {
  render::Stereo in = render::Noise(kRate, 0.5, -12.0, 21);
  // Extreme finite samples that the processing clamps must still pass the dry path untouched.
  const double extremes[] = {1e39, -1e300, 1e-300, 4.9e-324, -0.0, 1.7976931348623157e308};
  for (size_t k = 0; k < std::size(extremes); ++k) {
    in.left[3000 + 1000 * k] = extremes[k];
    in.right[3500 + 1000 * k] = -extremes[k];
  }
  for (int dither : {1, 2, 0}) {
    auto plugin = MakePlugin();
    // Every other stage busy, so that only the bypass can explain an exact copy.
    Set(*plugin, {{kBypass, 1}, {kDither, dither}, {kDriveL, 6}, {kDriveR, 6}, {kLoud, 100},
                  {kCharacter, 10}, {kExtra, 75}, {kFullDelta, 1}});
    const size_t latency = static_cast<size_t>(plugin->GetLatency());
    const render::Stereo out = render::ThroughPlugin(*plugin, in, kBlock);
    for (const auto& [x, y] : {std::pair{&in.left, &out.left}, std::pair{&in.right, &out.right}}) {
      for (size_t n = 0; n < out.Frames(); ++n) {
        const double expected = n < latency ? 0.0 : (*x)[n - latency];
        ASSERT_EQ(std::bit_cast<uint64_t>((*y)[n]), std::bit_cast<uint64_t>(expected))
            << "dither " << dither << " sample " << n << ": " << (*y)[n] << " vs " << expected;
      }
    }
  }
}

// Pink noise driven 12 dB into the limiter comes out about 6 dB louder than it went in; bypassed
// with Level Match it plays the dry signal at the processed signal's level.
TEST(OutputStageBypass, LevelMatchPlaysAtTheProcessedLoudness) {
  const render::Stereo in = render::Noise(kRate, 5.0, -16.0, 8);
  auto processed = MakePlugin(), matched = MakePlugin();
  for (ZARN* p : {processed.get(), matched.get()}) Set(*p, {{kDriveL, 12}, {kDriveR, 12}});
  Set(*matched, {{kBypass, 1}, {kLevelMatch, 1}});
  const render::Stereo a = render::ThroughPlugin(*processed, in, kBlock);
  const render::Stereo b = render::ThroughPlugin(*matched, in, kBlock);

  const size_t second = static_cast<size_t>(kRate);
  const double gainReductionDb = -16.0 + 12.0 - Db(tone::Rms(a.left, 3 * second, 2 * second));
  EXPECT_GT(gainReductionDb, 3.0);
  EXPECT_LT(gainReductionDb, 9.0);
  for (size_t start = 3 * second; start + second / 2 <= a.Frames(); start += second / 2) {
    for (const auto& [x, y] : {std::pair{&a.left, &b.left}, std::pair{&a.right, &b.right}}) {
      const double differenceDb = Db(tone::Rms(*y, start, second / 2) / tone::Rms(*x, start, second / 2));
      EXPECT_NEAR(differenceDb, 0.0, 0.5) << "at " << start;
    }
  }
}

// Noise that the +12 dB drive leaves unlimited, with sparse spikes the limiter must catch: the
// level-match ratio is about 4, so the spikes would play at about 3.6 in bypass; they stop at 2,
// and so does a huge sample.
TEST(OutputStageBypass, LevelMatchedBypassNeverExceedsTwo) {
  render::Stereo in = render::Noise(kRate, 2.0, -26.0, 4);
  for (size_t n = 24000; n < in.Frames(); n += 9600) {
    in.left[n] = 0.9;
    in.right[n + 17] = -0.9;
  }
  in.left[90000] = 1e300;
  auto plugin = MakePlugin();
  Set(*plugin, {{kDriveL, 12}, {kDriveR, 12}, {kBypass, 1}, {kLevelMatch, 1}});
  const render::Stereo out = render::ThroughPlugin(*plugin, in, kBlock);
  const size_t latency = static_cast<size_t>(plugin->GetLatency());
  for (const std::vector<double>* y : {&out.left, &out.right}) {
    double peak = 0.0;
    for (double v : *y) peak = std::max(peak, std::fabs(v));
    EXPECT_EQ(peak, 2.0);
  }
  EXPECT_EQ(out.left[90000 + latency], 2.0);
  EXPECT_EQ(out.right[43200 + 17 + latency], -2.0);
}

TEST(OutputStageLevelMatch, RatioClampsAtSixteenAndOneSixteenthAndSitsLowInSilence) {
  using output_stage::LevelMatchRatio;
  EXPECT_EQ(LevelMatchRatio(1.0, 1e-6), 16.0);
  EXPECT_EQ(LevelMatchRatio(1e-6, 1.0), 0.0625);
  EXPECT_EQ(LevelMatchRatio(0.0, 0.0), 0.0625);
  EXPECT_EQ(LevelMatchRatio(0.0, 1e-20), 0.0625);
  EXPECT_DOUBLE_EQ(LevelMatchRatio(4.0, 1.0), 2.0);
  EXPECT_DOUBLE_EQ(LevelMatchRatio(255.0, 1.0), std::sqrt(255.0));
  EXPECT_DOUBLE_EQ(LevelMatchRatio(1e-10, 1e-13), 10.0);  // a reference below 1e-12 counts as 1e-12

  // The stage itself: the delta is level-matched whatever Level Match says; bypass is clamped.
  uint32_t seed = 1;
  output_stage::Settings s;
  s.bypass = true;
  s.levelMatch = true;
  EXPECT_EQ(output_stage::Process(s, 0.5, 0.5, 0.0, 1.0, 1e-6, seed), 2.0);
  EXPECT_EQ(output_stage::Process(s, -0.1, -0.1, 0.0, 1.0, 1e-6, seed), -1.6);
  EXPECT_EQ(output_stage::Process(s, 0.5, 0.5, 0.0, 0.0, 0.0, seed), 0.5 * 0.0625);
  s = {};
  s.fullDelta = true;
  EXPECT_EQ(output_stage::Process(s, 0.5, 0.5, 0.4, 4.0, 1.0, seed), 0.4 - 2.0 * 0.5);
  EXPECT_EQ(output_stage::Process(s, 0.5, 0.5, 0.4, 1.0, 1e-6, seed), 0.4 - 16.0 * 0.5);
  EXPECT_EQ(seed, 1u);  // nothing dithered, nothing drawn
}

// Until the reference has any energy the ratio rests at its lower clamp: the first sample of a
// signal after silence plays at -24 dB.
TEST(OutputStageLevelMatch, FirstSampleAfterSilencePlaysAtTheLowerClamp) {
  auto plugin = MakePlugin();
  Set(*plugin, {{kBypass, 1}, {kLevelMatch, 1}});
  const size_t latency = static_cast<size_t>(plugin->GetLatency());
  const render::Stereo in = render::Dual(std::vector<double>(2 * kBlock, 0.1));
  const render::Stereo out = render::ThroughPlugin(*plugin, in, kBlock);
  for (size_t n = 0; n < latency; ++n) ASSERT_EQ(out.left[n], 0.0);
  EXPECT_DOUBLE_EQ(out.left[latency], 0.1 * 0.0625);
  EXPECT_DOUBLE_EQ(out.right[latency], 0.1 * 0.0625);
  EXPECT_GT(out.left[latency + 20], 0.1 * 0.15);  // and leaves it as the processed signal arrives
}

// ---------------------------------------------------------------------------------------------
// Full delta

TEST(OutputStageDelta, FullDeltaOfAPureGainChangeTendsToSilence) {
  const render::Stereo quiet = render::Noise(kRate, 3.0, -30.0, 6);
  auto plain = MakePlugin(), delta = MakePlugin();
  for (ZARN* p : {plain.get(), delta.get()}) Set(*p, {{kDriveL, 6}, {kDriveR, 6}});
  Set(*delta, {{kFullDelta, 1}});  // Level Match stays off: the delta is matched regardless
  const render::Stereo a = render::ThroughPlugin(*plain, quiet, kBlock);
  const render::Stereo d = render::ThroughPlugin(*delta, quiet, kBlock);
  const size_t second = static_cast<size_t>(kRate);
  for (const auto& [x, y] : {std::pair{&a.left, &d.left}, std::pair{&a.right, &d.right}}) {
    EXPECT_LT(Db(tone::Rms(*y, 2 * second, second) / tone::Rms(*x, 2 * second, second)), -40.0);
    // It does tend: later is quieter than earlier.
    EXPECT_LT(tone::Rms(*y, 2 * second, second), tone::Rms(*y, second / 2, second / 2));
  }

  // What the limiter does beyond a level change stays in the delta.
  const render::Stereo loud = render::Noise(kRate, 1.0, -10.0, 7);
  auto limited = MakePlugin();
  Set(*limited, {{kDriveL, 12}, {kDriveR, 12}, {kFullDelta, 1}});
  const render::Stereo l = render::ThroughPlugin(*limited, loud, kBlock);
  EXPECT_GT(tone::Rms(l.left, second / 2, second / 2), DbToLin(-30.0));
}

// ---------------------------------------------------------------------------------------------
// Dither

TEST(OutputStageDither, OutputsAreExactMultiplesOfTheStepOnlyWhenDithering) {
  const render::Stereo in = render::Noise(kRate, 0.5, -20.0, 31);
  for (int dither : {1, 2, 0}) {
    auto plugin = MakePlugin();
    // The peak catcher's output is single precision, so many of its samples lie on the 2^-23 grid
    // by themselves; the full delta (in double precision) does not.
    Set(*plugin, {{kDither, dither}, {kLoud, 60}, {kCharacter, 7}, {kFullDelta, dither == 1 ? 0 : 1}});
    const render::Stereo out = render::ThroughPlugin(*plugin, in, kBlock);
    const std::string name = "dither " + std::to_string(dither);
    if (dither == 1) {
      EXPECT_TRUE(MultiplesOf(out.left, kStep16)) << name;
      EXPECT_TRUE(MultiplesOf(out.right, kStep16)) << name;
    } else if (dither == 2) {
      EXPECT_TRUE(MultiplesOf(out.left, kStep24)) << name;
      EXPECT_TRUE(MultiplesOf(out.right, kStep24)) << name;
      EXPECT_FALSE(MultiplesOf(out.left, kStep16)) << name;
    } else {
      size_t onGrid = 0;
      for (double v : out.left) onGrid += v != 0.0 && MultiplesOf({v}, kStep24) ? 1 : 0;
      EXPECT_LT(onGrid, out.Frames() / 100) << name;
    }
    EXPECT_GT(tone::Rms(out.left, 0, out.Frames()), DbToLin(-30.0)) << name;
  }
}

// On silence each output sample is the first rounding of the triangular draw: the generators'
// sequence from their fixed seeds, exactly.
TEST(OutputStageDither, SilenceCarriesTheTwoGeneratorsTriangularNoise) {
  auto plugin = MakePlugin();
  Set(*plugin, {{kDither, 1}});
  const size_t frames = 96000;
  const render::Stereo out = render::ThroughPlugin(*plugin, render::Dual(std::vector<double>(frames)), kBlock);

  uint32_t seeds[2] = {0x2545F491u, 0x814F0091u};
  const auto next = [](uint32_t s) {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return s;
  };
  for (int ch = 0; ch < 2; ++ch) {
    const std::vector<double>& y = ch == 0 ? out.left : out.right;
    for (size_t n = 0; n < 2000; ++n) {
      const uint32_t s1 = next(seeds[ch]), s2 = next(s1);
      seeds[ch] = s2;
      const double tpdf = static_cast<double>(s1 >> 8) / 16777216.0 - static_cast<double>(s2 >> 8) / 16777216.0;
      ASSERT_EQ(y[n], kStep16 * std::floor(0.5 + tpdf)) << "channel " << ch << " sample " << n;
    }
    // Triangular draw plus rounding: q^2/6 + q^2/12, an RMS of q/2.
    EXPECT_NEAR(tone::Rms(y, 0, frames) / kStep16, 0.5, 0.05) << ch;
    EXPECT_NEAR(tone::Mean(y, 0, frames) / kStep16, 0.0, 0.02) << ch;
    EXPECT_LT(std::fabs(Correlation(y, y, 0, 1)), 0.05) << ch;  // white
  }
  EXPECT_LT(std::fabs(Correlation(out.left, out.right, 0)), 0.05);
}

// On a quiet signal the dither's error (dithered minus undithered output) has the TPDF
// quantiser's total power of q^2/4 whatever the signal, and the two channels' errors are
// unrelated even though both channels carry the same signal.
TEST(OutputStageDither, NoiseOnAQuietSignalIsUncorrelatedAndOfTheExpectedPower) {
  const size_t frames = 96000;
  const render::Stereo in = render::Dual(tone::Sine(kRate, 441.0, DbToLin(-50.0), frames));
  auto plain = MakePlugin();
  const render::Stereo reference = render::ThroughPlugin(*plain, in, kBlock);
  for (int dither : {1, 2}) {
    auto plugin = MakePlugin();
    Set(*plugin, {{kDither, dither}});
    const render::Stereo out = render::ThroughPlugin(*plugin, in, kBlock);
    const double step = dither == 1 ? kStep16 : kStep24;
    const std::vector<double> eL = Minus(out.left, reference.left), eR = Minus(out.right, reference.right);
    const size_t begin = 1000;
    EXPECT_NEAR(tone::Rms(eL, begin, frames) / step, 0.5, 0.05) << dither;
    EXPECT_NEAR(tone::Rms(eR, begin, frames) / step, 0.5, 0.05) << dither;
    EXPECT_LT(std::fabs(Correlation(eL, eR, begin)), 0.05) << dither;
    // Dither decorrelates the error from the signal.
    EXPECT_LT(std::fabs(Correlation(eL, reference.left, begin)), 0.05) << dither;
  }
}

// ---------------------------------------------------------------------------------------------
// Switching

// Bypass, Level Match and Full Delta only choose what the output stage writes: the rest of the
// engine runs the same either way, and the dry and processed paths are aligned. So a render that
// switches at block edges equals, block by block, the steady render of each block's setting; and
// a click comes out at the same index in both paths.
TEST(OutputStageSwitching, BypassAndDeltaSwitchAtBlockEdgesWithoutATimeJump) {
  struct Mode {
    double bypass, levelMatch, fullDelta;
  };
  const Mode modes[] = {{0, 0, 0}, {1, 0, 0}, {0, 0, 1}, {1, 1, 0}, {0, 1, 0}, {0, 1, 1}};
  const int nModes = static_cast<int>(std::size(modes));
  render::Stereo in = render::Noise(kRate, 1.0, -30.0, 12);
  const size_t clicks[] = {5 * kBlock + 100, 17 * kBlock + 7, 30 * kBlock + 400, 41 * kBlock};
  for (size_t c : clicks) in.left[c] = in.right[c] = 0.5;

  std::vector<render::Stereo> steady;
  for (const Mode& m : modes) {
    auto plugin = MakePlugin();
    Set(*plugin, {{kBypass, m.bypass}, {kLevelMatch, m.levelMatch}, {kFullDelta, m.fullDelta}});
    steady.push_back(render::ThroughPlugin(*plugin, in, kBlock));
  }

  auto plugin = MakePlugin();
  const size_t latency = static_cast<size_t>(plugin->GetLatency());
  std::vector<double> outL(kBlock), outR(kBlock);
  for (size_t start = 0, block = 0; start + kBlock <= in.Frames(); start += kBlock, ++block) {
    const int which = static_cast<int>((block * 7 + block / 3) % nModes);
    const Mode& m = modes[which];
    Set(*plugin, {{kBypass, m.bypass}, {kLevelMatch, m.levelMatch}, {kFullDelta, m.fullDelta}});
    double* inputs[2] = {in.left.data() + start, in.right.data() + start};
    double* outputs[2] = {outL.data(), outR.data()};
    plugin->ProcessAudioBlock(inputs, outputs, kBlock);
    for (size_t i = 0; i < kBlock; ++i) {
      ASSERT_EQ(outL[i], steady[which].left[start + i]) << "block " << block << " mode " << which;
      ASSERT_EQ(outR[i], steady[which].right[start + i]) << "block " << block << " mode " << which;
    }
  }

  for (size_t c : clicks)
    for (int which : {0, 1, 3})  // processed, bypass, level-matched bypass
      EXPECT_EQ(LargestAt(steady[which].left, c, c + 2 * latency), c + latency) << which;
}

// ---------------------------------------------------------------------------------------------
// Allocation

TEST(AllocationFree, PluginBlockHookWithEveryStageActive) {
  const render::Stereo in = render::Noise(kRate, 2.0, -12.0, 13);
  auto plugin = MakePlugin();
  Set(*plugin, {{kLoud, 100}, {kLoudClip, 2}, {kLoudMode, 1}, {kCharacter, 10}, {kExtra, 75},
                {kDither, 1}, {kLoudDelta, 1}, {kFullDelta, 1}, {kLevelMatch, 1}, {kDriveL, 6},
                {kDriveR, 6}});
  std::vector<double> outL(kBlock), outR(kBlock);

  AllocationScope scope;
  for (size_t start = 0, block = 0; start + kBlock <= in.Frames(); start += kBlock, ++block) {
    plugin->SetParamValue(kBypass, block % 4 == 3 ? 1.0 : 0.0);
    plugin->SetParamValue(kLoudClip, static_cast<double>(block % 3));
    plugin->SetParamValue(kLoudDelta, block % 5 == 0 ? 0.0 : 1.0);
    double* inputs[2] = {const_cast<double*>(in.left.data() + start),
                         const_cast<double*>(in.right.data() + start)};
    double* outputs[2] = {outL.data(), outR.data()};
    plugin->ProcessAudioBlock(inputs, outputs, kBlock);
  }
  EXPECT_EQ(scope.Allocations(), 0u);
  EXPECT_TRUE(render::AllFinite(outL));
}
