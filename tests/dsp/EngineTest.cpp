// The limiter engine and the plug-in object around it: latency, transparency, the true-peak
// ceiling on loud programme, bad input, preparation, block-size independence, the mono layout,
// meter resets, the gain computer's response to a single peak, and the sample at which the
// detector, the gain, the look-ahead and the catcher each first meet a peak.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <functional>
#include <iostream>
#include <limits>
#include <map>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/ParamIds.h"
#include "core/ZARN.h"
#include "dsp/LimiterEngine.h"
#include "support/EngineRender.h"
#include "support/ReferenceTruePeak.h"

#ifdef ZARN_HAVE_APP
#include "app/signals/TestSignals.h"
#endif

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

double DbToLin(double db) { return std::pow(10.0, db / 20.0); }

std::vector<double> Sine(double rate, double frequency, double amplitude, size_t frames,
                         double phase = 0.0) {
  std::vector<double> x(frames);
  for (size_t n = 0; n < frames; ++n)
    x[n] = amplitude * std::sin(2.0 * std::numbers::pi * std::fmod(frequency / rate * n, 1.0) + phase);
  return x;
}

// Index of the first sample where a and b differ (bit for bit, NaN never equal), or -1.
long FirstDifference(const std::vector<double>& a, const std::vector<double>& b) {
  if (a.size() != b.size()) return 0;
  for (size_t i = 0; i < a.size(); ++i)
    if (!(a[i] == b[i])) return static_cast<long>(i);
  return -1;
}

double LargestStep(const std::vector<double>& x, size_t begin) {
  double step = 0.0;
  for (size_t i = std::max<size_t>(begin, 1); i < x.size(); ++i)
    step = std::max(step, std::fabs(x[i] - x[i - 1]));
  return step;
}

std::unique_ptr<ZARN> MakePlugin(double rate, int blockSize, int channels, double driveDb = 0.0,
                                 double ceilingDb = -0.1) {
  auto plugin = std::make_unique<ZARN>();
  EXPECT_TRUE(plugin->SetupProcessing(rate, blockSize, channels, channels));
  EXPECT_TRUE(plugin->SetParamValue(kDriveL, driveDb));
  EXPECT_TRUE(plugin->SetParamValue(kDriveR, driveDb));
  EXPECT_TRUE(plugin->SetParamValue(kCeilingL, ceilingDb));
  EXPECT_TRUE(plugin->SetParamValue(kCeilingR, ceilingDb));
  return plugin;
}

void SetDriveAndCeiling(LimiterEngine& engine, float driveDb, float ceilingDb) {
  for (int ch = 0; ch < 2; ++ch) {
    engine.settings.driveDb[ch] = driveDb;
    engine.settings.ceilingDb[ch] = ceilingDb;
  }
}

