#pragma once

#include "dsp/kernels/TruePeakTable.h"

namespace truepeak {

// The 48-tap readings of consecutive windows sixteen at once, one per lane of AVX-512 vectors,
// each exactly as the eight-lane form (and the one-window form) reads it: peaks[t] for windows
// t = 0 .. done - 1 of line (window t is line[t .. t + 47]), where done is count rounded down to
// sixteen; the caller reads the rest. Call only where cpu::HasAvx512().
int SixteenWindowPeaks(const TruePeakTable& table, const float* line, int count, float* peaks, bool newestCounts);
// The same for the wide interpolator's 256-tap windows (window t is line[t .. t + 255]): peaks[t]
// is exactly its reading of window t with nothing to skip, no less than the samples either side of
// the interval, as the one-window form reads it with `a` = those and `floor` = 0.
int SixteenWidePeaks(const FoldedTaps<256>& taps, const float* line, int count, float* peaks);
// The same for windows whose first kWideKnown samples lie in one line and whose last ones are
// each their own look-ahead at their own gain: window t is known[t .. t + 151], then
// static_cast<float>(gains[t] * ahead[t + r]) for r = 0 .. 103.
constexpr int kWideKnown = 152;
int SixteenWidePeaks(const FoldedTaps<256>& taps, const float* known, const double* ahead, const double* gains,
                     int count, float* peaks);

}  // namespace truepeak
