#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// Calls work(i) for every i in 0..count-1 on up to `jobs` threads (the caller's among them),
// each taking the next index when it is free. Results go into slots of their own index, so their
// order never depends on the threads. If `work` throws, the indices not yet taken are left and
// the first failure is thrown again once every thread has stopped.
inline void ParallelFor(size_t count, int jobs, const std::function<void(size_t)>& work) {
  std::atomic<size_t> next{0};
  std::exception_ptr failure;
  std::mutex failureMutex;
  const auto worker = [&] {
    for (size_t i = next++; i < count; i = next++) {
      try {
        work(i);
      } catch (...) {
        const std::lock_guard<std::mutex> lock(failureMutex);
        if (!failure) failure = std::current_exception();
        next = count;
      }
    }
  };
  const size_t helpers = std::min(count, static_cast<size_t>(std::max(jobs, 1))) - (count > 0);
  std::vector<std::thread> threads;
  for (size_t t = 0; t < helpers; ++t) threads.emplace_back(worker);
  worker();
  for (auto& thread : threads) thread.join();
  if (failure) std::rethrow_exception(failure);
}
