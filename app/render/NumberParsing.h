#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// Strict, locale-independent number parsing for command-line values: the whole text (apart from
// surrounding spaces and one leading '+') must be the number, so "12dB", "1,5", "nan" and "inf"
// are all refused rather than half-read.
std::optional<double> ParseFiniteNumber(std::string_view text);
std::optional<int64_t> ParseWholeNumber(std::string_view text);

std::string_view TrimSpaces(std::string_view text);
