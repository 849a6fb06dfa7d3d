// True-peak estimation and the peak catcher, measured against the suite's own reference meter.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <numbers>
#include <random>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "dsp/LookAheadRun.h"
#include "dsp/NyquistGuard.h"
#include "dsp/PeakCatcher.h"
#include "dsp/TruePeakDetector.h"
#include "dsp/WideGate.h"
#include "dsp/WideInterpolator.h"
#include "dsp/WideTruePeakMeter.h"
#include "dsp/kernels/CpuDispatch.h"
#include "dsp/kernels/DotProduct.h"
#include "dsp/kernels/ScaledToFloat.h"
#include "dsp/kernels/TruePeakKernel.h"
#include "dsp/kernels/TruePeakTable.h"
#include "support/ReferenceTruePeak.h"

namespace {

constexpr int kPhases = TruePeakTable::kPhases;
constexpr int kTaps = TruePeakTable::kTaps;

std::vector<double> Tone(double rate, double frequency, double amplitude, double phase,
                         int frames) {
  std::vector<double> x(static_cast<size_t>(frames));
  for (int n = 0; n < frames; ++n)
    x[n] = amplitude * std::sin(2.0 * std::numbers::pi * frequency / rate * n + phase);
  return x;
}

// A tone that starts with a 2 ms raised-cosine fade: an abrupt start is a click with content up to
// Nyquist, which the catcher's Nyquist guard rightly treats as a possible overshoot.
std::vector<double> FadedTone(double rate, double frequency, double amplitude, double phase,
                              int frames) {
  std::vector<double> x = Tone(rate, frequency, amplitude, phase, frames);
  const int fade = static_cast<int>(0.002 * rate);
  for (int n = 0; n < fade && n < frames; ++n)
    x[n] *= 0.5 - 0.5 * std::cos(std::numbers::pi * n / fade);
  return x;
}

// Hann-shaped burst of a tone, silent at both ends.
std::vector<double> Burst(double rate, double frequency, double amplitude, int frames) {
  std::vector<double> x = Tone(rate, frequency, amplitude, 0.4, frames);
  for (int n = 0; n < frames; ++n)
    x[n] *= 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * n / (frames - 1));
  return x;
}

// A click band-limited to 0.4 of the rate (a Blackman-windowed sinc), centred in `frames`: below
// the band where the catcher's Nyquist guard adds to its estimate.
std::vector<double> Click(int frames) {
  std::vector<double> x(static_cast<size_t>(frames), 0.0);
  const int centre = frames / 2, half = 40;
  for (int i = -half; i <= half; ++i) {
    const double sinc = i == 0 ? 0.8 : std::sin(0.8 * std::numbers::pi * i) / (std::numbers::pi * i);
    const double w = 0.42 + 0.5 * std::cos(std::numbers::pi * i / half) +
                     0.08 * std::cos(2.0 * std::numbers::pi * i / half);
    x[centre + i] = sinc * w;
  }
  return x;
}

std::vector<double> Scaled(std::vector<double> x, double gain) {
  for (double& v : x) v *= gain;
  return x;
}

// As in the engine, the catcher sees what is still in a 5-ms look-ahead at 48 kHz.
constexpr int kLookAhead = 240;

// One sample into the look-ahead, the one leaving it through the catcher.
double ThroughLookAheadAndCatcher(LookAheadRun& lookAhead, PeakCatcher& catcher, double entering,
                                  float ceilLin) {
  lookAhead.Append(&entering, 1);
  const double o = catcher.Process(lookAhead.Leaving(0), ceilLin,
                                   {lookAhead.Ahead(0), lookAhead.AheadExact(0), lookAhead.Length() - 1, 1.0});
  lookAhead.KeepNewest(1);
  return o;
}

std::vector<double> ThroughCatcher(PeakCatcher& catcher, const std::vector<double>& x,
                                   float ceilLin) {
  LookAheadRun lookAhead;
  lookAhead.Resize(kLookAhead + 1);
  std::vector<double> out(x.size());
  for (size_t i = 0; i < x.size() + kLookAhead; ++i) {
    const double o = ThroughLookAheadAndCatcher(lookAhead, catcher, i < x.size() ? x[i] : 0.0, ceilLin);
    if (i >= kLookAhead) out[i - kLookAhead] = o;
  }
  return out;
}

// The catcher's own estimate of the largest true peak of x: the wide reading of every interval,
// with the samples themselves.
float CatcherEstimate(const std::vector<double>& x) {
  constexpr int kWide = WideInterpolator::kTaps, kCentre = WideInterpolator::kCentre;
  std::vector<float> padded(kCentre, 0.0f);
  for (double v : x) padded.push_back(static_cast<float>(v));
  padded.resize(padded.size() + kWide, 0.0f);
  float peak = 0.0f;
  for (size_t start = 0; start + kWide <= padded.size(); ++start) {
    float y[kPhases];
    const float* window = padded.data() + start;
    WideInterpolator::Shared().Interpolate(window, y);
    peak = std::max(peak, truepeak::PeakOfPhases(y, std::fabs(window[kCentre])));
  }
  return peak;
}

// Index of the first output that is not the input delayed by 48 samples (at single precision),
// or -1.
long FirstAlteredSample(const std::vector<double>& in, const std::vector<double>& out) {
  for (size_t i = 0; i < out.size(); ++i) {
    const double expected = i < 48 ? 0.0 : static_cast<double>(static_cast<float>(in[i - 48]));
    if (out[i] != expected) return static_cast<long>(i);
  }
  return -1;
}

}  // namespace

TEST(TruePeakDetector, QuarterRateSineAt45DegreesReadsFullScale) {
  for (double rate : {44100.0, 48000.0}) {
    TruePeakTable table;
    table.Design(TruePeakTable::DetectionCutoff(rate));
    TruePeakDetector detector;
    detector.SetTable(&table);
    // +-sqrt(0.5) in the pattern + + - -: a full-scale sine between the samples.
    const std::vector<double> x = Tone(rate, rate / 4.0, 1.0, std::numbers::pi / 4.0, 480);
    // Each call measures one sample interval; every other interval holds a crest of the sine, so
    // every pair of consecutive readings should find one.
    float previous = 0.0f, lowest = 10.0f, highest = 0.0f;
    for (size_t n = 0; n < x.size(); ++n) {
      const float a = detector.Process(static_cast<float>(x[n]));
      if (n == 2 * kTaps) detector.ClearPeakHold();  // the switched-on start rings higher
      if (n > 2 * kTaps) {
        lowest = std::min(lowest, std::max(a, previous));
        highest = std::max(highest, a);
      }
      previous = a;
    }
    EXPECT_NEAR(lowest, 1.0, 0.005) << rate;
    EXPECT_NEAR(highest, 1.0, 0.005) << rate;
    EXPECT_NEAR(detector.PeakHold(), 1.0, 0.005) << rate;
  }
}

