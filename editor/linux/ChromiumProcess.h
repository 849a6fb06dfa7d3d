#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

// The browser's process: started with the DevTools pipe on its descriptors 3 (commands in) and 4
// (replies and events out), in a process group of its own so that its helper processes end with
// it, and ended within a bounded time however it behaves. [owner thread]
class ChromiumProcess {
 public:
  // Our ends of the DevTools pipe, owned by the caller once Start returns them.
  struct PipeEnds {
    int toBrowser;
    int fromBrowser;
  };

  static constexpr std::chrono::milliseconds kDefaultGrace{3000};

  ChromiumProcess() = default;
  ~ChromiumProcess() { Terminate(); }
  ChromiumProcess(const ChromiumProcess&) = delete;
  ChromiumProcess& operator=(const ChromiumProcess&) = delete;

  // The browser to run: `requested` when given (and executable), else Debian's chromium. Empty
  // when there is none.
  static std::string Find(const std::string& requested);

  // The flags every browser we start takes: the DevTools pipe, a profile of its own in `profile`,
  // nothing of its own running in the background, and no network (our pages come whole or from
  // our own server on the loopback).
  static std::vector<std::string> IsolatedArguments(const std::string& profile);

  // Runs `binary` with `args`. Its standard input and output go to /dev/null, and so does its
  // error output unless `keepErrorOutput`. Nothing when the program cannot be started.
  std::optional<PipeEnds> Start(const std::string& binary, const std::vector<std::string>& args,
                                bool keepErrorOutput = false);

  pid_t Pid() const { return pid_; }

  // Asks the browser to end (SIGTERM), waits up to `grace`, then kills what is left of its
  // process group and reaps it. Returns at once when nothing runs.
  void Terminate(std::chrono::milliseconds grace = kDefaultGrace);

 private:
  bool WaitForExit(std::chrono::milliseconds limit) const;
  void Reap(std::chrono::milliseconds limit);

  pid_t pid_ = 0;
};
