// The DevTools pipe without a browser: the NUL framing, and the I/O thread against a fake browser
// on the other end of two pipes (replies, events, garbage, a browser that goes away).
#if defined(__linux__)

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "editor/linux/DevToolsFraming.h"
#include "editor/linux/DevToolsPipe.h"

namespace {

using devtools::DevToolsPipe;
using devtools::FrameReader;
using devtools::Json;

constexpr auto kWait = std::chrono::seconds(10);

TEST(DevToolsFraming, SplitsMessagesWhateverTheReadBoundaries) {
  const std::string stream = devtools::Frame(R"({"id":1})") + devtools::Frame(R"({"id":2})");
  for (size_t chunk = 1; chunk <= stream.size(); ++chunk) {
    FrameReader reader;
    std::vector<std::string> messages;
    for (size_t at = 0; at < stream.size(); at += chunk) {
      for (auto& message : reader.Feed(stream.data() + at, std::min(chunk, stream.size() - at)))
        messages.push_back(message);
    }
    EXPECT_EQ(messages, (std::vector<std::string>{R"({"id":1})", R"({"id":2})"})) << "chunk " << chunk;
    EXPECT_EQ(reader.Pending(), 0u);
  }
}

TEST(DevToolsFraming, KeepsPartsAndDropsOversizedMessages) {
  FrameReader reader(8);
  EXPECT_TRUE(reader.Feed("abc", 3).empty());
  EXPECT_EQ(reader.Pending(), 3u);
  // Too long: dropped up to its terminator, and the stream recovers after it.
  const std::string stream = std::string("defghijk") + '\0' + "ok" + '\0' + '\0';
  const auto messages = reader.Feed(stream.data(), stream.size());
  EXPECT_EQ(messages, (std::vector<std::string>{"ok", ""}));
  EXPECT_EQ(reader.Pending(), 0u);
}

// The browser's side of the pipe: reads our framed commands, writes replies and events.
class FakeBrowser {
 public:
  FakeBrowser() {
    int commands[2], replies[2];
    EXPECT_EQ(::pipe2(commands, O_CLOEXEC), 0);
    EXPECT_EQ(::pipe2(replies, O_CLOEXEC), 0);
    commandsIn_ = commands[0];
    repliesOut_ = replies[1];
    pipe_.emplace(replies[0], commands[1]);
  }
  ~FakeBrowser() {
    pipe_.reset();
    CloseCommands();
    CloseReplies();
  }

  DevToolsPipe& Pipe() { return *pipe_; }

