#pragma once

#include <functional>
#include <mutex>
#include <vector>

// Work handed from a background thread to the UI thread: pushed from anywhere, taken by the UI
// thread when it polls. A descriptor becomes readable while work waits, for run loops that watch
// descriptors instead of polling on a timer.
class UiEventQueue {
 public:
  UiEventQueue();
  ~UiEventQueue();
  UiEventQueue(const UiEventQueue&) = delete;
  UiEventQueue& operator=(const UiEventQueue&) = delete;

  // [any thread]
  void Push(std::function<void()> event);
  // [UI thread] Everything queued so far, oldest first; the descriptor is quiet again after it.
  std::vector<std::function<void()>> TakeAll();
  // Readable while events wait; -1 if it could not be made (polling still works).
  int Fd() const { return fd_; }

 private:
  int fd_;
  std::mutex mutex_;
  std::vector<std::function<void()>> events_;
};
