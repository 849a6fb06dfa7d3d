#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <vector>

#include "host/vst3/Vst3.h"

// A plug-in state in memory, handed to the plug-in or taken from it as a host's stream. Owned by
// its user: release never deletes it.
class ByteStream : public Steinberg::IBStream {
 public:
  ByteStream() = default;
  explicit ByteStream(std::vector<uint8_t> from) : bytes(std::move(from)) {}

  std::vector<uint8_t> bytes;
  Steinberg::int64 pos = 0;

  Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override {
    if (!obj) return Steinberg::kInvalidArgument;
    *obj = Steinberg::IidEqual(iid, Steinberg::FUnknown::iid) || Steinberg::IidEqual(iid, IBStream::iid)
               ? this
               : nullptr;
    if (!*obj) return Steinberg::kNoInterface;
    addRef();
    return Steinberg::kResultOk;
  }
  Steinberg::uint32 PLUGIN_API addRef() override { return ++refs_; }
  Steinberg::uint32 PLUGIN_API release() override { return --refs_; }

  Steinberg::tresult PLUGIN_API read(void* buffer, Steinberg::int32 n, Steinberg::int32* got) override {
    const Steinberg::int64 count =
        std::clamp<Steinberg::int64>(static_cast<Steinberg::int64>(bytes.size()) - pos, 0, std::max(n, 0));
    if (count > 0) std::memcpy(buffer, bytes.data() + pos, static_cast<size_t>(count));
    pos += count;
    if (got) *got = static_cast<Steinberg::int32>(count);
    return Steinberg::kResultOk;
  }
  Steinberg::tresult PLUGIN_API write(void* buffer, Steinberg::int32 n, Steinberg::int32* written) override {
    if (n < 0) return Steinberg::kInvalidArgument;
    bytes.resize(std::max(bytes.size(), static_cast<size_t>(pos + n)));
    std::memcpy(bytes.data() + pos, buffer, static_cast<size_t>(n));
    pos += n;
    if (written) *written = n;
    return Steinberg::kResultOk;
  }
  Steinberg::tresult PLUGIN_API seek(Steinberg::int64 to, Steinberg::int32 mode, Steinberg::int64* result) override {
    const Steinberg::int64 base = mode == kIBSeekCur   ? pos
                                  : mode == kIBSeekEnd ? static_cast<Steinberg::int64>(bytes.size())
                                                       : 0;
    if (base + to < 0) return Steinberg::kInvalidArgument;
    pos = base + to;
    if (result) *result = pos;
    return Steinberg::kResultOk;
  }
  Steinberg::tresult PLUGIN_API tell(Steinberg::int64* at) override {
    if (at) *at = pos;
    return Steinberg::kResultOk;
  }

 private:
  std::atomic<Steinberg::uint32> refs_{1};
};
