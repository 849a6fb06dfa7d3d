#pragma once

// Little-endian numbers in byte buffers, whatever the machine's own order.

#include <bit>
#include <cstdint>
#include <vector>

inline void AppendLE32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

inline void AppendLE64(std::vector<uint8_t>& out, uint64_t v) {
  for (int shift = 0; shift < 64; shift += 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

inline void AppendDoubleLE(std::vector<uint8_t>& out, double v) {
  AppendLE64(out, std::bit_cast<uint64_t>(v));
}

inline uint32_t ReadLE32(const uint8_t* p) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

inline double ReadDoubleLE(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return std::bit_cast<double>(v);
}
