// The mastering report for people: report.html (self-contained, the figures of report.json, a
// picture of each kind per track), report.pdf printed by Chromium, the streaming-platform table
// shared with the editor page, and the numbers and series behind the pictures.
#ifdef ZARN_HAVE_APP

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "app/CommandLine.h"
#include "app/audio/AudioFile.h"
#include "app/delivery/MasterRender.h"
#include "app/delivery/MasterSettings.h"
#include "app/delivery/ReportSeries.h"
#include "app/render/ByteStream.h"
#include "app/render/ReferenceLoudness.h"
#include "app/report/PlatformTable.h"
#include "app/report/ReportFormat.h"
#include "app/report/ReportPdf.h"
#include "app/signals/TestSignals.h"
#include "core/ZARN.h"
#include "editor/linux/ChromiumProcess.h"
#include "support/DecimalCommaLocale.h"
#include "support/MasterInputs.h"
#include "support/ScratchDirectory.h"

namespace {

using nlohmann::json;
namespace fs = std::filesystem;

struct Outcome {
  int status;
  std::string out, err;
};

Outcome Zarn(std::vector<std::string> args) {
  std::ostringstream out, err;
  const int status = RunCommandLine(args, out, err);
  return {status, out.str(), err.str()};
}

// Drums and chords over noise, long enough for short-term readings (3 s windows).
AudioBuffer Programme(double seconds, double db) {
  const signals::Stereo noise = signals::PinkNoise(48000.0, seconds, -18.0, 5);
  const signals::Stereo demo = signals::Demo(48000.0, seconds);
  AudioBuffer buffer;
  buffer.sampleRate = 48000.0;
  buffer.channels = {noise.left, noise.right};
  const double gain = std::pow(10.0, db / 20.0);
  for (size_t n = 0; n < demo.left.size(); ++n) {
    buffer.channels[0][n] = gain * (buffer.channels[0][n] + 0.5 * demo.left[n]);
    buffer.channels[1][n] = gain * (buffer.channels[1][n] + 0.5 * demo.right[n]);
  }
  return buffer;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

json ReadJson(const std::string& path) { return json::parse(ReadBytes(path)); }

size_t Count(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// A track's own section of the page.
std::string SectionOf(const std::string& html, const std::string& output) {
  const size_t begin = html.find("<section class=\"track\"><header><h2>" + output + "</h2>");
  if (begin == std::string::npos) return {};
  return html.substr(begin, html.find("</section>", begin) - begin);
}

// The way the report writes a figure, worked out here from printf and the minus sign.
std::string Shown(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, std::fabs(value));
  const bool zero = std::string(text).find_first_not_of("0.") == std::string::npos;
  return (value < 0.0 && !zero ? "\u2212" : "") + std::string(text);
}

// "/Type /Page" objects, not the "/Type /Pages" tree.
int PdfPages(const std::string& pdf) {
  int pages = 0;
  for (size_t at = pdf.find("/Type /Page"); at != std::string::npos; at = pdf.find("/Type /Page", at + 1))
    if (at + 11 >= pdf.size() || pdf[at + 11] != 's') ++pages;
  return pages;
}

bool HasChromium() { return !ChromiumProcess::Find("").empty(); }

bool HasPartialFiles(const std::string& dir) {
  for (const auto& entry : fs::directory_iterator(dir))
    if (entry.path().string().find(".part") != std::string::npos) return true;
  return false;
}

void CollectKeys(const json& value, std::set<std::string>& keys) {
  if (value.is_object())
    for (const auto& [key, item] : value.items()) {
      keys.insert(key);
      CollectKeys(item, keys);
    }
  else if (value.is_array())
    for (const json& item : value) CollectKeys(item, keys);
}

// The state the plug-in saves with Loud 40 % in slot A, on show, and Release 200 ms and
// Character 3 in slot B.
std::string SaveTwoSlotState(const ScratchDirectory& dir) {
  ZARN plugin;
  plugin.SetParamValue(kLoud, 40.0);
  ParamValues b = DefaultParamValues();
  b[kRelease] = 200.0;
  b[kCharacter] = 3.0;
  const std::string slots = json{{"active", 0}, {"other", b}}.dump();
  plugin.OnArbitraryMessage(ZARN::kPageStoreSlots, 0, static_cast<int>(slots.size()), slots.data());
  ByteStream state;
  static_cast<Steinberg::Vst::IComponent&>(plugin).getState(&state);
  const std::string path = dir.File("two-slots.state");
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(state.bytes.data()),
                                              static_cast<std::streamsize>(state.bytes.size()));
  return path;
}

}  // namespace

