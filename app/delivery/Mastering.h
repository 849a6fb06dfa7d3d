#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/delivery/MasterOptions.h"
#include "app/delivery/MasterSettings.h"
#include "app/delivery/MasterTrack.h"

// Mastering: takes tracks, one by one or as an album, to a loudness target under a true-peak
// ceiling through the plug-in's engine, and writes the masters into one folder.

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
  PresetSummary preset;              // with --preset
};

struct MasterProgress {
  double fraction = 0.0;  // of the whole job, estimated
  int tracksDone = 0;
  int tracks = 0;
  int renders = 0;        // renders of single tracks so far
};

// Masters every input it can; a track that cannot be mastered gets its reason in `error` and
// leaves nothing behind. Throws UserError only for what stops every track: a bad preset or
// setting, an output folder that cannot be made. `onProgress` (may be empty) is called after
// every render and finished track, from any thread but never two at once.
MasterRun MasterTracks(const MasterOptions& options,
                       const std::function<void(const MasterProgress&)>& onProgress = {});
