#pragma once

// The arithmetic of the wide-reading gate (dsp/WideGate.h): sums of squares and the bounds taken
// from them, each in a plain form and, picked once through cpu::Dispatch, an AVX2 form that four
// windows a pass gives exactly the plain form's results.
namespace gate {

// The wide window, and the regions whose edges the running sums are read at.
inline constexpr int kWindow = 256;
inline constexpr int kStride = 8;
inline constexpr int kEdges = kWindow / kStride + 1;
// The window in two parts: the known samples, then the look-ahead taken at its own gain.
inline constexpr int kKnown = 152;
inline constexpr int kAhead = kWindow - kKnown;
inline constexpr int kKnownEdges = kKnown / kStride + 1;
inline constexpr int kAheadEdges = kAhead / kStride + 1;
static_assert(kKnown % kStride == 0 && kAhead % kStride == 0);

// A window may exceed a threshold where Near plus kTailSpreads spreads of its far sidelobes does:
// the 48-tap reading with its passband ripple, and a few times the near-Nyquist envelope.
inline constexpr float kShortTolerance = 1.01f;
inline constexpr float kGuardReach = 4.0f;
inline constexpr float kTailSpreads = 5.0f;
inline float Near(float shortPeak, float guard) { return shortPeak * kShortTolerance + kGuardReach * guard; }

// Sum over i < count (a multiple of 8) of weight[i] * x[i]^2.
float WeightedSquares(const float* weight, const float* x, int count);

// The bound of the spread of each of `count` consecutive windows, from the running sums of squares
// `prefix` (window t starts at prefix + t) weighted at the kEdges region edges.
void SpreadBounds(const double* weight, const double* prefix, int count, double* spread);

// Sum over the edges of weight[j] * prefix[j * kStride], for the known part and for the look-ahead
// part; and the same for `count` consecutive windows.
double KnownEdgeSum(const double* weight, const double* prefix);
double AheadEdgeSum(const double* weight, const double* prefix);
void KnownEdgeSums(const double* weight, const double* prefix, int count, double* sums);
void AheadEdgeSums(const double* weight, const double* prefix, int count, double* sums);

// The two-part bound given its sums and the prefixes' totals.
bool BoundMayExceed(float shortPeak, float guard, double knownTotal, double aheadTotal, double known,
                    double ahead, float aheadGain, float threshold);
// That bound for `count` windows at once: window t's reading, guard, look-ahead gain, weighted sums
// and its prefixes' totals.
struct BoundRun {
  const float* shortPeak;
  const float* guard;
  const float* aheadGain;
  const double* knownSum;
  const double* aheadSum;
  const double* knownTotal;
  const double* aheadTotal;
};
void BoundsMayExceed(const BoundRun& run, int count, float threshold, bool* mayExceed);

// The test of one window with its spread bound, and of `count` windows at once.
bool SpreadMayExceed(float shortPeak, float guard, double spread, float threshold);
void SpreadsMayExceed(const float* shortPeak, const float* guard, const double* spread, const float* threshold,
                      int count, bool* mayExceed);

}  // namespace gate
