#pragma once

#include <vector>

#include "dsp/kernels/TruePeakTable.h"

namespace truepeak {

// y[k] = sum over m of table[k][m] * window[47 - m], for k = 0..15: the 16 points interpolated
// between the samples of a 48-sample window given oldest first. Dispatches once to the best
// instruction set the processor has (AVX2+FMA, else the x86-64 baseline), through the folded
// table (TruePeakTable::folded); results agree with the plain form
// to within single-precision rounding.
void InterpolatePhases(const TruePeakTable& table, const float* window, float* y);

// The plain, literal form, kept as the reference for the vector ones.
void InterpolatePhasesScalar(const TruePeakTable& table, const float* window, float* y);

using InterpolateFn = void (*)(const TruePeakTable&, const float*, float*);
struct KernelVariant {
  const char* name;
  InterpolateFn fn;
};
// Every form this processor can run, the one InterpolatePhases uses first, the scalar one last.
const std::vector<KernelVariant>& AvailableKernels();

// Largest of a and |y[k]|, refined by a parabola through every local maximum of |y| among the
// inner phases 1..14.
float PeakOfPhases(const float* y, float a);
float PeakOfPhasesScalar(const float* y, float a);  // the literal form, for reference

// PeakOfPhases of InterpolatePhases, without the points leaving the registers.
float InterpolatedPeak(const TruePeakTable& table, const float* window, float a);
// The same with the window's newest sample given apart (older: the 47 before it, oldest first),
// for a window whose newest sample was stored a moment ago.
float InterpolatedPeak(const TruePeakTable& table, const float* older, float newest, float a);
// The 16 points of a 256-sample window through a folded filter (the wide interpolator's), stored
// to y, and PeakOfPhases(y, a) of them, searched while they are still in registers. Where that
// peak cannot exceed `floor` (the refinement adds at most an eighth to a point), the search is
// left out and the result is only no greater than floor: max(a, the largest |y|).
float InterpolatedPeak(const FoldedTaps<256>& taps, const float* window, float a, float floor, float* y);
// Every form of that reading this processor can run, the one it uses first: the vector forms add
// in one order and agree to the bit, the baseline adds in its own.
template <typename Fn>
struct Form {
  const char* name;
  Fn fn;
};
using WidePeakFn = float (*)(const FoldedTaps<256>&, const float*, float, float, float*);
const std::vector<Form<WidePeakFn>>& AvailableWidePeakForms();
// The peaks of `count` consecutive windows of a line of count + 47 samples: peaks[t] is
// InterpolatedPeak(table, line + t, |line[t + 47]|), exactly; eight windows a pass where the
// processor has AVX2, sixteen where it has AVX-512.
void InterpolatedPeaks(const TruePeakTable& table, const float* line, int count, float* peaks);
// The same without the newest sample itself: InterpolatedPeak(table, line + t, 0).
void InterpolatedPointPeaks(const TruePeakTable& table, const float* line, int count, float* peaks);
// Every form of those two this processor can run (the last argument: whether the newest sample
// counts), the one they use first: the vector forms read exactly as the one-window form, the
// baseline adds in its own order.
using PeaksFn = void (*)(const TruePeakTable&, const float*, int, float*, bool);
const std::vector<Form<PeaksFn>>& AvailablePeaksForms();

}  // namespace truepeak
