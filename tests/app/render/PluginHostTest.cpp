// The renderer driving the built VST3 module as a host does: 64-bit output equal to the linked
// plug-in's bit for bit, mono and stereo, settings included; and clean refusals.
#if defined(ZARN_HAVE_APP) && defined(ZARN_VST3_MODULE)

#include <cmath>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "app/audio/AudioFile.h"
#include "app/audio/UserError.h"
#include "app/render/OfflineHost.h"
#include "app/render/ParamAssignment.h"
#include "app/render/PluginHost.h"
#include "app/render/RenderFile.h"
#include "core/ZARN.h"
#include "support/ScratchDirectory.h"

namespace {

std::vector<double> Programme(int nChannels, int frames) {
  std::mt19937 random(17);
  std::normal_distribution<double> noise(0.0, 0.25);
  std::vector<double> x(static_cast<size_t>(nChannels * frames));
  for (int i = 0; i < frames; ++i)
    for (int c = 0; c < nChannels; ++c)
      x[static_cast<size_t>(i * nChannels + c)] = 0.9 * std::sin(0.013 * i + c) + noise(random);
  return x;
}

TEST(PluginHost, SixtyFourBitOutputEqualsTheLinkedPluginBitForBit) {
  const std::vector<std::string> texts = {"Drive L=9", "Drive R=7.3", "Level Match=1",
                                          "Release=1000", "Loud=40", "Character=3.4",
                                          "Ceiling L=-1.23"};
  for (int nChannels : {2, 1}) {
    constexpr int kBlock = 300, kFrames = 48000;
    ZARN linked;
    const auto settings = ParseParamAssignments(texts, linked);
    ApplyParamAssignments(linked, settings);
    ASSERT_TRUE(linked.SetupProcessing(48000.0, kBlock, nChannels, nChannels));
    OfflineHost offline(linked, nChannels, kBlock);
    PluginHost hosted(ZARN_VST3_BUNDLE, 48000.0, nChannels, kBlock, settings);
    ASSERT_EQ(hosted.Latency(), linked.GetLatency());

    const std::vector<double> input = Programme(nChannels, kFrames);
    for (int start = 0; start < kFrames; start += kBlock) {
      const int n = std::min(kBlock, kFrames - start);
      const double* in = input.data() + static_cast<size_t>(start * nChannels);
      const double* linkedOut = offline.Process(in, n);
      const std::vector<double> expected(linkedOut, linkedOut + n * nChannels);
      const double* got = hosted.Process(in, n);
      for (int i = 0; i < n * nChannels; ++i)
        ASSERT_EQ(got[i], expected[static_cast<size_t>(i)])
            << nChannels << " channels, frame " << start + i / nChannels;
    }
  }
}

// Moves included: through the module they go as parameter changes with their block.
TEST(PluginHost, RenderThroughTheBundleWritesTheSameSamples) {
  ScratchDirectory dir;
  AudioBuffer in;
  in.channels = {std::vector<double>(20000), std::vector<double>(20000)};
  for (int i = 0; i < 20000; ++i) in.channels[0][i] = in.channels[1][i] = 1.4 * std::sin(0.02 * i);
  SaveAudioFile(dir.File("in.wav"), in);
  RenderOptions options;
  options.inputPath = dir.File("in.wav");
  options.outputPath = dir.File("linked.wav");
  options.settings = {"Drive L=6", "Release=120"};
  options.moves = {{0.1, "Loud=100"}, {0.2, "Loud Clip=Hard"}};
  const RenderResult linked = RenderFile(options);
  options.outputPath = dir.File("module.wav");
  options.pluginPath = ZARN_VST3_BUNDLE;
  const RenderResult module = RenderFile(options);
  EXPECT_EQ(module.latencySamples, linked.latencySamples);
  EXPECT_EQ(module.moves.size(), 2u);
  AudioBuffer a = LoadAudioFile(dir.File("linked.wav"));
  AudioBuffer b = LoadAudioFile(dir.File("module.wav"));
  // Only the built-in plug-in can be told where the file ends, to cut the Loud stage's ringing
  // there: the look-ahead and the catcher before the end differ.
  const size_t end = a.channels[0].size() - static_cast<size_t>(linked.latencySamples);
  for (AudioBuffer* buffer : {&a, &b})
    for (auto& channel : buffer->channels) channel.resize(end);
  EXPECT_EQ(a.channels, b.channels);
}

TEST(PluginHost, BundlePathsAndRefusals) {
  EXPECT_EQ(PluginHost::ModuleFileOf(ZARN_VST3_BUNDLE), ZARN_VST3_MODULE);
  EXPECT_EQ(PluginHost::ModuleFileOf(std::string(ZARN_VST3_BUNDLE) + "/"), ZARN_VST3_MODULE);
  EXPECT_EQ(PluginHost::ModuleFileOf("/no/such.so"), "/no/such.so");
  EXPECT_THROW(PluginHost("/no/such.vst3", 48000.0, 2, 512, {}), UserError);
  EXPECT_THROW(PluginHost(ZARN_VST3_BUNDLE, 1000.0, 2, 512, {}), UserError);
  EXPECT_THROW(PluginHost(ZARN_VST3_BUNDLE, 48000.0, 3, 512, {}), UserError);
}

}  // namespace

#endif
