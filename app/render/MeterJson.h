#pragma once

#include <nlohmann/json.hpp>

#include "meters/MeterSnapshot.h"

// Every reading of a meter snapshot under its key, in record order (arrays as JSON arrays).
nlohmann::ordered_json MeterSnapshotToJson(const MeterSnapshot& snapshot);
