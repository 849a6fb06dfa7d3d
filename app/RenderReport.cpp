#include "app/RenderReport.h"

#include <cstdarg>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "app/MeterJson.h"
#include "app/RenderCommand.h"

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

std::string FormatRenderReport(const RenderResult& r) {
  const double audioSeconds = static_cast<double>(r.frames) / r.sampleRate;
  std::string text = r.inputPath + " -> " + r.outputPath + "\n";
  text += Format("  input           %.0f Hz, %d channel%s, %lld frames (%.2f s)\n", r.sampleRate,
                 r.channels, r.channels == 1 ? "" : "s", static_cast<long long>(r.frames),
                 audioSeconds);
  text += Format("  latency         %d samples (compensated)\n", r.latencySamples);
  text += Format("  gain reduction  %.2f dB max\n", r.maxGainReductionDb);
  text += Format("  output peak     %.2f dBFS sample, %.2f dBTP true\n", r.outputSamplePeakDbfs,
                 r.outputTruePeakDbtp);
  if (r.hasMeters) {
    const MeterSnapshot& m = r.meters;
    // The range needs 200 short-term values above the gate: about 23 s of programme.
    const std::string range = m.lra > -99.0f ? Format("%.1f LU range", m.lra) : "range needs 23 s or more";
    text += Format("  loudness out    %.1f LUFS integrated, %s, max %.1f short-term, %.1f momentary\n",
                   m.lufsI, range.c_str(), r.maxShortTermLufs, r.maxMomentaryLufs);
    text += Format("  loudness in     %.1f LUFS integrated\n", m.lufsI_in);
  }
  if (r.dynamicCeilingRaisedToDbtp > -99.0)
    text += Format("  ceiling         raised to %.2f dBTP by Dynamic Ceiling\n", r.dynamicCeilingRaisedToDbtp);
  text += Format("  time            %.2f s (%.1fx real time)\n", r.seconds, r.realtimeFactor);
  return text;
}

std::string FormatRenderReportJson(const RenderResult& r) {
  const nlohmann::ordered_json report = {
      {"input", r.inputPath},
      {"output", r.outputPath},
      {"sampleRate", r.sampleRate},
      {"channels", r.channels},
      {"frames", r.frames},
      {"latencySamples", r.latencySamples},
      {"maxGainReductionDb", r.maxGainReductionDb},
      {"outputSamplePeakDbfs", r.outputSamplePeakDbfs},
      {"outputTruePeakDbtp", r.outputTruePeakDbtp},
      {"outputIntegratedLufs", r.hasMeters ? r.meters.lufsI : -100.0},
      {"inputIntegratedLufs", r.hasMeters ? r.meters.lufsI_in : -100.0},
      {"loudnessRangeLu", r.hasMeters ? r.meters.lra : -100.0},
      {"maxShortTermLufs", r.maxShortTermLufs},
      {"maxMomentaryLufs", r.maxMomentaryLufs},
      {"dynamicCeilingRaisedToDbtp", r.dynamicCeilingRaisedToDbtp},
      {"seconds", r.seconds},
      {"realtimeFactor", r.realtimeFactor},
  };
  nlohmann::ordered_json withMeters = report;
  withMeters["meters"] = MeterSnapshotToJson(r.meters);
  // File names need not be valid UTF-8; replace what is not rather than fail after the render.
  return withMeters.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}
