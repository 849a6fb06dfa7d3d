#include "dsp/NyquistGuard.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <numbers>

#include "dsp/kernels/GuardHighpass.h"
#include "dsp/kernels/Kaiser.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace {

constexpr int kTaps = guard::kHighpassTaps;
constexpr int kCentre = (kTaps - 1) / 2;  // the highpass describes the sample 19 back

// Half of (identity - lowpass at 0.455 of the sample rate), Kaiser beta 5. Its gain stays above
// the 48-tap interpolator's shortfall at every frequency (0.5 at Nyquist, 0.3 at 0.46, 0.04 at
// 0.43) and is negligible below 0.42.
struct GuardTaps {
  alignas(32) float taps[kTaps + 1] = {};  // one zero tap of padding

  GuardTaps() {
    constexpr double kCutoff = 0.455, kBeta = 5.0;
    double lowpass[kTaps], sum = 0.0;
    for (int n = 0; n < kTaps; ++n) {
      const double t = n - kCentre;
      const double window = kaiser::Window(t, kCentre + 1, kBeta);
      const double sinc = t == 0.0 ? 2.0 * kCutoff
                                   : std::sin(2.0 * std::numbers::pi * kCutoff * t) /
                                         (std::numbers::pi * t);
      lowpass[n] = sinc * window;
      sum += lowpass[n];
    }
    for (int n = 0; n < kTaps; ++n)
      taps[n] = static_cast<float>((n == kCentre ? 0.5 : 0.0) - 0.5 * lowpass[n] / sum);
  }
};

}  // namespace

NyquistGuard::NyquistGuard() {
  static const GuardTaps guard;
  taps_ = guard.taps;
}

void NyquistGuard::Reset() {
  std::fill(std::begin(samples_), std::end(samples_), 0.0f);
  std::fill(std::begin(magnitude_), std::end(magnitude_), 0.0f);
  newest_ = kRing - 1;
}

float NyquistGuard::Highpass(int position, float x) const {
  const float* window = samples_ + ((position - (kTaps - 1)) & (kRing - 1));  // oldest first
  float acc[4] = {};
  for (int m = 0; m < kTaps - 3; m += 4)
    for (int k = 0; k < 4; ++k) acc[k] += taps_[m + k] * window[m + k];
  acc[0] += taps_[kTaps - 3] * window[kTaps - 3];
  acc[1] += taps_[kTaps - 2] * window[kTaps - 2];
  acc[2] += taps_[kTaps - 1] * x;
  return (acc[0] + acc[1]) + (acc[2] + acc[3]);
}

void NyquistGuard::Push(float x) {
  newest_ = (newest_ + 1) & (kRing - 1);
  samples_[newest_] = samples_[newest_ + kRing] = x;
  magnitude_[(newest_ - kCentre) & (kRing - 1)] = std::fabs(Highpass(newest_, x));
}

void NyquistGuard::PushRun(const float* x, int n) {
  while (n > 0) {
    const int count = std::min(n, kMaxRun);
    for (int i = 0; i < count; ++i) {
      const int position = (newest_ + 1 + i) & (kRing - 1);
      samples_[position] = samples_[position + kRing] = x[i];
    }
    // The window of each new sample, oldest first, starts 38 before it; with every sample stored
    // twice, the windows of the whole run are one straight stretch.
    const int first = (newest_ + 1 - (kTaps - 1)) & (kRing - 1);
    float highpass[kMaxRun];
    guard::Highpasses(taps_, samples_ + first, count, highpass);
    for (int i = 0; i < count; ++i)
      magnitude_[(newest_ + 1 + i - kCentre) & (kRing - 1)] = std::fabs(highpass[i]);
    newest_ = (newest_ + count) & (kRing - 1);
    x += count;
    n -= count;
  }
}

float NyquistGuard::Envelope(int back) const {
  float envelope = 0.0f;
  for (int j = back - 5; j <= back + 4; ++j)
    envelope = std::max(envelope, magnitude_[(newest_ - j) & (kRing - 1)]);
  return envelope;
}

void NyquistGuard::Envelopes(int firstBack, int count, float* envelopes) const {
  constexpr int kSpan = 10;  // back - 5 .. back + 4
  count = std::clamp(count, 0, kMaxRun);
  // The magnitudes the windows cover, oldest first: window i is line[i .. i + 9].
  float line[kMaxRun + kSpan - 1];
  const int oldest = newest_ - (firstBack + 4);
  for (int m = 0; m < count + kSpan - 1; ++m) line[m] = magnitude_[(oldest + m) & (kRing - 1)];
  int i = 0;
#if defined(__x86_64__) || defined(__i386__)
  // Magnitudes are never NaN, so the vector maximum is the same whatever the order.
  for (; i + 4 <= count; i += 4) {
    __m128 envelope = _mm_loadu_ps(line + i);
    for (int m = 1; m < kSpan; ++m) envelope = _mm_max_ps(envelope, _mm_loadu_ps(line + i + m));
    _mm_storeu_ps(envelopes + i, envelope);
  }
#endif
  for (; i < count; ++i) envelopes[i] = *std::max_element(line + i, line + i + kSpan);
}
