// Loudness of the engine's output and input against libebur128 on the same audio: momentary,
// short-term and integrated loudness, loudness range, the mono layout, other sample rates; and
// the K-weighting coefficients against the published 48 kHz values.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <vector>

#include <gtest/gtest.h>

#include "core/ZARN.h"
#include "dsp/LimiterEngine.h"
#include "meters/GatingHistogram.h"
#include "meters/KWeighting.h"
#include "support/EngineRender.h"
#include "support/MeterTicks.h"

#ifdef ZARN_HAVE_EBUR128
#include "app/signals/TestSignals.h"
#include "support/Ebur128Meter.h"
#endif

namespace {

// Our high-pass numerator is divided by the same a0 as its denominator, a flat gain of 1 / a0
// against the published coefficient set: -0.043 LU at 48 kHz, a little more at lower rates.
double NumeratorOffsetLu(double rate) {
  const double k = std::tan(std::numbers::pi * 38.13547087602444 / rate);
  return -20.0 * std::log10(k * k + k / 0.5003270373238773 + 1.0);
}

}  // namespace

TEST(KWeighting, At48kHzTheShelfIsThePublishedPreFilterAndTheHighPassIsNormalised) {
  const KWeightingCoefficients k = KWeightingCoefficients::Design(48000.0);
  EXPECT_NEAR(k.shelf.b0, 1.53512485958697, 1e-9);
  EXPECT_NEAR(k.shelf.b1, -2.69169618940638, 1e-9);
  EXPECT_NEAR(k.shelf.b2, 1.19839281085285, 1e-9);
  EXPECT_NEAR(k.shelf.a1, -1.69065929318241, 1e-9);
  EXPECT_NEAR(k.shelf.a2, 0.73248077421585, 1e-9);
  EXPECT_NEAR(k.highPass.a1, -1.99004745483398, 1e-9);
  EXPECT_NEAR(k.highPass.a2, 0.99007225036621, 1e-9);
  // 1, -2, 1 scaled by 1 / a0: unity gain at Nyquist instead of at the published 1.00499.
  EXPECT_NEAR(k.highPass.b0, 0.99503, 1e-5);
  EXPECT_DOUBLE_EQ(k.highPass.b1, -2.0 * k.highPass.b0);
  EXPECT_DOUBLE_EQ(k.highPass.b2, k.highPass.b0);
  EXPECT_NEAR(NumeratorOffsetLu(48000.0), -0.043, 0.0005);
  EXPECT_NEAR(20.0 * std::log10(k.highPass.b0), NumeratorOffsetLu(48000.0), 1e-9);
}

TEST(GatingHistograms, AbsoluteGateIsStrictAndTheRangeWaitsFor200Values) {
  GatingHistogram h;
  EXPECT_EQ(h.IntegratedLoudness(), -100.0f);
  h.Add(std::pow(10.0, -6.9309));  // -70 LUFS exactly: the absolute gate is strict
  h.Add(0.0);
  EXPECT_EQ(h.IntegratedLoudness(), -100.0f);
  h.Add(std::pow(10.0, (-23.0 + 0.691) / 10.0));
  EXPECT_NEAR(h.IntegratedLoudness(), -23.0f, 1e-4);

  LoudnessRangeHistogram r;
  for (int i = 0; i < 199; ++i) r.Add(-20.0f + 0.1f * static_cast<float>(i % 100), 0.01);
  EXPECT_EQ(r.Range(), -100.0f);  // 199 values: not yet
  r.Add(-20.0f, 0.01);
  EXPECT_NEAR(r.Range(), 8.5f, 0.26f);  // values spread over -20 .. -10.1 LUFS
}

