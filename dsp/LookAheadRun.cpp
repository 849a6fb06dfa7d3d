#include "dsp/LookAheadRun.h"

#include <algorithm>
#include <cstring>

void LookAheadRun::Resize(int length) {
  length_ = std::clamp(length, 1, kMaxLength);
  std::fill(exact_.begin(), exact_.end(), 0.0);
  std::fill(rounded_.begin(), rounded_.end(), 0.0f);
}

void LookAheadRun::Append(const double* u, int n) {
  const size_t kept = static_cast<size_t>(length_ - 1);
  for (int i = 0; i < n; ++i) {
    exact_[kept + static_cast<size_t>(i)] = u[i];
    rounded_[kept + static_cast<size_t>(i)] = static_cast<float>(u[i]);
  }
  // Summed afresh every run, so the sums stay of the size of what the line holds.
  double sum = 0.0;
  for (size_t k = 0; k < kept + static_cast<size_t>(n); ++k) {
    squares_[k] = sum;
    sum += static_cast<double>(rounded_[k]) * rounded_[k];
  }
  squares_[kept + static_cast<size_t>(n)] = sum;
}

void LookAheadRun::KeepNewest(int n) {
  const size_t kept = static_cast<size_t>(length_ - 1);
  std::memmove(exact_.data(), exact_.data() + n, kept * sizeof(double));
  std::memmove(rounded_.data(), rounded_.data() + n, kept * sizeof(float));
}
