#pragma once

// The local amplitude of a signal's content above about 0.45 of the sample rate: half the
// magnitude of a 39-tap highpass, as a maximum over ten samples around a point. A 48-tap
// interpolator reads such content up to half its amplitude low, so this is how far its reading
// may fall short near Nyquist.
class NyquistGuard {
 public:
  static constexpr int kMaxRun = 256;  // PushRun takes longer runs in parts

  NyquistGuard();

  void Reset();
  void Push(float x);
  void PushRun(const float* x, int n);  // as Push on each in turn
  // The largest highpass magnitude over the samples from `back` - 5 to `back` + 4 before the
  // newest; `back` from 24 to 500.
  float Envelope(int back) const;
  // Envelope(firstBack - i) for i < count (count <= kMaxRun): the envelopes of consecutive
  // samples, as a sliding maximum over one pass.
  void Envelopes(int firstBack, int count, float* envelopes) const;

 private:
  static constexpr int kRing = 512;  // a power of two: positions wrap by masking
  static constexpr int kTaps = 39;

  // The highpass of the sample at `position`, given its value (read from the register, not from
  // the ring just written).
  float Highpass(int position, float x) const;

  float samples_[2 * kRing] = {};  // stored twice, so the newest 39 are one run
  float magnitude_[kRing] = {};  // of the highpass, by the position it describes
  int newest_ = kRing - 1;
  const float* taps_;
};
