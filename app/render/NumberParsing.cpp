#include "app/render/NumberParsing.h"

#include <charconv>
#include <cmath>

namespace {

// from_chars takes no '+', but people write "+3" for a gain.
std::string_view StripPlusSign(std::string_view text) {
  if (text.size() >= 2 && text[0] == '+' && text[1] != '+' && text[1] != '-')
    text.remove_prefix(1);
  return text;
}

template <typename Number>
std::optional<Number> ParseWhole(std::string_view text) {
  text = StripPlusSign(TrimSpaces(text));
  Number value{};
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || stop != end || text.empty()) return std::nullopt;
  return value;
}

}  // namespace

std::string_view TrimSpaces(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

std::optional<double> ParseFiniteNumber(std::string_view text) {
  const auto value = ParseWhole<double>(text);
  if (!value || !std::isfinite(*value)) return std::nullopt;
  return value;
}

std::optional<int64_t> ParseWholeNumber(std::string_view text) { return ParseWhole<int64_t>(text); }