TEST(GatingHistograms, TheRangeOfAProgrammeDoesNotDependOnItsLevel) {
  // Ten values in each 0.25-LU step over 10 LU (bin centres, so no value sits on an edge), and
  // 50 values 27 LU under the top, below the relative gate. The 10th and 95th percentiles are 8.5
  // LU apart at any level; at -40 and -55 LUFS the relative gate lies under -45 LUFS, and at -55
  // it lies under the absolute gate too.
  for (float top : {-10.0f, -40.0f, -55.0f}) {
    LoudnessRangeHistogram r;
    const auto add = [&r](float lufs) { r.Add(lufs, std::pow(10.0, (lufs + 0.691) / 10.0)); };
    for (int step = 0; step < 40; ++step)
      for (int i = 0; i < 10; ++i) add(top - 10.0f + 0.25f * static_cast<float>(step) + 0.125f);
    for (int i = 0; i < 50; ++i) add(top - 27.0f);
    EXPECT_FLOAT_EQ(r.Range(), 8.5f) << top;
  }
}

#ifdef ZARN_HAVE_EBUR128

namespace {

// The same filters up to the offset, the same windows and gating blocks: the readings agree to
// the precision of their 32-bit floats, far inside the 0.1 LU a loudness meter is allowed.
constexpr double kAgreementLu = 0.01;

// Largest difference seen between our readings and the reference's, offset applied.
struct Agreement {
  double momentary = 0.0, shortTerm = 0.0, integrated = 0.0;
  int compared = 0;
};

// Runs the engine at default settings over a programme whose peaks stay well under the ceiling
// (so the output is the input, delayed), feeding the output and the input to two libebur128
// meters as it goes and comparing every tick's readings.
//
// Both take their first gating block once 400 ms of programme have passed, so the reference is
// fed from the first sample, as a meter in a host would be.
Agreement CompareWithReference(const render::Stereo& in, double rate, MeterSnapshot* last) {
  LimiterEngine engine;
  EXPECT_TRUE(engine.Prepare(rate));
  const int period = engine.MeterPeriod();
  const int block = period / 5;
  EXPECT_EQ(period % 5, 0);
  const double offset = NumeratorOffsetLu(rate);
  Ebur128Meter out(2, rate), input(2, rate);

  Agreement a;
  MeterSnapshot s;
  render::Stereo o{std::vector<double>(in.Frames()), std::vector<double>(in.Frames())};
  for (size_t start = 0; start < in.Frames(); start += static_cast<size_t>(block)) {
    const size_t n = std::min<size_t>(static_cast<size_t>(block), in.Frames() - start);
    engine.Process(in.left.data() + start, in.right.data() + start, o.left.data() + start,
                   o.right.data() + start, static_cast<int>(n), false);
    out.Add(o.left.data() + start, o.right.data() + start, n);
    input.Add(in.left.data() + start, in.right.data() + start, n);
    if (!engine.TakeMeterSnapshot(s)) continue;
    EXPECT_EQ(s.grL, 0.0f) << "the programme must not be limited";
    const double m = out.Momentary(), st = out.ShortTerm();
    if (m > -60.0) a.momentary = std::max(a.momentary, std::fabs(s.lufsM - (m + offset)));
    if (st > -60.0) a.shortTerm = std::max(a.shortTerm, std::fabs(s.lufsS - (st + offset)));
    const double i = out.Integrated();
    if (std::isfinite(i)) a.integrated = std::max(a.integrated, std::fabs(s.lufsI - (i + offset)));
    ++a.compared;
  }
  EXPECT_NEAR(s.lufsI, out.Integrated() + offset, kAgreementLu);
  EXPECT_NEAR(s.lufsI_in, input.Integrated() + offset, kAgreementLu);
  if (last) *last = s;
  return a;
}

render::Stereo Scaled(render::Stereo x, const std::vector<std::pair<double, double>>& secondsAndDb,
                      double rate, double referenceDb) {
  size_t start = 0;
  for (const auto& [seconds, db] : secondsAndDb) {
    const size_t end = std::min(x.Frames(), start + static_cast<size_t>(std::lround(seconds * rate)));
    const double gain = std::isfinite(db) ? std::pow(10.0, (db - referenceDb) / 20.0) : 0.0;
    for (size_t n = start; n < end; ++n) {
      x.left[n] *= gain;
      x.right[n] *= gain;
    }
    start = end;
  }
  return x;
}

render::Stereo Pink(double rate, double seconds, double rmsDbfs, uint32_t seed) {
  signals::Stereo p = signals::PinkNoise(rate, seconds, rmsDbfs, seed);
  return {std::move(p.left), std::move(p.right)};
}

}  // namespace

