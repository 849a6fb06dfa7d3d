#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// RFC 4648 base64, standard alphabet, "=" padding, no line breaks.
std::string Base64Encode(const void* data, size_t size);

// Decodes strict base64 (length a multiple of 4, padding only at the end); anything else is
// refused with no value rather than decoded to a wrong or huge size.
std::optional<std::vector<uint8_t>> Base64Decode(std::string_view text);
