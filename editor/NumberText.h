#pragma once

#include <charconv>
#include <string>

// printf-style fixed-point numbers ("%.3f") that ignore the process locale: a host may run with
// a decimal comma, but the page always reads a decimal point.
inline void AppendFixed(std::string& out, double value, int decimals) {
  char buffer[352];  // enough for any double in fixed notation
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  out.append(buffer, result.ptr);
}

inline std::string Fixed(double value, int decimals) {
  std::string text;
  AppendFixed(text, value, decimals);
  return text;
}

// "%.*g" that ignores the process locale; 0 precision: the shortest text that reads back as the
// same double.
inline std::string General(double value, int precision = 0) {
  char buffer[64];
  const auto result = precision > 0
                          ? std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, precision)
                          : std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}
