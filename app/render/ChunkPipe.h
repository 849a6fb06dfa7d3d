#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

// Hands chunks of work from one producing thread to one consuming thread, in order, through a
// fixed set of chunks made up front: the producer fills a free chunk and sends it, the consumer
// takes the oldest sent one and gives it back when done, and nothing is allocated on the way.
// With every chunk sent and none given back, the producer waits: a slow consumer holds the
// producer back instead of letting the queue grow.
//
// Each side holds at most one chunk at a time. Abort, from any thread, ends the hand-over for
// both sides: every call that would wait returns nullptr from then on, so a side that fails can
// stop the other wherever it is waiting.
//
//   producer: while (Chunk* c = pipe.Free()) { fill *c; pipe.Send(); }  ... pipe.Finish();
//   consumer: while (Chunk* c = pipe.Next()) { use *c; pipe.GiveBack(); }
template <class Chunk>
class ChunkPipe {
 public:
  explicit ChunkPipe(std::vector<Chunk> chunks) : chunks_(std::move(chunks)) {}
  ChunkPipe(const ChunkPipe&) = delete;
  ChunkPipe& operator=(const ChunkPipe&) = delete;

  // Producer: the next chunk to fill, once the consumer has given it back; nullptr once aborted.
  Chunk* Free() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return aborted_ || sent_ - givenBack_ < Size(); });
    return aborted_ ? nullptr : &chunks_[static_cast<size_t>(sent_ % Size())];
  }
  // Producer: the chunk from Free is ready.
  void Send() {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      ++sent_;
    }
    changed_.notify_all();
  }
  // Producer: no more chunks will come.
  void Finish() {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      finished_ = true;
    }
    changed_.notify_all();
  }

  // Consumer: the oldest chunk sent and not given back; nullptr after the last one once the
  // producer has finished, or once aborted.
  Chunk* Next() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return aborted_ || givenBack_ < sent_ || finished_; });
    return aborted_ || givenBack_ == sent_ ? nullptr
                                           : &chunks_[static_cast<size_t>(givenBack_ % Size())];
  }
  // Consumer: the chunk from Next may be filled again.
  void GiveBack() {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      ++givenBack_;
    }
    changed_.notify_all();
  }

  void Abort() {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      aborted_ = true;
    }
    changed_.notify_all();
  }

 private:
  int64_t Size() const { return static_cast<int64_t>(chunks_.size()); }

  std::vector<Chunk> chunks_;
  std::mutex mutex_;
  std::condition_variable changed_;  // one for both sides: a hand-over every few milliseconds
  int64_t sent_ = 0;
  int64_t givenBack_ = 0;
  bool finished_ = false;
  bool aborted_ = false;
};
