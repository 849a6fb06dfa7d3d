#include "host/IFxVST3ControllerBase.h"

#include <algorithm>
#include <vector>

#include "host/vst3/ChannelContext.h"
#include "host/vst3kit/Strings.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

constexpr int64 kMaxTextUnits = 1024;  // longer names are cut

// Reads a UTF-16 string whose length (without terminator) is under lengthKey.
bool ReadString(IAttributeList& list, AttrID lengthKey, AttrID key, std::string& out) {
  int64 length = 0;
  if (list.getInt(lengthKey, length) != kResultOk) length = 127;
  const int64 units = std::clamp<int64>(length, 0, kMaxTextUnits) + 1;
  std::vector<char16_t> text(static_cast<size_t>(units), u'\0');
  if (list.getString(key, text.data(), static_cast<uint32>(units * sizeof(char16_t))) != kResultOk)
    return false;
  out = vst3kit::Utf16ToUtf8(text.data(), static_cast<size_t>(units));
  return true;
}

void ReadInt(IAttributeList& list, AttrID key, int64_t& out) {
  int64 value = 0;
  if (list.getInt(key, value) == kResultOk) out = value;
}

}  // namespace

void IFxVST3ControllerBase::ReadChannelContext(IAttributeList& list) {
  namespace cc = ChannelContext;
  ChannelContextInfo& c = channelContext_;
  ReadString(list, cc::kChannelNameLengthKey, cc::kChannelNameKey, c.name);
  ReadString(list, cc::kChannelUIDLengthKey, cc::kChannelUIDKey, c.uid);
  ReadInt(list, cc::kChannelIndexKey, c.index);
  ReadInt(list, cc::kChannelColorKey, c.color);
  ReadInt(list, cc::kChannelIndexNamespaceOrderKey, c.indexNamespaceOrder);
  ReadString(list, cc::kChannelIndexNamespaceLengthKey, cc::kChannelIndexNamespaceKey,
             c.indexNamespace);
}
