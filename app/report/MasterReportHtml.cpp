#include "app/report/MasterReportHtml.h"

#include <cctype>
#include <cmath>
#include <filesystem>

#include "app/report/PlatformTable.h"
#include "app/report/ReportFormat.h"
#include "app/report/ReportPictures.h"

namespace {

using nlohmann::json;
using report_format::Clock;
using report_format::Escape;
using report_format::Number;
using report_format::Signed;

constexpr const char* kStyle = R"css(
@page { size: A4; margin: 14mm 15mm 16mm 15mm; }
* { box-sizing: border-box; }
html { background: #f3f5f8; }
body { margin: 0 auto; padding: 28px 36px 40px; max-width: 860px; background: #fff; color: #1c2430;
  font-family: "Helvetica Neue", Helvetica, Arial, "Liberation Sans", "DejaVu Sans", sans-serif;
  font-size: 10.5pt; line-height: 1.45; -webkit-print-color-adjust: exact; print-color-adjust: exact; }
header.masthead { display: flex; justify-content: space-between; align-items: flex-end;
  border-bottom: 3px solid #1c2430; padding-bottom: 8px; margin-bottom: 18px; }
.brand { font-size: 28pt; font-weight: 800; letter-spacing: 0.22em; line-height: 1; }
.title { font-size: 13pt; color: #4a5563; text-align: right; }
.title small { display: block; font-size: 10pt; color: #6b7685; }
h2 { font-size: 17pt; margin: 0; line-height: 1.2; }
h3 { font-size: 10pt; font-weight: 700; text-transform: uppercase; letter-spacing: 0.09em; color: #4a5563;
  margin: 14px 0 5px; padding-bottom: 3px; border-bottom: 1px solid #d9dee5; }
p { margin: 4px 0; }
h3 .aside { text-transform: none; letter-spacing: 0; font-weight: 400; }
.lead { color: #4a5563; margin-bottom: 6px; }
table { border-collapse: collapse; width: 100%; break-inside: avoid; }
th, td { padding: 3px 8px; text-align: left; border-bottom: 1px solid #e3e7ec; vertical-align: top; }
th { font-weight: 600; color: #4a5563; font-size: 10pt; border-bottom: 1.5px solid #aab3bf; white-space: nowrap; }
td.label { white-space: nowrap; }
table.settings td:first-child { color: #4a5563; width: 36%; }
table.settings tr.from-preset td:first-child { padding-left: 22px; }
td.num, th.num { text-align: right; font-variant-numeric: tabular-nums; white-space: nowrap; }
td.unit { color: #6b7685; padding-left: 0; white-space: nowrap; }
tr.failed td { color: #b3261e; }
.yes { color: #1e7b46; font-weight: 600; }
.no { color: #b3261e; font-weight: 600; }
.warn { color: #b3261e; }
.cards { display: grid; grid-template-columns: repeat(4, 1fr); gap: 10px; margin: 8px 0 4px; }
.card { border: 1px solid #d9dee5; border-radius: 6px; padding: 8px 12px; break-inside: avoid; }
.card .label { font-size: 10pt; color: #6b7685; }
.card .value { font-size: 17pt; font-weight: 700; font-variant-numeric: tabular-nums; line-height: 1.25; }
.card .value small { font-size: 10.5pt; font-weight: 400; color: #4a5563; }
.pair { display: grid; grid-template-columns: minmax(0, 1.12fr) minmax(0, 1fr); gap: 20px; }
.pair h3 { margin-top: 12px; }
section.track { margin-top: 34px; }
section.track > header { border-left: 5px solid #1f4e8c; padding: 2px 0 2px 12px; }
figure { margin: 8px 0 0; break-inside: avoid; }
.block { break-inside: avoid; }
figcaption { font-size: 10pt; color: #4a5563; margin-bottom: 2px; }
figcaption b { color: #1c2430; }
.swatch { display: inline-block; width: 10px; height: 10px; border-radius: 2px; margin: 0 4px 0 10px;
  vertical-align: baseline; }
svg.chart { display: block; width: 100%; height: auto; }
.note { font-size: 10pt; color: #4a5563; }
.notes { margin-top: 8px; padding: 6px 12px; background: #f6f8fa; border-radius: 6px; break-inside: avoid; }
@media print {
  html { background: #fff; }
  body { padding: 0; max-width: none; }
  section.track { margin-top: 0; break-before: page; }
  h3 { break-after: avoid; }
}
)css";

double Num(const json& object, const char* key) { return object.at(key).get<double>(); }

std::string Lufs(double value) { return Number(value, 1) + " LUFS"; }
std::string Dbtp(double value) { return Number(value, 2) + " dBTP"; }
std::string Lu(double value) { return Number(value, 1) + " LU"; }

std::string BaseName(const std::string& path) { return std::filesystem::path(path).filename().string(); }

std::string CodecLabel(const std::string& name) {
  if (name == "aac") return "AAC";
  if (name == "mp3") return "MP3";
  if (name == "opus") return "Opus";
  return name;
}

// 1 920 000, with thin spaces between the thousands.
std::string Grouped(int64_t value) {
  std::string digits = std::to_string(value < 0 ? -value : value);
  for (size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, "\u2009");
  return (value < 0 ? std::string(report_format::kMinus) : std::string()) + digits;
}

std::string Cell(const std::string& html, bool number = false) {
  return number ? "<td class=\"num\">" + html + "</td>" : "<td>" + html + "</td>";
}

std::string Card(const std::string& label, const std::string& value, const std::string& unit) {
  return "<div class=\"card\"><div class=\"label\">" + label + "</div><div class=\"value\">" + value +
         " <small>" + unit + "</small></div></div>";
}

bool CodecsClean(const json& track) {
  for (const json& codec : track.at("codecs"))
    if (!codec.at("clean").get<bool>()) return false;
  return true;
}

std::string DeliveryLine(const json& settings) {
  std::string rate = settings.at("sampleRate").is_number()
                         ? Number(Num(settings, "sampleRate") / 1000.0, 1) + " kHz"
                         : std::string("each input's own rate");
  const std::string bits = settings.at("bits").get<std::string>();
  std::string format = settings.at("format").get<std::string>();
  for (char& c : format) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return rate + " \u00B7 " + (bits == "float" ? std::string("32-bit float") : bits + "-bit") + " " + format;
}

std::string CodecList(const json& settings) {
  std::string list;
  for (const json& codec : settings.at("codecs"))
    list += (list.empty() ? "" : ", ") + CodecLabel(codec.get<std::string>());
  return list.empty() ? std::string("none") : list;
}

std::string SummaryTable(const json& report) {
  std::string html =
      "<table><thead><tr><th>Track</th><th class=\"num\">Output loudness</th><th class=\"num\">True peak</th>"
      "<th class=\"num\">Gain</th><th>Target</th><th>Codecs</th></tr></thead><tbody>";
  for (const json& track : report.at("tracks")) {
    const std::string name = Escape(track.at("output").get<std::string>());
    if (!track.at("written").get<bool>()) {
      html += "<tr class=\"failed\"><td>" + name + "</td><td colspan=\"5\">not mastered: " +
              Escape(track.at("error").get<std::string>()) + "</td></tr>";
      continue;
    }
    const json& out = track.at("outputFigures");
    html += "<tr>" + Cell(name) + Cell(Lufs(Num(out, "integratedLufs")), true) +
            Cell(Dbtp(Num(out, "truePeakDbtp")), true) + Cell(Signed(Num(track, "gainDb"), 2) + " dB", true) +
            Cell(track.at("reachedTarget").get<bool>() ? "<span class=\"yes\">reached</span>"
                                                        : "<span class=\"no\">missed</span>") +
            Cell(track.at("codecs").empty() ? std::string("not checked")
                 : CodecsClean(track)     ? std::string("<span class=\"yes\">clean</span>")
                                          : std::string("<span class=\"no\">over</span>")) +
            "</tr>";
  }
  return html + "</tbody></table>";
}

std::string Summary(const json& report) {
  const json& settings = report.at("settings");
  std::string html = "<section class=\"summary\">";
  if (report.contains("album")) {
    const json& album = report.at("album");
    html += "<h3>Album</h3><div class=\"cards\">" +
            Card("Album gain", Signed(Num(album, "gainDb"), 2), "dB") +
            Card("Album loudness", Number(Num(album, "integratedLufs"), 1), "LUFS") +
            Card("Target", Number(Num(settings, "targetLufs"), 1), "LUFS") +
            Card("Ceiling", Number(Num(album, "ceilingDbtp"), 1), "dBTP") + "</div>";
    html += "<p class=\"note\">One gain for every track keeps the album's balance. The album " +
            std::string(album.at("reachedTarget").get<bool>()
                            ? "reached its target."
                            : "<span class=\"warn\">missed its target</span>: reaching it would have taken more than " +
                                  Number(Num(settings, "maxReductionDb"), 1) + " dB of gain reduction on some track.");
    if (Num(album, "codecSafeCostLu") > 0.0)
      html += " Lowering the ceiling to " + Number(Num(album, "ceilingDbtp"), 1) +
              " dBTP so every codec decodes without an over cost " + Lu(Num(album, "codecSafeCostLu")) + ".";
    html += "</p>";
  }
  html += "<h3>Tracks</h3>" + SummaryTable(report);
  for (const json& track : report.at("tracks"))
    if (track.contains("warnings"))
      for (const json& warning : track.at("warnings"))
        html += "<p class=\"note\"><span class=\"warn\">Warning:</span> " + Escape(warning.get<std::string>()) + ".</p>";
  html += std::string("<p class=\"note\">") +
          (report.contains("album") ? "Target: the album's loudness, all tracks measured as one programme, reached "
                                      "the target within the gain reduction allowed."
                                    : "Target: the track's integrated loudness reached the target within the gain "
                                      "reduction allowed.") +
          " Codecs: every codec checked decodes the master without a true peak above 0 dBTP.</p>";
  html += "<h3>Settings</h3><table class=\"settings\"><tbody>";
  const auto row = [&](const std::string& label, const std::string& value) {
    html += "<tr><td>" + label + "</td><td>" + value + "</td></tr>";
  };
  row("Mode", report.contains("album") ? "album: one gain for every track" : "track by track: a gain for each");
  row("Loudness target", Lufs(Num(settings, "targetLufs")));
  row("True-peak ceiling", Number(Num(settings, "ceilingDbtp"), 1) + " dBTP" +
                               (settings.at("codecSafe").get<bool>() ? ", lowered where a codec needs it" : ""));
  row("Most gain reduction allowed", Number(Num(settings, "maxReductionDb"), 1) + " dB");
  row("Delivered as", DeliveryLine(settings));
  row("Codecs checked", CodecList(settings));
  const bool preset = !settings.at("preset").get<std::string>().empty();
  if (preset) {
    row("Preset", Escape(BaseName(settings.at("preset").get<std::string>())) + ", slot " +
                      Escape(settings.at("presetSlot").get<std::string>()));
    const json& brought = settings.at("presetSettings");
    if (brought.empty()) html += "<tr class=\"from-preset\"><td colspan=\"2\">every parameter at its default</td></tr>";
    for (const json& setting : brought) {
      const std::string unit = setting.at("unit").get<std::string>();
      html += "<tr class=\"from-preset\"><td>" + Escape(setting.at("name").get<std::string>()) + "</td><td>" +
              Escape(setting.at("text").get<std::string>() + (unit.empty() ? "" : " " + unit)) + "</td></tr>";
    }
  }
  for (const json& setting : settings.at("set")) row("Setting", Escape(setting.get<std::string>()));
  html += "</tbody></table>";
  if (preset)
    html += "<p class=\"note\">The settings follow the preset, then each --set. Mastering sets the drive, the "
            "ceiling and the dither itself, and turns Bypass, Level Match and the delta switches off.</p>";
  html += "<h3>Measured with</h3><table class=\"settings\"><tbody>";
  row("Loudness", Escape(report.at("loudnessMeter").get<std::string>()));
  row("True peak", Escape(report.at("truePeakMeter").get<std::string>()));
  html += "</tbody></table><p class=\"note\">Every figure in this report is also in report.json beside it.</p>";
  return html + "</section>";
}

std::string FiguresTable(const json& track) {
  const json& in = track.at("inputFigures");
  const json& out = track.at("outputFigures");
  struct Row {
    const char* label;
    const char* key;
    int decimals;
    const char* unit;
  };
  const Row rows[] = {{"Integrated loudness", "integratedLufs", 1, "LUFS"},
                      {"Loudness range", "loudnessRangeLu", 1, "LU"},
                      {"Loudest momentary", "maxMomentaryLufs", 1, "LUFS"},
                      {"Loudest short-term", "maxShortTermLufs", 1, "LUFS"},
                      {"True peak", "truePeakDbtp", 2, "dBTP"},
                      {"Peak-to-loudness ratio", "peakToLoudnessDb", 1, "dB"}};
  std::string html =
      "<table><thead><tr><th></th><th class=\"num\">Input</th><th class=\"num\">Master</th><th></th></tr></thead><tbody>";
  for (const Row& row : rows)
    html += std::string("<tr><td class=\"label\">") + row.label + "</td>" + Cell(Number(Num(in, row.key), row.decimals), true) +
            Cell("<b>" + Number(Num(out, row.key), row.decimals) + "</b>", true) + "<td class=\"unit\">" + row.unit +
            "</td></tr>";
  return html + "</tbody></table>";
}

std::string ProcessingTable(const json& track, const json& report) {
  const json& reduction = track.at("gainReduction");
  const bool album = report.contains("album");
  std::string html = "<table><tbody>";
  const auto row = [&](const std::string& label, const std::string& value) {
    html += "<tr><td>" + label + "</td><td class=\"num\">" + value + "</td></tr>";
  };
  row(album ? "Gain applied (album)" : "Gain applied", Signed(Num(track, "gainDb"), 2) + " dB");
  row("Ceiling", Number(Num(track, "ceilingDbtp"), 1) + " dBTP");
  row("Reduction, most", Number(Num(reduction, "maxDb"), 1) + " dB");
  row("Reduction, mean", Number(Num(reduction, "meanDb"), 1) + " dB");
  row("Time over 1 dB of reduction", Number(100.0 * Num(reduction, "shareAbove1Db"), 0) + " %");
  if (album)
    row("Album target", track.at("reachedTarget").get<bool>() ? "<span class=\"yes\">reached</span>"
                                                               : "<span class=\"no\">missed</span>");
  else if (track.at("reachedTarget").get<bool>())
    row("Target", "<span class=\"yes\">reached</span>");
  else
    row("Target", "<span class=\"no\">missed by " + Lu(std::fabs(Num(track, "targetMissLu"))) + "</span>");
  return html + "</tbody></table>";
}

std::string Notes(const json& track, const json& report) {
  std::string notes;
  const json& settings = report.at("settings");
  for (const json& warning : track.at("warnings"))
    notes += "<p><span class=\"warn\">Warning:</span> " + Escape(warning.get<std::string>()) + ".</p>";
  if (!report.contains("album") && !track.at("reachedTarget").get<bool>())
    notes += "<p>The master is " + Lu(std::fabs(Num(track, "targetMissLu"))) +
             (Num(track, "targetMissLu") < 0.0 ? " below" : " above") + " the target of " +
             Lufs(Num(settings, "targetLufs")) + ": reaching it would have taken more than " +
             Number(Num(settings, "maxReductionDb"), 1) + " dB of gain reduction.</p>";
  if (!report.contains("album") && Num(track, "codecSafeCostLu") > 0.0)
    notes += "<p>Codec-safe: the ceiling was lowered from " + Number(Num(settings, "ceilingDbtp"), 1) + " to " +
             Number(Num(track, "ceilingDbtp"), 1) + " dBTP so that every codec decodes without an over; this cost " +
             Lu(Num(track, "codecSafeCostLu")) + " of loudness.</p>";
  return notes.empty() ? std::string() : "<div class=\"notes note\">" + notes + "</div>";
}

std::string PlatformTable(const json& track) {
  const double lufs = Num(track.at("outputFigures"), "integratedLufs");
  const double peak = Num(track.at("outputFigures"), "truePeakDbtp");
  std::string html =
      "<table><thead><tr><th>Platform</th><th class=\"num\">Plays at</th><th class=\"num\">Peak limit</th>"
      "<th>What it does to this master</th></tr></thead><tbody>";
  for (const StreamingPlatform& platform : StreamingPlatforms()) {
    std::string effect = Escape(PlaybackText(PlaybackGainDb(platform, lufs, peak)));
    if (PeakAboveLimit(platform, peak))
      effect += "<br><span class=\"warn\">\u26A0 true peak " + Dbtp(peak) + " is above its limit: its encoder may clip</span>";
    html += "<tr>" + Cell(Escape(platform.name)) + Cell(Lufs(platform.referenceLufs), true) +
            Cell(Number(platform.peakLimitDbtp, 1) + " dBTP", true) + Cell(effect) + "</tr>";
  }
  return html + "</tbody></table>";
}

std::string CodecTable(const json& track) {
  if (track.at("codecs").empty()) return "<p class=\"note\">No codec was checked.</p>";
  std::string html =
      "<table><thead><tr><th>Codec</th><th class=\"num\">Highest decoded true peak</th>"
      "<th class=\"num\">Decoded samples</th><th class=\"num\">Overs</th><th></th></tr></thead><tbody>";
  for (const json& codec : track.at("codecs")) {
    const bool clean = codec.at("clean").get<bool>();
    html += "<tr>" + Cell(CodecLabel(codec.at("codec").get<std::string>())) +
            Cell(Dbtp(Num(codec, "truePeakDbtp")), true) +
            Cell(Grouped(codec.at("decodedFrames").get<int64_t>()), true) +
            Cell(Grouped(codec.at("oversAbove0Dbfs").get<int64_t>()), true) +
            Cell(clean ? "<span class=\"yes\">clean</span>" : "<span class=\"no\">over 0 dBTP</span>") + "</tr>";
  }
  html += "</tbody></table><p class=\"note\">Each master encoded and decoded again; samples per channel. "
          "Overs: stretches between samples whose reconstruction rises above 0 dBFS, where a player may clip.</p>";
  return html;
}

std::string Figure(const std::string& caption, const std::string& svg) {
  return "<figure><figcaption>" + caption + "</figcaption>" + svg + "</figure>";
}

std::string Swatch(const char* colour, const char* what, bool dashed = false) {
  return std::string("<span class=\"swatch\" style=\"background:") + colour +
         (dashed ? ";height:0;border-top:2px dashed " + std::string(colour) + ";background:none" : "") +
         "\"></span>" + what;
}

std::string TrackSection(const json& track, const TrackOutcome& outcome, const json& report) {
  const json& settings = report.at("settings");
  const std::string channels = track.at("channels").get<int>() == 1 ? "mono" : "stereo";
  const double seconds = static_cast<double>(track.at("frames").get<int64_t>()) / Num(track, "sampleRate");
  std::string html = "<section class=\"track\"><header><h2>" + Escape(track.at("output").get<std::string>()) +
                     "</h2><p class=\"lead\">from " + Escape(BaseName(track.at("input").get<std::string>())) +
                     " \u00B7 " + Clock(seconds) + " \u00B7 " + Number(Num(track, "sampleRate") / 1000.0, 1) +
                     " kHz " + channels + "</p></header>";
  html += "<div class=\"pair\"><div><h3>Loudness and peaks</h3>" + FiguresTable(track) +
          "</div><div><h3>Processing</h3>" + ProcessingTable(track, report) + "</div></div>";
  html += Notes(track, report);
  const TrackSeries& series = outcome.series;
  html += "<h3>Over time <span class=\"aside\">(time in m:ss)</span></h3>";
  html += Figure("<b>Waveform</b>" + Swatch("#b9c3cf", "input") + Swatch("#1f4e8c", "master") +
                     Swatch("#d9822b", "ceiling", true),
                 report_pictures::Waveform(series, Num(track, "ceilingDbtp")));
  html += Figure("<b>Gain reduction</b> (the most in each stretch; dotted: 1 dB)",
                 report_pictures::GainReduction(series));
  html += Figure("<b>Short-term loudness</b> (3 s windows)" + Swatch("#b9c3cf", "input") +
                     Swatch("#1f4e8c", "master") + Swatch("#d9822b", "target", true),
                 report_pictures::ShortTermLoudness(series, Num(settings, "targetLufs")));
  // A heading stays with its table.
  html += "<div class=\"block\"><h3>Streaming platforms</h3><p class=\"note\">What each platform's loudness "
          "normalisation does to this master when it plays it.</p>" + PlatformTable(track) + "</div>";
  html += "<div class=\"block\"><h3>Codecs</h3>" + CodecTable(track) + "</div>";
  return html + "</section>";
}

}  // namespace

std::string MasterReportHtml(const json& report, const MasterRun& run) {
  const json& tracks = report.at("tracks");
  size_t written = 0;
  for (const json& track : tracks) written += track.at("written").get<bool>() ? 1 : 0;
  std::string html = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
                     "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
                     "<title>ZARN mastering report</title><style>";
  html += kStyle;
  html += "</style></head><body><header class=\"masthead\"><div class=\"brand\">ZARN</div>"
          "<div class=\"title\">Mastering report<small>" +
          std::to_string(written) + (written == 1 ? " track" : " tracks") +
          (report.contains("album") ? " \u00B7 mastered as an album" : " \u00B7 mastered track by track") +
          "</small></div></header>";
  html += Summary(report);
  for (size_t i = 0; i < tracks.size() && i < run.tracks.size(); ++i)
    if (tracks[i].at("written").get<bool>()) html += TrackSection(tracks[i], run.tracks[i], report);
  return html + "</body></html>\n";
}
