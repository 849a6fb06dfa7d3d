// Level, true-peak, gain-reduction and correlation readings of the engine's meters: a sine's
// levels, the +3 dBTP intersample tone, the true peak of limited programme against the 32x
// reference, the 3-s peak hold, channel linking, and the correlation's marks and time constant.
#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include <gtest/gtest.h>

#include "dsp/LimiterEngine.h"
#include "dsp/TruePeakDetector.h"
#include "support/EngineRender.h"
#include "support/MeterTicks.h"
#include "support/ReferenceTruePeak.h"

#ifdef ZARN_HAVE_APP
#include "app/signals/TestSignals.h"
#endif

namespace {

constexpr double kRate = 48000.0;
constexpr double kCorrelationKeep = 0.8464817248906141;  // exp(-1/6): 300 ms at 50-ms ticks

std::vector<double> Sine(double frequency, double amplitude, double seconds) {
  std::vector<double> x(static_cast<size_t>(seconds * kRate));
  for (size_t n = 0; n < x.size(); ++n)
    x[n] = amplitude * std::sin(2.0 * std::numbers::pi * std::fmod(frequency * n / kRate, 1.0));
  return x;
}

void Prepare(LimiterEngine& engine, float ceilingDb, bool independent = false) {
  ASSERT_TRUE(engine.Prepare(kRate));
  engine.settings.ceilingDb[0] = engine.settings.ceilingDb[1] = ceilingDb;
  engine.settings.channelsIndependent = independent;
}

}  // namespace

TEST(LevelMeters, QuarterRateToneAt45DegreesReadsPlus3dBTPWithFullScaleSamples) {
  // +1, +1, -1, -1: a sine of amplitude sqrt(2) sampled 45 degrees off its crests.
  std::vector<double> tone(static_cast<size_t>(0.5 * kRate));
  for (size_t n = 0; n < tone.size(); ++n) tone[n] = n % 4 < 2 ? 1.0 : -1.0;
  EXPECT_EQ(reference::SamplePeak(tone), 1.0);
  EXPECT_NEAR(reference::ToDb(reference::TruePeak(tone.data(), tone.size(), 1000, tone.size() - 1000)), 3.0103,
              0.001);  // away from the tone's abrupt ends

  // A meter detector fed the tone directly.
  TruePeakTable table;
  table.Design(TruePeakTable::DetectionCutoff(kRate));
  TruePeakDetector detector;
  detector.SetTable(&table);
  for (size_t n = 0; n < 1000; ++n) detector.Process(static_cast<float>(tone[n]));
  detector.ClearPeakHold();  // past the switched-on start
  for (size_t n = 1000; n < 2000; ++n) detector.Process(static_cast<float>(tone[n]));
  EXPECT_NEAR(reference::ToDb(detector.PeakHold()), 3.0103, 0.02);

  // The engine's output meters, with the ceiling above the tone so that nothing is limited. The
  // switched-on start rings higher; the 3-s hold forgets it after 60 ticks.
  std::vector<double> longTone(static_cast<size_t>(3.5 * kRate));
  for (size_t n = 0; n < longTone.size(); ++n) longTone[n] = n % 4 < 2 ? 1.0 : -1.0;
  LimiterEngine engine;
  Prepare(engine, 6.0f);
  render::Stereo out;
  const auto ticks = meter_ticks::Render(engine, render::Dual(longTone), 480, &out);
  ASSERT_EQ(ticks.size(), 70u);
  for (size_t k = 61; k < ticks.size(); ++k) {
    EXPECT_NEAR(ticks[k].s.tpL, 3.0103, 0.02) << k;
    EXPECT_NEAR(ticks[k].s.tpR, 3.0103, 0.02) << k;
    EXPECT_EQ(ticks[k].s.grL, 0.0f);
  }
  EXPECT_EQ(reference::SamplePeak(out.left), 1.0);
}

