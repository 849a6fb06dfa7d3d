#include "dsp/kernels/TruePeakKernel.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "dsp/kernels/CpuDispatch.h"
#include "dsp/kernels/FoldedAvx2.h"
#include "dsp/kernels/FoldedAvx512.h"
#include "dsp/kernels/SixteenWindows.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ZARN_X86 1
#endif

namespace truepeak {

float PeakOfPhasesScalar(const float* y, float a);

namespace {

constexpr int kPhases = TruePeakTable::kPhases;
constexpr int kTaps = TruePeakTable::kTaps;
// A parabola through a local maximum c and its neighbours (both between 0 and c) peaks at most
// c / 8 above c, its offset being at most half a phase; a little more for the rounding.
constexpr float kRefinementReach = 1.126f;
static_assert(kPhases == 16);

void FoldedBest(const TruePeakTable& table, const float* window, float* y) {
  folded::Interpolate(table.folded, window, y);
}
void FoldedBaseline(const TruePeakTable& table, const float* window, float* y) {
  folded::InterpolateBaseline(table.folded, window, y);
}

// Parabola through a local maximum c of |y| and its neighbours l and r.
float RefineLocalMaximum(float l, float c, float r, float a) {
  const float curvature = l - 2.0f * c + r;
  if (curvature >= -1e-12f) return a;
  const float delta = std::clamp((l - r) * 0.5f / curvature, -0.5f, 0.5f);
  return std::max(a, c - delta * (l - r) * 0.25f);
}

#if ZARN_X86
// The largest of a, the magnitudes and the parabolic refinement of every local maximum among the
// inner phases, with the same arithmetic as the plain form, all in registers: lo holds phases
// 0..7, hi phases 8..15. Neighbours come from lane rotations; infinite guards beyond the ends
// keep the end phases from counting as maxima.
__attribute__((target("avx2,fma"))) inline __m256 Curvature(__m256 l, __m256 c, __m256 r) {
  return _mm256_add_ps(_mm256_sub_ps(l, _mm256_mul_ps(_mm256_set1_ps(2.0f), c)), r);
}

// The lanes (all bits set) where c is a local maximum with a curvature: those Refined refines.
__attribute__((target("avx2,fma"))) inline __m256 RefinesAt(__m256 l, __m256 c, __m256 r, __m256 curvature) {
  return _mm256_and_ps(_mm256_and_ps(_mm256_cmp_ps(c, l, _CMP_GE_OQ), _mm256_cmp_ps(c, r, _CMP_GE_OQ)),
                       _mm256_cmp_ps(curvature, _mm256_set1_ps(-1e-12f), _CMP_LT_OQ));
}
__attribute__((target("avx2,fma"))) inline __m256 RefinesAt(__m256 l, __m256 c, __m256 r) {
  return RefinesAt(l, c, r, Curvature(l, c, r));
}

__attribute__((target("avx2,fma"))) inline __m256 Refined(__m256 l, __m256 c, __m256 r) {
  const __m256 half = _mm256_set1_ps(0.5f);
  const __m256 curvature = Curvature(l, c, r);
  const __m256 refine = RefinesAt(l, c, r, curvature);
  const __m256 slope = _mm256_sub_ps(l, r);
  const __m256 delta = _mm256_min_ps(
      _mm256_max_ps(_mm256_div_ps(_mm256_mul_ps(slope, half), curvature), _mm256_set1_ps(-0.5f)), half);
  const __m256 top = _mm256_sub_ps(c, _mm256_mul_ps(_mm256_mul_ps(delta, slope), _mm256_set1_ps(0.25f)));
  return _mm256_and_ps(refine, top);
}

__attribute__((target("avx2,fma"))) inline float PeakOfVectors(__m256 yLo, __m256 yHi, float a) {
  const __m256 signMask = _mm256_set1_ps(-0.0f);
  const __m256 lo = _mm256_andnot_ps(signMask, yLo), hi = _mm256_andnot_ps(signMask, yHi);
  const __m256 guard = _mm256_set1_ps(std::numeric_limits<float>::infinity());
  const __m256i back = _mm256_set_epi32(6, 5, 4, 3, 2, 1, 0, 7);   // [v7, v0 .. v6]
  const __m256i ahead = _mm256_set_epi32(0, 7, 6, 5, 4, 3, 2, 1);  // [v1 .. v7, v0]
  const __m256 loBack = _mm256_permutevar8x32_ps(lo, back), hiBack = _mm256_permutevar8x32_ps(hi, back);
  const __m256 loAhead = _mm256_permutevar8x32_ps(lo, ahead), hiAhead = _mm256_permutevar8x32_ps(hi, ahead);
  const __m256 left[2] = {_mm256_blend_ps(loBack, guard, 0x01), _mm256_blend_ps(hiBack, loBack, 0x01)};
  const __m256 right[2] = {_mm256_blend_ps(loAhead, hiAhead, 0x80), _mm256_blend_ps(hiAhead, guard, 0x80)};
  __m256 peak = _mm256_max_ps(_mm256_max_ps(lo, hi), _mm256_set1_ps(a));
  peak = _mm256_max_ps(peak, _mm256_max_ps(Refined(left[0], lo, right[0]), Refined(left[1], hi, right[1])));
  __m128 p = _mm_max_ps(_mm256_castps256_ps128(peak), _mm256_extractf128_ps(peak, 1));
  p = _mm_max_ps(p, _mm_shuffle_ps(p, p, _MM_SHUFFLE(1, 0, 3, 2)));
  p = _mm_max_ps(p, _mm_shuffle_ps(p, p, _MM_SHUFFLE(2, 3, 0, 1)));
  return _mm_cvtss_f32(p);
}

__attribute__((target("avx2,fma"))) float PeakOfPhasesAvx2(const float* y, float a) {
  return PeakOfVectors(_mm256_loadu_ps(y), _mm256_loadu_ps(y + 8), a);
}

// Interpolation and peak search in one pass, the 16 points never leaving the registers. The
// newest eight samples, reversed, are `newestEight`. Always inlined: a function that takes a
// 256-bit argument leaves the upper halves of the vector registers in use when it returns (the
// compiler adds no vzeroupper there), and every baseline instruction after it then runs slower.
__attribute__((target("avx2,fma"), always_inline)) inline float FoldedPeakAvx2(const TruePeakTable& table,
                                                                 const float* x, __m256 newestEight,
                                                                 float a) {
  __m256 sum, diff;
  folded::SumsAndDifferences(table.folded, x, newestEight, sum, diff);
  const __m256i reverse = folded::ReverseLanes();
  return PeakOfVectors(_mm256_add_ps(sum, diff),
                       _mm256_permutevar8x32_ps(_mm256_sub_ps(sum, diff), reverse), a);
}

// The wide reading's points from their folded sums, stored to y, and their peak where it may
// exceed floor.
__attribute__((target("avx2,fma"), always_inline)) inline float WidePeakOfSums(__m256 sum, __m256 diff, float a,
                                                                              float floor, float* y) {
  const __m256 lo = _mm256_add_ps(sum, diff);
  const __m256 hi = _mm256_permutevar8x32_ps(_mm256_sub_ps(sum, diff), folded::ReverseLanes());
  _mm256_storeu_ps(y, lo);
  _mm256_storeu_ps(y + 8, hi);
  const __m256 signMask = _mm256_set1_ps(-0.0f);
  const __m256 largest = _mm256_max_ps(_mm256_andnot_ps(signMask, lo), _mm256_andnot_ps(signMask, hi));
  __m128 m = _mm_max_ps(_mm256_castps256_ps128(largest), _mm256_extractf128_ps(largest, 1));
  m = _mm_max_ps(m, _mm_shuffle_ps(m, m, _MM_SHUFFLE(1, 0, 3, 2)));
  m = _mm_max_ps(m, _mm_shuffle_ps(m, m, _MM_SHUFFLE(2, 3, 0, 1)));
  const float points = std::max(a, _mm_cvtss_f32(m));
  if (points * kRefinementReach <= floor) return points;
  return PeakOfVectors(lo, hi, a);
}

__attribute__((target("avx2,fma"))) float WidePeakAvx2(const FoldedTaps<256>& taps, const float* x, float a,
                                                        float floor, float* y) {
  __m256 sum, diff;
  folded::SumsAndDifferences(taps, x, folded::NewestEight<256>(x), sum, diff);
  return WidePeakOfSums(sum, diff, a, floor, y);
}

// The same reading in sixteen-lane vectors, to the bit: the wide reading's multiply-adds wait on
// loading the taps, and a sixteen-lane load brings twice the taps.
__attribute__((target("avx512f,avx2,fma"))) float WidePeakAvx512(const FoldedTaps<256>& taps, const float* x,
                                                                  float a, float floor, float* y) {
  __m256 sum, diff;
  folded::SumsAndDifferences512(taps, x, sum, diff);
  return WidePeakOfSums(sum, diff, a, floor, y);
}

__attribute__((target("avx2,fma"))) float InterpolatedPeakAvx2(const TruePeakTable& table,
                                                                const float* x, float a) {
  return FoldedPeakAvx2(table, x, folded::NewestEight<kTaps>(x), a);
}

// The newest sample comes from a register: a window whose last sample was stored a moment ago
// would wait for that store to reach the cache before the vector load could read it.
__attribute__((target("avx2,fma"))) float FreshPeakAvx2(const TruePeakTable& table,
                                                         const float* older, float newest, float a) {
  // older[39 .. 46] as [older[46] .. older[39]] in lanes 1..7, the newest in lane 0.
  const __m256 shifted =
      _mm256_permutevar8x32_ps(_mm256_loadu_ps(older + kTaps - 9), _mm256_set_epi32(1, 2, 3, 4, 5, 6, 7, 0));
  return FoldedPeakAvx2(table, older, _mm256_blend_ps(shifted, _mm256_set1_ps(newest), 0x01), a);
}

// Eight consecutive windows at once, one per lane: window t is line[t .. t + 47]. The sums run in
// the order and the four chains FoldedPeakAvx2 uses, and the peak search is the same per lane, so
// every lane gives exactly what the one-window form gives. kVectors such groups of eight go side
// by side, so that each tap, broadcast once, serves all of them.
struct EightWindows {
  __m256 a[kTaps / 2], b[kTaps / 2];  // mirrored sums and differences, per tap, across the lanes
  __m256 magnitude[kPhases];
};

__attribute__((target("avx2,fma"))) inline void MirroredSums(const float* line, EightWindows& w) {
  for (int m = 0; m < kTaps / 2; ++m) {
    const __m256 near = _mm256_loadu_ps(line + m), far = _mm256_loadu_ps(line + kTaps - 1 - m);
    w.a[m] = _mm256_add_ps(near, far);
    w.b[m] = _mm256_sub_ps(near, far);
  }
}

// sum over m of taps[m][k] * x[m] for the eight phases k = 0..7 of each group v, in four chains
// (m mod 4) added as (0 + 1) + (2 + 3). Four phases at a time keep every group's sums for them in
// registers beside its samples, so each broadcast tap serves kVectors multiply-adds and each
// sample vector is loaded once for four.
template <int kVectors>
__attribute__((target("avx2,fma"))) inline void FoldedSumsOfGroups(const float (*taps)[8],
                                                                   const __m256* const* x, __m256 (*y)[8]) {
  for (int half = 0; half < 2; ++half) {
    __m256 chain[4][kVectors][4];
    for (int g = 0; g < 4; ++g) {
      __m256 acc[kVectors][4];
      for (int v = 0; v < kVectors; ++v)
        for (int k = 0; k < 4; ++k) acc[v][k] = _mm256_setzero_ps();
      for (int i = g; i < kTaps / 2; i += 4) {
        __m256 xi[kVectors];
        for (int v = 0; v < kVectors; ++v) xi[v] = x[v][i];
        for (int k = 0; k < 4; ++k) {
          const __m256 tap = _mm256_broadcast_ss(&taps[i][4 * half + k]);
          for (int v = 0; v < kVectors; ++v) acc[v][k] = _mm256_fmadd_ps(tap, xi[v], acc[v][k]);
        }
      }
      for (int v = 0; v < kVectors; ++v)
        for (int k = 0; k < 4; ++k) chain[g][v][k] = acc[v][k];
    }
    for (int v = 0; v < kVectors; ++v)
      for (int k = 0; k < 4; ++k)
        y[v][4 * half + k] = _mm256_add_ps(_mm256_add_ps(chain[0][v][k], chain[1][v][k]),
                                           _mm256_add_ps(chain[2][v][k], chain[3][v][k]));
  }
}

// The peak of each lane's window from its phases' sums and differences.
__attribute__((target("avx2,fma"))) inline __m256 PeakOfSums(const __m256* sum, const __m256* diff,
                                                              const float* line, bool newestCounts,
                                                              EightWindows& w) {
  const __m256 signMask = _mm256_set1_ps(-0.0f);
  for (int k = 0; k < 8; ++k) {
    w.magnitude[k] = _mm256_andnot_ps(signMask, _mm256_add_ps(sum[k], diff[k]));
    w.magnitude[kPhases - 1 - k] = _mm256_andnot_ps(signMask, _mm256_sub_ps(sum[k], diff[k]));
  }
  __m256 peak = newestCounts ? _mm256_andnot_ps(signMask, _mm256_loadu_ps(line + kTaps - 1)) : _mm256_setzero_ps();
  for (int k = 0; k < kPhases; ++k) peak = _mm256_max_ps(peak, w.magnitude[k]);
  // Only a local maximum with a curvature refines to anything (the rest give 0, below every
  // magnitude), and a window nearly always has at most one: each lane's is picked out first and
  // refined once, one division for the eight windows and no branch that depends on the signal.
  // Where a lane has more than one, the refinement runs for every phase where some lane has a
  // local maximum.
  __m256 left = _mm256_setzero_ps(), centre = left, right = left;
  __m256i found = _mm256_setzero_si256();  // per lane, minus the number of candidates
  for (int k = 1; k < kPhases - 1; ++k) {
    const __m256 l = w.magnitude[k - 1], c = w.magnitude[k], r = w.magnitude[k + 1];
    const __m256 candidate = RefinesAt(l, c, r);
    found = _mm256_add_epi32(found, _mm256_castps_si256(candidate));
    left = _mm256_blendv_ps(left, l, candidate);
    centre = _mm256_blendv_ps(centre, c, candidate);
    right = _mm256_blendv_ps(right, r, candidate);
  }
  const __m256i twice = _mm256_cmpgt_epi32(_mm256_set1_epi32(-1), found);
  if (_mm256_testz_si256(twice, twice)) return _mm256_max_ps(peak, Refined(left, centre, right));
  for (int k = 1; k < kPhases - 1; ++k) {
    const __m256 l = w.magnitude[k - 1], c = w.magnitude[k], r = w.magnitude[k + 1];
    if (_mm256_movemask_ps(_mm256_and_ps(_mm256_cmp_ps(c, l, _CMP_GE_OQ), _mm256_cmp_ps(c, r, _CMP_GE_OQ))) != 0)
      peak = _mm256_max_ps(peak, Refined(l, c, r));
  }
  return peak;
}

// The peaks of kVectors groups of eight consecutive windows, the first at line.
template <int kVectors>
__attribute__((target("avx2,fma"))) inline void PeaksOfGroups(const TruePeakTable& table, const float* line,
                                                               bool newestCounts, EightWindows* w, float* peaks) {
  const __m256* a[kVectors];
  const __m256* b[kVectors];
  for (int v = 0; v < kVectors; ++v) {
    MirroredSums(line + 8 * v, w[v]);
    a[v] = w[v].a;
    b[v] = w[v].b;
  }
  __m256 sum[kVectors][8], diff[kVectors][8];
  FoldedSumsOfGroups<kVectors>(table.folded.sum, a, sum);
  FoldedSumsOfGroups<kVectors>(table.folded.diff, b, diff);
  for (int v = 0; v < kVectors; ++v)
    _mm256_storeu_ps(peaks + 8 * v, PeakOfSums(sum[v], diff[v], line + 8 * v, newestCounts, w[v]));
}

__attribute__((target("avx2,fma"))) void InterpolatedPeaksAvx2(const TruePeakTable& table, const float* line,
                                                                int count, float* peaks, bool newestCounts) {
  EightWindows w[2];
  int t = 0;
  for (; t + 16 <= count; t += 16) PeaksOfGroups<2>(table, line + t, newestCounts, w, peaks + t);
  for (; t + 8 <= count; t += 8) PeaksOfGroups<1>(table, line + t, newestCounts, w, peaks + t);
  for (; t < count; ++t)
    peaks[t] = InterpolatedPeakAvx2(table, line + t, newestCounts ? std::fabs(line[t + kTaps - 1]) : 0.0f);
}

// Sixteen windows a pass, the rest eight or one at a time as above.
void InterpolatedPeaksAvx512(const TruePeakTable& table, const float* line, int count, float* peaks,
                             bool newestCounts) {
  const int done = SixteenWindowPeaks(table, line, count, peaks, newestCounts);
  InterpolatedPeaksAvx2(table, line + done, count - done, peaks + done, newestCounts);
}

// The baseline: magnitudes through memory, four phases at a time.
float PeakOfPhasesSse2(const float* y, float a) {
  constexpr float kGuard = std::numeric_limits<float>::infinity();
  alignas(16) float mag[kPhases + 4];
  mag[0] = mag[kPhases + 1] = kGuard;
  const __m128 signMask = _mm_set1_ps(-0.0f);
  __m128 peak = _mm_set1_ps(a);
  for (int k = 0; k < kPhases; k += 4) {
    const __m128 m = _mm_andnot_ps(signMask, _mm_loadu_ps(y + k));
    _mm_storeu_ps(mag + 1 + k, m);
    peak = _mm_max_ps(peak, m);
  }
  const __m128 two = _mm_set1_ps(2.0f), half = _mm_set1_ps(0.5f), quarter = _mm_set1_ps(0.25f);
  const __m128 flat = _mm_set1_ps(-1e-12f), lowest = _mm_set1_ps(-0.5f);
  for (int k = 0; k < kPhases; k += 4) {
    const __m128 l = _mm_loadu_ps(mag + k), c = _mm_loadu_ps(mag + 1 + k), r = _mm_loadu_ps(mag + 2 + k);
    const __m128 curvature = _mm_add_ps(_mm_sub_ps(l, _mm_mul_ps(two, c)), r);
    const __m128 refine = _mm_and_ps(_mm_and_ps(_mm_cmpge_ps(c, l), _mm_cmpge_ps(c, r)),
                                     _mm_cmplt_ps(curvature, flat));
    const __m128 slope = _mm_sub_ps(l, r);
    const __m128 delta =
        _mm_min_ps(_mm_max_ps(_mm_div_ps(_mm_mul_ps(slope, half), curvature), lowest), half);
    const __m128 top = _mm_sub_ps(c, _mm_mul_ps(_mm_mul_ps(delta, slope), quarter));
    peak = _mm_max_ps(peak, _mm_and_ps(refine, top));
  }
  peak = _mm_max_ps(peak, _mm_shuffle_ps(peak, peak, _MM_SHUFFLE(1, 0, 3, 2)));
  peak = _mm_max_ps(peak, _mm_shuffle_ps(peak, peak, _MM_SHUFFLE(2, 3, 0, 1)));
  return _mm_cvtss_f32(peak);
}
#else
float PeakOfPhasesSse2(const float* y, float a) { return PeakOfPhasesScalar(y, a); }
float PeakOfPhasesAvx2(const float* y, float a) { return PeakOfPhasesScalar(y, a); }
#endif

float WidePeakBaseline(const FoldedTaps<256>& taps, const float* window, float a, float floor, float* y) {
  folded::InterpolateBaseline(taps, window, y);
  float points = a;
  for (int k = 0; k < kPhases; ++k) points = std::max(points, std::fabs(y[k]));
  if (points * kRefinementReach <= floor) return points;
  return PeakOfPhasesSse2(y, a);
}
float InterpolatedPeakBaseline(const TruePeakTable& table, const float* window, float a) {
  float y[kPhases];
  folded::InterpolateBaseline(table.folded, window, y);
  return PeakOfPhasesSse2(y, a);
}
float FreshPeakBaseline(const TruePeakTable& table, const float* older, float newest, float a) {
  float window[kTaps];
  std::copy(older, older + kTaps - 1, window);
  window[kTaps - 1] = newest;
  return InterpolatedPeakBaseline(table, window, a);
}
void InterpolatedPeaksBaseline(const TruePeakTable& table, const float* line, int count, float* peaks,
                               bool newestCounts) {
  for (int t = 0; t < count; ++t)
    peaks[t] = InterpolatedPeakBaseline(table, line + t, newestCounts ? std::fabs(line[t + kTaps - 1]) : 0.0f);
}
#if !ZARN_X86
float WidePeakAvx2(const FoldedTaps<256>& taps, const float* window, float a, float floor, float* y) {
  return WidePeakBaseline(taps, window, a, floor, y);
}
float WidePeakAvx512(const FoldedTaps<256>& taps, const float* window, float a, float floor, float* y) {
  return WidePeakBaseline(taps, window, a, floor, y);
}
void InterpolatedPeaksAvx2(const TruePeakTable& table, const float* line, int count, float* peaks,
                           bool newestCounts) {
  InterpolatedPeaksBaseline(table, line, count, peaks, newestCounts);
}
float FreshPeakAvx2(const TruePeakTable& table, const float* older, float newest, float a) {
  return FreshPeakBaseline(table, older, newest, a);
}
float InterpolatedPeakAvx2(const TruePeakTable& table, const float* window, float a) {
  return InterpolatedPeakBaseline(table, window, a);
}
void InterpolatedPeaksAvx512(const TruePeakTable& table, const float* line, int count, float* peaks,
                             bool newestCounts) {
  InterpolatedPeaksBaseline(table, line, count, peaks, newestCounts);
}
#endif

using PeakFn = float (*)(const float*, float);
using PeakDispatch = cpu::Dispatch<PeakFn, PeakOfPhasesAvx2, PeakOfPhasesSse2>;
using FusedFn = float (*)(const TruePeakTable&, const float*, float);
using FusedDispatch = cpu::Dispatch<FusedFn, InterpolatedPeakAvx2, InterpolatedPeakBaseline>;
using FreshFn = float (*)(const TruePeakTable&, const float*, float, float);
using FreshDispatch = cpu::Dispatch<FreshFn, FreshPeakAvx2, FreshPeakBaseline>;
using WideDispatch = cpu::Dispatch<WidePeakFn, WidePeakAvx2, WidePeakBaseline, WidePeakAvx512>;
using RunDispatch = cpu::Dispatch<PeaksFn, InterpolatedPeaksAvx2, InterpolatedPeaksBaseline, InterpolatedPeaksAvx512>;

}  // namespace

void InterpolatePhasesScalar(const TruePeakTable& table, const float* window, float* y) {
  for (int k = 0; k < kPhases; ++k) {
    float sum = 0.0f;
    for (int m = 0; m < kTaps; ++m) sum += table.Coefficient(k, m) * window[kTaps - 1 - m];
    y[k] = sum;
  }
}

const std::vector<KernelVariant>& AvailableKernels() {
  static const std::vector<KernelVariant> kernels = [] {
    std::vector<KernelVariant> list;
    if (cpu::UseAvx2()) list.push_back({"avx2", FoldedBest});
    list.push_back({"baseline", FoldedBaseline});
    list.push_back({"scalar", InterpolatePhasesScalar});
    return list;
  }();
  return kernels;
}

namespace {
// Every form this processor can run, best first.
template <typename Fn>
std::vector<Form<Fn>> RunnableForms(Fn avx512, Fn avx2, Fn baseline) {
  std::vector<Form<Fn>> list;
  if (cpu::HasAvx512()) list.push_back({"avx512", avx512});
  if (cpu::UseAvx2()) list.push_back({"avx2", avx2});
  list.push_back({"baseline", baseline});
  return list;
}
}  // namespace

const std::vector<Form<WidePeakFn>>& AvailableWidePeakForms() {
  static const std::vector<Form<WidePeakFn>> forms =
      RunnableForms<WidePeakFn>(WidePeakAvx512, WidePeakAvx2, WidePeakBaseline);
  return forms;
}

const std::vector<Form<PeaksFn>>& AvailablePeaksForms() {
  static const std::vector<Form<PeaksFn>> forms =
      RunnableForms<PeaksFn>(InterpolatedPeaksAvx512, InterpolatedPeaksAvx2, InterpolatedPeaksBaseline);
  return forms;
}

void InterpolatePhases(const TruePeakTable& table, const float* window, float* y) {
  folded::Interpolate(table.folded, window, y);
}

float PeakOfPhases(const float* y, float a) { return PeakDispatch::Call(y, a); }

float InterpolatedPeak(const TruePeakTable& table, const float* window, float a) {
  return FusedDispatch::Call(table, window, a);
}

float InterpolatedPeak(const TruePeakTable& table, const float* older, float newest, float a) {
  return FreshDispatch::Call(table, older, newest, a);
}

float InterpolatedPeak(const FoldedTaps<256>& taps, const float* window, float a, float floor, float* y) {
  return WideDispatch::Call(taps, window, a, floor, y);
}

void InterpolatedPeaks(const TruePeakTable& table, const float* line, int count, float* peaks) {
  RunDispatch::Call(table, line, count, peaks, true);
}

void InterpolatedPointPeaks(const TruePeakTable& table, const float* line, int count, float* peaks) {
  RunDispatch::Call(table, line, count, peaks, false);
}

float PeakOfPhasesScalar(const float* y, float a) {
  for (int k = 0; k < kPhases; ++k) a = std::max(a, std::fabs(y[k]));
  for (int k = 1; k < kPhases - 1; ++k) {
    const float l = std::fabs(y[k - 1]), c = std::fabs(y[k]), r = std::fabs(y[k + 1]);
    if (c >= l && c >= r) a = RefineLocalMaximum(l, c, r, a);
  }
  return a;
}

}  // namespace truepeak
