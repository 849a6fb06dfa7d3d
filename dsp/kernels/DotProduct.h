#pragma once

#include <vector>

namespace simd {

// Sum of a[i] * b[i] in double precision, with the best instruction set the processor has
// (AVX2+FMA, else SSE2). Rounding differs from the plain sum only in the last bits.
double DotProduct(const double* a, const double* b, int n);

// out[j] = DotProduct(a, b + j, n) for j < count, bit for bit: four windows side by side where
// the processor has AVX2+FMA, each summed as it is alone.
void DotProducts(const double* a, const double* b, int n, int count, double* out);

// The plain form, for reference.
double DotProductScalar(const double* a, const double* b, int n);

// The same for a symmetric filter of odd length (h[i] == h[length - 1 - i]) given by its first
// half and middle tap: mirrored samples are added before they are weighed, half the products.
double SymmetricDotProduct(const double* half, const double* x, int length);
double SymmetricDotProductScalar(const double* half, const double* x, int length);
// out[j] = SymmetricDotProduct(half, x + j * stride, length) for j < count, bit for bit: four
// windows go side by side where the processor has AVX2+FMA, each summed as it is alone, so the
// additions of one need not wait on each other's.
void SymmetricDotProducts(const double* half, const double* x, int length, int stride, int count, double* out);

// out[k] = sum over j < taps of bank[j * phases + k] * x[j], for k < phases: the phases of a
// polyphase filter stored tap-major, all read in one pass over the samples. Four or eight phases
// go four to a vector where the processor has AVX2+FMA.
void BankDotProducts(const double* bank, const double* x, int taps, int phases, double* out);
void BankDotProductsScalar(const double* bank, const double* x, int taps, int phases, double* out);
// BankDotProducts of the `count` windows x + i, into out + i * phases, bit for bit: four windows
// side by side where the processor has AVX-512 and there are eight phases.
void BankDotProductsRun(const double* bank, const double* x, int taps, int phases, int count, double* out);

// Every form of the three run forms above this processor can run, the one they use first: the
// vector forms give the same sums to the bit.
using SymmetricDotsFn = void (*)(const double*, const double*, int, int, int, double*);
using DotsFn = void (*)(const double*, const double*, int, int, double*);
using BankFn = void (*)(const double*, const double*, int, int, double*);
using BankRunFn = void (*)(const double*, const double*, int, int, int, double*);
struct DotForms {
  const char* name;
  SymmetricDotsFn symmetricDots;
  DotsFn dots;
  BankFn bank;
  BankRunFn bankRun;
};
const std::vector<DotForms>& AvailableDotForms();

}  // namespace simd
