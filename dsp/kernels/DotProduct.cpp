#include "dsp/kernels/DotProduct.h"

#include "dsp/kernels/CpuDispatch.h"
#include "dsp/kernels/DotProduct512.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ZARN_X86 1
#endif

namespace simd {

namespace {

using DotFn = double (*)(const double*, const double*, int);

void SymmetricDotsScalar(const double* half, const double* x, int length, int stride, int count, double* out) {
  for (int j = 0; j < count; ++j) out[j] = SymmetricDotProductScalar(half, x + j * stride, length);
}

#if ZARN_X86
}  // namespace

// Out of line and shared by every vector form, so that each rounds these products as the others
// do: the compiler vectorises such a loop its own way for each instruction set.
__attribute__((target("avx2,fma"), noinline)) double tail::Dot(const double* a, const double* b, int from, int n,
                                                              double sum) {
  for (int k = from; k < n; ++k) sum += a[k] * b[k];
  return sum;
}

__attribute__((target("avx2,fma"), noinline)) double tail::Symmetric(const double* half, const double* x, int from,
                                                                    int length, double sum) {
  const int middle = (length - 1) / 2;
  for (int k = from; k < middle; ++k) sum += half[k] * (x[k] + x[length - 1 - k]);
  return sum + half[middle] * x[middle];
}

namespace {

// kWindows windows at b + v, each in two chains of products added as the one-window form adds them.
template <int kWindows>
__attribute__((target("avx2,fma"))) inline void DotsAvx2(const double* a, const double* b, int n, double* out) {
  __m256d acc0[kWindows], acc1[kWindows];
  for (int v = 0; v < kWindows; ++v) acc0[v] = acc1[v] = _mm256_setzero_pd();
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m256d a0 = _mm256_loadu_pd(a + i), a1 = _mm256_loadu_pd(a + i + 4);
    for (int v = 0; v < kWindows; ++v) {
      acc0[v] = _mm256_fmadd_pd(a0, _mm256_loadu_pd(b + v + i), acc0[v]);
      acc1[v] = _mm256_fmadd_pd(a1, _mm256_loadu_pd(b + v + i + 4), acc1[v]);
    }
  }
  for (int v = 0; v < kWindows; ++v) {
    const __m256d acc = _mm256_add_pd(acc0[v], acc1[v]);
    const __m128d pair = _mm_add_pd(_mm256_castpd256_pd128(acc), _mm256_extractf128_pd(acc, 1));
    out[v] = tail::Dot(a, b + v, i, n, _mm_cvtsd_f64(_mm_add_sd(pair, _mm_unpackhi_pd(pair, pair))));
  }
}

__attribute__((target("avx2,fma"))) double DotAvx2(const double* a, const double* b, int n) {
  double out;
  DotsAvx2<1>(a, b, n, &out);
  return out;
}

__attribute__((target("avx2,fma"))) void DotsAvx2(const double* a, const double* b, int n, int count, double* out) {
  int j = 0;
  for (; j + 4 <= count; j += 4) DotsAvx2<4>(a, b + j, n, out + j);
  for (; j < count; ++j) DotsAvx2<1>(a, b + j, n, out + j);
}

double DotSse2(const double* a, const double* b, int n) {
  __m128d acc0 = _mm_setzero_pd(), acc1 = _mm_setzero_pd();
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    acc0 = _mm_add_pd(acc0, _mm_mul_pd(_mm_loadu_pd(a + i), _mm_loadu_pd(b + i)));
    acc1 = _mm_add_pd(acc1, _mm_mul_pd(_mm_loadu_pd(a + i + 2), _mm_loadu_pd(b + i + 2)));
  }
  const __m128d acc = _mm_add_pd(acc0, acc1);
  double sum = _mm_cvtsd_f64(_mm_add_sd(acc, _mm_unpackhi_pd(acc, acc)));
  for (; i < n; ++i) sum += a[i] * b[i];
  return sum;
}

// A symmetric filter of odd length: mirrored samples are added first, half the products. The
// mirrored sums of taps i .. i + 3 of the window at x.
__attribute__((target("avx2,fma"))) inline __m256d MirroredFour(const double* x, int length, int i) {
  return _mm256_add_pd(_mm256_loadu_pd(x + i), _mm256_permute4x64_pd(_mm256_loadu_pd(x + length - 4 - i), 0x1B));
}

