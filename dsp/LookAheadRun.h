#pragma once

#include <cstddef>
#include <vector>

// The limiter's look-ahead, taken a run at a time: the last L - 1 inputs kept, the run appended
// after them, so that at every step of the run the sample leaving (the input L - 1 steps back)
// and everything still ahead of it lie in one straight stretch of memory, as doubles and as
// floats. The storage is sized once for the longest line, so Resize never allocates.
class LookAheadRun {
 public:
  static constexpr int kMaxLength = 4096;
  static constexpr int kRun = 256;  // inputs per Append

  LookAheadRun()
      : exact_(kMaxLength + kRun, 0.0), rounded_(kMaxLength + kRun, 0.0f), squares_(kMaxLength + kRun + 1, 0.0) {}

  void Resize(int length);  // 1 .. kMaxLength; clears the line
  int Length() const { return length_; }

  // Appends n <= kRun inputs: steps 0 .. n - 1 of the run.
  void Append(const double* u, int n);
  // Drops the run's first n steps, keeping the newest L - 1 inputs for the next run.
  void KeepNewest(int n);

  // The sample leaving at step i of the run.
  double Leaving(int i) const { return exact_[static_cast<size_t>(i)]; }
  // The L - 1 inputs after it, oldest first.
  const double* AheadExact(int i) const { return exact_.data() + i + 1; }
  const float* Ahead(int i) const { return rounded_.data() + i + 1; }
  // Running sums of the squares of the floats: AheadSquares(i)[k] - AheadSquares(i)[0] is the sum
  // over Ahead(i)[0 .. k - 1]; valid once the run is appended.
  const double* AheadSquares(int i) const { return squares_.data() + i + 1; }

 private:
  std::vector<double> exact_;
  std::vector<float> rounded_;
  std::vector<double> squares_;
  int length_ = 1;
};
