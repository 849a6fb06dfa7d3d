#pragma once

// The AVX-512 forms of the dot products (DotProduct.h dispatches to them where cpu::HasAvx512()):
// eight doubles a vector, each lane running the chain its four-lane counterpart runs, so every
// result is the AVX2 form's to the bit.
namespace simd::avx512 {

void SymmetricDots(const double* half, const double* x, int length, int stride, int count, double* out);
void Dots(const double* a, const double* b, int n, int count, double* out);
// BankDotProducts for eight phases; and over the `count` windows x + i, four side by side.
void Bank8(const double* bank, const double* x, int taps, double* out);
void Bank8Run(const double* bank, const double* x, int taps, int count, double* out);

}  // namespace simd::avx512

// What every vector form adds after its whole groups of eight products, the same code for all:
// sum plus the products from `from` on (of the symmetric filter: its mirrored pairs, then its
// middle tap).
namespace simd::tail {
double Dot(const double* a, const double* b, int from, int n, double sum);
double Symmetric(const double* half, const double* x, int from, int length, double sum);
}  // namespace simd::tail
