#include "host/vst3kit/Fuid.h"

#include <cstdio>
#include <cstring>

namespace vst3kit {

void Fuid::CopyTo(Steinberg::TUID out) const {
  const Steinberg::Iid bytes = Bytes();
  std::memcpy(out, bytes.bytes, sizeof(bytes.bytes));
}

std::string Fuid::ToString() const {
  char text[33];
  std::snprintf(text, sizeof(text), "%08X%08X%08X%08X", words_[0], words_[1], words_[2],
                words_[3]);
  return text;
}

}  // namespace vst3kit
