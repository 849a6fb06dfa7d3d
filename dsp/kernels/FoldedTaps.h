#pragma once

// A 16-phase interpolation filter bank whose prototype is symmetric, stored folded: phase 15 - k
// is phase k reversed in time, so with a_i = x[i] + x[N-1-i] and b_i = x[i] - x[N-1-i] (i < N/2)
//   y[k]      = sum_i S[i][k] a_i + D[i][k] b_i
//   y[15 - k] = sum_i S[i][k] a_i - D[i][k] b_i
// where S and D are half the sum and half the difference of phase k's weights at i and N-1-i:
// half the multiply-adds of the plain form, and one 8-float vector per tap for all 16 phases.
template <int N>
struct FoldedTaps {
  static constexpr int kHalf = N / 2;
  static_assert(N % 16 == 0);

  alignas(32) float sum[kHalf][8] = {};
  alignas(32) float diff[kHalf][8] = {};
  // The same by groups of four taps, for one window in vectors of four taps of two phases:
  // sumQuads[g][p] holds sum[4g .. 4g + 3][p], then sum[4g .. 4g + 3][p + 4] (p < 4).
  static constexpr int kQuads = kHalf / 4;
  static_assert(kHalf % 4 == 0);
  alignas(32) float sumQuads[kQuads][4][8] = {};
  alignas(32) float diffQuads[kQuads][4][8] = {};
  // Both side by side, for sixteen-lane vectors: pairQuads[g][p] is sumQuads[g][p] then diffQuads[g][p].
  alignas(64) float pairQuads[kQuads][4][16] = {};

  // weight(k, i): phase k's weight of window[i], the window oldest first.
  template <typename Weight>
  void Fold(Weight weight) {
    for (int i = 0; i < kHalf; ++i)
      for (int k = 0; k < 8; ++k) {
        const double near = weight(k, i), far = weight(k, N - 1 - i);
        sum[i][k] = static_cast<float>(0.5 * (near + far));
        diff[i][k] = static_cast<float>(0.5 * (near - far));
      }
    for (int i = 0; i < kHalf; ++i)
      for (int p = 0; p < 4; ++p)
        for (int half = 0; half < 2; ++half) {
          sumQuads[i / 4][p][4 * half + i % 4] = sum[i][p + 4 * half];
          diffQuads[i / 4][p][4 * half + i % 4] = diff[i][p + 4 * half];
        }
    for (int g = 0; g < kQuads; ++g)
      for (int p = 0; p < 4; ++p)
        for (int lane = 0; lane < 8; ++lane) {
          pairQuads[g][p][lane] = sumQuads[g][p][lane];
          pairQuads[g][p][8 + lane] = diffQuads[g][p][lane];
        }
  }
};

namespace folded {

// y[k], k = 0..15, from a window of N samples, oldest first. Dispatches once to AVX2+FMA where
// the processor has it, else SSE2 (the x86-64 baseline), else plain C++.
void Interpolate(const FoldedTaps<48>& taps, const float* window, float* y);
void Interpolate(const FoldedTaps<256>& taps, const float* window, float* y);
// The baseline form alone, to check the vector one against.
void InterpolateBaseline(const FoldedTaps<48>& taps, const float* window, float* y);
void InterpolateBaseline(const FoldedTaps<256>& taps, const float* window, float* y);

}  // namespace folded
