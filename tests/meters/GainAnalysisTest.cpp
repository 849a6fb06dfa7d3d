// How the limiter treats the programme: the neutral readings without gain reduction, the bands
// that cause the reduction (against the band split's own frequency response), and pumping, fast
// modulation, steadiness and transient score of synthetic gain curves, also when a long block
// covers several ticks' worth of audio.
#include <algorithm>
#include <cmath>
#include <complex>
#include <functional>
#include <numbers>
#include <vector>

#include <gtest/gtest.h>

#include "dsp/LimiterEngine.h"
#include "meters/GainAnalysis.h"
#include "meters/ImpactIndicators.h"
#include "meters/MeterBlockTaps.h"
#include "support/EngineRender.h"
#include "support/MeterTicks.h"

namespace {

constexpr double kRate = 48000.0;

std::vector<double> Sine(double frequency, double amplitude, double seconds) {
  std::vector<double> x(static_cast<size_t>(seconds * kRate));
  for (size_t n = 0; n < x.size(); ++n)
    x[n] = amplitude * std::sin(2.0 * std::numbers::pi * std::fmod(frequency * n / kRate, 1.0));
  return x;
}

// Power shares of a steady tone in the six bands, from the split's frequency response: two
// one-pole low-passes in series per split (40, 125, 400, 1250, 4000 Hz), bands as differences.
std::vector<double> BandShares(double frequency) {
  const std::complex<double> z = std::polar(1.0, 2.0 * std::numbers::pi * frequency / kRate);
  std::complex<double> lp[5];
  const double splits[5] = {40.0, 125.0, 400.0, 1250.0, 4000.0};
  for (int k = 0; k < 5; ++k) {
    const double t = std::tan(2.0 * std::numbers::pi * splits[k] / kRate);
    const double a = t / (1.0 + t);
    const std::complex<double> h = a / (1.0 - (1.0 - a) / z);
    lp[k] = h * h;
  }
  std::complex<double> band[6] = {lp[0], lp[1] - lp[0], lp[2] - lp[1], lp[3] - lp[2], lp[4] - lp[3],
                                  1.0 - lp[4]};
  std::vector<double> share(6);
  double total = 0.0;
  for (int k = 0; k < 6; ++k) total += share[k] = std::norm(band[k]);
  for (double& s : share) s /= total;
  return share;
}

// Drives GainAnalysis directly, a tick's worth of samples at a time, with a gain curve g(t) on
// both channels, ticking every `tickLength` samples; returns the last snapshot.
MeterSnapshot AnalyseGainCurve(const std::function<double(double)>& gainAt, double seconds,
                               int tickLength, const std::function<bool(size_t)>& transientAt = {}) {
  GainAnalysis analysis;
  ImpactIndicators impact;
  analysis.Prepare(kRate);
  impact.Prepare(kRate);
  MeterSnapshot s;
  s.tpL = -100.0f;
  const size_t frames = static_cast<size_t>(seconds * kRate);
  const size_t length = static_cast<size_t>(tickLength);
  std::vector<double> v(length), o(length), g(length), msDriven(length, 0.1);
  for (size_t start = 0; start + length <= frames; start += length) {
    for (size_t i = 0; i < length; ++i) {
      g[i] = gainAt(static_cast<double>(start + i) / kRate);
      // A quiet input whose 3-s mean square is far above it, unless a transient is wanted.
      v[i] = transientAt && transientAt(start + i) ? 1.0 : 0.01;
      o[i] = g[i] * v[i];
    }
    MeterBlockTaps run;
    run.frames = tickLength;
    for (int ch = 0; ch < 2; ++ch) {
      run.u[ch] = run.v[ch] = v.data();
      run.o[ch] = o.data();
      run.g[ch] = run.gainState[ch] = g.data();
      run.msDriven[ch] = msDriven.data();
    }
    analysis.AccumulateBlock(run, false, impact);
    analysis.Tick(-0.1f, g.back(), s);
  }
  return s;
}

double Square2Hz(double t) { return std::fmod(t, 0.5) < 0.25 ? 0.5 : 0.9; }

}  // namespace

TEST(GainAnalysis, WithoutGainReductionEveryReadingIsNeutral) {
  LimiterEngine engine;
  ASSERT_TRUE(engine.Prepare(kRate));
  const auto ticks = meter_ticks::Render(engine, render::Noise(kRate, 3.0, -30.0, 17), 512);
  ASSERT_EQ(ticks.size(), 60u);
  for (const auto& t : ticks) {
    const MeterSnapshot& s = t.s;
    ASSERT_EQ(s.grL, 0.0f);
    EXPECT_EQ(s.pwmdL, 1.0f);
    EXPECT_EQ(s.pwmdR, 1.0f);
    EXPECT_EQ(s.ehsL, 0.0f);
    EXPECT_EQ(s.ehsR, 0.0f);
    EXPECT_EQ(s.gespL, 1.0f);
    EXPECT_EQ(s.gespR, 1.0f);
    EXPECT_EQ(s.tpsL, 1.0f);
    EXPECT_EQ(s.ascR, 1.0f);
    EXPECT_EQ(s.lnsL, 1.0f);
    EXPECT_EQ(s.lnsR, 1.0f);
    EXPECT_EQ(s.nmrL, -100.0f);
    EXPECT_EQ(s.nmrR, -100.0f);
    EXPECT_EQ(s.deltaSfmL, 0.0f);
    EXPECT_EQ(s.sgdDb, -100.0f);
    for (float c : s.causeBands) EXPECT_EQ(c, 0.0f);
  }
  // Without reduction the output is the limiter input delayed: nothing changed its punch,
  // balance or width (the balances read a slightly different stretch of noise, 335 samples
  // earlier).
  const MeterSnapshot& s = ticks.back().s;
  EXPECT_NEAR(s.punchLowDb, 0.0, 0.1);
  EXPECT_NEAR(s.punchMidDb, 0.0, 0.1);
  EXPECT_NEAR(s.punchHighDb, 0.0, 0.1);
  EXPECT_NEAR(s.deltaLfDb, 0.0, 0.02);
  EXPECT_NEAR(s.deltaHfDb, 0.0, 0.02);
  EXPECT_NEAR(s.deltaWidthPct, 0.0, 0.1);
}

