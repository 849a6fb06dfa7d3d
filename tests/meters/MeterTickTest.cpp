// The meter tick and its hand-over: cadence at block ends, publication only to an editor that
// took the last record, records that survive preparation and reset requests, the documented
// readings of silence, no NaN or infinity on any input, and whole records across threads.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "dsp/LimiterEngine.h"
#include "support/EngineRender.h"
#include "support/MeterTicks.h"

namespace {

bool SameRecord(const MeterSnapshot& a, const MeterSnapshot& b) {
  for (int f = 0; f < kMeterFieldCount; ++f)
    for (int i = 0; i < kMeterFields[f].count; ++i) {
      const float x = meter_ticks::FieldValue(a, kMeterFields[f], i);
      const float y = meter_ticks::FieldValue(b, kMeterFields[f], i);
      if (!(x == y) && !(std::isnan(x) && std::isnan(y))) return false;
    }
  return true;
}

// Relations between fields of one record that a record mixed from two ticks would break.
// Returns what is wrong, empty when the record is whole. ceilingDb: the left ceiling setting.
std::string Inconsistency(const MeterSnapshot& s, float ceilingDb) {
  std::string bad = meter_ticks::NonFiniteFields(s);
  auto check = [&bad](bool ok, const char* what) {
    if (ok) return;
    if (!bad.empty()) bad += ", ";
    bad += what;
  };
  check(s.grL <= 0.0f && s.grL == s.grR, "grL/grR");
  check(s.sgdDb == s.sgdMaxDb, "sgd");
  check(s.tpsL == s.ascL && s.tpsR == s.ascR, "tps/asc");
  check(s.lnsL == s.lnsR && s.heiL == s.heiR && s.deltaSfmL == s.deltaSfmR, "shared values");
  if (s.lufsL > -100.0f && s.lufsR > -100.0f && s.lufsM > -100.0f) {
    const double sum = std::pow(10.0, (s.lufsL + 0.691) / 10.0) + std::pow(10.0, (s.lufsR + 0.691) / 10.0);
    check(std::fabs(10.0 * std::log10(sum) - 0.691 - s.lufsM) < 0.01, "lufsM vs lufsL + lufsR");
  }
  if (s.tpL > -100.0f) {
    const float hei = std::clamp(1.0f - (ceilingDb + 20.0f * std::log10(0.9954f) - s.tpL) / 6.0f, 0.0f, 1.0f);
    check(std::fabs(hei - s.heiL) < 1e-5f, "heiL vs tpL");
  }
  if (s.lufsS > -70.0f && s.tpL > -100.0f) check(std::fabs(s.psrOut - (s.tpL - s.lufsS)) < 1e-3f, "psrOut");
  if (s.psrIn > -100.0f && s.psrOut > -100.0f)
    check(std::fabs(s.deltaPsr - std::max(0.0f, s.psrIn - s.psrOut)) < 1e-4f, "deltaPsr");
  float causes = 0.0f;
  for (float c : s.causeBands) causes += c;
  check(causes == 0.0f || std::fabs(causes - 1.0f) < 1e-4f, "causeBands sum");
  return bad;
}

// Noise whose level jumps every 50 ms, so that consecutive records differ in every reading.
render::Stereo JumpingNoise(double rate, double seconds, uint32_t seed) {
  render::Stereo x = render::Noise(rate, seconds, -6.0, seed);
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> db(-40.0, 0.0);
  const size_t step = static_cast<size_t>(0.05 * rate);
  for (size_t start = 0; start < x.Frames(); start += step) {
    const double g = std::pow(10.0, db(rng) / 20.0);
    for (size_t n = start; n < std::min(x.Frames(), start + step); ++n) {
      x.left[n] *= g;
      x.right[n] *= g;
    }
  }
  return x;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Cadence and publication

// The tick runs every 2400 samples at 48 kHz, in the middle of a block where it falls there: what
// the meters feed back into the sound then changes at the same sample whatever the block size.
TEST(MeterTick, RunsEveryMeterPeriodWhereverItFallsInABlock) {
  for (const int block : {64, 1, 480, 2399, 2400, 1000, 8192}) {
    LimiterEngine engine;
    ASSERT_TRUE(engine.Prepare(48000.0));
    ASSERT_EQ(engine.MeterPeriod(), 2400);
    const std::vector<double> silence(static_cast<size_t>(block), 0.0);
    std::vector<double> outL(silence.size()), outR(silence.size());
    MeterSnapshot s;
    std::vector<int> tickFrames;
    int processed = 0;
    while (processed < 5 * 8192) {
      engine.Process(silence.data(), silence.data(), outL.data(), outR.data(), block, false);
      processed += block;
      if (engine.TakeMeterSnapshot(s)) tickFrames.push_back(processed - engine.FramesSinceMeterTick());
      EXPECT_EQ(engine.FramesSinceMeterTick(), processed % 2400) << block;
    }
    // A block holding several ticks publishes the newest.
    ASSERT_EQ(tickFrames.size(), block <= 2400 ? static_cast<size_t>(processed / 2400) : 5u) << block;
    for (size_t k = 0; k < tickFrames.size(); ++k) {
      EXPECT_EQ(tickFrames[k] % 2400, 0) << block;
      if (block <= 2400) {
        EXPECT_EQ(tickFrames[k], static_cast<int>(k + 1) * 2400) << block;
      }
    }
  }
  LimiterEngine engine;
  for (auto [rate, period] : {std::pair{44100.0, 2205}, {8000.0, 400}, {768000.0, 38400}}) {
    ASSERT_TRUE(engine.Prepare(rate));
    EXPECT_EQ(engine.MeterPeriod(), period) << rate;
  }
}

TEST(MeterTick, UntakenRecordIsKeptThroughLaterTicksPreparationAndResets) {
  LimiterEngine engine;
  ASSERT_TRUE(engine.Prepare(48000.0));
  const render::Stereo in = JumpingNoise(48000.0, 1.0, 3);
  const int block = 2400;  // one tick per block
  std::vector<double> outL(block), outR(block);
  auto process = [&](int b) {
    const size_t start = static_cast<size_t>(b) * block;
    engine.Process(in.left.data() + start, in.right.data() + start, outL.data(), outR.data(), block, false);
  };
  process(0);
  const MeterSnapshot first = engine.LatestMeters();
  for (int b = 1; b < 5; ++b) process(b);  // four more ticks, none published
  ASSERT_FALSE(SameRecord(first, engine.LatestMeters()));
  // Neither the audio side's preparation nor a reset request may withdraw or rewrite the record
  // the editor has not taken: it may be copying it right now.
  engine.RequestMeterReset();
  process(5);
  ASSERT_TRUE(engine.Prepare(44100.0));
  ASSERT_TRUE(engine.Prepare(48000.0));
  MeterSnapshot taken;
  ASSERT_TRUE(engine.TakeMeterSnapshot(taken));
  EXPECT_TRUE(SameRecord(taken, first));
  EXPECT_FALSE(engine.TakeMeterSnapshot(taken));
  process(6);
  ASSERT_TRUE(engine.TakeMeterSnapshot(taken));
  EXPECT_TRUE(SameRecord(taken, engine.LatestMeters()));
}

// ---------------------------------------------------------------------------------------------
// Readings of silence and of bad input

TEST(MeterTick, SilenceGivesTheDocumentedNoReadingValues) {
  LimiterEngine engine;
  ASSERT_TRUE(engine.Prepare(48000.0));
  const std::vector<double> zeros(static_cast<size_t>(2.0 * 48000.0), 0.0);
  const auto ticks = meter_ticks::Render(engine, render::Dual(zeros), 512);
  ASSERT_EQ(ticks.size(), 40u);  // every 2400 samples
  for (const auto& t : ticks) {
    const MeterSnapshot& s = t.s;
    ASSERT_EQ(meter_ticks::NonFiniteFields(s), "");
    for (float v : {s.inL, s.inR, s.vuL, s.vuR, s.tpL, s.tpR, s.lufsL, s.lufsR, s.lufsM, s.lufsS,
                    s.lufsI, s.lufsI_in, s.lra, s.psrOut, s.psrIn, s.deltaPsr, s.nmrL, s.nmrR,
                    s.sgdDb, s.sgdMaxDb})
      EXPECT_EQ(v, -100.0f);
    for (float v : {s.grL, s.grR, s.ehsL, s.ehsR, s.heiL, s.heiR, s.deltaSfmL, s.deltaSfmR,
                    s.punchLowDb, s.punchMidDb, s.punchHighDb, s.deltaLfDb, s.deltaHfDb,
                    s.deltaWidthPct, s.codecIspRisk, s.srcRisk, s.mlPreAttenDb, s.corrR})
      EXPECT_EQ(v, 0.0f);
    for (float v : {s.pwmdL, s.pwmdR, s.gespL, s.gespR, s.tpsL, s.tpsR, s.ascL, s.ascR, s.lnsL, s.lnsR})
      EXPECT_EQ(v, 1.0f);
    for (int k = 0; k < MeterSnapshot::kBands; ++k) {
      EXPECT_EQ(s.causeBands[k], 0.0f);
      EXPECT_EQ(s.multibandCorr[k], 0.0f);
    }
    EXPECT_FALSE(s.smoothValidConflict);
    EXPECT_NEAR(s.effCeilDb, -0.1 + 20.0 * std::log10(0.9954), 1e-5);
  }
}

TEST(MeterTick, NoReadingBecomesNaNOrInfiniteOnAnyInput) {
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  constexpr double kInf = std::numeric_limits<double>::infinity();
  using Source = double (*)(size_t n, int ch, std::mt19937_64& rng);
  struct Input {
    const char* name;
    Source sample;
  };
  static const Input inputs[] = {
      {"white", [](size_t, int, std::mt19937_64& r) { return std::uniform_real_distribution<>(-1, 1)(r); }},
      {"huge white", [](size_t, int, std::mt19937_64& r) { return std::uniform_real_distribution<>(-1e7, 1e7)(r); }},
      {"denormal", [](size_t, int, std::mt19937_64& r) { return std::uniform_real_distribution<>(-1, 1)(r) * 1e-310; }},
      {"square", [](size_t n, int, std::mt19937_64&) { return n % 100 < 50 ? 1.0 : -1.0; }},
      {"DC", [](size_t, int, std::mt19937_64&) { return 1.0; }},
      {"alternating 1e30", [](size_t n, int, std::mt19937_64&) { return n % 2 ? 1e30 : -1e30; }},
      {"1e39", [](size_t, int, std::mt19937_64&) { return 1e39; }},
      {"one channel", [](size_t n, int ch, std::mt19937_64&) { return ch ? 0.0 : (n % 4 < 2 ? 1.0 : -1.0); }},
      {"non-finite bursts", [](size_t n, int, std::mt19937_64& r) {
         return n % 97 == 0 ? (n % 2 ? kNaN : -kInf) : std::uniform_real_distribution<>(-2, 2)(r);
       }},
      {"silence", [](size_t, int, std::mt19937_64&) { return 0.0; }},
  };
  const int blockSizes[] = {1, 64, 333, 4096, 8192, 20000};
  for (double rate : {8000.0, 44100.0, 96000.0, 768000.0}) {
    LimiterEngine engine;
    ASSERT_TRUE(engine.Prepare(rate));
    std::mt19937_64 rng(static_cast<uint64_t>(rate));
    // Fewer seconds at the highest rate: the same number of ticks costs 16 times the work there.
    const size_t segment = static_cast<size_t>((rate > 100000.0 ? 0.25 : 1.0) * rate);
    int ticks = 0;
    for (size_t i = 0; i < std::size(inputs); ++i) {
      // Every input also meets the settings that feed readings back into the signal path.
      engine.settings.codecMode = static_cast<int32_t>(i % 4);
      engine.settings.dynamicCeiling = static_cast<float>(i % 2);
      engine.settings.channelsIndependent = i % 3 == 0;
      engine.settings.driveDb[0] = engine.settings.driveDb[1] = i % 2 ? 24.0f : 0.0f;
      engine.settings.loud = static_cast<float>(i % 3) * 0.5f;
      engine.settings.extra = i % 4 == 1 ? 1.0f : 0.0f;
      render::Stereo x{std::vector<double>(segment), std::vector<double>(segment)};
      for (size_t n = 0; n < segment; ++n) {
        x.left[n] = inputs[i].sample(n, 0, rng);
        x.right[n] = inputs[i].sample(n, 1, rng);
      }
      render::Stereo out;
      const int block = blockSizes[i % std::size(blockSizes)];
      for (const auto& t : meter_ticks::Render(engine, x, block, &out)) {
        ++ticks;
        ASSERT_EQ(meter_ticks::NonFiniteFields(t.s), "")
            << inputs[i].name << " at " << rate << " Hz, blocks of " << block << ", frame " << t.endFrame;
      }
      ASSERT_EQ(meter_ticks::NonFiniteFields(engine.LatestMeters()), "") << inputs[i].name;
      ASSERT_TRUE(render::AllFinite(out.left) && render::AllFinite(out.right)) << inputs[i].name;
    }
    EXPECT_GE(ticks, 40) << rate;
  }
}

// ---------------------------------------------------------------------------------------------
// Hand-over between the audio thread and the editor's thread (also run under ThreadSanitizer)

namespace {

// The audio thread renders `in` in blocks while a reader takes and checks records; `betweenBlocks`
// runs on the audio thread after each block. Returns the number of records taken.
template <typename BetweenBlocks>
int RenderWhileReading(LimiterEngine& engine, const render::Stereo& in, int block, float ceilingDb,
                       BetweenBlocks betweenBlocks, std::string& firstProblem) {
  std::atomic<bool> readerStarted{false}, done{false};
  int taken = 0;
  std::thread reader([&] {
    readerStarted.store(true, std::memory_order_release);
    MeterSnapshot s;
    for (;;) {
      const bool finished = done.load(std::memory_order_acquire);
      if (engine.TakeMeterSnapshot(s)) {
        ++taken;
        const std::string problem = Inconsistency(s, ceilingDb);
        if (!problem.empty() && firstProblem.empty()) firstProblem = problem;
        // The editor's reset button now and then (a reset restarts the tick's count).
        if (taken % 8 == 0) engine.RequestMeterReset();
      }
      if (finished) break;
      std::this_thread::yield();
    }
  });
  while (!readerStarted.load(std::memory_order_acquire)) std::this_thread::yield();
  std::vector<double> outL(static_cast<size_t>(block)), outR(static_cast<size_t>(block));
  for (size_t start = 0, b = 0; start + static_cast<size_t>(block) <= in.Frames(); start += block, ++b) {
    engine.Process(in.left.data() + start, in.right.data() + start, outL.data(), outR.data(), block, false);
    betweenBlocks(b);
  }
  done.store(true, std::memory_order_release);
  reader.join();
  return taken;
}

}  // namespace

TEST(Threads, MeterRecordsArriveWholeWhileTheAudioThreadPublishes) {
  constexpr float kCeilingDb = -1.0f;
  LimiterEngine engine;
  ASSERT_TRUE(engine.Prepare(48000.0));
  engine.settings.ceilingDb[0] = engine.settings.ceilingDb[1] = kCeilingDb;
  engine.settings.driveDb[0] = engine.settings.driveDb[1] = 6.0f;
  const render::Stereo in = JumpingNoise(48000.0, 2.0, 11);
  std::string problem;
  const int taken = RenderWhileReading(engine, in, 128, kCeilingDb, [](size_t) {}, problem);
  EXPECT_EQ(problem, "");
  EXPECT_GT(taken, 0);
}

TEST(Threads, PreparationAndResetsOnTheAudioSideNeverTouchARecordBeingCopied) {
  constexpr float kCeilingDb = -1.0f;
  LimiterEngine engine;
  ASSERT_TRUE(engine.Prepare(48000.0));
  engine.settings.ceilingDb[0] = engine.settings.ceilingDb[1] = kCeilingDb;
  engine.settings.driveDb[0] = engine.settings.driveDb[1] = 6.0f;
  const render::Stereo in = JumpingNoise(48000.0, 2.0, 12);
  std::string problem;
  const int taken = RenderWhileReading(
      engine, in, 256, kCeilingDb,
      [&engine](size_t b) {
        // A host re-activating the plug-in at another rate, and back; resets in between.
        if (b % 40 == 39) {
          EXPECT_TRUE(engine.Prepare(b % 80 == 79 ? 48000.0 : 44100.0));
        }
        if (b % 50 == 20) engine.RequestMeterReset();
      },
      problem);
  EXPECT_EQ(problem, "");
  EXPECT_GT(taken, 0);
}
