#include "app/MasterArguments.h"

#include <thread>

#include "app/ArgumentCursor.h"
#include "app/audio/OutputFormat.h"
#include "app/audio/UserError.h"
#include "app/render/NumberParsing.h"

namespace {

double ParseNumberIn(const std::string& option, const std::string& text, double lo, double hi,
                     const char* unit) {
  const auto value = ParseFiniteNumber(text);
  if (!value || *value < lo || *value > hi)
    throw UserError(option + " \"" + text + "\": expected a number from " +
                       std::to_string(static_cast<int>(lo)) + " to " +
                       std::to_string(static_cast<int>(hi)) + " " + unit);
  return *value;
}

int ParseJobs(const std::string& text) {
  const auto value = ParseWholeNumber(text);
  if (!value || *value < 1 || *value > 256)
    throw UserError("--jobs \"" + text + "\": expected a whole number from 1 to 256");
  return static_cast<int>(*value);
}

PresetSlot ParseSlot(const std::string& text) {
  if (text == "A" || text == "a") return PresetSlot::kA;
  if (text == "B" || text == "b") return PresetSlot::kB;
  throw UserError("--slot \"" + text + "\": expected A or B");
}

std::string ParseFormat(const std::string& text) {
  if (ContainerNamed(text)) return text;
  throw UserError("--format \"" + text + "\": expected wav, flac or aiff");
}

void ParseOption(const std::string& option, ArgumentCursor& cursor, MasterOptions& parsed) {
  if (option == "--out") {
    parsed.outputDir = cursor.TakeValueOf(option);
  } else if (option == "--target") {
    parsed.targetLufs = ParseNumberIn(option, cursor.TakeValueOf(option), -60, 0, "LUFS");
  } else if (option == "--ceiling") {
    parsed.ceilingDbtp = ParseNumberIn(option, cursor.TakeValueOf(option), -20, 0, "dBTP");
  } else if (option == "--album") {
    parsed.album = true;
  } else if (option == "--rate") {
    parsed.sampleRate = ParseNumberIn(option, cursor.TakeValueOf(option), kMinMasterRate,
                                      kMaxMasterRate, "Hz");
  } else if (option == "--bits") {
    parsed.bits = ParseWordLength(option, cursor.TakeValueOf(option));
  } else if (option == "--format") {
    parsed.format = ParseFormat(cursor.TakeValueOf(option));
  } else if (option == "--set") {
    parsed.settings.push_back(cursor.TakeValueOf(option));
  } else if (option == "--preset") {
    parsed.presetPath = cursor.TakeValueOf(option);
  } else if (option == "--slot") {
    parsed.presetSlot = ParseSlot(cursor.TakeValueOf(option));
  } else if (option == "--max-reduction") {
    parsed.maxReductionDb = ParseNumberIn(option, cursor.TakeValueOf(option), 0, 40, "dB");
  } else if (option == "--codecs") {
    parsed.codecs = ParseCodecList(cursor.TakeValueOf(option));
  } else if (option == "--codec-safe") {
    parsed.codecSafe = true;
  } else if (option == "--jobs") {
    parsed.jobs = ParseJobs(cursor.TakeValueOf(option));
  } else if (option == "--no-pdf") {
    parsed.pdf = false;
  } else if (option == "--chromium") {
    parsed.chromiumPath = cursor.TakeValueOf(option);
  } else if (option == "--quiet" || option == "-q") {
    parsed.quiet = true;
  } else if (option == "--help" || option == "-h") {
    parsed.help = true;
  } else {
    throw UserError("master: unknown option " + option);
  }
}

}  // namespace

MasterOptions ParseMasterArguments(const std::vector<std::string>& args) {
  MasterOptions parsed;
  parsed.jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  parsed.inputs = ArgumentCursor::Operands(args, [&](const std::string& option, ArgumentCursor& cursor) {
    ParseOption(option, cursor, parsed);
  });
  if (parsed.help) return parsed;
  if (parsed.inputs.empty()) throw UserError("master: expected at least one input file");
  if (parsed.outputDir.empty()) throw UserError("master: expected --out DIR");
  if (parsed.presetSlot && parsed.presetPath.empty())
    throw UserError("--slot picks a slot of --preset FILE; there is no --preset");
  if (parsed.codecSafe && parsed.codecs.empty())
    throw UserError("--codec-safe needs at least one codec (--codecs)");
  if (!CanHold(*ContainerNamed(parsed.format), parsed.bits))
    throw UserError("--format flac cannot hold float samples; use --bits 16 or 24");
  return parsed;
}
