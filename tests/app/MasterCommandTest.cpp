// `zarn master` end to end: generated programmes in, masters and report.json out, every figure
// checked against the independent meters of the test suite (libebur128 for loudness, the
// oversampled reference for true peak).
#ifdef ZARN_HAVE_APP

#include <sndfile.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "app/CommandLine.h"
#include "app/audio/AudioFile.h"
#include "app/delivery/CodecProof.h"
#include "app/delivery/MasterRender.h"
#include "app/signals/TestSignals.h"
#include "support/Ebur128Meter.h"
#include "support/MasterInputs.h"
#include "support/ReferenceTruePeak.h"
#include "support/ScratchDirectory.h"

namespace {

using nlohmann::json;

// Long enough for a few gating blocks, short enough for the reference true-peak meter.
constexpr double kSeconds = 2.5;

struct Outcome {
  int status;
  std::string out, err;
};

// `zarn master` without the PDF (a browser start per run) unless `printPdf`.
Outcome Zarn(std::vector<std::string> args, bool printPdf = false) {
  if (!printPdf && !args.empty() && args[0] == "master") args.emplace_back("--no-pdf");
  std::ostringstream out, err;
  const int status = RunCommandLine(args, out, err);
  return {status, out.str(), err.str()};
}

AudioBuffer Buffer(const signals::Stereo& s) {
  AudioBuffer buffer;
  buffer.sampleRate = s.sampleRate;
  buffer.channels = {s.left, s.right};
  return buffer;
}

AudioBuffer Scaled(AudioBuffer buffer, double db) {
  for (auto& channel : buffer.channels)
    for (double& x : channel) x *= std::pow(10.0, db / 20.0);
  return buffer;
}

AudioBuffer Dense() { return DemoOverNoise(kSeconds); }

json ReadJson(const std::string& path) {
  std::ifstream file(path);
  return json::parse(file);
}

std::string ReadBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

double TruePeakDb(const AudioBuffer& audio) {
  double peak = 0.0;
  for (const auto& channel : audio.channels) peak = std::max(peak, reference::TruePeak(channel));
  return reference::ToDb(peak);
}

// No temporary file anywhere in the folder.
bool HasPartialFiles(const std::string& dir) {
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    if (entry.path().string().find(".part") != std::string::npos) return true;
  return false;
}

const json& TrackOf(const json& report, size_t i) { return report.at("tracks").at(i); }

#ifdef ZARN_HAVE_EBUR128
double Loudness(const AudioBuffer& audio) {
  Ebur128Meter meter(static_cast<unsigned>(audio.Channels()), audio.sampleRate);
  meter.Add(audio.channels[0].data(), audio.channels.back().data(), audio.channels[0].size());
  return meter.Integrated();
}
#endif

}  // namespace

#ifdef ZARN_HAVE_EBUR128

TEST(MasterCommand, EachTrackReachesTheTargetUnlessThatWouldCrushIt) {
  ScratchDirectory dir;
  const std::string dense = Save(dir, "dense.wav", Dense());
  const std::string wide = Save(dir, "wide.wav", QuietWithClicks(kSeconds));
  const Outcome run =
      Zarn({"master", dense, wide, "--out", dir.File("out"), "--quiet", "--codecs", "none"});
  EXPECT_EQ(run.status, 1) << run.err;  // written, but the wide one missed

  const AudioBuffer denseMaster = LoadAudioFile(dir.File("out/dense.wav"));
  EXPECT_NEAR(Loudness(denseMaster), -14.0, 0.1);
  EXPECT_LE(TruePeakDb(denseMaster), -1.0 + 0.02);

  const json report = ReadJson(dir.File("out/report.json"));
  EXPECT_TRUE(TrackOf(report, 0).at("reachedTarget"));
  const json& wideReport = TrackOf(report, 1);
  EXPECT_FALSE(wideReport.at("reachedTarget"));
  EXPECT_LE(wideReport.at("gainReduction").at("maxDb").get<double>(), 8.0);
  EXPECT_LT(wideReport.at("targetMissLu").get<double>(), -3.0);
  const AudioBuffer wideMaster = LoadAudioFile(dir.File("out/wide.wav"));
  EXPECT_NEAR(Loudness(wideMaster), -14.0 + wideReport.at("targetMissLu").get<double>(), 0.1);
  EXPECT_LE(TruePeakDb(wideMaster), -1.0 + 0.02);
}

