// What `zarn render` writes and says: the container from the output's extension, the word length
// and its dither, refused settings, the parameter list, and a JSON report whose every key the
// docs/json.md explains.
#ifdef ZARN_HAVE_APP

#include <sndfile.h>

#include <cmath>
#include <fstream>
#include <numbers>
#include <regex>
#include <set>
#include <sstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "app/CommandLine.h"
#include "app/audio/AudioFile.h"
#include "app/audio/UserError.h"
#include "app/render/MeterJson.h"
#include "app/render/RenderFile.h"
#include "app/render/RenderReport.h"
#include "app/signals/TestSignals.h"
#include "core/ParamIds.h"
#include "core/ZARN.h"
#include "support/Ebur128Meter.h"
#include "support/ScratchDirectory.h"

namespace {

constexpr double kRate = 48000.0;
constexpr double kLsb16 = 1.0 / 32768.0;

struct CommandRun {
  int status;
  std::string out, err;
};

CommandRun Zarn(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int status = RunCommandLine(args, out, err);
  return {status, out.str(), err.str()};
}

// The format libsndfile finds in the file, whatever its name says.
int FormatOnDisk(const std::string& path) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  EXPECT_NE(file, nullptr) << path;
  if (file != nullptr) sf_close(file);
  return info.format;
}

std::string FirstBytes(const std::string& path, size_t n) {
  std::ifstream file(path, std::ios::binary);
  std::string bytes(n, '\0');
  file.read(bytes.data(), static_cast<std::streamsize>(n));
  return bytes;
}

AudioBuffer DemoFile(double seconds, int format = AudioWriter::kFloatWav) {
  const signals::Stereo demo = signals::Demo(kRate, seconds);
  AudioBuffer buffer{kRate, {demo.left, demo.right}};
  buffer.format = format;
  return buffer;
}

RenderResult Render(const std::string& in, const std::string& out, std::vector<std::string> settings = {},
                    std::optional<WordLength> bits = std::nullopt, bool same = false,
                    std::vector<TimedSetting> moves = {}) {
  RenderOptions options;
  options.inputPath = in;
  options.outputPath = out;
  options.settings = std::move(settings);
  options.moves = std::move(moves);
  options.bits = bits;
  options.keepInputFormat = same;
  return RenderFile(options);
}

// Every key of a JSON value, nested objects and objects inside arrays included.
void CollectKeys(const nlohmann::json& value, std::set<std::string>& keys) {
  if (value.is_object()) {
    for (const auto& [key, child] : value.items()) {
      keys.insert(key);
      CollectKeys(child, keys);
    }
  } else if (value.is_array()) {
    for (const auto& child : value) CollectKeys(child, keys);
  }
}

std::string ReadText(const std::string& path) {
  std::stringstream text;
  text << std::ifstream(path).rdbuf();
  return text.str();
}

}  // namespace

