// The generated demo and test signals, checked against their defining properties.
#ifdef ZARN_HAVE_APP

#include <cmath>
#include <numbers>

#include <gtest/gtest.h>

#include "app/audio/Decibels.h"
#include "app/render/OutputPeakMeter.h"
#include "app/signals/TestSignals.h"

namespace {

double Peak(const std::vector<double>& x) {
  double peak = 0.0;
  for (double v : x) peak = std::max(peak, std::abs(v));
  return peak;
}

double Rms(const std::vector<double>& x) {
  double sum = 0.0;
  for (double v : x) sum += v * v;
  return std::sqrt(sum / static_cast<double>(x.size()));
}

double Correlation(const std::vector<double>& a, const std::vector<double>& b) {
  double ab = 0.0, aa = 0.0, bb = 0.0;
  for (size_t i = 0; i < a.size(); ++i) {
    ab += a[i] * b[i];
    aa += a[i] * a[i];
    bb += b[i] * b[i];
  }
  return ab / std::sqrt(aa * bb);
}

// Mean power between two frequencies, from Hann-windowed 4096-point DFTs averaged over the
// signal (a direct DFT of just the bins needed: slow in general, fine for a test).
double BandPower(const std::vector<double>& x, double rate, double low, double high) {
  constexpr int kSize = 4096;
  const int firstBin = static_cast<int>(std::ceil(low * kSize / rate));
  const int lastBin = static_cast<int>(std::floor(high * kSize / rate));
  double power = 0.0;
  int segments = 0;
  for (size_t start = 0; start + kSize <= x.size(); start += kSize, ++segments) {
    for (int bin = firstBin; bin <= lastBin; ++bin) {
      double re = 0.0, im = 0.0;
      for (int n = 0; n < kSize; ++n) {
        const double window = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * n / kSize);
        const double angle = 2.0 * std::numbers::pi * bin * n / kSize;
        re += window * x[start + n] * std::cos(angle);
        im -= window * x[start + n] * std::sin(angle);
      }
      power += re * re + im * im;
    }
  }
  return power / segments;
}

// Raised-cosine fades at both ends: a tone switched on or off abruptly overshoots its steady
// true peak (Gibbs), which is not what these tests measure.
signals::Stereo Faded(signals::Stereo s, size_t fadeFrames) {
  for (size_t i = 0; i < fadeFrames; ++i) {
    const double gain = 0.5 - 0.5 * std::cos(std::numbers::pi * i / fadeFrames);
    for (auto* channel : {&s.left, &s.right}) {
      (*channel)[i] *= gain;
      (*channel)[channel->size() - 1 - i] *= gain;
    }
  }
  return s;
}

double TruePeakDb(const signals::Stereo& s) {
  OutputPeakMeter meter(1);
  const double* channels[] = {s.left.data()};
  meter.Add(channels, static_cast<int64_t>(s.left.size()));
  meter.Finish();
  return AmplitudeToDb(meter.TruePeak());
}

}  // namespace

TEST(TestSignals, DemoIsAStereoMixPeakingAtMinusTwoDbfs) {
  for (double rate : {44100.0, 48000.0, 96000.0}) {
    const signals::Stereo demo = signals::Demo(rate);
    ASSERT_EQ(demo.left.size(), static_cast<size_t>(10 * rate)) << rate;
    ASSERT_EQ(demo.right.size(), demo.left.size());
    EXPECT_EQ(demo.sampleRate, rate);
    const double peakDb = AmplitudeToDb(std::max(Peak(demo.left), Peak(demo.right)));
    EXPECT_NEAR(peakDb, -2.0, 1e-9) << rate;
    // Drums over a chord: far from a sine's 3 dB crest factor, not a noise burst either.
    const double crestDb = AmplitudeToDb(Peak(demo.left) / Rms(demo.left));
    EXPECT_GT(crestDb, 10.0) << rate;
    EXPECT_LT(crestDb, 25.0) << rate;
    // Spread: related but not identical channels.
    const double correlation = Correlation(demo.left, demo.right);
    EXPECT_GT(correlation, 0.5) << rate;
    EXPECT_LT(correlation, 0.999) << rate;
  }
}

