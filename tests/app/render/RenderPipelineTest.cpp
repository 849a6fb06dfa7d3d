// `zarn render` on its reader, engine and writer threads: the file, the report and the meter log
// hold exactly what driving the plug-in block by block gives, at every chunk edge; a failure in
// any stage (damaged input, failed write, a caller's exception) stops the others and leaves no
// file. Named Threads.* for the ThreadSanitizer runs.
#ifdef ZARN_HAVE_APP

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "app/audio/AudioFile.h"
#include "app/audio/Decibels.h"
#include "app/audio/UserError.h"
#include "app/render/ParamAssignment.h"
#include "app/render/ReferenceLoudness.h"
#include "app/render/RenderFile.h"
#include "app/render/RenderPipeline.h"
#include "core/ZARN.h"
#include "dsp/WideTruePeakMeter.h"
#include "support/EngineRender.h"
#include "support/ScratchDirectory.h"

namespace {

constexpr double kRate = 48000.0;
constexpr int kDoubleWav = SF_FORMAT_WAV | SF_FORMAT_DOUBLE;  // holds the output exactly
const std::vector<std::string> kSettings = {"Drive L=9", "Drive R=8", "Loud=60", "Character=4"};

struct Reference {
  std::vector<std::vector<double>> channels;  // aligned with the input
  std::vector<double> tickSeconds;
  double minGain = 1.0;
  std::vector<double> blockReductionDb;  // each block's largest, input and silence alike
  MeterSnapshot last;
};

// The plug-in driven as a host would: the input in blocks, then the latency in blocks of
// silence (the engine told that the input ends there), each block's meter tick taken straight
// after it.
Reference DriveDirectly(const AudioBuffer& input, int blockSize) {
  const int nChannels = input.Channels();
  ZARN plugin;
  ApplyParamAssignments(plugin, ParseParamAssignments(kSettings, plugin));
  plugin.SetupProcessing(kRate, blockSize, nChannels, nChannels);
  const int64_t latency = plugin.GetLatency();
  plugin.Engine().EndInputAfter(input.Frames());

  std::vector<std::vector<double>> in = input.channels, out(static_cast<size_t>(nChannels));
  for (auto& channel : in) channel.resize(channel.size() + static_cast<size_t>(latency));
  for (auto& channel : out) channel.resize(in[0].size());
  Reference reference;
  int64_t done = 0;
  const auto run = [&](int64_t end) {
    while (done < end) {
      const int n = static_cast<int>(std::min<int64_t>(blockSize, end - done));
      double* inputs[2];
      double* outputs[2];
      for (int c = 0; c < nChannels; ++c) {
        inputs[c] = in[static_cast<size_t>(c)].data() + done;
        outputs[c] = out[static_cast<size_t>(c)].data() + done;
      }
      plugin.ProcessAudioBlock(inputs, outputs, n);
      done += n;
      double blockGain = 1.0;
      for (int c = 0; c < nChannels; ++c) blockGain = std::min(blockGain, plugin.Engine().TakeMinGain(c));
      reference.minGain = std::min(reference.minGain, blockGain);
      reference.blockReductionDb.push_back(std::max(0.0, -AmplitudeToDb(blockGain)));
      MeterSnapshot tick;
      if (plugin.Engine().TakeMeterSnapshot(tick)) {
        reference.tickSeconds.push_back(static_cast<double>(done) / kRate);
        reference.last = tick;
      }
    }
  };
  run(input.Frames());  // the last input block may be short; the silence starts a new one
  run(input.Frames() + latency);
  for (auto& channel : out) channel.erase(channel.begin(), channel.begin() + latency);
  reference.channels = std::move(out);
  return reference;
}

std::vector<double> TickSeconds(const std::string& meterLog) {
  std::vector<double> seconds;
  std::ifstream lines(meterLog);
  for (std::string line; std::getline(lines, line);)
    seconds.push_back(nlohmann::json::parse(line)["time"].get<double>());
  return seconds;
}

double TruePeakOf(const std::vector<std::vector<double>>& channels) {
  float peak = 0.0f;
  for (const auto& channel : channels) {
    WideTruePeakMeter meter;
    for (double x : channel) meter.Process(static_cast<float>(x));
    meter.Flush();
    peak = std::max(peak, meter.PeakHold());
  }
  return peak;
}

AudioBuffer Noise(int nChannels, int64_t frames, uint64_t seed, int format) {
  AudioBuffer buffer;
  buffer.format = format;
  for (int c = 0; c < nChannels; ++c) {
    buffer.channels.push_back(render::White(static_cast<size_t>(frames), seed + c));
    for (double& x : buffer.channels.back()) x *= 0.5;
  }
  return buffer;
}

}  // namespace

