// The two small stages before the Loud stage: the Extra leveler (one upward gain for both
// channels) and the Character saturator (antialiased tanh difference without DC), measured by
// level and by harmonic, alone and inside the plug-in.
#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/ParamIds.h"
#include "core/ZARN.h"
#include "dsp/CharacterSaturator.h"
#include "dsp/ExtraLeveler.h"
#include "dsp/LimiterEngine.h"
#include "support/EngineRender.h"
#include "support/ToneAnalysis.h"

namespace {

constexpr double kRate = 48000.0;
constexpr int kBlock = 480;

double DbToLin(double db) { return std::pow(10.0, db / 20.0); }

// The leveler run over a stereo signal, returning the lifted left and right channels.
render::Stereo Level(const render::Stereo& x, double amount) {
  ExtraLeveler leveler;
  const ExtraLeveler::Coefficients c = ExtraLeveler::ForRate(kRate);
  render::Stereo y{std::vector<double>(x.Frames()), std::vector<double>(x.Frames())};
  for (size_t n = 0; n < x.Frames(); ++n) {
    const double g = leveler.Gain(x.left[n], x.right[n], amount, c);
    y.left[n] = x.left[n] * g;
    y.right[n] = x.right[n] * g;
  }
  return y;
}

std::vector<double> Saturate(const std::vector<double>& x, int row) {
  CharacterSaturator s;
  s.Design();
  s.SetRow(row);
  std::vector<double> y(x.size());
  for (size_t n = 0; n < x.size(); ++n) y[n] = s.Process(x[n]);
  return y;
}

// Small-signal lift of a row: the tanh curve's slope at 0 is 6 / tanh(6), the line's is 1.
double SmallSignalGainDb(int row) {
  return 20.0 * std::log10(1.0 + 0.00056 * row * (6.0 / std::tanh(6.0) - 1.0));
}

std::unique_ptr<ZARN> MakePlugin() {
  auto plugin = std::make_unique<ZARN>();
  EXPECT_TRUE(plugin->SetupProcessing(kRate, kBlock, 2, 2));
  return plugin;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The measuring helper

TEST(ToneAnalysis, ReadsAFaintHarmonicBesideAStrongFundamental) {
  const size_t n = 4800;
  std::vector<double> x = tone::Sine(kRate, 1000.0, 0.8, n);
  const std::vector<double> h3 = tone::Sine(kRate, 3000.0, 1e-7, n, 0.3);
  for (size_t i = 0; i < n; ++i) x[i] += h3[i] + 0.01;
  EXPECT_NEAR(tone::Amplitude(x, 0, n, kRate, 1000.0), 0.8, 1e-12);
  EXPECT_NEAR(tone::Amplitude(x, 0, n, kRate, 3000.0), 1e-7, 1e-12);
  EXPECT_LT(tone::Amplitude(x, 0, n, kRate, 2000.0), 1e-12);
  EXPECT_NEAR(tone::HarmonicDb(x, 0, n, kRate, 1000.0, 3), 20.0 * std::log10(1e-7 / 0.8), 1e-4);
  EXPECT_NEAR(tone::Mean(x, 0, n), 0.01, 1e-12);
  EXPECT_NEAR(tone::Rms(x, 0, n), std::sqrt(0.32 + 1e-4), 1e-9);
  // A delayed sine is the same sine shifted.
  const std::vector<double> d = tone::Sine(kRate, 1000.0, 1.0, 100, 0.0, 2.5);
  EXPECT_NEAR(d[50], std::sin(2.0 * std::numbers::pi * 1000.0 * 47.5 / kRate), 1e-12);
}

// ---------------------------------------------------------------------------------------------
// Extra leveler

TEST(ExtraLeveler, LiftsQuietSignalsByFourteenPointEightTimesTheAmount) {
  const render::Stereo in = render::Dual(tone::Sine(kRate, 1000.0, DbToLin(-30.0), 24000));
  for (double amount : {1.0, 0.5, 0.25}) {
    const render::Stereo out = Level(in, amount);
    const double liftDb = 20.0 * std::log10(tone::Amplitude(out.left, 4800, 19200, kRate, 1000.0) /
                                            tone::Amplitude(in.left, 4800, 19200, kRate, 1000.0));
    EXPECT_NEAR(liftDb, 14.8 * amount, 1e-9) << amount;
  }

  // Inside the engine: Extra 100 % lifts what reaches the drive by 14.8 dB (read before the first
  // meter tick clears the peak hold).
  LimiterEngine engine;
  ASSERT_TRUE(engine.Prepare(kRate));
  engine.settings.extra = 1.0f;
  const render::Stereo shortIn = render::Dual(tone::Sine(kRate, 1000.0, DbToLin(-30.0), 1920));
  render::ThroughEngine(engine, shortIn, kBlock);
  EXPECT_NEAR(20.0 * std::log10(engine.LoudTaps().insistIn), -30.0 + 14.8, 1e-6);
}

// At an envelope of 0 dBFS the lift is 14.8 - 0.6 x 18 = 4.0 dB. A full-scale square wave holds
// the envelope there; the 10-ms / 150-ms follower settles at 0.90 of a sine's peak (-0.91 dB), so
// a settled 0 dBFS sine is lifted by 4.0 + 0.6 x 0.91 = 4.54 dB.
TEST(ExtraLeveler, LiftsFullScaleByFourDbOnceTheEnvelopeSettles) {
  const size_t frames = 3 * 48000;
  std::vector<double> square(frames);
  for (size_t n = 0; n < frames; ++n) square[n] = (n / 24) % 2 == 0 ? 1.0 : -1.0;
  const render::Stereo levelledSquare = Level(render::Dual(square), 1.0);
  for (size_t n = frames / 2; n < frames; ++n)
    ASSERT_NEAR(20.0 * std::log10(std::fabs(levelledSquare.left[n])), 4.0, 1e-9) << n;

  const render::Stereo sine = render::Dual(tone::Sine(kRate, 1000.0, 1.0, frames));
  const render::Stereo out = Level(sine, 1.0);
  for (size_t start = frames / 2; start < frames; start += 4800) {
    const double liftDb = 20.0 * std::log10(tone::Amplitude(out.left, start, 4800, kRate, 1000.0));
    EXPECT_NEAR(liftDb, 4.54, 0.05) << "at " << start;
  }
}

TEST(ExtraLeveler, SilenceStaysExactlySilent) {
  const render::Stereo out = Level(render::Dual(std::vector<double>(4800)), 1.0);
  for (size_t n = 0; n < out.Frames(); ++n) ASSERT_TRUE(out.left[n] == 0.0 && out.right[n] == 0.0);

  // Through the plug-in at Extra 100 %, which also puts the Loud stage fully in circuit.
  auto plugin = MakePlugin();
  ASSERT_TRUE(plugin->SetParamValue(kExtra, 100.0));
  const render::Stereo silence = render::Dual(std::vector<double>(24000));
  const render::Stereo y = render::ThroughPlugin(*plugin, silence, kBlock);
  for (size_t n = 0; n < y.Frames(); ++n) ASSERT_TRUE(y.left[n] == 0.0 && y.right[n] == 0.0) << n;
}

// A loud left channel sets the lift of a quiet right channel too, so the image does not move.
// At Extra 50 % the Loud stage stays out and nothing but the lift changes the signal.
TEST(ExtraLeveler, OneCommonGainForBothChannels) {
  const size_t frames = 24000;
  // Quiet enough that even the initial full lift stays under the ceiling: the limiter stays out.
  const std::vector<double> loud = tone::Sine(kRate, 1000.0, DbToLin(-10.0), frames);
  const std::vector<double> quiet = tone::Sine(kRate, 1500.0, DbToLin(-40.0), frames);
  const auto liftDb = [](const std::vector<double>& out, const std::vector<double>& in, size_t latency,
                         double frequency) {
    std::vector<double> aligned(out.begin() + static_cast<long>(latency), out.end());
    return 20.0 * std::log10(tone::Amplitude(aligned, 9600, 9600, kRate, frequency) /
                             tone::Amplitude(in, 9600, 9600, kRate, frequency));
  };

  auto both = MakePlugin();
  ASSERT_TRUE(both->SetParamValue(kExtra, 50.0));
  const size_t latency = static_cast<size_t>(both->GetLatency());
  const render::Stereo out = render::ThroughPlugin(*both, {loud, quiet}, kBlock);
  // Sample by sample the same gain (the peak catcher rounds to single precision).
  for (size_t n = 9600; n + latency < frames; ++n) {
    if (std::fabs(loud[n]) < 0.1 * DbToLin(-10.0) || std::fabs(quiet[n]) < 0.1 * DbToLin(-40.0)) continue;
    ASSERT_NEAR(out.right[n + latency] / quiet[n], out.left[n + latency] / loud[n], 1e-5) << n;
  }
  const double leftLift = liftDb(out.left, loud, latency, 1000.0);
  EXPECT_NEAR(liftDb(out.right, quiet, latency, 1500.0), leftLift, 0.01);
  EXPECT_LT(leftLift, 6.0);  // about 7.4 - 0.3 x (envelope above -18 dBFS)

  auto alone = MakePlugin();
  ASSERT_TRUE(alone->SetParamValue(kExtra, 50.0));
  const render::Stereo quietOnly =
      render::ThroughPlugin(*alone, {std::vector<double>(frames), quiet}, kBlock);
  EXPECT_NEAR(liftDb(quietOnly.right, quiet, latency, 1500.0), 7.4, 1e-4);
}

// Runs of any length, their gains worked out in the vector library, against the gain sample by
// sample in the scalar functions: loud, quiet and silent stretches, runs longer than the work's.
TEST(ExtraLeveler, RunsAgreeWithTheGainSampleBySample) {
  std::mt19937_64 random(21);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  std::vector<double> left(6000), right(6000);
  for (size_t n = 0; n < left.size(); ++n) {
    const double level = n < 2000 ? 1.0 : n < 3000 ? 0.01 : n < 4000 ? 0.0 : 0.3;
    left[n] = level * uniform(random);
    right[n] = 0.5 * level * uniform(random);
  }
  const ExtraLeveler::Coefficients c = ExtraLeveler::ForRate(kRate);
  for (double amount : {0.3, 1.0}) {
    ExtraLeveler leveler;
    double envelope = 0.0;  // the gain's formula, written out
    size_t start = 0;
    for (int n : {1, 7, 256, 257, 1000, 31, 4448}) {
      std::vector<double> gains(static_cast<size_t>(n));
      leveler.GainRun(&left[start], &right[start], n, amount, c, gains.data());
      for (int i = 0; i < n; ++i, ++start) {
        const double u = std::max(std::fabs(left[start]), std::fabs(right[start]));
        const double a = envelope < u ? c.attack : c.release;
        envelope = envelope * a + u * (1.0 - a);
        if (envelope < 1e-20) envelope = 0.0;
        const double overKneeDb = 20.0 * std::log10(envelope) + 18.0;
        const double gainDb = amount * 14.8 - (overKneeDb > 0.0 ? amount * 0.6 * overKneeDb : 0.0);
        ASSERT_NEAR(gains[static_cast<size_t>(i)], std::pow(10.0, gainDb / 20.0), 1e-14)
            << "amount " << amount << " sample " << start;
      }
    }
    ASSERT_EQ(start, left.size());
  }
}

// With Extra at 0 the envelope follows all the same, so that switched on, the leveler lifts
// exactly as one that was on all along, not by the full 14.8 dB while a stale envelope (silence,
// here) catches up: alone, giving gains of exactly 1 while off, and inside the engine.
TEST(ExtraLeveler, SwitchedOnLiftsExactlyAsIfItHadBeenOnAllAlong) {
  const render::Stereo in = render::Noise(kRate, 0.3, -6.0, 8);
  const int frames = static_cast<int>(in.Frames()), on = 4801;
  const ExtraLeveler::Coefficients c = ExtraLeveler::ForRate(kRate);
  ExtraLeveler switched, always;
  std::vector<double> offGains(static_cast<size_t>(on)), gains(static_cast<size_t>(frames)), expected(gains);
  switched.GainRun(in.left.data(), in.right.data(), on, 0.0, c, offGains.data());
  EXPECT_TRUE(std::all_of(offGains.begin(), offGains.end(), [](double g) { return g == 1.0; }));
  switched.GainRun(in.left.data() + on, in.right.data() + on, frames - on, 1.0, c, gains.data() + on);
  always.GainRun(in.left.data(), in.right.data(), frames, 1.0, c, expected.data());
  EXPECT_EQ(std::vector<double>(gains.begin() + on, gains.end()), std::vector<double>(expected.begin() + on, expected.end()));

  const auto part = [&in](size_t from, size_t to) {
    const auto at = [](const std::vector<double>& x, size_t i) { return x.begin() + static_cast<long>(i); };
    return render::Stereo{{at(in.left, from), at(in.left, to)}, {at(in.right, from), at(in.right, to)}};
  };
  LimiterEngine switchedOn, onAllAlong;
  ASSERT_TRUE(switchedOn.Prepare(kRate));
  ASSERT_TRUE(onAllAlong.Prepare(kRate));
  onAllAlong.settings.extra = 1.0f;
  for (LimiterEngine* engine : {&switchedOn, &onAllAlong}) render::ThroughEngine(*engine, part(0, 4800), kBlock);
  switchedOn.settings.extra = 1.0f;
  for (LimiterEngine* engine : {&switchedOn, &onAllAlong}) render::ThroughEngine(*engine, part(4800, 5280), kBlock);
  EXPECT_EQ(switchedOn.Leveler().Envelope(), onAllAlong.Leveler().Envelope());
  EXPECT_GT(switchedOn.Leveler().Envelope(), DbToLin(-20.0));
}

// ---------------------------------------------------------------------------------------------
// Character saturator

TEST(CharacterSaturator, RowZeroReturnsTheInputExactly) {
  std::mt19937_64 random(9);
  std::uniform_real_distribution<double> uniform(-1.5, 1.5);
  std::vector<double> x(5000);
  for (double& v : x) v = uniform(random);
  for (size_t i = 1000; i < 1100; ++i) x[i] = x[999];  // equal consecutive inputs
  x[2000] = 1e6;
  x[2001] = -1e6;
  x[2002] = 0.0;
  x[2003] = 1e-300;
  for (int row : {0, -3}) {  // rows below 0 count as 0
    const std::vector<double> y = Saturate(x, row);
    for (size_t i = 0; i < x.size(); ++i) ASSERT_EQ(y[i], x[i]) << "row " << row << " sample " << i;
  }
}

// Out of circuit, the saturator follows its input a run at a time, past the end of its history
// (which then holds only the newest inputs), summing the input energy as one that ran all along;
// caught up and brought in, it continues within 1e-9 of that one (its DC blocker has forgotten
// what the history lost) and exactly as one that followed sample by sample.
TEST(CharacterSaturator, FollowingThenCatchingUpContinuesAsRunningAllAlong) {
  std::mt19937 rng(13);
  std::uniform_real_distribution<double> uniform(-0.9, 0.9);
  CharacterSaturator followed, running, oneByOne;
  for (CharacterSaturator* s : {&followed, &running, &oneByOne}) s->Design();
  running.SetRow(10);
  std::vector<double> x(40000);
  for (size_t n = 0; n < x.size(); ++n) x[n] = uniform(rng) * (0.5 + 0.5 * std::sin(0.001 * static_cast<double>(n)));
  size_t start = 0;
  for (int n : {256, 1, 5000, 32768, 1975}) {
    n = std::min<int>(n, static_cast<int>(x.size() - start));
    followed.Follow(x.data() + start, n);
    for (int i = 0; i < n; ++i) {
      oneByOne.Follow(&x[start + i], 1);
      running.Process(x[start + i]);
    }
    start += static_cast<size_t>(n);
  }
  ASSERT_EQ(start, x.size());
  EXPECT_EQ(followed.InputEnergy(), oneByOne.InputEnergy());
  EXPECT_EQ(followed.InputEnergy(), running.InputEnergy());
  for (CharacterSaturator* s : {&followed, &oneByOne}) {
    s->CatchUp();
    s->SetRow(10);
  }
  double worst = 0.0;
  for (int i = 0; i < 2000; ++i) {
    const double v = uniform(rng), expected = running.Process(v), y = followed.Process(v);
    ASSERT_EQ(y, oneByOne.Process(v)) << "sample " << i;
    worst = std::max(worst, std::fabs(y - expected));
  }
  EXPECT_LT(worst, 1e-9);
}

// Runs of any length against the curve sample by sample in the scalar functions: random input,
// equal and nearly equal neighbours (the tanh branch) and large values.
TEST(CharacterSaturator, RunsAgreeWithTheCurveSampleBySample) {
  std::mt19937_64 random(17);
  std::uniform_real_distribution<double> uniform(-1.2, 1.2);
  std::vector<double> x(5000);
  for (double& v : x) v = uniform(random);
  for (size_t i = 700; i < 760; ++i) x[i] = x[699];
  for (size_t i = 900; i < 960; ++i) x[i] = x[899] + 1e-8 * static_cast<double>(i % 3);
  x[1500] = 40.0;
  x[1501] = -40.0;
  CharacterSaturator s;
  s.Design();
  s.SetRow(10);
  const double norm = std::tanh(6.0);
  const auto antiderivative = [norm](double v) {
    const double a = std::fabs(6.0 * v);
    return (std::log1p(std::exp(-2.0 * a)) + a - std::numbers::ln2) / (6.0 * norm);
  };
  double previous = 0.0, previousF = antiderivative(0.0), previousDiff = 0.0, previousOut = 0.0, worst = 0.0;
  size_t start = 0;
  for (int n : {1, 5, 256, 257, 600, 3, 3878}) {
    std::vector<double> y(static_cast<size_t>(n));
    s.ProcessRun(&x[start], y.data(), n);
    for (int i = 0; i < n; ++i, ++start) {
      const double v = x[start], f = antiderivative(v);
      const double shaped = std::fabs(v - previous) > 1e-7 ? (f - previousF) / (v - previous)
                                                            : std::tanh(6.0 * (previous + v) / 2.0) / norm;
      const double diff = shaped - (v + previous) / 2.0;
      double out = diff - previousDiff + 0.9995 * previousOut;
      if (std::fabs(out) < 1e-20) out = 0.0;
      previous = v;
      previousF = f;
      previousDiff = diff;
      previousOut = out;
      worst = std::max(worst, std::fabs(y[static_cast<size_t>(i)] - (v + 0.0056 * out)));
    }
  }
  ASSERT_EQ(start, x.size());
  EXPECT_LT(worst, 1e-13);  // 6.7e-16 here
}

TEST(CharacterSaturator, SmallSignalsGainAboutAmountTimesTheCurveSlope) {
  const std::vector<double> x = tone::Sine(kRate, 100.0, DbToLin(-40.0), 48000);
  for (int row = 0; row <= 10; ++row) {
    const std::vector<double> y = Saturate(x, row);
    const double gainDb = 20.0 * std::log10(tone::Amplitude(y, 24000, 24000, kRate, 100.0) /
                                            tone::Amplitude(x, 24000, 24000, kRate, 100.0));
    EXPECT_NEAR(gainDb, SmallSignalGainDb(row), 0.002) << "row " << row;
  }
  EXPECT_NEAR(SmallSignalGainDb(10), 0.24, 0.005);
  // Rows above 10 stay at 10.
  EXPECT_EQ(Saturate(x, 14), Saturate(x, 10));
}

// tanh is odd, so a sine gains odd harmonics only; the added part scales with the row's amount.
TEST(CharacterSaturator, RowTenAddsOddHarmonicsAndNoDc) {
  const std::vector<double> x = tone::Sine(kRate, 1000.0, DbToLin(-1.0), 48000);
  const std::vector<double> y10 = Saturate(x, 10), y5 = Saturate(x, 5);
  const size_t begin = 24000, n = 24000;  // whole periods, after the DC blocker settled
  for (int h : {3, 5}) {
    EXPECT_GT(tone::HarmonicDb(y10, begin, n, kRate, 1000.0, h), -100.0) << h;
    EXPECT_LT(tone::HarmonicDb(y10, begin, n, kRate, 1000.0, h), -30.0) << h;  // subtle
    EXPECT_NEAR(tone::HarmonicDb(y10, begin, n, kRate, 1000.0, h) -
                    tone::HarmonicDb(y5, begin, n, kRate, 1000.0, h),
                20.0 * std::log10(2.0), 0.01)
        << h;
  }
  for (int h : {2, 4})
    EXPECT_LT(tone::HarmonicDb(y10, begin, n, kRate, 1000.0, h),
              tone::HarmonicDb(y10, begin, n, kRate, 1000.0, 3) - 80.0)
        << h;

  // No DC in what is added, even when the input carries DC and so does the tanh difference.
  std::vector<double> offset = tone::Sine(kRate, 1000.0, 0.6, 48000);
  for (double& v : offset) v += 0.3;
  for (const std::vector<double>* in : {&x, static_cast<const std::vector<double>*>(&offset)}) {
    const std::vector<double> y = Saturate(*in, 10);
    std::vector<double> added(y.size());
    for (size_t i = 0; i < y.size(); ++i) added[i] = y[i] - (*in)[i];
    EXPECT_LT(std::fabs(tone::Mean(added, begin, n)), 1e-6);
    EXPECT_GT(tone::Rms(added, begin, n), 1e-4);  // but something was added
  }
}

// Where the two samples are (nearly) equal the divided difference is replaced by the tanh of the
// midpoint; both forms must meet, and constant input must neither divide by zero nor keep a DC.
TEST(CharacterSaturator, EqualConsecutiveInputsTakeTheTanhBranch) {
  for (double level : {0.0, 0.5, -0.7, 1.0, 1e6, -1e6}) {
    const std::vector<double> y = Saturate(std::vector<double>(40000, level), 10);
    for (double v : y) ASSERT_TRUE(std::isfinite(v)) << level;
    EXPECT_NEAR(y.back(), level, 1e-6 * std::max(1.0, std::fabs(level))) << level;
  }
  for (double a : {0.0, 0.3, -0.8, 0.99}) {
    // 0.99e-7 apart takes the tanh branch, 1.01e-7 apart the divided difference.
    const double near = Saturate({a, a + 0.99e-7}, 10)[1] - (a + 0.99e-7);
    const double far = Saturate({a, a + 1.01e-7}, 10)[1] - (a + 1.01e-7);
    EXPECT_NEAR(near, far, 1e-10) << a;
  }
}

TEST(CharacterSaturator, PluginCharacterParameterReachesTheSignal) {
  const render::Stereo in = render::Dual(tone::Sine(kRate, 1000.0, DbToLin(-1.0), 48000));
  for (double character : {0.0, 10.0}) {
    auto plugin = MakePlugin();
    ASSERT_TRUE(plugin->SetParamValue(kCharacter, character));
    const render::Stereo out = render::ThroughPlugin(*plugin, in, kBlock);
    const double h3 = tone::HarmonicDb(out.left, 24000, 24000, kRate, 1000.0, 3);
    if (character > 0.0) {
      EXPECT_GT(h3, -100.0);
    } else {
      EXPECT_LT(h3, -130.0);
    }
  }
}
