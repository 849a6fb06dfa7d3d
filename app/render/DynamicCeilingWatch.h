#pragma once

#include <optional>

#include "meters/MeterSnapshot.h"

// The highest ceiling Dynamic Ceiling lifted the limiter to, followed over the meter ticks of a
// render: the ceiling in force (the meters' effective ceiling plus the dynamic offset for the
// tick's short-term loudness), never past full scale, as the engine holds it.
class DynamicCeilingWatch {
 public:
  DynamicCeilingWatch(bool follow, double ceilingDb, double targetLufs) { Set(follow, ceilingDb, targetLufs); }

  // The settings from the next tick on (a parameter moved during the render).
  void Set(bool follow, double ceilingDb, double targetLufs) {
    follow_ = follow;
    ceilingDb_ = ceilingDb;
    targetLufs_ = targetLufs;
  }
  void Add(const MeterSnapshot& tick);
  // The highest ceiling above the one set, in dBTP; nothing when it never rose above it.
  std::optional<double> RaisedTo() const;

 private:
  bool follow_ = false;
  double ceilingDb_ = 0.0, targetLufs_ = 0.0;
  double highestDb_ = -100.0;  // of the ticks above the ceiling then set
};

// The lowest ceiling Codec Mode put in force over the meter ticks of a render: the meters'
// effective ceiling, which holds the limiter's safety margin and Codec Mode's pre-attenuation and
// model headroom (not Dynamic Ceiling's offset, which DynamicCeilingWatch follows).
class CodecCeilingWatch {
 public:
  CodecCeilingWatch(bool follow, double ceilingDb) { Set(follow, ceilingDb); }

  void Set(bool follow, double ceilingDb) {
    follow_ = follow;
    ceilingDb_ = ceilingDb;
  }
  void Add(const MeterSnapshot& tick);
  // The lowest ceiling below the one set (less the margin), in dBTP; nothing when it never fell.
  std::optional<double> LoweredTo() const;

 private:
  bool follow_ = false;
  double ceilingDb_ = 0.0;
  double lowestDb_ = 100.0;  // of the ticks below the ceiling then set
};
