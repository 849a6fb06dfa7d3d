#include "app/GenerateCommand.h"

#include <algorithm>
#include <cmath>
#include <ostream>
#include <string>

#include "app/ArgumentCursor.h"
#include "app/audio/Decibels.h"
#include "app/audio/UserError.h"
#include "app/render/NumberParsing.h"
#include "app/signals/TestSignals.h"
#include "editor/NumberText.h"

namespace {

constexpr double kPinkRmsDbfs = -18.0;
constexpr uint32_t kPinkSeed = 1;
constexpr double kMaxSeconds = 3600.0;
constexpr int kMaxChannels = 8;

signals::Stereo GenerateStereo(const GenerateRequest& request) {
  if (request.kind == "demo") return signals::Demo(request.sampleRate, request.seconds);
  if (request.kind == "pink")
    return signals::PinkNoise(request.sampleRate, request.seconds, kPinkRmsDbfs, kPinkSeed);
  if (request.kind == "isp") return signals::IntersamplePeakTone(request.sampleRate, request.seconds);
  throw UserError("generate: unknown kind \"" + request.kind + "\"",
                     "kinds: demo, pink, isp");
}

double ParseNumberIn(const std::string& option, const std::string& text, double low, double high) {
  const auto value = ParseFiniteNumber(text);
  if (!value || *value < low || *value > high)
    throw UserError(option + " \"" + text + "\": expected a number from " +
                       std::to_string(static_cast<long long>(low)) + " to " +
                       std::to_string(static_cast<long long>(high)));
  return *value;
}

void ParseOption(const std::string& option, ArgumentCursor& cursor, GenerateRequest& request) {
  if (option == "--rate") {
    request.sampleRate = std::round(ParseNumberIn(option, cursor.TakeValueOf(option), 8000, 768000));
  } else if (option == "--seconds") {
    request.seconds = ParseNumberIn(option, cursor.TakeValueOf(option), 0, kMaxSeconds);
  } else if (option == "--channels") {
    const std::string& text = cursor.TakeValueOf(option);
    const auto value = ParseWholeNumber(text);
    if (!value || *value < 1 || *value > kMaxChannels)
      throw UserError(option + " \"" + text + "\": expected a whole number from 1 to " +
                         std::to_string(kMaxChannels));
    request.channels = static_cast<int>(*value);
  } else {
    throw UserError("generate: unknown option " + option);
  }
}

double SamplePeakDbfs(const AudioBuffer& buffer) {
  double peak = 0.0;
  for (const auto& channel : buffer.channels)
    for (double x : channel) peak = std::max(peak, std::abs(x));
  return AmplitudeToDb(peak);
}

}  // namespace

AudioBuffer GenerateSignal(const GenerateRequest& request) {
  signals::Stereo stereo = GenerateStereo(request);
  AudioBuffer buffer;
  buffer.sampleRate = request.sampleRate;
  for (int c = 0; c < request.channels; ++c)
    buffer.channels.push_back(c % 2 == 0 ? stereo.left : stereo.right);
  return buffer;
}

int RunGenerateCommand(const std::vector<std::string>& args, std::ostream& out) {
  GenerateRequest request;
  const std::vector<std::string> operands =
      ArgumentCursor::Operands(args, [&](const std::string& option, ArgumentCursor& cursor) {
        ParseOption(option, cursor, request);
      });
  if (operands.size() != 2)
    throw UserError("generate: expected a kind and an output file", "kinds: demo, pink, isp");
  request.kind = operands[0];
  const std::string& path = operands[1];

  const AudioBuffer buffer = GenerateSignal(request);
  SaveAudioFile(path, buffer);
  // Fixed, not printf: the same text in any locale.
  out << path << ": " << request.kind << ", " << Fixed(buffer.sampleRate, 0) << " Hz, "
      << std::to_string(buffer.Channels()) << " channel(s), "
      << Fixed(static_cast<double>(buffer.Frames()) / buffer.sampleRate, 2) << " s, peak "
      << Fixed(SamplePeakDbfs(buffer), 2) << " dBFS\n";
  return 0;
}
