#include "app/ProgressBar.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace {
constexpr double kLongFileSeconds = 60.0;
constexpr int kBarWidth = 40;
}  // namespace

bool ProgressBar::WantedFor(double audioSeconds) {
  return audioSeconds >= kLongFileSeconds && isatty(STDERR_FILENO) != 0;
}

void ProgressBar::Update(double fraction, const std::string& detail) {
  const int percent = static_cast<int>(std::floor(100.0 * std::clamp(fraction, 0.0, 1.0)));
  if (percent == shownPercent_ && detail == shownDetail_) return;
  // Spaces over what a longer detail before left on the line.
  const int erase = std::max(0, static_cast<int>(shownDetail_.size()) - static_cast<int>(detail.size()));
  shownPercent_ = percent;
  shownDetail_ = detail;
  const int filled = percent * kBarWidth / 100;
  const std::string bar(static_cast<size_t>(filled), '#');
  std::fprintf(stream_, "\r[%-*s] %3d%%%s%s%*s", kBarWidth, bar.c_str(), percent,
               detail.empty() ? "" : " ", detail.c_str(), erase, "");
  std::fflush(stream_);
}

void ProgressBar::Finish() {
  if (shownPercent_ < 0) return;
  std::fprintf(stream_, "\r%*s\r", kBarWidth + 9 + static_cast<int>(shownDetail_.size()), "");
  std::fflush(stream_);
  shownPercent_ = -1;
  shownDetail_.clear();
}
