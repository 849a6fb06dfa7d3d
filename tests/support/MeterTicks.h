#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "meters/MeterSnapshot.h"
#include "support/EngineRender.h"

class LimiterEngine;

// Rendering that watches the meters: the snapshot is taken after every block, as an editor
// that never falls behind would, so every tick is published and seen once (with blocks no
// longer than the meter period).
namespace meter_ticks {

struct Tick {
  size_t endFrame;  // frames processed when the tick ran
  MeterSnapshot s;
};

std::vector<Tick> Render(LimiterEngine& engine, const render::Stereo& input, int blockSize,
                         render::Stereo* output = nullptr);

// Value i of a field (0 or 1 for the boolean).
float FieldValue(const MeterSnapshot& s, const MeterField& field, int i);
// Keys (with index for arrays) of every value that is NaN or infinite; empty when all are finite.
std::string NonFiniteFields(const MeterSnapshot& s);

}  // namespace meter_ticks