TEST(ReportPages, HtmlStandsAloneAndShowsEveryTracksFigures) {
  ScratchDirectory dir;
  const std::string loud = Save(dir, "loud.wav", Programme(6.0, 0.0));
  const std::string quiet = Save(dir, "quiet.wav", QuietWithClicks(4.0));
  const Outcome run = Zarn({"master", loud, quiet, dir.File("missing.wav"), "--out", dir.File("out"),
                            "--quiet", "--codecs", "mp3", "--no-pdf"});
  ASSERT_EQ(run.status, 2) << run.err;  // the missing one failed, the others were written
  EXPECT_EQ(run.err.find("report.pdf"), std::string::npos) << "--no-pdf asks for no warning: " << run.err;
  EXPECT_FALSE(fs::exists(dir.File("out/report.pdf")));
  EXPECT_FALSE(HasPartialFiles(dir.File("out")));
  const std::string html = ReadBytes(dir.File("out/report.html"));
  const json report = ReadJson(dir.File("out/report.json"));

  // Nothing runs, nothing is fetched: readable offline, in any mail client.
  const std::string lower = Lower(html);
  for (const char* banned : {"<script", "http:", "https:", "file:", "src=", "href=", "url(", "@import", "<link",
                             "<iframe", "<img", "onload"})
    EXPECT_EQ(lower.find(banned), std::string::npos) << banned;
  EXPECT_EQ(html.rfind("<!DOCTYPE html>", 0), 0u);
  EXPECT_NE(html.find("ZARN"), std::string::npos);

  // The summary comes first and names the track that failed, with why.
  const size_t firstSection = html.find("<section class=\"track\">");
  ASSERT_NE(firstSection, std::string::npos);
  EXPECT_LT(html.find("missing.wav"), firstSection);
  EXPECT_NE(html.find("not mastered"), std::string::npos);

  // Each written track: its section, three pictures, and report.json's figures as shown.
  EXPECT_EQ(Count(html, "<section class=\"track\">"), 2u);
  EXPECT_EQ(Count(html, "<svg"), 6u);
  for (size_t i = 0; i < 2; ++i) {
    const json& track = report.at("tracks").at(i);
    const std::string name = track.at("output").get<std::string>();
    const std::string section = SectionOf(html, name);
    ASSERT_FALSE(section.empty()) << name;
    EXPECT_EQ(Count(section, "<svg"), 3u) << name;
    const json& in = track.at("inputFigures");
    const json& out = track.at("outputFigures");
    const std::string summaryRow = html.substr(0, firstSection);
    EXPECT_NE(summaryRow.find(Shown(out.at("integratedLufs"), 1) + " LUFS"), std::string::npos) << name;
    for (const auto& [figures, key, decimals] :
         std::vector<std::tuple<const json*, const char*, int>>{{&in, "integratedLufs", 1},
                                                                {&out, "integratedLufs", 1},
                                                                {&out, "loudnessRangeLu", 1},
                                                                {&out, "maxMomentaryLufs", 1},
                                                                {&out, "maxShortTermLufs", 1},
                                                                {&out, "truePeakDbtp", 2},
                                                                {&out, "peakToLoudnessDb", 1}})
      EXPECT_NE(section.find(">" + Shown(figures->at(key), decimals) + "<"), std::string::npos)
          << name << " " << key << " " << figures->at(key);
    const std::string gain = Shown(track.at("gainDb"), 2);
    EXPECT_NE(section.find((gain[0] == '0' || gain.rfind("\u2212", 0) == 0 ? "" : "+") + gain + " dB"),
              std::string::npos)
        << name;
    EXPECT_NE(section.find(Shown(track.at("gainReduction").at("maxDb"), 1) + " dB"), std::string::npos) << name;
    const json& codec = track.at("codecs").at(0);
    EXPECT_NE(section.find("MP3"), std::string::npos);
    EXPECT_NE(section.find(Shown(codec.at("truePeakDbtp"), 2) + " dBTP"), std::string::npos) << name;
    // Every platform, with what it does to this very master.
    for (const StreamingPlatform& platform : StreamingPlatforms()) {
      const std::string row = "<td>" + platform.name + "</td>";
      ASSERT_NE(section.find(row), std::string::npos) << platform.name;
      const std::string text =
          PlaybackText(PlaybackGainDb(platform, out.at("integratedLufs"), out.at("truePeakDbtp")));
      EXPECT_NE(section.find(text, section.find(row)), std::string::npos) << name << " " << platform.name;
    }
    // The loudness picture has its target line, and curves once there is a 3 s window.
    EXPECT_NE(section.find("target \u221214.0 LUFS"), std::string::npos);
    EXPECT_NE(section.find("0:00"), std::string::npos);
  }
  // The quiet one missed its target, and the page says by how much.
  const json& quietTrack = report.at("tracks").at(1);
  ASSERT_FALSE(quietTrack.at("reachedTarget").get<bool>());
  EXPECT_NE(SectionOf(html, "quiet.wav").find("missed by " + Shown(std::fabs(quietTrack.at("targetMissLu").get<double>()), 1) + " LU"),
            std::string::npos);
}

