#pragma once

// The host's own object, handed to initialize as the context: its name, and a factory for the
// host-side objects (messages, attribute lists).

#include "host/vst3/FUnknown.h"

namespace Steinberg::Vst {

class IHostApplication : public FUnknown {
 public:
  virtual tresult PLUGIN_API getName(String128 name) = 0;
  virtual tresult PLUGIN_API createInstance(TUID cid, TUID iid, void** obj) = 0;
  static constexpr Iid iid = MakeIid(0x58E595CC, 0xDB2D4969, 0x8B6AAF8C, 0x36A664E5);
};

}  // namespace Steinberg::Vst
