#pragma once

// exp and log over whole arrays, in the processor's widest vectors where the system has a vector
// maths library (glibc's libmvec). Each result is within a few units in the last place of the
// scalar function's, not always the same bits: a stage may use these only where a difference of
// that size changes nothing audible or readable. Out may be the input array.
namespace vmath {

void Exp(const double* x, double* out, int n);
void Log(const double* x, double* out, int n);

}  // namespace vmath
