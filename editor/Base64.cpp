#include "editor/Base64.h"

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int DecodeChar(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::string Base64Encode(const void* data, size_t size) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  std::string out;
  out.reserve((size + 2) / 3 * 4);
  for (size_t i = 0; i < size; i += 3) {
    const uint32_t b0 = bytes[i];
    const uint32_t b1 = i + 1 < size ? bytes[i + 1] : 0;
    const uint32_t b2 = i + 2 < size ? bytes[i + 2] : 0;
    const uint32_t triple = (b0 << 16) | (b1 << 8) | b2;
    out += kAlphabet[(triple >> 18) & 63];
    out += kAlphabet[(triple >> 12) & 63];
    out += i + 1 < size ? kAlphabet[(triple >> 6) & 63] : '=';
    out += i + 2 < size ? kAlphabet[triple & 63] : '=';
  }
  return out;
}

std::optional<std::vector<uint8_t>> Base64Decode(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::vector<uint8_t> out;
  out.reserve(text.size() / 4 * 3);
  for (size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    int padding = 0;
    uint32_t triple = 0;
    for (size_t k = 0; k < 4; ++k) {
      const char c = text[i + k];
      if (c == '=' && last && k >= 2) {
        ++padding;
        triple <<= 6;
        continue;
      }
      const int value = DecodeChar(c);
      if (value < 0 || padding > 0) return std::nullopt;  // a character after padding
      triple = (triple << 6) | static_cast<uint32_t>(value);
    }
    out.push_back(static_cast<uint8_t>(triple >> 16));
    if (padding < 2) out.push_back(static_cast<uint8_t>(triple >> 8));
    if (padding < 1) out.push_back(static_cast<uint8_t>(triple));
  }
  return out;
}

std::vector<uint8_t> Base64DecodeLenient(std::string_view text) {
  size_t padding = 0;
  while (padding < 2 && padding < text.size() && text[text.size() - 1 - padding] == '=') ++padding;
  const size_t whole = text.size() * 3 / 4;
  std::vector<uint8_t> out(whole > padding ? whole - padding : 0, 0);
  uint32_t bits = 0;
  int bitCount = 0;
  size_t written = 0;
  for (const char c : text) {
    const int value = DecodeChar(c);
    if (value < 0) break;
    bits = (bits << 6) | static_cast<uint32_t>(value);
    bitCount += 6;
    if (bitCount >= 8) {
      bitCount -= 8;
      if (written < out.size()) out[written++] = static_cast<uint8_t>(bits >> bitCount);
      bits &= (1u << bitCount) - 1;
    }
  }
  return out;
}
