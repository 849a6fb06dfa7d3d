#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// RFC 4648 base64, standard alphabet, "=" padding, no line breaks.
std::string Base64Encode(const void* data, size_t size);

// Decodes the page's payloads the forgiving way: the size is three quarters of the text length
// less one byte per trailing "=" (at most two, never below zero), and decoding stops at the first
// character outside the alphabet, leaving the rest zero.
std::vector<uint8_t> Base64DecodeLenient(std::string_view text);

// Decodes strict base64 (length a multiple of 4, padding only at the end); anything else is
// refused with no value rather than decoded to a wrong or huge size.
std::optional<std::vector<uint8_t>> Base64Decode(std::string_view text);
