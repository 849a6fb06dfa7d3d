#include "app/report/ReportFormat.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "editor/NumberText.h"

namespace report_format {

namespace {

// The digits of |value|, and whether what is shown is below zero.
std::string Magnitude(double value, int decimals, bool& negative) {
  if (!std::isfinite(value)) {
    negative = value < 0.0;
    return "\u221E";
  }
  const std::string digits = Fixed(std::fabs(value), decimals);
  negative = value < 0.0 && digits.find_first_not_of("0.") != std::string::npos;
  return digits;
}

}  // namespace

std::string Number(double value, int decimals) {
  bool negative = false;
  const std::string digits = Magnitude(value, decimals, negative);
  return negative ? kMinus + digits : digits;
}

std::string Signed(double value, int decimals) {
  bool negative = false;
  const std::string digits = Magnitude(value, decimals, negative);
  if (negative) return kMinus + digits;
  return digits.find_first_not_of("0.") == std::string::npos ? digits : "+" + digits;
}

std::string Clock(double seconds) {
  const long whole = std::lround(std::max(0.0, seconds));
  char text[32];
  if (whole >= 3600)
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60, whole % 60);
  else
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
  return text;
}

std::string Escape(const std::string& text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&': escaped += "&amp;"; break;
      case '<': escaped += "&lt;"; break;
      case '>': escaped += "&gt;"; break;
      case '"': escaped += "&quot;"; break;
      case '\'': escaped += "&#39;"; break;
      default: escaped += c;
    }
  }
  return escaped;
}

}  // namespace report_format