TEST(TestSignals, DemoHasSharpAttacksAndIsReproducible) {
  const signals::Stereo a = signals::Demo(48000.0, 2.0);
  const signals::Stereo b = signals::Demo(48000.0, 2.0);
  EXPECT_EQ(a.left, b.left);
  EXPECT_EQ(a.right, b.right);
  // The kick on the downbeat reaches -12 dBFS within its first millisecond.
  const std::vector<double> attack(a.left.begin(), a.left.begin() + 48);
  EXPECT_GT(AmplitudeToDb(Peak(attack)), -12.0);
}

TEST(TestSignals, PinkNoiseHasEqualPowerPerOctaveAndIndependentChannels) {
  const double rate = 48000.0;
  const signals::Stereo pink = signals::PinkNoise(rate, 2.0, -20.0, 7);
  EXPECT_NEAR(AmplitudeToDb(Rms(pink.left)), -20.0, 1e-9);
  EXPECT_NEAR(AmplitudeToDb(Rms(pink.right)), -20.0, 1e-9);
  EXPECT_LT(std::abs(Correlation(pink.left, pink.right)), 0.05);

  // White noise would show 9 dB more power in the upper octave band (8 times the bandwidth).
  const double lowOctave = BandPower(pink.left, rate, 400.0, 800.0);
  const double highOctave = BandPower(pink.left, rate, 3200.0, 6400.0);
  EXPECT_NEAR(10.0 * std::log10(highOctave / lowOctave), 0.0, 1.5);

  EXPECT_EQ(signals::PinkNoise(rate, 2.0, -20.0, 7).left, pink.left);
  EXPECT_NE(signals::PinkNoise(rate, 2.0, -20.0, 8).left, pink.left);
}

TEST(TestSignals, IntersamplePeakToneHasFullScaleSamplesAndPlusThreeDbTruePeak) {
  const signals::Stereo tone = signals::IntersamplePeakTone(48000.0, 0.5);
  ASSERT_EQ(tone.left.size(), 24000u);
  EXPECT_EQ(tone.left, tone.right);
  for (size_t n = 0; n < tone.left.size(); n += 5)
    ASSERT_NEAR(tone.left[n], std::sqrt(2.0) * std::sin(std::numbers::pi * (n / 2.0 + 0.25)), 1e-9)
        << n;
  EXPECT_EQ(Peak(tone.left), 1.0);
  EXPECT_NEAR(TruePeakDb(Faded(tone, 2000)), 20.0 * std::log10(std::sqrt(2.0)), 0.05);
}

TEST(TestSignals, SineMatchesTheFormulaAndItsTruePeakItsAmplitude) {
  const auto sine = signals::Sine(48000.0, 1000.0, 0.5, 480, std::numbers::pi / 2.0);
  EXPECT_DOUBLE_EQ(sine[0], 0.5);
  EXPECT_NEAR(sine[12], 0.0, 1e-12);  // a quarter period later
  EXPECT_NEAR(sine[48], 0.5, 1e-12);  // one period later
  for (size_t n = 0; n < sine.size(); n += 7)
    EXPECT_NEAR(sine[n], 0.5 * std::cos(2.0 * std::numbers::pi * 1000.0 * n / 48000.0), 1e-12);

  const auto quiet = signals::Sine(48000.0, 997.0, DbToAmplitude(-20.0), 48000);
  EXPECT_NEAR(TruePeakDb({quiet, quiet, 48000.0}), -20.0, 0.02);
  EXPECT_TRUE(signals::Sine(48000.0, 1000.0, 1.0, 0).empty());
}

#endif  // ZARN_HAVE_APP
