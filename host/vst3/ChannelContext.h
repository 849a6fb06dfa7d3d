#pragma once

// What a host tells a plug-in about the mixer channel it sits on.

#include "host/vst3/Messages.h"

namespace Steinberg::Vst::ChannelContext {

class IInfoListener : public FUnknown {
 public:
  virtual tresult PLUGIN_API setChannelContextInfos(IAttributeList* list) = 0;
  static constexpr Iid iid = MakeIid(0x0F194781, 0x8D984ADA, 0xBBA0C1EF, 0xC011D8D0);
};

// Attribute keys of the list.
constexpr AttrID kChannelUIDKey = "channel uid";
constexpr AttrID kChannelUIDLengthKey = "channel uid length";
constexpr AttrID kChannelNameKey = "channel name";
constexpr AttrID kChannelNameLengthKey = "channel name length";
constexpr AttrID kChannelColorKey = "channel color";
constexpr AttrID kChannelIndexKey = "channel index";
constexpr AttrID kChannelIndexNamespaceOrderKey = "channel index namespace order";
constexpr AttrID kChannelIndexNamespaceKey = "channel index namespace";
constexpr AttrID kChannelIndexNamespaceLengthKey = "channel index namespace length";

}  // namespace Steinberg::Vst::ChannelContext
