#include "app/MasterCommand.h"

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <ostream>

#include "app/CommandLine.h"
#include "app/MasterArguments.h"
#include "app/ProgressBar.h"
#include "app/delivery/Mastering.h"
#include "app/report/MasterReport.h"
#include "editor/NumberText.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitMissed = 1;
constexpr int kExitFailed = 2;

// "2/5 tracks, 9 renders, 0:42 left".
std::string ProgressDetail(const MasterProgress& progress,
                           std::chrono::steady_clock::time_point started) {
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  char text[96];
  const int written = std::snprintf(text, sizeof text, "%d/%d tracks, %d renders", progress.tracksDone,
                                    progress.tracks, progress.renders);
  if (progress.fraction > 0.0 && written > 0) {
    const int left = static_cast<int>(elapsed * (1.0 - progress.fraction) / progress.fraction);
    std::snprintf(text + written, sizeof text - static_cast<size_t>(written), ", %d:%02d left",
                  left / 60, left % 60);
  }
  return text;
}

// Numbers through Fixed, not printf: the command may run inside a program with a decimal-comma
// locale.
void PrintTrack(const TrackOutcome& track, std::ostream& out) {
  out << track.outputPath << ": " << Fixed(track.output.integratedLufs, 1) << " LUFS, "
      << Fixed(track.output.truePeakDbtp, 2) << " dBTP, gain " << (std::signbit(track.gainDb) ? "" : "+")
      << Fixed(track.gainDb, 2) << " dB, reduction max " << Fixed(track.reduction.maxDb, 1) << " dB"
      << (track.reachedTarget ? "" : ", target missed") << (track.CodecsClean() ? "" : ", a codec decodes an over")
      << "\n";
}

}  // namespace

int MasterExitStatus(const MasterRun& run) {
  int status = kExitOk;
  for (const TrackOutcome& track : run.tracks) {
    if (!track.Written()) return kExitFailed;
    if (!track.reachedTarget || !track.CodecsClean() || !track.warnings.empty()) status = kExitMissed;
  }
  return status;
}

int RunMasterCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const MasterOptions options = ParseMasterArguments(args);
  if (options.help) {
    out << UsageText();
    return kExitOk;
  }
  std::unique_ptr<ProgressBar> bar;
  // Drawn on standard error, and only while someone watches both: output piped or redirected
  // to a log gets no bar.
  if (!options.quiet && isatty(STDOUT_FILENO) != 0 && isatty(STDERR_FILENO) != 0)
    bar = std::make_unique<ProgressBar>(stderr);
  const auto started = std::chrono::steady_clock::now();
  const MasterRun run = MasterTracks(options, [&](const MasterProgress& progress) {
    if (bar) bar->Update(progress.fraction, ProgressDetail(progress, started));
  });
  bar.reset();
  WriteMasterReport(options, run);
  if (const auto noPdf = WriteReportPages(options, run))
    err << "zarn: warning: report.pdf not written: " << *noPdf << "; report.html has it all\n";
  for (const TrackOutcome& track : run.tracks) {
    if (!track.Written()) {
      err << "zarn: " << track.error << "\n";
      continue;
    }
    for (const std::string& warning : track.warnings) err << "zarn: warning: " << warning << "\n";
    if (!options.quiet) PrintTrack(track, out);
  }
  return MasterExitStatus(run);
}
