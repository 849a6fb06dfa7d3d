// The renders `zarn master` searches with: the estimate cut into stretches against the whole
// render it stands in for.
#ifdef ZARN_HAVE_APP

#include <cmath>
#include <algorithm>

#include <gtest/gtest.h>

#include "app/delivery/MasterRender.h"
#include "app/delivery/MasterSettings.h"
#include "app/render/ReferenceLoudness.h"
#include "app/signals/TestSignals.h"
#include "support/MasterInputs.h"
#include "support/ReferenceTruePeak.h"

namespace {

AudioBuffer Buffer(const signals::Stereo& s) { return AudioBuffer{s.sampleRate, {s.left, s.right}}; }

// The demo with a quiet bridge in its middle, where the stretches meet: the limiter lets go
// there in a whole render, and a stretch must start from as much.
AudioBuffer DemoWithQuietBridge(double seconds) {
  AudioBuffer audio = Buffer(signals::Demo(48000.0, seconds));
  const auto middle = static_cast<size_t>(audio.Frames() / 2);
  for (auto& channel : audio.channels)
    for (size_t n = middle - 96000; n < middle + 48000; ++n) channel[n] *= 0.05;
  return audio;
}

struct EstimateCase {
  const char* name;
  AudioBuffer audio;
  double gainDb;
};

// The search steers by the estimate's loudness and reduction; a few thousandths of a LU off
// are nothing to a step, while a stretch lost or misplaced would read far off.
TEST(MasterRender, EstimateReadsLikeTheWholeRender) {
  const EstimateCase cases[] = {
      {"demo, 12 dB of reduction", Buffer(signals::Demo(48000.0, 20.0)), 12.0},
      {"demo, light limiting", Buffer(signals::Demo(48000.0, 20.0)), 4.0},
      {"quiet bridge at the cut", DemoWithQuietBridge(20.0), 10.0},
      {"dense noise under drums", DemoOverNoise(20.0), 8.0},
      {"quiet with clicks", QuietWithClicks(20.0), 30.0},
  };
  for (const EstimateCase& c : cases) {
    SCOPED_TRACE(c.name);
    const EngineRender whole = RenderThroughEngine(c.audio, DefaultParamValues(), c.gainDb);
    const EngineRender estimate = EstimateThroughEngine(c.audio, DefaultParamValues(), c.gainDb, 2);
    EXPECT_NEAR(bs1770::Analyse(estimate.output).integratedLufs,
                bs1770::Analyse(whole.output).integratedLufs, 0.03);
    EXPECT_NEAR(estimate.reduction.maxDb, whole.reduction.maxDb, 0.05);
    EXPECT_NEAR(estimate.reduction.shareAbove1Db, whole.reduction.shareAbove1Db, 0.01);
    EXPECT_NEAR(estimate.reduction.meanDb, whole.reduction.meanDb, 0.05);

    // The first stretch (past the middle) is the whole render's to the sample; the second starts
    // from a limiter that has settled, whose gain may still differ by a dB or so after a quiet
    // stretch, but no sample is off by the signal itself, as it would be where a stretch was
    // lost or misplaced.
    const auto cut = static_cast<size_t>(c.audio.Frames() / 2 / kBlockSize * kBlockSize);
    for (size_t ch = 0; ch < 2; ++ch) {
      const auto& a = whole.output.channels[ch];
      const auto& b = estimate.output.channels[ch];
      ASSERT_EQ(a.size(), b.size());
      EXPECT_TRUE(std::equal(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(cut), b.begin()));
      double most = 0.0;
      for (size_t n = cut; n < a.size(); ++n) most = std::max(most, std::abs(a[n] - b[n]));
      EXPECT_LT(most, 0.25);
    }
  }
}

TEST(MasterRender, EstimateIsTheSameOnAnyNumberOfThreads) {
  const AudioBuffer audio = DemoWithQuietBridge(12.0);
  const EngineRender one = EstimateThroughEngine(audio, DefaultParamValues(), 9.0, 1);
  const EngineRender two = EstimateThroughEngine(audio, DefaultParamValues(), 9.0, 2);
  EXPECT_EQ(one.output.channels, two.output.channels);
  EXPECT_EQ(one.reduction.maxDb, two.reduction.maxDb);
  EXPECT_EQ(one.reduction.meanDb, two.reduction.meanDb);
  // A track shorter than the warm-up is rendered whole in every stretch, however short.
  for (const double seconds : {2.5, 0.02, 0.001}) {
    const AudioBuffer short_ = Buffer(signals::Demo(48000.0, seconds));
    EXPECT_EQ(EstimateThroughEngine(short_, DefaultParamValues(), 9.0, 2).output.channels,
              RenderThroughEngine(short_, DefaultParamValues(), 9.0).output.channels);
  }
}

// A track that starts and ends loud through the Loud stage holds the ceiling across its first and
// last samples, counting the silence around the master, in the whole render and in the estimate.
TEST(MasterRender, LoudEdgesHoldTheCeiling) {
  std::vector<double> tone = signals::Sine(48000.0, 997.0, 2.0, 37502);
  for (double& x : tone) x = std::clamp(x, -1.0, 1.0);  // ends on a flat top
  const AudioBuffer audio{48000.0, {tone, tone}};
  ParamValues values = DefaultParamValues();
  ApplySettings({"Loud=100", "Loud Clip=Hard", "Ceiling L=-0.1", "Ceiling R=-0.1"}, values);
  for (const EngineRender& render : {RenderThroughEngine(audio, values, 3.0), EstimateThroughEngine(audio, values, 3.0, 2)}) {
    for (const auto& channel : render.output.channels) {
      std::vector<double> withSilence(64, 0.0);
      withSilence.insert(withSilence.end(), channel.begin(), channel.end());
      withSilence.resize(withSilence.size() + 64, 0.0);
      EXPECT_LE(reference::ToDb(reference::TruePeak(withSilence)), -0.1 + 0.05);
    }
  }
}

}  // namespace

#endif  // ZARN_HAVE_APP
