#include "editor/linux/SystemOpener.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "editor/PageInput.h"

extern char** environ;

namespace {

// The opener's full path, looked up before forking: the child may only make system calls.
std::string FindOpener() {
  const char* path = std::getenv("PATH");
  std::stringstream folders(path != nullptr && *path != '\0' ? path : "/usr/local/bin:/usr/bin:/bin");
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    if (folder.empty() || folder[0] != '/') continue;  // relative PATH entries are ignored
    const std::string candidate = folder + "/xdg-open";
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

// In the grandchild: a clean process of its own, then the opener. Async-signal-safe calls only.
[[noreturn]] void ExecOpener(const char* opener, char* const argv[]) {
  ::setsid();
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction defaults {};
  defaults.sa_handler = SIG_DFL;
  for (const int signal : {SIGPIPE, SIGCHLD, SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &defaults, nullptr);
  const int null = ::open("/dev/null", O_RDWR);
  if (null >= 0) {
    ::dup2(null, 0);
    ::dup2(null, 1);
    ::dup2(null, 2);
  }
  ::close_range(3, ~0U, 0);
  ::execve(opener, argv, environ);
  ::_exit(127);
}

}  // namespace

bool OpenInSystemBrowser(const std::string& url) {
  if (!page_input::IsOpenableLink(url)) return false;
  const std::string opener = FindOpener();
  if (opener.empty()) return false;
  std::vector<char*> argv = {const_cast<char*>(opener.c_str()), const_cast<char*>(url.c_str()), nullptr};

  // Fork twice so the opener (which may run as long as the browser it starts) is adopted by
  // init and never becomes our zombie; the middle child exits at once and is reaped here.
  const pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    // _Fork skips the atfork handlers, which may wait for locks held by threads that do not
    // exist in this copy of the process.
    const pid_t grandchild = ::_Fork();
    if (grandchild == 0) ExecOpener(opener.c_str(), argv.data());
    ::_exit(grandchild < 0 ? 1 : 0);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