TEST(RenderOutput, ContainerFollowsTheExtensionAndWordLengthTheOptions) {
  ScratchDirectory dir;
  SaveAudioFile(dir.File("in.wav"), DemoFile(0.5));
  struct Case {
    const char* name;
    std::optional<WordLength> bits;
    int format;
  };
  for (const Case& c : {Case{"float.wav", std::nullopt, SF_FORMAT_WAV | SF_FORMAT_FLOAT},
                        Case{"float.AIFF", std::nullopt, SF_FORMAT_AIFF | SF_FORMAT_FLOAT},
                        Case{"short.aif", WordLength::k16, SF_FORMAT_AIFF | SF_FORMAT_PCM_16},
                        Case{"wide.Wav", WordLength::k24, SF_FORMAT_WAV | SF_FORMAT_PCM_24},
                        Case{"short.FLAC", WordLength::k16, SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
                        // FLAC holds no float: 24 bits, dithered for them.
                        Case{"default.flac", std::nullopt, SF_FORMAT_FLAC | SF_FORMAT_PCM_24}}) {
    const RenderResult result = Render(dir.File("in.wav"), dir.File(c.name), {}, c.bits);
    EXPECT_EQ(FormatOnDisk(dir.File(c.name)), c.format) << c.name;
    EXPECT_EQ(result.format, c.format) << c.name;
    EXPECT_EQ(LoadAudioFile(dir.File(c.name)).Frames(), static_cast<int64_t>(0.5 * kRate)) << c.name;
    const bool integer = (c.format & SF_FORMAT_SUBMASK) != SF_FORMAT_FLOAT;
    EXPECT_EQ(result.dither, !integer ? "Off" : c.bits == WordLength::k16 ? "16-bit" : "24-bit") << c.name;
    EXPECT_FALSE(result.undithered) << c.name;
    EXPECT_TRUE(result.warnings.empty()) << c.name;
  }
  EXPECT_EQ(FirstBytes(dir.File("short.FLAC"), 4), "fLaC");
  EXPECT_EQ(FirstBytes(dir.File("short.aif"), 4), "FORM");
}

TEST(RenderOutput, UnknownExtensionsAndImpossibleFormatsAreRefusedBeforeAnythingIsRead) {
  ScratchDirectory dir;
  SaveAudioFile(dir.File("in.wav"), DemoFile(0.2));
  struct Case {
    std::string in, out;
    std::optional<WordLength> bits;
    bool same;
    std::string message;
  };
  const std::string accepted = ".wav, .flac, .aiff or .aif";
  // A missing input shows that the output was judged first.
  for (const Case& c : {Case{"missing.wav", "out.mp3", std::nullopt, false, "out.mp3: unknown extension \".mp3\""},
                        Case{"in.wav", "out.wav.txt", std::nullopt, false, "unknown extension \".txt\""},
                        Case{"in.wav", "out", std::nullopt, false, "out: no extension"},
                        Case{"missing.wav", "out.flac", WordLength::kFloat, false, "FLAC cannot hold float"},
                        Case{"missing.wav", "out.wav", WordLength::k16, true, "--bits and --format same"}}) {
    const int entriesBefore = dir.Count();
    try {
      Render(dir.File(c.in), dir.File(c.out), {}, c.bits, c.same);
      ADD_FAILURE() << c.out << " was written";
    } catch (const UserError& error) {
      const std::string message = error.what();
      EXPECT_NE(message.find(c.message), std::string::npos) << message;
      if (c.message.find("extension") != std::string::npos) {
        EXPECT_NE(message.find(accepted), std::string::npos) << message;
      }
    }
    EXPECT_EQ(dir.Count(), entriesBefore) << c.out;
  }
  const CommandRun run = Zarn({"render", dir.File("in.wav"), dir.File("out.ogg")});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("out.ogg"), std::string::npos) << run.err;
  EXPECT_EQ(dir.Count(), 1);
}

