// The ceiling's adjustments: the dynamic ceiling's offset (in isolation and as the engine settles
// with it), the codec pre-attenuation and its time constant, the codec-headroom model's range and
// its silence with Codec Mode off.
#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include <gtest/gtest.h>

#include "dsp/CeilingControl.h"
#include "dsp/LimiterEngine.h"
#include "meters/ImpactIndicators.h"
#include "support/EngineRender.h"
#include "support/MeterTicks.h"
#include "support/ReferenceTruePeak.h"

#ifdef ZARN_HAVE_APP
#include "app/signals/TestSignals.h"
#endif

namespace {

constexpr double kRate = 48000.0;
const double kMarginDb = 20.0 * std::log10(static_cast<double>(0.9954f));

double Rms(const std::vector<double>& x, size_t begin) {
  double sum = 0.0;
  for (size_t n = begin; n < x.size(); ++n) sum += x[n] * x[n];
  return std::sqrt(sum / static_cast<double>(x.size() - begin));
}

// Model inputs at the averages the model was fitted around, with the recent true peak at the
// ceiling.
struct ModelInputs {
  float features[5] = {0.105265f, 0.149251f, 0.040742f, 0.196693f, 0.978854f};
  ceiling_control::CodecModelInputs in{-1.0f, 0.0f, 1.0, 1.0, false, features};
  explicit ModelInputs(float tpOverCeilingDb = 0.0f,
                       double gainState = std::pow(10.0, -2.181393 / 20.0)) {
    in.tpTick = static_cast<float>(0.9954f * std::pow(10.0, (-1.0 + tpOverCeilingDb) / 20.0));
    in.gainStateLeft = in.gainStateRight = gainState;
  }
  ModelInputs(const ModelInputs&) = delete;  // `in` points into this object
};

// One meter tick's readings as the impact indicators see them: risk from deltaPsr, true peak at
// the ceiling.
MeterSnapshot RiskyTick(float deltaPsr, float tpL) {
  MeterSnapshot s;
  s.deltaPsr = deltaPsr;
  s.tpL = tpL;
  s.lufsS = -10.0f;
  s.pwmdL = s.pwmdR = 1.0f;
  s.lnsL = s.lnsR = s.ascL = s.ascR = 1.0f;
  return s;
}

}  // namespace

TEST(CeilingControl, DynamicOffsetFollowsTheDistanceToTheTarget) {
  using ceiling_control::DynamicOffsetDb;
  EXPECT_DOUBLE_EQ(DynamicOffsetDb(1.0f, -7.0, -9.0f), -0.5);  // -0.6 clamped
  EXPECT_NEAR(DynamicOffsetDb(1.0f, -10.0, -9.0f), 0.3, 1e-12);
  EXPECT_NEAR(DynamicOffsetDb(1.0f, -8.0, -9.0f), -0.3, 1e-12);
  EXPECT_DOUBLE_EQ(DynamicOffsetDb(1.0f, -30.0, -9.0f), 0.5);
  EXPECT_NEAR(DynamicOffsetDb(0.5f, -10.0, -9.0f), 0.15, 1e-12);
  // Off, or no short-term loudness yet.
  EXPECT_EQ(DynamicOffsetDb(0.0f, -7.0, -9.0f), 0.0);
  EXPECT_EQ(DynamicOffsetDb(1.0f, -100.0, -9.0f), 0.0);
  EXPECT_EQ(DynamicOffsetDb(1.0f, -99.0, -9.0f), 0.0);
  EXPECT_EQ(DynamicOffsetDb(1.0f, std::nan(""), -9.0f), 0.0);
}

TEST(CeilingControl, EngineSettlesWhereTheOffsetMatchesItsOwnLoudness) {
  // A steadily limited 1 kHz tone reads its peak level as short-term loudness, so with the
  // dynamic ceiling on the loop settles where e = -0.3 (L0 + e - target), e = -0.3 (L0 - target)
  // / 1.3 (L0: the loudness without it), or at the +-0.5 dB clamp.
  const std::vector<double> tone = [] {
    std::vector<double> x(static_cast<size_t>(8.0 * kRate));
    for (size_t n = 0; n < x.size(); ++n)
      x[n] = 2.0 * std::sin(2.0 * std::numbers::pi * std::fmod(1000.0 * n / kRate, 1.0));
    return x;
  }();
  const size_t settled = static_cast<size_t>(6.0 * kRate);
  for (float ceilingDb : {-5.0f, -10.0f, -12.0f}) {
    double level[2], loudness[2];
    for (int on = 0; on < 2; ++on) {
      LimiterEngine engine;
      ASSERT_TRUE(engine.Prepare(kRate));
      engine.settings.ceilingDb[0] = engine.settings.ceilingDb[1] = ceilingDb;
      engine.settings.dynamicCeiling = static_cast<float>(on);
      engine.settings.targetLufs = -9.0f;
      render::Stereo out;
      const auto ticks = meter_ticks::Render(engine, render::Dual(tone), 480, &out);
      level[on] = 20.0 * std::log10(Rms(out.left, settled));
      loudness[on] = ticks.back().s.lufsS;
    }
    const double expected = std::clamp(-0.3 * (loudness[0] + 9.0) / 1.3, -0.5, 0.5);
    EXPECT_NEAR(level[1] - level[0], expected, 0.02) << ceilingDb;
    EXPECT_NEAR(loudness[1] - loudness[0], expected, 0.02) << ceilingDb;
  }
}

