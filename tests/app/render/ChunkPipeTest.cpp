// The hand-over between the renderer's stages: every chunk arrives once and in order, none is
// refilled while the consumer still reads it, Finish lets the consumer drain what was sent, and
// Abort frees a side wherever it waits. Run under ThreadSanitizer as well.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/render/ChunkPipe.h"  // header-only, also in builds without the tools

namespace {

struct Numbered {
  int64_t sequence = -1;
  std::vector<int64_t> payload = std::vector<int64_t>(256);
};

bool Holds(const Numbered& chunk, int64_t sequence) {
  return chunk.sequence == sequence &&
         std::all_of(chunk.payload.begin(), chunk.payload.end(),
                     [&](int64_t x) { return x == sequence; });
}

// Lets the other thread run, so that each side also finds the pipe full or empty at times.
void Stall(int64_t i, int every) {
  if (i % every == 0) std::this_thread::sleep_for(std::chrono::microseconds(50));
}

}  // namespace

TEST(Threads, ChunkPipeHandsOverEveryChunkInOrderAndNeverOneInUse) {
  for (int nChunks : {1, 2, 4}) {
    constexpr int64_t kCount = 5000;
    ChunkPipe<Numbered> pipe(std::vector<Numbered>(static_cast<size_t>(nChunks)));
    std::thread producer([&] {
      for (int64_t i = 0; i < kCount; ++i) {
        Numbered* chunk = pipe.Free();
        if (chunk == nullptr) return;
        chunk->sequence = i;
        std::fill(chunk->payload.begin(), chunk->payload.end(), i);
        pipe.Send();
        Stall(i, 97);
      }
      pipe.Finish();
    });

    int64_t received = 0;
    bool intact = true;
    while (const Numbered* chunk = pipe.Next()) {
      // Read twice, with a pause between: a chunk the producer refilled meanwhile would differ.
      intact = intact && Holds(*chunk, received);
      Stall(received, 89);
      intact = intact && Holds(*chunk, received);
      ++received;
      pipe.GiveBack();
    }
    producer.join();
    EXPECT_TRUE(intact) << nChunks << " chunks";
    EXPECT_EQ(received, kCount) << nChunks << " chunks";
  }
}

TEST(Threads, ChunkPipeFinishDrainsAndAbortFreesEitherWaitingSide) {
  {  // Chunks sent before Finish still arrive; then the end.
    ChunkPipe<Numbered> pipe(std::vector<Numbered>(3));
    for (int64_t i = 0; i < 3; ++i) {
      pipe.Free()->sequence = i;
      pipe.Send();
    }
    pipe.Finish();
    for (int64_t i = 0; i < 3; ++i) {
      const Numbered* chunk = pipe.Next();
      ASSERT_NE(chunk, nullptr);
      EXPECT_EQ(chunk->sequence, i);
      pipe.GiveBack();
    }
    EXPECT_EQ(pipe.Next(), nullptr);
  }
  {  // A producer waiting for a free chunk, the consumer holding every one.
    ChunkPipe<Numbered> pipe(std::vector<Numbered>(2));
    pipe.Free();
    pipe.Send();
    pipe.Free();
    pipe.Send();
    Numbered* got = pipe.Next();
    std::thread producer([&] { got = pipe.Free(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    pipe.Abort();
    producer.join();
    EXPECT_EQ(got, nullptr);
  }
  {  // A consumer waiting for a chunk; chunks sent but not taken are dropped by Abort.
    ChunkPipe<Numbered> pipe(std::vector<Numbered>(2));
    const Numbered* got = pipe.Free();
    std::thread consumer([&] { got = pipe.Next(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    pipe.Abort();
    consumer.join();
    EXPECT_EQ(got, nullptr);
    pipe.Send();
    EXPECT_EQ(pipe.Next(), nullptr);
    EXPECT_EQ(pipe.Free(), nullptr);
  }
}
