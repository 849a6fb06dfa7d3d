#pragma once

// Text conversions at the interface: UTF-8 inside, UTF-16 (String128 and friends) and fixed
// 8-bit fields outside. Every copy into a fixed field is cut to fit, terminated and zero-filled.

#include <cstddef>
#include <string>
#include <string_view>

#include "host/vst3/PlatformTypes.h"

namespace vst3kit {

std::u16string Utf8ToUtf16(std::string_view utf8);
// Reads at most maxUnits code units, stopping at a terminator.
std::string Utf16ToUtf8(const char16_t* utf16, std::size_t maxUnits);

// Copies into an 8-bit field of `size` bytes.
void CopyToField(char* field, std::size_t size, std::string_view text);
// Copies UTF-8 text, converted, into a UTF-16 field of `size` code units.
void CopyToField(char16_t* field, std::size_t size, std::string_view utf8);

template <std::size_t N>
void CopyToField(char (&field)[N], std::string_view text) {
  CopyToField(field, N, text);
}
template <std::size_t N>
void CopyToField(char16_t (&field)[N], std::string_view utf8) {
  CopyToField(field, N, utf8);
}

}  // namespace vst3kit
