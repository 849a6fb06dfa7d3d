#pragma once

// The root of every interface: reference counting and interface queries. Interfaces are
// abstract classes whose only members are pure virtual functions in the published order, so
// each one is a single pointer to a table of functions, as the binary interface requires. They
// declare no destructor: one would add entries to that table.

#include "host/vst3/Iid.h"

namespace Steinberg {

class FUnknown {
 public:
  virtual tresult PLUGIN_API queryInterface(const TUID iid, void** obj) = 0;
  virtual uint32 PLUGIN_API addRef() = 0;
  virtual uint32 PLUGIN_API release() = 0;
  static constexpr Iid iid = MakeIid(0x00000000, 0x00000000, 0xC0000000, 0x00000046);
};

}  // namespace Steinberg
