// The saved state through the built module: the 220 documented bytes, round trips, clamping,
// and streams that are short, long, broken or full of nonsense.
#ifdef ZARN_VST3_MODULE

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include <gtest/gtest.h>

#include "support/Vst3TestModule.h"

namespace {

using namespace testhost;

constexpr int kDriveL = 0, kRelease = 4, kBypass = 5, kLevelMatch = 6, kCodecMode = 9, kLoudClip = 19, kTargetLufs = 24;
constexpr ParamID kHostBypass = 65536;

struct Plugin : Instance {
  explicit Plugin(const std::u16string& host = u"ZARN test host") {
    EXPECT_EQ(Initialize(host), kResultOk);
    EXPECT_EQ(Setup(48000.0, 256), kResultOk);
  }
  void Send(ParameterChanges& changes) {
    std::vector<double> l(16, 0.0), r(16, 0.0), ol(16), orr(16);
    EXPECT_EQ(ProcessStereo(l, r, ol, orr, &changes), kResultOk);
  }
  // The largest output sample of the last of 40 blocks of a 1 kHz sine at +6 dBFS.
  double LoudSinePeak() {
    double peak = 0.0;
    for (int block = 0; block < 40; ++block) {
      std::vector<double> l(256), r(256), ol(256), orr(256);
      for (int i = 0; i < 256; ++i) l[i] = r[i] = 2.0 * std::sin(2.0 * M_PI * 1000.0 * (block * 256 + i) / 48000.0);
      EXPECT_EQ(ProcessStereo(l, r, ol, orr), kResultOk);
      peak = 0.0;
      for (double x : ol) peak = std::max(peak, std::fabs(x));
    }
    return peak;
  }
};

// "ZABS", version, body size; active slot, count, 27 values.
constexpr size_t kSlotsBlockBytes = 12 + 8 + 27 * 8;

const double kDefaults[27] = {0,   0,  -0.1, -0.1, 50, 0, 0, 0, 1, 0, 1,   0, 0, 0,
                              0,   0,  0,    0,    0,  0, 0, 0, 0, 0, -9, 0, 0};

TEST(Vst3State, DefaultStateIsTheTwentySevenDefaultsAndABypassWord) {
  Plugin plugin;
  const std::vector<uint8_t> state = plugin.GetState();
  ASSERT_EQ(state.size(), 220u + kSlotsBlockBytes);  // the A/B block follows the 220 bytes
  for (int i = 0; i < 27; ++i) EXPECT_EQ(StateValue(state, i), kDefaults[i]) << i;
  const uint8_t release50[8] = {0, 0, 0, 0, 0, 0, 0x49, 0x40};  // 50.0, little-endian
  EXPECT_EQ(std::memcmp(state.data() + 32, release50, 8), 0);
  EXPECT_EQ(state[216] | state[217] | state[218] | state[219], 0);
}

TEST(Vst3State, RoundTripRestoresValuesAndBypassButNeverLevelMatch) {
  Plugin saved;
  ParameterChanges changes;
  changes.Add(kRelease, 0.5);
  changes.Add(kLevelMatch, 1.0);
  changes.Add(kLoudClip, 0.5);
  changes.Add(kTargetLufs, 0.0);
  changes.Add(kHostBypass, 1.0);
  saved.Send(changes);
  std::vector<uint8_t> state = saved.GetState();
  EXPECT_EQ(StateValue(state, kLevelMatch), 1.0);
  EXPECT_EQ(state[216], 1);

  Plugin restored;
  ASSERT_EQ(restored.SetState(state), kResultOk);
  const std::vector<uint8_t> again = restored.GetState();
  EXPECT_EQ(StateValue(again, kRelease), 515.0);
  EXPECT_EQ(StateValue(again, kLoudClip), 1.0);
  EXPECT_EQ(StateValue(again, kTargetLufs), -24.0);
  EXPECT_EQ(StateValue(again, kLevelMatch), 0.0);  // always off after a restore
  EXPECT_EQ(restored.controller->getParamNormalized(kLevelMatch), 0.0);
  EXPECT_DOUBLE_EQ(restored.controller->getParamNormalized(kRelease), 0.5);
  EXPECT_EQ(restored.controller->getParamNormalized(kHostBypass), 1.0);
  EXPECT_EQ(again[216], 0);  // the processor bypasses only once the host sends it
}

// The host may set a value on the controller that the processor took from its queue before: the
// state it then saves and the sound must agree.
TEST(Vst3State, AControllerEditReachesTheSoundAsWellAsTheState) {
  Plugin plugin;
  ParameterChanges on;
  on.Add(kBypass, 1.0);
  plugin.Send(on);
  EXPECT_GT(plugin.LoudSinePeak(), 1.9);  // passed through
  EXPECT_EQ(plugin.controller->setParamNormalized(kBypass, 0.0), kResultOk);
  EXPECT_EQ(StateValue(plugin.GetState(), kBypass), 0.0);
  EXPECT_LT(plugin.LoudSinePeak(), 1.0);  // limited again
}

TEST(Vst3State, StoredValuesAreClampedRoundedOrReplaced) {
  Plugin plugin;
  std::vector<uint8_t> state = plugin.GetState();
  SetStateValue(state, kCodecMode, 2.6);
  SetStateValue(state, kRelease, 5000.0);
  SetStateValue(state, 0, std::numeric_limits<double>::quiet_NaN());
  SetStateValue(state, 1, std::numeric_limits<double>::infinity());
  SetStateValue(state, 2, -std::numeric_limits<double>::infinity());
  SetStateValue(state, kLoudClip, -7.0);
  SetStateValue(state, 3, -3.04);  // a float parameter keeps its value
  ASSERT_EQ(plugin.SetState(state), kResultOk);
  const std::vector<uint8_t> restored = plugin.GetState();
  EXPECT_EQ(StateValue(restored, kCodecMode), 3.0);
  EXPECT_EQ(StateValue(restored, kRelease), 1000.0);
  EXPECT_EQ(StateValue(restored, 0), 0.0);     // NaN: the default
  EXPECT_EQ(StateValue(restored, 1), 12.0);    // the top of Drive R
  EXPECT_EQ(StateValue(restored, 2), -20.0);   // the bottom of Ceiling L
  EXPECT_EQ(StateValue(restored, kLoudClip), 0.0);
  EXPECT_EQ(StateValue(restored, 3), -3.04);
}

TEST(Vst3State, ShortStreamAppliesWhatItHoldsAndFails) {
  Plugin plugin;
  std::vector<uint8_t> state = plugin.GetState();
  SetStateValue(state, kRelease, 400.0);   // inside the first 100 bytes
  SetStateValue(state, 20, 1.0);           // Loud Delta, beyond them
  state.resize(100);
  EXPECT_EQ(plugin.SetState(state), kResultFalse);
  const std::vector<uint8_t> after = plugin.GetState();
  EXPECT_EQ(StateValue(after, kRelease), 400.0);
  EXPECT_EQ(StateValue(after, 20), 0.0);
  EXPECT_EQ(plugin.controller->getParamNormalized(kRelease), 370.0 / 970.0);  // what is in force

  for (size_t size : {0u, 7u, 216u, 219u}) {
    std::vector<uint8_t> cut = plugin.GetState();
    cut.resize(size);
    EXPECT_EQ(plugin.SetState(cut), kResultFalse) << size;
  }
}

// A state cut after the values (no bypass word) fails, as hosts expect, but the values it held
// are in force: the controller shows them and the host is told to read them again, so what the
// host shows and saves is what plays. The next save restores to itself, byte for byte.
TEST(Vst3State, PartlyRestoredValuesAreShownToTheHost) {
  Plugin plugin;
  ComponentHandler handler;
  ASSERT_EQ(plugin.controller->setComponentHandler(&handler), kResultOk);
  ASSERT_EQ(plugin.controller->setParamNormalized(kHostBypass, 1.0), kResultOk);
  std::vector<uint8_t> state = plugin.GetState();
  SetStateValue(state, kDriveL, 12.0);
  SetStateValue(state, kRelease, 400.0);
  state.resize(216);

  EXPECT_EQ(plugin.SetState(state), kResultFalse);
  EXPECT_EQ(handler.restarts, std::vector<int32>{kParamValuesChanged});
  EXPECT_EQ(plugin.controller->getParamNormalized(kDriveL), 1.0);  // the top of -6..+12 dB
  EXPECT_DOUBLE_EQ(plugin.controller->getParamNormalized(kRelease), 370.0 / 970.0);
  EXPECT_EQ(plugin.controller->getParamNormalized(kHostBypass), 1.0);  // no word, no change
  const std::vector<uint8_t> saved = plugin.GetState();
  ASSERT_EQ(saved.size(), 220u + kSlotsBlockBytes);
  EXPECT_EQ(StateValue(saved, kDriveL), 12.0);
  for (int i = 0; i < 27; ++i) {
    const auto id = static_cast<ParamID>(i);
    EXPECT_EQ(plugin.controller->getParamNormalized(id),
              plugin.controller->plainParamToNormalized(id, StateValue(saved, i)))
        << i;
  }

  Plugin reopened;
  ASSERT_EQ(reopened.SetState(saved), kResultOk);
  EXPECT_EQ(reopened.GetState(), saved);
  for (int i = 0; i < 27; ++i)
    EXPECT_EQ(reopened.controller->getParamNormalized(static_cast<ParamID>(i)),
              plugin.controller->getParamNormalized(static_cast<ParamID>(i)))
        << i;

  // A restore that applied nothing has nothing to show.
  for (size_t size : {0u, 7u}) {
    std::vector<uint8_t> empty = saved;
    empty.resize(size);
    EXPECT_EQ(plugin.SetState(empty), kResultFalse);
  }
  EXPECT_EQ(handler.restarts.size(), 1u);
  ASSERT_EQ(plugin.controller->setComponentHandler(nullptr), kResultOk);
}

TEST(Vst3State, LongStreamIgnoresTheRest) {
  Plugin plugin;
  std::vector<uint8_t> state = plugin.GetState();
  SetStateValue(state, kRelease, 123.0);
  state.resize(5000, 0xFF);
  EXPECT_EQ(plugin.SetState(state), kResultOk);
  EXPECT_EQ(StateValue(plugin.GetState(), kRelease), 123.0);
}

// Some hosts' streams deliver the bytes and still report an error; WaveLab's are read on.
TEST(Vst3State, ReadsThatReportErrorsCountOnlyForWaveLab) {
  for (const std::u16string host : {u"WaveLab Pro 12", u"Nuendo 13"}) {
    Plugin plugin(host);
    std::vector<uint8_t> state = plugin.GetState();
    SetStateValue(state, kRelease, 777.0);
    SetStateValue(state, 26, 42.0);
    MemoryStream stream(state);
    stream.readsReportError = true;
    stream.readPiece = 100;
    const tresult result = plugin.component->setState(&stream);
    const std::vector<uint8_t> after = plugin.GetState();
    if (host[0] == u'W') {
      EXPECT_EQ(StateValue(after, kRelease), 777.0);
      EXPECT_EQ(StateValue(after, 26), 42.0);
    } else {
      EXPECT_EQ(result, kResultFalse);
      EXPECT_EQ(StateValue(after, kRelease), 50.0);  // nothing was kept
    }
  }
}

TEST(Vst3State, BrokenStreamsFailCleanly) {
  Plugin plugin;
  EXPECT_NE(plugin.component->setState(nullptr), kResultOk);
  EXPECT_NE(plugin.component->getState(nullptr), kResultOk);
  MemoryStream unseekable(plugin.GetState());
  unseekable.seekFails = true;
  EXPECT_EQ(plugin.component->setState(&unseekable), kResultFalse);
  MemoryStream trickle(plugin.GetState());
  trickle.readPiece = 3;  // pieces smaller than asked for
  EXPECT_EQ(plugin.component->setState(&trickle), kResultOk);
}

}  // namespace

#endif  // ZARN_VST3_MODULE
