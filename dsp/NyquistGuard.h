#pragma once

// The local amplitude of a signal's content above about 0.45 of the sample rate: half the
// magnitude of a 39-tap highpass, as a maximum over ten samples around a point. A 48-tap
// interpolator reads such content up to half its amplitude low, so this is how far its reading
// may fall short near Nyquist.
class NyquistGuard {
 public:
  NyquistGuard();

  void Reset();
  void Push(float x);
  // The largest highpass magnitude over the samples from `back` - 5 to `back` + 4 before the
  // newest; `back` from 24 to 250.
  float Envelope(int back) const;

 private:
  static constexpr int kRing = 256;  // a power of two: positions wrap by masking
  static constexpr int kTaps = 39;

  alignas(32) float samples_[2 * kRing] = {};  // stored twice, so the newest 40 are one run
  float magnitude_[kRing] = {};                // of the highpass, by the position it describes
  int newest_ = kRing - 1;
  const float* taps_;
};
