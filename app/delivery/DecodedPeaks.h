#pragma once

#include <cstdint>
#include <vector>

// The full-band true-peak reading of one decoded channel: its highest peak and the number of
// sample intervals whose reconstruction rises above full scale.
struct DecodedPeaks {
  float peak = 0.0f;  // linear
  int64_t overs = 0;
};

DecodedPeaks ReadDecodedPeaks(const std::vector<double>& channel);
