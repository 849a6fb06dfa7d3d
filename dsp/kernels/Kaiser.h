#pragma once

#include <algorithm>
#include <cmath>

namespace kaiser {

// Modified Bessel function of the first kind, order 0, summed from its power series until a term
// falls below `tolerance` of the running sum.
inline double BesselI0(double x, double tolerance = 1e-15) {
  const double quarterX2 = 0.25 * x * x;
  double sum = 1.0, term = 1.0;
  for (int k = 1; k < 500; ++k) {
    term *= quarterX2 / (static_cast<double>(k) * k);
    sum += term;
    if (term < tolerance * sum) break;
  }
  return sum;
}

// The Kaiser window at offset t from the centre of a window reaching `half` either side.
inline double Window(double t, double half, double beta, double tolerance = 1e-15) {
  const double r = t / half;
  return BesselI0(beta * std::sqrt(std::max(0.0, 1.0 - r * r)), tolerance) /
         BesselI0(beta, tolerance);
}

}  // namespace kaiser
