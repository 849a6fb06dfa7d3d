#include "dsp/OutputCapture.h"

#include <algorithm>

void OutputCapture::Resize(int capacity) {
  capacity_ = std::max(0, capacity);
  left_.assign(static_cast<size_t>(capacity_), 0.0f);
  right_.assign(static_cast<size_t>(capacity_), 0.0f);
  index_ = 0;
  full_ = false;
}

int OutputCapture::CopyLatest(float* left, float* right, int maxFrames) const {
  const int n = std::min(Size(), std::max(0, maxFrames));
  int from = index_ - n;
  if (from < 0) from += capacity_;
  for (int i = 0; i < n; ++i) {
    left[i] = left_[static_cast<size_t>(from)];
    right[i] = right_[static_cast<size_t>(from)];
    if (++from == capacity_) from = 0;
  }
  return n;
}
