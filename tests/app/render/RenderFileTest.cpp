// Offline rendering through the plug-in: alignment, formats, reports and refused inputs.
#ifdef ZARN_HAVE_APP

#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "app/audio/AudioFile.h"
#include "app/audio/Decibels.h"
#include "app/audio/UserError.h"
#include "app/render/RenderFile.h"
#include "app/render/OfflineHost.h"
#include "app/render/ParamAssignment.h"
#include "app/render/RenderReport.h"
#include "app/signals/TestSignals.h"
#include "core/ParamIds.h"
#include "core/ZARN.h"
#include "support/EngineRender.h"
#include "support/DecimalCommaLocale.h"
#include "support/ReferenceTruePeak.h"
#include "support/ScratchDirectory.h"

namespace {

constexpr double kRate = 48000.0;

AudioBuffer SineFile(int nChannels, int frames, double rate = kRate,
                     int format = AudioWriter::kFloatWav) {
  AudioBuffer buffer;
  buffer.sampleRate = rate;
  buffer.format = format;
  // The right channel a little out of phase, so a swapped or mixed channel shows.
  for (int c = 0; c < nChannels; ++c)
    buffer.channels.push_back(signals::Sine(rate, 1000.0, DbToAmplitude(-20.0), frames, 0.3 * c));
  return buffer;
}

RenderResult Render(const std::string& in, const std::string& out, int blockSize = 512,
                    std::vector<std::string> settings = {}, std::vector<TimedSetting> moves = {}) {
  RenderOptions options;
  options.inputPath = in;
  options.outputPath = out;
  options.blockSize = blockSize;
  options.settings = std::move(settings);
  options.moves = std::move(moves);
  return RenderFile(options);
}

// Largest difference between two files' samples; they must have the same shape.
double MaxDifference(const AudioBuffer& a, const AudioBuffer& b) {
  double worst = 0.0;
  for (int c = 0; c < a.Channels(); ++c)
    for (int64_t i = 0; i < a.Frames(); ++i)
      worst = std::max(worst, std::abs(a.channels[c][i] - b.channels[c][i]));
  return worst;
}

double SamplePeak(const AudioBuffer& buffer) {
  double peak = 0.0;
  for (const auto& channel : buffer.channels)
    for (double x : channel) peak = std::max(peak, std::abs(x));
  return peak;
}

// The plug-in's latency: a 5 ms look-ahead (plus one sample), the Loud stage's 47 and the peak
// catcher's 48 - 1.
int ExpectedLatency(double rate) { return 1 + static_cast<int>(0.005 * rate) + 47 + 47; }

}  // namespace

// (channels, block size, frames)
using AlignmentCase = std::tuple<int, int, int>;
class RenderAlignment : public ::testing::TestWithParam<AlignmentCase> {};

std::string AlignmentCaseName(const ::testing::TestParamInfo<AlignmentCase>& info) {
  const auto [nChannels, blockSize, frames] = info.param;
  return std::string(nChannels == 1 ? "Mono" : "Stereo") + "Block" + std::to_string(blockSize) +
         "Frames" + std::to_string(frames);
}

TEST_P(RenderAlignment, DefaultSettingsReturnTheInputAlignedAndComplete) {
  const auto [nChannels, blockSize, frames] = GetParam();
  ScratchDirectory dir;
  const AudioBuffer input = SineFile(nChannels, frames);
  SaveAudioFile(dir.File("in.wav"), input);

  const RenderResult result = Render(dir.File("in.wav"), dir.File("out.wav"), blockSize);
  const AudioBuffer output = LoadAudioFile(dir.File("out.wav"));

  ASSERT_EQ(output.Channels(), nChannels);
  ASSERT_EQ(output.Frames(), frames);
  EXPECT_EQ(output.format, AudioWriter::kFloatWav);
  EXPECT_LT(MaxDifference(input, output), 1e-6);
  EXPECT_EQ(result.frames, frames);
  EXPECT_EQ(result.channels, nChannels);
  EXPECT_EQ(result.latencySamples, ExpectedLatency(kRate));
  EXPECT_NEAR(result.gainReduction.maxDb, 0.0, 1e-9);
  EXPECT_NEAR(result.outputSamplePeakDbfs, AmplitudeToDb(SamplePeak(input)), 1e-5);
  EXPECT_EQ(dir.Count(), 2) << "a temporary file was left behind";
}

