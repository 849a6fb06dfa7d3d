#pragma once

// MIDI controllers reach a VST3 plug-in as parameters that it maps them to: one proxy ID per
// channel and controller (128 is channel pressure, 129 pitch bend). A change of such an ID
// becomes a MIDI message again.

#include <cstdint>

#include "host/vst3/PlatformTypes.h"

constexpr Steinberg::Vst::ParamID kMidiProxyFirstId = 65538;
constexpr int kMidiControllersPerChannel = 130;
constexpr int kMidiChannels = 16;

struct MidiMessage {
  int32_t offset = 0;  // sample offset in the block
  uint8_t status = 0;
  uint8_t data1 = 0;
  uint8_t data2 = 0;
};

constexpr Steinberg::Vst::ParamID MidiProxyId(int channel, int controller) {
  return kMidiProxyFirstId + static_cast<Steinberg::Vst::ParamID>(
                                 channel * kMidiControllersPerChannel + controller);
}

// False for an ID outside the 16 channels' proxies or a value that is not a number.
bool MidiMessageFromProxy(Steinberg::Vst::ParamID id, double normalized, int32_t offset,
                          MidiMessage& message);