// --format same keeps the input's word length; the container still follows the name.
TEST(RenderOutput, FormatSameKeepsTheWordLengthInTheNamedContainer) {
  ScratchDirectory dir;
  SaveAudioFile(dir.File("in.flac"), DemoFile(0.3, SF_FORMAT_FLAC | SF_FORMAT_PCM_16));
  SaveAudioFile(dir.File("in24.aiff"), DemoFile(0.3, SF_FORMAT_AIFF | SF_FORMAT_PCM_24));
  SaveAudioFile(dir.File("float.wav"), DemoFile(0.3));
  struct Case {
    const char* in;
    const char* out;
    int format;
  };
  for (const Case& c : {Case{"in.flac", "out.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
                        Case{"in24.aiff", "out24.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
                        Case{"in.flac", "out.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16},
                        Case{"float.wav", "fromfloat.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24}}) {
    const RenderResult result = Render(dir.File(c.in), dir.File(c.out), {"Dither=16-bit"}, std::nullopt, true);
    EXPECT_EQ(FormatOnDisk(dir.File(c.out)), c.format) << c.out;
    EXPECT_EQ(result.flacHoldsNoFloat, std::string(c.in) == "float.wav") << c.out;
  }
  EXPECT_EQ(FirstBytes(dir.File("out.wav"), 4), "RIFF");
  EXPECT_EQ(FirstBytes(dir.File("out.wav"), 12).substr(8), "WAVE");
}

TEST(RenderOutput, IntegersWithoutDitherAreReportedAndWarnedAbout) {
  ScratchDirectory dir;
  SaveAudioFile(dir.File("in16.wav"), DemoFile(0.3, SF_FORMAT_WAV | SF_FORMAT_PCM_16));

  const RenderResult plain = Render(dir.File("in16.wav"), dir.File("same.wav"), {}, std::nullopt, true);
  EXPECT_TRUE(plain.undithered);
  ASSERT_EQ(plain.warnings.size(), 1u);
  EXPECT_NE(plain.warnings[0].find("16-bit and Dither is Off"), std::string::npos) << plain.warnings[0];
  EXPECT_NE(FormatRenderReport(plain).find("not dithered"), std::string::npos);
  const auto json = nlohmann::json::parse(FormatRenderReportJson(plain));
  EXPECT_EQ(json["outputFile"]["undithered"], true);
  EXPECT_EQ(json["warnings"][0], plain.warnings[0]);

  // Dither for a longer word leaves 16 bits just as undithered; the right one, or a shorter
  // word's, does not.
  EXPECT_TRUE(Render(dir.File("in16.wav"), dir.File("d24.wav"), {"Dither=24-bit"}, std::nullopt, true).undithered);
  EXPECT_FALSE(Render(dir.File("in16.wav"), dir.File("d16.wav"), {"Dither=16-bit"}, std::nullopt, true).undithered);
  EXPECT_FALSE(Render(dir.File("in16.wav"), dir.File("w24.wav"), {"Dither=16-bit"}, WordLength::k24).undithered);
  // A Dither the user names wins over the one --bits would choose.
  const RenderResult off = Render(dir.File("in16.wav"), dir.File("off.wav"), {"Dither=Off"}, WordLength::k16);
  EXPECT_TRUE(off.undithered);
  EXPECT_EQ(off.dither, "Off");

  const CommandRun run = Zarn({"render", dir.File("in16.wav"), dir.File("cli.wav"), "--format", "same"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("zarn: warning: " + dir.File("cli.wav") + " is 16-bit and Dither is Off"),
            std::string::npos) << run.err;
  EXPECT_TRUE(Zarn({"render", dir.File("in16.wav"), dir.File("cli16.wav"), "--bits", "16"}).err.empty());
}

// --bits 16 turns on the limiter's TPDF dither: the file lies on the 16-bit grid and differs from
// the float render by rounding plus triangular noise of two steps' width (RMS 1/2 step), where
// rounding alone leaves 1/sqrt(12) of a step.
TEST(RenderOutput, BitsSixteenWritesDitheredSamplesOnTheSixteenBitGrid) {
  ScratchDirectory dir;
  SaveAudioFile(dir.File("in.wav"), DemoFile(1.0));
  Render(dir.File("in.wav"), dir.File("float.wav"));
  const RenderResult dithered = Render(dir.File("in.wav"), dir.File("d.wav"), {}, WordLength::k16);
  Render(dir.File("in.wav"), dir.File("r.wav"), {"Dither=Off"}, WordLength::k16);
  EXPECT_EQ(dithered.dither, "16-bit");
  ASSERT_EQ(dithered.settings.size(), 1u);
  EXPECT_EQ(dithered.settings[0].name, "Dither");

  const AudioBuffer reference = LoadAudioFile(dir.File("float.wav"));
  const auto errorRms = [&](const std::string& name) {
    const AudioBuffer file = LoadAudioFile(dir.File(name));
    EXPECT_EQ(file.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    double sum = 0.0;
    int64_t n = 0, offGrid = 0;
    for (int c = 0; c < file.Channels(); ++c)
      for (int64_t i = 0; i < file.Frames(); ++i, ++n) {
        const double steps = file.channels[c][i] / kLsb16;
        if (steps != std::round(steps)) ++offGrid;
        const double e = (file.channels[c][i] - reference.channels[c][i]) / kLsb16;
        sum += e * e;
      }
    EXPECT_EQ(offGrid, 0) << name;
    return std::sqrt(sum / static_cast<double>(n));
  };
  EXPECT_NEAR(errorRms("d.wav"), 0.5, 0.03);
  EXPECT_NEAR(errorRms("r.wav"), 1.0 / std::sqrt(12.0), 0.03);
}

// Full scale is 2^(n-1) both ways, as readers take it, so that every step of the grid, the
// extremes included, is written as itself; between steps the nearest one is taken.
TEST(RenderOutput, IntegerFilesHoldTheGridExactly) {
  ScratchDirectory dir;
  struct Case {
    int format, bits;
  };
  for (const Case& c : {Case{SF_FORMAT_WAV | SF_FORMAT_PCM_16, 16}, Case{SF_FORMAT_WAV | SF_FORMAT_PCM_24, 24},
                        Case{SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 16}, Case{SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 24},
                        Case{SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 8}, Case{SF_FORMAT_WAV | SF_FORMAT_PCM_32, 32}}) {
    const double steps = std::ldexp(1.0, c.bits - 1);
    AudioBuffer grid;
    grid.format = c.format;
    std::vector<double> expected = {-steps, -steps + 1, std::round(-steps / 3), -1.0, 0.0, 1.0,
                                    steps / 2 - 1, steps / 2, steps - 1};
    grid.channels = {{}};
    for (double k : expected) grid.channels[0].push_back(k / steps);
    grid.channels[0].push_back(1.0);   // full scale clips to the top step
    grid.channels[0].push_back(-1.5);  // and below it to the bottom one
    grid.channels[0].push_back(5.4 / steps);  // between steps: the nearest one
    grid.channels[0].push_back(-5.6 / steps);
    expected.insert(expected.end(), {steps - 1, -steps, 5.0, -6.0});
    SaveAudioFile(dir.File("grid.wav"), grid);

    SF_INFO info{};
    SNDFILE* file = sf_open(dir.File("grid.wav").c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr);
    std::vector<int> raw(expected.size());
    EXPECT_EQ(sf_read_int(file, raw.data(), static_cast<sf_count_t>(raw.size())), static_cast<sf_count_t>(raw.size()));
    sf_close(file);
    for (size_t i = 0; i < expected.size(); ++i)  // libsndfile reads n bits into the top of an int
      EXPECT_EQ(raw[i] / std::ldexp(1.0, 32 - c.bits), expected[i]) << std::hex << c.format << std::dec << ", sample " << i;
  }
}

TEST(RenderReport, StatesSettingsGainReductionAndTheInputsFigures) {
  ScratchDirectory dir;
  // Pink noise 8 s at -30 dBFS RMS then 8 s at -20: a loudness range near 10 LU.
  const signals::Stereo quiet = signals::PinkNoise(kRate, 8.0, -30.0, 3);
  const signals::Stereo loud = signals::PinkNoise(kRate, 8.0, -20.0, 4);
  AudioBuffer input{kRate, {quiet.left, quiet.right}};
  input.channels[0].insert(input.channels[0].end(), loud.left.begin(), loud.left.end());
  input.channels[1].insert(input.channels[1].end(), loud.right.begin(), loud.right.end());
  SaveAudioFile(dir.File("in.wav"), input);

  const RenderResult r = Render(dir.File("in.wav"), dir.File("out.wav"),
                                {"Drive L=12", "drive r=12", "Ceiling L=-1", "Ceiling R=-1", "Release=50"});
  ASSERT_EQ(r.settings.size(), 4u);  // Release=50 is the default
  EXPECT_EQ(r.settings[0].name, "Drive L");
  EXPECT_EQ(r.settings[0].value, 12.0);
  EXPECT_EQ(r.settings[0].unit, "dB");
  EXPECT_EQ(r.settings[3].name, "Ceiling R");
  const std::string text = FormatRenderReport(r);
  EXPECT_NE(text.find("settings        Drive L 12.0 dB, Drive R 12.0 dB, Ceiling L -1.0 dBTP, Ceiling R -1.0 dBTP"),
            std::string::npos) << text;
  EXPECT_NE(text.find("output file     WAV, float\n"), std::string::npos) << text;

  // The quiet half is hardly limited, the loud half always: about half of the blocks above 1 dB.
  const ReductionStats& gr = r.gainReduction;
  EXPECT_GT(gr.maxDb, 3.0);
  EXPECT_GT(gr.meanDb, 1.0);
  EXPECT_LT(gr.meanDb, gr.maxDb);
  EXPECT_GT(gr.shareAbove1Db, 0.3);
  EXPECT_LT(gr.shareAbove1Db, 0.7);
  EXPECT_NE(text.find(" dB mean, "), std::string::npos) << text;
  EXPECT_NE(text.find("% of blocks above 1 dB"), std::string::npos) << text;

#ifdef ZARN_HAVE_EBUR128
  Ebur128Meter meter(2, kRate);
  meter.Add(input.channels[0].data(), input.channels[1].data(), input.channels[0].size());
  EXPECT_NEAR(r.inputIntegratedLufs, meter.Integrated(), 0.02);
  EXPECT_NEAR(r.inputLoudnessRangeLu, meter.Range(), 0.1);
  EXPECT_GT(r.inputLoudnessRangeLu, 8.0);
#endif
  EXPECT_LT(r.outputLoudnessRangeLu, r.inputLoudnessRangeLu);  // the limiter squeezes the loud half
  EXPECT_LE(r.outputTruePeakDbtp, -1.0 + 0.05);
}

// The intersample-peak tone: every sample at 0 dBFS, the waveform at +3.01 dBTP.
TEST(RenderReport, InputTruePeakReadsBetweenTheSamples) {
  ScratchDirectory dir;
  signals::Stereo tone = signals::IntersamplePeakTone(kRate, 0.5);
  // 10 ms fades, so that no edge of the tone rings above it.
  const size_t fade = static_cast<size_t>(0.01 * kRate);
  for (size_t i = 0; i < fade; ++i) {
    const double gain = 0.5 - 0.5 * std::cos(std::numbers::pi * static_cast<double>(i) / static_cast<double>(fade));
    for (auto* channel : {&tone.left, &tone.right}) {
      (*channel)[i] *= gain;
      (*channel)[channel->size() - 1 - i] *= gain;
    }
  }
  SaveAudioFile(dir.File("isp.wav"), AudioBuffer{kRate, {tone.left, tone.right}});
  const RenderResult r = Render(dir.File("isp.wav"), dir.File("out.wav"));
  EXPECT_NEAR(r.inputTruePeakDbtp, 20.0 * std::log10(std::sqrt(2.0)), 0.05);
  EXPECT_NE(FormatRenderReport(r).find("input levels    3.0"), std::string::npos) << FormatRenderReport(r);
}

TEST(RenderReport, SaysWhenCodecModeLoweredTheCeiling) {
  ScratchDirectory dir;
  SaveAudioFile(dir.File("in.wav"), DemoFile(6.0));
  const std::vector<std::string> hot = {"Drive L=9", "Drive R=9", "Ceiling L=-1", "Ceiling R=-1"};
  std::vector<std::string> codec = hot;
  codec.push_back("Codec Mode=3");
  const RenderResult lowered = Render(dir.File("in.wav"), dir.File("codec.wav"), codec);
  EXPECT_GT(lowered.codecModeLoweredCeilingToDbtp, -1.0 - 3.0);
  EXPECT_LT(lowered.codecModeLoweredCeilingToDbtp, -1.0 + 20.0 * std::log10(0.9954) - 0.005);
  EXPECT_NE(FormatRenderReport(lowered).find("by Codec Mode"), std::string::npos);
  EXPECT_LT(lowered.outputTruePeakDbtp, -1.0);

  const RenderResult fixed = Render(dir.File("in.wav"), dir.File("fixed.wav"), hot);
  EXPECT_EQ(fixed.codecModeLoweredCeilingToDbtp, -100.0);
  EXPECT_EQ(FormatRenderReport(fixed).find("by Codec Mode"), std::string::npos);
}

// Whole-file figures in their own block, the last meter tick in its own, and every key the
// report can hold explained in docs/json.md.
TEST(RenderReport, JsonKeepsWholeFileAndLastTickApartAndTheDocsExplainEveryKey) {
  ScratchDirectory dir;
  SaveAudioFile(dir.File("in16.wav"), DemoFile(1.0, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
  const RenderResult r = Render(dir.File("in16.wav"), dir.File("out.wav"),
                                {"Drive L=6", "Drive R=6", "Dynamic Ceiling=on", "Codec Mode=2"}, std::nullopt, true,
                                {{0.5, "Loud=50"}});
  const auto report = nlohmann::json::parse(FormatRenderReportJson(r));

  EXPECT_EQ(report["lastMeterTick"], nlohmann::json::parse(MeterSnapshotToJson(r.meters).dump()));
  const auto& whole = report["wholeFile"];
  EXPECT_EQ(whole["outputTruePeakDbtp"], r.outputTruePeakDbtp);
  EXPECT_EQ(whole["meanGainReductionDb"], r.gainReduction.meanDb);
  EXPECT_EQ(whole["inputLoudnessRangeLu"], r.inputLoudnessRangeLu);
  for (const auto& [key, value] : whole.items()) {
    EXPECT_FALSE(report["lastMeterTick"].contains(key)) << key << " is in both blocks";
    EXPECT_TRUE(value.is_number()) << key;
  }
  EXPECT_EQ(report["outputFile"]["sampleFormat"], "16-bit");
  EXPECT_EQ(report["settings"].size(), 4u);
  EXPECT_EQ(report["settings"][3]["name"], "Dynamic Ceiling");
  EXPECT_EQ(report["settings"][3]["text"], "on");
  EXPECT_EQ(report["warnings"].size(), 1u);
  EXPECT_EQ(report["moves"].size(), 1u);

  // A render shorter than a meter tick has no last tick.
  AudioBuffer blip{kRate, {std::vector<double>(100, 0.1)}};
  SaveAudioFile(dir.File("blip.wav"), blip);
  EXPECT_TRUE(nlohmann::json::parse(FormatRenderReportJson(Render(dir.File("blip.wav"), dir.File("b.wav"))))
                  ["lastMeterTick"].is_null());

  std::set<std::string> keys;
  CollectKeys(report, keys);
  const std::string doc = ReadText(ZARN_JSON_DOC);
  ASSERT_FALSE(doc.empty());
  for (const std::string& key : keys)
    EXPECT_NE(doc.find("`" + key + "`"), std::string::npos) << "docs/json.md does not explain `" << key << "`";
}

TEST(ParamsCommand, ListsEveryParameterOfTheTableWithItsRangeAndTexts) {
  const ZARN plugin;
  const CommandRun run = Zarn({"params"});
  ASSERT_EQ(run.status, 0);
  std::istringstream lines(run.out);
  std::vector<std::string> rows;
  for (std::string line; std::getline(lines, line);) rows.push_back(line);
  ASSERT_EQ(rows.size(), static_cast<size_t>(kNumParams) + 1);  // and a header
  for (int i = 0; i < kNumParams; ++i)
    EXPECT_EQ(rows[static_cast<size_t>(i) + 1].rfind(plugin.GetParam(i)->Name() + " ", 0), 0u) << rows[i + 1];
  // Aligned columns: each row's range starts where the header's does.
  const size_t rangeColumn = rows[0].find("range");
  for (const std::string& row : rows) EXPECT_NE(row[rangeColumn], ' ') << row;

  const auto row = [&](int index) { return std::regex_replace(rows[static_cast<size_t>(index) + 1], std::regex(" +"), " "); };
  EXPECT_EQ(row(kCeilingL), "Ceiling L -20 .. 0 dBTP -0.1");
  EXPECT_EQ(row(kRelease), "Release 30 .. 1000 ms 50");
  EXPECT_EQ(row(kDither), "Dither 0 .. 2 0 0 Off, 1 16-bit, 2 24-bit");
  EXPECT_EQ(row(kLinked), "Linked 0 .. 1 1 0 off, 1 on");

  const CommandRun json = Zarn({"params", "--json"});
  ASSERT_EQ(json.status, 0);
  const auto list = nlohmann::json::parse(json.out);
  ASSERT_EQ(list.size(), static_cast<size_t>(kNumParams));
  for (int i = 0; i < kNumParams; ++i) {
    const IParam& p = *plugin.GetParam(i);
    const auto& entry = list[static_cast<size_t>(i)];
    EXPECT_EQ(entry["index"], i);
    EXPECT_EQ(entry["name"], p.Name());
    EXPECT_EQ(entry["min"], p.Min());
    EXPECT_EQ(entry["max"], p.Max());
    EXPECT_EQ(entry["default"], p.Default());
    EXPECT_EQ(entry["values"].size(), static_cast<size_t>(p.NumDisplayTexts())) << p.Name();
  }
  EXPECT_EQ(list[kTargetLufs]["unit"], "LUFS");
  EXPECT_EQ(list[kLoudClip]["kind"], "enum");
  EXPECT_EQ(list[kLoudClip]["values"][2], (nlohmann::json{{"value", 2.0}, {"text", "Hard"}}));

  EXPECT_EQ(Zarn({"render", "--list"}).out, run.out);
  EXPECT_EQ(Zarn({"render", "--list", "--json"}).out, json.out);
  EXPECT_EQ(Zarn({"params", "--yaml"}).status, 2);
}

TEST(ParamsCommand, OutOfRangeSettingsStopRenderAndMasterNamingTheRange) {
  ScratchDirectory dir;
  SaveAudioFile(dir.File("in.wav"), DemoFile(0.2));
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"render", dir.File("in.wav"), dir.File("out.wav"), "--set", "Ceiling L=3"},
        std::vector<std::string>{"master", dir.File("in.wav"), "--out", dir.File("masters"), "--set", "Ceiling L=3",
                                 "--codecs", "none"}}) {
    const CommandRun run = Zarn(args);
    EXPECT_EQ(run.status, 2) << args[0];
    EXPECT_EQ(run.err, "zarn: Ceiling L = 3: out of range -20 .. 0 dBTP\n") << args[0];
  }
  EXPECT_EQ(dir.Count(), 1);
}

#endif  // ZARN_HAVE_APP
