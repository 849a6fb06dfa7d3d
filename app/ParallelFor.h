#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <functional>
#include <thread>
#include <vector>

// Calls work(i) for every i in 0..count-1 on up to `jobs` threads (the caller's among them),
// each taking the next index when it is free. `work` must not throw; results go into slots of
// their own index, so their order never depends on the threads.
inline void ParallelFor(size_t count, int jobs, const std::function<void(size_t)>& work) {
  std::atomic<size_t> next{0};
  const auto worker = [&] {
    for (size_t i = next++; i < count; i = next++) work(i);
  };
  const size_t helpers = std::min(count, static_cast<size_t>(std::max(jobs, 1))) - (count > 0);
  std::vector<std::thread> threads;
  for (size_t t = 0; t < helpers; ++t) threads.emplace_back(worker);
  worker();
  for (auto& thread : threads) thread.join();
}