TEST(CeilingControl, RaisedCeilingStopsAtFullScale) {
  // Short loud bursts read far below the target, so the dynamic ceiling raises the ceiling by
  // its full 0.5 dB; from -0.1 dBTP that would put the output 0.4 dB over full scale.
  const std::vector<double> bursts = [] {
    std::vector<double> x(static_cast<size_t>(6.0 * kRate));
    const size_t period = static_cast<size_t>(0.2 * kRate), length = static_cast<size_t>(0.01 * kRate);
    for (size_t n = 0; n < x.size(); ++n)
      if (n % period < length) x[n] = 4.0 * std::sin(2.0 * std::numbers::pi * std::fmod(997.0 * n / kRate, 1.0));
    return x;
  }();
  for (float ceilingDb : {-0.1f, -0.3f, -1.0f}) {
    LimiterEngine engine;
    ASSERT_TRUE(engine.Prepare(kRate));
    engine.settings.ceilingDb[0] = engine.settings.ceilingDb[1] = ceilingDb;
    engine.settings.dynamicCeiling = 1.0f;
    engine.settings.targetLufs = -6.0f;
    render::Stereo out;
    meter_ticks::Render(engine, render::Dual(bursts), 480, &out);
    const double truePeakDb = reference::ToDb(reference::TruePeak(out.left, static_cast<size_t>(4.0 * kRate)));
    const double expected = std::min(ceilingDb + 0.5, 0.0) + kMarginDb;
    EXPECT_NEAR(truePeakDb, expected, 0.05) << ceilingDb;
    EXPECT_LE(truePeakDb, 0.0) << ceilingDb;
  }
}

TEST(CeilingControl, CodecPreAttenuationApproachesItsStepWithA100TickTimeConstant) {
  constexpr float kCeilingDb = -1.0f;
  for (int mode : {1, 2, 3}) {
    ImpactIndicators impact;
    impact.Prepare(kRate);
    MeterSnapshot s;
    for (int k = 1; k <= 1000; ++k) {
      s = RiskyTick(6.0f, kCeilingDb);  // full risk
      impact.Tick(kCeilingDb, mode, 0.0, s);
      ASSERT_EQ(s.codecIspRisk, 1.0f);
      if (k == 100) {
        EXPECT_NEAR(impact.CodecPreAttenDb(), 0.4 * mode * (1.0 - std::exp(-1.0)), 0.01 * mode) << mode;
      }
      EXPECT_NEAR(s.effCeilDb, kCeilingDb + kMarginDb - impact.CodecPreAttenDb(), 1e-5);
    }
    EXPECT_NEAR(impact.CodecPreAttenDb(), 0.4 * mode, 1e-4) << mode;
    // The model's headroom is reported and taken off as well.
    impact.Tick(kCeilingDb, mode, 0.6, s = RiskyTick(6.0f, kCeilingDb));
    EXPECT_FLOAT_EQ(s.mlPreAttenDb, 0.6f);
    EXPECT_NEAR(s.effCeilDb, kCeilingDb + kMarginDb - impact.CodecPreAttenDb() - 0.6, 1e-5);
    // Without risk it lets go with the same time constant.
    const double start = impact.CodecPreAttenDb();
    for (int k = 0; k < 100; ++k) impact.Tick(kCeilingDb, mode, 0.0, s = RiskyTick(0.0f, kCeilingDb));
    EXPECT_NEAR(impact.CodecPreAttenDb(), start * std::exp(-1.0), 0.01 * mode);
  }
}

TEST(CeilingControl, CodecRiskNeedsLostCrestFactorAndATruePeakNearTheCeiling) {
  constexpr float kCeilingDb = -1.0f;
  struct Case {
    float deltaPsr, tpL, risk;
  };
  for (const Case c : {Case{2.0f, -1.0f, 0.0f}, Case{4.0f, -1.0f, 0.5f}, Case{6.0f, -1.5f, 1.0f},
                       Case{9.0f, -1.0f, 1.0f}, Case{6.0f, -2.5f, 0.0f}, Case{-100.0f, -1.0f, 0.0f}}) {
    ImpactIndicators impact;
    impact.Prepare(kRate);
    MeterSnapshot s = RiskyTick(c.deltaPsr, c.tpL);
    impact.Tick(kCeilingDb, 3, 0.0, s);
    EXPECT_NEAR(s.codecIspRisk, c.risk, 1e-6) << c.deltaPsr << " " << c.tpL;
  }
  // A risk of 0.1 or less does not attenuate.
  ImpactIndicators impact;
  impact.Prepare(kRate);
  MeterSnapshot s = RiskyTick(2.3f, kCeilingDb);
  impact.Tick(kCeilingDb, 3, 0.0, s);
  EXPECT_NEAR(s.codecIspRisk, 0.075f, 1e-6);
  EXPECT_EQ(impact.CodecPreAttenDb(), 0.0);
}

