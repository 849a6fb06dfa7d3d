#pragma once

#include <atomic>
#include <cstdint>

// How much of a render's output is final, for a reader on another thread: the render publishes
// the frames it has written after every block; a reader waits for the frames it needs, or learns
// that the render was abandoned and will never finish.
class RenderProgress {
 public:
  void Publish(int64_t frames) {
    ready_.store(frames, std::memory_order_release);
    ready_.notify_all();
  }

  void Abandon() {
    ready_.store(kAbandoned, std::memory_order_release);
    ready_.notify_all();
  }

  // True once the first `frames` frames are written; false if the render was abandoned first.
  bool WaitFor(int64_t frames) const {
    for (int64_t ready = ready_.load(std::memory_order_acquire);;
         ready = ready_.load(std::memory_order_acquire)) {
      if (ready == kAbandoned) return false;
      if (ready >= frames) return true;
      ready_.wait(ready, std::memory_order_acquire);
    }
  }

 private:
  static constexpr int64_t kAbandoned = -1;
  std::atomic<int64_t> ready_{0};
};
