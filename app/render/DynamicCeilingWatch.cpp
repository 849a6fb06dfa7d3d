#include "app/render/DynamicCeilingWatch.h"

#include <algorithm>
#include <cmath>

#include "dsp/CeilingControl.h"

namespace {
// The limiter's safety margin under the ceiling, as the engine applies it.
const double kMarginDb = 20.0 * std::log10(static_cast<double>(0.9954f));
}  // namespace

void DynamicCeilingWatch::Add(const MeterSnapshot& tick) {
  if (!follow_) return;
  const double offsetDb = ceiling_control::DynamicOffsetDb(1.0f, tick.lufsS, static_cast<float>(targetLufs_));
  // effCeilDb holds the safety margin and the codec headroom but not the dynamic offset.
  const double inForceDb = std::min(static_cast<double>(tick.effCeilDb) + offsetDb, kMarginDb + std::max(ceilingDb_, 0.0));
  if (inForceDb > ceilingDb_ + 0.005) highestDb_ = std::max(highestDb_, inForceDb);
}

std::optional<double> DynamicCeilingWatch::RaisedTo() const {
  if (highestDb_ <= -100.0) return std::nullopt;
  return highestDb_;
}

void CodecCeilingWatch::Add(const MeterSnapshot& tick) {
  if (follow_ && tick.effCeilDb < kMarginDb + ceilingDb_ - 0.005)
    lowestDb_ = std::min(lowestDb_, static_cast<double>(tick.effCeilDb));
}

std::optional<double> CodecCeilingWatch::LoweredTo() const {
  if (lowestDb_ >= 100.0) return std::nullopt;
  return lowestDb_;
}
