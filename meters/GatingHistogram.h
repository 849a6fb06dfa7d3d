#pragma once

#include <cstdint>

// Gated integrated loudness without a list of blocks: 0.1 LU bins from -70 to +5 LUFS, each with
// its block count and power sum, so the relative gate is a walk over 750 bins.
class GatingHistogram {
 public:
  static constexpr int kBins = 750;

  void Clear();
  // Adds one 400-ms block of mean power p (blocks at or below -70 LUFS are not counted).
  void Add(double power);
  float IntegratedLoudness() const;

 private:
  int32_t count_[kBins] = {};
  double power_[kBins] = {};
  int64_t totalCount_ = 0;
  double totalPower_ = 0.0;
};

// Loudness range of the short-term values: 0.25 LU bins from the absolute gate (-70 LUFS) to
// +5 LUFS. The relative gate (20 LU under the programme's mean) of a quiet programme lies well
// below -45 LUFS; bins that stopped above the absolute gate would count quieter values as their
// first bin and widen the range.
class LoudnessRangeHistogram {
 public:
  static constexpr int kBins = 300;

  void Clear();
  void Add(float shortTermLufs, double shortTermPower);
  float Range() const;  // LU, -100 until 200 gated values exist

 private:
  int32_t count_[kBins] = {};
  int64_t totalCount_ = 0;
  double totalPower_ = 0.0;
};

// Loudness of a mean power: -0.691 + 10 log10(p), or -100 at or below the floor.
double LoudnessOfPower(double power, double floor = 1e-10);
