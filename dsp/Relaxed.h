#pragma once

#include <atomic>

// A single word shared between threads where only the latest value matters: written whole by
// one thread, read whole by another, no ordering with anything else.
template <typename T>
class Relaxed {
 public:
  constexpr Relaxed(T value = T()) noexcept : value_(value) {}
  Relaxed(const Relaxed& other) noexcept : value_(other.load()) {}
  Relaxed& operator=(const Relaxed& other) noexcept {
    store(other.load());
    return *this;
  }
  Relaxed& operator=(T value) noexcept {
    store(value);
    return *this;
  }
  operator T() const noexcept { return load(); }
  T load() const noexcept { return value_.load(std::memory_order_relaxed); }
  void store(T value) noexcept { value_.store(value, std::memory_order_relaxed); }

 private:
  std::atomic<T> value_;
  static_assert(std::atomic<T>::is_always_lock_free);
};