TEST(TruePeakDetector, ReadsSinesUpTo17kHzLikeTheReference) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> phase(0.0, 2.0 * std::numbers::pi);
  for (double rate : {44100.0, 48000.0}) {
    TruePeakTable table;
    table.Design(TruePeakTable::DetectionCutoff(rate));
    for (double f : {40.0, 997.0, 5000.0, 9000.0, 13000.0, 17000.0}) {
      // Longer than what the detector reads, so the reference's long window sees no end.
      const std::vector<double> x = Tone(rate, f, 0.5, phase(rng), 8600);
      TruePeakDetector detector;
      detector.SetTable(&table);
      float peak = 0.0f;
      for (size_t n = 0; n < 8000; ++n) {
        const float a = detector.Process(static_cast<float>(x[n]));
        if (n >= 4000) peak = std::max(peak, a);  // the points lie about 24 samples back
      }
      const double reference = reference::TruePeak(x.data(), x.size(), 4000 - 24, 8000 - 24);
      EXPECT_NEAR(reference::ToDb(peak), reference::ToDb(reference), 0.005)
          << f << " Hz at " << rate;
    }
  }
}

TEST(TruePeakKernel, VectorFormsAgreeWithScalarForms) {
  std::vector<TruePeakTable> tables(4);
  tables[0].Design(TruePeakTable::DetectionCutoff(44100.0));
  tables[1].Design(TruePeakTable::DetectionCutoff(48000.0));
  tables[2].Design(TruePeakTable::DetectionCutoff(96000.0));
  tables[3].Design(TruePeakTable::kCatcherCutoff);

  std::mt19937 rng(11);
  std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
  std::uniform_real_distribution<float> exponent(-20.0f, 20.0f);
  std::uniform_int_distribution<int> coin(0, 7);
  // Window kinds: full-scale noise; magnitudes spread over 40 decades; sparse spikes among zeros.
  auto fill = [&](int kind, float* w) {
    for (int m = 0; m < kTaps; ++m) {
      const float sign = uniform(rng) < 0.0f ? -1.0f : 1.0f;
      if (kind == 0) w[m] = uniform(rng);
      if (kind == 1) w[m] = sign * std::pow(10.0f, exponent(rng));
      if (kind == 2) w[m] = coin(rng) == 0 ? sign * std::pow(10.0f, exponent(rng)) : 0.0f;
    }
  };

  // Every instruction-set variant this processor can run, and the one InterpolatePhases picked.
  std::vector<truepeak::KernelVariant> kernels = truepeak::AvailableKernels();
  kernels.push_back({"dispatched", truepeak::InterpolatePhases});
  for (const TruePeakTable& table : tables) {
    for (int kind = 0; kind < 3; ++kind) {
      for (int trial = 0; trial < 300; ++trial) {
        alignas(64) float window[kTaps];
        fill(kind, window);
        float scalar[kPhases];
        truepeak::InterpolatePhasesScalar(table, window, scalar);
        // Relative to the scale rounding works on, however much the terms cancel: the vector
        // forms add mirrored samples first (x[i] + x[47 - i]) and weigh them with the larger of
        // the two weights.
        double scale[kPhases] = {};
        for (int k = 0; k < kPhases; ++k)
          for (int i = 0; i < kTaps / 2; ++i) {
            const double weight = std::max(std::fabs(table.Coefficient(k, kTaps - 1 - i)),
                                           std::fabs(table.Coefficient(k, i)));
            scale[k] += weight * (std::fabs(window[i]) + std::fabs(window[kTaps - 1 - i]));
          }
        for (const truepeak::KernelVariant& kernel : kernels) {
          float vector[kPhases];
          kernel.fn(table, window, vector);
          for (int k = 0; k < kPhases; ++k)
            ASSERT_LE(std::fabs(static_cast<double>(vector[k]) - scalar[k]), 1e-6 * scale[k] + 1e-37)
                << kernel.name << " phase " << k << " kind " << kind << " trial " << trial;
        }
        const float start = coin(rng) < 4 ? 0.0f : std::fabs(window[kTaps - 1]);
        const float pv = truepeak::PeakOfPhases(scalar, start);
        const float ps = truepeak::PeakOfPhasesScalar(scalar, start);
        ASSERT_LE(std::fabs(pv - ps), 1e-6f * ps) << "kind " << kind << " trial " << trial;
      }
    }
  }
  EXPECT_EQ(kernels.back().fn, truepeak::InterpolatePhases);
  EXPECT_STREQ(kernels[kernels.size() - 2].name, "scalar");  // always there, always last
}

// The vector forms use that phase 15 - k is phase k reversed in time; a filter designed otherwise
// would read the upper eight phases wrong.
TEST(TruePeakKernel, PhasesMirrorEachOtherAndTheWideFormsAgreeWithThePlainOne) {
  const WideInterpolator& wide = WideInterpolator::Shared();
  constexpr int kWide = WideInterpolator::kTaps;
  for (int k = 0; k < kPhases; ++k)
    for (int i = 0; i < kWide; ++i)
      ASSERT_NEAR(wide.Coefficient(kPhases - 1 - k, kWide - 1 - i), wide.Coefficient(k, i), 1e-7)
          << "phase " << k << " tap " << i;
  TruePeakTable table;
  table.Design(TruePeakTable::DetectionCutoff(44100.0));
  for (int k = 0; k < kPhases; ++k)
    for (int m = 0; m < kTaps; ++m)
      ASSERT_NEAR(table.Coefficient(kPhases - 1 - k, kTaps - 1 - m), table.Coefficient(k, m), 1e-7);

  std::mt19937 rng(5);
  std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
  for (int trial = 0; trial < 200; ++trial) {
    // Noise, with every eighth window a lone spike among zeros.
    alignas(32) float window[kWide];
    for (float& x : window) x = trial % 8 == 7 ? 0.0f : uniform(rng);
    if (trial % 8 == 7) window[trial % kWide] = 1.0f;
    float plain[kPhases], vector[kPhases], baseline[kPhases];
    wide.InterpolateScalar(window, plain);
    wide.Interpolate(window, vector);
    for (int k = 0; k < kPhases; ++k) {
      ASSERT_NEAR(vector[k], plain[k], 2e-6f) << "phase " << k << " trial " << trial;
    }
    // The points and their peak in one pass are the points and the peak searched apart, wherever
    // the peak exceeds the floor given; elsewhere the result does not exceed the floor either
    // (floors from far below the points to far above, and right at the peak).
    const float a = trial % 3 == 0 ? 0.0f : std::fabs(window[WideInterpolator::kCentre]);
    const float exact = truepeak::PeakOfPhases(vector, a);
    for (float floor : {0.0f, 0.5f * exact, 0.89f * exact, std::nextafter(exact, 0.0f), exact, 1.2f * exact}) {
      float fused[kPhases];
      const float peak = wide.Peak(window, a, floor, fused);
      if (exact > floor)
        ASSERT_EQ(peak, exact) << "trial " << trial << ", floor " << floor;
      else
        ASSERT_LE(peak, floor) << "trial " << trial << ", floor " << floor;
      for (int k = 0; k < kPhases; ++k) ASSERT_EQ(fused[k], vector[k]) << "phase " << k << " trial " << trial;
    }
    folded::InterpolateBaseline(table.folded, window, baseline);
    truepeak::InterpolatePhasesScalar(table, window, plain);
    for (int k = 0; k < kPhases; ++k) ASSERT_NEAR(baseline[k], plain[k], 1e-6f) << "phase " << k;
  }
}

