#pragma once

#include <vector>

#include "dsp/DelayLine.h"

// The limiter's look-ahead: a DelayLine that also keeps its entries as floats, each twice, so
// that what still lies ahead of the sample leaving is one straight run the peak catcher can read
// in place.
class LookAheadLine {
 public:
  void Resize(int length) {
    line_.Resize(length);
    mirror_.assign(2 * static_cast<size_t>(line_.Length()), 0.0f);
    index_ = 0;
  }
  int Length() const { return line_.Length(); }

  double Push(double x) {
    const int length = line_.Length();
    mirror_[static_cast<size_t>(index_)] = mirror_[static_cast<size_t>(index_ + length)] = static_cast<float>(x);
    if (++index_ == length) index_ = 0;
    return line_.Push(x);
  }

  void CopyAhead(int count, double gain, float* out) const { line_.CopyAhead(count, gain, out); }
  // The entries after the one the last Push returned, oldest first: Length() - 1 of them.
  const float* Ahead() const { return mirror_.data() + index_ + 1; }

 private:
  DelayLine line_;
  std::vector<float> mirror_ = std::vector<float>(2, 0.0f);
  int index_ = 0;
};