TEST(ReportPages, AlbumSummaryLeadsWithTheAlbumsFigures) {
  ScratchDirectory dir;
  const std::string a = Save(dir, "a.wav", Programme(4.0, -6.0));
  const std::string b = Save(dir, "Tom & Jerry's <mix>.wav", Programme(4.0, -12.0));
  const Outcome run = Zarn({"master", a, b, "--album", "--target", "-16", "--out", dir.File("out"), "--quiet",
                            "--codecs", "none", "--no-pdf"});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string html = ReadBytes(dir.File("out/report.html"));
  const json album = ReadJson(dir.File("out/report.json")).at("album");
  const std::string summary = html.substr(0, html.find("<section class=\"track\">"));
  EXPECT_NE(summary.find("Album gain"), std::string::npos);
  EXPECT_NE(summary.find(">+" + Shown(album.at("gainDb"), 2) + " <small>dB"), std::string::npos) << album;
  EXPECT_NE(summary.find(">" + Shown(album.at("integratedLufs"), 1) + " <small>LUFS"), std::string::npos) << album;
  EXPECT_NE(summary.find(">\u221216.0 <small>LUFS"), std::string::npos);  // the target
  EXPECT_NE(summary.find(">\u22121.0 <small>dBTP"), std::string::npos);   // the ceiling
  EXPECT_NE(html.find("No codec was checked"), std::string::npos);
  // A file name is text, never markup.
  EXPECT_NE(html.find("<h2>Tom &amp; Jerry&#39;s &lt;mix&gt;.wav</h2>"), std::string::npos);
  EXPECT_EQ(html.find("<mix>"), std::string::npos);
}