// Every vector form of a window's points (one window alone, eight at once, later forms that
// batch windows) must add in one order for their readings to be interchangeable: per phase, four
// chains of fused multiply-adds (tap mod 4, rising), closed as (0 + 1) + (2 + 3). `points` gives
// the form's y for a window.
template <int N, typename Points>
void ExpectTheChainOrder(const FoldedTaps<N>& taps, std::mt19937& rng, Points points, const char* form) {
  std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
  for (int trial = 0; trial < 100; ++trial) {
    alignas(32) float window[N];
    for (float& x : window) x = uniform(rng) * (trial % 4 == 3 ? 1e-30f : 1.0f);
    float y[kPhases];
    points(window, y);
    for (int k = 0; k < 8; ++k) {
      float part[2];
      for (int which = 0; which < 2; ++which) {
        float chain[4] = {};
        for (int i = 0; i < N / 2; ++i) {
          const float mirrored = which == 0 ? window[i] + window[N - 1 - i] : window[i] - window[N - 1 - i];
          chain[i % 4] = std::fmaf(which == 0 ? taps.sum[i][k] : taps.diff[i][k], mirrored, chain[i % 4]);
        }
        part[which] = (chain[0] + chain[1]) + (chain[2] + chain[3]);
      }
      ASSERT_EQ(y[k], part[0] + part[1]) << form << ", " << N << " taps, phase " << k << ", trial " << trial;
      ASSERT_EQ(y[kPhases - 1 - k], part[0] - part[1])
          << form << ", " << N << " taps, phase " << 15 - k << ", trial " << trial;
    }
  }
}

TEST(TruePeakKernel, VectorFormsAddInTheOneChainOrder) {
  if (!cpu::UseAvx2()) GTEST_SKIP() << "no AVX2 here: the baseline form adds in its own order";
  std::mt19937 rng(17);
  TruePeakTable table;
  table.Design(TruePeakTable::kCatcherCutoff);
  auto dispatched = [](const auto& taps) {
    return [&taps](const float* window, float* y) { folded::Interpolate(taps, window, y); };
  };
  ExpectTheChainOrder(table.folded, rng, dispatched(table.folded), "dispatched");
  const WideInterpolator& wide = WideInterpolator::Shared();
  FoldedTaps<WideInterpolator::kTaps> wideTaps;
  wideTaps.Fold([&wide](int k, int i) { return static_cast<double>(wide.Coefficient(k, i)); });
  ExpectTheChainOrder(wideTaps, rng, dispatched(wideTaps), "dispatched");
  // Every vector form of the wide reading, with a floor that keeps its points' search.
  for (const auto& form : truepeak::AvailableWidePeakForms()) {
    if (std::string_view(form.name) == "baseline") continue;
    ExpectTheChainOrder(
        wideTaps, rng, [&](const float* window, float* y) { form.fn(wideTaps, window, 0.0f, 0.0f, y); }, form.name);
  }
}

// A run of the tests told to keep to AVX2 (ZARN_TEST_CPU=avx2) gets the AVX2 forms everywhere.
TEST(CpuForms, ARunKeptToAvx2UsesNoAvx512Form) {
  const char* cpu = std::getenv("ZARN_TEST_CPU");
  if (cpu == nullptr || std::string_view(cpu) != "avx2") GTEST_SKIP() << "this run may use every form";
  EXPECT_FALSE(cpu::HasAvx512());
  for (const auto& form : truepeak::AvailableWidePeakForms()) EXPECT_STRNE(form.name, "avx512");
  for (const auto& form : truepeak::AvailablePeaksForms()) EXPECT_STRNE(form.name, "avx512");
}

// The dispatch takes the widest form the processor (and the run) allows; a function with two forms
// only falls back to its AVX2 one where AVX-512 is there.
namespace {
int FormAvx512() { return 512; }
int FormAvx2() { return 2; }
int FormBaseline() { return 0; }
}  // namespace
TEST(CpuForms, TheDispatchTakesTheWidestFormThereIs) {
  const int widest = cpu::HasAvx512() ? 512 : (cpu::UseAvx2() ? 2 : 0);
  EXPECT_EQ((cpu::Dispatch<int (*)(), FormAvx2, FormBaseline, FormAvx512>::Call()), widest);
  EXPECT_EQ((cpu::Dispatch<int (*)(), FormAvx2, FormBaseline>::Call()), cpu::UseAvx2() ? 2 : 0);
  EXPECT_TRUE(!cpu::HasAvx512() || cpu::UseAvx2());
  const char* name = widest == 512 ? "avx512" : (widest == 2 ? "avx2" : "baseline");
  EXPECT_STREQ(truepeak::AvailableWidePeakForms().front().name, name);
  EXPECT_STREQ(truepeak::AvailablePeaksForms().front().name, name);
  EXPECT_STREQ(simd::AvailableDotForms().front().name, name);
}

// Material the vector forms must read alike, lane for lane: noise at full scale, far below it and
// far above it, a lone spike among zeros, a plateau (ties between phases) and the Nyquist tone.
constexpr int kMaterials = 6;
void FillMaterial(int kind, std::mt19937& rng, float* x, int n) {
  std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
  for (int i = 0; i < n; ++i) {
    switch (kind) {
      case 0: x[i] = uniform(rng); break;
      case 1: x[i] = uniform(rng) * 1e-20f; break;
      case 2: x[i] = uniform(rng) * 1e30f; break;
      case 3: x[i] = 0.0f; break;
      case 4: x[i] = 0.75f; break;
      default: x[i] = i % 2 ? -0.9f : 0.9f; break;
    }
  }
  if (kind == 3 && n > 0) x[static_cast<size_t>(rng()) % static_cast<size_t>(n)] = 0.9f;
}

// The wide reading's forms read every window alike, peaks included, for whatever floor.
TEST(TruePeakKernel, EveryVectorFormOfTheWideReadingGivesTheSamePeak) {
  const auto& forms = truepeak::AvailableWidePeakForms();
  EXPECT_STREQ(forms.back().name, "baseline");  // always there, always last
  if (forms.size() < 3) GTEST_SKIP() << "one vector form here: nothing to compare it with";
  const WideInterpolator& wide = WideInterpolator::Shared();
  FoldedTaps<WideInterpolator::kTaps> taps;
  taps.Fold([&wide](int k, int i) { return static_cast<double>(wide.Coefficient(k, i)); });
  std::mt19937 rng(23);
  for (int trial = 0; trial < 300; ++trial) {
    alignas(32) float window[WideInterpolator::kTaps];
    FillMaterial(trial % kMaterials, rng, window, WideInterpolator::kTaps);
    const float a = trial % 2 ? std::fabs(window[WideInterpolator::kCentre]) : 0.0f;
    float reference[kPhases];
    const float exact = forms[forms.size() - 2].fn(taps, window, a, 0.0f, reference);
    for (float floor : {0.0f, 0.5f * exact, std::nextafter(exact, 0.0f), exact, 2.0f * exact}) {
      float anyFloor[kPhases];
      const float expected = forms[forms.size() - 2].fn(taps, window, a, floor, anyFloor);
      for (size_t f = 0; f + 2 < forms.size(); ++f) {
        float y[kPhases];
        ASSERT_EQ(forms[f].fn(taps, window, a, floor, y), expected) << forms[f].name << ", trial " << trial;
        for (int k = 0; k < kPhases; ++k) ASSERT_EQ(y[k], reference[k]) << forms[f].name << ", phase " << k;
      }
    }
  }
}

