// The EBU conformance cases for loudness meters that are built from a stereo 1 kHz sine: EBU Tech
// 3341 (momentary, short-term, integrated; +-0.1 LU) and EBU Tech 3342 (loudness range; +-1 LU),
// generated here and read from the engine's loudness meter fed and ticked as the engine does it,
// with libebur128 on the same signals. One case runs end to end through the engine, which must
// publish exactly what its meter reads.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <vector>

#include <gtest/gtest.h>

#include "dsp/LimiterEngine.h"
#include "meters/LoudnessMeter.h"
#include "meters/MeterBlockTaps.h"
#include "support/EngineRender.h"
#include "support/MeterTicks.h"

#ifdef ZARN_HAVE_EBUR128
#include "support/Ebur128Meter.h"
#endif

namespace {

constexpr double kRate = 48000.0;
constexpr int kBlock = 480;  // five blocks to a meter tick
// The EBU values assume the published K-weighting coefficients; our high-pass numerator is
// normalised, which reads every loudness 0.043 LU lower at 48 kHz.
constexpr double kOffsetLu = -0.043;
constexpr double kLoudnessToleranceLu = 0.1;
constexpr double kRangeToleranceLu = 1.0;

// A level held for a time; the level is the peak of the sine in each channel.
struct Segment {
  double seconds;
  double dbfs;  // -HUGE_VAL: silence
};

size_t Frames(double seconds) { return static_cast<size_t>(std::lround(seconds * kRate)); }

// The 1 kHz sine in phase in both channels, one continuous phase through all segments.
render::Stereo Tone(const std::vector<Segment>& segments) {
  std::vector<double> x;
  for (const Segment& s : segments) {
    const double amplitude = std::isfinite(s.dbfs) ? std::pow(10.0, s.dbfs / 20.0) : 0.0;
    for (size_t end = x.size() + Frames(s.seconds), n = x.size(); n < end; ++n) {
      const double cycles = std::fmod(1000.0 * static_cast<double>(n) / kRate, 1.0);
      x.push_back(amplitude * std::sin(2.0 * std::numbers::pi * cycles));
    }
  }
  return render::Dual(x);
}

std::vector<Segment> Repeated(const std::vector<Segment>& period, int times) {
  std::vector<Segment> all;
  for (int i = 0; i < times; ++i) all.insert(all.end(), period.begin(), period.end());
  return all;
}

struct Metered {
  std::vector<meter_ticks::Tick> ticks;
  std::vector<double> maxMomentary;  // the meter's held maximum at each tick
  render::Stereo out;  // what the output readings measured
  const MeterSnapshot& Last() const { return ticks.back().s; }
};

// The engine's loudness meter on its own, fed and ticked the way the engine drives it: in runs
// of kBlock samples of the raw input x, the driven signal y and the limiter output o, and a tick
// every 50 ms of audio (at the end of the run that completes them). At default settings y is x
// and, for levels far under the ceiling, o is x delayed; TheEngineReportsWhatItsLoudnessMeterReads
// holds the engine to this.
constexpr size_t kMeterPeriod = 2400;
std::vector<meter_ticks::Tick> ThroughMeter(const render::Stereo& x, const render::Stereo& o,
                                            std::vector<double>* maxMomentary = nullptr,
                                            size_t block = kBlock) {
  LoudnessMeter meter;
  meter.Prepare(kRate);
  std::vector<meter_ticks::Tick> ticks;
  for (size_t start = 0; start < x.Frames(); start += block) {
    MeterBlockTaps run;
    run.frames = static_cast<int>(std::min<size_t>(block, x.Frames() - start));
    run.in[0] = run.driven[0] = x.left.data() + start;
    run.in[1] = run.driven[1] = x.right.data() + start;
    run.o[0] = o.left.data() + start;
    run.o[1] = o.right.data() + start;
    meter.AccumulateBlock(run);
    const size_t end = start + static_cast<size_t>(run.frames);
    if (end / kMeterPeriod == (end - static_cast<size_t>(run.frames)) / kMeterPeriod) continue;
    MeterSnapshot s;
    meter.TickOutput(false, s);
    meter.TickInput(false, s);
    ticks.push_back({end, s});
    if (maxMomentary) maxMomentary->push_back(meter.MaxMomentaryLufs(false));
  }
  return ticks;
}

Metered Measure(const render::Stereo& in, size_t block = kBlock) {
  Metered m{{}, {}, in};
  m.ticks = ThroughMeter(in, in, &m.maxMomentary, block);
  return m;
}

// Largest reading of a field over the ticks that ran after `from` and up to `to` seconds of audio.
float Max(const Metered& m, float MeterSnapshot::*field, double from, double to) {
  float best = -1000.0f;
  for (const meter_ticks::Tick& t : m.ticks)
    if (t.endFrame > Frames(from) && t.endFrame <= Frames(to)) best = std::max(best, t.s.*field);
  return best;
}

#ifdef ZARN_HAVE_EBUR128
// libebur128 over the signal the output readings measured.
struct Reference {
  double integrated, range;
};
Reference ReferenceOf(const Metered& m) {
  Ebur128Meter r(2, kRate);
  r.Add(m.out.left.data(), m.out.right.data(), m.out.Frames());
  return {r.Integrated(), r.Range()};
}
#endif

}  // namespace

