#pragma once

#include <algorithm>
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

  // The entries 1..count pushes after the one the last Push returned, times `gain`, into out
  // (0 beyond the newest).
  void CopyAhead(int count, double gain, float* out) const {
    const int size = static_cast<int>(buffer_.size());
    const int known = std::min(count, size - 1);
    const int first = index_ + 1 < size ? index_ + 1 : 0;
    const int run = std::min(known, size - first);  // up to the end of the buffer, then from 0
    for (int j = 0; j < run; ++j) out[j] = static_cast<float>(gain * buffer_[static_cast<size_t>(first + j)]);
    for (int j = run; j < known; ++j) out[j] = static_cast<float>(gain * buffer_[static_cast<size_t>(j - run)]);
    std::fill(out + known, out + count, 0.0f);
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
