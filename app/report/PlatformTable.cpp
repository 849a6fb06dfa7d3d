#include "app/report/PlatformTable.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "app/report/PlatformTableJson.h"
#include "editor/NumberText.h"

namespace {

constexpr double kMeasuredLufs = -70.0;  // the page's MEASURED
constexpr double kShownStepDb = 0.05;    // what rounds to 0.0 dB reads "plays as is"

// One decimal the way JavaScript's toFixed(1) gives it: an exact tie rounds up (away from zero
// for the magnitudes shown here), where correct rounding would round it to even. Written with
// Fixed, never printf, so that a decimal-comma locale cannot change it.
std::string OneDecimal(double magnitude) {
  const double tenths = magnitude * 10.0;  // exact whenever `magnitude` is a tie
  if (tenths - std::floor(tenths) == 0.5) {
    const std::string digits = Fixed(magnitude, 40);
    const size_t tail = digits.find('.') + 2;
    if (digits[tail] == '5' && digits.find_first_not_of('0', tail + 1) == std::string::npos)
      magnitude = (std::floor(tenths) + 1.0) / 10.0;
  }
  return Fixed(magnitude, 1);
}

}  // namespace

std::vector<StreamingPlatform> ParsePlatformTable(const std::string& text) {
  const nlohmann::json table = nlohmann::json::parse(text);
  if (!table.is_array()) throw std::runtime_error("the platform table is not an array");
  std::vector<StreamingPlatform> platforms;
  for (const auto& entry : table) {
    if (entry.is_null()) continue;  // the page's "no platform"
    StreamingPlatform platform;
    platform.name = entry.at("name").get<std::string>();
    platform.referenceLufs = entry.at("lufs").get<double>();
    platform.peakLimitDbtp = entry.at("peak").get<double>();
    platform.raisesQuiet = entry.at("raises").get<bool>();
    platforms.push_back(platform);
  }
  return platforms;
}

const std::vector<StreamingPlatform>& StreamingPlatforms() {
  static const std::vector<StreamingPlatform> platforms = ParsePlatformTable(kPlatformTableJson);
  return platforms;
}

// Step for step the page's playbackGain, so both give the same number to the last bit.
std::optional<double> PlaybackGainDb(const StreamingPlatform& platform, double integratedLufs,
                                     double truePeakDbtp) {
  if (!std::isfinite(integratedLufs) || integratedLufs <= kMeasuredLufs) return std::nullopt;
  const double wanted = platform.referenceLufs - integratedLufs;
  if (wanted <= 0.0) return wanted;
  if (!platform.raisesQuiet) return 0.0;
  const double peak = std::isfinite(truePeakDbtp) ? truePeakDbtp : -100.0;
  return std::max(0.0, std::min(wanted, platform.peakLimitDbtp - peak));
}

std::string PlaybackText(std::optional<double> gainDb) {
  if (!gainDb) return "no loudness reading";
  if (std::fabs(*gainDb) < kShownStepDb) return "plays as is";
  return std::string(*gainDb < 0.0 ? "turned down " : "turned up ") + OneDecimal(std::fabs(*gainDb)) +
         " dB";
}

bool PeakAboveLimit(const StreamingPlatform& platform, double truePeakDbtp) {
  return std::isfinite(truePeakDbtp) && truePeakDbtp > platform.peakLimitDbtp + kShownStepDb;
}