// Tech 3341 cases 1 to 5: steady tones, and level sequences whose quieter parts fall under the
// relative gate (cases 3 and 4), under the absolute gate (case 4) or stay above the relative gate
// and count (case 5).
TEST(EbuTech3341, IntegratedLoudness) {
  struct Case {
    int number;
    std::vector<Segment> segments;
    double lufs;
  };
  const Case cases[] = {
      {1, {{20.0, -23.0}}, -23.0},
      {2, {{20.0, -33.0}}, -33.0},
      {3, {{10.0, -36.0}, {60.0, -23.0}, {10.0, -36.0}}, -23.0},
      {4, {{10.0, -72.0}, {10.0, -36.0}, {60.0, -23.0}, {10.0, -36.0}, {10.0, -72.0}}, -23.0},
      {5, {{20.0, -26.0}, {20.1, -20.0}, {20.0, -26.0}}, -23.0},
  };
  for (const Case& c : cases) {
    const Metered m = Measure(Tone(c.segments));
    const MeterSnapshot& s = m.Last();
    std::printf("  case %d: lufsI %.3f (expected %.3f)\n", c.number, s.lufsI, c.lufs + kOffsetLu);
    EXPECT_NEAR(s.lufsI, c.lufs + kOffsetLu, kLoudnessToleranceLu) << "case " << c.number;
    EXPECT_NEAR(s.lufsI_in, c.lufs + kOffsetLu, kLoudnessToleranceLu) << "case " << c.number;
    if (c.segments.size() == 1) {  // the steady tones also read as such momentarily and short-term
      EXPECT_NEAR(s.lufsM, c.lufs + kOffsetLu, kLoudnessToleranceLu) << "case " << c.number;
      EXPECT_NEAR(s.lufsS, c.lufs + kOffsetLu, kLoudnessToleranceLu) << "case " << c.number;
    }
#ifdef ZARN_HAVE_EBUR128
    const double reference = ReferenceOf(m).integrated;
    std::printf("          libebur128 %.3f\n", reference);
    EXPECT_NEAR(s.lufsI, reference + kOffsetLu, 0.01) << "case " << c.number;
#endif
  }
}

// Tech 3341 cases 9 and 12: a tone alternating between -20 and -30 dBFS in a period as long as
// the window (3 s for short-term, 0.4 s for momentary) reads -23 LUFS constantly once the window
// is full.
TEST(EbuTech3341, ShortTermAndMomentaryOfAPeriodicLevelAreConstant) {
  const Metered shortTerm = Measure(Tone(Repeated({{1.34, -20.0}, {1.66, -30.0}}, 5)));
  float lo = 1000.0f, hi = -1000.0f;
  for (const meter_ticks::Tick& t : shortTerm.ticks) {
    if (t.endFrame < Frames(3.0)) continue;
    lo = std::min(lo, t.s.lufsS);
    hi = std::max(hi, t.s.lufsS);
    EXPECT_NEAR(t.s.lufsS, -23.0 + kOffsetLu, kLoudnessToleranceLu) << t.endFrame;
  }
  std::printf("  case 9: lufsS %.3f .. %.3f after 3 s\n", lo, hi);

  const Metered momentary = Measure(Tone(Repeated({{0.18, -20.0}, {0.22, -30.0}}, 25)));
  lo = 1000.0f, hi = -1000.0f;
  for (const meter_ticks::Tick& t : momentary.ticks) {
    if (t.endFrame < Frames(1.0)) continue;
    lo = std::min(lo, t.s.lufsM);
    hi = std::max(hi, t.s.lufsM);
    EXPECT_NEAR(t.s.lufsM, -23.0 + kOffsetLu, kLoudnessToleranceLu) << t.endFrame;
  }
  std::printf("  case 12: lufsM %.3f .. %.3f after 1 s\n", lo, hi);
}

