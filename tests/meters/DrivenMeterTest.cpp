// The driven-signal meter holds exactly what its own reading of the driven signal holds, whether
// it reads every window itself or takes the limiter's detector's readings of the same samples:
// through runs shorter than the Loud stage's delay, meter resets, Character and Loud coming in
// and out, Loud Delta, and the display meters switched off and on.
#include <algorithm>
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "dsp/LimiterEngine.h"
#include "dsp/TruePeakDetector.h"
#include "support/EngineRender.h"

namespace {

struct Block {
  int frames;
  float character = 0.0f;
  float loud = 0.0f;
  bool loudDelta = false;
  bool displayMeters = true;
  bool resetFirst = false;
};

}  // namespace

// Noise whose level rises through each meter period, from -40 dB to full scale, and falls back
// when the tick clears the hold: the hold after a block is the newest windows' reading, and a
// window from before the tick or the reset, read by mistake, would stand far above it.
TEST(EngineDrivenMeter, HoldsWhatItsOwnReadingOfTheDrivenSignalHolds) {
  constexpr double kRate = 48000.0;
  constexpr float kDriveDb = 3.0f;
  const render::Stereo noise = render::Noise(kRate, 3.0, -6.0, 41);
  std::vector<Block> plan;
  for (int k = 0; k < 40; ++k) plan.push_back({512});
  for (int k = 0; k < 60; ++k) plan.push_back({k % 3 == 0 ? 1 : 37});  // runs shorter than the delay
  plan.push_back({700, 0.0f, 0.0f, false, true, true});                  // a meter reset
  for (int k = 0; k < 8; ++k) plan.push_back({300});
  plan.push_back({480, 4.0f});  // Character in circuit
  plan.push_back({90, 4.0f});
  for (int k = 0; k < 6; ++k) plan.push_back({256});
  plan.push_back({333, 0.0f, 0.5f});  // Loud
  for (int k = 0; k < 6; ++k) plan.push_back({256});
  plan.push_back({400, 0.0f, 0.0f, true});  // Loud Delta
  for (int k = 0; k < 6; ++k) plan.push_back({512});
  plan.push_back({1200, 0.0f, 0.0f, false, false});  // nobody watching
  for (int k = 0; k < 30; ++k) plan.push_back({k % 2 ? 41 : 512});
  plan.push_back({1000, 0.0f, 0.0f, false, true, true});
  for (int k = 0; k < 12; ++k) plan.push_back({256});

  LimiterEngine engine;
  ASSERT_TRUE(engine.Prepare(kRate));
  for (int ch = 0; ch < 2; ++ch) engine.settings.driveDb[ch] = kDriveDb;
  TruePeakDetector reference;
  reference.SetTable(&TruePeakTable::DefaultDetection());
  const double drive = std::pow(10.0, kDriveDb / 20.0);
  const int period = engine.MeterPeriod();
  std::vector<double> in[2], out[2], driven;
  int sinceTick = 0;
  size_t at = 0;
  int checked = 0;
  for (const Block& block : plan) {
    ASSERT_LE(at + static_cast<size_t>(block.frames), noise.left.size());
    engine.settings.character = block.character;
    engine.settings.loud = block.loud;
    engine.settings.loudDelta = block.loudDelta ? 1.0f : 0.0f;
    engine.SetDisplayMeters(block.displayMeters);
    if (block.resetFirst) {
      engine.RequestMeterReset();
      reference.Reset();
      sinceTick = 0;
    }
    for (int ch = 0; ch < 2; ++ch) {
      const std::vector<double>& source = ch == 0 ? noise.left : noise.right;
      in[ch].resize(static_cast<size_t>(block.frames));
      out[ch].resize(static_cast<size_t>(block.frames));
      for (int i = 0; i < block.frames; ++i) {
        const double rise = static_cast<double>((sinceTick + i) % period) / period;
        in[ch][static_cast<size_t>(i)] = source[at + static_cast<size_t>(i)] * std::pow(10.0, 2.0 * (rise - 1.0));
      }
    }
    engine.Process(in[0].data(), in[1].data(), out[0].data(), out[1].data(), block.frames, false);

    driven = in[0];
    for (double& x : driven) x *= drive;
    at += static_cast<size_t>(block.frames);
    const int untilTick = period - sinceTick;
    if (block.frames < untilTick) {
      if (block.displayMeters) reference.HoldRun(driven.data(), block.frames);
      sinceTick += block.frames;
    } else {  // the tick falls in this block: it read the hold and cleared it
      ASSERT_LT(block.frames - untilTick, period);
      if (block.displayMeters) reference.HoldRun(driven.data(), untilTick);
      reference.ClearPeakHold();
      sinceTick = block.frames - untilTick;
      if (block.displayMeters) reference.HoldRun(driven.data() + untilTick, sinceTick);
      if (sinceTick == 0) continue;
    }
    ASSERT_EQ(engine.DrivenPeakHold(), reference.PeakHold()) << "block " << checked;
    ++checked;
  }
  EXPECT_GT(checked, 150);
}
