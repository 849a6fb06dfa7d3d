#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

// Running sum of the last n squared samples: O(1) per sample, never re-summed.
class PowerWindow {
 public:
  void Resize(int length) {
    ring_.assign(static_cast<size_t>(length < 1 ? 1 : length), 0.0);
    Clear();
  }
  void Clear() {
    std::fill(ring_.begin(), ring_.end(), 0.0);
    position_ = 0;
    sum_ = 0.0;
  }
  void Push(double power) {
    double& slot = ring_[static_cast<size_t>(position_)];
    sum_ += power - slot;
    slot = power;
    if (++position_ == static_cast<int>(ring_.size())) position_ = 0;
  }
  double Mean() const { return sum_ / static_cast<double>(ring_.size()); }
  int Length() const { return static_cast<int>(ring_.size()); }

 private:
  std::vector<double> ring_ = std::vector<double>(1, 0.0);
  int position_ = 0;
  double sum_ = 0.0;
};
