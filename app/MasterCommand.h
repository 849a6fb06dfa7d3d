#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "app/MasterArguments.h"
#include "app/MasterTrack.h"

// `zarn master`: takes tracks, one by one or as an album, to a loudness target under a true-peak
// ceiling through the plug-in's engine, writes them into one folder with report.json beside them.

struct AlbumOutcome {
  double gainDb = 0.0;
  double integratedLufs = -100.0;
  int renders = 0;           // renders of the whole album
  bool reachedTarget = false;
  double ceilingDbtp = 0.0;
  double codecSafeCostLu = 0.0;
};

struct MasterRun {
  std::vector<TrackOutcome> tracks;  // in the order of the inputs
  AlbumOutcome album;                // with --album
};

struct MasterProgress {
  double fraction = 0.0;  // of the whole job, estimated
  int tracksDone = 0;
  int tracks = 0;
  int renders = 0;        // renders of single tracks so far
};

// Masters every input it can; a track that cannot be mastered gets its reason in `error` and
// leaves nothing behind. Throws CommandError only for what stops every track: a bad preset or
// setting, an output folder that cannot be made. `onProgress` (may be empty) is called after
// every render and finished track, from any thread but never two at once.
MasterRun MasterTracks(const MasterOptions& options,
                       const std::function<void(const MasterProgress&)>& onProgress = {});

// 0 when every track was written, reached its target and decodes without an over from every
// codec checked; 1 when all were written but one missed either; 2 when any failed.
int MasterExitStatus(const MasterRun& run);

// `args` are the words after "master". Prints one line per track to `out` (none with --quiet)
// and each failure to `err`; returns MasterExitStatus.
int RunMasterCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
