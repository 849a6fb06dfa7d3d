#include "dsp/kernels/SixteenWindows.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

// GCC 12's AVX-512 intrinsics warn of an uninitialised value of their own making.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace truepeak {
namespace {

constexpr int kPhases = TruePeakTable::kPhases;
#define ZARN_AVX512 __attribute__((target("avx512f,avx2,fma")))

// The mirrored sums a[m] = x[m] + x[N-1-m] and differences b[m] = x[m] - x[N-1-m] of sixteen
// 48-sample windows, one per lane, stored once for both halves of the phases.
struct SixteenLanes {
  __m512 a[TruePeakTable::kTaps / 2], b[TruePeakTable::kTaps / 2];
};

ZARN_AVX512 inline void MirroredSums(const float* line, SixteenLanes& w) {
  constexpr int kTaps = TruePeakTable::kTaps;
  for (int m = 0; m < kTaps / 2; ++m) {
    const __m512 near = _mm512_loadu_ps(line + m), far = _mm512_loadu_ps(line + kTaps - 1 - m);
    w.a[m] = _mm512_add_ps(near, far);
    w.b[m] = _mm512_sub_ps(near, far);
  }
}

// Group v's mirrored value at tap m, as stored.
struct StoredMirror {
  const __m512* const* x;
  ZARN_AVX512 __m512 operator()(int v, int m) const { return x[v][m]; }
};

// The same formed from the line as it is used (window v's lanes start at line + 16 * v), the far
// sample from `far`: the 256-tap windows' sums would not stay in the cache beside each other.
template <typename Far, bool kSum>
struct FormedMirror {
  const float* line;
  Far far;
  ZARN_AVX512 __m512 operator()(int v, int m) const {
    const __m512 near = _mm512_loadu_ps(line + 16 * v + m), other = far(v, m);
    return kSum ? _mm512_add_ps(near, other) : _mm512_sub_ps(near, other);
  }
};

// Tap m's mirror in a window of 256 samples of the line.
struct FarInLine {
  const float* line;
  ZARN_AVX512 __m512 operator()(int v, int m) const { return _mm512_loadu_ps(line + 16 * v + 255 - m); }
};

// The same where the window's last kAhead samples are its own: lane l's look-ahead sample r is
// rows[v][r][l].
template <int kKnown>
struct FarInLineOrAhead {
  static constexpr int kAhead = 256 - kKnown;
  const float* line;
  const float (*const* rows)[16];
  ZARN_AVX512 __m512 operator()(int v, int m) const {
    return m < kAhead ? _mm512_load_ps(rows[v][kAhead - 1 - m]) : _mm512_loadu_ps(line + 16 * v + 255 - m);
  }
};

// The eight-lane FoldedSumsOfGroups, lane for lane (and so the one-window forms): sum over m of
// taps[m][k] * x[m] in four chains (m mod 4) added as (0 + 1) + (2 + 3), four phases at a time,
// each broadcast tap serving kVectors groups of sixteen windows.
template <int kHalf, int kVectors, typename Mirror>
ZARN_AVX512 inline void FoldedSumsOfGroups(const float (*taps)[8], Mirror mirror, __m512 (*y)[8]) {
  for (int half = 0; half < 2; ++half) {
    __m512 chain[4][kVectors][4];
    for (int g = 0; g < 4; ++g) {
      __m512 acc[kVectors][4];
      for (int v = 0; v < kVectors; ++v)
        for (int k = 0; k < 4; ++k) acc[v][k] = _mm512_setzero_ps();
      for (int i = g; i < kHalf; i += 4) {
        __m512 x[kVectors];
        for (int v = 0; v < kVectors; ++v) x[v] = mirror(v, i);
        for (int k = 0; k < 4; ++k) {
          const __m512 tap = _mm512_set1_ps(taps[i][4 * half + k]);
          for (int v = 0; v < kVectors; ++v) acc[v][k] = _mm512_fmadd_ps(tap, x[v], acc[v][k]);
        }
      }
      for (int v = 0; v < kVectors; ++v)
        for (int k = 0; k < 4; ++k) chain[g][v][k] = acc[v][k];
    }
    for (int v = 0; v < kVectors; ++v)
      for (int k = 0; k < 4; ++k)
        y[v][4 * half + k] = _mm512_add_ps(_mm512_add_ps(chain[0][v][k], chain[1][v][k]),
                                           _mm512_add_ps(chain[2][v][k], chain[3][v][k]));
  }
}

ZARN_AVX512 inline __m512 Curvature(__m512 l, __m512 c, __m512 r) {
  return _mm512_add_ps(_mm512_sub_ps(l, _mm512_mul_ps(_mm512_set1_ps(2.0f), c)), r);
}

// The lanes among `among` whose curvature is enough to refine.
ZARN_AVX512 inline __mmask16 Curved(__m512 curvature, __mmask16 among) {
  return _mm512_mask_cmp_ps_mask(among, curvature, _mm512_set1_ps(-1e-12f), _CMP_LT_OQ);
}

// The lanes where c is a local maximum with a curvature: those Refined refines.
ZARN_AVX512 inline __mmask16 RefinesAt(__m512 l, __m512 c, __m512 r) {
  const __mmask16 maximum = _mm512_mask_cmp_ps_mask(_mm512_cmp_ps_mask(c, l, _CMP_GE_OQ), c, r, _CMP_GE_OQ);
  return Curved(Curvature(l, c, r), maximum);
}

// The parabola's top where c is a local maximum with a curvature, 0 elsewhere: the eight-lane
// Refined's arithmetic, with masks.
ZARN_AVX512 inline __m512 Refined(__m512 l, __m512 c, __m512 r, __mmask16 maximum) {
  const __m512 half = _mm512_set1_ps(0.5f);
  const __m512 curvature = Curvature(l, c, r);
  const __mmask16 refine = Curved(curvature, maximum);
  const __m512 slope = _mm512_sub_ps(l, r);
  const __m512 delta = _mm512_min_ps(
      _mm512_max_ps(_mm512_div_ps(_mm512_mul_ps(slope, half), curvature), _mm512_set1_ps(-0.5f)), half);
  const __m512 top = _mm512_sub_ps(c, _mm512_mul_ps(_mm512_mul_ps(delta, slope), _mm512_set1_ps(0.25f)));
  return _mm512_maskz_mov_ps(refine, top);
}

ZARN_AVX512 inline __m512 Magnitude(__m512 v) {
  return _mm512_castsi512_ps(_mm512_and_si512(_mm512_castps_si512(v), _mm512_set1_epi32(0x7fffffff)));
}

// The peak of each lane's window from its phases' sums and differences, no less than `peak`.
ZARN_AVX512 inline __m512 PeakOfSums(const __m512* sum, const __m512* diff, __m512 peak, __m512* magnitude) {
  for (int k = 0; k < 8; ++k) {
    magnitude[k] = Magnitude(_mm512_add_ps(sum[k], diff[k]));
    magnitude[kPhases - 1 - k] = Magnitude(_mm512_sub_ps(sum[k], diff[k]));
  }
  for (int k = 0; k < kPhases; ++k) peak = _mm512_max_ps(peak, magnitude[k]);
  // Only a point that is a local maximum with a curvature refines to anything (the rest give 0,
  // below every magnitude), and in a window there is nearly always at most one. Each lane's is
  // picked out first and refined once, one division for the sixteen windows and no branch that
  // depends on the signal; where a lane has more than one, every point is refined, as the
  // eight-lane form does.
  __m512 left = _mm512_setzero_ps(), centre = left, right = left;
  __m512i found = _mm512_setzero_si512();
  for (int k = 1; k < kPhases - 1; ++k) {
    const __m512 l = magnitude[k - 1], c = magnitude[k], r = magnitude[k + 1];
    const __mmask16 candidate = RefinesAt(l, c, r);
    found = _mm512_mask_add_epi32(found, candidate, found, _mm512_set1_epi32(1));
    left = _mm512_mask_mov_ps(left, candidate, l);
    centre = _mm512_mask_mov_ps(centre, candidate, c);
    right = _mm512_mask_mov_ps(right, candidate, r);
  }
  const __mmask16 picked = _mm512_test_epi32_mask(found, found);
  const __mmask16 twice = _mm512_cmpgt_epi32_mask(found, _mm512_set1_epi32(1));
  if (twice == 0) return picked == 0 ? peak : _mm512_max_ps(peak, Refined(left, centre, right, picked));
  for (int k = 1; k < kPhases - 1; ++k) {
    const __m512 l = magnitude[k - 1], c = magnitude[k], r = magnitude[k + 1];
    const __mmask16 maximum = _mm512_cmp_ps_mask(c, l, _CMP_GE_OQ) & _mm512_cmp_ps_mask(c, r, _CMP_GE_OQ);
    if (maximum != 0) peak = _mm512_max_ps(peak, Refined(l, c, r, maximum));
  }
  return peak;
}

// Where a 48-tap reading starts: at the newest sample, or at nothing.
struct NewestSample {
  bool counts;
  ZARN_AVX512 __m512 operator()(const float* first) const {
    return counts ? Magnitude(_mm512_loadu_ps(first + TruePeakTable::kTaps - 1)) : _mm512_setzero_ps();
  }
};

// Where a wide reading starts: at the samples either side of its interval.
struct SamplesAround {
  static constexpr int kCentre = 256 / 2 - 1;
  ZARN_AVX512 __m512 operator()(const float* first) const {
    return _mm512_max_ps(Magnitude(_mm512_loadu_ps(first + kCentre)), Magnitude(_mm512_loadu_ps(first + kCentre + 1)));
  }
};

template <int kVectors>
ZARN_AVX512 inline void PeaksOfGroups(const TruePeakTable& table, const float* line, NewestSample start,
                                      SixteenLanes* w, float* peaks) {
  const __m512* a[kVectors];
  const __m512* b[kVectors];
  for (int v = 0; v < kVectors; ++v) {
    MirroredSums(line + 16 * v, w[v]);
    a[v] = w[v].a;
    b[v] = w[v].b;
  }
  constexpr int kHalf = TruePeakTable::kTaps / 2;
  __m512 sum[kVectors][8], diff[kVectors][8], magnitude[kPhases];
  FoldedSumsOfGroups<kHalf, kVectors>(table.folded.sum, StoredMirror{a}, sum);
  FoldedSumsOfGroups<kHalf, kVectors>(table.folded.diff, StoredMirror{b}, diff);
  for (int v = 0; v < kVectors; ++v)
    _mm512_storeu_ps(peaks + 16 * v, PeakOfSums(sum[v], diff[v], start(line + 16 * v), magnitude));
}

template <int kVectors>
ZARN_AVX512 inline void WidePeaksOfGroups(const FoldedTaps<256>& taps, const float* line, float* peaks) {
  __m512 sum[kVectors][8], diff[kVectors][8], magnitude[kPhases];
  const FarInLine far{line};
  FoldedSumsOfGroups<128, kVectors>(taps.sum, FormedMirror<FarInLine, true>{line, far}, sum);
  FoldedSumsOfGroups<128, kVectors>(taps.diff, FormedMirror<FarInLine, false>{line, far}, diff);
  for (int v = 0; v < kVectors; ++v)
    _mm512_storeu_ps(peaks + 16 * v, PeakOfSums(sum[v], diff[v], SamplesAround{}(line + 16 * v), magnitude));
}

// rows[r][l] = ahead[l + r] * gains[l], rounded to double, then to float, for r < kAhead.
template <int kAhead>
ZARN_AVX512 inline void ScaleAhead(const double* ahead, const double* gains, float (*rows)[16]) {
  const __m512d low = _mm512_loadu_pd(gains), high = _mm512_loadu_pd(gains + 8);
  const __m256 none = _mm256_setzero_ps();
  for (int r = 0; r < kAhead; ++r) {
    _mm256_store_ps(rows[r], _mm512_mask_cvtpd_ps(none, 0xFF, _mm512_mul_pd(low, _mm512_loadu_pd(ahead + r))));
    _mm256_store_ps(rows[r] + 8, _mm512_mask_cvtpd_ps(none, 0xFF, _mm512_mul_pd(high, _mm512_loadu_pd(ahead + r + 8))));
  }
}

template <int kKnown, int kVectors>
ZARN_AVX512 inline void WidePeaksAheadOfGroups(const FoldedTaps<256>& taps, const float* known, const double* ahead,
                                               const double* gains, float* peaks) {
  constexpr int kAhead = 256 - kKnown;
  alignas(64) float rows[kVectors][kAhead][16];
  const float(*rowsOf[kVectors])[16];
  for (int v = 0; v < kVectors; ++v) {
    ScaleAhead<kAhead>(ahead + 16 * v, gains + 16 * v, rows[v]);
    rowsOf[v] = rows[v];
  }
  __m512 sum[kVectors][8], diff[kVectors][8], magnitude[kPhases];
  using Far = FarInLineOrAhead<kKnown>;
  const Far far{known, rowsOf};
  FoldedSumsOfGroups<128, kVectors>(taps.sum, FormedMirror<Far, true>{known, far}, sum);
  FoldedSumsOfGroups<128, kVectors>(taps.diff, FormedMirror<Far, false>{known, far}, diff);
  for (int v = 0; v < kVectors; ++v)
    _mm512_storeu_ps(peaks + 16 * v, PeakOfSums(sum[v], diff[v], SamplesAround{}(known + 16 * v), magnitude));
}

}  // namespace