TEST(MasterCommand, AlbumReachesTheTargetTogetherAndKeepsRelativeLevels) {
  ScratchDirectory dir;
  const std::string loud = Save(dir, "a.wav", Scaled(Dense(), -6.0));
  const std::string quiet = Save(dir, "b.wav", Scaled(Dense(), -12.0));
  const Outcome run =
      Zarn({"master", loud, quiet, "--out", dir.File("out"), "--album", "--target", "-20", "--quiet",
            "--codecs", "none"});
  ASSERT_EQ(run.status, 0) << run.err;
  const AudioBuffer a = LoadAudioFile(dir.File("out/a.wav"));
  const AudioBuffer b = LoadAudioFile(dir.File("out/b.wav"));

  ebur128_state* states[2] = {ebur128_init(2, 48000, EBUR128_MODE_I),
                              ebur128_init(2, 48000, EBUR128_MODE_I)};
  const AudioBuffer* masters[2] = {&a, &b};
  for (int t = 0; t < 2; ++t) {
    std::vector<double> interleaved;
    for (size_t n = 0; n < masters[t]->channels[0].size(); ++n)
      for (int c = 0; c < 2; ++c) interleaved.push_back(masters[t]->channels[c][n]);
    ebur128_add_frames_double(states[t], interleaved.data(), interleaved.size() / 2);
  }
  double album = 0.0;
  ASSERT_EQ(ebur128_loudness_global_multiple(states, 2, &album), EBUR128_SUCCESS);
  for (auto* state : states) ebur128_destroy(&state);
  EXPECT_NEAR(album, -20.0, 0.1);
  EXPECT_NEAR(Loudness(a) - Loudness(b), 6.0, 0.3);

  const json report = ReadJson(dir.File("out/report.json"));
  EXPECT_NEAR(report.at("album").at("integratedLufs").get<double>(), album, 0.02);
  EXPECT_EQ(TrackOf(report, 0).at("gainDb"), TrackOf(report, 1).at("gainDb"));
}

TEST(MasterCommand, ReportHoldsTheMastersOwnFigures) {
  ScratchDirectory dir;
  const std::string dense = Save(dir, "dense.wav", Dense());
  ASSERT_EQ(Zarn({"master", dense, "--out", dir.File("out"), "--quiet", "--target", "-10"}).status, 0);
  const json track = TrackOf(ReadJson(dir.File("out/report.json")), 0);
  const AudioBuffer master = LoadAudioFile(dir.File("out/dense.wav"));
  const AudioBuffer input = Dense();
  const double masterPeak = TruePeakDb(master);
  const json& out = track.at("outputFigures");
  EXPECT_NEAR(out.at("integratedLufs").get<double>(), Loudness(master), 0.02);
  EXPECT_NEAR(out.at("truePeakDbtp").get<double>(), masterPeak, 0.05);
  EXPECT_NEAR(out.at("peakToLoudnessDb").get<double>(), masterPeak - Loudness(master), 0.06);
  EXPECT_NEAR(track.at("inputFigures").at("integratedLufs").get<double>(), Loudness(input), 0.02);
  EXPECT_NEAR(track.at("inputFigures").at("truePeakDbtp").get<double>(), TruePeakDb(input), 0.05);
  EXPECT_EQ(track.at("frames").get<int64_t>(), master.Frames());
  EXPECT_EQ(track.at("sampleRate").get<double>(), master.sampleRate);
  // A limiter doing nothing would leave input + gain; what it took shows as reduction.
  const double gain = track.at("gainDb").get<double>();
  EXPECT_GT(Loudness(input) + gain, Loudness(master));
  EXPECT_GT(track.at("gainReduction").at("maxDb").get<double>(), 1.0);
  EXPECT_GE(track.at("gainReduction").at("maxDb").get<double>(),
            track.at("gainReduction").at("meanDb").get<double>());
  EXPECT_GT(track.at("gainReduction").at("shareAbove1Db").get<double>(), 0.0);
  // Each codec decoded as much audio as the master holds (Opus at 48 kHz, as the master is).
  ASSERT_EQ(track.at("codecs").size(), 3u);
  for (const json& codec : track.at("codecs")) {
    EXPECT_EQ(codec.at("decodedFrames").get<int64_t>(), master.Frames()) << codec;
    EXPECT_LE(codec.at("truePeakDbtp").get<double>(), 0.0) << codec;
    EXPECT_EQ(codec.at("oversAbove0Dbfs").get<int64_t>(), 0) << codec;
  }
  EXPECT_EQ(ReadJson(dir.File("out/report.json")).at("loudnessMeter").get<std::string>().rfind(
                "ITU-R BS.1770-4", 0),
            0u);
}

