#include "dsp/kernels/VectorMath.h"

#include <algorithm>
#include <cmath>

#include "dsp/kernels/CpuDispatch.h"

#if defined(__x86_64__) && defined(__GLIBC__)
#define ZARN_HAVE_LIBMVEC 1
#include <immintrin.h>
#endif

namespace vmath {
namespace {

using UnaryFn = void (*)(const double*, double*, int);

template <double (*kFn)(double)>
void Scalar(const double* x, double* out, int n) {
  for (int i = 0; i < n; ++i) out[i] = kFn(x[i]);
}

double ScalarExp(double x) { return std::exp(x); }
double ScalarLog(double x) { return std::log(x); }

#if ZARN_HAVE_LIBMVEC
// libmvec's entry points, by the vector function ABI's names: 'e' is the AVX-512 form of eight
// lanes, 'd' the AVX2 form of four. Only those glibc has had since 2.22: its log1p, log10 and exp10
// came in 2.35, which would keep the plug-in out of hosts on systems a few years old.
extern "C" {
__m512d _ZGVeN8v_exp(__m512d);
__m512d _ZGVeN8v_log(__m512d);
__m256d _ZGVdN4v_exp(__m256d);
__m256d _ZGVdN4v_log(__m256d);
}

#define ZARN_AVX512 __attribute__((target("avx512f,avx2,fma")))
#define ZARN_AVX2 __attribute__((target("avx2,fma")))

// A run's last, part-filled vector is padded with ones, which every function here takes; each
// result is the same wherever in a run its input lies.
template <__m512d (*kFn)(__m512d)>
ZARN_AVX512 void Eights(const double* x, double* out, int n) {
  int i = 0;
  for (; i + 8 <= n; i += 8) _mm512_storeu_pd(out + i, kFn(_mm512_loadu_pd(x + i)));
  if (i == n) return;
  const __mmask8 rest = static_cast<__mmask8>((1u << (n - i)) - 1);
  _mm512_mask_storeu_pd(out + i, rest, kFn(_mm512_mask_loadu_pd(_mm512_set1_pd(1.0), rest, x + i)));
}

template <__m256d (*kFn)(__m256d)>
ZARN_AVX2 void Fours(const double* x, double* out, int n) {
  int i = 0;
  for (; i + 4 <= n; i += 4) _mm256_storeu_pd(out + i, kFn(_mm256_loadu_pd(x + i)));
  if (i == n) return;
  alignas(32) double part[4] = {1.0, 1.0, 1.0, 1.0};
  std::copy(x + i, x + n, part);
  _mm256_store_pd(part, kFn(_mm256_load_pd(part)));
  std::copy(part, part + (n - i), out + i);
}

using ExpDispatch = cpu::Dispatch<UnaryFn, Fours<_ZGVdN4v_exp>, Scalar<ScalarExp>, Eights<_ZGVeN8v_exp>>;
using LogDispatch = cpu::Dispatch<UnaryFn, Fours<_ZGVdN4v_log>, Scalar<ScalarLog>, Eights<_ZGVeN8v_log>>;
#else
using ExpDispatch = cpu::Dispatch<UnaryFn, Scalar<ScalarExp>, Scalar<ScalarExp>>;
using LogDispatch = cpu::Dispatch<UnaryFn, Scalar<ScalarLog>, Scalar<ScalarLog>>;
#endif

}  // namespace

void Exp(const double* x, double* out, int n) { ExpDispatch::Call(x, out, n); }
void Log(const double* x, double* out, int n) { LogDispatch::Call(x, out, n); }

}  // namespace vmath