// Output true peak above the ceiling, in dB, of both channels from `begin` on.
double OvershootDb(const render::Stereo& out, size_t begin, double ceilingDb) {
  const double peak = std::max(reference::TruePeak(out.left, begin),
                               reference::TruePeak(out.right, begin));
  return reference::ToDb(peak) - ceilingDb;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Latency and transparency

TEST(EngineLatency, LookAheadAndLatencyFollowTheSampleRate) {
  struct Case {
    double rate;
    int lookAhead, latency;
  };
  // K = 1 + trunc(5 ms), latency = K + Loud stage 47 + catcher 48 - 1. At 44.1 kHz 220.5 is
  // truncated. Even the highest accepted rate stays under the 4095 cap of the look-ahead.
  const Case cases[] = {{8000.0, 41, 135},     {44100.0, 221, 315},   {48000.0, 241, 335},
                        {88200.0, 442, 536},   {96000.0, 481, 575},   {176400.0, 883, 977},
                        {192000.0, 961, 1055}, {768000.0, 3841, 3935}};
  for (const Case& c : cases) {
    LimiterEngine engine;
    ASSERT_TRUE(engine.Prepare(c.rate));
    EXPECT_EQ(engine.LookAheadLength(), c.lookAhead) << c.rate;
    EXPECT_LE(engine.LookAheadLength(), LimiterEngine::kMaxLookAhead);
    EXPECT_EQ(engine.Latency(), c.latency) << c.rate;

    ZARN plugin;
    ASSERT_TRUE(plugin.SetupProcessing(c.rate, 512, 2, 2));
    EXPECT_EQ(plugin.GetLatency(), c.latency) << c.rate;
  }
}

class EngineTransparency : public ::testing::TestWithParam<double> {};

TEST_P(EngineTransparency, QuietSineComesOutUnchangedAndDelayedByTheLatency) {
  const double rate = GetParam();
  auto plugin = MakePlugin(rate, 512, 2);
  const int latency = plugin->GetLatency();
  const size_t frames = static_cast<size_t>(rate);  // one second
  const render::Stereo in{Sine(rate, 997.0, DbToLin(-20.0), frames),
                          Sine(rate, 1499.0, DbToLin(-20.0), frames, 1.0)};
  const render::Stereo out = render::ThroughPlugin(*plugin, in, 512);

  for (const auto& [x, y] : {std::pair{&in.left, &out.left}, std::pair{&in.right, &out.right}}) {
    double worst = 0.0;
    for (size_t n = 0; n < frames; ++n) {
      const double expected = n < static_cast<size_t>(latency) ? 0.0 : (*x)[n - latency];
      worst = std::max(worst, std::fabs((*y)[n] - expected));
    }
    // Single-precision rounding of a 0.1 sample is below 4e-9; a one-sample shift would be 1e-2.
    EXPECT_LT(worst, 1e-8) << "latency " << latency;
  }
}

INSTANTIATE_TEST_SUITE_P(EngineRates, EngineTransparency, ::testing::Values(44100.0, 48000.0, 96000.0),
                         [](const auto& info) { return std::to_string(static_cast<int>(info.param)); });

// ---------------------------------------------------------------------------------------------
// The ceiling on loud programme, measured by the reference meter

#ifdef ZARN_HAVE_APP

namespace {

render::Stereo WithSilenceAfter(render::Stereo x, size_t frames) {
  x.left.resize(x.left.size() + frames, 0.0);
  x.right.resize(x.right.size() + frames, 0.0);
  return x;
}

enum class Programme { Demo9, Demo12, FullBandBursts12, Pink12, IntersampleTone6 };

const char* ProgrammeName(Programme p) {
  switch (p) {
    case Programme::Demo9: return "DemoDrive9";
    case Programme::Demo12: return "DemoDrive12";
    case Programme::FullBandBursts12: return "FullBandBurstsDrive12";
    case Programme::Pink12: return "PinkDrive12";
    case Programme::IntersampleTone6: return "IntersampleToneDrive6";
  }
  return "";
}

// A 110 Hz tone under bursts of white noise eight times a second: content right up to the
// Nyquist frequency, as synthesised or clipped material has (converter recordings do not).
render::Stereo FullBandBursts(double rate, double seconds) {
  const auto frames = static_cast<size_t>(rate * seconds);
  render::Stereo x{render::White(frames, 71), render::White(frames, 72)};
  for (size_t n = 0; n < frames; ++n) {
    const double t = static_cast<double>(n) / rate;
    const double burst = 0.5 * std::exp(-40.0 * std::fmod(t, 0.125));
    x.left[n] = 0.3 * std::sin(2.0 * std::numbers::pi * 110.0 * t) + burst * x.left[n];
    x.right[n] = 0.3 * std::sin(2.0 * std::numbers::pi * 110.0 * t + 1.0) + burst * x.right[n];
  }
  return x;
}

render::Stereo ProgrammeSignal(Programme p, double rate) {
  signals::Stereo s;
  switch (p) {
    case Programme::Demo9:
    case Programme::Demo12: s = signals::Demo(rate, 3.0); break;
    case Programme::FullBandBursts12: return FullBandBursts(rate, 3.0);
    case Programme::Pink12: s = signals::PinkNoise(rate, 3.0, -14.0, 1); break;
    case Programme::IntersampleTone6: s = signals::IntersamplePeakTone(rate, 1.0); break;
  }
  return {std::move(s.left), std::move(s.right)};
}

double ProgrammeDrive(Programme p) {
  switch (p) {
    case Programme::Demo9: return 9.0;
    case Programme::IntersampleTone6: return 6.0;
    default: return 12.0;
  }
}

struct LoudCase {
  Programme programme;
  double rate;
  double ceilingDb;
};

void PrintTo(const LoudCase& c, std::ostream* os) {
  *os << ProgrammeName(c.programme) << " at " << c.rate << " Hz, ceiling " << c.ceilingDb << " dBTP";
}

}  // namespace

class EngineLoudProgramme : public ::testing::TestWithParam<LoudCase> {
 public:
  static void TearDownTestSuite() {
    std::cout << "Worst output true peak over the ceiling (reference meter):\n";
    for (const auto& [name, worst] : Worst())
      std::cout << "  " << name << ": " << (worst >= 0 ? "+" : "") << worst << " dB\n";
  }

 protected:
  static std::map<std::string, double>& Worst() {
    static std::map<std::string, double> worst;
    return worst;
  }
};

TEST_P(EngineLoudProgramme, OutputTruePeakStaysUnderTheCeiling) {
  const LoudCase c = GetParam();
  auto plugin = MakePlugin(c.rate, 512, 2, ProgrammeDrive(c.programme), c.ceilingDb);
  const size_t latency = static_cast<size_t>(plugin->GetLatency());
  // Silence after the programme, so the output also shows how the limiter lets it end.
  const render::Stereo in = WithSilenceAfter(ProgrammeSignal(c.programme, c.rate), latency + 1024);
  const render::Stereo out = render::ThroughPlugin(*plugin, in, 512);

  const double overshoot = OvershootDb(out, latency, c.ceilingDb);
  RecordProperty("overshoot_dB", std::to_string(overshoot));
  double& worst = Worst().try_emplace(ProgrammeName(c.programme), -100.0).first->second;
  worst = std::max(worst, overshoot);
  EXPECT_LE(overshoot, 0.05);
}

std::vector<LoudCase> LoudCases() {
  std::vector<LoudCase> cases;
  for (Programme p : {Programme::Demo9, Programme::Demo12, Programme::FullBandBursts12,
                      Programme::Pink12, Programme::IntersampleTone6})
    for (double rate : {44100.0, 48000.0, 96000.0})
      for (double ceilingDb : {-0.1, -1.0}) cases.push_back({p, rate, ceilingDb});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(EngineProgrammes, EngineLoudProgramme, ::testing::ValuesIn(LoudCases()),
                         [](const auto& info) {
                           return std::string(ProgrammeName(info.param.programme)) + "_" +
                                  std::to_string(static_cast<int>(info.param.rate)) +
                                  (info.param.ceilingDb > -0.5 ? "_Ceiling0p1" : "_Ceiling1p0");
                         });

#endif  // ZARN_HAVE_APP

// ---------------------------------------------------------------------------------------------
// Bad input

TEST(EngineBadInput, NonFiniteSamplesAreReadAsZeroAndNothingElseChanges) {
  const render::Stereo noise = render::Noise(48000.0, 0.5, -14.0, 5);
  render::Stereo dirty = noise, clean = noise;
  auto spoil = [&](bool left, size_t i, double bad) {
    (left ? dirty.left : dirty.right)[i] = bad;
    (left ? clean.left : clean.right)[i] = 0.0;
  };
  // Block 10 (frames 5120..5631): both edges, both channels, every kind of non-finite value.
  spoil(true, 5120, kNaN);
  spoil(false, 5120, kNaN);
  spoil(true, 5220, kInf);
  spoil(false, 5221, -kInf);
  spoil(false, 5400, std::numeric_limits<double>::signaling_NaN());
  spoil(true, 5631, -kNaN);
  // Block 12: a whole channel of NaN.
  for (size_t i = 6144; i < 6656; ++i) spoil(true, i, kNaN);

  LimiterEngine dirtyEngine, cleanEngine;
  for (LimiterEngine* e : {&dirtyEngine, &cleanEngine}) {
    ASSERT_TRUE(e->Prepare(48000.0));
    SetDriveAndCeiling(*e, 12.0f, -0.1f);  // limiting hard, so the gain path is exercised
  }
  const render::Stereo a = render::ThroughEngine(dirtyEngine, dirty, 512);
  const render::Stereo b = render::ThroughEngine(cleanEngine, clean, 512);
  EXPECT_TRUE(render::AllFinite(a.left) && render::AllFinite(a.right));
  EXPECT_EQ(FirstDifference(a.left, b.left), -1);
  EXPECT_EQ(FirstDifference(a.right, b.right), -1);

  // The same through the plug-in's mono layout.
  auto dirtyMono = MakePlugin(48000.0, 512, 1, 12.0);
  auto cleanMono = MakePlugin(48000.0, 512, 1, 12.0);
  const std::vector<double> am = render::ThroughPluginMono(*dirtyMono, dirty.left, 512);
  const std::vector<double> bm = render::ThroughPluginMono(*cleanMono, clean.left, 512);
  EXPECT_TRUE(render::AllFinite(am));
  EXPECT_EQ(FirstDifference(am, bm), -1);
}

namespace {

struct BadBlock {
  const char* name;
  std::function<void(std::vector<double>&, size_t begin, size_t end)> spoil;
};

std::vector<BadBlock> HugeBlocks() {
  auto at = [](double v) {
    return [v](std::vector<double>& x, size_t begin, size_t end) {
      x[begin] = v;
      x[begin + 200] = v;
      x[end - 1] = v;
    };
  };
  return {
      {"1e39", at(1e39)},
      {"-1e300", at(-1e300)},
      {"DBL_MAX", at(DBL_MAX)},
      {"-DBL_MAX", at(-DBL_MAX)},
      {"alternating 1e30",
       [](std::vector<double>& x, size_t begin, size_t end) {
         for (size_t i = begin; i < end; ++i) x[i] = (i % 2 ? -1e30 : 1e30);
       }},
      {"block of DBL_MAX",
       [](std::vector<double>& x, size_t begin, size_t end) {
         std::fill(x.begin() + static_cast<long>(begin), x.begin() + static_cast<long>(end), DBL_MAX);
       }},
  };
}

std::vector<BadBlock> TinyBlocks() {
  return {
      {"denormals",
       [](std::vector<double>& x, size_t begin, size_t end) {
         for (size_t i = begin; i < end; i += 3)
           x[i] = (i % 2 ? -1.0 : 1.0) * std::numeric_limits<double>::denorm_min() * (i % 1000);
       }},
      {"1e-310", [](std::vector<double>& x, size_t begin, size_t) { x[begin + 7] = -1e-310; }},
  };
}

}  // namespace

TEST(EngineBadInput, HugeAndTinySamplesNeverMakeTheOutputNonFinite) {
  // Stages after the limiter (delta listening, level matching, dither, Loud, Extra, Character)
  // must not turn a huge sample into an infinity either.
  const std::vector<std::pair<const char*, std::vector<std::pair<int, double>>>> settings = {
      {"defaults", {}},
      {"drive +12", {{kDriveL, 12.0}, {kDriveR, 12.0}}},
      {"loud, extra, character",
       {{kLoud, 100.0}, {kExtra, 100.0}, {kCharacter, 10.0}, {kDriveL, 12.0}, {kDriveR, 12.0}}},
      {"full delta", {{kFullDelta, 1.0}}},
      {"loud delta", {{kLoudDelta, 1.0}, {kLoud, 100.0}}},
      {"level match", {{kLevelMatch, 1.0}}},
      {"dither", {{kDither, 1.0}}},
  };
  std::vector<BadBlock> blocks = HugeBlocks();
  for (BadBlock& b : TinyBlocks()) blocks.push_back(std::move(b));

  constexpr double kRate = 48000.0;
  constexpr size_t kBlock = 512, kBadBlock = 10;
  const size_t frames = static_cast<size_t>(0.4 * kRate);
  for (const auto& [settingName, values] : settings) {
    for (const BadBlock& bad : blocks) {
      auto plugin = MakePlugin(kRate, kBlock, 2);
      for (const auto& [param, value] : values) ASSERT_TRUE(plugin->SetParamValue(param, value));
      render::Stereo in{Sine(kRate, 997.0, 0.1, frames), Sine(kRate, 440.0, 0.1, frames)};
      bad.spoil(in.left, kBadBlock * kBlock, (kBadBlock + 1) * kBlock);
      bad.spoil(in.right, kBadBlock * kBlock, (kBadBlock + 1) * kBlock);
      const render::Stereo out = render::ThroughPlugin(*plugin, in, kBlock);
      EXPECT_TRUE(render::AllFinite(out.left) && render::AllFinite(out.right))
          << bad.name << " with " << settingName;
    }
  }
}

TEST(EngineBadInput, LimiterRecoversFromHugeSamples) {
  // 8 kHz keeps the long release cheap to render; the release times are in seconds.
  constexpr double kRate = 8000.0;
  constexpr size_t kBlock = 256, kBadBlock = 20;
  constexpr double kSeconds = 40.0;
  const auto frames = static_cast<size_t>(kSeconds * kRate);
  for (const BadBlock& bad : HugeBlocks()) {
    auto plugin = MakePlugin(kRate, kBlock, 2);
    const size_t latency = static_cast<size_t>(plugin->GetLatency());
    render::Stereo in{Sine(kRate, 997.0, 0.1, frames), Sine(kRate, 440.0, 0.1, frames)};
    bad.spoil(in.left, kBadBlock * kBlock, (kBadBlock + 1) * kBlock);
    const render::Stereo out = render::ThroughPlugin(*plugin, in, kBlock);
    ASSERT_TRUE(render::AllFinite(out.left) && render::AllFinite(out.right)) << bad.name;

    // Back to the unchanged sine: the last 100-ms window whose level is more than 0.1 dB off.
    const size_t window = static_cast<size_t>(0.1 * kRate);
    size_t lastOff = 0;
    for (size_t start = (kBadBlock + 1) * kBlock + latency; start + window <= frames; start += window) {
      double outPower = 0.0, inPower = 0.0;
      for (size_t n = start; n < start + window; ++n) {
        outPower += out.left[n] * out.left[n];
        inPower += in.left[n - latency] * in.left[n - latency];
      }
      if (std::fabs(10.0 * std::log10(std::max(outPower, 1e-300) / inPower)) > 0.1) lastOff = start + window;
    }
    const double recoverySeconds =
        (static_cast<double>(lastOff) - static_cast<double>((kBadBlock + 1) * kBlock)) / kRate;
    std::cout << "recovery after " << bad.name << ": " << std::max(0.0, recoverySeconds) << " s\n";
    EXPECT_LT(lastOff + window, frames) << bad.name << ": still limiting after " << kSeconds << " s";
    // The right channel never saw the bad samples: the channels are limited independently.
    double worst = 0.0;
    for (size_t n = latency; n < frames; ++n)
      worst = std::max(worst, std::fabs(out.right[n] - in.right[n - latency]));
    EXPECT_LT(worst, 1e-8) << bad.name;
  }
}

TEST(EngineBadInput, TinySamplesLeaveASineUntouched) {
  constexpr double kRate = 48000.0;
  constexpr size_t kBlock = 512;
  const size_t frames = static_cast<size_t>(0.3 * kRate);
  for (const BadBlock& bad : TinyBlocks()) {
    auto plugin = MakePlugin(kRate, kBlock, 2);
    const size_t latency = static_cast<size_t>(plugin->GetLatency());
    render::Stereo in{Sine(kRate, 997.0, 0.1, frames), std::vector<double>(frames, 0.0)};
    bad.spoil(in.left, 5 * kBlock, 6 * kBlock);
    bad.spoil(in.right, 5 * kBlock, 6 * kBlock);
    const render::Stereo out = render::ThroughPlugin(*plugin, in, kBlock);
    double worst = 0.0;
    for (size_t n = latency; n < frames; ++n)
      worst = std::max({worst, std::fabs(out.left[n] - in.left[n - latency]),
                        std::fabs(out.right[n] - in.right[n - latency])});
    EXPECT_LT(worst, 1e-8) << bad.name;
  }
}

// ---------------------------------------------------------------------------------------------
// Preparation

// A host resets the processor (setupProcessing, setActive) between playbacks: after Prepare the
// engine must sound exactly as a fresh one, whatever it played before (defaults, every stage,
// Codec Mode with Dynamic Ceiling).
TEST(EnginePrepare, APreparedEngineSoundsAsAFreshOne) {
  const render::Stereo noise = render::Noise(48000.0, 1.0, -10.0, 9);
  for (const int setup : {0, 1, 2}) {
    auto setUp = [setup](LimiterEngine& engine) {
      SetDriveAndCeiling(engine, 12.0f, -1.0f);
      if (setup == 2) {
        engine.settings.codecMode = 2;
        engine.settings.dynamicCeiling = 1.0f;
      }
      if (setup != 1) return;
      engine.settings.loud = 1.0f;
      engine.settings.loudClipMode = 2.0f;
      engine.settings.character = 10.0f;
      engine.settings.extra = 1.0f;
    };
    LimiterEngine fresh, used;
    ASSERT_TRUE(fresh.Prepare(48000.0));
    ASSERT_TRUE(used.Prepare(44100.0));
    setUp(fresh);
    setUp(used);
    render::ThroughEngine(used, render::Noise(44100.0, 1.3, -3.0, 4), 333);
    ASSERT_TRUE(used.Prepare(48000.0));
    const render::Stereo a = render::ThroughEngine(fresh, noise, 512);
    const render::Stereo b = render::ThroughEngine(used, noise, 512);
    EXPECT_EQ(FirstDifference(a.left, b.left), -1) << "setup " << setup;
    EXPECT_EQ(FirstDifference(a.right, b.right), -1) << "setup " << setup;
  }
}

TEST(EnginePrepare, RefusesRatesOutside8kTo768kAndKeepsThePreviousPreparation) {
  const render::Stereo noise = render::Noise(48000.0, 0.5, -14.0, 9);
  LimiterEngine uninterrupted, interrupted;
  for (LimiterEngine* e : {&uninterrupted, &interrupted}) {
    ASSERT_TRUE(e->Prepare(48000.0));
    SetDriveAndCeiling(*e, 12.0f, -1.0f);
  }
  const render::Stereo expected = render::ThroughEngine(uninterrupted, noise, 512);

  // Half the signal, then every refused rate, then the rest: as if nothing had happened.
  const size_t half = noise.Frames() / 2;
  const render::Stereo first{{noise.left.begin(), noise.left.begin() + half},
                             {noise.right.begin(), noise.right.begin() + half}};
  const render::Stereo second{{noise.left.begin() + half, noise.left.end()},
                              {noise.right.begin() + half, noise.right.end()}};
  const render::Stereo a = render::ThroughEngine(interrupted, first, 512);
  for (double rate : {0.0, -48000.0, kNaN, kInf, -kInf, 7999.0, 7999.999, 768001.0, 768000.5, 1e12}) {
    EXPECT_FALSE(interrupted.Prepare(rate)) << rate;
    EXPECT_EQ(interrupted.SampleRate(), 48000.0) << rate;
    EXPECT_EQ(interrupted.Latency(), 335) << rate;
  }
  const render::Stereo b = render::ThroughEngine(interrupted, second, 512);
  std::vector<double> left = a.left, right = a.right;
  left.insert(left.end(), b.left.begin(), b.left.end());
  right.insert(right.end(), b.right.begin(), b.right.end());
  EXPECT_EQ(FirstDifference(left, expected.left), -1);
  EXPECT_EQ(FirstDifference(right, expected.right), -1);

  // The limits themselves are accepted.
  EXPECT_TRUE(interrupted.Prepare(8000.0));
  EXPECT_EQ(interrupted.Latency(), 135);
  EXPECT_TRUE(interrupted.Prepare(768000.0));
  EXPECT_EQ(interrupted.Latency(), 3935);

  // The plug-in refuses the same setups and keeps its reported latency.
  ZARN plugin;
  ASSERT_TRUE(plugin.SetupProcessing(48000.0, 512, 2, 2));
  for (double rate : {0.0, kNaN, kInf, 7999.0, 768001.0}) {
    EXPECT_FALSE(plugin.SetupProcessing(rate, 512, 2, 2)) << rate;
    EXPECT_EQ(plugin.GetLatency(), 335);
    EXPECT_EQ(plugin.Engine().SampleRate(), 48000.0);
  }
}

// ---------------------------------------------------------------------------------------------
// Block size, mono layout

// A clipped logarithmic sweep (a +6 dBFS sweep from 40 Hz to 16 kHz cut off at full scale,
// opposite polarity on the right): flat tops and rising density, where the gain computer's
// feedback from the meters matters most.
render::Stereo ClippedSweep(double rate, double seconds) {
  const size_t frames = static_cast<size_t>(rate * seconds);
  render::Stereo s{std::vector<double>(frames), std::vector<double>(frames)};
  const double f0 = 40.0, f1 = 16000.0, k = std::log(f1 / f0) / seconds;
  for (size_t n = 0; n < frames; ++n) {
    const double t = static_cast<double>(n) / rate;
    const double phase = 2.0 * std::numbers::pi * f0 * (std::exp(k * t) - 1.0) / k;
    s.left[n] = std::clamp(2.0 * std::sin(phase), -1.0, 1.0);
    s.right[n] = -std::clamp(2.0 * std::sin(phase + 0.3), -1.0, 1.0);
  }
  return s;
}

// With the settings still, how the host cuts the signal into blocks must not change a sample:
// whatever the engine works out from its meters, it works out at the same sample whatever the
// block size.
TEST(EngineBlockSize, OutputDoesNotDependOnHowTheSignalIsCutIntoBlocks) {
  const std::vector<std::pair<const char*, std::function<void(EngineSettings&)>>> setups = {
      {"defaults", [](EngineSettings&) {}},
      {"every stage", [](EngineSettings& s) {
         s.loud = 1.0f;
         s.loudClipMode = 2.0f;
         s.character = 10.0f;
         s.extra = 1.0f;
       }},
      {"codec mode and dynamic ceiling", [](EngineSettings& s) {
         s.codecMode = 2;
         s.dynamicCeiling = 1.0f;
         s.targetLufs = -12.0f;
       }},
  };
  const std::vector<std::pair<const char*, render::Stereo>> programmes = {
      {"noise", render::Noise(48000.0, 1.2, -14.0, 21)}, {"clipped sweep", ClippedSweep(48000.0, 1.2)}};
  const std::vector<std::vector<int>> cuts = {{1}, {7}, {64}, {65536}, {3, 1000, 1, 4096, 17, 2400}};
  for (const auto& [programmeName, programme] : programmes) {
    for (const auto& [setupName, setup] : setups) {
      auto renderWith = [&](const std::vector<int>& sizes) {
        LimiterEngine engine;
        EXPECT_TRUE(engine.Prepare(48000.0));
        SetDriveAndCeiling(engine, 12.0f, -1.0f);
        setup(engine.settings);
        render::Stereo out{std::vector<double>(programme.Frames()), std::vector<double>(programme.Frames())};
        size_t start = 0;
        for (size_t i = 0; start < programme.Frames(); ++i) {
          const int n = static_cast<int>(std::min<size_t>(sizes[i % sizes.size()], programme.Frames() - start));
          engine.Process(programme.left.data() + start, programme.right.data() + start,
                         out.left.data() + start, out.right.data() + start, n, false);
          start += static_cast<size_t>(n);
        }
        return out;
      };
      const render::Stereo reference = renderWith({512});
      for (const auto& sizes : cuts) {
        const render::Stereo out = renderWith(sizes);
        double worst = 0.0;
        for (size_t n = 0; n < out.Frames(); ++n)
          worst = std::max({worst, std::fabs(out.left[n] - reference.left[n]),
                            std::fabs(out.right[n] - reference.right[n])});
        EXPECT_LE(worst, 1e-6) << programmeName << ", " << setupName << ", first block size " << sizes[0];
      }
    }
  }
}

// Offline renders switch the display meters off: the output must not move by a bit, whether the
// meters are really skipped (most settings) or kept because a setting reads them back.
TEST(EngineDisplayMeters, SwitchedOffTheOutputIsTheSameSampleForSample) {
  const render::Stereo noise = render::Noise(48000.0, 2.0, -12.0, 5);
  const std::vector<std::function<void(EngineSettings&)>> setups = {
      [](EngineSettings&) {},
      [](EngineSettings& s) {  // every stage
        s.loud = 1.0f;
        s.loudClipMode = 2.0f;
        s.character = 10.0f;
        s.extra = 0.75f;
        s.dither = 1;
      },
      [](EngineSettings& s) { s.codecMode = 2; },
      [](EngineSettings& s) {
        s.dynamicCeiling = 1.0f;
        s.targetLufs = -12.0f;
      },
  };
  for (size_t i = 0; i < setups.size(); ++i) {
    const auto renderWith = [&](bool displayMeters) {
      LimiterEngine engine;
      EXPECT_TRUE(engine.Prepare(48000.0));
      SetDriveAndCeiling(engine, 9.0f, -1.0f);
      setups[i](engine.settings);
      engine.SetDisplayMeters(displayMeters);
      const render::Stereo out = render::ThroughEngine(engine, noise, 512);
      return std::make_pair(out, engine.LatestMeters().tpL);
    };
    const auto [shown, shownPeak] = renderWith(true);
    const auto [skipped, skippedPeak] = renderWith(false);
    EXPECT_EQ(FirstDifference(skipped.left, shown.left), -1) << "setup " << i;
    EXPECT_EQ(FirstDifference(skipped.right, shown.right), -1) << "setup " << i;
    // The output meter read nothing where it was skipped, and read on where Codec Mode needs it.
    EXPECT_GT(shownPeak, -3.0f);
    if (i == 2) {
      EXPECT_EQ(skippedPeak, shownPeak);
    } else if (i < 2) {
      EXPECT_LT(skippedPeak, -90.0f) << "setup " << i;
    }
  }
}

TEST(EngineMono, MonoLayoutGivesTheLeftResultOfTheStereoLayout) {
  const std::vector<double> signal = render::Noise(48000.0, 0.5, -14.0, 33).left;
  auto stereo = MakePlugin(48000.0, 512, 2, 12.0);
  auto mono = MakePlugin(48000.0, 512, 1, 12.0);
  const render::Stereo expected = render::ThroughPlugin(*stereo, render::Dual(signal), 512);
  EXPECT_EQ(FirstDifference(render::ThroughPluginMono(*mono, signal, 512), expected.left), -1);
}

TEST(EngineMono, BlocksLongerThanTheScratchBufferWorkInPlace) {
  // The scratch buffer holds max(512, 8192) frames; these blocks are at, just over and well over.
  for (int frames : {8192, 8193, 20000}) {
    const std::vector<double> signal = render::Noise(48000.0, frames / 48000.0, -14.0, 34).left;
    auto stereo = MakePlugin(48000.0, 512, 2, 12.0);
    auto mono = MakePlugin(48000.0, 512, 1, 12.0);
    const render::Stereo expected = render::ThroughPlugin(*stereo, render::Dual(signal), frames);

    std::vector<double> buffer = signal;  // hosts often process in place
    double* io[1] = {buffer.data()};
    mono->ProcessAudioBlock(io, io, frames);
    EXPECT_EQ(FirstDifference(buffer, expected.left), -1) << frames;
  }
}

// ---------------------------------------------------------------------------------------------
// Meter reset during playback

TEST(EngineMeterReset, ResetRequestsDuringLoudPlaybackCauseNoClick) {
  constexpr double kRate = 48000.0, kCeilingDb = -1.0;
  constexpr int kBlock = 512;
  const size_t frames = static_cast<size_t>(3.0 * kRate);
  // A steadily limited low tone shows any jump of the gain; noise keeps the gain moving.
  const std::vector<std::pair<const char*, render::Stereo>> programmes = {
      {"150 Hz sine", render::Dual(Sine(kRate, 150.0, 1.0, frames))},
      {"pink noise", render::Noise(kRate, 3.0, -14.0, 41)},
  };
  for (const auto& [name, in] : programmes) {
    // Without resets, and with one at the start of every 23rd block (at all sorts of moments
    // of the gain curve).
    render::Stereo plain, reset;
    size_t latency = 0;
    for (bool withResets : {false, true}) {
      auto plugin = MakePlugin(kRate, kBlock, 2, 12.0, kCeilingDb);
      latency = static_cast<size_t>(plugin->GetLatency());
      render::Stereo out{std::vector<double>(frames), std::vector<double>(frames)};
      for (size_t start = 0, block = 0; start < frames; start += kBlock, ++block) {
        if (withResets && block % 23 == 22) plugin->Engine().RequestMeterReset();
        const int n = static_cast<int>(std::min<size_t>(kBlock, frames - start));
        double* inputs[2] = {const_cast<double*>(in.left.data() + start),
                             const_cast<double*>(in.right.data() + start)};
        double* outputs[2] = {out.left.data() + start, out.right.data() + start};
        plugin->ProcessAudioBlock(inputs, outputs, n);
      }
      (withResets ? reset : plain) = std::move(out);
    }
    EXPECT_LE(OvershootDb(reset, latency, kCeilingDb), 0.05) << name;
    if (name == std::string("150 Hz sine")) {
      // Once the tone is steadily limited its largest step is its slope, 2 pi 150 / 48000 of the
      // ceiling; a reset may nudge the release, not jump the gain.
      const size_t steady = latency + static_cast<size_t>(0.5 * kRate);
      EXPECT_LE(LargestStep(reset.left, steady), LargestStep(plain.left, steady) * 1.01);
      EXPECT_LE(LargestStep(reset.left, steady),
                1.01 * 2.0 * std::numbers::pi * 150.0 / kRate * DbToLin(kCeilingDb));
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Gain computer

TEST(EngineGainComputer, SingleSpikeInSilence) {
  constexpr double kRate = 48000.0;
  constexpr float kCeilingDb = -0.1f;
  LimiterEngine engine;
  ASSERT_TRUE(engine.Prepare(kRate));
  SetDriveAndCeiling(engine, 0.0f, kCeilingDb);
  const int lookAhead = engine.LookAheadLength();
  const int latency = engine.Latency();
  const int catcherDelay = LimiterEngine::kCatcherDelay;
  const double ceiling = DbToLin(kCeilingDb);

  const size_t spikeAt = 1000, frames = spikeAt + static_cast<size_t>(3.0 * kRate);
  std::vector<double> in(frames, 0.0), silent(frames, 0.0), out(frames), dummy(frames);
  in[spikeAt] = 2.0 * ceiling;
  std::vector<double> gain(frames);
  for (size_t n = 0; n < frames; ++n) {
    engine.Process(&in[n], &silent[n], &out[n], &dummy[n], 1, false);
    gain[n] = engine.Gain(0).GainState();
    ASSERT_LE(gain[n], 1.0) << n;
    ASSERT_LE(engine.Gain(0).SmoothedGain(), 1.0) << n;
  }

  // The spike is played at spikeAt + latency; it left the look-ahead catcherDelay earlier, and
  // the gain started down lookAhead - 1 samples before that.
  const size_t played = spikeAt + static_cast<size_t>(latency);
  const size_t leavesDelay = played - static_cast<size_t>(catcherDelay);
  const size_t firstFall = leavesDelay - static_cast<size_t>(lookAhead - 1);
  EXPECT_EQ(gain[firstFall - 1], 1.0);
  EXPECT_LT(gain[firstFall], 1.0);
  // Down along a straight line to the required 1/2, lagging it by the 0.5-ms attack smoothing
  // (24 samples of a 240-sample ramp from 1 to 0.5: about 0.05).
  for (size_t n = firstFall + 1; n <= leavesDelay; ++n) ASSERT_LE(gain[n], gain[n - 1]) << n;
  EXPECT_GE(gain[leavesDelay], 0.49);
  EXPECT_LE(gain[leavesDelay], 0.56);
  EXPECT_LE(gain[(firstFall + leavesDelay) / 2], 0.8);  // half way down the line: about 0.77

  // The played spike, and everything around it, is at or under the ceiling.
  EXPECT_LE(std::fabs(out[played]), ceiling);
  EXPECT_LE(reference::ToDb(reference::TruePeak(out)) - kCeilingDb, 0.05);

  // Held at its lowest for at least 5 ms, then back up towards 1 without turning down again.
  const auto lowest = std::min_element(gain.begin(), gain.end()) - gain.begin();
  const size_t holdBase = static_cast<size_t>(0.005 * kRate);
  size_t holdEnd = static_cast<size_t>(lowest);
  while (holdEnd + 1 < frames && gain[holdEnd + 1] == gain[lowest]) ++holdEnd;
  EXPECT_GE(holdEnd - static_cast<size_t>(lowest) + 1, holdBase);
  for (size_t n = holdEnd + 1; n < frames; ++n) ASSERT_GE(gain[n], gain[n - 1]) << n;
  // The release slows while more than 0.5 dB is still taken off (the scale grows), so 6 dB of
  // reduction takes seconds to let go completely.
  EXPECT_GT(gain.back(), 0.95);
  EXPECT_GE(engine.Gain(0).EffReleaseMs(), 180.0);
  EXPECT_LE(engine.Gain(0).EffReleaseMs(), 2574.0);
}

// A lone click is brought to the ceiling, not below it: the gain computer's ramp still lags
// such a sudden peak, and the catcher's dips must take exactly the rest without compounding.
// The gain reduction read afterwards is the whole reduction applied, the catcher's included.
TEST(EngineGainComputer, IsolatedClicksComeOutAtTheCeilingAndTheReadingStatesTheCut) {
  constexpr double kRate = 48000.0;
  constexpr float kCeilingDb = -0.1f;
  for (double clickDb : {3.5, 9.5, 20.0, 30.0, 40.0, 60.0, 120.0}) {
    LimiterEngine engine;
    ASSERT_TRUE(engine.Prepare(kRate));
    SetDriveAndCeiling(engine, 0.0f, kCeilingDb);
    std::vector<double> in(static_cast<size_t>(kRate), 0.0);
    in[10000] = DbToLin(clickDb);
    const render::Stereo out = render::ThroughEngine(engine, render::Dual(in), 512);
    const double peakDb = reference::ToDb(reference::TruePeak(out.left));
    EXPECT_LE(peakDb, kCeilingDb + 0.01) << clickDb << " dBFS";
    EXPECT_GE(peakDb, kCeilingDb - 0.15) << clickDb << " dBFS";  // the engine's margin is 0.04 dB
    EXPECT_NEAR(-reference::ToDb(engine.TakeMinGain(0)), clickDb - peakDb, 0.02) << clickDb << " dBFS";
  }
}

// ---------------------------------------------------------------------------------------------
// Timing: where each stage first meets a peak

namespace {

// One engine at default settings, fed sample by sample on the left: a faint background (-60
// dBFS: under every threshold, yet the catcher's and the limiter's gains show on it) and
// `event` (magnitudes in units of the linear ceiling) from sample `at` on; after each sample,
// the readings of each stage.
struct Trace {
  size_t lookAhead, loudDelay, latency;
  std::vector<double> in, out;
  std::vector<double> detected;   // the detection detector's peak hold
  std::vector<double> gainState, gain;  // the gain computer's, before and after smoothing
  std::vector<double> catcherGain;      // the catcher's own gain on each output sample
};

Trace TraceEvent(double rate, size_t at, const std::vector<double>& event) {
  LimiterEngine engine;
  EXPECT_TRUE(engine.Prepare(rate));
  const double ceilLin = static_cast<double>(0.9954f) * DbToLin(engine.settings.ceilingDb[0]);
  const size_t frames = at + 1000;
  Trace t{static_cast<size_t>(engine.LookAheadLength()), static_cast<size_t>(engine.LoudDelay()),
          static_cast<size_t>(engine.Latency()), std::vector<double>(frames, 1e-3)};
  for (size_t i = 0; i < event.size(); ++i) t.in[at + i] = event[i] * ceilLin;
  for (auto* v : {&t.out, &t.detected, &t.gainState, &t.gain, &t.catcherGain}) v->resize(frames);
  const double silent = 0.0;
  double right = 0.0;
  for (size_t n = 0; n < frames; ++n) {
    engine.Process(&t.in[n], &silent, &t.out[n], &right, 1, false);
    t.detected[n] = engine.Channel(0).detection.PeakHold();
    t.gainState[n] = engine.Gain(0).GainState();
    t.gain[n] = engine.Gain(0).SmoothedGain();
    t.catcherGain[n] = engine.Channel(0).catcher.OutputGain();
  }
  return t;
}

size_t First(const std::vector<double>& x, const std::function<bool(double)>& holds) {
  return static_cast<size_t>(std::find_if(x.begin(), x.end(), holds) - x.begin());
}
size_t Last(const std::vector<double>& x, const std::function<bool(double)>& holds) {
  return x.size() - 1 - static_cast<size_t>(std::find_if(x.rbegin(), x.rend(), holds) - x.rbegin());
}
size_t LastFall(const std::vector<double>& x) {
  size_t last = 0;
  for (size_t n = 1; n < x.size(); ++n)
    if (x[n] < x[n - 1]) last = n;
  return last;
}

// Each output sample is the input delayed by the latency, times the limiter's gain of
// kCatcherDelay samples before (the catcher holds the gained sample that long) and the catcher's
// own gain.
void ExpectOutputIsGainedInput(const Trace& t, double rate) {
  const size_t delay = LimiterEngine::kCatcherDelay;
  for (size_t n = t.latency; n < t.out.size(); ++n) {
    const double expected = t.in[n - t.latency] * t.gain[n - delay] * t.catcherGain[n];
    ASSERT_NEAR(t.out[n], expected, 1e-6 * std::fabs(expected)) << rate << " Hz, output " << n;
  }
}

}  // namespace

// A single loud sample after silence reaches the detector LoudDelay() samples late (the Loud
// stage's delay, even when it is off), and the gain starts down on that very sample: K - 1
// samples before the look-ahead hands the sample on. It comes down until the step that gains the
// sample and then holds; the output plays the sample Latency() after it went in. The catcher reads
// the points between 23 and 24 samples behind its newest and centres its 49-sample dip 24 behind:
// it first reads the impulse when the impulse is 23 behind, from the points just before it, so its
// dip is deepest one sample before the impulse and touches the 47 outputs from 24 before it to 22
// after. Every one of these moves by a sample if the look-ahead, the Loud delay or the catcher's
// window does.
TEST(EngineTiming, ASingleLoudSampleMeetsEachStageAtItsOwnSample) {
  for (double rate : {48000.0, 44100.0}) {
    const size_t at = 1000;
    const Trace t = TraceEvent(rate, at, {2.0});
    const size_t D = t.loudDelay, K = t.lookAhead, L = t.latency;
    ASSERT_EQ(L, K + D + LimiterEngine::kCatcherDelay - 1);
    EXPECT_EQ(First(t.detected, [&](double p) { return p > t.in[at] / 2; }), at + D) << rate;
    EXPECT_EQ(First(t.gainState, [](double g) { return g < 1.0; }), at + D) << rate;
    EXPECT_EQ(First(t.gain, [](double g) { return g < 1.0; }), at + D) << rate;
    EXPECT_EQ(LastFall(t.gainState), at + D + K - 1) << rate;
    EXPECT_EQ(std::max_element(t.out.begin(), t.out.end()) - t.out.begin(), static_cast<long>(at + L)) << rate;

    const auto dipped = [](double g) { return g < 1.0; };
    EXPECT_EQ(First(t.catcherGain, dipped), at + L - 24) << rate;
    EXPECT_EQ(Last(t.catcherGain, dipped), at + L + 22) << rate;
    EXPECT_EQ(std::min_element(t.catcherGain.begin(), t.catcherGain.end()) - t.catcherGain.begin(),
              static_cast<long>(at + L - 1))
        << rate;
    ExpectOutputIsGainedInput(t, rate);
  }
}

// Two equal samples under the ceiling whose true peak, half way between them, is over it: only
// the interpolated points see it. The detector's points lie between 23 and 24 samples behind the
// newest (its table is centred 383.5 / 16 samples back), so the detector reads more than the
// samples, and the gain starts down, exactly when the second sample is 23 behind; the gain comes
// down for K samples from there. The catcher reads the pair when it lies 23 and 24 behind, and
// centres its dip on the first of the two.
TEST(EngineTiming, AnIntersamplePeakIsSeenWhenItPassesTheDetectorsPoints) {
  for (double rate : {48000.0, 44100.0}) {
    const size_t at = 1000;
    const Trace t = TraceEvent(rate, at, {0.9, 0.9});
    const size_t D = t.loudDelay, K = t.lookAhead, L = t.latency;
    const size_t seen = at + 1 + D + 23;
    EXPECT_EQ(First(t.detected, [&](double p) { return p > 1.001 * t.in[at]; }), seen) << rate;
    EXPECT_GT(t.detected.back(), 1.1 * t.in[at]) << rate;  // about 1.23 times the samples
    EXPECT_EQ(First(t.gainState, [](double g) { return g < 1.0; }), seen) << rate;
    EXPECT_EQ(First(t.gain, [](double g) { return g < 1.0; }), seen) << rate;
    EXPECT_EQ(LastFall(t.gainState), seen + K - 1) << rate;

    const auto dipped = [](double g) { return g < 1.0; };
    EXPECT_EQ(First(t.catcherGain, dipped), at + L - 23) << rate;
    EXPECT_EQ(Last(t.catcherGain, dipped), at + L + 23) << rate;
    EXPECT_EQ(std::min_element(t.catcherGain.begin(), t.catcherGain.end()) - t.catcherGain.begin(),
              static_cast<long>(at + L))
        << rate;
    ExpectOutputIsGainedInput(t, rate);
  }
}
