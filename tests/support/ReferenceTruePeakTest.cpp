// The test suite's own true-peak meter, checked on signals whose true peak is known exactly.
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "support/ReferenceTruePeak.h"

namespace {

std::vector<double> Tone(double cyclesPerSample, double amplitude, double phase, int frames) {
  std::vector<double> x(static_cast<size_t>(frames));
  for (int n = 0; n < frames; ++n)
    x[n] = amplitude * std::sin(2.0 * std::numbers::pi * cyclesPerSample * n + phase);
  return x;
}

}  // namespace

TEST(ReferenceTruePeak, QuarterRateSineAt45DegreesReadsItsAmplitudeNotItsSamples) {
  // Samples are +-sqrt(0.5); the waveform between them reaches 1.
  const std::vector<double> x = Tone(0.25, 1.0, std::numbers::pi / 4.0, 4800);
  EXPECT_NEAR(reference::SamplePeak(x, 100), std::sqrt(0.5), 1e-12);
  // Clear of both ends, where the switched tone rings.
  EXPECT_NEAR(reference::TruePeak(x.data(), x.size(), 300, 4500), 1.0, 1e-5);
}

TEST(ReferenceTruePeak, SinesAcrossTheBandReadTheirAmplitude) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> phase(0.0, 2.0 * std::numbers::pi);
  // 997 Hz at 48 kHz first, then up to 0.45 of the rate (20 kHz at 44.1 kHz).
  for (double f : {997.0 / 48000.0, 0.01, 0.1, 0.2, 0.3, 0.37, 0.41, 0.45}) {
    for (double amplitude : {0.5, 1.0}) {
      const std::vector<double> x = Tone(f, amplitude, phase(rng), 6000);
      // Away from the start and end, where a switched tone is not a pure sine.
      const double tp = reference::TruePeak(x.data(), x.size(), 1000, 5000);
      // 1e-4 is 0.001 dB: well inside the 0.05 dB that the limiter is held to.
      EXPECT_NEAR(tp / amplitude, 1.0, 1e-4) << "f " << f << " amplitude " << amplitude;
    }
  }
}

TEST(ReferenceTruePeak, RangeTakesNeighboursIntoAccountAndSamplesExactly) {
  // A lone sample: the band-limited pulse peaks at the sample itself.
  std::vector<double> impulse(200, 0.0);
  impulse[100] = -0.8;
  EXPECT_NEAR(reference::TruePeak(impulse), 0.8, 1e-12);

  // A range starting in the middle of a tone sees no step at its start (a step would ring up to
  // 9 % above the amplitude).
  const std::vector<double> x = Tone(0.05, 0.7, 0.3, 3000);
  EXPECT_NEAR(reference::TruePeak(x.data(), x.size(), 1500, 1510), 0.7, 0.7 * 2e-5);
  EXPECT_EQ(reference::TruePeak(x.data(), x.size(), 10, 10), 0.0);
}
