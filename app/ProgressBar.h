#pragma once

#include <cstdio>
#include <string>

// A one-line progress bar redrawn in place with '\r'; meant for a terminal.
class ProgressBar {
 public:
  // Only a terminal shows '\r' redraws properly, and short jobs finish before a bar helps.
  static bool WantedFor(double audioSeconds);

  explicit ProgressBar(std::FILE* stream) : stream_(stream) {}
  ~ProgressBar() { Finish(); }
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  // Redraws only when the whole percentage or the detail after it changes.
  void Update(double fraction, const std::string& detail = "");
  // Clears the line (once); later updates draw again.
  void Finish();

 private:
  std::FILE* stream_;
  int shownPercent_ = -1;
  std::string shownDetail_;
};