// kWindows windows at x + v * stride, each in two chains of products added as the one-window
// form adds them.
template <int kWindows>
__attribute__((target("avx2,fma"))) inline void SymmetricDotsAvx2(const double* half, const double* x, int length,
                                                                  int stride, double* out) {
  const int middle = (length - 1) / 2;
  __m256d acc0[kWindows], acc1[kWindows];
  for (int v = 0; v < kWindows; ++v) acc0[v] = acc1[v] = _mm256_setzero_pd();
  int i = 0;
  for (; i + 8 <= middle; i += 8) {
    const __m256d h0 = _mm256_loadu_pd(half + i), h1 = _mm256_loadu_pd(half + i + 4);
    for (int v = 0; v < kWindows; ++v) {
      acc0[v] = _mm256_fmadd_pd(h0, MirroredFour(x + v * stride, length, i), acc0[v]);
      acc1[v] = _mm256_fmadd_pd(h1, MirroredFour(x + v * stride, length, i + 4), acc1[v]);
    }
  }
  for (int v = 0; v < kWindows; ++v) {
    const __m256d acc = _mm256_add_pd(acc0[v], acc1[v]);
    const __m128d pair = _mm_add_pd(_mm256_castpd256_pd128(acc), _mm256_extractf128_pd(acc, 1));
    out[v] = tail::Symmetric(half, x + v * stride, i, length, _mm_cvtsd_f64(_mm_add_sd(pair, _mm_unpackhi_pd(pair, pair))));
  }
}

__attribute__((target("avx2,fma"))) double SymmetricDotAvx2(const double* half, const double* x, int length) {
  double out;
  SymmetricDotsAvx2<1>(half, x, length, 0, &out);
  return out;
}

__attribute__((target("avx2,fma"))) void SymmetricDotsAvx2(const double* half, const double* x, int length,
                                                           int stride, int count, double* out) {
  int j = 0;
  for (; j + 4 <= count; j += 4) SymmetricDotsAvx2<4>(half, x + j * stride, length, stride, out + j);
  for (; j < count; ++j) SymmetricDotsAvx2<1>(half, x + j * stride, length, stride, out + j);
}
// One vector of four phases per tap and chain; four chains (taps mod 4) so the multiply-adds do
// not wait on each other.
template <int kVectors>
__attribute__((target("avx2,fma"))) void BankAvx2(const double* bank, const double* x, int taps, double* out) {
  constexpr int kPhases = 4 * kVectors;
  __m256d acc[4][kVectors];
  for (auto& chain : acc)
    for (__m256d& v : chain) v = _mm256_setzero_pd();
  int j = 0;
  for (; j + 4 <= taps; j += 4)
    for (int c = 0; c < 4; ++c) {
      const __m256d sample = _mm256_broadcast_sd(x + j + c);
      for (int v = 0; v < kVectors; ++v)
        acc[c][v] = _mm256_fmadd_pd(_mm256_loadu_pd(bank + (j + c) * kPhases + 4 * v), sample, acc[c][v]);
    }
  for (; j < taps; ++j) {
    const __m256d sample = _mm256_broadcast_sd(x + j);
    for (int v = 0; v < kVectors; ++v)
      acc[0][v] = _mm256_fmadd_pd(_mm256_loadu_pd(bank + j * kPhases + 4 * v), sample, acc[0][v]);
  }
  for (int v = 0; v < kVectors; ++v)
    _mm256_storeu_pd(out + 4 * v, _mm256_add_pd(_mm256_add_pd(acc[0][v], acc[1][v]), _mm256_add_pd(acc[2][v], acc[3][v])));
}

void BankBest(const double* bank, const double* x, int taps, int phases, double* out) {
  if (phases == 8) return BankAvx2<2>(bank, x, taps, out);
  if (phases == 4) return BankAvx2<1>(bank, x, taps, out);
  BankDotProductsScalar(bank, x, taps, phases, out);
}
#else
double DotAvx2(const double* a, const double* b, int n) { return DotProductScalar(a, b, n); }
void DotsAvx2(const double* a, const double* b, int n, int count, double* out) {
  for (int j = 0; j < count; ++j) out[j] = DotProductScalar(a, b + j, n);
}
double DotSse2(const double* a, const double* b, int n) { return DotProductScalar(a, b, n); }
double SymmetricDotAvx2(const double* half, const double* x, int length) {
  return SymmetricDotProductScalar(half, x, length);
}
void SymmetricDotsAvx2(const double* half, const double* x, int length, int stride, int count, double* out) {
  SymmetricDotsScalar(half, x, length, stride, count, out);
}
void BankBest(const double* bank, const double* x, int taps, int phases, double* out) {
  BankDotProductsScalar(bank, x, taps, phases, out);
}
#endif