// Tech 3341 cases 10 and 11: the largest short-term reading of a 3-s tone burst is its level,
// wherever the burst falls between two meter ticks. The bursts start 2.5 ms later each time,
// twenty steps over one 50-ms tick period; case 11 also steps the level from -38 to -19 dBFS,
// one burst to each 6-s segment.
TEST(EbuTech3341, MaximumShortTermOfThreeSecondBursts) {
  constexpr double kStep = 0.0025;
  float lo = 1000.0f, hi = -1000.0f;
  for (int k = 0; k < 20; ++k) {
    const Metered m = Measure(Tone({{k * kStep, -HUGE_VAL}, {3.0, -23.0}, {0.1, -HUGE_VAL}}));
    const float max = Max(m, &MeterSnapshot::lufsS, 0.0, 1e9);
    lo = std::min(lo, max);
    hi = std::max(hi, max);
    EXPECT_NEAR(max, -23.0 + kOffsetLu, kLoudnessToleranceLu) << "burst " << k;
  }
  std::printf("  case 10: maximum lufsS %.3f .. %.3f\n", lo, hi);

  std::vector<Segment> levels;
  for (int k = 0; k < 20; ++k)
    levels.insert(levels.end(),
                  {{k * kStep, -HUGE_VAL}, {3.0, -38.0 + k}, {3.0 - k * kStep, -HUGE_VAL}});
  const Metered m = Measure(Tone(levels));
  double worst = 0.0;
  for (int k = 0; k < 20; ++k) {
    const float max = Max(m, &MeterSnapshot::lufsS, 6.0 * k, 6.0 * (k + 1));
    worst = std::max(worst, std::fabs(max - (-38.0 + k + kOffsetLu)));
    EXPECT_NEAR(max, -38.0 + k + kOffsetLu, kLoudnessToleranceLu) << "segment " << k;
  }
  std::printf("  case 11: largest error of the maximum lufsS %.3f LU\n", worst);
}

// Tech 3341 cases 13 and 14: the maximum momentary loudness of a 0.4-s tone burst is its level,
// wherever the burst falls. As in cases 10 and 11 the bursts start 2.5 ms later each time, twenty
// steps over one 50-ms tick period, so that they end on and between the ticks and the meter's
// 10-ms evaluations alike; case 14 also steps the level from -38 to -19 dBFS, one burst to each
// 0.8-s segment, and the held maximum must read each new level by the end of its segment. The
// maximum depends on the audio only: host blocks of any size give the same value to the bit.
TEST(EbuTech3341, MaximumMomentaryOfFourHundredMillisecondBursts) {
  constexpr double kStep = 0.0025;
  double lo = 1000.0, hi = -1000.0;
  for (int k = 0; k < 20; ++k) {
    const render::Stereo burst = Tone({{k * kStep, -HUGE_VAL}, {0.4, -23.0}, {0.2, -HUGE_VAL}});
    const Metered m = Measure(burst);
    const double max = m.maxMomentary.back();
    lo = std::min(lo, max);
    hi = std::max(hi, max);
    EXPECT_NEAR(max, -23.0 + kOffsetLu, kLoudnessToleranceLu) << "burst " << k;
    for (size_t block : {1, 37, 1000, 8192})
      EXPECT_EQ(Measure(burst, block).maxMomentary.back(), max) << "burst " << k << ", blocks of " << block;
  }
  std::printf("  case 13: maximum momentary %.3f .. %.3f\n", lo, hi);

  std::vector<Segment> levels;
  for (int k = 0; k < 20; ++k)
    levels.insert(levels.end(), {{k * kStep, -HUGE_VAL}, {0.4, -38.0 + k}, {0.4 - k * kStep, -HUGE_VAL}});
  const Metered m = Measure(Tone(levels));
  double worst = 0.0;
  for (int k = 0; k < 20; ++k) {
    size_t last = 0;  // the last tick of the segment
    while (last + 1 < m.ticks.size() && m.ticks[last + 1].endFrame <= Frames(0.8 * (k + 1))) ++last;
    ASSERT_EQ(m.ticks[last].endFrame, Frames(0.8 * (k + 1)));
    worst = std::max(worst, std::fabs(m.maxMomentary[last] - (-38.0 + k + kOffsetLu)));
    EXPECT_NEAR(m.maxMomentary[last], -38.0 + k + kOffsetLu, kLoudnessToleranceLu) << "segment " << k;
  }
  std::printf("  case 14: largest error of the maximum momentary %.3f LU\n", worst);
}

