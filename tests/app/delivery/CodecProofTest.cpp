// The codec round trip: aligned with the master and as long as it, whatever the codec's delay
// and frame size, and its overs counted.
#ifdef ZARN_HAVE_APP

#include <cmath>
#include <numbers>

#include <gtest/gtest.h>

#include "app/audio/UserError.h"
#include "app/delivery/CodecProof.h"
#include "app/delivery/DecodedPeaks.h"
#include "app/delivery/EarlyCodecProof.h"
#include "app/delivery/MasterRender.h"
#include "dsp/WideTruePeakMeter.h"
#include "support/ReferenceTruePeak.h"

namespace {

// A 1 kHz tone that starts at `onset` seconds, in both channels.
AudioBuffer ToneBurst(double rate, double amplitude, double onset, double seconds) {
  AudioBuffer audio;
  audio.sampleRate = rate;
  std::vector<double> x(static_cast<size_t>(seconds * rate), 0.0);
  for (size_t n = static_cast<size_t>(onset * rate); n < x.size(); ++n)
    x[n] = amplitude * std::sin(2.0 * std::numbers::pi * 1000.0 * static_cast<double>(n) / rate);
  audio.channels = {x, x};
  return audio;
}

// The first sample whose magnitude passes `level`.
int64_t FirstAbove(const std::vector<double>& x, double level) {
  for (size_t n = 0; n < x.size(); ++n)
    if (std::abs(x[n]) > level) return static_cast<int64_t>(n);
  return -1;
}

}  // namespace

TEST(CodecProof, DecodedAudioLinesUpWithTheMasterForEveryCodec) {
  for (double rate : {44100.0, 48000.0}) {
    const AudioBuffer master = ToneBurst(rate, 0.5, 0.4, 1.0);
    for (Codec codec : {Codec::kAac, Codec::kMp3, Codec::kOpus}) {
      const AudioBuffer decoded = EncodeAndDecode(codec, master);
      const double codecRate = codec == Codec::kOpus ? 48000.0 : rate;
      EXPECT_EQ(decoded.sampleRate, codecRate);
      EXPECT_NEAR(static_cast<double>(decoded.Frames()), master.Frames() * codecRate / rate, 1.0)
          << CodecName(codec) << " at " << rate;
      // The onset (first sample above a quarter of the amplitude) lands where it was, give or
      // take the codec's smearing of a step.
      const double onset = static_cast<double>(FirstAbove(master.channels[0], 0.125)) * codecRate / rate;
      EXPECT_NEAR(static_cast<double>(FirstAbove(decoded.channels[1], 0.125)), onset, 24.0)
          << CodecName(codec) << " at " << rate;
      const CodecCheck check = ProveCodec(codec, master);
      EXPECT_EQ(check.decodedFrames, decoded.Frames());
      EXPECT_NEAR(check.truePeakDbtp, 20.0 * std::log10(0.5), 0.5) << CodecName(codec);
      EXPECT_EQ(check.overs, 0);
      EXPECT_TRUE(check.Clean());
    }
  }
}

TEST(CodecProof, AFullScaleMasterDecodesWithOversCounted) {
  // A tone at full scale leaves a codec no headroom for its quantisation noise.
  const AudioBuffer master = ToneBurst(48000.0, 1.0, 0.0, 1.0);
  for (Codec codec : {Codec::kAac, Codec::kMp3, Codec::kOpus}) {
    const CodecCheck check = ProveCodec(codec, master);
    EXPECT_GT(check.truePeakDbtp, 0.0) << CodecName(codec);
    EXPECT_GT(check.overs, 0) << CodecName(codec);
    EXPECT_FALSE(check.Clean());
  }
}

// Decoded audio with a few short overs among long stretches at and under full scale: the
// reading in runs finds the same peak and the same overs as a meter read after every sample,
// and the peak an independent oversampled reference finds.
TEST(CodecProof, DecodedOversAreCountedAsASampleBySampleReadingCountsThem) {
  const double rate = 48000.0;
  std::vector<double> x(static_cast<size_t>(rate), 0.0);
  for (size_t n = 0; n < x.size(); ++n) {
    // A quarter-rate tone whose samples fall at 45 degrees: it peaks between them.
    const double phase = std::numbers::pi * (0.5 * static_cast<double>(n) + 0.25);
    const bool burst = n % 9000 < 40 || n + 30 > x.size();  // the last one runs into the end
    x[n] = (burst ? 1.12 : 0.95) * std::sin(phase);
  }
  WideTruePeakMeter meter;
  int64_t overs = 0;
  float peak = 0.0f;
  const auto push = [&](double v) {
    meter.Process(static_cast<float>(v));
    peak = std::max(peak, meter.PeakHold());
    if (meter.PeakHold() > 1.0f) ++overs;
    meter.ClearPeakHold();
  };
  for (double v : x) push(v);
  for (int i = 0; i <= WideTruePeakMeter::kLag; ++i) push(0.0);

  const DecodedPeaks reading = ReadDecodedPeaks(x);
  EXPECT_EQ(reading.overs, overs);
  EXPECT_GT(reading.overs, 6 * 17);  // every other interval of a burst peaks between samples
  EXPECT_EQ(reading.peak, peak);
  EXPECT_NEAR(20.0 * std::log10(reading.peak), reference::ToDb(reference::TruePeak(x)), 0.05);

  const std::vector<double> quiet(x.size(), 0.25);
  EXPECT_EQ(ReadDecodedPeaks(quiet).overs, 0);
  EXPECT_EQ(ReadDecodedPeaks({}).peak, 0.0f);
}

// The proof begun with a render reads each frame once it is rendered: it comes out as the
// proof of the finished master, and a render dropped half-way takes its proof with it.
TEST(CodecProof, AProofBegunWithItsRenderReadsAsTheFinishedMastersProof) {
  const AudioBuffer input = ToneBurst(48000.0, 0.9, 0.1, 3.0);
  for (Codec codec : {Codec::kAac, Codec::kOpus}) {
    ASSERT_TRUE(CodecRunsAt(codec, 48000.0));
    EngineRender render = BlankRender(input);
    EarlyCodecProof early;
    early.Start(codec, render.output);
    RenderInto(input, DefaultParamValues(), 6.0, render, &early.Progress());
    const CodecCheck begun = early.Finish();
    const CodecCheck after = ProveCodec(codec, render.output);
    EXPECT_EQ(begun.truePeakDbtp, after.truePeakDbtp) << CodecName(codec);
    EXPECT_EQ(begun.overs, after.overs);
    EXPECT_EQ(begun.decodedFrames, after.decodedFrames);
  }
  EXPECT_FALSE(CodecRunsAt(Codec::kOpus, 44100.0));  // converted first: not as it comes

  EngineRender render = BlankRender(input);
  EarlyCodecProof early;
  early.Start(Codec::kMp3, render.output);
  render.output.channels[0][0] = 0.5;
  early.Progress().Publish(input.Frames() / 3);
  early.Drop();
  EXPECT_FALSE(early.Running());
  EXPECT_THROW(early.Finish(), UserError);
}

TEST(CodecProof, CodecListsAreNamesOrNone) {
  EXPECT_EQ(ParseCodecList("none"), std::vector<Codec>{});
  EXPECT_EQ(ParseCodecList("opus,aac,opus"), (std::vector<Codec>{Codec::kOpus, Codec::kAac}));
  EXPECT_THROW(ParseCodecList("aac,vorbis"), UserError);
  EXPECT_THROW(ParseCodecList(""), UserError);
  EXPECT_THROW(ParseCodecList("aac,"), UserError);
}

#endif  // ZARN_HAVE_APP
