#pragma once

#include "dsp/WideInterpolator.h"
#include "dsp/kernels/GateKernels.h"

// Tells when the 48-tap reading of an interval may fall short of the wide one by enough to
// matter, so the wide interpolator (sixteen times the work) runs only there. The 48-tap reading
// is exact for content below about 0.45 of the sample rate; it may fall short by its passband
// ripple, by a few times the near-Nyquist envelope (which can add up coherently), and by a few
// spreads of what the far sidelobes add (which add up like noise).
class WideGate {
 public:
  static const WideGate& Shared();  // designed once, on first use (thread-safe)

  // `window`: the wide interpolator's 256 samples around the interval, whose 48-tap reading is
  // `shortPeak`; `guard`: the near-Nyquist envelope around it.
  bool MayExceed(float shortPeak, float guard, const float* window, float threshold) const;
  // A cheaper test that never says no where MayExceed says yes, in two steps: the spread of each
  // of `count` consecutive windows bounded from running sums of squares (prefix[k] = sum over
  // i < k of x[i]^2 plus any constant, k = 0 .. count + 255; window t starts at x[t]), four
  // windows a pass where the processor has AVX2; then the test of each window with its bound.
  void SpreadBounds(const double* prefix, int count, double* spread) const;
  bool MayExceedSpread(float shortPeak, float guard, double spread, float threshold) const;
  // That test for `count` windows at once (window t's reading, guard, spread and threshold), four
  // a pass where the processor has AVX2, each deciding exactly as the test alone: mayExceed[t].
  void MayExceedSpreads(const float* shortPeak, const float* guard, const double* spread, const float* threshold,
                        int count, bool* mayExceed) const;
  // The same, the window given in two parts: `known`, its first kKnown samples (the last of
  // which, `newest`, is read from the argument), and `ahead`, the kAhead after them, to be taken
  // times aheadGain.
  static constexpr int kKnown = gate::kKnown;
  static constexpr int kAhead = gate::kAhead;
  static_assert(kKnown == WideInterpolator::kCentre + 25 && gate::kWindow == WideInterpolator::kTaps);
  bool MayExceed(float shortPeak, float guard, const float* known, float newest, const float* ahead,
                 float aheadGain, float threshold) const;
  // A cheaper test that never says no where that one says yes: the spread bounded from running
  // sums of squares of the two parts (knownPrefix[k] over known[0 .. k - 1], k = 0 .. kKnown;
  // aheadPrefix[k] over ahead[0 .. k - 1], k = 0 .. kAhead; each plus any constant).
  bool MayExceedBound(float shortPeak, float guard, const double* knownPrefix, const double* aheadPrefix,
                      float aheadGain, float threshold) const;
  // The two weighted sums that bound takes of the prefixes, for `count` consecutive windows
  // (window t's prefix starts at prefix + t), four windows a pass where the processor has AVX2,
  // each exactly as the bound adds it; and the bound given them.
  void KnownSums(const double* knownPrefix, int count, double* sums) const;
  void AheadSums(const double* aheadPrefix, int count, double* sums) const;
  bool MayExceedBound(float shortPeak, float guard, const double* knownPrefix, const double* aheadPrefix,
                      double knownSum, double aheadSum, float aheadGain, float threshold) const;
  // That bound for `count` consecutive windows at once, four a pass where the processor has AVX2,
  // each deciding exactly as the bound given its sums: window t's reading, guard, look-ahead gain,
  // weighted sums and its prefixes' totals (knownPrefix[kKnown], aheadPrefix[kAhead]).
  using BoundRun = gate::BoundRun;
  void MayExceedBounds(const BoundRun& run, int count, float threshold, bool* mayExceed) const;

  // Where the 48 taps of the short reading start in the wide window.
  static constexpr int kShortOffset = WideInterpolator::kCentre - 23;

 private:
  WideGate();
  float TailSpread(const float* window) const;

  // Per wide tap, the square of the largest difference from the 48-tap interpolator's taps.
  alignas(32) float tapDifference_[WideInterpolator::kTaps] = {};
  // The largest of those over each region of kRegion taps, as weights of the running sums at the
  // regions' edges: sum_j weight[j] * prefix[j * kRegion] >= the summed squares.
  static constexpr int kRegion = gate::kStride;
  static constexpr int kRegions = WideInterpolator::kTaps / kRegion;
  double edgeWeight_[kRegions + 1] = {};
  // The same split at kKnown (a region edge) for the two-part window.
  static constexpr int kKnownEdges = gate::kKnownEdges, kAheadEdges = gate::kAheadEdges;
  double knownEdgeWeight_[kKnownEdges] = {};
  double aheadEdgeWeight_[kAheadEdges] = {};
};
