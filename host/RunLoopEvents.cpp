#include "host/RunLoopEvents.h"

using namespace Steinberg;

// One per descriptor: a run loop may keep one descriptor per handler. The host's references do
// not decide its life; RunLoopEvents unregisters it first.
class RunLoopEvents::Handler final : public Linux::IEventHandler {
 public:
  explicit Handler(RunLoopEvents& owner) : owner_(owner) {}
  tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
    if (!obj) return kInvalidArgument;
    if (IidEqual(iid, FUnknown::iid) || IidEqual(iid, Linux::IEventHandler::iid)) {
      *obj = static_cast<Linux::IEventHandler*>(this);
      return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
  }
  uint32 PLUGIN_API addRef() override { return 1; }
  uint32 PLUGIN_API release() override { return 1; }
  void PLUGIN_API onFDIsSet(Linux::FileDescriptor) override {
    // A copy: the callback may stop the watch, which destroys the stored one and this handler.
    const std::function<void()> ready = owner_.onReady_;
    if (ready) ready();
  }

 private:
  RunLoopEvents& owner_;
};

RunLoopEvents::RunLoopEvents() = default;
RunLoopEvents::~RunLoopEvents() { Stop(); }

bool RunLoopEvents::Start(FUnknown* context, const std::vector<int>& fds, std::function<void()> onReady) {
  Stop();
  void* found = nullptr;
  if (!context || context->queryInterface(Linux::IRunLoop::iid.data(), &found) != kResultOk || !found)
    return false;
  runLoop_ = static_cast<Linux::IRunLoop*>(found);  // keeps the reference the query gave
  onReady_ = std::move(onReady);
  for (const int fd : fds) {
    if (fd < 0) continue;
    handlers_.push_back(std::make_unique<Handler>(*this));
    if (runLoop_->registerEventHandler(handlers_.back().get(), fd) != kResultOk) {
      handlers_.pop_back();
      Stop();
      return false;
    }
  }
  return true;
}

void RunLoopEvents::Stop() {
  if (!runLoop_) return;
  for (const auto& handler : handlers_) runLoop_->unregisterEventHandler(handler.get());
  handlers_.clear();
  runLoop_->release();
  runLoop_ = nullptr;
  onReady_ = nullptr;
}
