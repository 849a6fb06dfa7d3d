#pragma once

// The one class the module's factory offers: its identifier, the factory and class information
// and the creation function.

#include "host/vst3/PluginFactory.h"
#include "host/vst3kit/Fuid.h"

namespace zarn_class {

constexpr Steinberg::uint32 kClassIdWord1 = 0xF2AEE70D;
constexpr Steinberg::uint32 kClassIdWord2 = 0x00DE4F4E;

// Words 3 and 4 are the configuration's maker ID and unique plug-in ID.
vst3kit::Fuid ClassId();
Steinberg::PFactoryInfo FactoryInfo();
Steinberg::PClassInfo2 ClassInfo();

// A new ZARN, constructed under a process-wide lock, as its IAudioProcessor with one reference;
// null when memory ran out. [any thread]
Steinberg::FUnknown* CreateInstance(Steinberg::FUnknown* hostContext);

}  // namespace zarn_class
