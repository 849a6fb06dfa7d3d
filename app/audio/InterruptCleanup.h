#pragma once

#include <signal.h>

#include <cstddef>
#include <string>

// Temporary files that must not outlive a command stopped by Ctrl-C (SIGINT) or SIGTERM. Each
// object registers one path for its lifetime, up to kMaxPaths at once. While any path is
// registered, either signal unlinks every registered path and then ends the process the way the
// signal would have (default action, raised again), so the caller sees a death by that signal:
// exit status 128 + n in a shell. The handlers in place before the first registration come back
// after the last one is released; a signal that was being ignored stays ignored.
//
// The handler reads only a fixed table and calls only unlink, sigaction and raise, which are
// async-signal-safe. A path longer than kMaxPathBytes - 1, or one more than kMaxPaths, is not
// registered (Registered() is false); its owner still removes it on every other way out.
//
//   InterruptCleanup cleanup;
//   {
//     InterruptCleanup::HoldSignals held;  // no signal between creating and registering
//     fd = open(temporary.c_str(), O_CREAT | O_EXCL | O_WRONLY, 0666);
//     cleanup.Register(temporary);
//   }
//   ...
//   rename(temporary.c_str(), final.c_str());
//   cleanup.Release();
class InterruptCleanup {
 public:
  static constexpr int kMaxPaths = 8;
  static constexpr std::size_t kMaxPathBytes = 4096;

  InterruptCleanup() = default;
  explicit InterruptCleanup(const std::string& path) { Register(path); }
  ~InterruptCleanup() { Release(); }
  InterruptCleanup(const InterruptCleanup&) = delete;
  InterruptCleanup& operator=(const InterruptCleanup&) = delete;

  // Registers `path` in place of the one held before, if any; false when it does not fit.
  bool Register(const std::string& path);
  bool Registered() const { return slot_ >= 0; }
  // Forgets the path: it was renamed or removed. Safe to call more than once.
  void Release();

  // Holds SIGINT and SIGTERM back on the calling thread while it lives; one that arrives
  // meanwhile is handled when it ends.
  class HoldSignals {
   public:
    HoldSignals();
    ~HoldSignals();
    HoldSignals(const HoldSignals&) = delete;
    HoldSignals& operator=(const HoldSignals&) = delete;

   private:
    sigset_t previous_;
  };

 private:
  int slot_ = -1;
};
