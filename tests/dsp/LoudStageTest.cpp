// The Loud stage: the clipper's three curves, its oversampling paths and their delay, the Warm
// bias and its DC blocker, the clip counters, and how the engine drives the stage (Loud, Extra,
// Loud Delta, mode switches). Also the vector dot product the oversampling filters run on.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/ParamIds.h"
#include "core/ZARN.h"
#include "dsp/LimiterEngine.h"
#include "dsp/LoudClipper.h"
#include "dsp/kernels/DotProduct.h"
#include "support/EngineRender.h"
#include "support/ToneAnalysis.h"

namespace {

constexpr double kRate = 48000.0;
constexpr int kLoudDelay = 47;
const LoudClipper::Mode kModes[] = {LoudClipper::kSoft, LoudClipper::kCubic, LoudClipper::kHard};

const char* ModeName(int mode) {
  return mode == LoudClipper::kSoft ? "Soft" : mode == LoudClipper::kCubic ? "Cubic" : "Hard";
}

double DbToLin(double db) { return std::pow(10.0, db / 20.0); }

LoudClipper MakeClipper(int mode, double threshold = 1.0, double biasFraction = 0.0) {
  LoudClipper c;
  c.Design();
  c.SetThreshold(threshold);
  c.SetMode(mode);
  c.SetBias(biasFraction);
  return c;
}

std::vector<double> Clip(LoudClipper& c, const std::vector<double>& x) {
  std::vector<double> y(x.size());
  for (size_t n = 0; n < x.size(); ++n) y[n] = c.Process(static_cast<float>(x[n]));
  return y;
}

// Single-precision copy, so that a reference sees exactly what the clipper is given.
std::vector<double> AsFloats(std::vector<double> x) {
  for (double& v : x) v = static_cast<float>(v);
  return x;
}

std::unique_ptr<ZARN> MakePlugin(int blockSize = 480) {
  auto plugin = std::make_unique<ZARN>();
  EXPECT_TRUE(plugin->SetupProcessing(kRate, blockSize, 2, 2));
  return plugin;
}

bool AllZero(const std::vector<double>& x) {
  return std::all_of(x.begin(), x.end(), [](double v) { return v == 0.0; });
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Shaping curves

TEST(LoudStageCurves, IdentityBelowTheirKneesThenBent) {
  for (double t : {1.0, 0.9954, 2.0}) {
    for (int mode : kModes) {
      LoudClipper c = MakeClipper(mode, t);
      // Soft bends from 0.66 T, Cubic from 0.5 T, Hard not before T.
      const double knee = mode == LoudClipper::kSoft ? 0.66 * t : mode == LoudClipper::kCubic ? 0.5 * t : t;
      for (int i = 0; i <= 2000; ++i) {
        const double x = knee * i / 2000.0;
        ASSERT_EQ(c.Shape(x), x) << ModeName(mode) << " T " << t << " x " << x;
        ASSERT_EQ(c.Shape(-x), -x) << ModeName(mode) << " T " << t << " x " << -x;
      }
      EXPECT_LT(c.Shape(knee * 1.01), knee * 1.01) << ModeName(mode) << " T " << t;
    }
  }
}

// The curve over many values at once gives exactly each value's own, at and around the knees and
// the threshold, on both sides, with the bias's offset and shift and without.
TEST(LoudStageCurves, ManyValuesAtOnceAreShapedExactlyAsEachAlone) {
  std::mt19937_64 random(3);
  std::uniform_real_distribution<double> uniform(-2.5, 2.5);
  for (double t : {1.0, 0.9954}) {
    for (int mode : kModes) {
      const ClipCurve curve = MakeClipper(mode, t).Curve();
      std::vector<double> x = {0.0, -0.0, t, -t, 0.5 * t, 0.66 * t, -0.66 * t, 1.25 * t, 1.34 * t,
                               std::nextafter(t, 0.0), std::nextafter(t, 2.0), 1e-300, -7.0};
      while (x.size() < 203) x.push_back(uniform(random) * t);
      for (double offset : {0.0, 0.05 * t}) {
        const double shift = offset == 0.0 ? 0.0 : curve.Apply(offset);
        std::vector<double> shaped(x.size());
        curve.ApplyAll(x.data(), offset, shift, static_cast<int>(x.size()), shaped.data());
        for (size_t i = 0; i < x.size(); ++i) {
          const double alone = (offset != 0.0 ? curve.Apply(x[i] + offset) : curve.Apply(x[i])) - shift;
          ASSERT_EQ(std::signbit(shaped[i]), std::signbit(alone)) << ModeName(mode) << " x " << x[i];
          ASSERT_EQ(shaped[i], alone) << ModeName(mode) << " x " << x[i] << " offset " << offset;
        }
      }
    }
  }
}

TEST(LoudStageCurves, ContinuousInValueAndSlopeAtTheKnees) {
  struct Knee {
    int mode;
    double at;     // as a fraction of T
    double slope;  // slope on both sides
  };
  // Cubic bends at T/2 and reaches T at 1.25 T; Soft bends at kappa T and reaches T at
  // kappa T + 2 (T - kappa T).
  const Knee knees[] = {{LoudClipper::kCubic, 0.5, 1.0},
                        {LoudClipper::kCubic, 1.25, 0.0},
                        {LoudClipper::kSoft, 0.66, 1.0},
                        {LoudClipper::kSoft, 0.66 + 2.0 * (1.0 - 0.66), 0.0}};
  for (double t : {1.0, 0.9954, 2.0}) {
    for (const Knee& k : knees) {
      LoudClipper c = MakeClipper(k.mode, t);
      const double at = k.at * t, h = 1e-6 * t;
      const double left = (c.Shape(at) - c.Shape(at - h)) / h;
      const double right = (c.Shape(at + h) - c.Shape(at)) / h;
      const std::string where = std::string(ModeName(k.mode)) + " knee " + std::to_string(k.at) +
                                " T " + std::to_string(t);
      EXPECT_NEAR(left, k.slope, 1e-4) << where;
      EXPECT_NEAR(right, k.slope, 1e-4) << where;
      EXPECT_NEAR(c.Shape(at + h) - c.Shape(at - h), 2.0 * h * k.slope, 1e-9 * t) << where;
    }
    // Hard is continuous in value at T (its slope steps from 1 to 0 by design).
    LoudClipper hard = MakeClipper(LoudClipper::kHard, t);
    EXPECT_NEAR(hard.Shape(t * (1.0 - 1e-9)), t, 2e-9 * t);
    EXPECT_EQ(hard.Shape(t * (1.0 + 1e-9)), t);
  }
}

TEST(LoudStageCurves, MonotonicOddAndNeverAboveTheThreshold) {
  for (double t : {1.0, 0.9954, 2.0}) {
    for (int mode : kModes) {
      LoudClipper c = MakeClipper(mode, t);
      double previous = c.Shape(-4.0 * t);
      for (int i = -40000; i <= 40000; ++i) {
        const double x = 4.0 * t * i / 40000.0;
        const double y = c.Shape(x);
        ASSERT_GE(y, previous) << ModeName(mode) << " x " << x;
        ASSERT_EQ(c.Shape(-x), -y) << ModeName(mode) << " x " << x;
        ASSERT_LE(std::fabs(y), t) << ModeName(mode) << " x " << x;
        previous = y;
      }
      for (double huge : {1e6, 1e30, 1e300}) {
        EXPECT_EQ(c.Shape(huge), t) << ModeName(mode);
        EXPECT_EQ(c.Shape(-huge), -t) << ModeName(mode);
      }
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Oversampling paths

TEST(LoudStageClipper, MeasuredDelayIs47InBothPathsAndLeavesTheStateClear) {
  const std::vector<double> sine = AsFloats(tone::Sine(kRate, 1000.0, 0.9, 480));
  for (int mode : kModes) {
    LoudClipper c = MakeClipper(mode);
    Clip(c, sine);  // dirty rings
    EXPECT_EQ(c.MeasureDelay(), kLoudDelay) << ModeName(mode);
    EXPECT_EQ(c.Total(), 0) << ModeName(mode);
    LoudClipper fresh = MakeClipper(mode);
    EXPECT_EQ(Clip(c, sine), Clip(fresh, sine)) << ModeName(mode);
  }
  for (double rate : {44100.0, 48000.0, 96000.0, 192000.0}) {
    LimiterEngine engine;
    ASSERT_TRUE(engine.Prepare(rate));
    EXPECT_EQ(engine.LoudDelay(), kLoudDelay) << rate;
    const int expectedLatency = rate == 44100.0 ? 315 : rate == 48000.0 ? 335 : rate == 96000.0 ? 575 : 1055;
    EXPECT_EQ(engine.Latency(), expectedLatency) << rate;
  }
}

// Below half the threshold every curve is the identity, so the clipper is a pair of linear-phase
// filters: the interpolator and the decimator each delay by (N - 1) / 2 oversampled samples, and
// the decimator reads after the last of the L phases, which leaves (N - 1 - (L - 1)) / L base
// samples: 47 + 1/4 for the 4x path and 47 + 1/8 for the 8x path. The impulse's largest output
// therefore falls at 47.
TEST(LoudStageClipper, SmallSineComesOutAsTheInputDelayedByTheFilters) {
  const double amplitude = 0.45;
  const size_t frames = 4800;
  const std::vector<double> in = AsFloats(tone::Sine(kRate, 1000.0, amplitude, frames));
  std::vector<double> soft;
  for (int mode : kModes) {
    LoudClipper c = MakeClipper(mode);
    const std::vector<double> out = Clip(c, in);
    const double delay = mode == LoudClipper::kHard ? 47.125 : 47.25;
    const std::vector<double> expected = tone::Sine(kRate, 1000.0, amplitude, frames, 0.0, delay);
    double worst = 0.0;
    for (size_t n = 200; n < frames; ++n) worst = std::max(worst, std::fabs(out[n] - expected[n]));
    // What is left is the two filters' passband ripple (about 2.5e-5 at 1 kHz); a whole-sample
    // delay of 47 would leave 3e-2.
    EXPECT_LT(worst / amplitude, 1e-4) << ModeName(mode);
    EXPECT_EQ(c.Clipped(), 0) << ModeName(mode);
    // Soft and Cubic share the 4x path and are both the identity here: the same output, bit for bit.
    if (mode == LoudClipper::kSoft) soft = out;
    if (mode == LoudClipper::kCubic) {
      EXPECT_EQ(out, soft);
    }
  }
}

// Only the current mode's path runs. A switch to the other path (Hard and the rest) continues
// exactly as a clipper that had been in the new mode all along, its unshaped response too: after
// a long stretch, after a few samples of the other path, and back from one the path never ran.
TEST(LoudStageClipper, SwitchingPathsContinuesAsIfTheNewModeHadRunAllAlong) {
  const std::vector<double> first = AsFloats(tone::Sine(kRate, 700.0, 1.3, 960));
  const std::vector<double> middle = AsFloats(tone::Sine(kRate, 3100.0, 0.8, 480, 1.0));
  const std::vector<double> last = AsFloats(tone::Sine(kRate, 1900.0, 1.1, 960, 2.0));
  struct Case {
    int from, to;
    size_t middleLength;  // samples in `to` before switching back to `from` for `last`
  };
  const Case cases[] = {{LoudClipper::kSoft, LoudClipper::kHard, 480}, {LoudClipper::kHard, LoudClipper::kCubic, 480},
                        {LoudClipper::kCubic, LoudClipper::kHard, 5}, {LoudClipper::kHard, LoudClipper::kSoft, 1}};
  const auto run = [](LoudClipper& c, const std::vector<double>& x, size_t n, std::vector<double>& linear) {
    std::vector<double> y;
    for (size_t i = 0; i < n; ++i) {
      y.push_back(c.Process(static_cast<float>(x[i])));
      linear.push_back(c.LinearResponse());
    }
    return y;
  };
  for (const Case& k : cases) {
    const std::string where = std::string(ModeName(k.from)) + " -> " + ModeName(k.to);
    LoudClipper switched = MakeClipper(k.from), inTo = MakeClipper(k.to), inFrom = MakeClipper(k.from);
    for (LoudClipper* c : {&switched, &inTo, &inFrom}) c->SetTrackLinear(true);
    std::vector<double> linearSwitched, linearTo, linearFrom;
    run(switched, first, first.size(), linearSwitched);
    run(inTo, first, first.size(), linearTo);
    run(inFrom, first, first.size(), linearFrom);

    switched.SetMode(k.to);
    linearSwitched.clear();
    linearTo.clear();
    EXPECT_EQ(run(switched, middle, k.middleLength, linearSwitched), run(inTo, middle, k.middleLength, linearTo)) << where;
    EXPECT_EQ(linearSwitched, linearTo) << where;
    run(inFrom, middle, k.middleLength, linearFrom);

    switched.SetMode(k.from);
    linearSwitched.clear();
    linearFrom.clear();
    EXPECT_EQ(run(switched, last, last.size(), linearSwitched), run(inFrom, last, last.size(), linearFrom)) << where << " and back";
    EXPECT_EQ(linearSwitched, linearFrom) << where << " and back";
  }
}

TEST(LoudStageClipper, ClipCountersCountSamplesAboveTheKnee) {
  struct Case {
    int mode;
    double threshold;
    std::vector<float> input;
    int clipped;
  };
  // Knees: Soft and Cubic 0.66 T, Hard 0.985 T.
  const Case cases[] = {
      {LoudClipper::kSoft, 1.0, {0.5f, 0.65f, 0.67f, -0.7f, -0.6f, 1.5f}, 3},
      {LoudClipper::kCubic, 1.0, {0.5f, 0.65f, 0.67f, -0.7f, -0.6f, 1.5f}, 3},
      {LoudClipper::kHard, 1.0, {0.98f, 0.99f, -1.2f, 0.5f, -0.984f}, 2},
      {LoudClipper::kHard, 2.0, {1.5f, 1.96f, 1.98f, -3.0f, 0.99f}, 2},
  };
  for (const Case& k : cases) {
    LoudClipper c = MakeClipper(k.mode, k.threshold);
    for (float x : k.input) c.Process(x);
    EXPECT_EQ(c.Clipped(), k.clipped) << ModeName(k.mode) << " T " << k.threshold;
    EXPECT_EQ(c.Total(), static_cast<int>(k.input.size()));
    c.ClearClipCounts();
    EXPECT_EQ(c.Clipped(), 0);
    EXPECT_EQ(c.Total(), 0);
  }
}

// Out of circuit, the clipper follows its input a run at a time (across its history's wrap) and,
// caught up, clips exactly as one that ran all along, having counted the same clips.
TEST(LoudStageClipper, FollowingThenCatchingUpClipsExactlyAsRunningAllAlong) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> uniform(-1.6f, 1.6f);
  for (int mode : kModes) {
    LoudClipper followed = MakeClipper(mode), running = MakeClipper(mode);
    const int runs[] = {1, 127, 128, 129, 256, 3, 300};
    for (int n : runs) {
      std::vector<float> x(static_cast<size_t>(n));
      for (float& v : x) v = uniform(rng);
      followed.Follow(x.data(), n);
      for (float v : x) running.Process(v);
    }
    EXPECT_EQ(followed.Clipped(), running.Clipped()) << ModeName(mode);
    EXPECT_EQ(followed.Total(), running.Total()) << ModeName(mode);
    followed.CatchUp();
    for (int i = 0; i < 500; ++i) {
      const float v = uniform(rng);
      ASSERT_EQ(followed.Process(v), running.Process(v)) << ModeName(mode) << ", sample " << i;
    }
  }
}

// A run through the clipper gives every output and every unshaped response exactly as one
// sample at a time, in both paths, Warm or not, across runs of every length up to a few times the
// decimating passes' and across a catch-up after following.
TEST(LoudStageClipper, RunsClipExactlyAsOneSampleAtATime) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> uniform(-1.8f, 1.8f);
  for (int mode : kModes)
    for (double bias : {0.0, 0.1}) {
      LoudClipper byRuns = MakeClipper(mode, 0.9, bias), bySamples = MakeClipper(mode, 0.9, bias);
      byRuns.SetTrackLinear(true);
      bySamples.SetTrackLinear(true);
      std::vector<float> x, out;
      std::vector<double> linear;
      for (int n = 0; n <= 3 * LoudClipper::kRun + 1; ++n) {
        x.resize(static_cast<size_t>(n));
        out.resize(x.size());
        linear.resize(x.size());
        for (float& v : x) v = uniform(rng);
        if (n == 2 * LoudClipper::kRun) {
          byRuns.Follow(x.data(), n);
          bySamples.Follow(x.data(), n);
          byRuns.CatchUp();
          bySamples.CatchUp();
          continue;
        }
        byRuns.ProcessRun(x.data(), n, out.data(), linear.data());
        for (int i = 0; i < n; ++i) {
          ASSERT_EQ(out[i], bySamples.Process(x[i])) << ModeName(mode) << " bias " << bias << ", run " << n << " at " << i;
          ASSERT_EQ(linear[i], bySamples.LinearResponse()) << ModeName(mode) << ", run " << n << " at " << i;
        }
      }
    }
}

// ---------------------------------------------------------------------------------------------
// Warm bias

TEST(LoudStageWarm, BiasFollowsTheThresholdAndAddsEvenHarmonicsWithoutDc) {
  LoudClipper scaled = MakeClipper(LoudClipper::kSoft, 2.0, 0.1);
  EXPECT_DOUBLE_EQ(scaled.Bias(), 0.2);
  scaled.SetBias(0.0);
  EXPECT_EQ(scaled.Bias(), 0.0);

  const size_t frames = 48000;
  const std::vector<double> in = AsFloats(tone::Sine(kRate, 1000.0, 0.95, frames));
  const size_t begin = 24000, n = 24000;  // a whole number of periods, after the blocker settled
  for (int mode : kModes) {
    LoudClipper warm = MakeClipper(mode, 1.0, 0.1);
    EXPECT_DOUBLE_EQ(warm.Bias(), 0.1);
    LoudClipper clean = MakeClipper(mode, 1.0, 0.0);
    const std::vector<double> w = Clip(warm, in), c = Clip(clean, in);
    // Hard leaves a 0.95 sine alone without the bias; with it the positive peaks reach T.
    EXPECT_GT(tone::HarmonicDb(w, begin, n, kRate, 1000.0, 2), -60.0) << ModeName(mode);
    EXPECT_LT(tone::HarmonicDb(c, begin, n, kRate, 1000.0, 2), -120.0) << ModeName(mode);
    EXPECT_LT(std::fabs(tone::Mean(w, begin, n)), 1e-6) << ModeName(mode);
    EXPECT_LT(std::fabs(tone::Mean(c, begin, n)), 1e-6) << ModeName(mode);
  }
}

TEST(LoudStageWarm, SwitchingBetweenCleanAndWarmClearsTheDcBlockerOnlyThen) {
  const std::vector<double> in = AsFloats(tone::Sine(kRate, 440.0, 0.95, 9600));
  const auto part = [&](size_t from, size_t to) {
    return std::vector<double>(in.begin() + static_cast<long>(from), in.begin() + static_cast<long>(to));
  };
  for (int mode : kModes) {
    // Warm, Clean, Warm again: the blocker starts from zero, as in a clipper never used in Warm
    // (2400 Clean samples flush the filters, so only the blocker could tell them apart).
    LoudClipper switched = MakeClipper(mode, 1.0, 0.1);
    Clip(switched, part(0, 2400));
    switched.SetBias(0.0);
    Clip(switched, part(2400, 4800));
    switched.SetBias(0.1);
    const std::vector<double> afterSwitch = Clip(switched, part(4800, 9600));

    LoudClipper neverWarm = MakeClipper(mode, 1.0, 0.0);
    Clip(neverWarm, part(0, 4800));
    neverWarm.SetBias(0.1);
    EXPECT_EQ(afterSwitch, Clip(neverWarm, part(4800, 9600))) << ModeName(mode);

    // Re-applying the same bias every block (as the engine does) leaves the blocker running.
    LoudClipper once = MakeClipper(mode, 1.0, 0.1), everyBlock = MakeClipper(mode, 1.0, 0.1);
    std::vector<double> a = Clip(once, in), b;
    for (size_t start = 0; start < in.size(); start += 480) {
      everyBlock.SetBias(0.1);
      const std::vector<double> y = Clip(everyBlock, part(start, start + 480));
      b.insert(b.end(), y.begin(), y.end());
    }
    EXPECT_EQ(a, b) << ModeName(mode);
  }
}

TEST(LoudStageWarm, EngineBiasIsTenPercentOfTheClipThreshold) {
  for (double driveDb : {0.0, -3.0, 6.0}) {
    LimiterEngine engine;
    ASSERT_TRUE(engine.Prepare(kRate));
    engine.settings.loudWarm = 1.0f;
    engine.settings.driveDb[0] = engine.settings.driveDb[1] = static_cast<float>(driveDb);
    std::vector<double> in(64, 0.0), out(64);
    engine.Process(in.data(), in.data(), out.data(), out.data(), 64, false);
    const double threshold = std::max(1.0, DbToLin(static_cast<float>(driveDb)));
    EXPECT_NEAR(engine.Clipper(0).Threshold(), threshold, 1e-12) << driveDb;
    EXPECT_NEAR(engine.Clipper(1).Bias(), 0.1 * threshold, 1e-12) << driveDb;
  }
}

// ---------------------------------------------------------------------------------------------
// The stage in the engine

// Loud 100 %, Hard: the stage's gain of +12 dB lifts a -6 dBFS sine to about 2 and the clipper
// flattens it at full scale. Read before the first meter tick (2400 samples), so no masking
// reading can add to the gain yet.
TEST(LoudStageEngine, HardAtFullLoudRaisesMinusSixDbfsByTwelveAndFlatTopsAtFullScale) {
  auto plugin = MakePlugin();
  ASSERT_TRUE(plugin->SetParamValue(kLoud, 100.0));
  ASSERT_TRUE(plugin->SetParamValue(kLoudClip, 2.0));
  const double amplitude = DbToLin(-6.0);
  const size_t frames = 1920;
  const render::Stereo in = render::Dual(tone::Sine(kRate, 100.0, amplitude, frames));
  render::ThroughPlugin(*plugin, in, 480);

  const LimiterEngine& engine = plugin->Engine();
  EXPECT_NEAR(20.0 * std::log10(engine.LoudTaps().insistIn), -6.0, 0.01);

  // The clipper counts what it is fed above 0.985 T: with +12 dB that is a known set of samples
  // (one dB less or more would change the count by about 45 per 1000).
  const double loudGain = DbToLin(12.0);
  int expected = 0;
  for (double x : in.left) expected += std::fabs(static_cast<float>(x * loudGain)) > 0.985 ? 1 : 0;
  EXPECT_EQ(engine.Clipper(0).Total(), static_cast<int>(frames));
  EXPECT_NEAR(engine.Clipper(0).Clipped(), expected, 2);

  // After the stage: flat tops at full scale instead of peaks at 2.
  EXPECT_GT(engine.LoudTaps().insistOut, 0.99);
  EXPECT_LT(engine.LoudTaps().insistOut, 1.02);
  int flat = 0;
  for (float v : engine.LoudTaps().wavePost) {
    EXPECT_LT(std::fabs(v), 1.02f);
    flat += std::fabs(std::fabs(v) - 1.0f) < 0.02f ? 1 : 0;
  }
  // 2 |sin| exceeds 1 two thirds of the time.
  EXPECT_GE(flat, 18) << "of " << LoudStageTaps::kWaveLength;
}

TEST(LoudStageEngine, LoudDeltaWithoutLoudFeedsSilenceToTheLimiter) {
  const render::Stereo in = render::Noise(kRate, 0.5, -10.0, 5);
  for (double extra : {0.0, 50.0}) {  // Extra up to 50 % leaves the Loud amount at 0
    auto plugin = MakePlugin();
    ASSERT_TRUE(plugin->SetParamValue(kLoudDelta, 1.0));
    ASSERT_TRUE(plugin->SetParamValue(kExtra, extra));
    const render::Stereo out = render::ThroughPlugin(*plugin, in, 480);
    EXPECT_TRUE(AllZero(out.left)) << "Extra " << extra;
    EXPECT_TRUE(AllZero(out.right)) << "Extra " << extra;
  }
  // With the stage in circuit the delta carries what the clipper removed.
  auto plugin = MakePlugin();
  ASSERT_TRUE(plugin->SetParamValue(kLoudDelta, 1.0));
  ASSERT_TRUE(plugin->SetParamValue(kLoud, 100.0));
  const render::Stereo out = render::ThroughPlugin(*plugin, in, 480);
  EXPECT_GT(tone::Rms(out.left, 0, out.Frames()), DbToLin(-40.0));
}

// Material that never reaches a knee loses nothing to clipping, so the delta must be silent in
// every mode, Warm included; and the distortion reading must stay near zero.
TEST(LoudStageEngine, LoudDeltaOfMaterialThatNeverClipsIsSilent) {
  for (double clip : {0.0, 1.0, 2.0})
    for (double warm : {0.0, 1.0}) {
      auto plugin = MakePlugin();
      ASSERT_TRUE(plugin->SetParamValue(kLoud, 100.0));
      ASSERT_TRUE(plugin->SetParamValue(kLoudClip, clip));
      ASSERT_TRUE(plugin->SetParamValue(kLoudMode, warm));
      ASSERT_TRUE(plugin->SetParamValue(kLoudDelta, 1.0));
      // -30 dBFS raised by 12 dB stays far below every knee; 1 kHz and 5 kHz together.
      render::Stereo in{tone::Sine(kRate, 1000.0, 0.02, 24000, 0.0), tone::Sine(kRate, 5000.0, 0.02, 24000, 0.3)};
      const render::Stereo out = render::ThroughPlugin(*plugin, in, 480);
      const size_t settled = 4800;  // the DC blocker and the filters have settled
      EXPECT_LT(tone::Rms(out.left, settled, out.Frames() - settled), DbToLin(-110.0))
          << "clip " << clip << " warm " << warm;
      EXPECT_LT(tone::Rms(out.right, settled, out.Frames() - settled), DbToLin(-110.0))
          << "clip " << clip << " warm " << warm;
      EXPECT_LT(plugin->Engine().LatestMeters().loudThdPct, 0.01f);
    }
}

// The stage's gain shows as the ratio of the peaks after and before it (a quiet 100 Hz sine
// stays below every knee, and the filters' fractional delay moves its sample peaks by less than
// 1e-4 dB). Read before the first meter tick, which clears the peak holds.
TEST(LoudStageEngine, ExtraAboveHalfDrivesTheStageWithoutLoud) {
  struct Case {
    float loud, extra;
    double gainDb;
  };
  // Below 10 % the stage is mixed in partly: Loud 5 % adds half of its +0.6 dB.
  const double partDb = 20.0 * std::log10(1.0 + 0.5 * (DbToLin(0.6) - 1.0));
  const Case cases[] = {{0.0f, 0.75f, 6.0}, {0.5f, 0.0f, 6.0},  {0.0f, 0.5f, 0.0},
                        {0.0f, 1.0f, 12.0}, {0.25f, 0.75f, 6.0}, {0.05f, 0.0f, partDb}};
  const render::Stereo in = render::Dual(tone::Sine(kRate, 100.0, DbToLin(-50.0), 1920));
  for (const Case& k : cases) {
    LimiterEngine engine;
    ASSERT_TRUE(engine.Prepare(kRate));
    engine.settings.loud = k.loud;
    engine.settings.extra = k.extra;
    render::ThroughEngine(engine, in, 480);
    const double gainDb = 20.0 * std::log10(engine.LoudTaps().insistOut / engine.LoudTaps().insistIn);
    EXPECT_NEAR(gainDb, k.gainDb, 0.001) << "Loud " << k.loud << " Extra " << k.extra;
  }
}

TEST(LoudStageEngine, SwitchingClipModeAndWarmAtBlockEdgesStaysFiniteAndBounded) {
  auto plugin = MakePlugin(256);
  ASSERT_TRUE(plugin->SetParamValue(kLoud, 100.0));
  ASSERT_TRUE(plugin->SetParamValue(kDriveL, 6.0));
  ASSERT_TRUE(plugin->SetParamValue(kDriveR, 6.0));
  const render::Stereo in = render::Noise(kRate, 2.0, -8.0, 11);
  render::Stereo out{std::vector<double>(in.Frames()), std::vector<double>(in.Frames())};
  std::mt19937 random(3);
  size_t start = 0;
  for (int block = 0; start < in.Frames(); ++block) {
    const int n = static_cast<int>(std::min<size_t>(in.Frames() - start, 1 + random() % 256));
    plugin->SetParamValue(kLoudClip, static_cast<double>(block % 3));
    plugin->SetParamValue(kLoudMode, static_cast<double>((block / 2) % 2));
    plugin->SetParamValue(kLoudDelta, block % 7 == 6 ? 1.0 : 0.0);
    double* inputs[2] = {const_cast<double*>(in.left.data() + start),
                         const_cast<double*>(in.right.data() + start)};
    double* outputs[2] = {out.left.data() + start, out.right.data() + start};
    plugin->ProcessAudioBlock(inputs, outputs, n);
    start += static_cast<size_t>(n);
  }
  EXPECT_TRUE(render::AllFinite(out.left));
  EXPECT_TRUE(render::AllFinite(out.right));
  EXPECT_TRUE(std::isfinite(plugin->Engine().LoudTaps().insistOut));
  for (const std::vector<double>* x : {&out.left, &out.right})
    for (double v : *x) ASSERT_LE(std::fabs(v), 1.0);
}

// ---------------------------------------------------------------------------------------------
// Dot products

// The vector forms only reorder the sum, so they agree with the plain one to within rounding of
// the terms' magnitudes, at every length (all tails) and alignment.
TEST(DotProduct, VectorAgreesWithScalarOnRandomData) {
  std::mt19937_64 random(42);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  std::vector<double> a(402), b(402);
  for (double& v : a) v = uniform(random);
  for (double& v : b) v = uniform(random) * 1e3;
  for (int offset : {0, 1}) {
    for (int n = 1; n <= 400; ++n) {
      const double* pa = a.data() + offset;
      const double* pb = b.data() + 1;
      long double exact = 0.0L, magnitude = 0.0L;
      for (int i = 0; i < n; ++i) {
        exact += static_cast<long double>(pa[i]) * pb[i];
        magnitude += std::fabs(static_cast<long double>(pa[i]) * pb[i]);
      }
      const double vector = simd::DotProduct(pa, pb, n);
      const double scalar = simd::DotProductScalar(pa, pb, n);
      const double scale = static_cast<double>(magnitude);
      ASSERT_LE(std::fabs(vector - scalar), 1e-12 * scale) << "n " << n << " offset " << offset;
      ASSERT_LE(std::fabs(vector - static_cast<double>(exact)), 1e-12 * scale) << "n " << n;
    }
  }
  EXPECT_EQ(simd::DotProduct(a.data(), b.data(), 0), 0.0);
  EXPECT_EQ(simd::DotProductScalar(a.data(), b.data(), 0), 0.0);
}

// A tap-major filter bank gives each phase's dot product, for the phase counts the clipper uses
// (four and eight, the vector forms) and others (the plain form), at every number of taps.
TEST(DotProduct, BankGivesEveryPhasesDotProduct) {
  std::mt19937_64 random(9);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  std::vector<double> x(60);
  for (double& v : x) v = uniform(random) * 1e3;
  for (int phases : {1, 2, 3, 4, 8}) {
    for (int taps = 0; taps <= 60; ++taps) {
      std::vector<double> bank(static_cast<size_t>(taps * phases));
      for (double& v : bank) v = uniform(random);
      double out[8] = {}, plain[8] = {};
      simd::BankDotProducts(bank.data(), x.data(), taps, phases, out);
      simd::BankDotProductsScalar(bank.data(), x.data(), taps, phases, plain);
      for (int k = 0; k < phases; ++k) {
        double magnitude = 0.0;
        std::vector<double> phase;
        for (int j = 0; j < taps; ++j) {
          phase.push_back(bank[static_cast<size_t>(j * phases + k)]);
          magnitude += std::fabs(phase.back() * x[static_cast<size_t>(j)]);
        }
        const double each = simd::DotProductScalar(phase.data(), x.data(), taps);
        ASSERT_LE(std::fabs(out[k] - each), 1e-12 * magnitude) << phases << " phases, " << taps << " taps, phase " << k;
        ASSERT_LE(std::fabs(plain[k] - each), 1e-12 * magnitude) << phases << " phases, " << taps << " taps, phase " << k;
      }
    }
  }
}

// A symmetric filter given by its first half equals the whole filter, at every odd length.
TEST(DotProduct, SymmetricFormAgreesWithTheWholeFilter) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  std::vector<double> x(401);
  for (double& v : x) v = uniform(random) * 1e3;
  for (int length = 1; length <= 401; length += 2) {
    std::vector<double> h(static_cast<size_t>(length));
    for (int i = 0; i <= length / 2; ++i) h[static_cast<size_t>(i)] = h[static_cast<size_t>(length - 1 - i)] = uniform(random);
    long double magnitude = 0.0L;
    for (int i = 0; i < length; ++i) magnitude += std::fabs(static_cast<long double>(h[static_cast<size_t>(i)]) * x[static_cast<size_t>(i)]);
    const double whole = simd::DotProductScalar(h.data(), x.data(), length);
    const double scale = static_cast<double>(magnitude);
    ASSERT_LE(std::fabs(simd::SymmetricDotProduct(h.data(), x.data(), length) - whole), 1e-12 * scale) << length;
    ASSERT_LE(std::fabs(simd::SymmetricDotProductScalar(h.data(), x.data(), length) - whole), 1e-12 * scale) << length;
  }
}

// Many windows at once give each window's own sum, bit for bit, in every vector form this processor
// runs: the decimating filter's and the unshaped response's, over their lengths and more, with the
// strides the oversampling paths use and counts around the groups the forms take (eight, four, one).
TEST(DotProduct, ManyWindowsAtOnceSumExactlyAsEachAlone) {
  std::mt19937_64 random(9);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  std::vector<double> x(1300), h(480);  // h: the bank's 60 taps of 8 phases too
  for (double& v : x) v = uniform(random);
  for (double& v : h) v = uniform(random);
  std::vector<simd::DotForms> forms = simd::AvailableDotForms();
  forms.pop_back();  // the baseline adds in its own order
  forms.push_back({"dispatched", simd::SymmetricDotProducts, simd::DotProducts, simd::BankDotProducts,
                   simd::BankDotProductsRun});
  constexpr int kMost = 17;
  for (const simd::DotForms& form : forms) {
    for (int length : {1, 3, 7, 17, 33, 97, 193, 385})
      for (int stride : {1, 4, 8})
        for (int count = 0; count <= kMost; ++count) {
          double together[kMost];
          form.symmetricDots(h.data(), x.data() + 3, length, stride, count, together);
          for (int j = 0; j < count; ++j)
            ASSERT_EQ(together[j], simd::SymmetricDotProduct(h.data(), x.data() + 3 + j * stride, length))
                << form.name << ", length " << length << " stride " << stride << " window " << j;
        }
    for (int n : {0, 1, 5, 8, 9, 63, 101, 128})
      for (int count = 0; count <= kMost; ++count) {
        double together[kMost];
        form.dots(h.data(), x.data() + 1, n, count, together);
        for (int j = 0; j < count; ++j)
          ASSERT_EQ(together[j], simd::DotProduct(h.data(), x.data() + 1 + j, n))
              << form.name << ", n " << n << " window " << j;
      }
    // The bank's vector forms agree with each other (the first vector form) to the bit.
    for (int phases : {4, 8})
      for (int taps = 0; taps <= 60; ++taps) {
        double out[8], first[8];
        form.bank(h.data(), x.data(), taps, phases, out);
        forms.front().bank(h.data(), x.data(), taps, phases, first);
        for (int k = 0; k < phases; ++k)
          ASSERT_EQ(out[k], first[k]) << form.name << ", " << phases << " phases, " << taps << " taps";
      }
    // And over a run, each window as alone, at counts around the pairs the AVX-512 form takes.
    for (int phases : {4, 8})
      for (int taps : {0, 1, 3, 4, 25, 49, 60})
        for (int count = 0; count <= kMost; ++count) {
          double run[kMost * 8], alone[8];
          form.bankRun(h.data(), x.data() + 2, taps, phases, count, run);
          for (int i = 0; i < count; ++i) {
            form.bank(h.data(), x.data() + 2 + i, taps, phases, alone);
            for (int k = 0; k < phases; ++k)
              ASSERT_EQ(run[i * phases + k], alone[k]) << form.name << ", " << phases << " phases, " << taps
                                                       << " taps, window " << i << " of " << count;
          }
        }
  }
  // The baseline's run form too, against its own single form.
  const simd::DotForms& baseline = simd::AvailableDotForms().back();
  double run[3 * 8], alone[8];
  baseline.bankRun(h.data(), x.data(), 49, 8, 3, run);
  for (int i = 0; i < 3; ++i) {
    baseline.bank(h.data(), x.data() + i, 49, 8, alone);
    for (int k = 0; k < 8; ++k) ASSERT_EQ(run[i * 8 + k], alone[k]) << "baseline window " << i;
  }
}
