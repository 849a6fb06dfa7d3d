#pragma once

#include <cstdint>

#include "dsp/Relaxed.h"

// What the parameters tell the engine. Written by the parameter-change handler on whatever
// thread the host or the editor uses, read once at the start of every block; each field is one
// word, so a block sees either the old or the new value, never a torn one.
struct EngineSettings {
  Relaxed<float> driveDb[2] = {0.0f, 0.0f};
  Relaxed<float> ceilingDb[2] = {-0.1f, -0.1f};
  Relaxed<float> releaseMs = 150.0f;  // kept and saved; the release is automatic
  Relaxed<bool> bypass = false;
  Relaxed<bool> levelMatch = false;
  Relaxed<bool> channelsIndependent = false;
  Relaxed<int32_t> codecMode = 0;     // 0..3
  Relaxed<bool> mask = false;         // kept, not read
  Relaxed<float> detect = 1.0f;       // kept, not read
  Relaxed<float> smooth = 0.5f;       // kept, not read
  Relaxed<float> loud = 0.0f;         // 0..1
  Relaxed<float> extra = 0.0f;        // 0..1
  Relaxed<int32_t> dither = 0;        // 0 off, 1 16-bit, 2 24-bit
  uint32_t ditherSeed[2] = {0x2545F491u, 0x814F0091u};  // audio thread only
  Relaxed<float> loudWarm = 0.0f;     // 1.0 = "Warm"
  Relaxed<float> loudClipMode = 0.0f; // 0 "Soft", 1 "Cubic", 2 "Hard"
  Relaxed<float> loudDelta = 0.0f;
  Relaxed<float> fullDelta = 0.0f;
  Relaxed<float> character = 0.0f;    // 0..10
  Relaxed<float> dynamicCeiling = 0.0f;
  Relaxed<float> targetLufs = -9.0f;
};
