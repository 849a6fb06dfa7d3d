#include "app/render/RenderReport.h"

#include <nlohmann/json.hpp>

#include "app/audio/OutputFormat.h"
#include "app/render/MeterJson.h"
#include "app/render/ParamAssignment.h"
#include "app/render/RenderFile.h"
#include "editor/NumberText.h"

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
             " at " + FormatExactNumber(m.seconds) + " s (frame " + std::to_string(m.frame) + ", in force from " +
             std::to_string(m.blockStart) + ")\n";
  return lines;
}

// A loudness range needs short-term (3 s) windows above the gates.
std::string RangeText(double rangeLu, double maxShortTermLufs) {
  return maxShortTermLufs > -99.0 ? Fixed(rangeLu, 1) + " LU range" : std::string("no range (under 3 s of sound)");
}

}  // namespace

// Numbers through Fixed, never printf: a program that links this may run in a locale with a
// decimal comma.
std::string FormatRenderReport(const RenderResult& r) {
  const double audioSeconds = static_cast<double>(r.frames) / r.sampleRate;
  std::string text = r.inputPath + " -> " + r.outputPath + "\n";
  text += "  input           " + Fixed(r.sampleRate, 0) + " Hz, " + std::to_string(r.channels) + " channel" +
          (r.channels == 1 ? "" : "s") + ", " + std::to_string(r.frames) + " frames (" + Fixed(audioSeconds, 2) +
          " s)\n";
  text += "  settings        " + SettingsLine(r) + "\n";
  text += MovesLines(r);
  text += "  output file     " + ContainerTitle(r.container) + ", " + SampleFormatName(r.format) +
          (r.flacHoldsNoFloat ? " (FLAC holds no float)" : "") +
          (IntegerBits(r.format) > 0 ? ", dither " + r.dither : std::string()) +
          (r.undithered ? " (not dithered for this word length)" : "") + "\n";
  text += "  latency         " + std::to_string(r.latencySamples) + " samples (compensated)\n";
  const ReductionStats& gr = r.gainReduction;
  text += "  gain reduction  " + Fixed(gr.maxDb, 2) + " dB max, " + Fixed(gr.meanDb, 2) + " dB mean, " +
          Fixed(100.0 * gr.shareAbove1Db, 1) + "% of blocks above 1 dB\n";
  text += "  output peak     " + Fixed(r.outputSamplePeakDbfs, 2) + " dBFS sample, " + Fixed(r.outputTruePeakDbtp, 2) +
          " dBTP true\n";
  text += "  loudness out    " + Fixed(r.outputIntegratedLufs, 1) + " LUFS integrated, " +
          RangeText(r.outputLoudnessRangeLu, r.maxShortTermLufs) + ", max " + Fixed(r.maxShortTermLufs, 1) +
          " short-term, " + Fixed(r.maxMomentaryLufs, 1) + " momentary\n";
  text += "  input levels    " + Fixed(r.inputTruePeakDbtp, 2) + " dBTP true peak, " + Fixed(r.inputIntegratedLufs, 1) +
          " LUFS integrated, " + RangeText(r.inputLoudnessRangeLu, r.inputIntegratedLufs) + "\n";
  if (r.dynamicCeilingRaisedToDbtp > -99.0)
    text += "  ceiling         raised to " + Fixed(r.dynamicCeilingRaisedToDbtp, 2) + " dBTP by Dynamic Ceiling\n";
  if (r.codecModeLoweredCeilingToDbtp > -99.0)
    text += "  ceiling         lowered to " + Fixed(r.codecModeLoweredCeilingToDbtp, 2) + " dBTP by Codec Mode\n";
  for (const std::string& warning : r.warnings) text += "  warning         " + warning + "\n";
  text += "  time            " + Fixed(r.seconds, 2) + " s (" + Fixed(r.realtimeFactor, 1) + "x real time)\n";
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
