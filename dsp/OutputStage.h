#pragma once

#include <cstdint>

// What is written to the host: the processed signal, the processed minus the level-matched dry
// signal ("Full Delta"), or the dry signal delayed by the latency ("Bypass"), optionally at the
// processed signal's loudness ("Level Match"); TPDF dither unless bypassed.
namespace output_stage {

struct Settings {
  bool bypass = false;
  bool levelMatch = false;
  bool fullDelta = false;
  double ditherStep = 0.0;  // 0: no dither
};

// 2^-15 for "16-bit", 2^-23 for "24-bit", 0 for off.
double DitherStep(int dither);

// sqrt(msOut / msRef), limited to -24 .. +24 dB; at the lower limit while the reference is silent.
double LevelMatchRatio(double msOut, double msRef);

// 32-bit xorshift.
inline uint32_t NextRandom(uint32_t s) {
  s ^= s << 13;
  s ^= s >> 17;
  s ^= s << 5;
  return s;
}

// Quantises x to the step with triangular dither drawn from the channel's generator.
double Dither(double x, double step, uint32_t& seed);

// dry: input delayed by the latency; processed: the peak catcher's output; dryForDelta: the dry
// sample as the processing saw it (limited in magnitude), for the delta.
double Process(const Settings& s, double dry, double dryForDelta, double processed,
               double msOut, double msRef, uint32_t& seed);

}  // namespace output_stage
