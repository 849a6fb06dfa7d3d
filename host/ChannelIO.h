#pragma once

// The plug-in's channel I/O string ("1-1 2-2"): configurations separated by spaces, each an
// input side, "-", an output side; each side lists bus channel counts separated by "." ("*" is
// any count). Buses of 0 channels are dropped.

#include <string>
#include <vector>

#include "host/vst3/AudioProcessor.h"

struct ChannelIOConfig {
  static constexpr int kAnyChannels = -64;  // "*"
  std::vector<int> inputs;   // channel count per bus
  std::vector<int> outputs;

  int TotalInputs() const;
  int TotalOutputs() const;
};

std::vector<ChannelIOConfig> ParseChannelIO(const char* text);

// The speaker arrangement of an n-channel bus (empty for counts without one).
Steinberg::Vst::SpeakerArrangement ArrangementForChannels(int n);

// "Input", "Main"/"Aux", "Input 2"...; "Output", "Output 1"...
std::string InputBusName(int index, int count);
std::string OutputBusName(int index, int count);
