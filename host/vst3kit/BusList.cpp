#include "host/vst3kit/BusList.h"

#include <bit>

#include "host/vst3kit/Strings.h"

namespace vst3kit {

int ChannelCountOf(Steinberg::Vst::SpeakerArrangement arrangement) {
  return std::popcount(arrangement);
}

Steinberg::int32 Bus::ChannelCount() const { return ChannelCountOf(arrangement); }

const Bus* BusList::At(Steinberg::int32 index) const {
  return index >= 0 && index < Count() ? &buses_[static_cast<size_t>(index)] : nullptr;
}

Bus* BusList::At(Steinberg::int32 index) {
  return index >= 0 && index < Count() ? &buses_[static_cast<size_t>(index)] : nullptr;
}

bool BusList::GetInfo(Steinberg::int32 index, Steinberg::Vst::BusInfo& info) const {
  const Bus* bus = At(index);
  if (!bus) return false;
  info.mediaType = type_;
  info.direction = direction_;
  info.channelCount = bus->ChannelCount();
  CopyToField(info.name, bus->name);
  info.busType = bus->type;
  info.flags = bus->flags;
  return true;
}

bool BusList::SetActive(Steinberg::int32 index, bool active) {
  Bus* bus = At(index);
  if (!bus) return false;
  bus->active = active;
  return true;
}

}  // namespace vst3kit
