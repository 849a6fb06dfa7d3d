#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

// Running sums of the last n squared samples of four signals, one lane each, O(1) per sample and
// never re-summed. The four share one ring, slot by slot, so that a block kernel pushes a vector
// of four powers with one load and one store.
class PowerWindows {
 public:
  static constexpr int kLanes = 4;

  void Resize(int length) {
    length_ = length < 1 ? 1 : length;
    ring_.assign(static_cast<size_t>(length_) * kLanes, 0.0);
    Clear();
  }
  void Clear() {
    std::fill(ring_.begin(), ring_.end(), 0.0);
    position_ = 0;
    std::fill(sum_, sum_ + kLanes, 0.0);
  }
  void Push(const double* power) {
    double* slot = Slot(position_);
    for (int lane = 0; lane < kLanes; ++lane) {
      sum_[lane] += power[lane] - slot[lane];
      slot[lane] = power[lane];
    }
    Advance(1);
  }
  double Mean(int lane) const { return sum_[lane] / static_cast<double>(length_); }
  int Length() const { return length_; }

  // For block kernels: the slot to overwrite next and how many follow it before the ring wraps.
  int Position() const { return position_; }
  int UntilWrap() const { return length_ - position_; }
  double* Slot(int position) { return ring_.data() + static_cast<size_t>(position) * kLanes; }
  double* Sums() { return sum_; }
  void Advance(int n) {  // n <= UntilWrap()
    position_ += n;
    if (position_ == length_) position_ = 0;
  }

 private:
  std::vector<double> ring_ = std::vector<double>(kLanes, 0.0);
  int length_ = 1;
  int position_ = 0;
  double sum_[kLanes] = {};
};
