#include "app/report/MasterReport.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "app/audio/InterruptCleanup.h"
#include "app/audio/UserError.h"
#include "app/render/ReferenceLoudness.h"
#include "app/report/MasterReportHtml.h"
#include "app/report/ReportPdf.h"

namespace {

using nlohmann::json;

// Figures to a hundredth (a thousandth for gains), so that reports diff cleanly.
double Rounded(double value, int decimals = 2) {
  const double scale = std::pow(10.0, decimals);
  return std::round(value * scale) / scale;
}

json FiguresJson(const LoudnessFigures& f) {
  return {{"integratedLufs", Rounded(f.integratedLufs)},
          {"loudnessRangeLu", Rounded(f.loudnessRangeLu)},
          {"maxMomentaryLufs", Rounded(f.maxMomentaryLufs)},
          {"maxShortTermLufs", Rounded(f.maxShortTermLufs)},
          {"truePeakDbtp", Rounded(f.truePeakDbtp)},
          {"peakToLoudnessDb", Rounded(f.peakToLoudnessDb)}};
}

json TrackJson(const TrackOutcome& t) {
  // The output by name only: it lies beside the report.
  json track = {{"input", t.inputPath},
                {"output", std::filesystem::path(t.outputPath).filename().string()},
                {"written", t.Written()}};
  if (!t.Written()) {
    track["error"] = t.error;
    return track;
  }
  track["warnings"] = t.warnings;
  track["sampleRate"] = t.sampleRate;
  track["channels"] = t.channels;
  track["frames"] = t.frames;
  track["inputFigures"] = FiguresJson(t.input);
  track["outputFigures"] = FiguresJson(t.output);
  track["gainDb"] = Rounded(t.gainDb, 3);
  track["renders"] = t.renders;
  track["gainReduction"] = {{"maxDb", Rounded(t.reduction.maxDb)},
                            {"meanDb", Rounded(t.reduction.meanDb)},
                            {"shareAbove1Db", Rounded(t.reduction.shareAbove1Db, 3)}};
  track["reachedTarget"] = t.reachedTarget;
  track["targetMissLu"] = Rounded(t.targetMissLu);
  track["ceilingDbtp"] = Rounded(t.ceilingDbtp, 1);
  track["codecSafeCostLu"] = Rounded(t.codecSafeCostLu);
  json codecs = json::array();
  for (const CodecCheck& check : t.codecs)
    codecs.push_back({{"codec", CodecName(check.codec)},
                      {"sampleRate", check.sampleRate},
                      {"decodedFrames", check.decodedFrames},
                      {"truePeakDbtp", Rounded(check.truePeakDbtp)},
                      {"oversAbove0Dbfs", check.overs},
                      {"clean", check.Clean()}});
  track["codecs"] = codecs;
  return track;
}

json CodecNames(const std::vector<Codec>& codecs) {
  json names = json::array();
  for (Codec codec : codecs) names.push_back(CodecName(codec));
  return names;
}

// The parameters the preset's slot holds away from their defaults, as the plug-in shows them.
json PresetSettingsJson(const PresetSummary& preset) {
  json settings = json::array();
  for (const ParamSetting& s : preset.settings)
    settings.push_back({{"name", s.name}, {"value", s.value}, {"unit", s.unit}, {"text", s.text}});
  return settings;
}

json SettingsJson(const MasterOptions& o, const PresetSummary& preset) {
  const bool hasPreset = !o.presetPath.empty();
  return {{"targetLufs", o.targetLufs},
          {"ceilingDbtp", o.ceilingDbtp},
          {"album", o.album},
          {"sampleRate", o.sampleRate > 0.0 ? json(o.sampleRate) : json("input")},
          {"bits", BitsName(o.bits)},
          {"format", o.format},
          {"maxReductionDb", o.maxReductionDb},
          {"codecs", CodecNames(o.codecs)},
          {"codecSafe", o.codecSafe},
          {"preset", o.presetPath},
          {"presetSlot", hasPreset ? PresetSlotName(preset.slot) : ""},
          {"presetSettings", PresetSettingsJson(preset)},
          {"set", o.settings}};
}

}  // namespace

json MasterReportJson(const MasterOptions& options, const MasterRun& run) {
  json report = {{"loudnessMeter", bs1770::kMeterName},
                 {"truePeakMeter", kTruePeakMeterName},
                 {"settings", SettingsJson(options, run.preset)}};
  if (options.album)
    report["album"] = {{"gainDb", Rounded(run.album.gainDb, 3)},
                       {"integratedLufs", Rounded(run.album.integratedLufs)},
                       {"renders", run.album.renders},
                       {"reachedTarget", run.album.reachedTarget},
                       {"ceilingDbtp", Rounded(run.album.ceilingDbtp, 1)},
                       {"codecSafeCostLu", Rounded(run.album.codecSafeCostLu)}};
  json tracks = json::array();
  for (const TrackOutcome& track : run.tracks) tracks.push_back(TrackJson(track));
  report["tracks"] = tracks;
  return report;
}

void WriteMasterReport(const MasterOptions& options, const MasterRun& run) {
  WriteReportFile((std::filesystem::path(options.outputDir) / "report.json").string(),
                  MasterReportJson(options, run).dump(2) + "\n");
}

std::optional<std::string> WriteReportPages(const MasterOptions& options, const MasterRun& run) {
  const std::filesystem::path dir(options.outputDir);
  const std::string html = MasterReportHtml(MasterReportJson(options, run), run);
  WriteReportFile((dir / "report.html").string(), html);
  const std::string pdfPath = (dir / "report.pdf").string();
  std::string whyNot = "--no-pdf";
  const auto pdf = options.pdf ? PrintHtmlToPdf(html, whyNot, options.chromiumPath) : std::nullopt;
  if (pdf) {
    WriteReportFile(pdfPath, *pdf);
    return std::nullopt;
  }
  // A report.pdf of an earlier run would contradict the new report.html.
  std::error_code ignored;
  std::filesystem::remove(pdfPath, ignored);
  if (!options.pdf) return std::nullopt;
  return whyNot;
}

void WriteReportFile(const std::string& path, const std::string& bytes) {
  const std::string temporary = path + ".part" + std::to_string(getpid());
  InterruptCleanup cleanup;  // Ctrl-C leaves no half-written report
  {
    const InterruptCleanup::HoldSignals held;
    std::ofstream(temporary).close();
    cleanup.Register(temporary);
  }
  {
    std::ofstream file(temporary, std::ios::binary);
    file << bytes;
    if (!file.flush()) {
      std::remove(temporary.c_str());
      throw UserError("cannot write " + path);
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::remove(temporary.c_str());
    throw UserError("cannot write " + path);
  }
}