// Not just the preset's file name: the settings it brought, in report.json and on the page, and
// every key of report.json explained in docs/json.md.
TEST(ReportPages, ListTheSettingsThePresetBrought) {
  ScratchDirectory dir;
  const std::string a = Save(dir, "a.wav", Programme(3.0, -9.0));
  const Outcome run = Zarn({"master", a, "--out", dir.File("out"), "--preset", SaveTwoSlotState(dir), "--slot",
                            "B", "--quiet", "--codecs", "none", "--no-pdf"});
  ASSERT_EQ(run.status, 0) << run.err;
  const json report = ReadJson(dir.File("out/report.json"));
  const json& settings = report.at("settings");
  EXPECT_EQ(settings.at("presetSlot"), "B");
  const json& brought = settings.at("presetSettings");
  ASSERT_EQ(brought.size(), 2u) << brought;
  EXPECT_EQ(brought[0].at("name"), "Release");
  EXPECT_EQ(brought[0].at("value"), 200.0);
  EXPECT_EQ(brought[0].at("unit"), "ms");
  EXPECT_EQ(brought[1].at("name"), "Character");

  const std::string html = ReadBytes(dir.File("out/report.html"));
  EXPECT_NE(html.find("two-slots.state, slot B"), std::string::npos);
  for (const json& setting : brought) {
    const std::string unit = setting.at("unit").get<std::string>();
    EXPECT_NE(html.find("<td>" + setting.at("name").get<std::string>() + "</td><td>" +
                        setting.at("text").get<std::string>() + (unit.empty() ? "" : " " + unit) + "</td>"),
              std::string::npos)
        << setting;
  }
  EXPECT_EQ(html.find("<td>Loud</td>"), std::string::npos) << "slot A's setting";

  std::set<std::string> keys;
  CollectKeys(report, keys);
  const std::string doc = ReadBytes(ZARN_JSON_DOC);
  ASSERT_FALSE(doc.empty());
  for (const std::string& key : keys)
    EXPECT_NE(doc.find("`" + key + "`"), std::string::npos) << "docs/json.md does not explain `" << key << "`";
}

// The first place two texts differ, with some context; empty when they are the same.
std::string FirstDifference(const std::string& a, const std::string& b) {
  const size_t at = static_cast<size_t>(std::mismatch(a.begin(), a.end(), b.begin(), b.end()).first - a.begin());
  if (at == a.size() && a.size() == b.size()) return {};
  const size_t from = at < 40 ? 0 : at - 40;
  return "\"" + a.substr(from, 80) + "\" against \"" + b.substr(from, 80) + "\"";
}

