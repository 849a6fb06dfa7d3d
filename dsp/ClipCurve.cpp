#include "dsp/ClipCurve.h"

#include <cmath>

#include "dsp/kernels/CpuDispatch.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ZARN_X86 1
#endif

double ClipCurve::Apply(double x) const {
  const double t = threshold;
  const double s = x < 0.0 ? -1.0 : 1.0;
  const double a = std::fabs(x);
  switch (mode) {
    case kHard:
      return a >= t ? s * t : x;
    case kCubic: {
      const double e = t / 2.0, f = 1.5 * (t - e);
      if (a <= e) return x;
      if (a >= e + f) return s * t;
      const double d = a - e;
      return s * (e + d - d * d * d / (3.0 * f * f));
    }
    default: {
      const double k = kappa * t, f = 2.0 * (t - k);
      if (a <= k) return x;
      if (a >= k + f) return s * t;
      const double e = (a - k) / f, e2 = e * e, e4 = e2 * e2;
      return s * (k + f * (e - 2.5 * e4 + 3.0 * e4 * e - e4 * e2));
    }
  }
}

namespace {

// The offset is added only where it is not zero, as the one-value callers do.
void ApplyAllPlain(const ClipCurve& curve, const double* in, double offset, double shift, int n, double* out) {
  for (int i = 0; i < n; ++i) out[i] = (offset != 0.0 ? curve.Apply(in[i] + offset) : curve.Apply(in[i])) - shift;
}

#if ZARN_X86
// Every branch of the curve computed and the right one chosen per lane; separate multiplies and
// adds (no FMA in this function's instruction set, so none are fused), in Apply's order.
__attribute__((target("avx2"))) void ApplyAllAvx2(const ClipCurve& curve, const double* in, double offset,
                                                  double shift, int n, double* out) {
  const double t = curve.threshold;
  // Below `linearTo` the curve passes x; from `flatFrom` on it is +-t; between, the knee.
  double linearTo = t, flatFrom = t, f = 1.0, cubicDivisor = 1.0;
  if (curve.mode == ClipCurve::kCubic) {
    linearTo = t / 2.0;
    f = 1.5 * (t - linearTo);
    flatFrom = linearTo + f;
    cubicDivisor = 3.0 * f * f;
  } else if (curve.mode == ClipCurve::kSoft) {
    linearTo = curve.kappa * t;
    f = 2.0 * (t - linearTo);
    flatFrom = linearTo + f;
  }
  const __m256d signMask = _mm256_set1_pd(-0.0), zero = _mm256_setzero_pd();
  const __m256d vt = _mm256_set1_pd(t), vLinear = _mm256_set1_pd(linearTo), vFlat = _mm256_set1_pd(flatFrom);
  const __m256d vf = _mm256_set1_pd(f), vOffset = _mm256_set1_pd(offset), vShift = _mm256_set1_pd(shift);
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    __m256d x = _mm256_loadu_pd(in + i);
    if (offset != 0.0) x = _mm256_add_pd(x, vOffset);
    const __m256d s = _mm256_blendv_pd(_mm256_set1_pd(1.0), _mm256_set1_pd(-1.0), _mm256_cmp_pd(x, zero, _CMP_LT_OQ));
    const __m256d a = _mm256_andnot_pd(signMask, x);
    __m256d knee = zero;
    if (curve.mode == ClipCurve::kCubic) {
      const __m256d d = _mm256_sub_pd(a, vLinear);
      const __m256d cube = _mm256_div_pd(_mm256_mul_pd(_mm256_mul_pd(d, d), d), _mm256_set1_pd(cubicDivisor));
      knee = _mm256_mul_pd(s, _mm256_sub_pd(_mm256_add_pd(vLinear, d), cube));
    } else if (curve.mode == ClipCurve::kSoft) {
      const __m256d e = _mm256_div_pd(_mm256_sub_pd(a, vLinear), vf);
      const __m256d e2 = _mm256_mul_pd(e, e), e4 = _mm256_mul_pd(e2, e2);
      const __m256d poly = _mm256_sub_pd(
          _mm256_add_pd(_mm256_sub_pd(e, _mm256_mul_pd(_mm256_set1_pd(2.5), e4)),
                        _mm256_mul_pd(_mm256_mul_pd(_mm256_set1_pd(3.0), e4), e)),
          _mm256_mul_pd(e4, e2));
      knee = _mm256_mul_pd(s, _mm256_add_pd(vLinear, _mm256_mul_pd(vf, poly)));
    }
    __m256d y = _mm256_blendv_pd(knee, _mm256_mul_pd(s, vt), _mm256_cmp_pd(a, vFlat, _CMP_GE_OQ));
    // Hard passes x below t; the knees pass it up to where they begin.
    const __m256d passes = curve.mode == ClipCurve::kHard ? _mm256_cmp_pd(a, vt, _CMP_NGE_UQ)
                                                          : _mm256_cmp_pd(a, vLinear, _CMP_LE_OQ);
    y = _mm256_blendv_pd(y, x, passes);
    _mm256_storeu_pd(out + i, _mm256_sub_pd(y, vShift));
  }
  ApplyAllPlain(curve, in + i, offset, shift, n - i, out + i);
}
#else
void ApplyAllAvx2(const ClipCurve& curve, const double* in, double offset, double shift, int n, double* out) {
  ApplyAllPlain(curve, in, offset, shift, n, out);
}
#endif

using ApplyAllFn = void (*)(const ClipCurve&, const double*, double, double, int, double*);
using ApplyAllDispatch = cpu::Dispatch<ApplyAllFn, ApplyAllAvx2, ApplyAllPlain>;

}  // namespace

void ClipCurve::ApplyAll(const double* in, double offset, double shift, int n, double* out) const {
  ApplyAllDispatch::Call(*this, in, offset, shift, n, out);
}
