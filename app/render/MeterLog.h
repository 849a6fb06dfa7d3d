#pragma once

#include <fstream>
#include <string>

#include "meters/MeterSnapshot.h"

// Collects the meter snapshots of a render: the last one, the loudest short-term and momentary
// readings, and optionally one JSON line per tick (time in seconds plus every reading).
class MeterLog {
 public:
  // An empty path keeps no file. Throws UserError when the file cannot be created.
  explicit MeterLog(const std::string& path);

  void Add(double seconds, const MeterSnapshot& snapshot);

  bool HasSnapshot() const { return ticks_ > 0; }
  const MeterSnapshot& Last() const { return last_; }
  double MaxShortTermLufs() const { return maxShortTerm_; }
  double MaxMomentaryLufs() const { return maxMomentary_; }
  // Throws UserError when writing the file failed.
  void Finish();

 private:
  std::string path_;
  std::ofstream file_;
  MeterSnapshot last_;
  long ticks_ = 0;
  double maxShortTerm_ = -100.0;
  double maxMomentary_ = -100.0;
};