// A master made in a decimal-comma locale (a script run from a German desktop): what `zarn
// generate` and `zarn master` print, report.json and report.html are those of the "C" locale byte
// for byte, and the figures read back as set and measured; the platform table's one-decimal gains
// too, ties rounded up as the page rounds them.
TEST(ReportPages, ADecimalCommaLocaleChangesNoNumberInTheReports) {
  ScratchDirectory dir;
  const std::string track = dir.File("track.wav");
  auto run = [&](const std::string& out) {
    const Outcome generated = Zarn({"generate", "demo", track, "--seconds", "3.5"});
    EXPECT_EQ(generated.status, 0) << generated.err;
    const Outcome mastered = Zarn({"master", track, "--target", "-14.5", "--ceiling", "-1.5", "--out",
                                   dir.File(out), "--codecs", "none", "--no-pdf"});
    EXPECT_LT(mastered.status, 2) << mastered.err;  // written, whether or not it reached the target
    std::string printed = generated.out + mastered.out;
    printed.replace(printed.find(dir.File(out)), dir.File(out).size(), "OUT");
    return printed;
  };
  const std::string printedC = run("c");
  std::string printedDe;
  {
    DecimalCommaLocale german;
    ASSERT_TRUE(german.Engaged()) << DecimalCommaLocale::kName << " is not installed";
    printedDe = run("de");
    EXPECT_EQ(PlaybackText(0.25), "turned up 0.3 dB");
    EXPECT_EQ(PlaybackText(-1.24), "turned down 1.2 dB");
  }
  EXPECT_EQ(FirstDifference(printedDe, printedC), "");
  EXPECT_NE(printedDe.find("3.50 s"), std::string::npos) << printedDe;
  for (const std::string& name : {"report.json", "report.html"})
    EXPECT_EQ(FirstDifference(ReadBytes(dir.File("de/" + name)), ReadBytes(dir.File("c/" + name))), "") << name;

  const json report = ReadJson(dir.File("de/report.json"));
  const std::string html = ReadBytes(dir.File("de/report.html"));
  EXPECT_EQ(report.at("settings").at("targetLufs").get<double>(), -14.5);
  EXPECT_EQ(report.at("settings").at("ceilingDbtp").get<double>(), -1.5);
  const json& out = report.at("tracks").at(0).at("outputFigures");
  char line[128];  // printf in the "C" locale again
  std::snprintf(line, sizeof line, "OUT/track.wav: %.1f LUFS, %.2f dBTP, gain ", out.at("integratedLufs").get<double>(),
                out.at("truePeakDbtp").get<double>());
  EXPECT_NE(printedDe.find(line), std::string::npos) << printedDe;
  EXPECT_NE(html.find("<td>Loudness target</td><td>\u221214.5 LUFS</td>"), std::string::npos);
  EXPECT_NE(html.find("<td>True-peak ceiling</td><td>\u22121.5 dBTP</td>"), std::string::npos);
  const std::string section = SectionOf(html, "track.wav");
  for (const char* key : {"integratedLufs", "maxMomentaryLufs", "truePeakDbtp"}) {
    const int decimals = std::string(key) == "truePeakDbtp" ? 2 : 1;
    EXPECT_NE(section.find(">" + Shown(out.at(key), decimals) + "<"), std::string::npos) << key;
  }
  for (const StreamingPlatform& platform : StreamingPlatforms())
    EXPECT_NE(section.find(PlaybackText(PlaybackGainDb(platform, out.at("integratedLufs"), out.at("truePeakDbtp")))),
              std::string::npos)
        << platform.name;
}

