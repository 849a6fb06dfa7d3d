#pragma once

// The buses of one media type and direction, as the component reports them to the host.
// Changed only while processing is stopped [UI thread]; read by the audio thread.

#include <string>
#include <vector>

#include "host/vst3/AudioProcessor.h"
#include "host/vst3/Component.h"

namespace vst3kit {

struct Bus {
  std::string name;  // UTF-8
  Steinberg::Vst::BusType type = Steinberg::Vst::kMain;
  Steinberg::uint32 flags = 0;
  Steinberg::Vst::SpeakerArrangement arrangement = 0;
  bool active = false;

  Steinberg::int32 ChannelCount() const;
};

int ChannelCountOf(Steinberg::Vst::SpeakerArrangement arrangement);

class BusList {
 public:
  BusList(Steinberg::Vst::MediaType type, Steinberg::Vst::BusDirection direction)
      : type_(type), direction_(direction) {}

  void Add(Bus bus) { buses_.push_back(std::move(bus)); }
  void Clear() { buses_.clear(); }
  Steinberg::int32 Count() const { return static_cast<Steinberg::int32>(buses_.size()); }
  // Null for an index out of range.
  const Bus* At(Steinberg::int32 index) const;
  Bus* At(Steinberg::int32 index);

  bool GetInfo(Steinberg::int32 index, Steinberg::Vst::BusInfo& info) const;
  bool SetActive(Steinberg::int32 index, bool active);

 private:
  Steinberg::Vst::MediaType type_;
  Steinberg::Vst::BusDirection direction_;
  std::vector<Bus> buses_;
};

}  // namespace vst3kit