TEST(GainAnalysis, CauseBandsShowWhichBandOfALimitedToneCausesTheReduction) {
  for (double frequency : {10000.0, 60.0}) {
    LimiterEngine engine;
    ASSERT_TRUE(engine.Prepare(kRate));
    const auto ticks = meter_ticks::Render(engine, render::Dual(Sine(frequency, 2.0, 2.0)), 480);
    const MeterSnapshot& s = ticks.back().s;
    ASSERT_LT(s.grL, -5.0f);
    const std::vector<double> expected = BandShares(frequency);
    for (int k = 0; k < 6; ++k) EXPECT_NEAR(s.causeBands[k], expected[k], 0.01) << frequency << " Hz band " << k;
    if (frequency == 10000.0) {
      EXPECT_GT(s.causeBands[5], 0.98f);
      EXPECT_EQ(s.deltaSfmL, 1.0f);  // all the cause in one band: the least flat spectrum
      EXPECT_EQ(s.deltaSfmR, 1.0f);
      EXPECT_EQ(s.srcRisk, 1.0f);  // top-band cause with a peaky spectrum: resampling risk
    } else {
      // Neighbouring bands of the split overlap: mostly the second and third.
      EXPECT_NEAR(s.causeBands[1], 0.54, 0.03);
      EXPECT_NEAR(s.causeBands[2], 0.32, 0.03);
    }
  }
}

TEST(GainAnalysis, EqualGainStatesGiveNoStereoGainDifference) {
  LimiterEngine engine;
  ASSERT_TRUE(engine.Prepare(kRate));
  engine.settings.channelsIndependent = true;
  engine.settings.driveDb[0] = engine.settings.driveDb[1] = 12.0f;
  const auto ticks = meter_ticks::Render(engine, render::Dual(render::Noise(kRate, 1.0, -12.0, 5).left), 480);
  for (const auto& t : ticks) {
    ASSERT_LT(t.s.grL, 0.0f);
    EXPECT_EQ(t.s.grL, t.s.grR);
    EXPECT_EQ(t.s.sgdDb, -100.0f);
    EXPECT_EQ(t.s.sgdMaxDb, -100.0f);
  }
}

TEST(GainAnalysis, PumpingAndFastModulationOfSyntheticGainCurves) {
  const auto sineSwing = [](double hz) {
    return [hz](double t) { return 0.7 + 0.2 * std::sin(2.0 * std::numbers::pi * hz * t); };
  };
  // A 2 Hz square between 0.5 and 0.9: strong pumping, mostly below 4 Hz.
  const MeterSnapshot square = AnalyseGainCurve(Square2Hz, 10.0, 2400);
  EXPECT_NEAR(square.pwmdL, 0.08, 0.04);
  EXPECT_NEAR(square.ehsL, 0.15, 0.05);
  EXPECT_EQ(square.pwmdL, square.pwmdR);
  EXPECT_GT(AnalyseGainCurve(sineSwing(6.0), 10.0, 2400).ehsL, 0.9f);
  EXPECT_LT(AnalyseGainCurve(sineSwing(3.0), 10.0, 2400).ehsL, 0.1f);

  // A steady 6 dB of reduction does not pump; its steadiness is its depth, 1 - 6.02 / 24, and
  // the load goes to full.
  const MeterSnapshot steady = AnalyseGainCurve([](double) { return 0.5; }, 10.0, 2400);
  EXPECT_GT(steady.pwmdL, 0.99f);
  EXPECT_NEAR(steady.gespL, 1.0 - 20.0 * std::log10(2.0) / 24.0, 1e-4);
  EXPECT_LT(steady.lnsL, 0.001f);
  EXPECT_EQ(steady.tpsL, 1.0f);  // no transients

  // Transients that meet a gain of 0.7 score 0.7.
  const MeterSnapshot transients =
      AnalyseGainCurve([](double) { return 0.7; }, 1.0, 2400, [](size_t n) { return n % 400 == 0; });
  EXPECT_NEAR(transients.tpsL, 0.7, 1e-6);
  EXPECT_EQ(transients.ascL, transients.tpsL);
}

TEST(GainAnalysis, LongBlocksPushTheGainHistoryAtTheTrueRate) {
  // One tick per 8192-sample block pushes the tick's mean three times, so the 2 Hz square stays
  // a slow modulation; pushed once, it would read as a modulation of almost 7 Hz.
  const MeterSnapshot atBlockRate = AnalyseGainCurve(Square2Hz, 12.0, 8192);
  const MeterSnapshot atTickRate = AnalyseGainCurve(Square2Hz, 12.0, 2400);
  EXPECT_LT(atBlockRate.ehsL, 0.4f);
  EXPECT_NEAR(atBlockRate.ehsL, atTickRate.ehsL, 0.1);
  EXPECT_LT(atBlockRate.pwmdL, 0.5f);  // still read as strong pumping
}