TEST(ReportPages, PdfHasTheSummaryAndAPageOrMorePerTrack) {
  if (!HasChromium()) GTEST_SKIP() << "no chromium to print with";
  ScratchDirectory dir;
  const std::string a = Save(dir, "a.wav", Programme(4.0, 0.0));
  const std::string b = Save(dir, "b.wav", Programme(4.0, -9.0));
  const Outcome run = Zarn({"master", a, b, "--out", dir.File("out"), "--quiet", "--codecs", "none"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  const std::string pdf = ReadBytes(dir.File("out/report.pdf"));
  ASSERT_EQ(pdf.rfind("%PDF-", 0), 0u);
  EXPECT_GE(PdfPages(pdf), 3);  // the summary, then each track from a page of its own
  EXPECT_EQ(pdf.find("/CreationDate"), std::string::npos);
  EXPECT_FALSE(HasPartialFiles(dir.File("out")));
}

TEST(ReportPages, WithoutABrowserTheMasterStillSucceedsAndSaysWhy) {
  ScratchDirectory dir;
  const std::string a = Save(dir, "a.wav", Programme(3.0, 0.0));
  fs::create_directories(dir.File("out"));
  std::ofstream(dir.File("out/report.pdf")) << "%PDF- an older run's\n";
  // No browser there; a "browser" that exits at once without a word on its pipe.
  for (const std::string& browser : {dir.File("no-such-chromium"), std::string("/bin/false")}) {
    const Outcome run = Zarn({"master", a, "--out", dir.File("out"), "--quiet", "--codecs", "none",
                              "--chromium", browser});
    EXPECT_EQ(run.status, 0) << browser;
    EXPECT_NE(run.err.find("warning: report.pdf not written"), std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_TRUE(fs::exists(dir.File("out/a.wav")));
    EXPECT_TRUE(fs::exists(dir.File("out/report.json")));
    EXPECT_TRUE(fs::exists(dir.File("out/report.html")));
    EXPECT_FALSE(fs::exists(dir.File("out/report.pdf"))) << "an older PDF would contradict the new page";
    EXPECT_FALSE(HasPartialFiles(dir.File("out")));
  }
  std::string whyNot;
  EXPECT_FALSE(PrintHtmlToPdf("<p>x</p>", whyNot, dir.File("no-such-chromium")));
  EXPECT_NE(whyNot.find("no-such-chromium"), std::string::npos) << whyNot;
}

TEST(PlatformTable, AgreesWithTheEditorPageOnTheSharedCases) {
  // The page's own test (tests/page/platforms.test.mjs) checks the same file.
  const json cases = ReadJson(ZARN_PLATFORM_CASES);
  ASSERT_GE(cases.size(), 8u);
  for (const json& c : cases) {
    const auto& platforms = StreamingPlatforms();
    const auto platform = std::find_if(platforms.begin(), platforms.end(),
                                       [&](const StreamingPlatform& p) { return p.name == c.at("platform"); });
    ASSERT_NE(platform, platforms.end()) << c;
    const auto gain = PlaybackGainDb(*platform, c.at("lufs"), c.at("peak"));
    if (c.at("gain").is_null()) {
      EXPECT_FALSE(gain) << c;
    } else {
      ASSERT_TRUE(gain) << c;
      EXPECT_EQ(*gain, c.at("gain").get<double>()) << c;  // the same arithmetic, to the bit
    }
    if (c.contains("text")) {
      EXPECT_EQ(PlaybackText(gain), c.at("text").get<std::string>()) << c;
    }
    EXPECT_EQ(PeakAboveLimit(*platform, c.at("peak")), c.at("overPeak").get<bool>()) << c;
  }
}

TEST(PlatformTable, IsThePagesTableAndRefusesAMalformedOne) {
  std::ifstream file(std::string(ZARN_PAGE_DIR) + "/js/platforms.js");
  const std::string script{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  ASSERT_GE(StreamingPlatforms().size(), 5u);
  for (const StreamingPlatform& platform : StreamingPlatforms())
    EXPECT_NE(script.find("\"name\": \"" + platform.name + "\""), std::string::npos) << platform.name;
  EXPECT_EQ(Count(script, "\"name\": "), StreamingPlatforms().size());
  EXPECT_THROW(ParsePlatformTable("{\"name\": \"x\"}"), std::exception);
  EXPECT_THROW(ParsePlatformTable("[{\"name\": \"x\", \"lufs\": -14}]"), std::exception);
  EXPECT_THROW(ParsePlatformTable("[{name: 'x'}]"), std::exception);
  EXPECT_EQ(ParsePlatformTable("[null]").size(), 0u);
}

TEST(ReportFormat, NumbersReadAsAPersonWritesThem) {
  using namespace report_format;
  EXPECT_EQ(Number(-14.04, 1), "\u221214.0");
  EXPECT_EQ(Number(-0.04, 1), "0.0");  // never "−0.0"
  EXPECT_EQ(Number(3.456, 2), "3.46");
  EXPECT_EQ(Signed(6.2, 2), "+6.20");
  EXPECT_EQ(Signed(-0.5, 2), "\u22120.50");
  EXPECT_EQ(Signed(0.004, 2), "0.00");
  EXPECT_EQ(Number(-INFINITY, 1), "\u2212\u221E");
  EXPECT_EQ(Clock(0.0), "0:00");
  EXPECT_EQ(Clock(59.6), "1:00");
  EXPECT_EQ(Clock(185.0), "3:05");
  EXPECT_EQ(Clock(3725.0), "1:02:05");
  EXPECT_EQ(Escape("<b>\"Tom & Jerry's\"</b>"), "&lt;b&gt;&quot;Tom &amp; Jerry&#39;s&quot;&lt;/b&gt;");
}

TEST(ReportSeries, EnvelopeKeepsEachColumnsExtremes) {
  AudioBuffer audio;
  audio.sampleRate = 48000.0;
  audio.channels = {std::vector<double>(1200, 0.0), std::vector<double>(1200, 0.0)};
  audio.channels[0][10] = 0.8;    // column 5 of 600 (two frames each)
  audio.channels[1][11] = -0.6;   // the same column, the other channel
  audio.channels[1][1199] = 0.3;  // the last column
  const Envelope envelope = EnvelopeOf(audio);
  ASSERT_EQ(envelope.high.size(), 600u);
  EXPECT_FLOAT_EQ(envelope.high[5], 0.8f);
  EXPECT_FLOAT_EQ(envelope.low[5], -0.6f);
  EXPECT_FLOAT_EQ(envelope.high[599], 0.3f);
  EXPECT_FLOAT_EQ(envelope.high[4], 0.0f);
  // Shorter than the columns: a column per frame; empty: nothing.
  audio.channels = {{0.1, -0.2, 0.3}};
  EXPECT_EQ(EnvelopeOf(audio).high.size(), 3u);
  EXPECT_FLOAT_EQ(EnvelopeOf(audio).low[1], -0.2f);
  audio.channels = {{}};
  EXPECT_TRUE(EnvelopeOf(audio).high.empty());
}

TEST(ReportSeries, ShortTermSeriesFollowsTheLevelAndStaysSmall) {
  // 30 s quiet then 40 s 12 dB louder, at a low rate to keep it quick: 671 readings, 600 points.
  const double rate = 8000.0;
  AudioBuffer audio;
  audio.sampleRate = rate;
  audio.channels = {signals::Sine(rate, 1000.0, 0.05, static_cast<int>(70 * rate))};
  for (size_t n = static_cast<size_t>(30 * rate); n < audio.channels[0].size(); ++n) audio.channels[0][n] *= 4.0;
  const bs1770::Analysis analysis = bs1770::Analyse(audio);
  const auto points = ShortTermSeries(analysis, rate);
  ASSERT_EQ(points.size(), 600u);
  EXPECT_NEAR(points.front().seconds, 3.0, 0.06);  // the first 3 s window
  EXPECT_LE(points.back().seconds, 70.0);
  for (size_t i = 1; i < points.size(); ++i) ASSERT_GT(points[i].seconds, points[i - 1].seconds);
  const auto at = [&](double seconds) {
    return std::min_element(points.begin(), points.end(), [&](const LoudnessPoint& a, const LoudnessPoint& b) {
             return std::fabs(a.seconds - seconds) < std::fabs(b.seconds - seconds);
           })->lufs;
  };
  EXPECT_NEAR(at(60.0) - at(20.0), 20.0 * std::log10(4.0), 0.05);
  EXPECT_NEAR(at(60.0), analysis.maxShortTermLufs, 0.05);
  // Under 3 s there is no short-term reading at all.
  audio.channels[0].resize(static_cast<size_t>(2.9 * rate));
  EXPECT_TRUE(ShortTermSeries(bs1770::Analyse(audio), rate).empty());
}

TEST(ReportSeries, GainReductionColumnsShowWhereTheLimiterWorked) {
  // Quiet for 4 s, then a loud programme the ceiling has to hold; 750 blocks into 600 columns.
  AudioBuffer audio = Programme(8.0, 0.0);
  for (auto& channel : audio.channels)
    for (size_t n = 0; n < 192000; ++n) channel[n] *= 0.01;
  const EngineRender render = RenderThroughEngine(audio, DefaultParamValues(), 10.0);
  ASSERT_GT(render.reduction.maxDb, 3.0);
  const auto& columns = render.reductionDb;
  ASSERT_EQ(columns.size(), static_cast<size_t>(kReductionColumns));
  EXPECT_FLOAT_EQ(*std::max_element(columns.begin(), columns.end()), static_cast<float>(render.reduction.maxDb));
  EXPECT_LT(*std::max_element(columns.begin(), columns.begin() + 290), 0.1f);
  EXPECT_GT(*std::max_element(columns.begin() + 300, columns.end()), 3.0f);
}

#endif  // ZARN_HAVE_APP
