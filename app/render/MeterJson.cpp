#include "app/render/MeterJson.h"

nlohmann::ordered_json MeterSnapshotToJson(const MeterSnapshot& snapshot) {
  const auto* base = reinterpret_cast<const unsigned char*>(&snapshot);
  nlohmann::ordered_json json = nlohmann::ordered_json::object();
  for (int i = 0; i < kMeterFieldCount; ++i) {
    const MeterField& field = kMeterFields[i];
    if (field.isBool) {
      json[field.key] = *reinterpret_cast<const bool*>(base + field.offset);
      continue;
    }
    const auto* values = reinterpret_cast<const float*>(base + field.offset);
    if (field.count == 1) {
      json[field.key] = values[0];
    } else {
      nlohmann::ordered_json array = nlohmann::ordered_json::array();
      for (int k = 0; k < field.count; ++k) array.push_back(values[k]);
      json[field.key] = std::move(array);
    }
  }
  return json;
}