TEST(LoudnessMeter, AgreesWithLibebur128OnAProgrammeWithPausesBelowTheGates) {
  constexpr double kRate = 48000.0;
  // Loud, soft enough to fall under the relative gate, silent, loud again.
  const render::Stereo in =
      Scaled(Pink(kRate, 12.0, -20.0, 5), {{4.0, -20.0}, {2.0, -45.0}, {1.0, -HUGE_VAL}, {5.0, -26.0}},
             kRate, -20.0);
  MeterSnapshot last;
  const Agreement a = CompareWithReference(in, kRate, &last);
  EXPECT_EQ(a.compared, 240);
  EXPECT_LE(a.momentary, kAgreementLu);
  EXPECT_LE(a.shortTerm, kAgreementLu);
  EXPECT_LE(a.integrated, kAgreementLu);
  std::printf("  agreement after offset: momentary %.1e, short-term %.1e, integrated %.1e LU\n",
              a.momentary, a.shortTerm, a.integrated);
  EXPECT_NEAR(last.lufsI, last.lufsI_in, 0.01);  // the output is the input, delayed
  EXPECT_EQ(last.lra, -100.0f);                    // fewer than 20 s of gated values
}

TEST(LoudnessMeter, OneKilohertzSineAtMinus20dBFSAgreesWithLibebur128AtSeveralRates) {
  for (double rate : {44100.0, 48000.0, 96000.0}) {
    const size_t frames = static_cast<size_t>(4.0 * rate);
    std::vector<double> x(frames);
    for (size_t n = 0; n < frames; ++n)
      x[n] = 0.1 * std::sin(2.0 * std::numbers::pi * std::fmod(1000.0 * n / rate, 1.0));
    MeterSnapshot last;
    const Agreement a = CompareWithReference(render::Dual(x), rate, &last);
    EXPECT_LE(a.momentary, kAgreementLu) << rate;
    EXPECT_LE(a.shortTerm, kAgreementLu) << rate;
    EXPECT_LE(a.integrated, kAgreementLu) << rate;
    std::printf("  %.0f Hz: lufsM %.4f lufsS %.4f lufsI %.4f; agreement %.1e %.1e %.1e LU\n", rate,
                last.lufsM, last.lufsS, last.lufsI, a.momentary, a.shortTerm, a.integrated);
    // A -20 dBFS 1 kHz sine in both channels is -20 LUFS by the definition's calibration.
    EXPECT_NEAR(last.lufsM, -20.0 + NumeratorOffsetLu(rate), 0.02) << rate;
    EXPECT_NEAR(last.lufsS, -20.0 + NumeratorOffsetLu(rate), 0.02) << rate;
    EXPECT_NEAR(last.lufsL, -23.01 + NumeratorOffsetLu(rate), 0.02) << rate;
    EXPECT_FLOAT_EQ(last.lufsL, last.lufsR);
  }
}

