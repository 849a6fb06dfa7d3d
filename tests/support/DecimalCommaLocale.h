#pragma once

#include <clocale>
#include <cstdio>
#include <locale>
#include <stdexcept>
#include <string>

// The process under German conventions (decimal comma) for the guard's lifetime, as a host that
// sets its user's locale runs the plug-in: both the C locale (printf, strtod) and the C++ global
// one (streams). The locales in force before come back when the guard goes. Tests check
// Engaged() with ASSERT_TRUE: a machine without the locale fails them rather than skipping.
class DecimalCommaLocale {
 public:
  static constexpr const char* kName = "de_DE.UTF-8";

  DecimalCommaLocale() : previousGlobal_(std::locale()), previousC_(std::setlocale(LC_ALL, nullptr)) {
    try {
      std::locale::global(std::locale(kName));  // sets the C locale as well
    } catch (const std::runtime_error&) {
      return;
    }
    char text[16];
    std::snprintf(text, sizeof text, "%.1f", 0.5);
    engaged_ = std::string(text) == "0,5";
  }
  ~DecimalCommaLocale() {
    std::locale::global(previousGlobal_);
    std::setlocale(LC_ALL, previousC_.c_str());
  }
  DecimalCommaLocale(const DecimalCommaLocale&) = delete;
  DecimalCommaLocale& operator=(const DecimalCommaLocale&) = delete;

  // True once printf itself writes a decimal comma.
  bool Engaged() const { return engaged_; }

 private:
  std::locale previousGlobal_;
  std::string previousC_;
  bool engaged_ = false;
};
