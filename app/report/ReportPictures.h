#pragma once

#include <string>

#include "app/delivery/ReportSeries.h"

// The mastering report's pictures of one track as inline SVG: scalable, printable, nothing
// loaded from anywhere. Colours follow the report: the input muted, the master in ink blue.
namespace report_pictures {

// The waveform envelope of the input with the master's over it, the ceiling dashed.
std::string Waveform(const TrackSeries& series, double ceilingDbtp);
// The gain reduction over the track, hanging from 0 dB.
std::string GainReduction(const TrackSeries& series);
// The short-term loudness of input and master, the target dashed.
std::string ShortTermLoudness(const TrackSeries& series, double targetLufs);

}  // namespace report_pictures
