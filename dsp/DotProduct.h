#pragma once

namespace simd {

// Sum of a[i] * b[i] in double precision, with the best instruction set the processor has
// (AVX2+FMA, else SSE2). Rounding differs from the plain sum only in the last bits.
double DotProduct(const double* a, const double* b, int n);

// The plain form, for reference.
double DotProductScalar(const double* a, const double* b, int n);

// The same for a symmetric filter of odd length (h[i] == h[length - 1 - i]) given by its first
// half and middle tap: mirrored samples are added before they are weighed, half the products.
double SymmetricDotProduct(const double* half, const double* x, int length);
double SymmetricDotProductScalar(const double* half, const double* x, int length);

}  // namespace simd
