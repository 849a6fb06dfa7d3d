#include "host/MidiProxy.h"

#include <algorithm>
#include <cmath>

bool MidiMessageFromProxy(Steinberg::Vst::ParamID id, double normalized, int32_t offset,
                          MidiMessage& message) {
  if (id < kMidiProxyFirstId || std::isnan(normalized)) return false;
  const uint32_t k = id - kMidiProxyFirstId;
  const uint32_t channel = k / kMidiControllersPerChannel;
  const uint32_t controller = k % kMidiControllersPerChannel;
  if (channel >= kMidiChannels) return false;
  const double v = std::clamp(normalized, 0.0, 1.0);
  const auto seven = static_cast<uint8_t>(std::trunc(v * 127.0));

  message.offset = offset;
  if (controller == 128) {
    message.status = static_cast<uint8_t>(0xD0 + channel);
    message.data1 = seven;
    message.data2 = 0;
  } else if (controller == 129) {
    const int bend =
        std::clamp(8192 - static_cast<int>(std::trunc((2.0 * v - 1.0) * -8192.0)), 0, 16383);
    message.status = static_cast<uint8_t>(0xE0 + channel);
    message.data1 = static_cast<uint8_t>(bend & 0x7F);
    message.data2 = static_cast<uint8_t>((bend >> 7) & 0x7F);
  } else {
    message.status = static_cast<uint8_t>(0xB0 + channel);
    message.data1 = static_cast<uint8_t>(controller);
    message.data2 = seven;
  }
  return true;
}