// Tech 3342 cases 1 to 4: 20-s steps of level. In case 4 the relative gate lies near -47 LUFS,
// so the -50 dBFS steps fall under it and the range is that of -35 to -20 LUFS.
TEST(EbuTech3342, LoudnessRange) {
  struct Case {
    int number;
    std::vector<double> levels;
    double lu;
  };
  const Case cases[] = {
      {1, {-20.0, -30.0}, 10.0},
      {2, {-20.0, -15.0}, 5.0},
      {3, {-40.0, -20.0}, 20.0},
      {4, {-50.0, -35.0, -20.0, -35.0, -50.0}, 15.0},
  };
  for (const Case& c : cases) {
    std::vector<Segment> segments;
    for (double level : c.levels) segments.push_back({20.0, level});
    const Metered m = Measure(Tone(segments));
    const float lra = m.Last().lra;
    std::printf("  case %d: lra %.2f LU (expected %.1f)\n", c.number, lra, c.lu);
    EXPECT_NEAR(lra, c.lu, kRangeToleranceLu) << "case " << c.number;
#ifdef ZARN_HAVE_EBUR128
    const double reference = ReferenceOf(m).range;
    std::printf("          libebur128 %.2f LU\n", reference);
    // Our bins are 0.25 LU wide; the reference sorts the values themselves.
    EXPECT_NEAR(lra, reference, 0.25) << "case " << c.number;
#endif
  }
}

// The cases above read the meter on its own. Run the way the plug-in runs it, the engine leaves
// these levels alone and publishes, tick for tick, what its meter reads from the engine's taps:
// here end to end on Tech 3342 case 4, whose relative gate lies under -45 LUFS.
TEST(EbuConformance, TheEngineReportsWhatItsLoudnessMeterReads) {
  const render::Stereo in =
      Tone({{20.0, -50.0}, {20.0, -35.0}, {20.0, -20.0}, {20.0, -35.0}, {20.0, -50.0}});
  LimiterEngine engine;
  ASSERT_TRUE(engine.Prepare(kRate));
  ASSERT_EQ(static_cast<size_t>(engine.MeterPeriod()), kMeterPeriod);
  render::Stereo out;
  const std::vector<meter_ticks::Tick> published = meter_ticks::Render(engine, in, kBlock, &out);

  const size_t latency = static_cast<size_t>(engine.Latency());
  double worst = 0.0;
  for (size_t n = latency; n < in.Frames(); ++n)
    worst = std::max({worst, std::fabs(out.left[n] - in.left[n - latency]),
                      std::fabs(out.right[n] - in.right[n - latency])});
  EXPECT_LT(worst, 1e-6) << "the engine changed the signal";

  const std::vector<meter_ticks::Tick> read = ThroughMeter(in, out);
  ASSERT_EQ(published.size(), read.size());
  for (size_t i = 0; i < read.size(); ++i) {
    const MeterSnapshot &p = published[i].s, &r = read[i].s;
    ASSERT_EQ(published[i].endFrame, read[i].endFrame);
    ASSERT_EQ(p.lufsM, r.lufsM) << i;
    ASSERT_EQ(p.lufsS, r.lufsS) << i;
    ASSERT_EQ(p.lufsL, r.lufsL) << i;
    ASSERT_EQ(p.lufsR, r.lufsR) << i;
    ASSERT_EQ(p.lufsI, r.lufsI) << i;
    ASSERT_EQ(p.lufsI_in, r.lufsI_in) << i;
    ASSERT_EQ(p.lra, r.lra) << i;
  }
  const MeterSnapshot& last = published.back().s;
  std::printf("  engine: lra %.2f LU, lufsI %.3f\n", last.lra, last.lufsI);
  EXPECT_NEAR(last.lra, 15.0, kRangeToleranceLu);
}