#endif  // ZARN_HAVE_EBUR128

TEST(MasterCommand, CodecProofFindsOversOnAHotMasterAndCodecSafeRemovesThem) {
  ScratchDirectory dir;
  const std::string input = Save(dir, "dense.wav", Dense());
  const std::vector<std::string> hot = {"master", input, "--ceiling", "0", "--target", "-9",
                                        "--max-reduction", "12", "--quiet", "--out"};
  std::vector<std::string> args = hot;
  args.push_back(dir.File("hot"));
  EXPECT_EQ(Zarn(args).status, 1);
  const json hotTrack = TrackOf(ReadJson(dir.File("hot/report.json")), 0);
  int64_t overs = 0;
  std::string hotCodec;  // the one with the most overs: the check with it must lower the ceiling
  for (const json& codec : hotTrack.at("codecs")) {
    const auto count = codec.at("oversAbove0Dbfs").get<int64_t>();
    if (count > 0 && (hotCodec.empty() || count > overs)) hotCodec = codec.at("codec").get<std::string>();
    overs = std::max(overs, count);
  }
  ASSERT_GT(overs, 0) << hotTrack.at("codecs");

  args = hot;
  args.insert(args.end(), {dir.File("safe"), "--codec-safe", "--codecs", hotCodec});
  const Outcome safe = Zarn(args);
  EXPECT_LE(safe.status, 1) << safe.err;
  const json safeTrack = TrackOf(ReadJson(dir.File("safe/report.json")), 0);
  EXPECT_LT(safeTrack.at("ceilingDbtp").get<double>(), 0.0);
  // The target is loud: a lower ceiling gives some of it up, or holds it with more reduction.
  EXPECT_GT(safeTrack.at("codecSafeCostLu").get<double>() + 0.1, 0.0);
  EXPECT_TRUE(safeTrack.at("codecSafeCostLu").get<double>() > 0.0 ||
              safeTrack.at("gainReduction").at("maxDb").get<double>() >
                  hotTrack.at("gainReduction").at("maxDb").get<double>());
  for (const json& codec : safeTrack.at("codecs")) {
    EXPECT_TRUE(codec.at("clean").get<bool>()) << codec;
    EXPECT_EQ(codec.at("oversAbove0Dbfs").get<int64_t>(), 0) << codec;
  }
  // The written master, through AAC once more, read by the reference meter.
  const AudioBuffer decoded =
      EncodeAndDecode(ParseCodecList(hotCodec).at(0), LoadAudioFile(dir.File("safe/dense.wav")));
  EXPECT_LE(TruePeakDb(decoded), 0.05);
}

TEST(MasterCommand, CeilingHoldsAfterConversionTo44k1) {
  ScratchDirectory dir;
  // Intersample peaks near full scale, which a conversion moves.
  AudioBuffer hot = Dense();
  const signals::Stereo isp = signals::IntersamplePeakTone(48000.0, kSeconds);
  for (size_t n = 0; n < hot.channels[0].size(); ++n) {
    hot.channels[0][n] += 0.3 * isp.left[n];
    hot.channels[1][n] += 0.3 * isp.right[n];
  }
  const std::string input = Save(dir, "hot.wav", hot);
  const Outcome run = Zarn({"master", input, "--out", dir.File("out"), "--rate", "44100",
                            "--ceiling", "-1", "--target", "-10", "--quiet", "--codecs", "none"});
  ASSERT_LE(run.status, 1) << run.err;
  const AudioBuffer master = LoadAudioFile(dir.File("out/hot.wav"));
  EXPECT_EQ(master.sampleRate, 44100.0);
  EXPECT_NEAR(static_cast<double>(master.Frames()), kSeconds * 44100.0, 1.0);
  EXPECT_LE(TruePeakDb(master), -1.0 + 0.02);
}

