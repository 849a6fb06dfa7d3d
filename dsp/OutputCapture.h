#pragma once

#include <cstddef>
#include <vector>

// The last few seconds of output, kept in single precision for the editor's waveform view.
class OutputCapture {
 public:
  void Resize(int capacity);
  void Push(float left, float right) {
    if (capacity_ < 1) return;
    left_[static_cast<size_t>(index_)] = left;
    right_[static_cast<size_t>(index_)] = right;
    if (++index_ == capacity_) {
      index_ = 0;
      full_ = true;
    }
  }
  int Capacity() const { return capacity_; }
  int Size() const { return full_ ? capacity_ : index_; }
  // Copies the newest min(Size(), maxFrames) frames, oldest first; returns how many.
  int CopyLatest(float* left, float* right, int maxFrames) const;

 private:
  std::vector<float> left_, right_;
  int capacity_ = 0;
  int index_ = 0;
  bool full_ = false;
};
