#pragma once

namespace simd {

// Sum of a[i] * b[i] in double precision, with the best instruction set the processor has
// (AVX-512, AVX2+FMA, else SSE2). Rounding differs from the plain sum only in the last bits.
double DotProduct(const double* a, const double* b, int n);

// The plain form, for reference.
double DotProductScalar(const double* a, const double* b, int n);

}  // namespace simd