void BankBest512(const double* bank, const double* x, int taps, int phases, double* out) {
  if (phases == 8) return avx512::Bank8(bank, x, taps, out);
  BankBest(bank, x, taps, phases, out);
}

template <BankFn kEach>
void BankRunOneByOne(const double* bank, const double* x, int taps, int phases, int count, double* out) {
  for (int i = 0; i < count; ++i) kEach(bank, x + i, taps, phases, out + i * phases);
}

void BankRun512(const double* bank, const double* x, int taps, int phases, int count, double* out) {
  if (phases == 8) return avx512::Bank8Run(bank, x, taps, count, out);
  BankRunOneByOne<BankBest>(bank, x, taps, phases, count, out);
}

using Dot = cpu::Dispatch<DotFn, DotAvx2, DotSse2>;
void DotsSse2(const double* a, const double* b, int n, int count, double* out) {
  for (int j = 0; j < count; ++j) out[j] = DotSse2(a, b + j, n);
}
using Dots = cpu::Dispatch<DotsFn, DotsAvx2, DotsSse2, avx512::Dots>;
using Bank = cpu::Dispatch<BankFn, BankBest, BankDotProductsScalar, BankBest512>;
using BankRun = cpu::Dispatch<BankRunFn, BankRunOneByOne<BankBest>, BankRunOneByOne<BankDotProductsScalar>, BankRun512>;
using SymmetricDot = cpu::Dispatch<DotFn, SymmetricDotAvx2, SymmetricDotProductScalar>;
using SymmetricDots = cpu::Dispatch<SymmetricDotsFn, SymmetricDotsAvx2, SymmetricDotsScalar, avx512::SymmetricDots>;

}  // namespace

const std::vector<DotForms>& AvailableDotForms() {
  static const std::vector<DotForms> forms = [] {
    std::vector<DotForms> list;
    if (cpu::HasAvx512()) list.push_back({"avx512", avx512::SymmetricDots, avx512::Dots, BankBest512, BankRun512});
    if (cpu::UseAvx2()) list.push_back({"avx2", SymmetricDotsAvx2, DotsAvx2, BankBest, BankRunOneByOne<BankBest>});
    list.push_back({"baseline", SymmetricDotsScalar, DotsSse2, BankDotProductsScalar,
                     BankRunOneByOne<BankDotProductsScalar>});
    return list;
  }();
  return forms;
}

double DotProductScalar(const double* a, const double* b, int n) {
  double sum = 0.0;
  for (int i = 0; i < n; ++i) sum += a[i] * b[i];
  return sum;
}

double SymmetricDotProductScalar(const double* half, const double* x, int length) {
  const int middle = (length - 1) / 2;
  double sum = 0.0;
  for (int i = 0; i < middle; ++i) sum += half[i] * (x[i] + x[length - 1 - i]);
  return sum + half[middle] * x[middle];
}

void BankDotProductsScalar(const double* bank, const double* x, int taps, int phases, double* out) {
  for (int k = 0; k < phases; ++k) out[k] = 0.0;
  for (int j = 0; j < taps; ++j)
    for (int k = 0; k < phases; ++k) out[k] += bank[j * phases + k] * x[j];
}

void BankDotProducts(const double* bank, const double* x, int taps, int phases, double* out) {
  Bank::Call(bank, x, taps, phases, out);
}

void BankDotProductsRun(const double* bank, const double* x, int taps, int phases, int count, double* out) {
  BankRun::Call(bank, x, taps, phases, count, out);
}

double DotProduct(const double* a, const double* b, int n) { return Dot::Call(a, b, n); }

void DotProducts(const double* a, const double* b, int n, int count, double* out) {
  Dots::Call(a, b, n, count, out);
}

double SymmetricDotProduct(const double* half, const double* x, int length) {
  return SymmetricDot::Call(half, x, length);
}

void SymmetricDotProducts(const double* half, const double* x, int length, int stride, int count, double* out) {
  SymmetricDots::Call(half, x, length, stride, count, out);
}

}  // namespace simd