TEST(LevelMeters, SineReadsItsLevelsAndNoPeakToLoudnessLoss) {
  LimiterEngine engine;
  Prepare(engine, -0.1f);
  const auto ticks = meter_ticks::Render(engine, render::Dual(Sine(1000.0, 0.1, 4.0)), 480);
  const MeterSnapshot& s = ticks.back().s;
  // Mean square of a -20 dBFS sine: -23.01 dB; the VU reads the same on a steady tone.
  EXPECT_NEAR(s.inL, -23.01, 0.02);
  EXPECT_NEAR(s.inR, -23.01, 0.02);
  EXPECT_NEAR(s.vuL, -23.01, 0.02);
  EXPECT_NEAR(s.tpL, -20.0, 0.01);
  EXPECT_NEAR(s.tpR, -20.0, 0.01);
  EXPECT_EQ(s.grL, 0.0f);
  EXPECT_EQ(s.grR, 0.0f);
  // Peak -20 dBTP over -20.04 LUFS: 0.04 dB on both sides of the limiter, nothing lost.
  EXPECT_NEAR(s.psrOut, 0.04, 0.02);
  EXPECT_NEAR(s.psrIn, s.psrOut, 0.005);
  EXPECT_LT(s.deltaPsr, 0.005);
  EXPECT_GE(s.deltaPsr, 0.0f);
}

#ifdef ZARN_HAVE_APP
// The output meters read the limited output with the full-band table, so they show its true peak
// at or under the ceiling, as the reference does (a 20 kHz table would read a low-passed copy).
TEST(LevelMeters, LimitedMusicReadsItsTruePeakAtMostAtTheCeiling) {
  constexpr float kCeilingDb = -1.0f;
  LimiterEngine engine;
  Prepare(engine, kCeilingDb);
  engine.settings.driveDb[0] = engine.settings.driveDb[1] = 9.0f;
  const signals::Stereo demo = signals::Demo(kRate, 6.0);
  render::Stereo out;
  const auto ticks = meter_ticks::Render(engine, {demo.left, demo.right}, 512, &out);
  ASSERT_EQ(ticks.size(), 120u);
  for (const auto& t : ticks) {
    ASSERT_LE(t.s.tpL, kCeilingDb + 0.05f) << t.endFrame;
    ASSERT_LE(t.s.tpR, kCeilingDb + 0.05f) << t.endFrame;
  }
  // The 3-s maximum agrees with the reference meter over the same stretch of output.
  const MeterSnapshot& s = ticks.back().s;
  const size_t end = ticks.back().endFrame, begin = end - static_cast<size_t>(3.0 * kRate) + 100;
  EXPECT_NEAR(s.tpL, reference::ToDb(reference::TruePeak(out.left.data(), end, begin, end)), 0.1);
  EXPECT_NEAR(s.tpR, reference::ToDb(reference::TruePeak(out.right.data(), end, begin, end)), 0.1);
  EXPECT_LT(s.grL, -1.0f);
  EXPECT_GT(s.heiL, 0.97f);  // the true peak uses nearly the whole ceiling
  // Limiting took crest factor away: the input's peak-to-loudness ratio exceeds the output's.
  EXPECT_GT(s.deltaPsr, 1.0f);
  EXPECT_NEAR(s.deltaPsr, s.psrIn - s.psrOut, 1e-4);
}
#endif

// Broadband noise driven hard puts energy above 20 kHz into the limited output; the meters must
// still read its true peak, not the peaks of a low-passed copy.
TEST(LevelMeters, LimitedBroadbandNoiseReadsItsTruePeakAtMostAtTheCeiling) {
  constexpr float kCeilingDb = -1.0f;
  LimiterEngine engine;
  Prepare(engine, kCeilingDb);
  engine.settings.driveDb[0] = engine.settings.driveDb[1] = 9.0f;
  const render::Stereo in = render::Noise(kRate, 4.0, -14.0, 23);
  render::Stereo out;
  const auto ticks = meter_ticks::Render(engine, in, 512, &out);
  float highest = -100.0f;
  for (const auto& t : ticks) highest = std::max({highest, t.s.tpL, t.s.tpR});
  EXPECT_LE(highest, kCeilingDb + 0.05f);
  EXPECT_GT(highest, kCeilingDb - 0.5f);  // and it is limiting
}