  void Send(const std::string& bytes) {
    ASSERT_EQ(::write(repliesOut_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  // The next command we sent, parsed; null after kWait.
  Json NextCommand() {
    const auto deadline = std::chrono::steady_clock::now() + kWait;
    for (;;) {
      if (!pending_.empty()) {
        Json command = Json::parse(pending_.front());
        pending_.erase(pending_.begin());
        return command;
      }
      if (std::chrono::steady_clock::now() >= deadline) return nullptr;
      pollfd fd{commandsIn_, POLLIN, 0};
      if (::poll(&fd, 1, 50) <= 0) continue;
      char buffer[4096];
      const ssize_t n = ::read(commandsIn_, buffer, sizeof buffer);
      if (n <= 0) return nullptr;
      for (auto& message : reader_.Feed(buffer, static_cast<size_t>(n))) pending_.push_back(message);
    }
  }
  void CloseCommands() {
    if (commandsIn_ >= 0) ::close(commandsIn_);
    commandsIn_ = -1;
  }
  void CloseReplies() {
    if (repliesOut_ >= 0) ::close(repliesOut_);
    repliesOut_ = -1;
  }

 private:
  int commandsIn_ = -1;
  int repliesOut_ = -1;
  FrameReader reader_;
  std::vector<std::string> pending_;
  std::optional<DevToolsPipe> pipe_;
};

// Collects what the I/O thread hands over, for the test thread to wait on.
struct Inbox {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<Json> items;
  int closed = 0;

  void Add(Json item) {
    std::lock_guard lock(mutex);
    items.push_back(std::move(item));
    changed.notify_all();
  }
  void Close() {
    std::lock_guard lock(mutex);
    ++closed;
    changed.notify_all();
  }
  bool WaitForItems(size_t count) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, kWait, [&] { return items.size() >= count; });
  }
  bool WaitForClose() {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, kWait, [&] { return closed > 0; });
  }
};

void Connect(FakeBrowser& browser, Inbox& events) {
  browser.Pipe().SetEventHandler([&](const std::string& method, const Json& params, const std::string& session) {
    events.Add({{"method", method}, {"params", params}, {"session", session}});
  });
  browser.Pipe().SetClosedHandler([&] { events.Close(); });
  ASSERT_TRUE(browser.Pipe().Start());
}

TEST(DevToolsPipe, CommandsCarryIdsAndRepliesFindTheirHandler) {
  FakeBrowser browser;
  Inbox events, replies;
  Connect(browser, events);
  ASSERT_TRUE(browser.Pipe().Call("Page.navigate", {{"url", "https://zarn.editor/"}}, "S1",
                                  [&](const Json& reply) { replies.Add(reply); }));
  ASSERT_TRUE(browser.Pipe().Call("Browser.close"));

  const Json first = browser.NextCommand();
  EXPECT_EQ(first["method"], "Page.navigate");
  EXPECT_EQ(first["params"]["url"], "https://zarn.editor/");
  EXPECT_EQ(first["sessionId"], "S1");
  const Json second = browser.NextCommand();
  EXPECT_EQ(second["params"], Json::object());  // never null
  EXPECT_FALSE(second.contains("sessionId"));
  EXPECT_NE(first["id"], second["id"]);

  // An event and the reply arrive in one write, the reply split from its terminator.
  const std::string reply = Json{{"id", first["id"]}, {"result", {{"frameId", "F"}}}}.dump();
  browser.Send(devtools::Frame(R"({"method":"Page.loadEventFired","params":{},"sessionId":"S1"})") + reply);
  browser.Send(std::string(1, '\0'));
  ASSERT_TRUE(replies.WaitForItems(1));
  EXPECT_EQ(replies.items[0]["result"]["frameId"], "F");
  ASSERT_TRUE(events.WaitForItems(1));
  EXPECT_EQ(events.items[0]["method"], "Page.loadEventFired");
  EXPECT_EQ(events.items[0]["session"], "S1");
}

TEST(DevToolsPipe, GarbageFromTheBrowserIsIgnored) {
  FakeBrowser browser;
  Inbox events;
  Connect(browser, events);
  for (const char* garbage : {"not json", "[1,2]", "42", R"({"id":"7"})", R"({"id":999,"result":{}})",
                              R"({"method":5})", R"({"nothing":true})", "\xff\xfe{", ""})
    browser.Send(devtools::Frame(garbage));
  browser.Send(devtools::Frame(R"({"method":"Runtime.bindingCalled","params":"not an object"})"));
  ASSERT_TRUE(events.WaitForItems(1));
  EXPECT_EQ(events.items[0]["params"], Json::object());
  EXPECT_TRUE(browser.Pipe().IsOpen());
}

TEST(DevToolsPipe, AThrowingHandlerDoesNotEndTheConnection) {
  FakeBrowser browser;
  Inbox events;
  int calls = 0;
  browser.Pipe().SetEventHandler([&](const std::string& method, const Json&, const std::string&) {
    if (++calls == 1) throw std::runtime_error("handler bug");
    events.Add(method);
  });
  ASSERT_TRUE(browser.Pipe().Start());
  browser.Send(devtools::Frame(R"({"method":"A"})") + devtools::Frame(R"({"method":"B"})"));
  ASSERT_TRUE(events.WaitForItems(1));
  EXPECT_EQ(events.items[0], "B");
}

TEST(DevToolsPipe, ABrowserThatGoesAwayAnswersEveryWaitingCommand) {
  FakeBrowser browser;
  Inbox events, replies;
  Connect(browser, events);
  ASSERT_TRUE(browser.Pipe().Call("Page.captureScreenshot", Json::object(), "S",
                                  [&](const Json& reply) { replies.Add(reply); }));
  ASSERT_FALSE(browser.NextCommand().is_null());
  browser.CloseReplies();
  browser.CloseCommands();

  ASSERT_TRUE(events.WaitForClose());
  ASSERT_TRUE(replies.WaitForItems(1));
  EXPECT_TRUE(replies.items[0].contains("error"));
  EXPECT_FALSE(browser.Pipe().IsOpen());
  EXPECT_FALSE(browser.Pipe().Call("Runtime.evaluate", {{"expression", "1"}}, "S",
                                   [&](const Json& reply) { replies.Add(reply); }));
  browser.Pipe().Stop();
  EXPECT_EQ(replies.items.size(), 1u);
  EXPECT_EQ(events.closed, 1);
}

TEST(DevToolsPipe, WritingToAVanishedBrowserDoesNotRaiseSigpipe) {
  FakeBrowser browser;
  Inbox events;
  Connect(browser, events);
  browser.CloseCommands();  // nobody reads our commands any more; the replies side stays open
  ASSERT_TRUE(browser.Pipe().Call("Runtime.evaluate", {{"expression", "1"}}));
  ASSERT_TRUE(events.WaitForClose());  // the process is still here: EPIPE, not a signal
  EXPECT_FALSE(browser.Pipe().IsOpen());
}

TEST(DevToolsPipe, StopFlushesQueuedCommandsAndNeverHangsOnAStuckBrowser) {
  {
    FakeBrowser browser;
    Inbox events;
    Connect(browser, events);
    ASSERT_TRUE(browser.Pipe().Call("Browser.close"));
    browser.Pipe().Stop(std::chrono::milliseconds(2000));
    EXPECT_EQ(browser.NextCommand()["method"], "Browser.close");
    EXPECT_EQ(events.closed, 0);  // our own stop is not the browser going away
  }
  {
    FakeBrowser browser;  // never reads: the pipe fills up and the rest stays queued
    Inbox events;
    Connect(browser, events);
    const std::string big(1 << 20, 'x');
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(browser.Pipe().Call("Runtime.evaluate", {{"expression", big}}));
    browser.Pipe().Stop(std::chrono::milliseconds(100));  // returns although nothing drains
    EXPECT_FALSE(browser.Pipe().IsOpen());
  }
}

TEST(DevToolsPipe, TasksRunOnTheIoThreadInOrder) {
  FakeBrowser browser;
  Inbox events, done;
  Connect(browser, events);
  std::thread::id ioThread;
  for (int i = 0; i < 3; ++i)
    browser.Pipe().Post([&, i] {
      ioThread = std::this_thread::get_id();
      done.Add(i);
    });
  ASSERT_TRUE(done.WaitForItems(3));
  EXPECT_EQ(done.items, (std::vector<Json>{0, 1, 2}));
  EXPECT_NE(ioThread, std::this_thread::get_id());
}

}  // namespace

#endif  // __linux__