ZARN_AVX512 int SixteenWindowPeaks(const TruePeakTable& table, const float* line, int count, float* peaks,
                                   bool newestCounts) {
  SixteenLanes w[2];
  const NewestSample start{newestCounts};
  int t = 0;
  for (; t + 32 <= count; t += 32) PeaksOfGroups<2>(table, line + t, start, w, peaks + t);
  for (; t + 16 <= count; t += 16) PeaksOfGroups<1>(table, line + t, start, w, peaks + t);
  return t;
}

// Four groups a pass, as many as keep their sums in registers beside the tap and the samples
// (WideInterpolator::StretchOf lays a run out in these passes).
ZARN_AVX512 int SixteenWidePeaks(const FoldedTaps<256>& taps, const float* line, int count, float* peaks) {
  int t = 0;
  for (; t + 64 <= count; t += 64) WidePeaksOfGroups<4>(taps, line + t, peaks + t);
  for (; t + 16 <= count; t += 16) WidePeaksOfGroups<1>(taps, line + t, peaks + t);
  return t;
}

ZARN_AVX512 int SixteenWidePeaks(const FoldedTaps<256>& taps, const float* known, const double* ahead,
                                 const double* gains, int count, float* peaks) {
  constexpr int kKnown = kWideKnown;
  int t = 0;
  for (; t + 64 <= count; t += 64) WidePeaksAheadOfGroups<kKnown, 4>(taps, known + t, ahead + t, gains + t, peaks + t);
  for (; t + 16 <= count; t += 16) WidePeaksAheadOfGroups<kKnown, 1>(taps, known + t, ahead + t, gains + t, peaks + t);
  return t;
}

}  // namespace truepeak

#else

namespace truepeak {
int SixteenWindowPeaks(const TruePeakTable&, const float*, int, float*, bool) { return 0; }
int SixteenWidePeaks(const FoldedTaps<256>&, const float*, int, float*) { return 0; }
int SixteenWidePeaks(const FoldedTaps<256>&, const float*, const double*, const double*, int, float*) { return 0; }
}  // namespace truepeak

#endif
