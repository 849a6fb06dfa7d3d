#pragma once

// The module's class factory: factory information, the registered classes in 8-bit and UTF-16
// form, instance creation, and the host context a Linux host hands over (its run loop).
// [UI thread; instance creation may come from any thread]

#include <vector>

#include "host/vst3/PluginFactory.h"
#include "host/vst3kit/Fuid.h"
#include "host/vst3kit/Interfaces.h"

namespace vst3kit {

class PluginFactory final : public Steinberg::IPluginFactory3 {
 public:
  // Returns a new object with one reference that the factory hands to the host, or null.
  // Gets the host context the factory was given (may be null), e.g. to find the host's run loop.
  using CreateFunction = FUnknown* (*)(FUnknown* hostContext);
  // Called from the destructor, so that a module can forget its factory.
  using DestroyedCallback = void (*)(PluginFactory*);

  PluginFactory(const Steinberg::PFactoryInfo& info, DestroyedCallback onDestroyed = nullptr);
  ~PluginFactory();
  PluginFactory(const PluginFactory&) = delete;
  PluginFactory& operator=(const PluginFactory&) = delete;

  // The UTF-16 form is derived from the 8-bit one.
  void AddClass(const Steinberg::PClassInfo2& info, CreateFunction create);
  FUnknown* HostContext() const { return hostContext_.get(); }

  Steinberg::tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override;
  Steinberg::uint32 PLUGIN_API addRef() override;
  Steinberg::uint32 PLUGIN_API release() override;

  Steinberg::tresult PLUGIN_API getFactoryInfo(Steinberg::PFactoryInfo* info) override;
  Steinberg::int32 PLUGIN_API countClasses() override;
  Steinberg::tresult PLUGIN_API getClassInfo(Steinberg::int32 index,
                                             Steinberg::PClassInfo* info) override;
  Steinberg::tresult PLUGIN_API createInstance(Steinberg::FIDString cid, Steinberg::FIDString iid,
                                               void** obj) override;
  Steinberg::tresult PLUGIN_API getClassInfo2(Steinberg::int32 index,
                                              Steinberg::PClassInfo2* info) override;
  Steinberg::tresult PLUGIN_API getClassInfoUnicode(Steinberg::int32 index,
                                                    Steinberg::PClassInfoW* info) override;
  Steinberg::tresult PLUGIN_API setHostContext(FUnknown* context) override;

 private:
  struct Entry {
    Steinberg::PClassInfo2 info;
    Steinberg::PClassInfoW wide;
    CreateFunction create;
  };
  const Entry* At(Steinberg::int32 index) const;

  RefCount refs_;
  Steinberg::PFactoryInfo info_;
  DestroyedCallback onDestroyed_;
  std::vector<Entry> classes_;
  Ptr<FUnknown> hostContext_;
};

}  // namespace vst3kit
