#pragma once

#include <algorithm>
#include <cmath>

// dB of an amplitude for reports. -100 stands for "no reading" (silence), so reports never show
// -inf or NaN.
inline double AmplitudeToDb(double amplitude) {
  constexpr double kNoReadingDb = -100.0;
  if (!(amplitude > 0.0)) return kNoReadingDb;
  return std::max(kNoReadingDb, 20.0 * std::log10(amplitude));
}

inline double DbToAmplitude(double db) { return std::pow(10.0, db / 20.0); }
