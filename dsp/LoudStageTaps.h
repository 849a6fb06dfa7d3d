#pragma once

#include <algorithm>
#include <cmath>

// What the meters read of the Loud stage: peak holds before and after it, two short decimated
// waveforms (pre and post), and the energies of its input and of what clipping removed.
struct LoudStageTaps {
  static constexpr int kWaveLength = 32;

  double insistIn = 0.0;
  double insistOut = 0.0;
  float wavePre[kWaveLength] = {};
  float wavePost[kWaveLength] = {};
  int waveIndex = 0;
  int decimationPeriod = 20;
  int countdown = 20;
  double charOutEnergy = 0.0;
  double loudDiffEnergy = 0.0;

  void Reset(int period) {
    *this = LoudStageTaps();
    decimationPeriod = countdown = period;
  }

  void TakeWave(double pre, double post) {
    if (--countdown > 0) return;
    wavePost[waveIndex] = static_cast<float>(post);
    wavePre[waveIndex] = static_cast<float>(pre);
    waveIndex = (waveIndex + 1) % kWaveLength;
    countdown = decimationPeriod;
  }

  // Decimation period: about 2200 points a second, at least 1.
  static int PeriodFor(double sampleRate) {
    return std::max(1, static_cast<int>(std::trunc(sampleRate / 2200.0 + 0.5)));
  }
};