TEST(CeilingControl, CodecModelGivesNothingOrBetween0_225And1_5dB) {
  using ceiling_control::CodecHeadroomDb;
  // At the fitted averages with the true peak at the ceiling and no hold, the score is
  // 27.354265 x 0.377015 / 0.327304 - 32.556885 + 0.004992 x 0.166928 / 0.372912.
  const double score = 27.354265 * 0.377015 / 0.327304 - 32.556885 + 0.004992 * 0.166928 / 0.372912;
  const ModelInputs atCeiling;
  EXPECT_NEAR(CodecHeadroomDb(1, atCeiling.in), 1.5 / (1.0 + std::exp(-score)), 2e-3);
  EXPECT_GT(CodecHeadroomDb(1, atCeiling.in), 0.225);

  // With Codec Mode off nothing is evaluated, whatever the inputs.
  EXPECT_EQ(CodecHeadroomDb(0, ModelInputs(1.0f).in), 0.0);
  // A recent true peak more than 2 dB under the ceiling needs no headroom.
  EXPECT_EQ(CodecHeadroomDb(3, ModelInputs(-2.1f).in), 0.0);

  // Across true peaks from 2 dB under to 1 dB over the ceiling: never between 0 and 0.225 dB
  // (P < 0.15 gives nothing), never above 1.5 dB, never less for a higher peak.
  double previous = 0.0;
  bool sawZero = false, sawFull = false;
  for (float db = -2.0f; db <= 1.0f; db += 0.01f) {
    const double h = CodecHeadroomDb(2, ModelInputs(db).in);
    EXPECT_TRUE(h == 0.0 || (h >= 0.225 && h <= 1.5)) << db << " dB: " << h;
    EXPECT_GE(h, previous) << db;
    previous = h;
    sawZero = sawZero || h == 0.0;
    sawFull = sawFull || h > 1.49;
  }
  EXPECT_TRUE(sawZero);
  EXPECT_TRUE(sawFull);
}

#ifdef ZARN_HAVE_APP
TEST(CeilingControl, EngineLowersTheCeilingForCodecsOnlyWithCodecModeOn) {
  constexpr float kCeilingDb = -1.0f;
  // Drums driven 12 dB into the limiter lose crest factor right at the ceiling.
  const signals::Stereo demo = signals::Demo(kRate, 6.0);
  double finalPeakDb[2] = {};
  for (int mode : {0, 3}) {
    LimiterEngine engine;
    ASSERT_TRUE(engine.Prepare(kRate));
    engine.settings.ceilingDb[0] = engine.settings.ceilingDb[1] = kCeilingDb;
    engine.settings.driveDb[0] = engine.settings.driveDb[1] = 12.0f;
    engine.settings.codecMode = mode;
    render::Stereo out;
    const auto ticks = meter_ticks::Render(engine, {demo.left, demo.right}, 512, &out);
    double preAttenuation = 0.0;
    int risky = 0;
    for (const auto& t : ticks) {
      const MeterSnapshot& s = t.s;
      preAttenuation = 0.99 * preAttenuation + 0.01 * (s.codecIspRisk > 0.1f ? 0.4 * mode : 0.0);
      risky += s.codecIspRisk > 0.1f;
      if (mode == 0) {
        ASSERT_EQ(s.mlPreAttenDb, 0.0f) << t.endFrame;  // the model is not evaluated
      }
      EXPECT_TRUE(s.mlPreAttenDb == 0.0f || (s.mlPreAttenDb >= 0.225f && s.mlPreAttenDb <= 1.5f))
          << s.mlPreAttenDb;
      ASSERT_NEAR(s.effCeilDb, kCeilingDb + kMarginDb - preAttenuation - s.mlPreAttenDb, 1e-4)
          << "mode " << mode << ", frame " << t.endFrame;
    }
    EXPECT_GT(risky, 20) << mode;
    finalPeakDb[mode ? 1 : 0] = reference::ToDb(reference::TruePeak(out.left, out.Frames() - 96000));
  }
  // The lowered ceiling reaches the audio.
  EXPECT_LT(finalPeakDb[1], finalPeakDb[0] - 0.3);
}
#endif
