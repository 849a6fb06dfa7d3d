#include "app/RenderArguments.h"

#include "app/ArgumentCursor.h"
#include "app/audio/OutputFormat.h"
#include "app/audio/UserError.h"
#include "app/render/NumberParsing.h"

namespace {

int ParseBlockSize(const std::string& text) {
  const auto value = ParseWholeNumber(text);
  if (!value || *value < RenderOptions::kMinBlockSize || *value > RenderOptions::kMaxBlockSize)
    throw UserError("--block \"" + text + "\": expected a whole number from " +
                       std::to_string(RenderOptions::kMinBlockSize) + " to " +
                       std::to_string(RenderOptions::kMaxBlockSize));
  return static_cast<int>(*value);
}

bool ParseKeepFormat(const std::string& text) {
  if (text == "same") return true;
  if (text == "float") return false;
  throw UserError("--format \"" + text + "\": expected \"same\" (the input's word length) or "
                     "\"float\" (32-bit float)");
}

// --at SECONDS "Name=value". The setting is checked when rendering, as --set's are.
TimedSetting ParseMove(ArgumentCursor& cursor) {
  const std::string usage = ": expected --at SECONDS \"Name=value\"";
  if (cursor.Done()) throw UserError("--at needs a time and a setting" + usage);
  const std::string time = cursor.Take();
  if (cursor.Done()) throw UserError("--at " + time + " needs a setting" + usage);
  const std::string setting = cursor.Take();
  const auto seconds = ParseFiniteNumber(time);
  if (!seconds || *seconds < 0.0)
    throw UserError("--at \"" + time + "\": expected a time in seconds from the start of the input, 0 or more");
  return {*seconds, setting};
}

void ParseOption(const std::string& option, ArgumentCursor& cursor, RenderArguments& parsed) {
  if (option == "--set") {
    parsed.options.settings.push_back(cursor.TakeValueOf(option));
  } else if (option == "--at") {
    parsed.options.moves.push_back(ParseMove(cursor));
  } else if (option == "--block") {
    parsed.options.blockSize = ParseBlockSize(cursor.TakeValueOf(option));
  } else if (option == "--plugin") {
    parsed.options.pluginPath = cursor.TakeValueOf(option);
  } else if (option == "--format") {
    parsed.options.keepInputFormat = ParseKeepFormat(cursor.TakeValueOf(option));
    parsed.formatGiven = true;
  } else if (option == "--bits") {
    parsed.options.bits = ParseWordLength(option, cursor.TakeValueOf(option));
  } else if (option == "--list") {
    parsed.list = true;
  } else if (option == "--meters") {
    parsed.options.metersPath = cursor.TakeValueOf(option);
  } else if (option == "--json") {
    parsed.json = true;
  } else if (option == "--help" || option == "-h") {
    parsed.help = true;
  } else {
    throw UserError("render: unknown option " + option);
  }
}

}  // namespace

RenderArguments ParseRenderArguments(const std::vector<std::string>& args) {
  RenderArguments parsed;
  const std::vector<std::string> files =
      ArgumentCursor::Operands(args, [&](const std::string& option, ArgumentCursor& cursor) {
        ParseOption(option, cursor, parsed);
      });
  if (parsed.help || parsed.list) return parsed;
  if (parsed.formatGiven && parsed.options.bits)
    throw UserError("render: --format and --bits both choose the word length; give one of them");
  if (files.size() != 2)
    throw UserError("render: expected an input and an output file, got " +
                       std::to_string(files.size()) + " file name(s)");
  parsed.options.inputPath = files[0];
  parsed.options.outputPath = files[1];
  return parsed;
}
