#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "meters/MeterSnapshot.h"

class IFxAPIBase;

// The JSON texts the plug-in sends to its page as tagged messages.
namespace page_messages {

enum Tag : int32_t {
  kParameterDescription = -1,
  kMeters = 0,
  kSampleRate = 3,
  kOutputHistory = 6,
  kSlots = 17,  // {"t":"slots","active":0|1,"other":[...]}, after each page load and restore
};

constexpr size_t kMaxMeterMessageLength = 6143;
constexpr const char* kEmptyMeterMessage = "{\"t\":\"meters\"}";

// Every reading with its own precision; {"t":"meters"} instead when a value is not a finite
// number or the text would be too long.
std::string MeterMessage(const MeterSnapshot& snapshot);

// {"t":"srChange","sr":48000}
std::string SampleRateMessage(uint32_t sampleRate);

// {"id":"params","params":[...]}: every parameter's description, keys sorted, compact.
std::string ParameterDescription(const IFxAPIBase& plugin);

// Sample rate, count N, N left then N right samples oldest first, as 32-bit floats; just the
// rate and 0 before any audio.
std::vector<float> OutputHistory(double sampleRate, const std::vector<float>& left,
                                 const std::vector<float>& right);

}  // namespace page_messages
