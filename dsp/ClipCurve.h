#pragma once

// The Loud stage's three shaping curves around a threshold t, odd-symmetric: Soft (a polynomial
// knee from kappa t), Cubic (from t / 2) and Hard (a plain clip at t).
struct ClipCurve {
  enum Mode : int { kSoft = 0, kCubic = 1, kHard = 2 };

  int mode = kSoft;
  double threshold = 0.891;
  double kappa = 0.66;

  double Apply(double x) const;
  // out[i] = Apply(in[i] + offset) - shift for i < n (in place allowed), four values a pass
  // where the processor has AVX2, each with exactly Apply's arithmetic.
  void ApplyAll(const double* in, double offset, double shift, int n, double* out) const;
};
