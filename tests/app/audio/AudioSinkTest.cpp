// The standalone editor's audio: real-time pacing, the ALSA device (its "null" PCM needs no
// hardware) and a whole editor run that plays, applies --set and renders with the final settings.
#ifdef ZARN_HAVE_APP
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <vector>

#include "app/EditorCommand.h"
#include "app/audio/AudioFile.h"
#include "app/audio/AudioSink.h"
#include "app/signals/TestSignals.h"
#include "editor/linux/ChromiumProcess.h"
#include "support/ReferenceTruePeak.h"
#include "support/ScratchDirectory.h"

namespace {

using std::chrono::milliseconds;

TEST(AudioSink, PacerHoldsTheProducerToTheClockPlusItsLead) {
  RealTimePacer pacer(48000.0, milliseconds(100));
  // Within the lead: no wait. One second ahead: about 0.9 s.
  EXPECT_EQ(pacer.WaitFor(4800), RealTimePacer::Clock::duration::zero());
  const auto wait = pacer.WaitFor(48000);
  EXPECT_GT(wait, milliseconds(700));  // less whatever time passed since construction
  EXPECT_LE(wait, milliseconds(900));
  // Counting frames moves the horizon: 50 ms played, 100 ms more still fits in the lead.
  pacer.Advance(2400);
  EXPECT_EQ(pacer.WaitFor(2400), RealTimePacer::Clock::duration::zero());
  EXPECT_GT(pacer.WaitFor(48000), milliseconds(750));
}

#ifdef ZARN_HAVE_ALSA
TEST(AudioSink, AlsaNullDevicePlaysAndAMissingDeviceSaysWhy) {
  std::string whyNot;
  auto sink = OpenSystemAudio("null", 2, 48000.0, whyNot);
  ASSERT_NE(sink, nullptr) << whyNot;
  EXPECT_EQ(sink->Describe(), "ALSA device null");
  const std::vector<float> frames(2 * 512, 0.25f);
  EXPECT_TRUE(sink->Write(frames.data(), 512));

  EXPECT_EQ(OpenSystemAudio("zarn_no_such_device", 2, 48000.0, whyNot), nullptr);
  EXPECT_NE(whyNot.find("zarn_no_such_device"), std::string::npos) << whyNot;
}
#endif

TEST(AudioSink, EditorPlaysAppliesSettingsAndRendersWithThem) {
  if (ChromiumProcess::Find("").empty()) GTEST_SKIP() << "chromium is not installed; skipped";
  ScratchDirectory dir;
  const std::string in = dir.File("in.wav"), out = dir.File("out.wav");
  const signals::Stereo tone = signals::IntersamplePeakTone(48000.0, 2.0);
  AudioBuffer source;
  source.sampleRate = tone.sampleRate;
  source.channels = {tone.left, tone.right};
  SaveAudioFile(in, source);
  // The editor finds the page from the working folder when no bundle lies beside the program.
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(std::filesystem::path(ZARN_PAGE_DIR).parent_path().parent_path());
  struct Restore {
    std::filesystem::path folder;
    ~Restore() { std::filesystem::current_path(folder); }
  } restore{previous};
  std::ostringstream log;
  ASSERT_EQ(RunEditorCommand({in, "--headless", "--seconds", "1.5", "--set", "Ceiling L=-3", "--set",
                              "Ceiling R=-3", "--audio-device", "null", "--render", out},
                             log),
            0);
#ifdef ZARN_HAVE_ALSA
  EXPECT_NE(log.str().find("Audio: ALSA device null"), std::string::npos) << log.str();
#endif
  EXPECT_NE(log.str().find("Wrote " + out), std::string::npos) << log.str();
  const AudioBuffer rendered = LoadAudioFile(out);
  ASSERT_EQ(rendered.Channels(), 2);
  EXPECT_LT(reference::ToDb(reference::TruePeak(rendered.channels[0])), -3.0);
  EXPECT_GT(reference::ToDb(reference::TruePeak(rendered.channels[0])), -3.3);

  std::ostringstream silent;
  ASSERT_EQ(RunEditorCommand({in, "--headless", "--seconds", "0.5", "--no-audio"}, silent), 0);
  EXPECT_NE(silent.str().find("Audio: silence"), std::string::npos) << silent.str();
}

}  // namespace
#endif
