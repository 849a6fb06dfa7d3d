#include "editor/linux/UiEventQueue.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

UiEventQueue::UiEventQueue() : fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

UiEventQueue::~UiEventQueue() {
  if (fd_ >= 0) ::close(fd_);
}

void UiEventQueue::Push(std::function<void()> event) {
  {
    std::lock_guard lock(mutex_);
    events_.push_back(std::move(event));
  }
  if (fd_ >= 0) {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(fd_, &one, sizeof one);
  }
}

std::vector<std::function<void()>> UiEventQueue::TakeAll() {
  std::vector<std::function<void()>> taken;
  std::lock_guard lock(mutex_);
  // Cleared under the lock, so a push racing with us leaves the descriptor readable.
  if (fd_ >= 0) {
    uint64_t count;
    [[maybe_unused]] const ssize_t ignored = ::read(fd_, &count, sizeof count);
  }
  taken.swap(events_);
  return taken;
}