TEST(TruePeakKernel, PeakOfPhasesHandlesPlateausEndsAndSigns) {
  std::vector<std::vector<float>> cases = {
      std::vector<float>(kPhases, 0.0f),
      std::vector<float>(kPhases, -0.5f),  // one long plateau
  };
  std::vector<float> ramp(kPhases), valley(kPhases), alternating(kPhases), twin(kPhases, 0.1f);
  for (int k = 0; k < kPhases; ++k) {
    ramp[k] = 0.05f * k;  // largest at the last phase, which is never refined
    valley[k] = std::fabs(k - 7.5f) * 0.1f;
    alternating[k] = (k % 2 ? -1.0f : 1.0f) * (0.2f + 0.03f * k);
  }
  twin[6] = twin[7] = 0.8f;  // a flat top of two equal phases
  twin[5] = 0.6f;
  twin[8] = 0.7f;
  cases.insert(cases.end(), {ramp, valley, alternating, twin});
  for (size_t i = 0; i < cases.size(); ++i)
    for (float start : {0.0f, 0.3f, 2.0f})
      EXPECT_EQ(truepeak::PeakOfPhases(cases[i].data(), start),
                truepeak::PeakOfPhasesScalar(cases[i].data(), start))
          << "case " << i << " start " << start;
  // The refinement can only raise the estimate, and the flat top rises above its two points.
  EXPECT_GT(truepeak::PeakOfPhasesScalar(twin.data(), 0.0f), 0.8f);
  EXPECT_EQ(truepeak::PeakOfPhasesScalar(ramp.data(), 0.0f), ramp.back());
}

// The catcher's look-ahead, brought to its gain and to floats, rounds every product as the plain
// loop does, at every length around the vector widths, for values that overflow, vanish or are
// not numbers too.
TEST(ScaledToFloat, RoundsEveryValueAsThePlainLoop) {
  std::mt19937 rng(29);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  std::vector<double> x(40);
  for (size_t i = 0; i < x.size(); ++i) x[i] = uniform(rng) * (i % 7 == 3 ? 1e300 : (i % 7 == 5 ? 1e-310 : 1.0));
  x[11] = std::numeric_limits<double>::quiet_NaN();
  x[17] = -std::numeric_limits<double>::infinity();
  for (double gain : {1.0, 0.7071067811865476, 1e-30, 3e38})
    for (int n = 0; n <= 40; ++n) {
      std::vector<float> fast(41, -7.0f), plain(41, -7.0f);
      simd::ScaledToFloat(x.data(), gain, n, fast.data());
      simd::ScaledToFloatPlain(x.data(), gain, n, plain.data());
      for (int j = 0; j <= n; ++j)
        ASSERT_EQ(std::memcmp(&fast[j], &plain[j], sizeof(float)), 0) << "gain " << gain << ", n " << n << ", " << j;
    }
}

TEST(TruePeakCatcher, FirstOutputsAreSilenceThenTheInputDelayedBy48Samples) {
  PeakCatcher catcher;
  catcher.Prepare(48000.0);
  const std::vector<double> x = Tone(48000.0, 997.0, 0.5, 0.1, 1000);
  const std::vector<double> out = ThroughCatcher(catcher, x, 0.9f);
  for (int i = 0; i < 48; ++i) ASSERT_EQ(out[i], 0.0) << i;
  EXPECT_EQ(FirstAlteredSample(x, out), -1);
}

TEST(TruePeakCatcher, SignalsAtOrJustUnderTheCeilingPassUnchanged) {
  const std::vector<std::vector<double>> signalsToPass = {
      FadedTone(48000.0, 997.0, 0.8, 0.3, 4000), FadedTone(48000.0, 5000.0, 0.8, 1.1, 4000),
      FadedTone(48000.0, 15000.0, 0.8, 2.0, 4000), Burst(48000.0, 3000.0, 0.8, 960), Click(400)};
  for (size_t i = 0; i < signalsToPass.size(); ++i) {
    const std::vector<double>& x = signalsToPass[i];
    // Exactly at the ceiling as the catcher itself measures it.
    {
      PeakCatcher catcher;
      catcher.Prepare(48000.0);
      EXPECT_EQ(FirstAlteredSample(x, ThroughCatcher(catcher, x, CatcherEstimate(x))), -1)
          << "signal " << i;
    }
    // A hair (0.01 dB) under the ceiling by the reference meter.
    {
      PeakCatcher catcher;
      catcher.Prepare(48000.0);
      const auto ceiling = static_cast<float>(reference::TruePeak(x) * std::pow(10.0, 0.01 / 20.0));
      EXPECT_EQ(FirstAlteredSample(x, ThroughCatcher(catcher, x, ceiling)), -1) << "signal " << i;
    }
  }
}

TEST(TruePeakCatcher, PullsA10PercentOvershootDownToTheCeiling) {
  constexpr float kCeiling = 0.9f;
  for (double rate : {44100.0, 48000.0, 96000.0, 192000.0}) {
    const std::vector<std::vector<double>> shapes = {
        Burst(rate, 1000.0, 1.0, 2000), Burst(rate, 6000.0, 1.0, 600),
        Burst(rate, 15000.0, 1.0, 600), Tone(rate, 3000.0, 1.0, 0.7, 4000), Click(400)};
    for (size_t i = 0; i < shapes.size(); ++i) {
      // 10 % over the ceiling by the reference meter.
      const std::vector<double> x = Scaled(shapes[i], 1.1 * kCeiling / reference::TruePeak(shapes[i]));
      std::vector<double> padded = x;
      padded.resize(x.size() + 200, 0.0);  // let the catcher hand out everything it holds
      PeakCatcher catcher;
      catcher.Prepare(rate);
      const std::vector<double> out = ThroughCatcher(catcher, padded, kCeiling);
      const double overDb = reference::ToDb(reference::TruePeak(out)) - reference::ToDb(kCeiling);
      // Up to 96 kHz the dip over-corrects and the result is at the ceiling. At 192 kHz it does
      // not, and two passes may leave a residue; the engine's ceiling lies 0.04 dB under the
      // user's for that.
      EXPECT_LE(overDb, rate < 100000.0 ? 0.01 : 0.04) << "shape " << i << " at " << rate;
      // A correction, not a mute: the loudest point stays within 1.5 dB of the ceiling.
      EXPECT_GT(overDb, -1.5) << "shape " << i << " at " << rate;
    }
  }
}

// A peak made of one sample needs exactly its own excess taken: the over-correction meant for
// broad peaks, or dips that compound, would leave it far under the ceiling.
TEST(TruePeakCatcher, ClicksFarOverTheCeilingLandOnIt) {
  constexpr float kCeiling = 0.9f;
  for (double over : {1.1, 1.5, 4.0, 30.0}) {
    std::vector<double> x = Scaled(Click(400), over * kCeiling / reference::SamplePeak(Click(400)));
    x.resize(x.size() + 200, 0.0);
    PeakCatcher catcher;
    catcher.Prepare(48000.0);
    const std::vector<double> out = ThroughCatcher(catcher, x, kCeiling);
    const double peakDb = reference::ToDb(reference::TruePeak(out)) - reference::ToDb(kCeiling);
    EXPECT_LE(peakDb, 0.01) << over << " times the ceiling";
    EXPECT_GE(peakDb, -0.1) << over << " times the ceiling";
  }
}

