#include "editor/linux/ChromiumProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

extern char** environ;

namespace {

constexpr int kBrowserCommandFd = 3;
constexpr int kBrowserReplyFd = 4;
constexpr auto kPollInterval = std::chrono::milliseconds(10);

bool IsExecutable(const std::string& path) {
  return !path.empty() && ::access(path.c_str(), X_OK) == 0;
}

// Moves a descriptor above the two the child expects, so placing one cannot overwrite the other.
int MoveAboveBrowserFds(int fd) {
  const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 10);
  ::close(fd);
  return moved;
}

struct SpawnSetup {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;

  SpawnSetup() {
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
  }
};

// The child starts with default signal handling, nothing blocked, in a new process group, with
// only descriptors 0 to 4.
void Prepare(SpawnSetup& setup, int commandEnd, int replyEnd, bool keepErrorOutput) {
  auto* actions = &setup.actions;
  posix_spawn_file_actions_addopen(actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(actions, 1, "/dev/null", O_WRONLY, 0);
  if (!keepErrorOutput) posix_spawn_file_actions_addopen(actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(actions, commandEnd, kBrowserCommandFd);
  posix_spawn_file_actions_adddup2(actions, replyEnd, kBrowserReplyFd);
  posix_spawn_file_actions_addclosefrom_np(actions, kBrowserReplyFd + 1);

  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&setup.attributes, &none);
  posix_spawnattr_setsigdefault(&setup.attributes, &all);
  posix_spawnattr_setpgroup(&setup.attributes, 0);
  posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF |
                                                  POSIX_SPAWN_SETPGROUP);
}

void CloseAll(std::initializer_list<int> fds) {
  for (const int fd : fds)
    if (fd >= 0) ::close(fd);
}

}  // namespace

std::vector<std::string> ChromiumProcess::IsolatedArguments(const std::string& profile) {
  std::vector<std::string> args = {
      "--remote-debugging-pipe",
      "--user-data-dir=" + profile,
      "--no-first-run",
      "--no-default-browser-check",
      "--disable-background-networking",
      "--disable-component-update",
      "--disable-sync",
      "--disable-extensions",
      "--password-store=basic",  // no keyring prompt
      // Should a request slip through, it finds no network.
      "--host-resolver-rules=MAP * ~NOTFOUND",
      "--proxy-server=127.0.0.1:9",
      "--proxy-bypass-list=<-loopback>",
  };
  // Chromium's sandbox refuses to run as root; the pages are our own and the network is cut.
  if (::geteuid() == 0) args.push_back("--no-sandbox");
  return args;
}

std::string ChromiumProcess::Find(const std::string& requested) {
  if (!requested.empty()) return IsExecutable(requested) ? requested : std::string();
  // Debian's launcher first: it applies the system's chromium settings, then execs the browser
  // in place, so its process is the browser's.
  for (const char* candidate : {"/usr/bin/chromium", "/usr/lib/chromium/chromium"})
    if (IsExecutable(candidate)) return candidate;
  return {};
}

std::optional<ChromiumProcess::PipeEnds> ChromiumProcess::Start(
    const std::string& binary, const std::vector<std::string>& args, bool keepErrorOutput) {
  if (pid_ > 0) return std::nullopt;
  int commands[2], replies[2];
  if (::pipe2(commands, O_CLOEXEC) != 0) return std::nullopt;
  if (::pipe2(replies, O_CLOEXEC) != 0) {
    CloseAll({commands[0], commands[1]});
    return std::nullopt;
  }
  const int commandEnd = MoveAboveBrowserFds(commands[0]);
  const int replyEnd = MoveAboveBrowserFds(replies[1]);
  if (commandEnd < 0 || replyEnd < 0) {
    CloseAll({commandEnd, replyEnd, commands[1], replies[0]});
    return std::nullopt;
  }

  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(binary.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  SpawnSetup setup;
  Prepare(setup, commandEnd, replyEnd, keepErrorOutput);
  pid_t pid = 0;
  const int result = ::posix_spawn(&pid, binary.c_str(), &setup.actions, &setup.attributes,
                                   argv.data(), environ);
  CloseAll({commandEnd, replyEnd});  // the child holds its own copies now
  if (result != 0) {
    CloseAll({commands[1], replies[0]});
    return std::nullopt;
  }
  pid_ = pid;
  return PipeEnds{commands[1], replies[0]};
}

// True once the browser has exited (it stays a zombie, so its process group id cannot be taken
// by another process while we signal the group).
bool ChromiumProcess::WaitForExit(std::chrono::milliseconds limit) const {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    siginfo_t info{};
    const int result = ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT);
    if (result != 0 && errno != EINTR) return true;  // ECHILD: reaped already (SIGCHLD ignored)
    if (result == 0 && info.si_pid == pid_) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(kPollInterval);
  }
}

void ChromiumProcess::Reap(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    const pid_t result = ::waitpid(pid_, nullptr, WNOHANG);
    if (result == pid_ || (result < 0 && errno != EINTR)) break;
    if (std::chrono::steady_clock::now() >= deadline) break;  // never hang the caller
    std::this_thread::sleep_for(kPollInterval);
  }
  pid_ = 0;
}

void ChromiumProcess::Terminate(std::chrono::milliseconds grace) {
  if (pid_ <= 0) return;
  if (!WaitForExit(std::chrono::milliseconds(0))) {
    ::kill(-pid_, SIGTERM);
    WaitForExit(grace);
  }
  // Helper processes (zygote, renderers) may outlive the browser for a moment.
  ::kill(-pid_, SIGKILL);
  ::kill(pid_, SIGKILL);
  Reap(std::chrono::milliseconds(2000));
}
