// The engine's output and meter readings on fixed programmes, against a stored rendering: work on
// speed must not change the sound (every sample within 1e-6) or a reading (within 0.01).
// ZARN_GOLDEN_WRITE=1 writes the stored renderings anew, after a deliberate change of sound.
#ifdef ZARN_HAVE_APP

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/TestSignals.h"
#include "dsp/LimiterEngine.h"
#include "meters/MeterSnapshot.h"
#include "support/EngineRender.h"

namespace {

struct GoldenCase {
  const char* name;
  double rate;
  float driveDb;
  bool everyStage;  // Loud 100 % Hard, Character 10, Extra 75 %, 16-bit dither
};

void PrintTo(const GoldenCase& c, std::ostream* os) { *os << c.name; }

constexpr double kSeconds = 2.0;
constexpr double kStoredFrom = 1.75;  // the stored part: the last quarter second, all stages settled

render::Stereo Programme(const GoldenCase& c) {
  const std::string name = c.name;
  signals::Stereo s;
  if (name.rfind("Demo", 0) == 0) s = signals::Demo(c.rate, kSeconds);
  else if (name.rfind("Pink", 0) == 0) s = signals::PinkNoise(c.rate, kSeconds, -14.0, 3);
  else s = signals::IntersamplePeakTone(c.rate, kSeconds);
  return {std::move(s.left), std::move(s.right)};
}

std::string GoldenPath(const GoldenCase& c) {
  return std::string(ZARN_GOLDEN_DIR) + "/" + c.name + ".f32";
}

// The stored part of both channels as 32-bit floats, then every meter reading of the last tick.
std::vector<float> Rendering(const GoldenCase& c) {
  LimiterEngine engine;
  EXPECT_TRUE(engine.Prepare(c.rate));
  for (int ch = 0; ch < 2; ++ch) {
    engine.settings.driveDb[ch] = c.driveDb;
    engine.settings.ceilingDb[ch] = -1.0f;
  }
  if (c.everyStage) {
    engine.settings.loud = 1.0f;
    engine.settings.loudClipMode = 2.0f;
    engine.settings.character = 10.0f;
    engine.settings.extra = 0.75f;
    engine.settings.dither = 1;
  }
  const render::Stereo out = render::ThroughEngine(engine, Programme(c), 512);
  std::vector<float> values;
  for (size_t n = static_cast<size_t>(kStoredFrom * c.rate); n < out.Frames(); ++n) {
    values.push_back(static_cast<float>(out.left[n]));
    values.push_back(static_cast<float>(out.right[n]));
  }
  const MeterSnapshot& meters = engine.LatestMeters();
  for (int f = 0; f < kMeterFieldCount; ++f) {
    const MeterField& field = kMeterFields[f];
    const char* base = reinterpret_cast<const char*>(&meters) + field.offset;
    for (int i = 0; i < field.count; ++i)
      values.push_back(field.isBool ? static_cast<float>(*reinterpret_cast<const bool*>(base))
                                    : reinterpret_cast<const float*>(base)[i]);
  }
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

  const size_t samples = now.size() - static_cast<size_t>(MeterValueCount());
  double worstSample = 0.0;
  for (size_t i = 0; i < samples; ++i) worstSample = std::max(worstSample, std::fabs(double(now[i]) - stored[i]));
  EXPECT_LE(worstSample, 1e-6);
  for (size_t i = samples; i < now.size(); ++i)
    EXPECT_NEAR(now[i], stored[i], 0.01) << "meter value " << i - samples;
}

INSTANTIATE_TEST_SUITE_P(Programmes, GoldenOutput,
                         ::testing::Values(GoldenCase{"Demo48k", 48000.0, 9.0f, false},
                                           GoldenCase{"Pink44k", 44100.0, 12.0f, false},
                                           GoldenCase{"PinkEveryStage48k", 48000.0, 12.0f, true},
                                           GoldenCase{"IntersampleTone96k", 96000.0, 6.0f, false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

#endif  // ZARN_HAVE_APP
