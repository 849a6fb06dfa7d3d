#pragma once

// A class identifier given as four 32-bit words. Its 16 bytes follow the platform's order (see
// host/vst3/Iid.h); its text form is the four words as 32 upper-case hex digits on every
// platform.

#include <string>

#include "host/vst3/Iid.h"

namespace vst3kit {

class Fuid {
 public:
  constexpr Fuid(Steinberg::uint32 l1, Steinberg::uint32 l2, Steinberg::uint32 l3,
                 Steinberg::uint32 l4)
      : words_{l1, l2, l3, l4} {}

  constexpr Steinberg::uint32 Word(int i) const { return words_[i]; }
  constexpr Steinberg::Iid Bytes(
      Steinberg::IidByteOrder order = Steinberg::kPlatformIidOrder) const {
    return Steinberg::MakeIidInOrder(order, words_[0], words_[1], words_[2], words_[3]);
  }
  void CopyTo(Steinberg::TUID out) const;
  bool Matches(const char* tuid) const { return Steinberg::IidEqual(tuid, Bytes()); }
  std::string ToString() const;

 private:
  Steinberg::uint32 words_[4];
};

}  // namespace vst3kit
