#pragma once

#include "dsp/TruePeakTable.h"

namespace truepeak {

// The 48-tap readings of consecutive windows sixteen at once, one per lane of AVX-512 vectors,
// each exactly as the eight-lane form (and the one-window form) reads it: peaks[t] for windows
// t = 0 .. done - 1 of line (window t is line[t .. t + 47]), where done is count rounded down to
// sixteen; the caller reads the rest. Call only where cpu::HasAvx512().
int SixteenWindowPeaks(const TruePeakTable& table, const float* line, int count, float* peaks, bool newestCounts);

}  // namespace truepeak
