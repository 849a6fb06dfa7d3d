#pragma once

#include <optional>
#include <string>
#include <vector>

// The streaming platforms' loudness normalisation, as the editor page shows it: the same table
// (read from the page's platforms.js at build time) and the same arithmetic as its playbackGain.
struct StreamingPlatform {
  std::string name;
  double referenceLufs = -14.0;  // the level the platform plays masters at
  double peakLimitDbtp = -1.0;   // the true peak it recommends, and raises quiet masters up to
  bool raisesQuiet = false;      // whether it turns quiet masters up at all
};

// In the page's order.
const std::vector<StreamingPlatform>& StreamingPlatforms();

// The gain the platform applies to a master of this loudness and true peak, in dB; nothing when
// the loudness was never measured (-70 LUFS or below).
std::optional<double> PlaybackGainDb(const StreamingPlatform& platform, double integratedLufs,
                                     double truePeakDbtp);

// "turned down 6.0 dB", "turned up 2.5 dB", "plays as is" or "no loudness reading".
std::string PlaybackText(std::optional<double> gainDb);

// The true peak is above the platform's limit: its encoder may clip the master.
bool PeakAboveLimit(const StreamingPlatform& platform, double truePeakDbtp);

// Parses the page's table (null entries skipped); throws std::runtime_error when malformed.
std::vector<StreamingPlatform> ParsePlatformTable(const std::string& json);
