// The ceiling on any input, against the long reference reconstruction: full-band noise at every
// rate, quantised noise, square waves, hard-clipped tones, clicks, every stage at its extreme.
// The output's true peak stays within 0.05 dB of the ceiling, and the plug-in's own true-peak
// reading agrees with the reference within 0.1 dB; at a programme's edges too.
#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dsp/LimiterEngine.h"
#include "dsp/LoudClipper.h"
#include "support/EngineRender.h"
#include "support/ReferenceTruePeak.h"

namespace {

struct Settings {
  float driveDb = 0.0f, ceilingDb = -0.1f;
  float character = 0.0f, extra = 0.0f, loud = 0.0f;
  int clipMode = LoudClipper::kSoft;
};

struct AnyInputCase {
  std::string name;
  double rate;
  double seconds;
  std::function<render::Stereo(double rate, size_t frames)> signal;
  Settings settings;
};

void PrintTo(const AnyInputCase& c, std::ostream* os) { *os << c.name; }

render::Stereo WhiteNoise(double, size_t frames) {
  return {render::White(frames, 101), render::White(frames, 102)};
}

// Gaussian noise of sigma 0.3, clipped and rounded to 16 bits, as a dithered file holds it.
render::Stereo QuantisedNoise(double, size_t frames) {
  std::mt19937_64 rng(7);
  std::normal_distribution<double> gauss(0.0, 0.3);
  render::Stereo x{std::vector<double>(frames), std::vector<double>(frames)};
  for (auto* channel : {&x.left, &x.right})
    for (double& v : *channel) v = std::round(std::clamp(gauss(rng), -1.0, 1.0) * 32767.0) / 32768.0;
  return x;
}

render::Stereo SquareWave(double rate, size_t frames) {
  const auto half = static_cast<size_t>(rate / 2000.0);  // 1 kHz
  std::vector<double> x(frames);
  for (size_t n = 0; n < frames; ++n) x[n] = (n / half) % 2 ? 0.9 : -0.9;
  return render::Dual(x);
}

// A 997 Hz tone three times full scale, clipped at full scale.
render::Stereo ClippedTone(double rate, size_t frames) {
  std::vector<double> x(frames);
  for (size_t n = 0; n < frames; ++n)
    x[n] = std::clamp(3.0 * std::sin(2.0 * std::numbers::pi * 997.0 * n / rate), -1.0, 1.0);
  return render::Dual(x);
}

// Single-sample clicks in silence, from +3.5 to +120 dBFS, alternating in sign.
render::Stereo Clicks(double rate, size_t frames) {
  std::vector<double> x(frames, 0.0);
  const double levelsDb[] = {3.5, 20.0, 60.0, 120.0};
  const auto spacing = static_cast<size_t>(0.1 * rate);
  for (size_t i = 0; i < 4 && (i + 1) * spacing < frames; ++i)
    x[(i + 1) * spacing] = (i % 2 ? -1.0 : 1.0) * std::pow(10.0, levelsDb[i] / 20.0);
  return render::Dual(x);
}

std::vector<AnyInputCase> Cases() {
  Settings extremes;
  extremes.driveDb = 12.0f;
  extremes.ceilingDb = 0.0f;
  extremes.character = 10.0f;
  extremes.extra = 1.0f;
  extremes.loud = 1.0f;
  extremes.clipMode = LoudClipper::kHard;
  Settings loudHard;
  loudHard.loud = 1.0f;
  loudHard.clipMode = LoudClipper::kHard;
  Settings drive12;
  drive12.driveDb = 12.0f;
  drive12.ceilingDb = -1.0f;
  std::vector<AnyInputCase> cases;
  for (double rate : {44100.0, 48000.0, 96000.0, 192000.0, 384000.0})
    cases.push_back({"WhiteNoise_" + std::to_string(static_cast<int>(rate)), rate,
                     rate > 100000.0 ? 0.3 : 1.0, WhiteNoise, {}});
  cases.push_back({"QuantisedNoise", 48000.0, 1.5, QuantisedNoise, {}});
  cases.push_back({"SquareWaveDrive12", 48000.0, 0.5, SquareWave, drive12});
  cases.push_back({"ClippedTone", 44100.0, 0.5, ClippedTone, {}});
  cases.push_back({"Clicks", 48000.0, 0.5, Clicks, {}});
  cases.push_back({"ClicksEveryStage", 48000.0, 0.5, Clicks, extremes});
  cases.push_back({"WhiteNoiseEveryStage_48000", 48000.0, 1.0, WhiteNoise, extremes});
  cases.push_back({"WhiteNoiseEveryStage_96000", 96000.0, 0.5, WhiteNoise, extremes});
  cases.push_back({"WhiteNoiseLoudHard", 48000.0, 1.0, WhiteNoise, loudHard});
  return cases;
}

void Apply(const Settings& settings, EngineSettings& engine) {
  for (int ch = 0; ch < 2; ++ch) {
    engine.driveDb[ch] = settings.driveDb;
    engine.ceilingDb[ch] = settings.ceilingDb;
  }
  engine.character = settings.character;
  engine.extra = settings.extra;
  engine.loud = settings.loud;
  engine.loudClipMode = static_cast<float>(settings.clipMode);
}

class CeilingOnAnyInput : public ::testing::TestWithParam<AnyInputCase> {};

TEST_P(CeilingOnAnyInput, HeldWithin005dBAndReadWithin01dB) {
  const AnyInputCase& c = GetParam();
  LimiterEngine engine;
  ASSERT_TRUE(engine.Prepare(c.rate));
  Apply(c.settings, engine.settings);

  const auto frames = static_cast<size_t>(c.rate * c.seconds);
  render::Stereo in = c.signal(c.rate, frames);
  // Silence after the signal, so the output shows how it ends and the meter reads it all.
  const size_t latency = static_cast<size_t>(engine.Latency());
  in.left.resize(frames + latency + 2048, 0.0);
  in.right.resize(frames + latency + 2048, 0.0);

  render::Stereo out{std::vector<double>(in.Frames()), std::vector<double>(in.Frames())};
  float meterReading = -100.0f;
  MeterSnapshot snapshot;
  for (size_t start = 0; start < in.Frames(); start += 512) {
    const int n = static_cast<int>(std::min<size_t>(512, in.Frames() - start));
    engine.Process(&in.left[start], &in.right[start], &out.left[start], &out.right[start], n, false);
    if (engine.TakeMeterSnapshot(snapshot)) meterReading = std::max({meterReading, snapshot.tpL, snapshot.tpR});
  }

  const double truePeakDb = reference::ToDb(std::max(reference::TruePeak(out.left, latency),
                                                     reference::TruePeak(out.right, latency)));
  RecordProperty("overshoot_dB", std::to_string(truePeakDb - c.settings.ceilingDb));
  EXPECT_LE(truePeakDb, c.settings.ceilingDb + 0.05);
  EXPECT_NEAR(meterReading, truePeakDb, 0.1);
}

INSTANTIATE_TEST_SUITE_P(Signals, CeilingOnAnyInput, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return info.param.name; });

