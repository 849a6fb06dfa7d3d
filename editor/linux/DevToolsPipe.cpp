#include "editor/linux/DevToolsPipe.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>

namespace devtools {
namespace {

constexpr size_t kReadChunk = 64 * 1024;
constexpr int kReadsPerTurn = 16;  // then writes and tasks get their turn

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

void MakeNonBlocking(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

Json ClosedReply() {
  return {{"error", {{"code", -32000}, {"message", "DevTools connection closed"}}}};
}

}  // namespace

DevToolsPipe::DevToolsPipe(int readFd, int writeFd) : readFd_(readFd), writeFd_(writeFd) {}

DevToolsPipe::~DevToolsPipe() { Stop(); }

bool DevToolsPipe::Start() {
  wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wakeFd_ < 0 || readFd_ < 0 || writeFd_ < 0) {
    open_ = false;
    return false;
  }
  MakeNonBlocking(readFd_);
  MakeNonBlocking(writeFd_);
  // The thread starts with every signal blocked: the host's handlers must not run on it, and a
  // write to a browser that died gives EPIPE here instead of a process-wide SIGPIPE.
  sigset_t all, previous;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &previous);
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (...) {
    open_ = false;
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return thread_.joinable();
}

void DevToolsPipe::Stop(std::chrono::milliseconds flush) {
  if (thread_.joinable()) {
    flushDeadline_ = std::chrono::steady_clock::now() + flush;
    stopping_ = true;
    Wake();
    thread_.join();
  }
  open_ = false;
  {
    std::lock_guard lock(mutex_);
    waiting_.clear();
    tasks_.clear();
    outbox_.clear();
  }
  CloseFd(readFd_);
  CloseFd(writeFd_);
  CloseFd(wakeFd_);
}

bool DevToolsPipe::Call(std::string_view method, Json params, std::string_view sessionId,
                        ReplyHandler onReply) {
  if (params.is_null()) params = Json::object();  // the protocol wants an object, even empty
  Json command = {{"method", method}, {"params", std::move(params)}};
  if (!sessionId.empty()) command["sessionId"] = sessionId;
  {
    std::lock_guard lock(mutex_);
    if (!open_ || stopping_) return false;
    const int64_t id = nextId_++;
    command["id"] = id;
    // Text that is not UTF-8 is repaired rather than thrown at the caller.
    const std::string text = command.dump(-1, ' ', false, Json::error_handler_t::replace);
    if (outbox_.size() + text.size() + 1 > kMaxOutbox) return false;
    outbox_ += Frame(text);
    if (onReply) waiting_.emplace(id, std::move(onReply));
  }
  Wake();
  return true;
}

void DevToolsPipe::Post(std::function<void()> task) {
  {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  Wake();
}

void DevToolsPipe::Wake() {
  if (wakeFd_ < 0) return;
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t ignored = ::write(wakeFd_, &one, sizeof one);
}

bool DevToolsPipe::HasOutgoing() {
  if (sent_ < sending_.size()) return true;
  std::lock_guard lock(mutex_);
  return !outbox_.empty();
}

void DevToolsPipe::Run() {
  while (PumpOnce()) {
  }
}

// One turn of the I/O thread: wait for the browser, the wake-up descriptor or the flush
// deadline, then run tasks, read, and write. False when the thread should end.
bool DevToolsPipe::PumpOnce() {
  const bool stopping = stopping_.load();
  const auto now = std::chrono::steady_clock::now();
  if (stopping && (!open_ || !HasOutgoing() || now >= flushDeadline_)) return false;

  pollfd fds[3] = {{wakeFd_, POLLIN, 0}, {-1, POLLIN, 0}, {-1, POLLOUT, 0}};
  if (open_) {
    fds[1].fd = readFd_;
    if (HasOutgoing()) fds[2].fd = writeFd_;
  }
  int timeout = -1;
  if (stopping) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(flushDeadline_ - now);
    timeout = static_cast<int>(left.count()) + 1;
  }
  if (::poll(fds, 3, timeout) < 0 && errno != EINTR) {
    CloseConnection();
    return false;
  }
  if (fds[0].revents & POLLIN) {
    uint64_t count;
    [[maybe_unused]] const ssize_t ignored = ::read(wakeFd_, &count, sizeof count);
  }
  RunTasks();
  if (open_ && fds[1].revents != 0 && !ReadAvailable()) CloseConnection();
  if (open_ && fds[2].revents != 0) {
    if ((fds[2].revents & (POLLERR | POLLHUP)) || !WriteAvailable()) CloseConnection();
  }
  return true;
}

void DevToolsPipe::RunTasks() {
  std::vector<std::function<void()>> tasks;
  {
    std::lock_guard lock(mutex_);
    tasks.swap(tasks_);
  }
  for (auto& task : tasks) {
    try {
      task();
    } catch (...) {
      // A task must never end the I/O thread (that would terminate the host).
    }
  }
}

// False at the end of the stream or on a read error.
bool DevToolsPipe::ReadAvailable() {
  char buffer[kReadChunk];
  for (int turn = 0; turn < kReadsPerTurn; ++turn) {
    const ssize_t n = ::read(readFd_, buffer, sizeof buffer);
    if (n == 0) return false;
    if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    for (const std::string& text : reader_.Feed(buffer, static_cast<size_t>(n))) Dispatch(text);
    if (!open_) return true;
  }
  return true;
}

// False when the browser's end is gone.
bool DevToolsPipe::WriteAvailable() {
  if (sent_ >= sending_.size()) {
    sending_.clear();
    sent_ = 0;
    std::lock_guard lock(mutex_);
    sending_.swap(outbox_);
  }
  while (sent_ < sending_.size()) {
    const ssize_t n = ::write(writeFd_, sending_.data() + sent_, sending_.size() - sent_);
    if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    sent_ += static_cast<size_t>(n);
  }
  return true;
}

// Replies go to the handler waiting for their id, events to the event handler; anything else
// (not JSON, not an object, an unknown id) is ignored.
void DevToolsPipe::Dispatch(const std::string& text) {
  const Json message = Json::parse(text, nullptr, false);
  if (!message.is_object()) return;
  try {
    const auto id = message.find("id");
    if (id != message.end()) {
      if (!id->is_number_integer()) return;
      ReplyHandler handler;
      {
        std::lock_guard lock(mutex_);
        const auto waiting = waiting_.find(id->get<int64_t>());
        if (waiting == waiting_.end()) return;
        handler = std::move(waiting->second);
        waiting_.erase(waiting);
      }
      handler(message);
      return;
    }
    const auto method = message.find("method");
    if (method == message.end() || !method->is_string() || !onEvent_) return;
    const auto params = message.find("params");
    const auto session = message.find("sessionId");
    onEvent_(method->get<std::string>(),
             params != message.end() && params->is_object() ? *params : Json::object(),
             session != message.end() && session->is_string() ? session->get<std::string>() : "");
  } catch (...) {
    // A message of an unexpected shape is dropped; it must not end the I/O thread.
  }
}

void DevToolsPipe::CloseConnection() {
  std::map<int64_t, ReplyHandler> waiting;
  {
    std::lock_guard lock(mutex_);
    if (!open_) return;
    open_ = false;
    waiting.swap(waiting_);
    outbox_.clear();
  }
  sending_.clear();
  sent_ = 0;
  const Json closed = ClosedReply();
  for (auto& [id, handler] : waiting) {
    try {
      handler(closed);
    } catch (...) {
    }
  }
  if (onClosed_) {
    try {
      onClosed_();
    } catch (...) {
    }
  }
}

}  // namespace devtools
