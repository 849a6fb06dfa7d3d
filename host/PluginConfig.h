#pragma once

#include <cstdint>

// What a plug-in tells the framework about itself when it is constructed.
struct PluginConfig {
  int nParams = 0;
  int nPresets = 0;
  const char* channelIO = "";  // e.g. "1-1 2-2": the accepted in-out channel pairs
  const char* pluginName = "";
  const char* productName = "";
  const char* makerName = "";
  int32_t vendorVersion = 0;   // 0xMMMMmmpp: major, minor, patch
  int32_t uniqueId = 0;
  int32_t makerId = 0;
  int latency = 0;
  bool midiIn = false, midiOut = false, mpe = false, stateChunks = false;
  int pluginType = 0;          // 0: effect
  bool hasEditor = false;
  int editorWidth = 0, editorHeight = 0;
  int minWidth = 0, minHeight = 0, maxWidth = 0, maxHeight = 0;
  bool hostResize = false;
  const char* bundleId = "";
  const char* appGroupId = "";
};

// Four characters as a 32-bit value, the first in the most significant byte.
constexpr int32_t FourCharCode(const char (&s)[5]) {
  return static_cast<int32_t>((static_cast<uint32_t>(static_cast<unsigned char>(s[0])) << 24) |
                              (static_cast<uint32_t>(static_cast<unsigned char>(s[1])) << 16) |
                              (static_cast<uint32_t>(static_cast<unsigned char>(s[2])) << 8) |
                              static_cast<uint32_t>(static_cast<unsigned char>(s[3])));
}
