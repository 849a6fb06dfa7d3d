#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/audio/OutputFormat.h"
#include "app/delivery/CodecProof.h"
#include "app/delivery/MasterSettings.h"

// What `zarn master` is asked to make: the inputs, the folder, the loudness target and true-peak
// ceiling, the delivery format, the settings and the codecs to prove the masters against.
struct MasterOptions {
  using Bits = WordLength;

  std::vector<std::string> inputs;
  std::string outputDir;
  double targetLufs = -14.0;
  double ceilingDbtp = -1.0;
  bool album = false;
  double sampleRate = 0.0;  // 0: each input's own
  Bits bits = Bits::k24;
  std::string format = "wav";
  std::vector<std::string> settings;
  std::string presetPath;
  std::optional<PresetSlot> presetSlot;  // --slot; A when not given
  double maxReductionDb = 8.0;
  std::vector<Codec> codecs = {Codec::kAac, Codec::kMp3, Codec::kOpus};
  bool codecSafe = false;   // lower the ceiling until every codec decodes without an over
  int jobs = 1;             // the number of cores unless given
  bool quiet = false;
  bool pdf = true;          // print report.html to report.pdf (needs Chromium)
  std::string chromiumPath; // the browser that prints it; empty: Debian's chromium
  bool help = false;
};

inline constexpr double kMinMasterRate = 8000.0;
inline constexpr double kMaxMasterRate = 768000.0;

// libsndfile's SF_FORMAT_* major | subtype for the options' format and word length.
int MasterFileFormat(const MasterOptions& options);
// ".wav", ".flac" or ".aiff".
std::string MasterFileExtension(const MasterOptions& options);
// The plug-in's "Dither" value for the word length: 1 (16-bit), 2 (24-bit), 0 (float).
int MasterDither(const MasterOptions& options);
const char* BitsName(MasterOptions::Bits bits);
