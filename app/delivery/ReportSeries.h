#pragma once

#include <vector>

#include "app/audio/AudioFile.h"
#include "app/render/ReferenceLoudness.h"

// What the mastering report draws of a track, boiled down while the audio is in memory to a fixed
// number of columns however long the track is, so that a whole album's pictures stay small.

inline constexpr int kSeriesColumns = 600;

// The lowest and highest sample of any channel in each column of equal length.
struct Envelope {
  std::vector<float> low, high;
};

struct LoudnessPoint {
  float seconds;  // where its 3 s window ends
  float lufs;
};

struct TrackSeries {
  double seconds = 0.0;  // the track's length
  Envelope input;        // at the delivery rate, before the gain
  Envelope output;
  std::vector<float> reductionDb;  // the most gain reduction in each column
  std::vector<LoudnessPoint> inputShortTerm, outputShortTerm;
};

Envelope EnvelopeOf(const AudioBuffer& audio, int columns = kSeriesColumns);

// The short-term loudness, every 100 ms or, for long tracks, averaged (as power) down to at most
// `columns` points.
std::vector<LoudnessPoint> ShortTermSeries(const bs1770::Analysis& analysis, double sampleRate,
                                           int columns = kSeriesColumns);
