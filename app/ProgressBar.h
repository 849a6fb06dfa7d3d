#pragma once

#include <cstdio>

// A one-line progress bar redrawn in place with '\r'; meant for a terminal.
class ProgressBar {
 public:
  // Only a terminal shows '\r' redraws properly, and short jobs finish before a bar helps.
  static bool WantedFor(double audioSeconds);

  explicit ProgressBar(std::FILE* stream) : stream_(stream) {}
  ~ProgressBar() { Finish(); }
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  // Redraws only when the whole percentage changes.
  void Update(double fraction);
  // Clears the line (once); later updates draw again.
  void Finish();

 private:
  std::FILE* stream_;
  int shownPercent_ = -1;
};
