#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class LimiterEngine;
class ZARN;

// Block-wise rendering through the engine or the plug-in object, and a noise source that needs
// nothing outside the test tree (the ThreadSanitizer build has no app library).
namespace render {

struct Stereo {
  std::vector<double> left, right;
  size_t Frames() const { return left.size(); }
};

// The signal in consecutive blocks of blockSize frames (the last one may be shorter).
Stereo ThroughEngine(LimiterEngine& engine, const Stereo& input, int blockSize);
// Stereo layout: two inputs, two outputs.
Stereo ThroughPlugin(ZARN& plugin, const Stereo& input, int blockSize);
// Mono layout: the plug-in must have been set up with one input and one output.
std::vector<double> ThroughPluginMono(ZARN& plugin, const std::vector<double>& input,
                                      int blockSize);

// Independent pink-ish noise per channel (white noise through a three-pole -3 dB/octave
// approximation) scaled to an RMS level; the same seed always gives the same samples.
Stereo Noise(double sampleRate, double seconds, double rmsDbfs, uint32_t seed);

// Uniform white noise in [-1, 1), flat up to the Nyquist frequency.
std::vector<double> White(size_t frames, uint64_t seed);

Stereo Dual(const std::vector<double>& mono);  // the same signal on both channels

// Every sample finite.
bool AllFinite(const std::vector<double>& x);

}  // namespace render
