#include "host/RunLoopTimer.h"

using namespace Steinberg;

RunLoopTimer::~RunLoopTimer() { Stop(); }

bool RunLoopTimer::Start(FUnknown* context, unsigned milliseconds, std::function<void()> onTick) {
  if (runLoop_ || !context) return false;
  void* found = nullptr;
  if (context->queryInterface(Linux::IRunLoop::iid.data(), &found) != kResultOk || !found)
    return false;
  auto* runLoop = static_cast<Linux::IRunLoop*>(found);
  onTick_ = std::move(onTick);
  if (runLoop->registerTimer(this, milliseconds) != kResultOk) {
    runLoop->release();
    onTick_ = nullptr;
    return false;
  }
  runLoop_ = runLoop;  // keeps the reference the query gave
  return true;
}

void RunLoopTimer::Stop() {
  if (!runLoop_) return;
  runLoop_->unregisterTimer(this);
  runLoop_->release();
  runLoop_ = nullptr;
  onTick_ = nullptr;
}

tresult PLUGIN_API RunLoopTimer::queryInterface(const TUID iid, void** obj) {
  if (!obj) return kInvalidArgument;
  if (IidEqual(iid, FUnknown::iid) || IidEqual(iid, Linux::ITimerHandler::iid)) {
    *obj = static_cast<Linux::ITimerHandler*>(this);
    return kResultOk;
  }
  *obj = nullptr;
  return kNoInterface;
}

void PLUGIN_API RunLoopTimer::onTimer() {
  if (onTick_) onTick_();
}
