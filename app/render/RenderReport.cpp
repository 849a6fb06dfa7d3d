#include "app/render/RenderReport.h"

#include <cstdarg>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "app/audio/OutputFormat.h"
#include "app/render/MeterJson.h"
#include "app/render/ParamAssignment.h"
#include "app/render/RenderFile.h"

namespace {

// printf into a std::string. The program never sets a locale, so numbers print with a '.'.
[[gnu::format(printf, 1, 2)]] std::string Format(const char* format, ...) {
  char text[512];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  return text;
}

}  // namespace

namespace {

std::string ContainerTitle(Container container) {
  switch (container) {
    case Container::kFlac: return "FLAC";
    case Container::kAiff: return "AIFF";
    case Container::kWav: break;
  }
  return "WAV";
}

std::string SettingText(const ParamSetting& s) { return s.name + " " + s.text + (s.unit.empty() ? "" : " " + s.unit); }

std::string SettingsLine(const RenderResult& r) {
  if (r.settings.empty()) return "all at their defaults";
  std::string line;
  for (const ParamSetting& s : r.settings) {
    if (!line.empty()) line += ", ";
    line += SettingText(s);
  }
  return line;
}

// One line a move: "Loud Clip Hard at 1.5 s (frame 72000, in force from 71680)".
std::string MovesLines(const RenderResult& r) {
  std::string lines;
  for (const ParamMove& m : r.moves)
    lines += std::string(lines.empty() ? "  moves           " : "                  ") + SettingText(m.setting) +
             " at " + FormatExactNumber(m.seconds) +
             Format(" s (frame %lld, in force from %lld)\n", static_cast<long long>(m.frame),
                    static_cast<long long>(m.blockStart));
  return lines;
}

// A loudness range needs short-term (3 s) windows above the gates.
std::string RangeText(double rangeLu, double maxShortTermLufs) {
  return maxShortTermLufs > -99.0 ? Format("%.1f LU range", rangeLu) : std::string("no range (under 3 s of sound)");
}

}  // namespace

std::string FormatRenderReport(const RenderResult& r) {
  const double audioSeconds = static_cast<double>(r.frames) / r.sampleRate;
  std::string text = r.inputPath + " -> " + r.outputPath + "\n";
  text += Format("  input           %.0f Hz, %d channel%s, %lld frames (%.2f s)\n", r.sampleRate,
                 r.channels, r.channels == 1 ? "" : "s", static_cast<long long>(r.frames),
                 audioSeconds);
  text += "  settings        " + SettingsLine(r) + "\n";
  text += MovesLines(r);
  text += "  output file     " + ContainerTitle(r.container) + ", " + SampleFormatName(r.format) +
          (r.flacHoldsNoFloat ? " (FLAC holds no float)" : "") +
          (IntegerBits(r.format) > 0 ? ", dither " + r.dither : std::string()) +
          (r.undithered ? " (not dithered for this word length)" : "") + "\n";
  text += Format("  latency         %d samples (compensated)\n", r.latencySamples);
  const ReductionStats& gr = r.gainReduction;
  text += Format("  gain reduction  %.2f dB max, %.2f dB mean, %.1f%% of blocks above 1 dB\n", gr.maxDb,
                 gr.meanDb, 100.0 * gr.shareAbove1Db);
  text += Format("  output peak     %.2f dBFS sample, %.2f dBTP true\n", r.outputSamplePeakDbfs,
                 r.outputTruePeakDbtp);
  text += Format("  loudness out    %.1f LUFS integrated, %s, max %.1f short-term, %.1f momentary\n",
                 r.outputIntegratedLufs, RangeText(r.outputLoudnessRangeLu, r.maxShortTermLufs).c_str(),
                 r.maxShortTermLufs, r.maxMomentaryLufs);
  text += Format("  input levels    %.2f dBTP true peak, %.1f LUFS integrated, %s\n", r.inputTruePeakDbtp,
                 r.inputIntegratedLufs, RangeText(r.inputLoudnessRangeLu, r.inputIntegratedLufs).c_str());
  if (r.dynamicCeilingRaisedToDbtp > -99.0)
    text += Format("  ceiling         raised to %.2f dBTP by Dynamic Ceiling\n", r.dynamicCeilingRaisedToDbtp);
  if (r.codecModeLoweredCeilingToDbtp > -99.0)
    text += Format("  ceiling         lowered to %.2f dBTP by Codec Mode\n", r.codecModeLoweredCeilingToDbtp);
  for (const std::string& warning : r.warnings) text += "  warning         " + warning + "\n";
  text += Format("  time            %.2f s (%.1fx real time)\n", r.seconds, r.realtimeFactor);
  return text;
}

std::string FormatRenderReportJson(const RenderResult& r) {
  using json = nlohmann::ordered_json;
  json settings = json::array();
  for (const ParamSetting& s : r.settings)
    settings.push_back({{"name", s.name}, {"value", s.value}, {"unit", s.unit}, {"text", s.text}});
  json moves = json::array();
  for (const ParamMove& m : r.moves)
    moves.push_back({{"atSeconds", m.seconds},
                     {"frame", m.frame},
                     {"blockStart", m.blockStart},
                     {"name", m.setting.name},
                     {"value", m.setting.value},
                     {"unit", m.setting.unit},
                     {"text", m.setting.text}});
  const ReductionStats& gr = r.gainReduction;
  json report = {
      {"input", r.inputPath},
      {"output", r.outputPath},
      {"sampleRate", r.sampleRate},
      {"channels", r.channels},
      {"frames", r.frames},
      {"latencySamples", r.latencySamples},
      {"outputFile",
       {{"container", ContainerName(r.container)},
        {"sampleFormat", SampleFormatName(r.format)},
        {"dither", r.dither},
        {"undithered", r.undithered},
        {"flacHoldsNoFloat", r.flacHoldsNoFloat}}},
      {"settings", std::move(settings)},
      {"moves", std::move(moves)},
      {"warnings", r.warnings},
      {"wholeFile",
       {{"inputTruePeakDbtp", r.inputTruePeakDbtp},
        {"inputIntegratedLufs", r.inputIntegratedLufs},
        {"inputLoudnessRangeLu", r.inputLoudnessRangeLu},
        {"outputSamplePeakDbfs", r.outputSamplePeakDbfs},
        {"outputTruePeakDbtp", r.outputTruePeakDbtp},
        {"outputIntegratedLufs", r.outputIntegratedLufs},
        {"outputLoudnessRangeLu", r.outputLoudnessRangeLu},
        {"outputMaxShortTermLufs", r.maxShortTermLufs},
        {"outputMaxMomentaryLufs", r.maxMomentaryLufs},
        {"maxGainReductionDb", gr.maxDb},
        {"meanGainReductionDb", gr.meanDb},
        {"shareAbove1DbGainReduction", gr.shareAbove1Db},
        {"dynamicCeilingRaisedToDbtp", r.dynamicCeilingRaisedToDbtp},
        {"codecModeLoweredCeilingToDbtp", r.codecModeLoweredCeilingToDbtp}}},
      {"lastMeterTick", r.hasMeters ? MeterSnapshotToJson(r.meters) : json(nullptr)},
      {"seconds", r.seconds},
      {"realtimeFactor", r.realtimeFactor},
  };
  // File names need not be valid UTF-8; replace what is not rather than fail after the render.
  return report.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}
