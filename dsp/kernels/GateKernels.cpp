#include "dsp/kernels/GateKernels.h"

#include <algorithm>
#include <cmath>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "dsp/kernels/CpuDispatch.h"

namespace gate {

namespace {

// Sum over i < count (a multiple of 8) of weight[i] * x[i]^2, in eight independent sums so the
// additions do not wait on each other.
float WeightedSquaresPlain(const float* weight, const float* x, int count) {
  float acc[8] = {};
  for (int i = 0; i < count; i += 8)
    for (int k = 0; k < 8; ++k) acc[k] += weight[i + k] * x[i + k] * x[i + k];
  return ((acc[0] + acc[1]) + (acc[2] + acc[3])) + ((acc[4] + acc[5]) + (acc[6] + acc[7]));
}

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx2,fma"))) float WeightedSquaresAvx2(const float* weight, const float* x, int count) {
  __m256 even = _mm256_setzero_ps(), odd = _mm256_setzero_ps();
  int i = 0;
  for (; i + 16 <= count; i += 16) {
    const __m256 a = _mm256_loadu_ps(x + i), b = _mm256_loadu_ps(x + i + 8);
    even = _mm256_fmadd_ps(_mm256_mul_ps(_mm256_loadu_ps(weight + i), a), a, even);
    odd = _mm256_fmadd_ps(_mm256_mul_ps(_mm256_loadu_ps(weight + i + 8), b), b, odd);
  }
  if (i < count) {
    const __m256 a = _mm256_loadu_ps(x + i);
    even = _mm256_fmadd_ps(_mm256_mul_ps(_mm256_loadu_ps(weight + i), a), a, even);
  }
  alignas(32) float lanes[8];
  _mm256_store_ps(lanes, _mm256_add_ps(even, odd));
  return ((lanes[0] + lanes[1]) + (lanes[2] + lanes[3])) + ((lanes[4] + lanes[5]) + (lanes[6] + lanes[7]));
}
#else
float WeightedSquaresAvx2(const float* weight, const float* x, int count) {
  return WeightedSquaresPlain(weight, x, count);
}
#endif

using SquaresFn = float (*)(const float*, const float*, int);
using Squares = cpu::Dispatch<SquaresFn, WeightedSquaresAvx2, WeightedSquaresPlain>;

// The bound of the spread of the window starting at each of `count` samples, from the running
// sums of squares at the regions' edges. Margins for the rounding of the float sum it stands for,
// and of the running sums.
double BoundedSquares(double squares, double total) {
  return std::max(0.0, squares) * (1.0 + 1e-4) + 1e-12 * std::fabs(total);
}
double SpreadOf(double squares, double total) { return std::sqrt(BoundedSquares(squares, total)); }

void SpreadBoundsPlain(const double* weight, const double* prefix, int count, double* spread) {
  for (int i = 0; i < count; ++i) {
    double squares = 0.0;
    for (int j = 0; j < kEdges; ++j) squares += weight[j] * prefix[i + j * kStride];
    spread[i] = SpreadOf(squares, prefix[i + kWindow]);
  }
}

#if defined(__x86_64__) || defined(__i386__)
// Four windows a vector, one per lane, each summed in the plain form's order with separate
// multiplies and adds (no FMA in this function's instruction set, so none are fused): every lane
// gives exactly the plain form's bound. Each sum is a chain of 33 dependent additions, so kSide
// vectors go side by side.
template <int kSide>
__attribute__((target("avx2"))) inline void SpreadVectors(const double* weight, const double* prefix,
                                                          double* spread) {
  __m256d squares[kSide];
  for (int v = 0; v < kSide; ++v) squares[v] = _mm256_setzero_pd();
  for (int j = 0; j < kEdges; ++j) {
    const __m256d w = _mm256_set1_pd(weight[j]);
    for (int v = 0; v < kSide; ++v)
      squares[v] = _mm256_add_pd(squares[v], _mm256_mul_pd(w, _mm256_loadu_pd(prefix + 4 * v + j * kStride)));
  }
  for (int v = 0; v < kSide; ++v) {
    const __m256d total = _mm256_andnot_pd(_mm256_set1_pd(-0.0), _mm256_loadu_pd(prefix + 4 * v + kWindow));
    const __m256d inside = _mm256_add_pd(
        _mm256_mul_pd(_mm256_max_pd(squares[v], _mm256_setzero_pd()), _mm256_set1_pd(1.0 + 1e-4)),
        _mm256_mul_pd(_mm256_set1_pd(1e-12), total));
    _mm256_storeu_pd(spread + 4 * v, _mm256_sqrt_pd(inside));
  }
}

__attribute__((target("avx2"))) void SpreadBoundsAvx2(const double* weight, const double* prefix,
                                                           int count, double* spread) {
  int i = 0;
  for (; i + 16 <= count; i += 16) SpreadVectors<4>(weight, prefix + i, spread + i);
  for (; i + 4 <= count; i += 4) SpreadVectors<1>(weight, prefix + i, spread + i);
  SpreadBoundsPlain(weight, prefix + i, count - i, spread + i);
}
#else
void SpreadBoundsAvx2(const double* weight, const double* prefix, int count, double* spread) {
  SpreadBoundsPlain(weight, prefix, count, spread);
}
#endif

// sum over j of weight[j] * prefix[j * kStride], in four independent sums so the additions do not
// wait on each other (a bound's margins cover the order).
template <int kCount>
double EdgeSum(const double* weight, const double* prefix) {
  double a = 0.0, b = 0.0, c = 0.0, d = 0.0;
  int j = 0;
  for (; j + 4 <= kCount; j += 4) {
    a += weight[j] * prefix[j * kStride];
    b += weight[j + 1] * prefix[(j + 1) * kStride];
    c += weight[j + 2] * prefix[(j + 2) * kStride];
    d += weight[j + 3] * prefix[(j + 3) * kStride];
  }
  for (; j < kCount; ++j) a += weight[j] * prefix[j * kStride];
  return (a + b) + (c + d);
}

template <int kCount>
void EdgeSumsPlain(const double* weight, const double* prefix, int count, double* sums) {
  for (int t = 0; t < count; ++t) sums[t] = EdgeSum<kCount>(weight, prefix + t);
}

#if defined(__x86_64__) || defined(__i386__)
// Four windows a pass, one per lane, with EdgeSum's four sums and separate multiplies and adds
// (no FMA in this function's instruction set): every lane gives exactly EdgeSum's result.
__attribute__((target("avx2"))) inline __m256d EdgeTerms(const double* weight, const double* prefix, int j) {
  return _mm256_mul_pd(_mm256_set1_pd(weight[j]), _mm256_loadu_pd(prefix + j * kStride));
}

template <int kCount>
__attribute__((target("avx2"))) void EdgeSumsAvx2(const double* weight, const double* prefix, int count,
                                                  double* sums) {
  int t = 0;
  for (; t + 4 <= count; t += 4) {
    __m256d a = _mm256_setzero_pd(), b = a, c = a, d = a;
    int j = 0;
    for (; j + 4 <= kCount; j += 4) {
      a = _mm256_add_pd(a, EdgeTerms(weight, prefix + t, j));
      b = _mm256_add_pd(b, EdgeTerms(weight, prefix + t, j + 1));
      c = _mm256_add_pd(c, EdgeTerms(weight, prefix + t, j + 2));
      d = _mm256_add_pd(d, EdgeTerms(weight, prefix + t, j + 3));
    }
    for (; j < kCount; ++j) a = _mm256_add_pd(a, EdgeTerms(weight, prefix + t, j));
    _mm256_storeu_pd(sums + t, _mm256_add_pd(_mm256_add_pd(a, b), _mm256_add_pd(c, d)));
  }
  EdgeSumsPlain<kCount>(weight, prefix + t, count - t, sums + t);
}
#else
template <int kCount>
void EdgeSumsAvx2(const double* weight, const double* prefix, int count, double* sums) {
  EdgeSumsPlain<kCount>(weight, prefix, count, sums);
}
#endif

using SpreadsFn = void (*)(const double*, const double*, int, double*);
using Spreads = cpu::Dispatch<SpreadsFn, SpreadBoundsAvx2, SpreadBoundsPlain>;
using KnownSumsDispatch = cpu::Dispatch<SpreadsFn, EdgeSumsAvx2<kKnownEdges>,
                                        EdgeSumsPlain<kKnownEdges>>;
using AheadSumsDispatch = cpu::Dispatch<SpreadsFn, EdgeSumsAvx2<kAheadEdges>,
                                        EdgeSumsPlain<kAheadEdges>>;


}  // namespace

