#include "dsp/kernels/GuardHighpass.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "dsp/kernels/CpuDispatch.h"

namespace guard {

namespace {

constexpr int kTaps = kHighpassTaps;

// The highpass of `count` consecutive windows, window t being x[t .. t + 38], each summed as
// NyquistGuard::Highpass sums it.
void HighpassesPlain(const float* taps, const float* x, int count, float* out) {
  for (int t = 0; t < count; ++t) {
    const float* window = x + t;
    float acc[4] = {};
    for (int m = 0; m < kTaps - 3; m += 4)
      for (int k = 0; k < 4; ++k) acc[k] += taps[m + k] * window[m + k];
    acc[0] += taps[kTaps - 3] * window[kTaps - 3];
    acc[1] += taps[kTaps - 2] * window[kTaps - 2];
    acc[2] += taps[kTaps - 1] * window[kTaps - 1];
    out[t] = (acc[0] + acc[1]) + (acc[2] + acc[3]);
  }
}

#if defined(__x86_64__) || defined(__i386__)
// kLanes windows a pass, one per lane, in the plain form's four chains with separate multiplies and
// adds: every lane gives exactly the plain sum. Returns how many windows it took; inlined into each
// form, so its vectors are that form's.
template <int kLanes>
inline __attribute__((always_inline)) int HighpassPasses(const float* taps, const float* x, int count, float* out) {
  typedef float Lanes __attribute__((vector_size(4 * kLanes)));
  int t = 0;
  for (; t + kLanes <= count; t += kLanes) {
    Lanes acc[4] = {};
    const auto add = [&](int k, int m) __attribute__((always_inline)) {
      Lanes window;
      std::memcpy(&window, x + t + m, sizeof window);
      acc[k] += taps[m] * window;
    };
    for (int m = 0; m < kTaps - 3; m += 4)
      for (int k = 0; k < 4; ++k) add(k, m + k);
    for (int k = 0; k < 3; ++k) add(k, kTaps - 3 + k);
    const Lanes sum = (acc[0] + acc[1]) + (acc[2] + acc[3]);
    std::memcpy(out + t, &sum, sizeof sum);
  }
  return t;
}

// AVX2 without FMA in the instruction set, so nothing is fused.
__attribute__((target("avx2"))) void HighpassesAvx2(const float* taps, const float* x, int count, float* out) {
  const int t = HighpassPasses<8>(taps, x, count, out);
  HighpassesPlain(taps, x + t, count - t, out + t);
}

// AVX-512 has fused multiply-adds, which GCC would make of a product and its sum (clang does not
// across statements).
#if defined(__GNUC__) && !defined(__clang__)
#define ZARN_UNFUSED __attribute__((optimize("fp-contract=off")))
#else
#define ZARN_UNFUSED
#endif
__attribute__((target("avx512f,avx2"))) ZARN_UNFUSED void HighpassesAvx512(const float* taps, const float* x,
                                                                          int count, float* out) {
  const int t = HighpassPasses<16>(taps, x, count, out);
  HighpassesAvx2(taps, x + t, count - t, out + t);
}
#else
void HighpassesAvx2(const float* taps, const float* x, int count, float* out) {
  HighpassesPlain(taps, x, count, out);
}
void HighpassesAvx512(const float* taps, const float* x, int count, float* out) {
  HighpassesPlain(taps, x, count, out);
}
#endif

using HighpassesFn = void (*)(const float*, const float*, int, float*);
using HighpassesDispatch = cpu::Dispatch<HighpassesFn, HighpassesAvx2, HighpassesPlain, HighpassesAvx512>;

}  // namespace

void Highpasses(const float* taps, const float* x, int count, float* out) {
  HighpassesDispatch::Call(taps, x, count, out);
}

}  // namespace guard
