// The engine's output and meter readings on fixed programmes, against a stored rendering: work on
// speed must not change the sound (every sample within 1e-6) or a reading (within 0.01).
// ZARN_GOLDEN_WRITE=1 writes the stored renderings anew, after a deliberate change of sound.
// The AVX2 and AVX-512 forms give the same bits. The baseline form (ZARN_TEST_CPU=baseline)
// rounds its products apart, without FMA: where the gain computer's hold decision lies within
// that rounding, it can decide otherwise, so its samples are held to kBaselineBound instead and
// its readings (hold and release among them) are not compared.
#ifdef ZARN_HAVE_APP

#include <cmath>
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/signals/TestSignals.h"
#include "dsp/LimiterEngine.h"
#include "dsp/kernels/CpuDispatch.h"
#include "meters/MeterSnapshot.h"
#include "support/EngineRender.h"

namespace {

struct GoldenCase {
  const char* name;
  double rate;
  float driveDb;
  bool everyStage;  // Loud 100 % Hard, Character 10, Extra 75 %
  bool dither = false;  // 16-bit
  double stagesFrom = 0.0;  // seconds into the programme at which every stage comes in
};

void PrintTo(const GoldenCase& c, std::ostream* os) { *os << c.name; }

constexpr double kSeconds = 2.0;
constexpr double kStoredFrom = 1.75;  // the stored part: the last quarter second, all stages settled

// Uniform white noise in bursts of 100 ms at levels from -30 to 0 dBFS peak, 100 ms of silence
// between them: the full band the peak catcher and the output meter read widest.
render::Stereo FullBandBursts(double rate) {
  const size_t frames = static_cast<size_t>(kSeconds * rate), burst = static_cast<size_t>(0.1 * rate);
  render::Stereo s{render::White(frames, 11), render::White(frames, 12)};
  for (size_t n = 0; n < frames; ++n) {
    const size_t index = n / burst;
    const double level = index % 2 == 1 ? 0.0 : std::pow(10.0, -3.0 * static_cast<double>(index % 11) / 20.0);
    s.left[n] *= level;
    s.right[n] *= level;
  }
  return s;
}

// Inputs where a decision (a dip, a gate) lies close to a rounding difference: flat tops, a step,
// content at the band's edge.
render::Stereo EdgyProgramme(const std::string& name, double rate) {
  const size_t frames = static_cast<size_t>(kSeconds * rate);
  render::Stereo s{std::vector<double>(frames), std::vector<double>(frames)};
  const double pi = std::numbers::pi;
  for (size_t n = 0; n < frames; ++n) {
    const double t = static_cast<double>(n) / rate;
    double l = 0.0, r = 0.0;
    if (name.rfind("Square", 0) == 0) {  // 3 kHz at +6 dBFS, a third of a cycle apart
      l = std::fmod(3000.0 * t, 1.0) < 0.5 ? 2.0 : -2.0;
      r = std::fmod(3000.0 * t + 1.0 / 3.0, 1.0) < 0.5 ? 2.0 : -2.0;
    } else if (name.rfind("DcStep", 0) == 0) {  // quiet noise, then a step to 0.9 within the stored part
      l = 0.01 * std::sin(2.0 * pi * 440.0 * t) + (t >= 1.8 ? 0.9 : 0.0);
      r = 0.01 * std::sin(2.0 * pi * 550.0 * t) + (t >= 1.85 ? -0.9 : 0.0);
    } else if (name.rfind("ClippedSweep", 0) == 0) {  // 40 Hz to 16 kHz at +6 dBFS, clipped at full scale
      const double k = std::log(16000.0 / 40.0) / kSeconds;
      const double phase = 2.0 * pi * 40.0 * (std::exp(k * t) - 1.0) / k;
      l = std::clamp(2.0 * std::sin(phase), -1.0, 1.0);
      r = -std::clamp(2.0 * std::sin(phase + 0.3), -1.0, 1.0);
    } else {  // near Nyquist: 0.4998 of the rate at 0.9, beating slowly against the sampling
      l = 0.9 * std::sin(2.0 * pi * 0.4998 * rate * t + 0.7);
      r = 0.9 * std::sin(2.0 * pi * 0.4997 * rate * t);
    }
    s.left[n] = l;
    s.right[n] = r;
  }
  return s;
}

render::Stereo Programme(const GoldenCase& c) {
  const std::string name = c.name;
  if (name.rfind("Bursts", 0) == 0) return FullBandBursts(c.rate);
  for (const char* edgy : {"Square", "DcStep", "ClippedSweep", "NearNyquist"})
    if (name.rfind(edgy, 0) == 0) return EdgyProgramme(name, c.rate);
  signals::Stereo s;
  if (name.rfind("Demo", 0) == 0) s = signals::Demo(c.rate, kSeconds);
  else if (name.rfind("Pink", 0) == 0) s = signals::PinkNoise(c.rate, kSeconds, -14.0, 3);
  else s = signals::IntersamplePeakTone(c.rate, kSeconds);
  return {std::move(s.left), std::move(s.right)};
}

std::string GoldenPath(const GoldenCase& c) {
  return std::string(ZARN_GOLDEN_DIR) + "/" + c.name + ".f32";
}

constexpr size_t kBlock = 512;
constexpr double kBaselineBound = 1e-3;  // the largest seen: 4.4e-4, on DcStep48k

void AppendReadings(const MeterSnapshot& meters, std::vector<float>& values) {
  for (int f = 0; f < kMeterFieldCount; ++f) {
    const MeterField& field = kMeterFields[f];
    const char* base = reinterpret_cast<const char*>(&meters) + field.offset;
    for (int i = 0; i < field.count; ++i)
      values.push_back(field.isBool ? static_cast<float>(*reinterpret_cast<const bool*>(base))
                                    : reinterpret_cast<const float*>(base)[i]);
  }
}

// The stored part of both channels as 32-bit floats, then every meter reading of every tick.
std::vector<float> Rendering(const GoldenCase& c) {
  LimiterEngine engine;
  EXPECT_TRUE(engine.Prepare(c.rate));
  for (int ch = 0; ch < 2; ++ch) {
    engine.settings.driveDb[ch] = c.driveDb;
    engine.settings.ceilingDb[ch] = -1.0f;
  }
  auto bringInEveryStage = [&engine] {
    engine.settings.loud = 1.0f;
    engine.settings.loudClipMode = 2.0f;
    engine.settings.character = 10.0f;
    engine.settings.extra = 0.75f;
  };
  if (c.everyStage && c.stagesFrom == 0.0) bringInEveryStage();
  if (c.dither) engine.settings.dither = 1;
  // In 512-frame blocks, taking every tick's readings after the block in which it ran.
  const render::Stereo in = Programme(c);
  render::Stereo out{std::vector<double>(in.Frames()), std::vector<double>(in.Frames())};
  std::vector<float> readings;
  size_t ticks = 0;
  for (size_t start = 0; start < in.Frames(); start += kBlock) {
    const int n = static_cast<int>(std::min<size_t>(kBlock, in.Frames() - start));
    if (c.everyStage && c.stagesFrom > 0.0 && start == static_cast<size_t>(c.stagesFrom * c.rate) / kBlock * kBlock)
      bringInEveryStage();
    engine.Process(in.left.data() + start, in.right.data() + start, out.left.data() + start,
                   out.right.data() + start, n, false);
    if ((start + n) / static_cast<size_t>(engine.MeterPeriod()) == ticks) continue;
    ++ticks;
    AppendReadings(engine.LatestMeters(), readings);
  }
  std::vector<float> values;
  for (size_t n = static_cast<size_t>(kStoredFrom * c.rate); n < out.Frames(); ++n) {
    values.push_back(static_cast<float>(out.left[n]));
    values.push_back(static_cast<float>(out.right[n]));
  }
  values.insert(values.end(), readings.begin(), readings.end());
  return values;
}

class GoldenOutput : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(GoldenOutput, SamplesAndReadingsAreTheStoredOnes) {
  const GoldenCase& c = GetParam();
  const std::vector<float> now = Rendering(c);
  if (std::getenv("ZARN_GOLDEN_WRITE")) {
    std::ofstream(GoldenPath(c), std::ios::binary)
        .write(reinterpret_cast<const char*>(now.data()), static_cast<std::streamsize>(now.size() * sizeof(float)));
    GTEST_SKIP() << "wrote " << GoldenPath(c);
  }
  std::ifstream file(GoldenPath(c), std::ios::binary);
  ASSERT_TRUE(file) << GoldenPath(c);
  std::vector<float> stored(now.size());
  file.read(reinterpret_cast<char*>(stored.data()), static_cast<std::streamsize>(stored.size() * sizeof(float)));
  ASSERT_EQ(file.gcount(), static_cast<std::streamsize>(stored.size() * sizeof(float)));

