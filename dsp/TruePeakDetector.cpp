#include "dsp/TruePeakDetector.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>

#include "dsp/kernels/TruePeakKernel.h"

void TruePeakDetector::SetTable(const TruePeakTable* table) {
  table_ = table;
  // |y_k| <= sum_m |h_k[m]| * max |x|, a parabolic refinement adds at most an eighth of the top
  // (its offset is at most half a phase), and rounding a little more.
  float largest = 0.0f;
  for (int k = 0; k < TruePeakTable::kPhases; ++k) {
    float sum = 0.0f;
    for (int m = 0; m < kLength; ++m) sum += std::fabs(table->Coefficient(k, m));
    largest = std::max(largest, sum);
  }
  bound_ = std::max(1.0f, largest) * 1.125f * 1.001f;
}

void TruePeakDetector::Reset() {
  std::fill(std::begin(line_), std::end(line_), 0.0f);
  peakHold_ = 0.0f;
}

int TruePeakDetector::Append(const double* x, int n) {
  const int count = std::min(n, kRun);
  for (int i = 0; i < count; ++i) line_[kKept + i] = static_cast<float>(x[i]);
  return count;
}

void TruePeakDetector::KeepNewest(int appended) {
  std::memmove(line_, line_ + appended, kKept * sizeof(float));
}

float TruePeakDetector::Process(float x) {
  line_[kKept] = x;
  // The newest 48 samples, oldest first.
  const float a = truepeak::InterpolatedPeak(*table_, line_, std::fabs(x));
  KeepNewest(1);
  peakHold_ = std::max(peakHold_, a);
  return a;
}

void TruePeakDetector::ProcessRun(const double* x, int n, float* peaks) {
  while (n > 0) {
    const int count = Append(x, n);
    truepeak::InterpolatedPeaks(*table_, line_, count, peaks);
    for (int i = 0; i < count; ++i) peakHold_ = std::max(peakHold_, peaks[i]);
    KeepNewest(count);
    x += count;
    peaks += count;
    n -= count;
  }
}

void TruePeakDetector::HoldRun(const double* x, int n, const float* given, int givenCount) {
  constexpr int kBlock = 8;
  float blockMax[(kKept + kRun) / kBlock + 1];
  givenCount = std::clamp(givenCount, 0, n);
  for (int i = 0; i < givenCount; ++i) peakHold_ = std::max(peakHold_, given[i]);
  while (n > 0) {
    const int count = Append(x, n);
    const int filled = kKept + count;
    for (int b = 0; b * kBlock < filled; ++b) {
      float m = 0.0f;
      for (int j = b * kBlock; j < std::min(filled, (b + 1) * kBlock); ++j) m = std::max(m, std::fabs(line_[j]));
      blockMax[b] = m;
    }
    // The largest magnitude of the windows starting at first .. last: line_[first .. last + 47].
    const auto windowsMax = [&](int first, int last) {
      float m = 0.0f;
      for (int b = first / kBlock; b <= (last + kKept) / kBlock; ++b) m = std::max(m, blockMax[b]);
      return m;
    };
    // Sixteen windows at a time (a vector's worth where the processor has AVX-512, two where it
    // has AVX2), read together unless none can reach the hold: a window that cannot changes
    // nothing either way.
    constexpr int kGroup = 16;
    int i = std::min(givenCount, count);
    givenCount -= i;
    for (; i + kGroup <= count; i += kGroup) {
      if (windowsMax(i, i + kGroup - 1) * bound_ <= peakHold_) continue;
      float peaks[kGroup];
      truepeak::InterpolatedPeaks(*table_, line_ + i, kGroup, peaks);
      for (float p : peaks) peakHold_ = std::max(peakHold_, p);
    }
    for (; i < count; ++i) {
      if (windowsMax(i, i) * bound_ <= peakHold_) continue;
      peakHold_ = std::max(peakHold_, truepeak::InterpolatedPeak(*table_, line_ + i, std::fabs(line_[kKept + i])));
    }
    KeepNewest(count);
    x += count;
    n -= count;
  }
}
