#pragma once

// Interface and class identifiers: 16 bytes built from four 32-bit words. Windows lays them out
// as a COM GUID (first word and the two halves of the second little-endian); every other
// platform writes all four words big-endian. Queries compare the 16 bytes, so the order matters.

#include <cstring>

#include "host/vst3/PlatformTypes.h"

namespace Steinberg {

using TUID = char[16];

enum class IidByteOrder { kCom, kBigEndianWords };

#if ZARN_VST3_COM_COMPATIBLE
constexpr IidByteOrder kPlatformIidOrder = IidByteOrder::kCom;
#else
constexpr IidByteOrder kPlatformIidOrder = IidByteOrder::kBigEndianWords;
#endif

struct Iid {
  char bytes[16];
  const char* data() const { return bytes; }
};

constexpr char ByteOf(uint32 word, int shift) { return static_cast<char>((word >> shift) & 0xFF); }

constexpr Iid MakeIidInOrder(IidByteOrder order, uint32 l1, uint32 l2, uint32 l3, uint32 l4) {
  if (order == IidByteOrder::kCom) {
    return Iid{{ByteOf(l1, 0), ByteOf(l1, 8), ByteOf(l1, 16), ByteOf(l1, 24),
                ByteOf(l2, 16), ByteOf(l2, 24), ByteOf(l2, 0), ByteOf(l2, 8),
                ByteOf(l3, 24), ByteOf(l3, 16), ByteOf(l3, 8), ByteOf(l3, 0),
                ByteOf(l4, 24), ByteOf(l4, 16), ByteOf(l4, 8), ByteOf(l4, 0)}};
  }
  return Iid{{ByteOf(l1, 24), ByteOf(l1, 16), ByteOf(l1, 8), ByteOf(l1, 0),
              ByteOf(l2, 24), ByteOf(l2, 16), ByteOf(l2, 8), ByteOf(l2, 0),
              ByteOf(l3, 24), ByteOf(l3, 16), ByteOf(l3, 8), ByteOf(l3, 0),
              ByteOf(l4, 24), ByteOf(l4, 16), ByteOf(l4, 8), ByteOf(l4, 0)}};
}

constexpr Iid MakeIid(uint32 l1, uint32 l2, uint32 l3, uint32 l4) {
  return MakeIidInOrder(kPlatformIidOrder, l1, l2, l3, l4);
}

inline bool IidEqual(const char* a, const Iid& b) {
  return a != nullptr && std::memcmp(a, b.bytes, sizeof(b.bytes)) == 0;
}

}  // namespace Steinberg
