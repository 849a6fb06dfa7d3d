#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "meters/MeterSnapshot.h"

// Renders an audio file through the plug-in, as an offline host would, into a new file aligned
// sample for sample with the input (the plug-in's latency is compensated).

struct RenderOptions {
  static constexpr int kMinBlockSize = 1;
  static constexpr int kMaxBlockSize = 65536;

  std::string inputPath;
  std::string outputPath;
  std::vector<std::string> settings;  // "Name=value", applied in order
  int blockSize = 512;
  bool keepInputFormat = false;       // otherwise 32-bit float WAV
  std::string pluginPath;             // a VST3 bundle to load instead of the linked plug-in
  std::string metersPath;             // one JSON line per meter tick, when not empty
  // Called after every block with the input seconds done so far and in total.
  std::function<void(double secondsDone, double secondsTotal)> onProgress;
};

struct RenderResult {
  std::string inputPath;
  std::string outputPath;
  double sampleRate = 0.0;
  int channels = 0;
  int64_t frames = 0;
  int latencySamples = 0;
  double maxGainReductionDb = 0.0;
  double outputSamplePeakDbfs = -100.0;
  double outputTruePeakDbtp = -100.0;
  bool hasMeters = false;       // at least one meter tick (50 ms of audio) ran
  MeterSnapshot meters;         // the last tick's readings
  double maxShortTermLufs = -100.0;
  double maxMomentaryLufs = -100.0;
  double dynamicCeilingRaisedToDbtp = -100.0;  // the highest ceiling above the one set; -100: never
  double seconds = 0.0;         // wall-clock time of the whole render
  double realtimeFactor = 0.0;  // audio duration / wall-clock time
};

// Throws CommandError for bad options, an input that cannot be read or rendered (missing,
// unreadable, more than two channels, unsupported rate) or an output that cannot be written.
// On any failure no file is left at outputPath (an existing one stays as it was).
RenderResult RenderFile(const RenderOptions& options);