// Block sizes that divide the length, that do not, and a file shorter than the latency.
INSTANTIATE_TEST_SUITE_P(BlocksAndLengths, RenderAlignment,
                         ::testing::Combine(::testing::Values(1, 2),
                                            ::testing::Values(1, 64, 512, 4096),
                                            ::testing::Values(8192, 12007, 100)),
                         AlignmentCaseName);

TEST(Render, OtherSampleRatesStayAlignedWithTheirOwnLatency) {
  for (double rate : {44100.0, 96000.0}) {
    ScratchDirectory dir;
    const AudioBuffer input = SineFile(2, 10000, rate);
    SaveAudioFile(dir.File("in.wav"), input);
    const RenderResult result = Render(dir.File("in.wav"), dir.File("out.wav"));
    const AudioBuffer output = LoadAudioFile(dir.File("out.wav"));
    EXPECT_EQ(result.latencySamples, ExpectedLatency(rate)) << rate;
    EXPECT_EQ(output.sampleRate, rate);
    ASSERT_EQ(output.Frames(), input.Frames());
    EXPECT_LT(MaxDifference(input, output), 1e-6) << rate;
  }
}

TEST(Render, DrivenDemoIsLimitedBelowTheCeiling) {
  ScratchDirectory dir;
  const signals::Stereo demo = signals::Demo(kRate, 4.0);
  SaveAudioFile(dir.File("demo.wav"), AudioBuffer{kRate, {demo.left, demo.right}});

  for (double ceiling : {-0.1, -1.0}) {
    const std::string c = std::to_string(ceiling);
    const RenderResult result =
        Render(dir.File("demo.wav"), dir.File("out.wav"), 512,
               {"Drive L=9", "Drive R=9", "Ceiling L=" + c, "Ceiling R=" + c});
    const AudioBuffer output = LoadAudioFile(dir.File("out.wav"));

    // The demo peaks at -2 dBFS, so 9 dB of drive takes it 7 dB over full scale; the peak
    // catcher may take the last part of that, so only the bulk is expected from the limiter.
    EXPECT_GT(result.gainReduction.maxDb, 3.0) << ceiling;
    EXPECT_LE(result.outputTruePeakDbtp, ceiling + 0.1) << ceiling;
    EXPECT_GE(result.outputTruePeakDbtp, result.outputSamplePeakDbfs);
    EXPECT_NEAR(result.outputSamplePeakDbfs, AmplitudeToDb(SamplePeak(output)), 1e-5);
  }
}