// Tones in the top few percent of the band, where the 48-tap interpolator reads low: the wide
// reading must make up for it. With no gain computer in front, the catcher holds them alone.
TEST(TruePeakCatcher, HoldsTonesNearNyquist) {
  constexpr float kCeiling = 0.9f;
  for (double rate : {44100.0, 48000.0, 96000.0})
    for (double fraction : {0.46, 0.47, 0.48, 0.49}) {
      const std::vector<double> tone = FadedTone(rate, fraction * rate, 1.0, 0.5, 3000);
      std::vector<double> x = Scaled(tone, 1.1 * kCeiling / reference::TruePeak(tone));
      x.resize(x.size() + 200, 0.0);
      PeakCatcher catcher;
      catcher.Prepare(rate);
      const std::vector<double> out = ThroughCatcher(catcher, x, kCeiling);
      const double overDb = reference::ToDb(reference::TruePeak(out)) - reference::ToDb(kCeiling);
      EXPECT_LE(overDb, 0.03) << rate << " Hz, " << fraction << " fs";
    }
}

// The output meter takes the catcher's readings of what leaves it instead of reading the output
// again: every reading handed over must be the one the meter would make, though dips cut after
// a reading change the samples it read.
TEST(TruePeakCatcher, HandsTheOutputMeterExactlyTheReadingsItWouldMake) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  // Full-band bursts well over the ceiling between quieter tones: dips close together.
  std::vector<double> x;
  for (int burst = 0; burst < 12; ++burst) {
    for (int n = 0; n < 400; ++n) x.push_back(1.4 * uniform(rng));
    const std::vector<double> tone = Tone(48000.0, 997.0 + 300.0 * burst, 0.5, 0.1, 900);
    x.insert(x.end(), tone.begin(), tone.end());
  }
  PeakCatcher catcher;
  catcher.Prepare(48000.0);
  LookAheadRun lookAhead;
  lookAhead.Resize(kLookAhead + 1);
  std::vector<double> out;
  std::vector<float> readings;
  for (double v : x) {
    out.push_back(ThroughLookAheadAndCatcher(lookAhead, catcher, v, 0.8f));
    readings.push_back(catcher.LeavingReading());
  }

  const TruePeakTable& table = TruePeakTable::DefaultCatcher();
  int given = 0, forgotten = 0;
  for (size_t i = kTaps - 1; i < out.size(); ++i) {
    if (std::isnan(readings[i])) {
      ++forgotten;
      continue;
    }
    float window[kTaps];
    for (int m = 0; m < kTaps; ++m) window[m] = static_cast<float>(out[i - kTaps + 1 + m]);
    ASSERT_EQ(readings[i], truepeak::InterpolatedPeak(table, window, 0.0f)) << "sample " << i;
    ++given;
  }
  EXPECT_GT(forgotten, 100);  // dips did change samples already read
  EXPECT_GT(given, static_cast<int>(out.size()) / 2);

  // Fed with the readings, in runs of uneven length and reset on the way, the meter holds
  // exactly what it holds reading everything itself, and what it holds taking one sample at a
  // time (its gate's first test is made for a run at once, against the hold the run began with).
  WideTruePeakMeter alone, fed, oneByOne;
  const int runs[] = {1, 255, 256, 257, 47, 48, 700};
  size_t start = 0;
  for (int r = 0; start < out.size(); ++r) {
    const int n = std::min<int>(runs[r % 7], static_cast<int>(out.size() - start));
    alone.ProcessRun(out.data() + start, n);
    fed.ProcessRun(out.data() + start, readings.data() + start, n);
    for (int i = 0; i < n; ++i) oneByOne.Process(static_cast<float>(out[start + i]));
    ASSERT_EQ(fed.PeakHold(), alone.PeakHold()) << "after sample " << start + n;
    ASSERT_EQ(oneByOne.PeakHold(), alone.PeakHold()) << "after sample " << start + n;
    if (r == 9) {
      for (WideTruePeakMeter* m : {&alone, &fed, &oneByOne}) m->Reset();
    }
    // Cleared now and then: the hold also rises within a run.
    if (r % 4 == 3) {
      for (WideTruePeakMeter* m : {&alone, &fed, &oneByOne}) m->ClearPeakHold();
    }
    start += n;
  }
}

// The output meter holds the wide reading of the loudest interval, the same in runs of any length
// as one sample at a time, on material that grows louder within runs (so the hold rises during a
// run, and the gate's first test, made for the whole run against the hold it began with, must
// leave the exact test to each window): full-band noise, and a quarter-rate tone whose peaks fall
// between its samples; and on noise clipped at one level, as a loud master, where nearly every
// window passes the gate and long runs read their windows a stretch at once.
TEST(WideTruePeakMeter, RunsHoldTheWideReadingOfTheLoudestInterval) {
  std::mt19937 rng(43);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  for (int kind : {0, 1, 2}) {
    const bool tone = kind == 1;
    std::vector<double> x;
    for (int n = 0; n < 6000; ++n) {
      const double level = 0.2 + 0.7 * n / 6000.0;
      if (kind == 2)
        x.push_back(std::clamp(1.5 * uniform(rng), -0.8, 0.8));
      else
        x.push_back(level * (tone ? std::sin(0.5 * std::numbers::pi * n + 0.25 * std::numbers::pi) : uniform(rng)));
    }
    WideTruePeakMeter runs, oneByOne;
    const int lengths[] = {700, 1, 255, 256, 257, 47, 48};
    for (size_t start = 0, r = 0; start < x.size(); ++r) {
      const int n = std::min<int>(lengths[r % 7], static_cast<int>(x.size() - start));
      runs.ProcessRun(x.data() + start, n);
      for (int i = 0; i < n; ++i) oneByOne.Process(static_cast<float>(x[start + i]));
      ASSERT_EQ(runs.PeakHold(), oneByOne.PeakHold()) << "kind " << kind << ", after sample " << start + n;
      start += static_cast<size_t>(n);
    }
    runs.Flush();
    oneByOne.Flush();
    EXPECT_EQ(runs.PeakHold(), CatcherEstimate(x)) << "kind " << kind;
    EXPECT_EQ(oneByOne.PeakHold(), CatcherEstimate(x)) << "kind " << kind;
  }
}

// Consecutive windows read eight, sixteen or thirty-two at a time give exactly what reading each
// alone gives, in every form this processor runs, for runs of every length around the vector
// widths and over material of every kind, with and without the newest sample counting.
TEST(TruePeakKernel, RunsOfWindowsReadExactlyAsOneAtATime) {
  TruePeakTable table;
  table.Design(TruePeakTable::DetectionCutoff(48000.0));
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
  std::uniform_real_distribution<float> exponent(-20.0f, 20.0f);
  // The baseline adds in its own order: it is checked where it is the one-window form's too.
  std::vector<truepeak::Form<truepeak::PeaksFn>> forms = truepeak::AvailablePeaksForms();
  forms.pop_back();
  forms.push_back({"dispatched", [](const TruePeakTable& t, const float* line, int count, float* peaks, bool newest) {
                     if (newest)
                       truepeak::InterpolatedPeaks(t, line, count, peaks);
                     else
                       truepeak::InterpolatedPointPeaks(t, line, count, peaks);
                   }});
  for (int count = 0; count <= 72; ++count) {
    std::vector<float> line(static_cast<size_t>(count + kTaps - 1));
    const int kind = count % (kMaterials + 1);
    if (kind == kMaterials)  // magnitudes spread over 40 decades
      for (float& x : line) x = std::pow(10.0f, exponent(rng)) * uniform(rng);
    else
      FillMaterial(kind, rng, line.data(), static_cast<int>(line.size()));
    for (const auto& form : forms)
      for (bool newest : {true, false}) {
        std::vector<float> peaks(static_cast<size_t>(count) + 1, -1.0f);
        form.fn(table, line.data(), count, peaks.data(), newest);
        for (int t = 0; t < count; ++t) {
          const float a = newest ? std::fabs(line[t + kTaps - 1]) : 0.0f;
          ASSERT_EQ(peaks[t], truepeak::InterpolatedPeak(table, line.data() + t, a))
              << form.name << ", window " << t << " of " << count << (newest ? "" : ", newest not counting");
        }
        EXPECT_EQ(peaks[count], -1.0f) << form.name << " wrote past the run";
      }
  }
}

