#pragma once

#include <string>

#include "app/audio/AudioFile.h"
#include "app/delivery/CodecProof.h"
#include "app/delivery/MasterRender.h"
#include "app/delivery/ReportSeries.h"

// One track's way through `zarn master`: read and checked, converted to the delivery rate,
// rendered (as often as the loudness search asks), measured and written.

struct LoudnessFigures {
  double integratedLufs = -100.0;
  double loudnessRangeLu = 0.0;
  double maxMomentaryLufs = -100.0;
  double maxShortTermLufs = -100.0;
  double truePeakDbtp = -100.0;  // the plug-in's full-band true-peak reading
  double peakToLoudnessDb = 0.0;
};

struct PreparedTrack {
  AudioBuffer input;  // at the delivery rate
  double inputSampleRate = 0.0;
  LoudnessFigures inputFigures;  // of the file as it was, at its own rate
  std::vector<LoudnessPoint> inputShortTerm;  // the same
  std::vector<std::string> warnings;          // about the file, for the report and standard error
};

struct TrackOutcome {
  std::string inputPath;
  std::string outputPath;
  std::string error;  // why it was not written; empty when it was
  std::vector<std::string> warnings;  // what was wrong though it was mastered
  double sampleRate = 0.0;
  int channels = 0;
  int64_t frames = 0;
  LoudnessFigures input, output;
  double gainDb = 0.0;
  int renders = 0;
  ReductionStats reduction;
  bool reachedTarget = false;
  double targetMissLu = 0.0;  // output loudness minus the target
  double ceilingDbtp = 0.0;   // the ceiling the master was made with
  std::vector<CodecCheck> codecs;
  double codecSafeCostLu = 0.0;  // loudness given up by lowering the ceiling for the codecs
  TrackSeries series;            // for the report's pictures

  bool CodecsClean() const {
    for (const CodecCheck& check : codecs)
      if (!check.Clean()) return false;
    return true;
  }

  bool Written() const { return error.empty(); }
};

// Throws UserError naming the file: unreadable, not mono or stereo, or a rate outside
// 8..768 kHz. A file shorter than its header says is read as far as it goes, with a warning.
// `deliveryRate` 0 keeps the file's own rate.
// The input is measured on up to `jobs` threads.
PreparedTrack PrepareTrack(const std::string& path, double deliveryRate, int jobs = 1);

// `shortTerm`, when given, gets the short-term loudness over time as well. Each channel's true
// peak and the loudness are read side by side on up to `jobs` threads; the figures are the same
// whatever `jobs` is.
LoudnessFigures MeasureFigures(const AudioBuffer& audio,
                               std::vector<LoudnessPoint>* shortTerm = nullptr, int jobs = 1);

// The pictures' envelopes and gain reduction; the loudness curves come with the figures.
void CollectPictures(const PreparedTrack& track, const EngineRender& render, TrackSeries& series);
