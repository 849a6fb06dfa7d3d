// The gain computer run for both channels at once against the one-sample form, channel by
// channel: every gain and every state the meters read, bit for bit, through attack, hold,
// release, ramps, meter restarts and every look-ahead length the engine can set, with the
// baseline (SSE2) pair form and the AVX2 one where the machine has it.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "dsp/GainWindow.h"
#include "dsp/kernels/CpuDispatch.h"
#include "dsp/kernels/LaneVectors.h"

namespace {

constexpr double kRate = 48000.0;

// One channel's gain computer inputs: the limiter input, its peak (at least its magnitude) and
// the driven mean square, on a programme of quiet and loud noise, silence, single clicks, a
// held plateau and slow swells, so that every branch of the computer is taken.
struct Input {
  std::vector<double> u, msDriven;
  std::vector<float> peak;
};

Input Programme(size_t frames, uint64_t seed) {
  Input in;
  in.u.resize(frames);
  in.peak.resize(frames);
  in.msDriven.resize(frames);
  const double a3s = std::exp(-1.0 / (3.0 * kRate));
  double ms = 0.0;
  for (size_t i = 0; i < frames; ++i) {
    seed = seed * 6364136223846793005ull + 1442695040888963407ull;
    const double white = static_cast<double>(seed >> 11) * 0x1.0p-52 - 1.0;
    const size_t part = (i / 3000) % 6;
    double level = 0.0;
    if (part == 0) level = 2.5 * white;                                   // far over the ceiling
    if (part == 1) level = 0.3 * white;                                   // under it
    if (part == 2) level = i % 700 == 0 ? 3.0 : 0.0;                      // clicks in silence
    if (part == 3) level = 1.2;                                           // a plateau (equal peaks)
    if (part == 4) level = (0.5 + 0.8 * std::sin(i * 0.002)) * white;     // swells
    if (part == 5) level = i % 4 == 0 ? 1.5 * white : 0.9;                // ties and falls
    in.u[i] = level;
    in.peak[i] = static_cast<float>(std::fabs(level) * (1.0 + 0.05 * std::fabs(white)));
    ms = a3s * ms + (1.0 - a3s) * level * level;
    in.msDriven[i] = ms;
  }
  return in;
}

void ExpectSameState(const GainWindow& a, const GainWindow& b, const char* where) {
  EXPECT_EQ(a.GainState(), b.GainState()) << where;
  EXPECT_EQ(a.EffReleaseMs(), b.EffReleaseMs()) << where;
  EXPECT_EQ(a.HoldCounter(), b.HoldCounter()) << where;
  EXPECT_EQ(a.ReleaseScale(), b.ReleaseScale()) << where;
  EXPECT_EQ(a.SmoothedGain(), b.SmoothedGain()) << where;
  EXPECT_EQ(a.SlowEnvelope(), b.SlowEnvelope()) << where;
}

class GainComputer : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override { cpu::AllowAvx2(GetParam()); }
  void TearDown() override { cpu::AllowAvx2(true); }
};

TEST_P(GainComputer, BothChannelsAtOnceGiveExactlyWhatEachGivesAlone) {
  const size_t frames = 6 * 3000 * 2;
  const Input in[2] = {Programme(frames, 1), Programme(frames, 7)};
  for (const double rate : {44100.0, 48000.0, 192000.0}) {
    const GainWindow::Constants c = GainWindow::Constants::ForRate(rate);
    for (const int lookAhead : {1, 2, 3, 241, 4095}) {
      GainWindow alone[2], paired[2];
      for (int ch = 0; ch < 2; ++ch) {
        alone[ch].Prepare(lookAhead);
        paired[ch].Prepare(lookAhead);
      }
      const double ceilLin[2] = {0.98, 0.7};
      const double maskedness[2] = {1.0, 0.35};
      std::vector<double> gain[2], state[2];
      for (int ch = 0; ch < 2; ++ch) gain[ch].resize(frames), state[ch].resize(frames);
      size_t start = 0;
      for (int pass = 0; start < frames; ++pass) {
        const int n = static_cast<int>(std::min<size_t>(frames - start, 1 + (pass * 37) % 256));
        if (pass % 41 == 40)
          for (int ch = 0; ch < 2; ++ch) {
            alone[ch].RestartFromCurrentGain();
            paired[ch].RestartFromCurrentGain();
          }
        GainPairRun run;
        run.n = n;
        for (int ch = 0; ch < 2; ++ch) {
          run.u[ch] = in[ch].u.data() + start;
          run.peak[ch] = in[ch].peak.data() + start;
          run.ceilLin[ch] = ceilLin[ch];
          run.msDriven[ch] = in[ch].msDriven.data() + start;
          run.maskedness[ch] = maskedness[ch];
          run.gain[ch] = gain[ch].data() + start;
          run.gainState[ch] = state[ch].data() + start;
        }
        ProcessGainPair(paired, run, c);
        for (int ch = 0; ch < 2; ++ch) {
          for (int i = 0; i < n; ++i) {
            const size_t k = start + static_cast<size_t>(i);
            const double g = alone[ch].Process(in[ch].u[k], in[ch].peak[k], ceilLin[ch], in[ch].msDriven[k],
                                               maskedness[ch], c);
            ASSERT_EQ(g, gain[ch][k]) << "rate " << rate << " look-ahead " << lookAhead << " ch " << ch << " at " << k;
            ASSERT_EQ(alone[ch].GainState(), state[ch][k]) << "at " << k;
          }
          ExpectSameState(alone[ch], paired[ch], "at the end of a run");
        }
        start += static_cast<size_t>(n);
      }
      // The programme took every path: deep reduction, hold and full release.
      EXPECT_LT(*std::min_element(state[1].begin(), state[1].end()), 0.5);
      EXPECT_EQ(*std::max_element(state[0].begin(), state[0].end()), 1.0);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Forms, GainComputer, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Avx2WhereAvailable" : "Baseline"; });

}  // namespace