TEST(LevelMeters, ASingleTransientHoldsTheTruePeakFor60TicksThenFallsBack) {
  LimiterEngine engine;
  Prepare(engine, -0.1f);
  std::vector<double> x(static_cast<size_t>(5.0 * kRate), 0.0);
  x[10 * 2400 + 1200] = 0.5;  // in the middle of the eleventh tick
  const auto ticks = meter_ticks::Render(engine, render::Dual(x), 480);
  ASSERT_EQ(ticks.size(), 100u);
  int held = 0;
  for (size_t k = 0; k < ticks.size(); ++k) {
    const float tp = ticks[k].s.tpL;
    if (k >= 10 && k < 70) {
      EXPECT_NEAR(tp, -6.02f, 0.05f) << k;
      ++held;
    } else {
      EXPECT_LT(tp, -60.0f) << k;
    }
  }
  EXPECT_EQ(held, 60);
}

TEST(LevelMeters, RightGainReductionIsShownOnlyWhenChannelsAreIndependent) {
  // The channels are always limited on their own; the setting decides what the meters show.
  const std::vector<double> quiet = Sine(440.0, 0.05, 1.5), loud = Sine(440.0, 2.0, 1.5);
  for (bool independent : {false, true}) {
    LimiterEngine engine;
    Prepare(engine, -0.1f, independent);
    const auto ticks = meter_ticks::Render(engine, {quiet, loud}, 480);
    const MeterSnapshot& s = ticks.back().s;
    EXPECT_EQ(s.grL, 0.0f) << independent;
    if (independent) {
      EXPECT_NEAR(s.grR, -20.0 * std::log10(2.0) - 0.14, 0.1);  // 2.0 down to the ceiling
      EXPECT_LT(s.sgdDb, -0.1f);
      EXPECT_GT(s.sgdDb, -100.0f);
    } else {
      EXPECT_EQ(s.grR, s.grL);  // even though only the right channel is loud
      EXPECT_EQ(s.sgdDb, -100.0f);
    }
    EXPECT_EQ(s.sgdMaxDb, s.sgdDb);
  }
}

TEST(LevelMeters, CorrelationMarksOneSilentChannelAndFollowsItsTimeConstant) {
  const render::Stereo noise = render::Noise(kRate, 2.0, -20.0, 3);
  const std::vector<double> silent(noise.Frames(), 0.0);
  std::vector<double> inverted = noise.left;
  for (double& v : inverted) v = -v;

  {
    LimiterEngine engine;
    Prepare(engine, -0.1f);
    for (const auto& t : meter_ticks::Render(engine, {silent, noise.right}, 480))
      EXPECT_EQ(t.s.corrR, 2.0f) << t.endFrame;
  }
  // Identical channels correlate fully from the first tick on, so the smoothed value climbs as
  // 1 - G^k; left = -right falls the same way to -1. The per-band values do the same.
  for (double sign : {1.0, -1.0}) {
    LimiterEngine engine;
    Prepare(engine, -0.1f);
    const auto ticks = meter_ticks::Render(engine, {noise.left, sign > 0 ? noise.left : inverted}, 480);
    ASSERT_EQ(ticks.size(), 40u);
    for (size_t k = 0; k < ticks.size(); ++k) {
      const double expected = sign * (1.0 - std::pow(kCorrelationKeep, static_cast<double>(k + 1)));
      EXPECT_NEAR(ticks[k].s.corrR, expected, 1e-5) << k;
      for (int b = 0; b < MeterSnapshot::kBands; ++b)
        EXPECT_NEAR(ticks[k].s.multibandCorr[b], expected, 1e-5) << k << " band " << b;
    }
    EXPECT_NEAR(ticks[5].s.corrR, sign * (1.0 - std::exp(-1.0)), 1e-3);  // 300 ms
  }
}
