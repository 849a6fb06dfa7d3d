#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace signals {

// Frames in `seconds` at `sampleRate`, rounded; never negative.
inline size_t FrameCount(double sampleRate, double seconds) {
  return static_cast<size_t>(std::max(0L, std::lround(sampleRate * seconds)));
}

}  // namespace signals
