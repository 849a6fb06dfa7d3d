#pragma once

#include <cstddef>
#include <vector>

// Ring of doubles: each Push writes a sample, advances and returns the entry now under the
// position, so a ring of length L delays by L - 1 samples.
class DelayLine {
 public:
  // Keeps the storage when it is large enough, so re-preparing at the same size never allocates.
  void Resize(int length, double fill = 0.0) {
    buffer_.assign(static_cast<size_t>(length < 1 ? 1 : length), fill);
    index_ = 0;
  }
  void Clear() {
    buffer_.assign(buffer_.size(), 0.0);
    index_ = 0;
  }
  int Length() const { return static_cast<int>(buffer_.size()); }

  // The entry j pushes after the one the last Push returned (0 beyond the newest).
  double Ahead(int j) const {
    if (j >= static_cast<int>(buffer_.size())) return 0.0;
    const int i = index_ + j;
    return buffer_[static_cast<size_t>(i < static_cast<int>(buffer_.size()) ? i : i - static_cast<int>(buffer_.size()))];
  }

  double Push(double x) {
    buffer_[static_cast<size_t>(index_)] = x;
    if (++index_ == static_cast<int>(buffer_.size())) index_ = 0;
    return buffer_[static_cast<size_t>(index_)];
  }

 private:
  std::vector<double> buffer_ = std::vector<double>(1, 0.0);
  int index_ = 0;
};
