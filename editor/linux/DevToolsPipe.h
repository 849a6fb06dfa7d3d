#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <optional>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "editor/linux/DevToolsFraming.h"

namespace devtools {

using Json = nlohmann::json;

// A DevTools protocol connection over two pipe ends (the browser reads our commands on its
// fd 3 and writes replies and events on its fd 4). One I/O thread reads and writes without
// blocking anyone: commands from any thread are queued, replies and events are handed to
// handlers on the I/O thread. When the browser goes away every waiting reply handler gets an
// error reply, so nobody waits for an answer that will never come.
class DevToolsPipe {
 public:
  // The whole reply object: it holds "result" or "error".
  using ReplyHandler = std::function<void(const Json& reply)>;
  using EventHandler =
      std::function<void(const std::string& method, const Json& params, const std::string& sessionId)>;
  using ClosedHandler = std::function<void()>;

  // Commands queued beyond this (a browser that stopped reading) are refused.
  static constexpr size_t kMaxOutbox = size_t{64} << 20;

  // Takes ownership of both descriptors; nothing is read before Start.
  DevToolsPipe(int readFd, int writeFd);
  ~DevToolsPipe();
  DevToolsPipe(const DevToolsPipe&) = delete;
  DevToolsPipe& operator=(const DevToolsPipe&) = delete;

  // [owner thread, before Start] Where events and the end of the connection are reported,
  // on the I/O thread.
  void SetEventHandler(EventHandler handler) { onEvent_ = std::move(handler); }
  void SetClosedHandler(ClosedHandler handler) { onClosed_ = std::move(handler); }

  // [owner thread] Starts the I/O thread; false (and closed) when it cannot.
  bool Start();

  // [any thread] Queues a command for the browser, or for one of its targets' sessions. The
  // reply handler runs on the I/O thread. False, and the handler is never called, when the
  // connection is closed or the queue is full.
  bool Call(std::string_view method, Json params = Json::object(), std::string_view sessionId = {},
            ReplyHandler onReply = {});

  // [any thread] Runs the task on the I/O thread (dropped once the thread has ended).
  void Post(std::function<void()> task);

  // [owner thread] Lets queued commands leave for up to `flush`, then ends the I/O thread and
  // closes both descriptors. No handler runs after it returns. Safe to call twice.
  void Stop(std::chrono::milliseconds flush = std::chrono::milliseconds(0));

  // [any thread] False once the browser closed its end or a read or write failed.
  bool IsOpen() const { return open_.load(); }

 private:
  void Run();
  bool PumpOnce();
  void RunTasks();
  bool ReadAvailable();
  bool WriteAvailable();
  void Dispatch(const std::string& text);
  void CloseConnection();
  void Wake();
  bool HasOutgoing();

  int readFd_;
  int writeFd_;
  int wakeFd_ = -1;
  EventHandler onEvent_;
  ClosedHandler onClosed_;
  std::thread thread_;
  std::atomic<bool> open_{true};
  std::atomic<bool> stopping_{false};
  std::chrono::steady_clock::time_point flushDeadline_;

  std::mutex mutex_;  // guards everything below, up to the I/O thread's own state
  std::string outbox_;
  std::vector<std::function<void()>> tasks_;
  std::map<int64_t, ReplyHandler> waiting_;
  int64_t nextId_ = 1;

  // I/O thread only.
  FrameReader reader_;
  std::string sending_;
  size_t sent_ = 0;
};

// One reply waited for on another thread than the pipe's: hand Handler() to a call, then wait.
// Shared, so that a reply arriving after the waiter gave up has somewhere to go.
class ReplyWaiter : public std::enable_shared_from_this<ReplyWaiter> {
 public:
  static std::shared_ptr<ReplyWaiter> Create() { return std::shared_ptr<ReplyWaiter>(new ReplyWaiter()); }

  DevToolsPipe::ReplyHandler Handler() {
    return [self = shared_from_this()](const Json& reply) { self->Deliver(reply); };
  }
  // Also for a call that could not be sent: nothing will come, so stop waiting.
  void Deliver(const Json& reply) {
    {
      std::lock_guard lock(mutex_);
      reply_ = reply;
    }
    done_.notify_all();
  }
  // The whole reply, or nothing at the deadline.
  template <typename TimePoint>
  std::optional<Json> WaitUntil(TimePoint deadline) {
    std::unique_lock lock(mutex_);
    done_.wait_until(lock, deadline, [&] { return reply_.has_value(); });
    return reply_;
  }

 private:
  ReplyWaiter() = default;
  std::mutex mutex_;
  std::condition_variable done_;
  std::optional<Json> reply_;
};

}  // namespace devtools