TEST(MasterCommand, SixteenBitMastersLieOnTheirGrid) {
  ScratchDirectory dir;
  const std::string input = Save(dir, "dense.wav", Dense());
  ASSERT_EQ(Zarn({"master", input, "--out", dir.File("out"), "--bits", "16", "--format", "flac",
                  "--quiet", "--codecs", "none"}).status, 0);
  const AudioBuffer master = LoadAudioFile(dir.File("out/dense.flac"));
  EXPECT_EQ(master.format, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
  int nonZero = 0;
  for (const auto& channel : master.channels)
    for (double x : channel) {
      ASSERT_EQ(x * 32768.0, std::round(x * 32768.0));
      nonZero += x != 0.0;
    }
  EXPECT_GT(nonZero, 0);
}

TEST(MasterCommand, MastersAndReportAreTheSameWhateverTheJobs) {
  ScratchDirectory dir;
  const std::vector<std::string> inputs = {Save(dir, "a.wav", Dense()),
                                           Save(dir, "b.wav", Scaled(Dense(), -9.0)),
                                           Save(dir, "c.wav", QuietWithClicks(kSeconds))};
  // Per track with a codec check, and as an album.
  const std::vector<std::vector<std::string>> modes = {{"--bits", "16", "--codecs", "aac"},
                                                       {"--album", "--codecs", "none"}};
  for (size_t mode = 0; mode < modes.size(); ++mode) {
    for (const char* jobs : {"1", "2"}) {
      std::vector<std::string> args = {"master"};
      args.insert(args.end(), inputs.begin(), inputs.end());
      args.insert(args.end(), modes[mode].begin(), modes[mode].end());
      args.insert(args.end(), {"--quiet", "--jobs", jobs, "--out",
                               dir.File("mode" + std::to_string(mode) + "-jobs" + jobs)});
      // Alone the quiet wide track misses; the album carries it.
      EXPECT_EQ(Zarn(args, true).status, mode == 0 ? 1 : 0);
    }
    // report.pdf only where Chromium printed one; without it both runs leave it out.
    for (const char* name : {"a.wav", "b.wav", "c.wav", "report.json", "report.html", "report.pdf"}) {
      const std::string prefix = "mode" + std::to_string(mode) + "-jobs";
      EXPECT_EQ(ReadBytes(dir.File(prefix + "1/" + name)), ReadBytes(dir.File(prefix + "2/" + name)))
          << prefix << " " << name;
    }
    EXPECT_FALSE(ReadBytes(dir.File("mode" + std::to_string(mode) + "-jobs1/report.html")).empty());
  }
}

// A track long enough for the search's first probe to be the estimate: the master still lands
// on the target as the reference meter reads it, and comes out the same whatever the jobs.
TEST(MasterCommand, ALongTrackSearchedFromTheEstimateLandsAndIsTheSameWhateverTheJobs) {
  ScratchDirectory dir;
  const AudioBuffer track = DemoOverNoise(13.0);
  ASSERT_TRUE(EstimateSavesTime(track));
  const std::string input = Save(dir, "long.wav", track);
  for (const char* jobs : {"1", "2"}) {
    const Outcome run = Zarn({"master", input, "--codecs", "aac", "--quiet", "--jobs", jobs, "--out",
                              dir.File(std::string("jobs") + jobs)});
    EXPECT_EQ(run.status, 0) << run.err;
  }
  for (const char* name : {"long.wav", "report.json"})
    EXPECT_EQ(ReadBytes(dir.File(std::string("jobs1/") + name)), ReadBytes(dir.File(std::string("jobs2/") + name)))
        << name;
  const AudioBuffer master = LoadAudioFile(dir.File("jobs2/long.wav"));
  EXPECT_NEAR(Loudness(master), -14.0, 0.1);
  EXPECT_LE(TruePeakDb(master), -1.0 + 0.02);
  EXPECT_LE(TrackOf(ReadJson(dir.File("jobs2/report.json")), 0).at("renders").get<int>(), 3);
}

TEST(MasterCommand, BadInputsFailAloneAndLeaveNothingBehind) {
  ScratchDirectory dir;
  const std::string good = Save(dir, "good.wav", Dense());
  AudioBuffer three = Dense();
  three.channels.push_back(three.channels[0]);
  const std::string threeChannels = Save(dir, "three.wav", three);
  AudioBuffer slow = Buffer(signals::PinkNoise(4000.0, 2.0, -20.0, 1));
  const std::string tooSlow = Save(dir, "slow.wav", slow);
  const std::string notAudio = dir.File("text.wav");
  std::ofstream(notAudio) << "not a sound file\n";
  const std::string missing = dir.File("missing.wav");

  const Outcome run = Zarn({"master", good, threeChannels, tooSlow, notAudio, missing, "--out",
                            dir.File("out"), "--quiet", "--jobs", "2", "--codecs", "none"});
  EXPECT_EQ(run.status, 2);
  for (const char* named : {"three.wav", "slow.wav", "text.wav", "missing.wav"})
    EXPECT_NE(run.err.find(named), std::string::npos) << named << " in " << run.err;
  EXPECT_NE(run.err.find("3 channels"), std::string::npos);
  EXPECT_NE(run.err.find("4000 Hz"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(dir.File("out/good.wav")));
  for (const char* absent : {"three.wav", "slow.wav", "text.wav", "missing.wav"})
    EXPECT_FALSE(std::filesystem::exists(dir.File(std::string("out/") + absent))) << absent;
  EXPECT_FALSE(HasPartialFiles(dir.File("out")));
  const json report = ReadJson(dir.File("out/report.json"));
  EXPECT_TRUE(TrackOf(report, 0).at("written"));
  for (size_t i = 1; i < 5; ++i) EXPECT_FALSE(TrackOf(report, i).at("written"));
}

// A file cut short reads as a shorter whole one; the header still says what is missing.
TEST(MasterCommand, AnInputShorterThanItsHeaderSaysIsMasteredWithAWarning) {
  ScratchDirectory dir;
  const std::string good = Save(dir, "good.wav", Dense());
  const std::string cut = Save(dir, "cut.wav", Dense());
  const uintmax_t header = std::filesystem::file_size(cut) - 8 * 120000;  // float stereo data last
  std::filesystem::resize_file(cut, header + 8 * 48000);
  const Outcome run = Zarn({"master", good, cut, "--out", dir.File("out"), "--codecs", "none", "--quiet"});
  EXPECT_EQ(run.status, 1);  // the warning alone: the second reaches its target
  const std::string warning =
      cut + " is shorter than its header says: it holds 1.00 s (48000 frames) of 2.50 s (120000 frames)";
  EXPECT_NE(run.err.find("zarn: warning: " + warning), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("good.wav"), std::string::npos) << run.err;
  const json report = ReadJson(dir.File("out/report.json"));
  EXPECT_TRUE(TrackOf(report, 0).at("warnings").empty());
  ASSERT_EQ(TrackOf(report, 1).at("warnings").size(), 1u);
  EXPECT_NE(TrackOf(report, 1).at("warnings")[0].get<std::string>().find(warning), std::string::npos);
  EXPECT_EQ(TrackOf(report, 1).at("frames"), 48000);
  EXPECT_TRUE(TrackOf(report, 1).at("reachedTarget"));
  EXPECT_NE(ReadBytes(dir.File("out/report.html")).find("Warning:</span> " + warning), std::string::npos);

  // Without the cut track, the same run passes.
  EXPECT_EQ(Zarn({"master", good, "--out", dir.File("alone"), "--codecs", "none", "--quiet"}).status, 0);
}

TEST(MasterCommand, RefusalsThatStopEveryTrackWriteNothing) {
  ScratchDirectory dir;
  const std::string good = Save(dir, "good.wav", Dense());
  const AudioBuffer before = LoadAudioFile(good);
  const std::string blocker = dir.File("blocker");
  std::ofstream(blocker) << "a file where the folder should go\n";
  Outcome run = Zarn({"master", good, "--out", blocker + "/out", "--quiet", "--codecs", "none"});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("blocker/out"), std::string::npos) << run.err;

  const std::string preset = dir.File("short.preset");
  std::ofstream(preset, std::ios::binary) << std::string(100, '\0');
  run = Zarn({"master", good, "--out", dir.File("out"), "--preset", preset, "--quiet"});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("short.preset"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("220"), std::string::npos) << run.err;
  EXPECT_FALSE(std::filesystem::exists(dir.File("out")));
  // A slot is taken from a preset.
  run = Zarn({"master", good, "--out", dir.File("out"), "--slot", "B", "--quiet"});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("--slot picks a slot of --preset"), std::string::npos) << run.err;
  run = Zarn({"master", good, "--out", dir.File("out"), "--preset", preset, "--slot", "C", "--quiet"});
  EXPECT_NE(run.err.find("expected A or B"), std::string::npos) << run.err;
  EXPECT_FALSE(std::filesystem::exists(dir.File("out")));

  // Into the inputs' own folder, a master would replace its input.
  run = Zarn({"master", good, "--out", dir.File(""), "--quiet"});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("would overwrite"), std::string::npos) << run.err;
  EXPECT_EQ(LoadAudioFile(good).channels, before.channels);
}

#endif  // ZARN_HAVE_APP
