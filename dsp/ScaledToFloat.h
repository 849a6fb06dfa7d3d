#pragma once

namespace simd {

// out[j] = static_cast<float>(gain * x[j]) for j < n: the product rounded to double, then to
// float, exactly as the plain loop rounds it, eight or four at a time where the processor has
// AVX-512 or AVX2.
void ScaledToFloat(const double* x, double gain, int n, float* out);
void ScaledToFloatPlain(const double* x, double gain, int n, float* out);

// out[0 .. m) = head[0 .. m), then ScaledToFloat(x, gain, n, out + m): a window whose first part is
// known and whose rest is scaled, in one pass. The copy is made in vector moves, as the library's
// copy of a few hundred bytes takes longer to start than to do. `head` and `out` do not overlap.
void CopyThenScaled(const float* head, int m, const double* x, double gain, int n, float* out);

}  // namespace simd
