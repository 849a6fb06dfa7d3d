#pragma once

#include <mutex>

// How many times the host entered the module without leaving it. The first entry initialises
// the module and the last exit de-initialises it; an exit without an entry is refused, so the
// count never goes below 0 (below 0, the next entry would never initialise). [any thread]
class ModuleCount {
 public:
  template <class Init>
  bool Enter(Init init) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (count_++ > 0) return true;
    if (init()) return true;
    count_ = 0;
    return false;
  }

  template <class Deinit>
  bool Exit(Deinit deinit) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (count_ == 0) return false;
    return --count_ > 0 || deinit();
  }

  int Count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return count_;
  }

 private:
  mutable std::mutex mutex_;
  int count_ = 0;
};