// The two-part bound given its sums and the prefixes' totals: near + 5 spreads > threshold,
// squared on both sides (no square root to wait for).
bool BoundMayExceed(float shortPeak, float guard, double knownTotal, double aheadTotal, double known,
                    double ahead, float aheadGain, float threshold) {
  const float near = Near(shortPeak, guard);
  if (near > threshold) return true;
  const double gain2 = static_cast<double>(aheadGain) * aheadGain;
  const double total = std::fabs(knownTotal) + gain2 * std::fabs(aheadTotal);
  const double room = static_cast<double>(threshold) * (1.0 - 1e-6) - static_cast<double>(near);
  const double squares = BoundedSquares(std::max(0.0, known) + gain2 * std::max(0.0, ahead), total);
  return room < 0.0 || kTailSpreads * kTailSpreads * squares > room * room;
}

namespace {

void BoundsPlain(const BoundRun& r, int count, float threshold, bool* mayExceed) {
  for (int t = 0; t < count; ++t)
    mayExceed[t] = BoundMayExceed(r.shortPeak[t], r.guard[t], r.knownTotal[t], r.aheadTotal[t], r.knownSum[t],
                                  r.aheadSum[t], r.aheadGain[t], threshold);
}

#if defined(__x86_64__) || defined(__i386__)
// Near for four windows, as Near rounds it.
__attribute__((target("avx2"))) inline __m128 NearOfFour(const float* shortPeak, const float* guard) {
  return _mm_add_ps(_mm_mul_ps(_mm_loadu_ps(shortPeak), _mm_set1_ps(kShortTolerance)),
                    _mm_mul_ps(_mm_set1_ps(kGuardReach), _mm_loadu_ps(guard)));
}

// Four windows a pass, one per lane, each step of BoundMayExceed in its order with separate
// multiplies and adds (no FMA in this function's instruction set): every lane decides exactly as
// the plain form.
__attribute__((target("avx2"))) void BoundsAvx2(const BoundRun& r, int count, float threshold,
                                                bool* mayExceed) {
  const __m256d zero = _mm256_setzero_pd(), magnitude = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7fffffffffffffff));
  const __m256d room0 = _mm256_set1_pd(static_cast<double>(threshold) * (1.0 - 1e-6));
  int t = 0;
  for (; t + 4 <= count; t += 4) {
    const __m128 near = NearOfFour(r.shortPeak + t, r.guard + t);
    const __m256d gain = _mm256_cvtps_pd(_mm_loadu_ps(r.aheadGain + t));
    const __m256d gain2 = _mm256_mul_pd(gain, gain);
    const __m256d total = _mm256_add_pd(_mm256_and_pd(magnitude, _mm256_loadu_pd(r.knownTotal + t)),
                                        _mm256_mul_pd(gain2, _mm256_and_pd(magnitude, _mm256_loadu_pd(r.aheadTotal + t))));
    const __m256d room = _mm256_sub_pd(room0, _mm256_cvtps_pd(near));
    const __m256d sum = _mm256_add_pd(_mm256_max_pd(_mm256_loadu_pd(r.knownSum + t), zero),
                                      _mm256_mul_pd(gain2, _mm256_max_pd(_mm256_loadu_pd(r.aheadSum + t), zero)));
    const __m256d squares = _mm256_add_pd(_mm256_mul_pd(_mm256_max_pd(sum, zero), _mm256_set1_pd(1.0 + 1e-4)),
                                          _mm256_mul_pd(_mm256_set1_pd(1e-12), total));
    const __m256d spreads = _mm256_mul_pd(_mm256_set1_pd(kTailSpreads * kTailSpreads), squares);
    const __m256d far = _mm256_or_pd(_mm256_cmp_pd(room, zero, _CMP_LT_OQ),
                                     _mm256_cmp_pd(spreads, _mm256_mul_pd(room, room), _CMP_GT_OQ));
    const int lanes = _mm_movemask_ps(_mm_cmpgt_ps(near, _mm_set1_ps(threshold))) | _mm256_movemask_pd(far);
    for (int k = 0; k < 4; ++k) mayExceed[t + k] = (lanes >> k) & 1;
  }
  const BoundRun rest{r.shortPeak + t, r.guard + t, r.aheadGain + t, r.knownSum + t,
                                r.aheadSum + t, r.knownTotal + t, r.aheadTotal + t};
  BoundsPlain(rest, count - t, threshold, mayExceed + t);
}
#else
void BoundsAvx2(const BoundRun& r, int count, float threshold, bool* mayExceed) {
  BoundsPlain(r, count, threshold, mayExceed);
}
#endif

}  // namespace

