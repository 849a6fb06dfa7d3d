#pragma once

#include <atomic>
#include <cstdint>

#include "meters/MeterSnapshot.h"

// Hands meter snapshots from the audio thread to the UI thread through one flag: the audio thread
// writes the record only while the flag is clear and then sets it (release); the UI thread copies
// the record only while the flag is set (acquire) and then clears it. Only the UI side clears the
// flag, so a record can never be overwritten while it is being copied.
class MeterPublisher {
 public:
  // Publishes unless the last record has not been taken yet. [audio thread]
  bool Publish(const MeterSnapshot& snapshot) {
    if (flag_.load(std::memory_order_acquire) != 0) return false;
    published_ = snapshot;
    flag_.store(1, std::memory_order_release);
    return true;
  }

  // Copies the newest untaken record, if any. [UI thread]
  bool Take(MeterSnapshot& out) {
    if (flag_.load(std::memory_order_acquire) == 0) return false;
    out = published_;
    flag_.store(0, std::memory_order_release);
    return true;
  }

  bool HasUntaken() const { return flag_.load(std::memory_order_acquire) != 0; }

 private:
  MeterSnapshot published_;
  std::atomic<uint8_t> flag_{0};
};
