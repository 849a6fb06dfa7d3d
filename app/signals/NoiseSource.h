#pragma once

#include <cstdint>

// Uniform white noise from the splitmix64 sequence: tiny, fast and identical on every platform
// and standard library (std:: distributions are not), so generated signals are reproducible.
class NoiseSource {
 public:
  explicit NoiseSource(uint64_t seed) : state_(seed) {}

  // Uniform in [-1, 1).
  double Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) * 0x1.0p-52 - 1.0;
  }

 private:
  uint64_t state_;
};
