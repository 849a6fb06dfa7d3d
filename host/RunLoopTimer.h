#pragma once

#include <functional>

#include "host/EditorTimer.h"
#include "host/vst3/RunLoop.h"

// A timer on a Linux host's run loop (the host's UI thread): the editor's 20 ms tick inside a
// VST3 host. The host holds references while it is registered; the owner unregisters it before
// it goes away, so the reference count never decides its lifetime. [UI thread]
class RunLoopTimer final : public EditorTimer, public Steinberg::Linux::ITimerHandler {
 public:
  ~RunLoopTimer() override;

  // Registers with the run loop `context` offers (none: nothing happens, false).
  bool Start(Steinberg::FUnknown* context, unsigned milliseconds, std::function<void()> onTick) override;
  void Stop() override;
  bool Running() const override { return runLoop_ != nullptr; }

  // FUnknown, ITimerHandler
  Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
  Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
  Steinberg::uint32 PLUGIN_API release() override { return 1; }
  void PLUGIN_API onTimer() override;

 private:
  Steinberg::Linux::IRunLoop* runLoop_ = nullptr;
  std::function<void()> onTick_;
};