TEST(LoudnessMeter, LoudnessRangeAgreesWithLibebur128WithinOneLU) {
  constexpr double kRate = 48000.0;
  // 40 s of pink noise whose level swings smoothly between -30 and -15 dBFS over 16 s, as a
  // programme's loudness moves (a range of hard steps would depend on how often each meter
  // samples the short-term loudness).
  render::Stereo in = Pink(kRate, 40.0, -15.0, 9);
  for (size_t n = 0; n < in.Frames(); ++n) {
    const double t = static_cast<double>(n) / kRate;
    const double gain = std::pow(10.0, (-7.5 + 7.5 * std::cos(2.0 * M_PI * t / 16.0)) / 20.0);
    in.left[n] *= gain;
    in.right[n] *= gain;
  }

  LimiterEngine engine;
  ASSERT_TRUE(engine.Prepare(kRate));
  render::Stereo out;
  const std::vector<meter_ticks::Tick> ticks = meter_ticks::Render(engine, in, engine.MeterPeriod(), &out);
  ASSERT_EQ(ticks.size(), 800u);
  Ebur128Meter reference(2, kRate);
  reference.Add(out.left.data(), out.right.data(), out.Frames());
  const double lra = reference.Range();
  const MeterSnapshot& s = ticks.back().s;
  std::printf("  LRA %.3f LU, libebur128 %.3f LU; lufsI %.4f, libebur128 %.4f\n", s.lra, lra,
              s.lufsI, reference.Integrated());
  EXPECT_GT(lra, 8.0);  // a real range
  EXPECT_NEAR(s.lra, lra, 1.0);
  EXPECT_NEAR(s.lufsI, reference.Integrated() + NumeratorOffsetLu(kRate), 0.1);
  // The range needs 200 gated short-term values at the 100-ms cadence, the first once 3 s of
  // programme fill the window: 23 s.
  EXPECT_EQ(ticks[450].s.lra, -100.0f);
  EXPECT_GT(ticks[470].s.lra, 0.0f);
}

TEST(LoudnessMeter, MonoLayoutReadsTheLoudnessOfItsSingleChannel) {
  constexpr double kRate = 48000.0;
  constexpr int kBlock = 480;
  const std::vector<double> x = Pink(kRate, 6.0, -22.0, 13).left;
  ZARN mono;
  ASSERT_TRUE(mono.SetupProcessing(kRate, kBlock, 1, 1));
  Ebur128Meter reference(1, kRate);
  std::vector<double> out(x.size());
  MeterSnapshot s;
  double worstM = 0.0, worstS = 0.0;
  for (size_t start = 0; start < x.size(); start += kBlock) {
    double* inputs[1] = {const_cast<double*>(x.data() + start)};
    double* outputs[1] = {out.data() + start};
    mono.ProcessAudioBlock(inputs, outputs, kBlock);
    reference.Add(out.data() + start, nullptr, kBlock);
    if (!mono.Engine().TakeMeterSnapshot(s)) continue;
    ASSERT_EQ(s.lufsL, s.lufsR);
    worstM = std::max(worstM, std::fabs(s.lufsM - (reference.Momentary() + NumeratorOffsetLu(kRate))));
    if (start >= 3 * 48000)
      worstS = std::max(worstS, std::fabs(s.lufsS - (reference.ShortTerm() + NumeratorOffsetLu(kRate))));
  }
  std::printf("  mono agreement: momentary %.1e, short-term %.1e, integrated %.1e LU\n", worstM,
              worstS, std::fabs(s.lufsI - (reference.Integrated() + NumeratorOffsetLu(kRate))));
  EXPECT_LE(worstM, kAgreementLu);
  EXPECT_LE(worstS, kAgreementLu);
  EXPECT_NEAR(s.lufsI, reference.Integrated() + NumeratorOffsetLu(kRate), kAgreementLu);
  EXPECT_NEAR(s.lufsI_in, s.lufsI, 0.01);
  EXPECT_NEAR(s.lufsM, s.lufsL, 1e-4);  // both channels carry it, the mono factor halves the sum

  // The same signal on both channels of the stereo layout reads twice the power.
  LimiterEngine stereo;
  ASSERT_TRUE(stereo.Prepare(kRate));
  const auto ticks = meter_ticks::Render(stereo, render::Dual(x), kBlock);
  EXPECT_NEAR(ticks.back().s.lufsI - s.lufsI, 10.0 * std::log10(2.0), 0.01);
}

#endif  // ZARN_HAVE_EBUR128
