#include "app/CommandLine.h"

#include <cstdio>
#include <exception>
#include <ostream>

#include "app/EditorCommand.h"
#include "app/GenerateCommand.h"
#include "app/MasterCommand.h"
#include "app/ParamsCommand.h"
#include "app/RenderCommand.h"
#include "app/audio/UserError.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int Dispatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    out << UsageText();
    return kExitOk;
  }
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (args[0] == "generate") return RunGenerateCommand(rest, out);
  if (args[0] == "render") return RunRenderCommand(rest, out, err);
  if (args[0] == "params") return RunParamsCommand(rest, out);
  if (args[0] == "editor") return RunEditorCommand(rest, out);
  if (args[0] == "master") return RunMasterCommand(rest, out, err);
  err << "zarn: unknown command \"" << args[0] << "\"\n" << UsageText();
  return kExitUsage;
}

}  // namespace

const char* UsageText() {
  return "usage: zarn generate KIND OUT [--rate R] [--seconds S] [--channels N]\n"
         "         Writes a 32-bit float WAV test signal (default 48000 Hz, 10 s, stereo).\n"
         "         KIND: demo (drums over chords, peak -2 dBFS), pink (pink noise, -18 dBFS RMS),\n"
         "               isp (quarter-rate tone, 0 dBFS samples, +3.01 dBTP true peak)\n"
         "       zarn render IN OUT [--set \"Name=value\"]... [--at SECONDS \"Name=value\"]... [--block N]\n"
         "                          [--json] [--meters F.jsonl] [--format same | --bits 16|24|float]\n"
         "                          [--plugin BUNDLE.vst3]\n"
         "         Runs IN (WAV, AIFF, FLAC, ...; mono or stereo) through the limiter into OUT,\n"
         "         aligned with IN. --set takes a parameter's name (any case) and a value in its\n"
         "         range, or one of its texts, e.g. --set \"Drive L=9\" --set \"Dither=16-bit\"\n"
         "         (zarn params lists them); --at moves one during the render, from the first\n"
         "         sample at or after SECONDS, with the block that holds it, as a host does;\n"
         "         --block is the host block size (1..65536, default 512). OUT's extension\n"
         "         picks WAV, FLAC or AIFF (.wav, .flac, .aiff, .aif); its samples are 32-bit\n"
         "         float (24-bit in FLAC), IN's word length with --format same, or --bits, whose\n"
         "         16 and 24 turn on the limiter's dither for them unless --set names Dither.\n"
         "         --json prints the report as JSON, with the last meter reading of every meter;\n"
         "         --meters writes one JSON line per 50 ms meter tick, for plotting. --list\n"
         "         prints the parameters, as zarn params does.\n"
         "         --plugin runs the plug-in module of a VST3 bundle as a host would, instead of\n"
         "         the built-in one (no gain reduction or meter readings then).\n"
         "       zarn editor IN [--set \"Name=value\"]... [--headless] [--seconds S]\n"
         "                  [--size WxH] [--scale F] [--screenshot FILE] [--screenshot-at S]\n"
         "                  [--render OUT] [--audio-device NAME | --no-audio]\n"
         "         Plays IN through the limiter in real time, looping, with the editor page open\n"
         "         in Chromium, to the ALSA device NAME (\"default\"), or silently in real time\n"
         "         when there is none; the page is WxH CSS pixels (1440x604) at F device pixels\n"
         "         each; --screenshot saves the page after S s of playback (3) and ends;\n"
         "         --render writes IN with the final settings on exit.\n"
         "       zarn master IN... --out DIR [--target LUFS] [--ceiling DBTP] [--album] [--rate HZ]\n"
         "                  [--bits 16|24|float] [--format wav|flac|aiff] [--set \"Name=value\"]...\n"
         "                  [--preset FILE [--slot A|B]] [--max-reduction DB] [--codecs LIST|none]\n"
         "                  [--codec-safe] [--jobs N] [--no-pdf] [--chromium PATH] [--quiet]\n"
         "         Masters each IN (or, with --album, all of them with one gain) to --target\n"
         "         (default -14 LUFS, ITU-R BS.1770-4) under --ceiling (default -1 dBTP) through\n"
         "         the limiter, finding the gain in front of it by itself, with at most\n"
         "         --max-reduction dB (default 8) of gain reduction. Writes DIR/<IN's name>.<format>\n"
         "         (default 24-bit WAV at IN's rate; 16 and 24 bits with the limiter's dither;\n"
         "         --rate converts first), DIR/report.json and DIR/report.html, and unless\n"
         "         --no-pdf DIR/report.pdf, printed by Chromium (Debian's, or --chromium PATH;\n"
         "         without one the PDF is left out with a warning). --preset takes a state the\n"
         "         plug-in saved, raw or in a .vstpreset: its slot A, or --slot B; --jobs masters\n"
         "         N tracks at once (default: the number of cores). Each master is encoded and\n"
         "         decoded with --codecs (default aac,mp3,opus) and its true peak read;\n"
         "         --codec-safe lowers the ceiling until none decodes above 0 dBTP.\n"
         "         Exit status 0: all passed, 1: all written but one missed its target or a\n"
         "         codec check or has a warning (an input cut short), 2: a track failed.\n"
         "       zarn params [--json]\n"
         "         Lists every parameter: name, range, unit, default and the texts of the\n"
         "         values of switches and enumerations.\n"
         "       zarn --help\n";
}

int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  try {
    return Dispatch(args, out, err);
  } catch (const UserError& error) {
    err << "zarn: " << error.what() << "\n";
    if (!error.Hint().empty()) err << "  " << error.Hint() << "\n";
    return kExitUsage;
  } catch (const std::exception& error) {
    err << "zarn: unexpected failure: " << error.what() << "\n";
    return kExitFailure;
  }
}
