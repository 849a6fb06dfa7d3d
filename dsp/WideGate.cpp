#include "dsp/WideGate.h"

#include <algorithm>
#include <cmath>

#include "dsp/kernels/TruePeakTable.h"

using gate::kTailSpreads;
using gate::Near;

WideGate::WideGate() {
  const WideInterpolator& wide = WideInterpolator::Shared();
  const TruePeakTable& fullBand = TruePeakTable::DefaultCatcher();
  // Short tap m weighs the sample m before the newest of its 48, which sits at kShortOffset + 47.
  for (int i = 0; i < WideInterpolator::kTaps; ++i) {
    const int m = kShortOffset + TruePeakTable::kTaps - 1 - i;
    float largest = 0.0f;
    for (int k = 0; k < TruePeakTable::kPhases; ++k) {
      const float shortTap = m >= 0 && m < TruePeakTable::kTaps ? fullBand.Coefficient(k, m) : 0.0f;
      largest = std::max(largest, std::fabs(wide.Coefficient(k, i) - shortTap));
    }
    tapDifference_[i] = largest * largest;
  }
  // Region r adds (its largest square) * (prefix[8r + 8] - prefix[8r]).
  for (int r = 0; r < kRegions; ++r) {
    const double largest = *std::max_element(tapDifference_ + r * kRegion, tapDifference_ + (r + 1) * kRegion);
    edgeWeight_[r] -= largest;
    edgeWeight_[r + 1] += largest;
    // The two parts' edges: the known part's last edge is the split.
    const int known = kKnown / kRegion;
    double* part = r < known ? knownEdgeWeight_ + r : aheadEdgeWeight_ + (r - known);
    part[0] -= largest;
    part[1] += largest;
  }
}

const WideGate& WideGate::Shared() {
  static const WideGate gate;
  return gate;
}

// The root of the summed squares of each sample times its largest tap difference.
float WideGate::TailSpread(const float* window) const {
  return std::sqrt(gate::WeightedSquares(tapDifference_, window, WideInterpolator::kTaps));
}

bool WideGate::MayExceed(float shortPeak, float guard, const float* window, float threshold) const {
  const float near = Near(shortPeak, guard);
  // The spread only adds: where the rest already passes, it need not be summed.
  return near > threshold || near + kTailSpreads * TailSpread(window) > threshold;
}

void WideGate::SpreadBounds(const double* prefix, int count, double* spread) const {
  gate::SpreadBounds(edgeWeight_, prefix, count, spread);
}

void WideGate::KnownSums(const double* knownPrefix, int count, double* sums) const {
  gate::KnownEdgeSums(knownEdgeWeight_, knownPrefix, count, sums);
}

void WideGate::AheadSums(const double* aheadPrefix, int count, double* sums) const {
  gate::AheadEdgeSums(aheadEdgeWeight_, aheadPrefix, count, sums);
}

bool WideGate::MayExceedBound(float shortPeak, float guard, const double* knownPrefix,
                              const double* aheadPrefix, float aheadGain, float threshold) const {
  const float near = Near(shortPeak, guard);
  if (near > threshold) return true;
  return MayExceedBound(shortPeak, guard, knownPrefix, aheadPrefix, gate::KnownEdgeSum(knownEdgeWeight_, knownPrefix),
                        gate::AheadEdgeSum(aheadEdgeWeight_, aheadPrefix), aheadGain, threshold);
}

bool WideGate::MayExceedBound(float shortPeak, float guard, const double* knownPrefix,
                              const double* aheadPrefix, double known, double ahead, float aheadGain,
                              float threshold) const {
  return gate::BoundMayExceed(shortPeak, guard, knownPrefix[kKnown], aheadPrefix[kAhead], known, ahead, aheadGain,
                        threshold);
}

void WideGate::MayExceedBounds(const BoundRun& run, int count, float threshold, bool* mayExceed) const {
  gate::BoundsMayExceed(run, count, threshold, mayExceed);
}

bool WideGate::MayExceedSpread(float shortPeak, float guard, double spread, float threshold) const {
  return gate::SpreadMayExceed(shortPeak, guard, spread, threshold);
}

void WideGate::MayExceedSpreads(const float* shortPeak, const float* guard, const double* spread,
                                const float* threshold, int count, bool* mayExceed) const {
  gate::SpreadsMayExceed(shortPeak, guard, spread, threshold, count, mayExceed);
}

bool WideGate::MayExceed(float shortPeak, float guard, const float* known, float newest,
                         const float* ahead, float aheadGain, float threshold) const {
  const float near = Near(shortPeak, guard);
  if (near > threshold) return true;
  // The last eight known samples one by one, the newest from the register: a vector load of
  // a sample stored a moment ago would wait for the store.
  constexpr int kVector = kKnown - 8;
  float last = tapDifference_[kKnown - 1] * newest * newest;
  for (int i = kVector; i < kKnown - 1; ++i) last += tapDifference_[i] * known[i] * known[i];
  const float squares = gate::WeightedSquares(tapDifference_, known, kVector) + last +
                        aheadGain * aheadGain * gate::WeightedSquares(tapDifference_ + kKnown, ahead, kAhead);
  return near + kTailSpreads * std::sqrt(squares) > threshold;
}
