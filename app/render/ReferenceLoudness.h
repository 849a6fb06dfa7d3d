#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "app/audio/AudioFile.h"

// Loudness as ITU-R BS.1770-4 and EBU Tech 3342 define it, for checking deliveries the way
// reference meters do: the published K-weighting (exact at 48 kHz, re-derived from its analog
// prototype at other rates), 400 ms gating blocks every 100 ms, absolute gate -70 LUFS and
// relative gate -10 LU. Unlike the plug-in's meter it keeps every block, so tracks can be gated
// together as one programme. Mono counts its one channel with weight 1.
namespace bs1770 {

inline constexpr const char* kMeterName =
    "ITU-R BS.1770-4 (published K-weighting, 400 ms blocks every 100 ms, gates -70 LUFS "
    "and -10 LU; loudness range per EBU Tech 3342)";

struct Biquad {
  double b0, b1, b2, a1, a2;
};

// The two K-weighting stages for `sampleRate`: the high shelf, then the high-pass.
std::array<Biquad, 2> KWeighting(double sampleRate);

struct Analysis {
  std::vector<double> blockPowers;  // mean K-weighted power of every 400 ms block
  double integratedLufs = -100.0;
  double loudnessRangeLu = 0.0;
  double maxMomentaryLufs = -100.0;
  double maxShortTermLufs = -100.0;
  std::vector<double> shortTermPowers;  // of the 3 s windows that end every `hopFrames`
  size_t hopFrames = 0;                 // 100 ms in whole frames
};

Analysis Analyse(const AudioBuffer& audio);

// The same analysis fed a file piece by piece, for renders that never hold a whole file: the
// K-weighted power is summed per 100 ms hop, and the 400 ms and 3 s windows are made of hops.
class Measurement {
 public:
  Measurement(double sampleRate, int nChannels);
  // `frames` frames of every channel, one array per channel.
  void Add(const double* const* channels, int64_t frames);
  // Over the windows the audio so far fills.
  Analysis Result() const;

 private:
  std::array<Biquad, 2> weighting_;
  std::vector<std::array<double, 4>> state_;  // per channel: both stages' two state values
  size_t hop_;
  size_t framesInHop_ = 0;
  double hopPower_ = 0.0;
  std::vector<double> hopPowers_;  // summed K-weighted power of every whole hop
};

// Gated loudness of a set of 400 ms block powers; -100 when no block passes the gates. The
// blocks of several tracks together give the loudness of the album they make.
double IntegratedLoudness(const std::vector<double>& blockPowers);

double PowerToLufs(double power);  // -100 for no power

}  // namespace bs1770
