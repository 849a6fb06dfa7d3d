#pragma once

// Parameter indices. The index is the parameter's identity everywhere (host ID, position in the
// saved state, number used by the editor page): append only, never reorder.
enum ParamId : int {
  kDriveL = 0,
  kDriveR,
  kCeilingL,
  kCeilingR,
  kRelease,
  kBypass,
  kLevelMatch,
  kMask,
  kDetect,
  kCodecMode,
  kLinked,
  kLights,
  kSmooth,
  kView,
  kLoud,
  kLoudMode,
  kZoom,
  kAnalyser,
  kCharacter,
  kLoudClip,
  kLoudDelta,
  kFullDelta,
  kPlatform,
  kDynamicCeiling,
  kTargetLufs,
  kDither,
  kExtra,
  kNumParams
};
static_assert(kNumParams == 27);
