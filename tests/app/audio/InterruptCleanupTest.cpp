// Ctrl-C and SIGTERM leave no temporary file behind: the registry of paths the signal handler
// removes, checked in child processes that the signal really ends, and `zarn render` stopped
// half-way through a file.
#ifdef ZARN_HAVE_APP

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/audio/AudioFile.h"
#include "app/audio/InterruptCleanup.h"
#include "app/signals/TestSignals.h"
#include "support/ScratchDirectory.h"

extern char** environ;

namespace {

void Touch(const std::string& path) { std::ofstream(path) << "partial"; }
bool Exists(const std::string& path) { return std::filesystem::exists(path); }

// Runs `body` in a child process with SIGINT and SIGTERM at their defaults, whatever the test
// runner set; returns the child's wait status. A body that returns exits with 0.
template <class Body>
int InChild(Body body) {
  const pid_t pid = fork();
  if (pid == 0) {
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    body();
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return status;
}

bool KilledBy(int status, int signo) { return WIFSIGNALED(status) && WTERMSIG(status) == signo; }

TEST(InterruptCleanup, SignalRemovesEveryRegisteredPathAndEndsTheProcess) {
  for (int signo : {SIGINT, SIGTERM}) {
    ScratchDirectory dir;
    const std::string a = dir.File("a.part"), b = dir.File("b.part"), kept = dir.File("kept.part");
    const int status = InChild([&] {
      Touch(a);
      Touch(b);
      Touch(kept);
      InterruptCleanup cleanA(a), cleanB(b), cleanKept(kept);
      cleanKept.Release();  // renamed into place, say: no longer the handler's
      raise(signo);
      _exit(1);  // not reached
    });
    EXPECT_TRUE(KilledBy(status, signo)) << "signal " << signo << ", status " << status;
    EXPECT_FALSE(Exists(a));
    EXPECT_FALSE(Exists(b));
    EXPECT_TRUE(Exists(kept));
  }
}

// Once the last path is released, the handler the process had before is back; a signal the
// process ignored stays ignored while paths are registered.
TEST(InterruptCleanup, EarlierHandlersComeBackAndIgnoredSignalsStayIgnored) {
  ScratchDirectory dir;
  const std::string path = dir.File("x.part");
  int status = InChild([&] {
    signal(SIGTERM, [](int) { _exit(3); });
    { InterruptCleanup cleanup(path); }
    raise(SIGTERM);
  });
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3) << status;

  status = InChild([&] {
    signal(SIGINT, SIG_IGN);
    Touch(path);
    InterruptCleanup cleanup(path);
    raise(SIGINT);
    if (!Exists(path)) _exit(4);
  });
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

// A signal that arrives while held is handled when the hold ends, by then with the path registered.
TEST(InterruptCleanup, SignalHeldBetweenCreatingAndRegisteringStillRemovesTheFile) {
  ScratchDirectory dir;
  const std::string path = dir.File("held.part");
  const int status = InChild([&] {
    InterruptCleanup cleanup;
    {
      const InterruptCleanup::HoldSignals held;
      Touch(path);
      raise(SIGTERM);
      if (!cleanup.Register(path)) _exit(5);
    }
    _exit(1);  // not reached
  });
  EXPECT_TRUE(KilledBy(status, SIGTERM)) << status;
  EXPECT_FALSE(Exists(path));
}

TEST(InterruptCleanup, TheTableIsFixedAndAPathMustFitIt) {
  std::vector<std::unique_ptr<InterruptCleanup>> held;
  for (int i = 0; i < InterruptCleanup::kMaxPaths; ++i) {
    held.push_back(std::make_unique<InterruptCleanup>("/nonexistent/" + std::to_string(i)));
    EXPECT_TRUE(held.back()->Registered()) << i;
  }
  InterruptCleanup oneTooMany("/nonexistent/more");
  EXPECT_FALSE(oneTooMany.Registered());
  held.pop_back();
  EXPECT_TRUE(oneTooMany.Register("/nonexistent/more"));  // a freed slot is taken again
  held.clear();

  EXPECT_FALSE(InterruptCleanup(std::string(InterruptCleanup::kMaxPathBytes, 'x')).Registered());
  EXPECT_TRUE(InterruptCleanup(std::string(InterruptCleanup::kMaxPathBytes - 1, 'x')).Registered());
  EXPECT_FALSE(InterruptCleanup("").Registered());
}

#ifdef ZARN_BINARY

// `zarn render` stopped while it writes: the process ends by the signal (status 128 + n in a
// shell) and neither the output nor its temporary file is left.
TEST(RenderInterrupted, CtrlCOrTermLeavesNothingBehind) {
  ScratchDirectory dir;
  const signals::Stereo noise = signals::PinkNoise(48000.0, 30.0, -18.0, 5);  // seconds to render
  SaveAudioFile(dir.File("in.wav"), AudioBuffer{48000.0, {noise.left, noise.right}});

  for (int signo : {SIGINT, SIGTERM}) {
    const std::string in = dir.File("in.wav"), out = dir.File("out.wav");
    std::vector<char*> argv = {const_cast<char*>(ZARN_BINARY), const_cast<char*>("render"),
                               const_cast<char*>(in.c_str()), const_cast<char*>(out.c_str()),
                               nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, both;
    sigemptyset(&none);
    sigemptyset(&both);
    sigaddset(&both, SIGINT);
    sigaddset(&both, SIGTERM);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &both);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, ZARN_BINARY, &actions, &attributes, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);

    // Signal once the temporary file exists: the render is then under way.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    bool writing = false;
    while (!writing && std::chrono::steady_clock::now() < deadline) {
      for (const auto& entry : std::filesystem::directory_iterator(dir.File("")))
        writing |= entry.path().filename().string().rfind("out.wav.part", 0) == 0;
      if (!writing) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_TRUE(writing) << "no temporary file appeared";
    kill(pid, signo);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(KilledBy(status, signo)) << "signal " << signo << ", status " << status;
    EXPECT_EQ(dir.Count(), 1) << "left behind after signal " << signo;
  }
}

#endif  // ZARN_BINARY

}  // namespace

#endif  // ZARN_HAVE_APP