// A programme that starts and ends loud, cut as a renderer cuts it: the output from the latency on,
// as long as the input, with silence before and after. The Loud stage's filters ring on either
// side of the programme; the cut output must hold the ceiling across its edges too.
render::Stereo Tone(double rate, size_t frames, double frequency, double amplitude, double phase) {
  std::vector<double> x(frames);
  for (size_t n = 0; n < frames; ++n)
    x[n] = std::clamp(amplitude * std::sin(2.0 * std::numbers::pi * frequency * n / rate + phase), -1.0, 1.0);
  return render::Dual(x);
}

std::vector<AnyInputCase> EdgeCases() {
  Settings extra;
  extra.extra = 1.0f;
  Settings loud10;
  loud10.loud = 0.1f;
  Settings loudHard;
  loudHard.loud = 1.0f;
  loudHard.clipMode = LoudClipper::kHard;
  Settings loudHardDrive;
  loudHardDrive = loudHard;
  loudHardDrive.driveDb = 9.0f;
  loudHardDrive.ceilingDb = -1.0f;
  Settings extremes = loudHard;
  extremes.driveDb = 12.0f;
  extremes.ceilingDb = 0.0f;
  extremes.character = 10.0f;
  extremes.extra = 1.0f;
  return {
      {"WhiteNoiseExtra_44100", 44100.0, 0.3, WhiteNoise, extra},
      {"NearNyquistToneLoud10_44100", 44100.0, 0.3,
       [](double rate, size_t frames) { return Tone(rate, frames, 22040.0, 0.9, 0.7); }, loud10},
      // Ends mid-cycle, on a flat top.
      {"ClippedToneLoudHard", 48000.0, 0.7813,
       [](double rate, size_t frames) { return Tone(rate, frames, 997.0, 2.0, 0.0); }, loudHard},
      {"WhiteNoiseLoudHardDrive9", 48000.0, 0.3, WhiteNoise, loudHardDrive},
      {"WhiteNoiseEveryStage", 96000.0, 0.3, WhiteNoise, extremes},
  };
}

class CeilingAtTheEdges : public ::testing::TestWithParam<AnyInputCase> {};

TEST_P(CeilingAtTheEdges, HeldAcrossTheFirstAndLastSamples) {
  const AnyInputCase& c = GetParam();
  LimiterEngine engine;
  ASSERT_TRUE(engine.Prepare(c.rate));
  Apply(c.settings, engine.settings);

  const auto frames = static_cast<size_t>(c.rate * c.seconds);
  const size_t latency = static_cast<size_t>(engine.Latency());
  render::Stereo in = c.signal(c.rate, frames);
  in.left.resize(frames + latency, 0.0);
  in.right.resize(frames + latency, 0.0);
  engine.EndInputAfter(static_cast<int64_t>(frames));
  const render::Stereo out = render::ThroughEngine(engine, in, 512);

  constexpr size_t kSilence = 64;
  double truePeak = 0.0;
  for (const auto* channel : {&out.left, &out.right}) {
    std::vector<double> cut(kSilence, 0.0);
    cut.insert(cut.end(), channel->begin() + static_cast<std::ptrdiff_t>(latency), channel->end());
    cut.resize(cut.size() + kSilence, 0.0);
    truePeak = std::max(truePeak, reference::TruePeak(cut));
  }
  const double truePeakDb = reference::ToDb(truePeak);
  RecordProperty("overshoot_dB", std::to_string(truePeakDb - c.settings.ceilingDb));
  EXPECT_LE(truePeakDb, c.settings.ceilingDb + 0.05);
}

INSTANTIATE_TEST_SUITE_P(Signals, CeilingAtTheEdges, ::testing::ValuesIn(EdgeCases()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