bool SpreadMayExceed(float shortPeak, float guard, double spread, float threshold) {
  const float near = Near(shortPeak, guard);
  if (near > threshold) return true;
  return static_cast<double>(near) + kTailSpreads * spread > static_cast<double>(threshold) * (1.0 - 1e-6);
}

namespace {

void SpreadTestsPlain(const float* shortPeak, const float* guard, const double* spread, const float* threshold,
                      int count, bool* mayExceed) {
  for (int t = 0; t < count; ++t) mayExceed[t] = SpreadMayExceed(shortPeak[t], guard[t], spread[t], threshold[t]);
}

#if defined(__x86_64__) || defined(__i386__)
// Four windows a pass, each step of SpreadMayExceed in its order, no FMA: exactly its decisions.
__attribute__((target("avx2"))) void SpreadTestsAvx2(const float* shortPeak, const float* guard,
                                                     const double* spread, const float* threshold, int count,
                                                     bool* mayExceed) {
  int t = 0;
  for (; t + 4 <= count; t += 4) {
    const __m128 near = NearOfFour(shortPeak + t, guard + t);
    const __m128 limit = _mm_loadu_ps(threshold + t);
    const __m256d reach = _mm256_add_pd(_mm256_cvtps_pd(near),
                                        _mm256_mul_pd(_mm256_set1_pd(kTailSpreads), _mm256_loadu_pd(spread + t)));
    const __m256d room = _mm256_mul_pd(_mm256_cvtps_pd(limit), _mm256_set1_pd(1.0 - 1e-6));
    const int lanes = _mm_movemask_ps(_mm_cmpgt_ps(near, limit)) |
                      _mm256_movemask_pd(_mm256_cmp_pd(reach, room, _CMP_GT_OQ));
    for (int k = 0; k < 4; ++k) mayExceed[t + k] = (lanes >> k) & 1;
  }
  SpreadTestsPlain(shortPeak + t, guard + t, spread + t, threshold + t, count - t, mayExceed + t);
}
#else
void SpreadTestsAvx2(const float* shortPeak, const float* guard, const double* spread, const float* threshold,
                     int count, bool* mayExceed) {
  SpreadTestsPlain(shortPeak, guard, spread, threshold, count, mayExceed);
}
#endif

using SpreadTestsFn = void (*)(const float*, const float*, const double*, const float*, int, bool*);
using SpreadTestsDispatch = cpu::Dispatch<SpreadTestsFn, SpreadTestsAvx2, SpreadTestsPlain>;

using BoundsFn = void (*)(const BoundRun&, int, float, bool*);
using BoundsDispatch = cpu::Dispatch<BoundsFn, BoundsAvx2, BoundsPlain>;

}  // namespace

float WeightedSquares(const float* weight, const float* x, int count) { return Squares::Call(weight, x, count); }

void SpreadBounds(const double* weight, const double* prefix, int count, double* spread) {
  Spreads::Call(weight, prefix, count, spread);
}

double KnownEdgeSum(const double* weight, const double* prefix) { return EdgeSum<kKnownEdges>(weight, prefix); }
double AheadEdgeSum(const double* weight, const double* prefix) { return EdgeSum<kAheadEdges>(weight, prefix); }

void KnownEdgeSums(const double* weight, const double* prefix, int count, double* sums) {
  KnownSumsDispatch::Call(weight, prefix, count, sums);
}

void AheadEdgeSums(const double* weight, const double* prefix, int count, double* sums) {
  AheadSumsDispatch::Call(weight, prefix, count, sums);
}

void BoundsMayExceed(const BoundRun& run, int count, float threshold, bool* mayExceed) {
  BoundsDispatch::Call(run, count, threshold, mayExceed);
}

void SpreadsMayExceed(const float* shortPeak, const float* guard, const double* spread, const float* threshold,
                      int count, bool* mayExceed) {
  SpreadTestsDispatch::Call(shortPeak, guard, spread, threshold, count, mayExceed);
}

}  // namespace gate
