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
