#pragma once

namespace simd {

// out[j] = static_cast<float>(gain * x[j]) for j < n: the product rounded to double, then to
// float, exactly as the plain loop rounds it, eight or four at a time where the processor has
// AVX-512 or AVX2.
void ScaledToFloat(const double* x, double gain, int n, float* out);
void ScaledToFloatPlain(const double* x, double gain, int n, float* out);

}  // namespace simd