// Wide readings of consecutive windows taken sixteen or 64 at once give exactly what reading each
// alone gives with nothing to skip, over runs of every length around the pass widths and
// material of every kind; nothing is read past the sixteens, and nothing at all where the
// processor cannot.
TEST(TruePeakKernel, WideReadingsAtOnceReadExactlyAsOneAtATime) {
  const WideInterpolator& wide = WideInterpolator::Shared();
  constexpr int kWide = WideInterpolator::kTaps, kCentre = WideInterpolator::kCentre;
  std::mt19937 rng(31);
  std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
  for (int count : {0, 15, 16, 17, 63, 64, 65, 80, 95, 96, 127, 128, 143, 256}) {
    for (int kind = 0; kind <= kMaterials; ++kind) {
      std::vector<float> line(static_cast<size_t>(count + kWide - 1));
      if (kind == kMaterials)  // clipped noise: plateaus, where a lane may have two maxima
        for (float& x : line) x = std::clamp(2.0f * uniform(rng), -0.8f, 0.8f);
      else
        FillMaterial(kind, rng, line.data(), static_cast<int>(line.size()));
      std::vector<float> peaks(static_cast<size_t>(count) + 1, -1.0f);
      const int done = wide.SixteensOfPeaks(line.data(), count, peaks.data());
      ASSERT_EQ(done, WideInterpolator::ReadsSixteensAtOnce() ? count / 16 * 16 : 0);
      for (int t = 0; t < done; ++t) {
        const float* window = line.data() + t;
        const float around = std::max(std::fabs(window[kCentre]), std::fabs(window[kCentre + 1]));
        float y[kPhases];
        ASSERT_EQ(peaks[t], wide.Peak(window, around, 0.0f, y)) << "window " << t << " of " << count << ", kind " << kind;
      }
      EXPECT_EQ(peaks[done], -1.0f) << "read past the sixteens, " << count;
    }
  }
}

// The same for windows whose look-ahead is each their own, at gains that differ from window to
// window, as the peak catcher's run gives them: each exactly what the window gathered and read
// alone gives.
TEST(TruePeakKernel, WideReadingsAtOnceWithTheirOwnLookAheadReadExactlyAsOneAtATime) {
  const WideInterpolator& wide = WideInterpolator::Shared();
  constexpr int kWide = WideInterpolator::kTaps, kCentre = WideInterpolator::kCentre;
  constexpr int kKnown = WideInterpolator::kKnownPart, kAhead = kWide - kKnown;
  std::mt19937 rng(37);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0), gainOf(0.2, 1.0);
  for (int count : {0, 16, 31, 64, 80, 100, 256}) {
    for (int kind = 0; kind <= kMaterials; ++kind) {
      std::vector<float> known(static_cast<size_t>(count + kKnown - 1));
      FillMaterial(kind % kMaterials, rng, known.data(), static_cast<int>(known.size()));
      std::vector<double> ahead(static_cast<size_t>(count + kAhead - 1)), gains(static_cast<size_t>(count));
      for (double& x : ahead) x = kind == kMaterials ? 1e-39 * uniform(rng) : 1.5 * uniform(rng);  // or below floats
      for (double& g : gains) g = gainOf(rng);
      std::vector<float> peaks(static_cast<size_t>(count) + 1, -1.0f);
      const int done = wide.SixteensOfPeaks(known.data(), ahead.data(), gains.data(), count, peaks.data());
      ASSERT_EQ(done, WideInterpolator::ReadsSixteensAtOnce() ? count / 16 * 16 : 0);
      for (int t = 0; t < done; ++t) {
        float window[kWide];
        std::copy_n(known.data() + t, kKnown, window);
        for (int r = 0; r < kAhead; ++r) window[kKnown + r] = static_cast<float>(gains[t] * ahead[t + r]);
        const float around = std::max(std::fabs(window[kCentre]), std::fabs(window[kCentre + 1]));
        float y[kPhases];
        ASSERT_EQ(peaks[t], wide.Peak(window, around, 0.0f, y)) << "window " << t << " of " << count << ", kind " << kind;
      }
      EXPECT_EQ(peaks[done], -1.0f) << "read past the sixteens, " << count;
    }
  }
}

// The detector's run forms against its one-sample form: the same peak for every sample, and a
// hold that skips only windows that cannot reach it, over loud and quiet stretches (so both the
// skipped and the read paths run) in runs of uneven length.
TEST(TruePeakDetector, RunFormsMatchTheOneSampleForm) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  std::vector<double> x;
  for (int stretch = 0; stretch < 16; ++stretch) {
    const double level = stretch % 2 == 0 ? 0.9 : 0.05 * stretch;
    for (int n = 0; n < 300 + 37 * stretch; ++n) x.push_back(level * uniform(rng));
  }
  TruePeakDetector single, run, hold;
  const int runs[] = {1, 7, 8, 9, 255, 256, 257, 600, 64};
  size_t start = 0;
  for (int r = 0; start < x.size(); ++r) {
    const int n = std::min<int>(runs[r % 9], static_cast<int>(x.size() - start));
    std::vector<float> peaks(static_cast<size_t>(n));
    run.ProcessRun(x.data() + start, n, peaks.data());
    hold.HoldRun(x.data() + start, n);
    for (int i = 0; i < n; ++i)
      ASSERT_EQ(peaks[i], single.Process(static_cast<float>(x[start + i]))) << "sample " << start + i;
    ASSERT_EQ(run.PeakHold(), single.PeakHold());
    ASSERT_EQ(hold.PeakHold(), single.PeakHold()) << "run ending at " << start + n;
    if (r % 3 == 0)
      for (TruePeakDetector* d : {&single, &run, &hold}) d->ClearPeakHold();
    start += n;
  }
}

// The output meter's cheap gate: its spread bound, four windows a pass, is exactly the bound of
// each window alone, and the cheap test never says no where the full one says yes, on material
// from near silence to clipped full band.
TEST(WideGateBound, NeverMissesWhatTheFullTestCatchesAndIsTheSameInBatches) {
  const WideGate& gate = WideGate::Shared();
  constexpr int kWide = WideInterpolator::kTaps;
  std::mt19937 rng(17);
  std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
  for (int trial = 0; trial < 40; ++trial) {
    const int count = 1 + trial * 7;
    const float level = std::pow(10.0f, -0.15f * static_cast<float>(trial % 20));
    std::vector<float> x(static_cast<size_t>(count + kWide - 1));
    for (float& v : x) v = std::clamp(1.5f * level * uniform(rng), -level, level);
    std::vector<double> prefix(x.size() + 1, 12.5);  // any constant offset
    for (size_t i = 0; i < x.size(); ++i) prefix[i + 1] = prefix[i] + static_cast<double>(x[i]) * x[i];
    std::vector<double> batch(static_cast<size_t>(count));
    gate.SpreadBounds(prefix.data(), count, batch.data());
    for (int t = 0; t < count; ++t) {
      double alone;
      gate.SpreadBounds(prefix.data() + t, 1, &alone);
      ASSERT_EQ(batch[t], alone) << "window " << t << " of " << count;
      const float* window = x.data() + t;
      float y[kPhases];
      truepeak::InterpolatePhases(TruePeakTable::DefaultCatcher(), window + WideGate::kShortOffset, y);
      const float shortPeak = truepeak::PeakOfPhases(y, 0.0f);
      for (float threshold : {0.5f * level, level, 1.2f * level, 2.0f * level}) {
        if (!gate.MayExceed(shortPeak, 0.0f, window, threshold)) continue;
        ASSERT_TRUE(gate.MayExceedSpread(shortPeak, 0.0f, batch[t], threshold))
            << "window " << t << ", threshold " << threshold;
      }
    }
  }
}

