#pragma once

#include <array>
#include <string>
#include <vector>

#include "core/ParamIds.h"

// The plug-in settings a master is made with: every parameter's plain value, built from the
// defaults, a saved state (--preset), "Name=value" settings (--set), and last what mastering
// decides itself (drive, ceiling, dither).
using ParamValues = std::array<double, kNumParams>;

ParamValues DefaultParamValues();

// A state the plug-in saved: the 220-byte stream as a file of its own, or the component state
// inside a .vstpreset file. Throws UserError naming the file when it cannot be read, holds
// no component state, or the state is not 220 bytes. Values are clamped as a restore does.
void ApplyPresetFile(const std::string& path, ParamValues& values);

// Throws UserError for a malformed setting or an unknown name.
void ApplySettings(const std::vector<std::string>& settings, ParamValues& values);

// The loudness search sets the level in front of the plug-in, so the drive stays at 0 dB; the
// ceiling is the delivery's; the monitoring switches (bypass, level match, delta listening)
// would put something other than the master in the file; dither follows the word length
// (0 off, 1 16-bit, 2 24-bit).
void ApplyMasteringOverrides(double ceilingDbtp, int dither, ParamValues& values);
