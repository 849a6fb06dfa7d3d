#pragma once

#include <cstdint>
#include <vector>

// Deterministic signals for demos and tests; the same arguments always give the same samples.
namespace signals {

struct Stereo {
  std::vector<double> left, right;
  double sampleRate = 48000.0;
};

// About ten seconds of music-like material at 120 bpm: kick, snare and hi-hats with sharp
// attacks over a sustained chord of detuned harmonic voices spread across the stereo field,
// band-limited as a converter would record it, scaled to a sample peak of -2 dBFS (so +9 dB of
// drive drives it 7 dB over full scale).
Stereo Demo(double sampleRate, double seconds = 10.0);

// Pink noise (Paul Kellet's filter on uniform white noise), band-limited as a converter would
// record it, with each channel scaled exactly to the RMS level; the two channels are independent.
Stereo PinkNoise(double sampleRate, double seconds, double rmsDbfs, uint32_t seed);

// A sine at a quarter of the sample rate, sampled 45 degrees off its zero crossings: every
// sample is +-1 (0 dBFS) while the waveform between them peaks at sqrt(2), +3.01 dBTP.
Stereo IntersamplePeakTone(double sampleRate, double seconds);

std::vector<double> Sine(double sampleRate, double frequency, double amplitude, int frames,
                         double phase = 0.0);

}  // namespace signals
