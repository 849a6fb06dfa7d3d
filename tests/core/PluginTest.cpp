// The plug-in object: configuration, parameter-to-engine mapping, reset and restore hooks.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "core/ParamIds.h"
#include "core/ZARN.h"

namespace {

// Counts latency reports, as a host would see them.
class RecordingZarn : public ZARN {
 public:
  void SetLatency(int samples) override {
    ZARN::SetLatency(samples);
    reports.push_back(samples);
  }
  std::vector<int> reports;
};

TEST(Plugin, ConfigurationDescribesTheProduct) {
  const PluginConfig c = ZARN::MakeConfig();
  EXPECT_EQ(c.nParams, 27);
  EXPECT_STREQ(c.channelIO, "1-1 2-2");
  EXPECT_STREQ(c.pluginName, "ZARN");
  EXPECT_STREQ(c.makerName, "Tessary");
  EXPECT_EQ(c.vendorVersion, 0x00030000);
  EXPECT_EQ(static_cast<uint32_t>(c.uniqueId), 0x5A41524Eu);  // 'Z' 'A' 'R' 'N'
  const char* maker = reinterpret_cast<const char*>(&c.makerId);
  EXPECT_EQ(std::string(maker, 4), "QELM");
  EXPECT_EQ(c.editorWidth, 1440);
  EXPECT_EQ(c.editorHeight, 604);
  EXPECT_EQ(c.minWidth, 480);
  EXPECT_EQ(c.maxHeight, 1812);

  ZARN plugin;
  ASSERT_EQ(plugin.NPresets(), 1);
  EXPECT_EQ(plugin.GetPreset(0).name, "Default");
  for (int i = 0; i < kNumParams; ++i)
    EXPECT_EQ(plugin.GetPreset(0).values[static_cast<size_t>(i)], plugin.GetParam(i)->Default());
}

TEST(Plugin, ParametersReachTheEngineConverted) {
  ZARN plugin;
  const EngineSettings& s = plugin.Engine().settings;
  EXPECT_TRUE(plugin.SetParamValue(kLoud, 37.0));
  EXPECT_EQ(s.loud.load(), static_cast<float>(37.0 / 100.0));
  plugin.SetParamValue(kExtra, 100.0);
  EXPECT_EQ(s.extra.load(), 1.0f);
  plugin.SetParamValue(kLoudClip, 2.0);
  EXPECT_EQ(s.loudClipMode.load(), 2.0f);
  plugin.SetParamValue(kCodecMode, 3.0);
  EXPECT_EQ(s.codecMode.load(), 3);
  plugin.SetParamValue(kDriveL, 9.04);  // continuous: only rounded to single precision
  EXPECT_EQ(s.driveDb[0].load(), 9.04f);
  plugin.SetParamValue(kCeilingR, -25.0);  // clamped to the range
  EXPECT_EQ(s.ceilingDb[1].load(), -20.0f);
  plugin.SetParamValue(kCharacter, 3.4);  // whole numbers
  EXPECT_EQ(s.character.load(), 3.0f);
  plugin.SetParamValue(kLoudMode, 1.0);
  EXPECT_EQ(s.loudWarm.load(), 1.0f);
  plugin.SetParamValue(kDither, 2.0);
  EXPECT_EQ(s.dither.load(), 2);
  plugin.SetParamValue(kSmooth, 50.0);
  EXPECT_EQ(s.smooth.load(), 0.5f);
  plugin.SetParamValue(kBypass, 1.0);
  EXPECT_TRUE(s.bypass.load());
  plugin.SetParamValue(kTargetLufs, -30.0);
  EXPECT_EQ(s.targetLufs.load(), -24.0f);
}

// Compares every setting the parameters can write.
void ExpectSameSettings(const EngineSettings& a, const EngineSettings& b) {
  for (int ch = 0; ch < 2; ++ch) {
    EXPECT_EQ(a.driveDb[ch].load(), b.driveDb[ch].load());
    EXPECT_EQ(a.ceilingDb[ch].load(), b.ceilingDb[ch].load());
  }
  EXPECT_EQ(a.releaseMs.load(), b.releaseMs.load());
  EXPECT_EQ(a.bypass.load(), b.bypass.load());
  EXPECT_EQ(a.levelMatch.load(), b.levelMatch.load());
  EXPECT_EQ(a.codecMode.load(), b.codecMode.load());
  EXPECT_EQ(a.mask.load(), b.mask.load());
  EXPECT_EQ(a.detect.load(), b.detect.load());
  EXPECT_EQ(a.smooth.load(), b.smooth.load());
  EXPECT_EQ(a.loud.load(), b.loud.load());
  EXPECT_EQ(a.extra.load(), b.extra.load());
  EXPECT_EQ(a.dither.load(), b.dither.load());
  EXPECT_EQ(a.loudWarm.load(), b.loudWarm.load());
  EXPECT_EQ(a.loudClipMode.load(), b.loudClipMode.load());
  EXPECT_EQ(a.loudDelta.load(), b.loudDelta.load());
  EXPECT_EQ(a.fullDelta.load(), b.fullDelta.load());
  EXPECT_EQ(a.character.load(), b.character.load());
  EXPECT_EQ(a.dynamicCeiling.load(), b.dynamicCeiling.load());
  EXPECT_EQ(a.targetLufs.load(), b.targetLufs.load());
}

TEST(Plugin, PageOnlyParametersAndBadIndicesLeaveTheEngineAlone) {
  ZARN plugin, reference;
  for (int index : {kLinked, kLights, kView, kZoom, kAnalyser, kPlatform}) {
    IParam* p = plugin.GetParam(index);
    p->Set(p->Max());
    plugin.OnParamChange(index);
  }
  plugin.OnParamChange(27);
  plugin.OnParamChange(-1);
  EXPECT_FALSE(plugin.SetParamValue(27, 1.0));
  ExpectSameSettings(plugin.Engine().settings, reference.Engine().settings);
}

TEST(Plugin, NonFiniteValuesNeverReachTheEngine) {
  ZARN plugin;
  plugin.SetParamValue(kDriveL, 6.0);
  for (double bad : {std::nan(""), std::numeric_limits<double>::infinity(),
                     -std::numeric_limits<double>::infinity()}) {
    for (int index : {kDriveL, kCeilingL, kExtra, kLoud}) {
      const double before = plugin.GetParam(index)->Value();
      EXPECT_FALSE(plugin.SetParamValue(index, bad));
      EXPECT_EQ(plugin.GetParam(index)->Value(), before);
    }
    EXPECT_FALSE(plugin.GetParam(kCeilingR)->SetNormalized(bad));
  }
  EXPECT_EQ(plugin.Engine().settings.driveDb[0].load(), 6.0f);
  EXPECT_EQ(plugin.Engine().settings.ceilingDb[0].load(), -0.1f);
}

TEST(Plugin, ResetPreparesReappliesAndReportsLatencyOnlyWhenItChanges) {
  RecordingZarn plugin;
  plugin.GetParam(kDriveR)->Set(3.0);  // set without the hook: the reset must re-apply it
  ASSERT_TRUE(plugin.SetupProcessing(48000.0, 512, 2, 2));
  EXPECT_EQ(plugin.Engine().settings.driveDb[1].load(), 3.0f);
  EXPECT_TRUE(plugin.Engine().settings.channelsIndependent.load());
  EXPECT_EQ(plugin.uiRefreshTicks.load(), 5);
  EXPECT_EQ(plugin.uiSampleRate.load(), 48000);
  ASSERT_TRUE(plugin.SetupProcessing(48000.0, 1024, 2, 2));
  ASSERT_TRUE(plugin.SetupProcessing(44100.0, 1024, 2, 2));
  EXPECT_EQ(plugin.reports, (std::vector<int>{335, 315}));
  EXPECT_EQ(plugin.GetLatency(), 315);
  EXPECT_EQ(plugin.uiSampleRate.load(), 44100);
}

TEST(Plugin, AbsurdSetupsAreRefusedAndChangeNothing) {
  RecordingZarn plugin;
  ASSERT_TRUE(plugin.SetupProcessing(96000.0, 256, 2, 2));
  const double nan = std::nan("");
  for (double rate : {0.0, -48000.0, nan, 1e300, 7999.0, 768001.0})
    EXPECT_FALSE(plugin.SetupProcessing(rate, 256, 2, 2)) << rate;
  for (int block : {0, -1, IFxProcessor::kMaxBlockSize + 1})
    EXPECT_FALSE(plugin.SetupProcessing(48000.0, block, 2, 2)) << block;
  EXPECT_FALSE(plugin.SetupProcessing(48000.0, 256, 3, 2));
  EXPECT_FALSE(plugin.SetupProcessing(48000.0, 256, 2, 0));
  EXPECT_EQ(plugin.GetSampleRate(), 96000.0);
  EXPECT_EQ(plugin.Engine().SampleRate(), 96000.0);
  EXPECT_EQ(plugin.GetLatency(), 575);
  EXPECT_EQ(plugin.reports.size(), 1u);
  EXPECT_TRUE(plugin.SetupProcessing(8000.0, 1, 1, 1));
  EXPECT_TRUE(plugin.SetupProcessing(768000.0, 1, 1, 1));
}

TEST(Plugin, StateRestoreForcesLevelMatchOff) {
  ZARN plugin;
  plugin.GetParam(kLevelMatch)->Set(1.0);
  plugin.GetParam(kCeilingL)->Set(-3.0);
  plugin.OnStateRestored();
  EXPECT_EQ(plugin.GetParam(kLevelMatch)->Value(), 0.0);
  EXPECT_FALSE(plugin.Engine().settings.levelMatch.load());
  EXPECT_EQ(plugin.Engine().settings.ceilingDb[0].load(), -3.0f);
  EXPECT_TRUE(plugin.stateRestoredPending.load());
  EXPECT_EQ(plugin.uiRefreshTicks.load(), 5);
}

// In mono the single output carries the left result of the stereo engine fed the same signal.
TEST(Plugin, MonoLayoutRunsTheLeftChannelPath) {
  constexpr int kFrames = 12000;
  std::vector<double> in(kFrames);
  for (int i = 0; i < kFrames; ++i) in[static_cast<size_t>(i)] = 1.6 * std::sin(0.031 * i);

  ZARN stereo;
  ASSERT_TRUE(stereo.SetupProcessing(48000.0, 4096, 2, 2));
  std::vector<double> outL(kFrames), outR(kFrames);
  for (int start = 0; start < kFrames; start += 4096) {
    const int n = std::min(4096, kFrames - start);
    double* ins[2] = {in.data() + start, in.data() + start};
    double* outs[2] = {outL.data() + start, outR.data() + start};
    stereo.ProcessAudioBlock(ins, outs, n);
  }

  for (int block : {4096, 10000}) {  // 10000 exceeds the scratch buffer of 8192
    ZARN mono;
    ASSERT_TRUE(mono.SetupProcessing(48000.0, 4096, 1, 1));
    std::vector<double> out(kFrames);
    for (int start = 0; start < kFrames; start += block) {
      const int n = std::min(block, kFrames - start);
      double* ins[1] = {in.data() + start};
      double* outs[1] = {out.data() + start};
      mono.ProcessAudioBlock(ins, outs, n);
    }
    for (int i = 0; i < kFrames; ++i) ASSERT_EQ(out[static_cast<size_t>(i)], outL[static_cast<size_t>(i)]) << block << " at " << i;
  }
}

}  // namespace