// The near-Nyquist guard taken a run at a time (eight or sixteen windows a pass) against one sample at a
// time: the same envelope everywhere, for runs longer than one pass and across the ring's wrap.
TEST(NyquistGuardRuns, MatchOneSampleAtATime) {
  std::mt19937 rng(23);
  std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
  NyquistGuard single, runs;
  const int lengths[] = {1, 7, 8, 9, 255, 256, 300, 513, 31};
  for (int r = 0; r < 27; ++r) {
    std::vector<float> x(static_cast<size_t>(lengths[r % 9]));
    for (float& v : x) v = (r % 2 == 0 ? 1.0f : 1e-3f) * uniform(rng);
    for (float v : x) single.Push(v);
    runs.PushRun(x.data(), static_cast<int>(x.size()));
    for (int back = 24; back <= 500; back += 19)
      ASSERT_EQ(runs.Envelope(back), single.Envelope(back)) << "run " << r << ", back " << back;
    // The envelopes of consecutive samples at once, across the ring's wrap.
    for (int count : {1, 9, 256}) {
      const int firstBack = 24 + count - 1 + r * 7;
      std::vector<float> envelopes(static_cast<size_t>(count));
      runs.Envelopes(firstBack, count, envelopes.data());
      for (int i = 0; i < count; ++i)
        ASSERT_EQ(envelopes[static_cast<size_t>(i)], single.Envelope(firstBack - i)) << "run " << r << ", sample " << i;
    }
  }
}

// Handed its inputs a run at a time (the guard, the first reading of every step, the running
// sums and the gate's bound decided for the run at once, settled steps taking a short path), the
// catcher cuts exactly what it cuts one sample at a time, dips close together included, makes its
// wide readings at the same steps and hands on the same readings and gains: at a gain that moves every step, with a look-ahead long enough
// for the bound and with one shorter than the wide window's reach (low rates), where it is not.
TEST(TruePeakCatcher, RunsGiveExactlyTheOneSampleResult) {
  std::mt19937 rng(29);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  std::vector<double> x;
  // Loud and quiet white noise, noise whose samples stay under the ceiling while some of its
  // true peaks do not, and two tones near Nyquist that beat over it: the gate's bound decides.
  for (int part = 0; part < 12; ++part) {
    const double level = part % 3 == 0 ? 1.5 : part % 3 == 1 ? 0.3 : 0.62;
    for (int n = 0; n < 500 + 61 * part; ++n) x.push_back(level * uniform(rng));
  }
  for (int n = 0; n < 60000; ++n) x.push_back(std::clamp(1.0 * uniform(rng), -0.78, 0.78));
  for (int n = 0; n < 4000; ++n)
    x.push_back(0.43 * (std::sin(0.472 * 2.0 * std::numbers::pi * n) + std::sin(0.481 * 2.0 * std::numbers::pi * n)));
  for (int lookAhead : {kLookAhead, 60}) {
    PeakCatcher single, runs;
    single.Prepare(48000.0);
    runs.Prepare(48000.0);
    LookAheadRun singleLine, runLine;
    singleLine.Resize(lookAhead + 1);
    runLine.Resize(lookAhead + 1);
    const int lengths[] = {256, 1, 100, 255, 8, 47, 48, 49};
    int dipped = 0;  // samples a dip lowered: the programme makes the catcher work
    size_t start = 0;
    for (int r = 0; start < x.size(); ++r) {
      const int n = std::min<int>(lengths[r % 8], static_cast<int>(x.size() - start));
      runLine.Append(x.data() + start, n);
      std::vector<double> a(static_cast<size_t>(n)), gains(static_cast<size_t>(n)), out(static_cast<size_t>(n));
      std::vector<float> readings(static_cast<size_t>(n)), outputGains(static_cast<size_t>(n));
      for (int i = 0; i < n; ++i) {
        gains[i] = 0.75 + 0.2 * std::sin(0.01 * static_cast<double>(start + i));
        a[i] = gains[i] * runLine.Leaving(i);
      }
      const PeakCatcher::RunPreview preview{runLine.Ahead(0), runLine.AheadExact(0), runLine.Length() - 1,
                                            gains.data(), runLine.AheadSquares(0)};
      runs.ProcessRun(a.data(), n, 0.8f, preview, out.data(), readings.data(), outputGains.data());
      for (int i = 0; i < n; ++i) {
        singleLine.Append(&x[start + i], 1);
        const double expected = single.Process(gains[i] * singleLine.Leaving(0), 0.8f,
                                               {singleLine.Ahead(0), singleLine.AheadExact(0),
                                                singleLine.Length() - 1, gains[i]});
        singleLine.KeepNewest(1);
        ASSERT_EQ(out[i], expected) << "look-ahead " << lookAhead << ", sample " << start + i;
        const float reading = single.LeavingReading();
        ASSERT_TRUE(readings[i] == reading || (std::isnan(readings[i]) && std::isnan(reading)))
            << "look-ahead " << lookAhead << ", sample " << start + i;
        ASSERT_EQ(outputGains[i], single.OutputGain()) << "look-ahead " << lookAhead << ", sample " << start + i;
        dipped += outputGains[i] < 1.0f;
      }
      runLine.KeepNewest(n);
      start += n;
    }
    EXPECT_GT(dipped, 100) << "look-ahead " << lookAhead;
    // The run form reads wide wherever the bound from running sums passes; a step on its own,
    // without the sums, takes the gate's full test first: never more readings, and (the outputs
    // above) none that the full test passed over would have cut a dip.
    EXPECT_GE(runs.WideReadings(), single.WideReadings()) << "look-ahead " << lookAhead;
    EXPECT_GT(single.WideReadings(), 1000) << "look-ahead " << lookAhead;
  }
}

