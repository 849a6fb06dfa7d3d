#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

namespace bench {

// splitmix64 white noise in [-1, 1) through Paul Kellet's economy pink filter, scaled to -14 dBFS
// RMS: with +12 dB of drive the limiter works on every block.
inline std::vector<double> PinkNoise(size_t frames, uint64_t seed) {
  std::vector<double> x(frames);
  double b0 = 0.0, b1 = 0.0, b2 = 0.0, sum = 0.0;
  for (double& v : x) {
    uint64_t z = (seed += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    const double w = static_cast<double>(z >> 11) * 0x1.0p-52 - 1.0;
    b0 = 0.99765 * b0 + w * 0.0990460;
    b1 = 0.96300 * b1 + w * 0.2965164;
    b2 = 0.57000 * b2 + w * 1.0526913;
    v = b0 + b1 + b2 + w * 0.1848;
    sum += v * v;
  }
  const double gain = std::pow(10.0, -14.0 / 20.0) / std::sqrt(sum / static_cast<double>(frames));
  for (double& v : x) v *= gain;
  return x;
}

}  // namespace bench
