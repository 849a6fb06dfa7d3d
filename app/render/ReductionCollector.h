#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "app/audio/Decibels.h"
#include "core/ZARN.h"

// Gain reduction over a whole render, from the limiter's smallest gain in every host block.
struct ReductionStats {
  double maxDb = 0.0;
  double meanDb = 0.0;
  double shareAbove1Db = 0.0;  // of the blocks, 0..1
};

// Also keeps, when given how many blocks will come, the most reduction in each of up to
// `columns` equal stretches of them: a picture of the reduction over the whole render.
class ReductionCollector {
 public:
  ReductionCollector() = default;
  ReductionCollector(int64_t blocks, int columns)
      : totalBlocks_(std::max<int64_t>(1, blocks)),
        columns_(static_cast<size_t>(std::min<int64_t>(totalBlocks_, columns)), 0.0f) {}

  void Add(ZARN& plugin, int nChannels) {
    double gain = 1.0;
    for (int c = 0; c < nChannels; ++c) gain = std::min(gain, plugin.Engine().TakeMinGain(c));
    const double db = std::max(0.0, -AmplitudeToDb(gain));
    stats_.maxDb = std::max(stats_.maxDb, db);
    sumDb_ += db;
    if (db > 1.0) ++above1Db_;
    if (!columns_.empty()) {
      const auto column = std::min<int64_t>(blocks_ * static_cast<int64_t>(columns_.size()) / totalBlocks_,
                                            static_cast<int64_t>(columns_.size()) - 1);
      float& most = columns_[static_cast<size_t>(column)];
      most = std::max(most, static_cast<float>(db));
    }
    ++blocks_;
  }
  // Adds the blocks another collector saw (the columns stay this one's).
  void Merge(const ReductionCollector& other) {
    stats_.maxDb = std::max(stats_.maxDb, other.stats_.maxDb);
    sumDb_ += other.sumDb_;
    above1Db_ += other.above1Db_;
    blocks_ += other.blocks_;
  }
  const std::vector<float>& Columns() const { return columns_; }
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
  int64_t above1Db_ = 0, blocks_ = 0;
  int64_t totalBlocks_ = 1;
  std::vector<float> columns_;
};
