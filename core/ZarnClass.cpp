#include "core/ZarnClass.h"

#include <mutex>
#include <new>

#include "core/ZARN.h"
#include "host/vst3kit/Strings.h"

namespace zarn_class {

using namespace Steinberg;

vst3kit::Fuid ClassId() {
  const PluginConfig config = ZARN::MakeConfig();
  return vst3kit::Fuid(kClassIdWord1, kClassIdWord2, static_cast<uint32>(config.makerId),
                       static_cast<uint32>(config.uniqueId));
}

PFactoryInfo FactoryInfo() {
  PFactoryInfo info{};
  vst3kit::CopyToField(info.vendor, "Tessary");
  vst3kit::CopyToField(info.url, "https://www.tessary.com");
  vst3kit::CopyToField(info.email, "mailto:support@tessary.com");
  info.flags = PFactoryInfo::kUnicode;
  return info;
}

PClassInfo2 ClassInfo() {
  constexpr uint32 kSimpleModeSupported = 1 << 1;
  PClassInfo2 info{};
  ClassId().CopyTo(info.cid);
  info.cardinality = PClassInfo::kManyInstances;
  vst3kit::CopyToField(info.category, Vst::kVstAudioEffectClass);
  vst3kit::CopyToField(info.name, "ZARN");
  info.classFlags = kSimpleModeSupported;
  vst3kit::CopyToField(info.subCategories, "Fx|Dynamics|Limiter");
  vst3kit::CopyToField(info.vendor, "");
  vst3kit::CopyToField(info.version, "3.0.0");
  vst3kit::CopyToField(info.sdkVersion, "VST 3.8.0");
  return info;
}

FUnknown* CreateInstance(FUnknown* hostContext) {
  static std::mutex creationLock;
  std::lock_guard<std::mutex> lock(creationLock);
  try {
    ZARN* plugin = new (std::nothrow) ZARN();
    if (!plugin) return nullptr;
    plugin->StartEditorTimer(hostContext);  // the host's run loop, if it offered one
    return static_cast<Vst::IAudioProcessor*>(plugin);
  } catch (...) {
    return nullptr;  // a member's allocation failed
  }
}

}  // namespace zarn_class
