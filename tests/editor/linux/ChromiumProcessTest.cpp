// Starting, wiring and ending a browser process, with stand-ins for the browser; and the link
// opener, with a stand-in for xdg-open.
#if defined(__linux__)

#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "editor/linux/ChromiumProcess.h"
#include "editor/linux/SystemOpener.h"
#include "editor/linux/TemporaryFolder.h"
#include "support/ScratchDirectory.h"

namespace {

bool ProcessExists(pid_t pid) { return ::kill(pid, 0) == 0 || errno != ESRCH; }

std::string ReadSome(int fd) {
  pollfd events{fd, POLLIN, 0};
  if (::poll(&events, 1, 10000) <= 0) return {};
  char buffer[256];
  const ssize_t n = ::read(fd, buffer, sizeof buffer);
  return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

TEST(ChromiumProcess, FindsOnlyExecutables) {
  EXPECT_EQ(ChromiumProcess::Find("/nonexistent/chromium"), "");
  EXPECT_EQ(ChromiumProcess::Find("/etc/passwd"), "");
  EXPECT_EQ(ChromiumProcess::Find("/bin/sh"), "/bin/sh");
}

TEST(ChromiumProcess, TheChildTalksOnDescriptorsThreeAndFour) {
  ChromiumProcess process;
  // A stand-in browser that answers every command with itself.
  const auto ends = process.Start("/bin/sh", {"-c", "exec cat <&3 >&4"});
  ASSERT_TRUE(ends);
  ASSERT_GT(process.Pid(), 0);
  ASSERT_EQ(::write(ends->toBrowser, "ping", 4), 4);
  EXPECT_EQ(ReadSome(ends->fromBrowser), "ping");
  ::close(ends->toBrowser);  // end of input: the stand-in exits and closes its output
  EXPECT_EQ(ReadSome(ends->fromBrowser), "");
  ::close(ends->fromBrowser);
  const pid_t pid = process.Pid();
  process.Terminate();
  EXPECT_EQ(process.Pid(), 0);
  EXPECT_FALSE(ProcessExists(pid));
}

TEST(ChromiumProcess, ABrowserIgnoringSigtermIsKilledAndReaped) {
  ChromiumProcess process;
  const auto ends = process.Start("/bin/sh", {"-c", "trap '' TERM; echo ready >&4; while :; do sleep 1; done"});
  ASSERT_TRUE(ends);
  EXPECT_EQ(ReadSome(ends->fromBrowser), "ready\n");  // the trap is in place
  const pid_t pid = process.Pid();
  process.Terminate(std::chrono::milliseconds(100));
  EXPECT_FALSE(ProcessExists(pid));
  ::close(ends->toBrowser);
  ::close(ends->fromBrowser);
}

TEST(ChromiumProcess, AMissingProgramStartsNothing) {
  ChromiumProcess process;
  EXPECT_FALSE(process.Start("/nonexistent/chromium", {}));
  EXPECT_EQ(process.Pid(), 0);
  process.Terminate();  // nothing to end
}

TEST(ChromiumProcess, TemporaryFolderGoesWithItsContents) {
  std::string path;
  {
    auto folder = TemporaryFolder::Create("zarn-test-");
    ASSERT_TRUE(folder);
    path = folder->Path();
    std::ofstream(path + "/Preferences") << "{}";
    auto moved = std::move(*folder);
    EXPECT_EQ(folder->Path(), "");
    EXPECT_TRUE(std::filesystem::exists(path + "/Preferences"));
  }
  EXPECT_FALSE(std::filesystem::exists(path));
}

// A stand-in xdg-open on PATH that writes the address it was given into a file.
class FakeOpener {
 public:
  FakeOpener() : oldPath_(std::getenv("PATH") ? std::getenv("PATH") : "") {
    const std::string script = scratch_.File("xdg-open");
    std::ofstream(script) << "#!/bin/sh\nprintf '%s|%s' \"$#\" \"$1\" > \"$ZARN_TEST_OPENED\".tmp\n"
                             "/bin/mv \"$ZARN_TEST_OPENED\".tmp \"$ZARN_TEST_OPENED\"\n";
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    ::setenv("PATH", scratch_.File("").c_str(), 1);
    ::setenv("ZARN_TEST_OPENED", Output().c_str(), 1);
  }
  ~FakeOpener() {
    ::setenv("PATH", oldPath_.c_str(), 1);
    ::unsetenv("ZARN_TEST_OPENED");
  }
  std::string Output() const { return scratch_.File("opened"); }
  // What the opener received: "argument count|first argument"; empty if it never ran.
  std::string Received() const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!std::filesystem::exists(Output()) && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::ifstream in(Output());
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

 private:
  ScratchDirectory scratch_;
  std::string oldPath_;
};

TEST(SystemOpener, HandsTheAddressOverAsOneArgumentWithoutAShell) {
  FakeOpener opener;
  // Shell syntax stays inert text: there is no shell to interpret it.
  const std::string url = "https://example.com/a;touch${IFS}pwned|x&y=`id`$(id)";
  ASSERT_TRUE(OpenInSystemBrowser(url));
  EXPECT_EQ(opener.Received(), "1|" + url);
}

TEST(SystemOpener, RefusesAnythingButPlainWebAddresses) {
  FakeOpener opener;
  for (const char* refused : {"file:///etc/passwd", "HTTPS://example.com", "javascript:alert(1)",
                              "https://example.com/a b", "https://example.com/\"", "http://", ""})
    EXPECT_FALSE(OpenInSystemBrowser(refused)) << refused;
  EXPECT_FALSE(std::filesystem::exists(opener.Output()));
}

}  // namespace

#endif  // __linux__
