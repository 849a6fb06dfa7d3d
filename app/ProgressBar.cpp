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

void ProgressBar::Update(double fraction) {
  const int percent = static_cast<int>(std::floor(100.0 * std::clamp(fraction, 0.0, 1.0)));
  if (percent == shownPercent_) return;
  shownPercent_ = percent;
  const int filled = percent * kBarWidth / 100;
  const std::string bar(static_cast<size_t>(filled), '#');
  std::fprintf(stream_, "\r[%-*s] %3d%%", kBarWidth, bar.c_str(), percent);
  std::fflush(stream_);
}

void ProgressBar::Finish() {
  if (shownPercent_ < 0) return;
  std::fprintf(stream_, "\r%*s\r", kBarWidth + 8, "");
  std::fflush(stream_);
  shownPercent_ = -1;
}
