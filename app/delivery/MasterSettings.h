#pragma once

#include <array>
#include <string>
#include <vector>

#include "app/render/ParamAssignment.h"
#include "core/ParamIds.h"

// The plug-in settings a master is made with: every parameter's plain value, built from the
// defaults, a saved state (--preset), "Name=value" settings (--set), and last what mastering
// decides itself (drive, ceiling, dither).
using ParamValues = std::array<double, kNumParams>;

ParamValues DefaultParamValues();

// The editor's two settings slots.
enum class PresetSlot { kA, kB };

// What --preset brought: the file, the slot taken, and that slot's parameters that are not at
// their defaults, as the plug-in shows them.
struct PresetSummary {
  std::string path;
  PresetSlot slot = PresetSlot::kA;
  std::vector<ParamSetting> settings;
};

// A state the plug-in saved, as a file of its own or as the component state inside a .vstpreset
// of this plug-in: the 220 bytes of values and bypass word, with or without the A/B slots block
// the plug-in has written after them since it has had slots. The plug-in itself restores it, so
// what it refuses is refused, and the values are what a restore leaves (clamped, Level Match
// off). The parameters are the live slot and the block holds the other one; a state without a
// block the plug-in can read holds slot A only. Sets every value to the slot's; throws
// UserError naming the file and the reason.
PresetSummary ApplyPresetFile(const std::string& path, PresetSlot slot, ParamValues& values);

// Throws UserError for a malformed setting or an unknown name.
void ApplySettings(const std::vector<std::string>& settings, ParamValues& values);

// The loudness search sets the level in front of the plug-in, so the drive stays at 0 dB; the
// ceiling is the delivery's; the monitoring switches (bypass, level match, delta listening)
// would put something other than the master in the file; dither follows the word length
// (0 off, 1 16-bit, 2 24-bit).
void ApplyMasteringOverrides(double ceilingDbtp, int dither, ParamValues& values);

const char* PresetSlotName(PresetSlot slot);  // "A" or "B"
