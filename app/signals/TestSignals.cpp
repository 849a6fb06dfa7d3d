#include "app/signals/TestSignals.h"

#include <cmath>
#include <numbers>

#include "app/audio/Decibels.h"
#include "app/signals/ConverterFilter.h"
#include "app/signals/NoiseSource.h"
#include "app/signals/SignalTiming.h"

namespace signals {
namespace {

// Paul Kellet's "refined" pink filter: six one-pole sections whose sum falls 3 dB per octave
// within +-0.05 dB above about 10 Hz.
class PinkFilter {
 public:
  double Process(double white) {
    b_[0] = 0.99886 * b_[0] + white * 0.0555179;
    b_[1] = 0.99332 * b_[1] + white * 0.0750759;
    b_[2] = 0.96900 * b_[2] + white * 0.1538520;
    b_[3] = 0.86650 * b_[3] + white * 0.3104856;
    b_[4] = 0.55000 * b_[4] + white * 0.5329522;
    b_[5] = -0.7616 * b_[5] - white * 0.0168980;
    const double pink = b_[0] + b_[1] + b_[2] + b_[3] + b_[4] + b_[5] + b_[6] + white * 0.5362;
    b_[6] = white * 0.115926;
    return pink;
  }

 private:
  double b_[7] = {};
};

void ScaleToRms(std::vector<double>& samples, double rmsDbfs) {
  double sumOfSquares = 0.0;
  for (double x : samples) sumOfSquares += x * x;
  if (sumOfSquares <= 0.0) return;
  const double rms = std::sqrt(sumOfSquares / static_cast<double>(samples.size()));
  const double gain = DbToAmplitude(rmsDbfs) / rms;
  for (double& x : samples) x *= gain;
}

std::vector<double> PinkChannel(size_t frames, double rmsDbfs, uint64_t seed) {
  NoiseSource white(seed);
  PinkFilter filter;
  std::vector<double> samples(frames);
  for (double& x : samples) x = filter.Process(white.Next());
  samples = BandLimitLikeConverter(samples);
  ScaleToRms(samples, rmsDbfs);
  return samples;
}

}  // namespace

Stereo PinkNoise(double sampleRate, double seconds, double rmsDbfs, uint32_t seed) {
  const size_t frames = FrameCount(sampleRate, seconds);
  const uint64_t channelSeed = static_cast<uint64_t>(seed) << 1;
  return {PinkChannel(frames, rmsDbfs, channelSeed), PinkChannel(frames, rmsDbfs, channelSeed | 1),
          sampleRate};
}

Stereo IntersamplePeakTone(double sampleRate, double seconds) {
  // sin(2 pi n / 4 + pi / 4) * sqrt(2) is exactly +1, +1, -1, -1, ...; written as that pattern so
  // no rounding of sin() pushes a sample past full scale.
  std::vector<double> tone(FrameCount(sampleRate, seconds));
  for (size_t n = 0; n < tone.size(); ++n) tone[n] = (n % 4 < 2) ? 1.0 : -1.0;
  return {tone, tone, sampleRate};
}

std::vector<double> Sine(double sampleRate, double frequency, double amplitude, int frames,
                         double phase) {
  std::vector<double> samples(static_cast<size_t>(std::max(0, frames)));
  const double cyclesPerSample = frequency / sampleRate;
  for (size_t n = 0; n < samples.size(); ++n) {
    // Whole cycles are dropped before the multiplication by 2 pi to keep long tones accurate.
    const double cycles = std::fmod(static_cast<double>(n) * cyclesPerSample, 1.0);
    samples[n] = amplitude * std::sin(2.0 * std::numbers::pi * cycles + phase);
  }
  return samples;
}

}  // namespace signals
