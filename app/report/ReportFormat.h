#pragma once

#include <string>

// How the mastering report writes numbers and text: a real minus sign (U+2212), a fixed number of
// decimals, never "−0.0", and HTML-safe text.
namespace report_format {

inline constexpr const char* kMinus = "\u2212";

// "−14.0"; `decimals` fixed.
std::string Number(double value, int decimals);
// "+6.20", "−0.50", "0.00": for gains, where the direction matters.
std::string Signed(double value, int decimals);
// "3:07" (m:ss), "1:02:03" past an hour.
std::string Clock(double seconds);
std::string Escape(const std::string& text);

}  // namespace report_format
