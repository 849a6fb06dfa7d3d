#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "host/vst3/RunLoop.h"

// Descriptors watched by a Linux host's run loop: the callback runs on the host's UI thread
// whenever one of them is readable. Registered until Stop() (or destruction), which the view
// does in removed(); the run loop's reference is held meanwhile. [UI thread]
class RunLoopEvents {
 public:
  RunLoopEvents();
  ~RunLoopEvents();
  RunLoopEvents(const RunLoopEvents&) = delete;
  RunLoopEvents& operator=(const RunLoopEvents&) = delete;

  // Registers every descriptor (negative ones are skipped) with the run loop `context` offers;
  // false when it offers none or refuses one (nothing stays registered then).
  bool Start(Steinberg::FUnknown* context, const std::vector<int>& fds, std::function<void()> onReady);
  void Stop();
  bool Running() const { return runLoop_ != nullptr; }

 private:
  class Handler;

  Steinberg::Linux::IRunLoop* runLoop_ = nullptr;
  std::vector<std::unique_ptr<Handler>> handlers_;
  std::function<void()> onReady_;
};
