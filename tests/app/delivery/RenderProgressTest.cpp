// What the master's threads share: a render read while it is made, and work spread over
// threads. Header-only, so they run under ThreadSanitizer as well.
#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/delivery/ParallelFor.h"
#include "app/delivery/RenderProgress.h"

TEST(Threads, RenderProgressHandsOverEverySampleAsItIsWritten) {
  constexpr int64_t kFrames = 200000, kBlock = 512, kFrame = 1024;
  std::vector<double> output(kFrames, 0.0);
  RenderProgress progress;
  double sum = 0.0;
  std::thread reader([&] {
    // Frames of another size than the blocks, the last one short.
    for (int64_t start = 0; start < kFrames; start += kFrame) {
      const int64_t end = std::min(start + kFrame, kFrames);
      ASSERT_TRUE(progress.WaitFor(end));
      for (int64_t n = start; n < end; ++n) sum += output[static_cast<size_t>(n)];
    }
  });
  for (int64_t start = 0; start < kFrames; start += kBlock) {
    const int64_t end = std::min(start + kBlock, kFrames);
    for (int64_t n = start; n < end; ++n) output[static_cast<size_t>(n)] = 1.0;
    progress.Publish(end);
  }
  reader.join();
  EXPECT_EQ(sum, static_cast<double>(kFrames));
}

TEST(Threads, RenderProgressAbandonedWakesAWaitingReader) {
  RenderProgress progress;
  progress.Publish(100);
  EXPECT_TRUE(progress.WaitFor(100));
  std::atomic<bool> gotFrames{true};
  std::thread reader([&] { gotFrames = progress.WaitFor(1000); });
  progress.Publish(500);
  progress.Abandon();
  reader.join();
  EXPECT_FALSE(gotFrames.load());
  EXPECT_FALSE(progress.WaitFor(1));  // abandoned stays abandoned
}

TEST(Threads, ParallelForDoesEveryIndexOnceOrRethrowsTheFailureAfterEveryThreadStopped) {
  for (int jobs : {1, 2, 4}) {
    std::vector<std::atomic<int>> calls(100);
    ParallelFor(calls.size(), jobs, [&](size_t i) { ++calls[i]; });
    for (const auto& count : calls) EXPECT_EQ(count.load(), 1) << jobs << " jobs";

    std::atomic<int> done{0};
    try {
      ParallelFor(100, jobs, [&](size_t i) {
        if (i == 3) throw std::runtime_error("three");
        ++done;
      });
      ADD_FAILURE() << "no failure thrown";
    } catch (const std::runtime_error& error) {
      EXPECT_STREQ(error.what(), "three");
    }
    // Alone, the thread stops at the failure; beside others, whatever they took is done.
    if (jobs == 1)
      EXPECT_EQ(done.load(), 3) << "the indices not yet taken are left";
    else
      EXPECT_LE(done.load(), 99);
  }
}
