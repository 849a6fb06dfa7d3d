#include "app/audio/InterruptCleanup.h"

#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <iterator>
#include <mutex>

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM};

// The handler's view: a path counts only while its slot is armed, and a slot is armed only after
// its path is written whole.
struct Slot {
  std::atomic<bool> armed{false};
  char path[InterruptCleanup::kMaxPathBytes] = {};
};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler reads the flags");

Slot slots[InterruptCleanup::kMaxPaths];

// Registration side only; the handler never takes the lock.
std::mutex registrationLock;
bool slotTaken[InterruptCleanup::kMaxPaths] = {};
int registered = 0;
struct sigaction previousActions[std::size(kSignals)];

extern "C" void RemoveAndEnd(int signo) {
  for (Slot& slot : slots)
    if (slot.armed.load(std::memory_order_acquire)) ::unlink(slot.path);
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  ::sigaction(signo, &fallback, nullptr);
  // Held back until this handler returns, then delivered with the default action.
  ::raise(signo);
}

void InstallHandlers() {
  struct sigaction action {};
  action.sa_handler = RemoveAndEnd;
  sigemptyset(&action.sa_mask);
  for (int signo : kSignals) sigaddset(&action.sa_mask, signo);  // one cleanup at a time
  for (size_t i = 0; i < std::size(kSignals); ++i) {
    ::sigaction(kSignals[i], nullptr, &previousActions[i]);
    if (previousActions[i].sa_handler != SIG_IGN) ::sigaction(kSignals[i], &action, nullptr);
  }
}

void RestoreHandlers() {
  for (size_t i = 0; i < std::size(kSignals); ++i)
    ::sigaction(kSignals[i], &previousActions[i], nullptr);
}

}  // namespace

bool InterruptCleanup::Register(const std::string& path) {
  Release();
  if (path.empty() || path.size() >= kMaxPathBytes) return false;
  const std::lock_guard<std::mutex> lock(registrationLock);
  for (int i = 0; i < kMaxPaths; ++i) {
    if (slotTaken[i]) continue;
    slotTaken[i] = true;
    std::memcpy(slots[i].path, path.c_str(), path.size() + 1);
    slots[i].armed.store(true, std::memory_order_release);
    if (registered++ == 0) InstallHandlers();
    slot_ = i;
    return true;
  }
  return false;
}

void InterruptCleanup::Release() {
  if (slot_ < 0) return;
  const std::lock_guard<std::mutex> lock(registrationLock);
  slots[slot_].armed.store(false, std::memory_order_release);
  slotTaken[slot_] = false;
  slot_ = -1;
  if (--registered == 0) RestoreHandlers();
}

InterruptCleanup::HoldSignals::HoldSignals() {
  sigset_t held;
  sigemptyset(&held);
  for (int signo : kSignals) sigaddset(&held, signo);
  pthread_sigmask(SIG_BLOCK, &held, &previous_);
}

InterruptCleanup::HoldSignals::~HoldSignals() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