TEST(Threads, RenderDeliversThePluginsOutputExactlyAtEveryChunkEdge) {
  struct Case {
    int nChannels, blockSize;
    int64_t frames;
  };
  std::vector<Case> cases = {{2, 512, 100}};  // all of it shorter than the latency
  for (int block : {1, 333, 4096, 65536}) {
    const int64_t chunk = RenderPipeline::ChunkCapacity(block);
    // Whole chunks; one frame more; and a last chunk whose silence does not fit behind it.
    for (int64_t frames : {2 * chunk, 2 * chunk + 1, 2 * chunk - 10})
      cases.push_back({2, block, frames});
  }
  cases.push_back({1, 333, 2 * RenderPipeline::ChunkCapacity(333) - 10});

  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.nChannels) + " channels, block " + std::to_string(c.blockSize) +
                 ", " + std::to_string(c.frames) + " frames");
    ScratchDirectory dir;
    const AudioBuffer input = Noise(c.nChannels, c.frames, 17, kDoubleWav);
    SaveAudioFile(dir.File("in.wav"), input);
    RenderOptions options;
    options.inputPath = dir.File("in.wav");
    options.outputPath = dir.File("out.wav");
    options.metersPath = dir.File("meters.jsonl");
    options.settings = kSettings;
    options.blockSize = c.blockSize;
    options.keepInputFormat = true;
    const RenderResult result = RenderFile(options);

    const Reference expected = DriveDirectly(input, c.blockSize);
    EXPECT_EQ(result.frames, c.frames);
    EXPECT_TRUE(LoadAudioFile(dir.File("out.wav")).channels == expected.channels);
    double samplePeak = 0.0;
    for (const auto& channel : expected.channels)
      for (double x : channel) samplePeak = std::max(samplePeak, std::abs(x));
    EXPECT_EQ(result.outputSamplePeakDbfs, AmplitudeToDb(samplePeak));
    EXPECT_EQ(result.outputTruePeakDbtp, AmplitudeToDb(TruePeakOf(expected.channels)));
    EXPECT_EQ(result.gainReduction.maxDb, std::max(0.0, -AmplitudeToDb(expected.minGain)));
    double sumDb = 0.0, above = 0.0;
    for (double db : expected.blockReductionDb) {
      sumDb += db;
      above += db > 1.0 ? 1.0 : 0.0;
    }
    const double blocks = static_cast<double>(expected.blockReductionDb.size());
    EXPECT_NEAR(result.gainReduction.meanDb, sumDb / blocks, 1e-9);
    EXPECT_EQ(result.gainReduction.shareAbove1Db, above / blocks);
    EXPECT_EQ(TickSeconds(dir.File("meters.jsonl")), expected.tickSeconds);
    EXPECT_EQ(result.hasMeters, !expected.tickSeconds.empty());
    // The whole-file loudness, measured piece by piece on the reader and writer threads, is
    // that of the files read whole.
    const bs1770::Analysis in = bs1770::Analyse(input), out = bs1770::Analyse(AudioBuffer{kRate, expected.channels});
    EXPECT_EQ(result.inputIntegratedLufs, in.integratedLufs);
    EXPECT_EQ(result.inputLoudnessRangeLu, in.loudnessRangeLu);
    EXPECT_EQ(result.outputIntegratedLufs, out.integratedLufs);
    EXPECT_EQ(result.maxMomentaryLufs, out.maxMomentaryLufs);
    EXPECT_EQ(result.inputTruePeakDbtp, AmplitudeToDb(TruePeakOf(input.channels)));
    EXPECT_EQ(result.meters.lufsI, expected.last.lufsI);
  }
}

TEST(Threads, RenderFailureInAnyStageStopsTheOthersAndLeavesNoFile) {
  ScratchDirectory dir;
  // Several seconds: more chunks than the stages hold between them, so that each stage is
  // still busy, or waiting on another, when the failure comes.
  SaveAudioFile(dir.File("in.flac"), Noise(2, 4 * 48000, 3, SF_FORMAT_FLAC | SF_FORMAT_PCM_16));
  const auto render = [&](std::function<void(double, double)> onProgress = nullptr) {
    RenderOptions options;
    options.inputPath = dir.File("in.flac");
    options.outputPath = dir.File("out.wav");
    options.onProgress = std::move(onProgress);
    return RenderFile(options);
  };

  {  // The engine's thread: the caller gives up through the progress callback.
    const auto giveUp = [](double done, double) {
      if (done > 1.0) throw std::runtime_error("given up");
    };
    try {
      render(giveUp);
      ADD_FAILURE() << "the render went on";
    } catch (const std::runtime_error& error) {
      EXPECT_STREQ(error.what(), "given up");
    }
    EXPECT_EQ(dir.Count(), 1);
  }
  {  // The writer's thread: the file may not grow past 64 KiB (a full disk, a quota).
    std::fflush(nullptr);  // or the child's copy of the buffered output may be written twice
    const pid_t pid = fork();
    if (pid == 0) {
      const rlimit limit{64 * 1024, 64 * 1024};
      setrlimit(RLIMIT_FSIZE, &limit);
      std::signal(SIGXFSZ, SIG_IGN);  // a failed write instead of the end of the process
      try {
        render();
      } catch (const UserError& error) {
        _exit(std::string(error.what()).find("cannot write " + dir.File("out.wav")) == 0 ? 0 : 2);
      }
      _exit(1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    EXPECT_EQ(dir.Count(), 1);
  }
  {  // The reader's thread: the input is damaged half-way.
    const std::string in = dir.File("in.flac");
    const auto size = static_cast<std::streamoff>(std::filesystem::file_size(in));
    std::fstream file(in, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(size / 2);
    for (int i = 0; i < 4096; ++i) file.put(static_cast<char>(i * 37));
    file.close();
    try {
      render();
      ADD_FAILURE() << "the damaged input was rendered";
    } catch (const UserError& error) {
      EXPECT_NE(std::string(error.what()).find("cannot read " + in), std::string::npos)
          << error.what();
    }
    EXPECT_EQ(dir.Count(), 1);
  }
}

#endif  // ZARN_HAVE_APP
