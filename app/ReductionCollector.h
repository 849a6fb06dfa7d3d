#pragma once

#include <algorithm>

#include "app/Decibels.h"
#include "core/ZARN.h"

// Gain reduction over a whole render, from the limiter's smallest gain in every host block.
struct ReductionStats {
  double maxDb = 0.0;
  double meanDb = 0.0;
  double shareAbove1Db = 0.0;  // of the blocks, 0..1
};

class ReductionCollector {
 public:
  void Add(ZARN& plugin, int nChannels) {
    double gain = 1.0;
    for (int c = 0; c < nChannels; ++c) gain = std::min(gain, plugin.Engine().TakeMinGain(c));
    const double db = std::max(0.0, -AmplitudeToDb(gain));
    stats_.maxDb = std::max(stats_.maxDb, db);
    sumDb_ += db;
    if (db > 1.0) ++above1Db_;
    ++blocks_;
  }
  ReductionStats Stats() const {
    ReductionStats stats = stats_;
    if (blocks_ > 0) {
      stats.meanDb = sumDb_ / static_cast<double>(blocks_);
      stats.shareAbove1Db = static_cast<double>(above1Db_) / static_cast<double>(blocks_);
    }
    return stats;
  }

 private:
  ReductionStats stats_;
  double sumDb_ = 0.0;
  long above1Db_ = 0, blocks_ = 0;
};
