#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/audio/OutputFormat.h"
#include "app/render/ParamAssignment.h"
#include "app/render/ReductionCollector.h"
#include "meters/MeterSnapshot.h"

// Renders an audio file through the plug-in, as an offline host would, into a new file aligned
// sample for sample with the input (the plug-in's latency is compensated).
//
// The output's container follows its extension (.wav, .flac, .aiff or .aif, any case). Its word
// length is 32-bit float; or with `keepInputFormat` the input's sample format where the container
// holds it, else the nearest of 16, 24 and float (WordLengthOf); or `bits`. FLAC holds no float:
// a float word length becomes 24 bits there, dithered as `bits` 24 is, and an explicit float
// `bits` with a .flac output is refused. `bits` 16 or 24 (and that FLAC
// case) set the plug-in's Dither for the word length unless a setting names Dither itself.

// A parameter move: the setting "Name=value" in force from the first sample at or after `seconds`,
// delivered as a host sends it, with the block that holds that sample, at the block's start.
struct TimedSetting {
  double seconds = 0.0;
  std::string setting;
};

struct RenderOptions {
  static constexpr int kMinBlockSize = 1;
  static constexpr int kMaxBlockSize = 65536;

  std::string inputPath;
  std::string outputPath;
  std::vector<std::string> settings;  // "Name=value", applied in order
  std::vector<TimedSetting> moves;    // in any order; at one moment, the later one wins
  int blockSize = 512;
  bool keepInputFormat = false;       // the input's word length instead of float
  std::optional<WordLength> bits;     // this word length; not with keepInputFormat
  std::string pluginPath;             // a VST3 bundle to load instead of the linked plug-in
  std::string metersPath;             // one JSON line per meter tick, when not empty
  // Called after every block with the input seconds done so far and in total.
  std::function<void(double secondsDone, double secondsTotal)> onProgress;
};

// A move as the render made it.
struct ParamMove {
  double seconds = 0.0;    // as asked
  int64_t frame = 0;       // the first sample at or after that time
  int64_t blockStart = 0;  // the start of the host block that holds it: in force from here
  ParamSetting setting;
};

struct RenderResult {
  std::string inputPath;
  std::string outputPath;
  double sampleRate = 0.0;
  int channels = 0;
  int64_t frames = 0;
  int latencySamples = 0;

  Container container = Container::kWav;
  int format = 0;                      // the output's libsndfile SF_FORMAT_* major | subtype
  std::string dither = "Off";          // the plug-in's Dither setting, as it displays it
  bool undithered = false;             // integer samples without dither for their word length
  bool flacHoldsNoFloat = false;       // float asked for, 24 bits written
  std::vector<ParamSetting> settings;  // every parameter not at its default as the render begins, in index order
  std::vector<ParamMove> moves;        // in the order they were made
  std::vector<std::string> warnings;   // for standard error and the report

  // Whole-file figures: the input as read, the output as written (BS.1770-4 / EBU Tech 3342
  // loudness, the plug-in's full-band true-peak meter), and the limiter's gain reduction over
  // the host blocks. -100: no reading.
  double inputTruePeakDbtp = -100.0;
  double inputIntegratedLufs = -100.0;
  double inputLoudnessRangeLu = 0.0;
  double outputSamplePeakDbfs = -100.0;
  double outputTruePeakDbtp = -100.0;
  double outputIntegratedLufs = -100.0;
  double outputLoudnessRangeLu = 0.0;
  double maxShortTermLufs = -100.0;  // of the output
  double maxMomentaryLufs = -100.0;  // of the output
  ReductionStats gainReduction;
  double dynamicCeilingRaisedToDbtp = -100.0;  // the highest ceiling above the one set; -100: never
  double codecModeLoweredCeilingToDbtp = -100.0;  // the lowest ceiling Codec Mode set; -100: never

  bool hasMeters = false;       // at least one meter tick (50 ms of audio) ran
  MeterSnapshot meters;         // the last tick's readings, as the plug-in's meters show them
  double seconds = 0.0;         // wall-clock time of the whole render
  double realtimeFactor = 0.0;  // audio duration / wall-clock time
};

// Throws UserError for bad options (an output extension other than the four, or a bad setting or
// move, before anything is read; a move past the input's end, before anything is written), an
// input that cannot be read or rendered (missing, unreadable, more than two channels, unsupported
// rate) or an output that cannot be written.
// On any failure no file is left at outputPath (an existing one stays as it was).
RenderResult RenderFile(const RenderOptions& options);