// A file that starts and ends loud is limited up to and including its first and last samples,
// with the silence a player assumes around them, also where the Loud stage's filters ring on
// either side; and the report's true peak is that of the file as written.
TEST(Render, FilesStartingAndEndingLoudHoldTheCeilingAtTheirEdges) {
  ScratchDirectory dir;
  const int frames = static_cast<int>(0.5 * kRate);
  AudioBuffer noise{kRate, {render::White(static_cast<size_t>(frames), 5), render::White(static_cast<size_t>(frames), 6)}};
  AudioBuffer tone = SineFile(2, frames);
  for (auto& channel : tone.channels)
    for (double& x : channel) x = std::clamp(x * 20.0, -1.0, 1.0);  // +6 dBFS clipped, cut off mid-cycle
  const std::vector<std::string> drive = {"Drive L=6", "Drive R=6", "Ceiling L=-1", "Ceiling R=-1"};
  const std::vector<std::string> everyStage = {"Loud=100", "Loud Clip=Hard", "Character=10", "Extra=100",
                                               "Ceiling L=-1", "Ceiling R=-1"};
  for (const auto& [name, input] : {std::pair{"noise", noise}, std::pair{"tone", tone}}) {
    for (const auto& settings : {drive, everyStage}) {
      SaveAudioFile(dir.File("in.wav"), input);
      const RenderResult result = Render(dir.File("in.wav"), dir.File("out.wav"), 512, settings);
      const AudioBuffer output = LoadAudioFile(dir.File("out.wav"));
      double truePeak = 0.0, lastSamples = 0.0;
      for (const auto& channel : output.channels) {
        std::vector<double> withSilence(64, 0.0);
        withSilence.insert(withSilence.end(), channel.begin(), channel.end());
        withSilence.resize(withSilence.size() + 64, 0.0);
        truePeak = std::max(truePeak, reference::TruePeak(withSilence));
        lastSamples = std::max(lastSamples, reference::TruePeak(channel.data(), channel.size(), channel.size() - 100, channel.size()));
      }
      const std::string what = std::string(name) + " with " + settings[0];
      EXPECT_LE(reference::ToDb(truePeak), -1.0 + 0.05) << what;
      EXPECT_GT(reference::ToDb(lastSamples), -3.0) << what << ": the ending is still loud";
      EXPECT_NEAR(result.outputTruePeakDbtp, reference::ToDb(truePeak), 0.1) << what;
    }
  }
}