  const size_t samples = static_cast<size_t>((kSeconds - kStoredFrom) * c.rate) * 2;
  // Quantisation turns a change of a rounding error into a whole step where a sample lies that
  // close to a decision boundary: with dither, a few samples may be one 16-bit step off (the same
  // programme without dither holds every sample).
  constexpr double kStep = 1.0 / 32768.0;
  double worstSample = 0.0;
  size_t steps = 0;
  for (size_t i = 0; i < samples; ++i) {
    double difference = std::fabs(double(now[i]) - stored[i]);
    if (c.dither && std::fabs(difference - kStep) <= 1e-6) {
      ++steps;
      difference = 0.0;
    }
    worstSample = std::max(worstSample, difference);
  }
  const bool baselineForm = !cpu::UseAvx2();
  EXPECT_LE(worstSample, baselineForm ? kBaselineBound : 1e-6);
  EXPECT_LE(steps, samples / 100);
  RecordProperty("worst_sample", std::to_string(worstSample));
  if (baselineForm) return;
  for (size_t i = samples; i < now.size(); ++i)
    EXPECT_NEAR(now[i], stored[i], 0.01)
        << "tick " << (i - samples) / MeterValueCount() << ", meter value " << (i - samples) % MeterValueCount();
}

INSTANTIATE_TEST_SUITE_P(Programmes, GoldenOutput,
                         ::testing::Values(GoldenCase{"Demo48k", 48000.0, 9.0f, false},
                                           GoldenCase{"Pink44k", 44100.0, 12.0f, false},
                                           GoldenCase{"PinkEveryStage48k", 48000.0, 12.0f, true, true},
                                           GoldenCase{"PinkEveryStageNoDither48k", 48000.0, 12.0f, true},
                                           // Stages that were out of circuit come in within the stored part.
                                           GoldenCase{"DemoStagesComingIn48k", 48000.0, 9.0f, true, false, 1.8},
                                           GoldenCase{"IntersampleTone96k", 96000.0, 6.0f, false},
                                           GoldenCase{"BurstsFullBand48k", 48000.0, 6.0f, false},
                                           GoldenCase{"BurstsFullBand192k", 192000.0, 6.0f, false},
                                           GoldenCase{"Square3k48k", 48000.0, 0.0f, false},
                                           GoldenCase{"SquareEveryStage48k", 48000.0, 0.0f, true},
                                           GoldenCase{"DcStep48k", 48000.0, 6.0f, false},
                                           GoldenCase{"ClippedSweep48k", 48000.0, 0.0f, false},
                                           GoldenCase{"ClippedSweepEveryStage48k", 48000.0, 0.0f, true},
                                           GoldenCase{"NearNyquist44k", 44100.0, 3.0f, false},
                                           GoldenCase{"NearNyquistEveryStage44k", 44100.0, 3.0f, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

#endif  // ZARN_HAVE_APP