// The bound's sums taken for many windows at once are exactly those of one window at a time
// (which the bound takes alone), at every offset, so batching them changes no decision.
TEST(WideGateBound, SumsOfManyWindowsAreThoseOfEachAlone) {
  const WideGate& gate = WideGate::Shared();
  std::mt19937 rng(37);
  std::uniform_real_distribution<double> uniform(0.0, 1.0);
  std::vector<double> prefix(WideGate::kKnown + 64 + 1, 5.0);
  for (size_t k = 1; k < prefix.size(); ++k) prefix[k] = prefix[k - 1] + uniform(rng) * uniform(rng);
  for (int count : {1, 3, 4, 5, 63, 64}) {
    std::vector<double> known(static_cast<size_t>(count)), ahead(static_cast<size_t>(count));
    gate.KnownSums(prefix.data(), count, known.data());
    gate.AheadSums(prefix.data(), count, ahead.data());
    for (int t = 0; t < count; ++t) {
      double alone[2];
      gate.KnownSums(prefix.data() + t, 1, &alone[0]);
      gate.AheadSums(prefix.data() + t, 1, &alone[1]);
      ASSERT_EQ(known[static_cast<size_t>(t)], alone[0]) << "window " << t << " of " << count;
      ASSERT_EQ(ahead[static_cast<size_t>(t)], alone[1]) << "window " << t << " of " << count;
      // And the bound given them decides as the bound summing them itself.
      for (float threshold : {0.5f, 1.0f, 2.0f})
        ASSERT_EQ(gate.MayExceedBound(0.3f, 0.01f, prefix.data() + t, prefix.data() + t, alone[0], alone[1], 0.7f, threshold),
                  gate.MayExceedBound(0.3f, 0.01f, prefix.data() + t, prefix.data() + t, 0.7f, threshold));
    }
  }
}

// The catcher's bound and the meter's spread test decided for many windows at once, four a pass,
// decide exactly as for each window alone, on inputs of every kind and right at the threshold:
// readings whose near part alone passes, windows either side of the room the spread needs, zero
// and negative sums.
TEST(WideGateBound, ManyWindowsAtOnceDecideAsEachAlone) {
  const WideGate& gate = WideGate::Shared();
  std::mt19937 rng(41);
  std::uniform_real_distribution<double> uniform(0.0, 1.0);
  constexpr int kCount = 203;
  std::vector<float> shortPeak(kCount), guard(kCount), gain(kCount);
  std::vector<double> known(kCount), ahead(kCount), knownTotal(kCount), aheadTotal(kCount);
  const float threshold = 0.8f;
  int passes = 0;
  for (int trial = 0; trial < 50; ++trial) {
    for (int t = 0; t < kCount; ++t) {
      shortPeak[t] = static_cast<float>(uniform(rng));
      guard[t] = static_cast<float>(0.02 * uniform(rng));
      gain[t] = static_cast<float>(uniform(rng));
      known[t] = 1e-3 * (uniform(rng) - 0.1);
      ahead[t] = 1e-3 * (uniform(rng) - 0.1);
      knownTotal[t] = 100.0 * uniform(rng);
      aheadTotal[t] = 100.0 * uniform(rng);
      // Every third window just at the edge: the sums that make near + 5 spreads meet the threshold.
      if (t % 3 == 0) {
        const double near = shortPeak[t] * 1.01f + 4.0f * guard[t];
        const double room = threshold * (1.0 - 1e-6) - near;
        if (room > 0.0) known[t] = room * room / 25.0 * (1.0 + 1e-9 * (uniform(rng) - 0.5)) / (1.0 + 1e-4);
        ahead[t] = 0.0;
        knownTotal[t] = aheadTotal[t] = 0.0;
      }
    }
    std::vector<double> knownPrefix(WideGate::kKnown + 1), aheadPrefix(WideGate::kAhead + 1);
    const WideGate::BoundRun run{shortPeak.data(), guard.data(), gain.data(), known.data(),
                                 ahead.data(), knownTotal.data(), aheadTotal.data()};
    bool decided[kCount];
    gate.MayExceedBounds(run, kCount, threshold, decided);
    for (int t = 0; t < kCount; ++t) {
      knownPrefix[WideGate::kKnown] = knownTotal[t];
      aheadPrefix[WideGate::kAhead] = aheadTotal[t];
      const bool alone = gate.MayExceedBound(shortPeak[t], guard[t], knownPrefix.data(), aheadPrefix.data(), known[t],
                                             ahead[t], gain[t], threshold);
      ASSERT_EQ(decided[t], alone) << "trial " << trial << ", window " << t;
      passes += alone;
    }
  }
  EXPECT_GT(passes, 1000);
  EXPECT_LT(passes, 50 * kCount - 1000);

  // The output meter's spread test likewise, each window with a threshold of its own, every
  // third one with the spread that just meets it.
  std::vector<double> spread(kCount);
  std::vector<float> thresholds(kCount);
  passes = 0;
  for (int trial = 0; trial < 50; ++trial) {
    for (int t = 0; t < kCount; ++t) {
      shortPeak[t] = static_cast<float>(uniform(rng));
      guard[t] = static_cast<float>(0.02 * uniform(rng));
      thresholds[t] = static_cast<float>(0.5 + 0.5 * uniform(rng));
      spread[t] = 0.05 * uniform(rng);
      const double near = shortPeak[t] * 1.01f + 4.0f * guard[t];
      if (t % 3 == 0) spread[t] = (thresholds[t] * (1.0 - 1e-6) - near) / 5.0 * (1.0 + 1e-12 * (uniform(rng) - 0.5));
    }
    bool decided[kCount];
    gate.MayExceedSpreads(shortPeak.data(), guard.data(), spread.data(), thresholds.data(), kCount, decided);
    for (int t = 0; t < kCount; ++t) {
      const bool alone = gate.MayExceedSpread(shortPeak[t], guard[t], spread[t], thresholds[t]);
      ASSERT_EQ(decided[t], alone) << "trial " << trial << ", window " << t;
      passes += alone;
    }
  }
  EXPECT_GT(passes, 1000);
  EXPECT_LT(passes, 50 * kCount - 1000);
}

// The catcher's cheap gate: from running sums of the two parts of the wide window, it never says
// no where the full test of the two parts says yes, whatever the gain on the look-ahead.
TEST(WideGateBound, TwoPartBoundNeverMissesWhatTheTwoPartTestCatches) {
  const WideGate& gate = WideGate::Shared();
  std::mt19937 rng(31);
  std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
  int decided = 0;
  for (int trial = 0; trial < 3000; ++trial) {
    const float level = std::pow(10.0f, -0.1f * static_cast<float>(trial % 30));
    float known[WideGate::kKnown], ahead[WideGate::kAhead];
    for (float& v : known) v = std::clamp(1.3f * level * uniform(rng), -level, level);
    for (float& v : ahead) v = 2.0f * level * uniform(rng);
    const float aheadGain = 0.2f + 0.8f * std::fabs(uniform(rng));
    double knownPrefix[WideGate::kKnown + 1] = {3.0}, aheadPrefix[WideGate::kAhead + 1] = {-1.0};
    for (int k = 0; k < WideGate::kKnown; ++k) knownPrefix[k + 1] = knownPrefix[k] + static_cast<double>(known[k]) * known[k];
    for (int k = 0; k < WideGate::kAhead; ++k) aheadPrefix[k + 1] = aheadPrefix[k] + static_cast<double>(ahead[k]) * ahead[k];
    const float shortPeak = level * std::fabs(uniform(rng));
    const float guard = 0.02f * level * std::fabs(uniform(rng));
    for (float threshold : {0.8f * level, level, 1.5f * level, 3.0f * level}) {
      const bool full = gate.MayExceed(shortPeak, guard, known, known[WideGate::kKnown - 1], ahead, aheadGain, threshold);
      const bool bound = gate.MayExceedBound(shortPeak, guard, knownPrefix, aheadPrefix, aheadGain, threshold);
      ASSERT_TRUE(bound || !full) << "trial " << trial << ", threshold " << threshold;
      if (!bound) ++decided;
    }
  }
  EXPECT_GT(decided, 1000);  // and it does settle many
}