TEST(Render, AiffAndFlacInputsAreReadAndKeptWithFormatSame) {
  struct Case {
    const char* name;
    int format;
  };
  for (const Case& c : {Case{"in.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24},
                        Case{"in.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
                        Case{"in16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16}}) {
    const std::string extension = std::filesystem::path(c.name).extension().string();
    ScratchDirectory dir;
    SaveAudioFile(dir.File(c.name), SineFile(2, 6000, kRate, c.format));
    const AudioBuffer input = LoadAudioFile(dir.File(c.name));  // as quantised on disk
    ASSERT_EQ(input.format, c.format) << c.name;

    Render(dir.File(c.name), dir.File("float.wav"));
    const AudioBuffer asFloat = LoadAudioFile(dir.File("float.wav"));
    EXPECT_EQ(asFloat.format, AudioWriter::kFloatWav) << c.name;
    EXPECT_LT(MaxDifference(input, asFloat), 1e-6) << c.name;

    RenderOptions same;
    same.inputPath = dir.File(c.name);
    same.outputPath = dir.File("same" + extension);
    same.keepInputFormat = true;
    RenderFile(same);
    const AudioBuffer kept = LoadAudioFile(same.outputPath);
    EXPECT_EQ(kept.format, c.format) << c.name;
    ASSERT_EQ(kept.Frames(), input.Frames());
    // Re-quantised to the same grid: at most one step of the coarsest (16-bit) format.
    EXPECT_LE(MaxDifference(input, kept), 1.0 / 32768.0) << c.name;
  }
}

TEST(Render, RefusedInputsLeaveNoOutput) {
  ScratchDirectory dir;
  SaveAudioFile(dir.File("three.wav"), SineFile(3, 1000));
  std::ofstream(dir.File("text.wav")) << "not audio\n";
  SaveAudioFile(dir.File("good.wav"), SineFile(2, 1000));
  SaveAudioFile(dir.File("4k.wav"), SineFile(1, 1000, 4000.0));
  const std::string out = dir.File("out.wav");

  struct Case {
    std::string in;
    std::vector<std::string> settings;
    int block;
    std::string expectedInMessage;
  };
  const Case cases[] = {
      {dir.File("missing.wav"), {}, 512, "missing.wav: no such file"},
      {dir.File("text.wav"), {}, 512, "text.wav"},
      {dir.File("three.wav"), {}, 512, "3 channels"},
      {dir.File("4k.wav"), {}, 512, "4000 Hz is not supported"},
      {dir.File("good.wav"), {"Volume=1"}, 512, "unknown parameter"},
      {dir.File("good.wav"), {}, 0, "block size"},
      {dir.File("good.wav"), {}, 65537, "block size"},
  };
  for (const Case& c : cases) {
    const int entriesBefore = dir.Count();
    try {
      Render(c.in, out, c.block, c.settings);
      ADD_FAILURE() << c.in << " was rendered";
    } catch (const UserError& error) {
      EXPECT_NE(std::string(error.what()).find(c.expectedInMessage), std::string::npos)
          << error.what();
    }
    EXPECT_FALSE(std::filesystem::exists(out)) << c.in;
    EXPECT_EQ(dir.Count(), entriesBefore) << c.in << ": a temporary file was left behind";
  }
}

TEST(Render, FailedRenderKeepsAnExistingOutputAndTheInput) {
  ScratchDirectory dir;
  SaveAudioFile(dir.File("in.wav"), SineFile(1, 1000));
  std::ofstream(dir.File("out.wav")) << "previous result";

  EXPECT_THROW(Render(dir.File("missing.wav"), dir.File("out.wav")), UserError);
  EXPECT_THROW(Render(dir.File("in.wav"), dir.File("in.wav")), UserError);
  EXPECT_THROW(Render(dir.File("in.wav"), dir.File("no-such-folder/out.wav")), UserError);

  std::stringstream kept;
  kept << std::ifstream(dir.File("out.wav")).rdbuf();
  EXPECT_EQ(kept.str(), "previous result");
  EXPECT_EQ(LoadAudioFile(dir.File("in.wav")).Frames(), 1000);
  EXPECT_EQ(dir.Count(), 2);
}

TEST(RenderReport, JsonHasEveryReadingAndNoNanForSilence) {
  ScratchDirectory dir;
  AudioBuffer silence;
  silence.channels = {std::vector<double>(4800, 0.0)};
  SaveAudioFile(dir.File("silence.wav"), silence);

  const RenderResult result = Render(dir.File("silence.wav"), dir.File("out.wav"));
  const auto report = nlohmann::json::parse(FormatRenderReportJson(result));

  EXPECT_EQ(report["sampleRate"], 48000.0);
  EXPECT_EQ(report["channels"], 1);
  EXPECT_EQ(report["frames"], 4800);
  EXPECT_EQ(report["latencySamples"], ExpectedLatency(kRate));
  const auto& whole = report["wholeFile"];
  EXPECT_EQ(whole["maxGainReductionDb"], 0.0);
  EXPECT_EQ(whole["outputSamplePeakDbfs"], -100.0);
  EXPECT_EQ(whole["outputTruePeakDbtp"], -100.0);
  EXPECT_EQ(whole["inputTruePeakDbtp"], -100.0);
  EXPECT_EQ(whole["inputIntegratedLufs"], -100.0);
  EXPECT_EQ(whole["outputIntegratedLufs"], -100.0);
  for (const char* key : {"seconds", "realtimeFactor"}) {
    ASSERT_TRUE(report[key].is_number()) << key;
    EXPECT_TRUE(std::isfinite(report[key].get<double>())) << key;
    EXPECT_GE(report[key].get<double>(), 0.0) << key;
  }
  const std::string text = FormatRenderReport(result);
  EXPECT_NE(text.find("-100.00 dBTP"), std::string::npos) << text;
  // A programme too short for a loudness range says so instead of printing a 0.
  EXPECT_NE(text.find("no range (under 3 s of sound)"), std::string::npos) << text;
  RenderResult measured = result;
  measured.outputLoudnessRangeLu = 6.25;
  measured.maxShortTermLufs = -12.0;
  EXPECT_NE(FormatRenderReport(measured).find(", 6.2 LU range,"), std::string::npos);
}

// A quiet programme under a loud target: Dynamic Ceiling lifts a -1 dBTP ceiling by its full
// 0.5 dB, less the limiter's safety margin, and the report says so; switched off, it says nothing.
TEST(RenderReport, SaysWhenDynamicCeilingRaisedTheCeiling) {
  ScratchDirectory dir;
  SaveAudioFile(dir.File("in.wav"), SineFile(2, static_cast<int>(4 * kRate)));
  const std::vector<std::string> ceiling = {"Ceiling L=-1", "Ceiling R=-1", "Target LUFS=-6"};
  std::vector<std::string> follow = ceiling;
  follow.push_back("Dynamic Ceiling=1");
  const RenderResult raised = Render(dir.File("in.wav"), dir.File("out.wav"), 512, follow);
  EXPECT_NEAR(raised.dynamicCeilingRaisedToDbtp, -1.0 + 0.5 + 20.0 * std::log10(0.9954), 0.005);
  EXPECT_NE(FormatRenderReport(raised).find("ceiling         raised to -0.54 dBTP by Dynamic Ceiling"),
            std::string::npos) << FormatRenderReport(raised);
  EXPECT_EQ(nlohmann::json::parse(FormatRenderReportJson(raised))["wholeFile"]["dynamicCeilingRaisedToDbtp"],
            raised.dynamicCeilingRaisedToDbtp);

  const RenderResult fixed = Render(dir.File("in.wav"), dir.File("out.wav"), 512, ceiling);
  EXPECT_EQ(fixed.dynamicCeilingRaisedToDbtp, -100.0);
  EXPECT_EQ(FormatRenderReport(fixed).find("raised"), std::string::npos);
}

// The render reports of a host or script that runs in a decimal-comma locale: the same render
// gives the report it gives in the "C" locale (but for the time it took), and its numbers read
// back as the renderer had them.
TEST(RenderReport, ADecimalCommaLocaleChangesNoNumberInTheReports) {
  ScratchDirectory dir;
  SaveAudioFile(dir.File("in.wav"), SineFile(2, static_cast<int>(kRate)));
  const std::vector<std::string> settings = {"Drive L=2.25", "Ceiling L=-1.5"};
  struct Reports {
    RenderResult result;
    nlohmann::json json;
    std::string text;
  };
  auto render = [&] {
    Reports r{Render(dir.File("in.wav"), dir.File("out.wav"), 512, settings), {}, {}};
    r.json = nlohmann::json::parse(FormatRenderReportJson(r.result));
    r.text = FormatRenderReport(r.result);
    for (const char* timing : {"seconds", "realtimeFactor"}) r.json.erase(timing);
    r.text.erase(r.text.find("  time "));  // the one line that may differ
    return r;
  };
  const Reports c = render();

  DecimalCommaLocale german;
  ASSERT_TRUE(german.Engaged()) << DecimalCommaLocale::kName << " is not installed";
  const Reports de = render();
  EXPECT_EQ(de.json, c.json);
  EXPECT_EQ(de.text, c.text);
  const nlohmann::json& whole = de.json.at("wholeFile");
  EXPECT_EQ(whole.at("outputTruePeakDbtp").get<double>(), de.result.outputTruePeakDbtp);
  EXPECT_EQ(whole.at("outputIntegratedLufs").get<double>(), de.result.outputIntegratedLufs);
  EXPECT_EQ(de.json.at("settings").at(0).at("value").get<double>(), 2.25);  // in parameter order
  EXPECT_EQ(de.json.at("settings").at(1).at("value").get<double>(), -1.5);
  EXPECT_NEAR(de.json.at("lastMeterTick").at("lufsS").get<double>(), de.result.meters.lufsS, 1e-6);
  // The figure after a line's label, read without any locale.
  auto figure = [&text = de.text](const std::string& label) {
    const size_t at = text.find(label);
    double value = NAN;
    if (at == std::string::npos) return value;
    const char* first = text.data() + text.find_first_not_of(' ', at + label.size());
    const auto [end, error] = std::from_chars(first, text.data() + text.size(), value);
    return error == std::errc() && *end == ' ' ? value : NAN;
  };
  EXPECT_NEAR(figure("output peak"), de.result.outputSamplePeakDbfs, 0.005) << de.text;
  EXPECT_NEAR(figure("loudness out"), de.result.outputIntegratedLufs, 0.05) << de.text;
  EXPECT_NEAR(figure("input "), kRate, 0.5) << de.text;
}

// ---------------------------------------------------------------------------------------------
// Parameter moves (--at)

// Each move is in force from the start of the host block that holds its first sample at or after
// its time, as a host delivers it: the file is what the plug-in gives when the values are set
// between exactly those blocks. Two at one sample apply in the order given.
TEST(RenderMoves, EachTakesEffectAtTheStartOfTheBlockHoldingItsSample) {
  ScratchDirectory dir;
  const signals::Stereo demo = signals::Demo(kRate, 1.0);
  SaveAudioFile(dir.File("demo.wav"), AudioBuffer{kRate, {demo.left, demo.right}});
  const std::vector<std::string> settings = {"Loud=100", "Drive L=6", "Drive R=6"};
  const std::vector<TimedSetting> moves = {
      {0.6, "Drive L=9"}, {0.3, "Loud Clip=Hard"}, {0.6, "drive l=3"}, {0.75, "Bypass=on"}};
  constexpr int kBlock = 1000;
  const RenderResult result = Render(dir.File("demo.wav"), dir.File("out.wav"), kBlock, settings, moves);

  struct Made {
    const char* name;
    const char* text;
    int64_t frame, blockStart;
  };
  const Made expected[] = {
      {"Loud Clip", "Hard", 14400, 14000}, {"Drive L", "9.0", 28800, 28000},
      {"Drive L", "3.0", 28800, 28000}, {"Bypass", "on", 36000, 36000}};
  ASSERT_EQ(result.moves.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(result.moves[i].setting.name, expected[i].name) << i;
    EXPECT_EQ(result.moves[i].setting.text, expected[i].text) << i;
    EXPECT_EQ(result.moves[i].frame, expected[i].frame) << i;
    EXPECT_EQ(result.moves[i].blockStart, expected[i].blockStart) << i;
  }
  EXPECT_EQ(result.moves[0].seconds, 0.3);

  // The same plug-in, set between the blocks by hand, and its output moved back by the latency.
  ZARN plugin;
  ApplyParamAssignments(plugin, ParseParamAssignments(settings, plugin));
  ASSERT_TRUE(plugin.SetupProcessing(kRate, kBlock, 2, 2));
  const int latency = plugin.GetLatency();
  const int frames = static_cast<int>(demo.left.size());
  std::vector<double> in[2] = {demo.left, demo.right};
  for (auto& channel : in) channel.resize(static_cast<size_t>(frames + latency), 0.0);
  std::vector<double> out[2] = {std::vector<double>(in[0].size()), std::vector<double>(in[0].size())};
  for (int start = 0; start < frames + latency; start += kBlock) {
    if (start == 14000) plugin.SetParamValue(kLoudClip, 2.0);
    if (start == 28000) plugin.SetParamValue(kDriveL, 3.0);
    if (start == 36000) plugin.SetParamValue(kBypass, 1.0);
    double* inputs[2] = {in[0].data() + start, in[1].data() + start};
    double* outputs[2] = {out[0].data() + start, out[1].data() + start};
    plugin.ProcessAudioBlock(inputs, outputs, std::min(kBlock, frames + latency - start));
  }
  // Within the float file's rounding: a move a block early or late differs by far more.
  const AudioBuffer written = LoadAudioFile(dir.File("out.wav"));
  ASSERT_EQ(written.Frames(), frames);
  for (int c = 0; c < 2; ++c)
    for (int i = 0; i < frames; ++i)
      ASSERT_NEAR(written.channels[c][i], out[c][static_cast<size_t>(i + latency)], 1e-6)
          << "channel " << c << ", frame " << i;

  const std::string text = FormatRenderReport(result);
  EXPECT_NE(text.find("  moves           Loud Clip Hard at 0.3 s (frame 14400, in force from 14000)\n"
                      "                  Drive L 9.0 dB at 0.6 s"),
            std::string::npos) << text;
  const auto report = nlohmann::json::parse(FormatRenderReportJson(result));
  ASSERT_EQ(report["moves"].size(), 4u);
  EXPECT_EQ(report["moves"][3]["name"], "Bypass");
  EXPECT_EQ(report["moves"][3]["atSeconds"], 0.75);
  EXPECT_EQ(report["moves"][3]["frame"], 36000);
  EXPECT_EQ(report["moves"][3]["blockStart"], 36000);
  EXPECT_EQ(report["moves"][2]["value"], 3.0);
  EXPECT_EQ(report["moves"][2]["unit"], "dB");
}

// A time lands on the first sample at or after it; a decimal time that is a sample's time in
// exact arithmetic lands on that sample (0.1 s at 44.1 kHz is sample 4410, though 0.1 x 44100
// rounds above it). A time at or past the end, or not a time at all, is refused before anything
// is written.
TEST(RenderMoves, TimesLandOnTheirSampleAndMustLieWithinTheInput) {
  ScratchDirectory dir;
  SaveAudioFile(dir.File("in.wav"), SineFile(1, 44100, 44100.0));
  const RenderResult r = Render(dir.File("in.wav"), dir.File("out.wav"), 512, {},
                                {{0.1, "Loud=10"}, {0.10001, "Loud=20"}, {0.0, "Loud=30"}, {1.0 - 1.0 / 44100, "Loud=40"}});
  ASSERT_EQ(r.moves.size(), 4u);
  EXPECT_EQ(r.moves[0].frame, 0);
  EXPECT_EQ(r.moves[1].frame, 4410);
  EXPECT_EQ(r.moves[1].blockStart, 4096);
  EXPECT_EQ(r.moves[2].frame, 4411);
  EXPECT_EQ(r.moves[3].frame, 44099);

  for (const TimedSetting& bad : {TimedSetting{1.0, "Loud=50"}, TimedSetting{-0.5, "Loud=50"},
                                  TimedSetting{std::nan(""), "Loud=50"}, TimedSetting{0.5, "Loud=500"},
                                  TimedSetting{0.5, "Volume=1"}}) {
    EXPECT_THROW(Render(dir.File("in.wav"), dir.File("refused.wav"), 512, {}, {bad}), UserError) << bad.setting;
    EXPECT_FALSE(std::filesystem::exists(dir.File("refused.wav"))) << bad.setting;
  }
}

// Dynamic Ceiling switched on half-way lifts the ceiling from then on, and the report says so.
TEST(RenderMoves, CeilingReadingsFollowTheMovedSettings) {
  ScratchDirectory dir;
  SaveAudioFile(dir.File("in.wav"), SineFile(2, static_cast<int>(4 * kRate)));
  const std::vector<std::string> ceiling = {"Ceiling L=-1", "Ceiling R=-1", "Target LUFS=-6"};
  const RenderResult raised = Render(dir.File("in.wav"), dir.File("out.wav"), 512, ceiling, {{2.0, "Dynamic Ceiling=on"}});
  EXPECT_NEAR(raised.dynamicCeilingRaisedToDbtp, -1.0 + 0.5 + 20.0 * std::log10(0.9954), 0.005);
  const RenderResult back = Render(dir.File("in.wav"), dir.File("out.wav"), 512, ceiling,
                                   {{0.0, "Dynamic Ceiling=on"}, {0.0, "Dynamic Ceiling=off"}});
  EXPECT_EQ(back.dynamicCeilingRaisedToDbtp, -100.0);
}

#endif  // ZARN_HAVE_APP
