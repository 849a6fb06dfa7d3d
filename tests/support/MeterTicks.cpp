#include "support/MeterTicks.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "dsp/LimiterEngine.h"

namespace meter_ticks {

std::vector<Tick> Render(LimiterEngine& engine, const render::Stereo& input, int blockSize,
                         render::Stereo* output) {
  const size_t frames = input.Frames();
  render::Stereo out{std::vector<double>(frames), std::vector<double>(frames)};
  std::vector<Tick> ticks;
  MeterSnapshot s;
  for (size_t start = 0; start < frames; start += static_cast<size_t>(blockSize)) {
    const int n = static_cast<int>(std::min(frames - start, static_cast<size_t>(blockSize)));
    engine.Process(input.left.data() + start, input.right.data() + start, out.left.data() + start,
                   out.right.data() + start, n, false);
    if (engine.TakeMeterSnapshot(s))
      ticks.push_back({start + static_cast<size_t>(n - engine.FramesSinceMeterTick()), s});
  }
  if (output) *output = std::move(out);
  return ticks;
}

float FieldValue(const MeterSnapshot& s, const MeterField& field, int i) {
  const char* base = reinterpret_cast<const char*>(&s) + field.offset;
  if (field.isBool) {
    bool b;
    std::memcpy(&b, base, sizeof b);
    return b ? 1.0f : 0.0f;
  }
  float v;
  std::memcpy(&v, base + static_cast<size_t>(i) * sizeof(float), sizeof v);
  return v;
}

std::string NonFiniteFields(const MeterSnapshot& s) {
  std::string bad;
  for (int f = 0; f < kMeterFieldCount; ++f) {
    const MeterField& field = kMeterFields[f];
    for (int i = 0; i < field.count; ++i) {
      const float v = FieldValue(s, field, i);
      if (std::isfinite(v)) continue;
      if (!bad.empty()) bad += ' ';
      bad += field.key;
      if (field.count > 1) bad.append("[").append(std::to_string(i)).append("]");
      bad.append("=").append(std::to_string(v));
    }
  }
  return bad;
}

}  // namespace meter_ticks
