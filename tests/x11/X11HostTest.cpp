// The editor inside a Linux host's X11 window, seen as a host sees it: the built module loaded
// through its factory, a window of the host's own on Xvfb, a poll() run loop offered through the
// view's frame, pictures of the window, the mouse and keys through XTEST, and the processes the
// editor leaves (none). Pictures go to build/test-artifacts for people to look at.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/Vst3TestModule.h"
#include "x11/X11TestHost.h"

namespace {

using namespace testhost;
using namespace std::chrono_literals;

constexpr int kBlock = 480;  // 10 ms at 48 kHz: one block per round of the loop
constexpr int kWidth = 1440, kHeight = 604;

bool ChromiumInstalled() { return ::access("/usr/bin/chromium", X_OK) == 0; }

std::string Artifact(const std::string& name) {
  std::filesystem::create_directories(ZARN_ARTIFACT_DIR);
  return std::string(ZARN_ARTIFACT_DIR) + "/" + name;
}

// Chromium's processes started for us: their groups are the ids of our children that run it.
std::vector<pid_t> BrowserGroups() {
  std::vector<pid_t> groups;
  for (const pid_t pid : ChildProcesses()) groups.push_back(pid);
  return groups;
}

class X11Host : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X server (run under xvfb-run); skipped";
    if (!ChromiumInstalled()) GTEST_SKIP() << "chromium is not installed; skipped";
    window_ = std::make_unique<HostWindow>(kWidth, kHeight);
    ASSERT_TRUE(window_->Ok());
    loop_ = std::make_unique<PollRunLoop>(*window_);
    ASSERT_EQ(plugin_.Initialize(u"ZARN X11 test host"), kResultOk);
    ASSERT_EQ(plugin_.Setup(48000.0, kBlock), kResultOk);
    ASSERT_EQ(plugin_.component->setActive(true), kResultOk);
    ASSERT_EQ(plugin_.processor->setProcessing(true), kResultOk);
    ASSERT_EQ(plugin_.controller->setComponentHandler(&handler_), kResultOk);
  }

  void TearDown() override {
    if (view_) Close();
    if (plugin_.controller) plugin_.controller->setComponentHandler(nullptr);
  }

  // What a host does to show the editor: ask for the view, give it the frame, size the window
  // as the view asks, attach.
  void Open() {
    if (!view_) view_ = Ref<IPlugView>(plugin_.controller->createView("editor"));
    ASSERT_TRUE(view_);
    ASSERT_EQ(view_->isPlatformTypeSupported(kPlatformTypeX11EmbedWindowID), kResultTrue);
    ASSERT_EQ(view_->setFrame(loop_.get()), kResultOk);
    ViewRect size{};
    ASSERT_EQ(view_->getSize(&size), kResultOk);
    window_->Resize(size.getWidth(), size.getHeight());
    ASSERT_EQ(view_->attached(reinterpret_cast<void*>(window_->Id()), kPlatformTypeX11EmbedWindowID), kResultOk);
  }

  // As a host closes the editor; a host may keep the view to attach it again.
  void Close(bool keepView = false) {
    EXPECT_EQ(view_->removed(), kResultOk);
    EXPECT_EQ(view_->setFrame(nullptr), kResultOk);
    if (!keepView) view_.reset();
  }

  bool PageWindowFills() const { return window_->PageWindowFills(); }

  // The page has drawn: nothing of the host's background shows, and there is more than a plain
  // colour.
  bool PageShown() const {
    if (!PageWindowFills()) return false;
    const HostWindow::Image image = window_->Grab();
    return image.Share(HostWindow::kBackground) < 0.001 && image.DistinctColours() > 40;
  }

  // A loud programme whose level swings, so that the meters keep moving.
  void PlayBlock() {
    std::vector<double> l(kBlock), r(kBlock), outL(kBlock), outR(kBlock);
    for (int i = 0; i < kBlock; ++i, ++phase_) {
      const double swell = 0.6 + 0.5 * std::sin(2.0 * M_PI * 0.7 * static_cast<double>(phase_) / 48000.0);
      l[static_cast<size_t>(i)] = 1.4 * swell * std::sin(2.0 * M_PI * 220.0 * static_cast<double>(phase_) / 48000.0);
      r[static_cast<size_t>(i)] = 1.4 * swell * std::sin(2.0 * M_PI * 330.0 * static_cast<double>(phase_) / 48000.0);
    }
    ASSERT_EQ(plugin_.ProcessStereo(l, r, outL, outR), kResultOk);
    lastOutput_ = outL[0];
  }

  bool WaitForPage() {
    return loop_->RunUntil([&] { return PageShown(); }, 30s, [&] { PlayBlock(); });
  }

  // Mouse through XTEST, as a user's hand.
  void MouseTo(int x, int y) {
    Display* d = window_->Connection();
    Window child = 0;
    int rootX = 0, rootY = 0;
    XTranslateCoordinates(d, window_->Id(), DefaultRootWindow(d), x, y, &rootX, &rootY, &child);
    XTestFakeMotionEvent(d, DefaultScreen(d), rootX, rootY, CurrentTime);
    XFlush(d);
  }
  void Button(bool down) {
    XTestFakeButtonEvent(window_->Connection(), 1, down ? True : False, CurrentTime);
    XFlush(window_->Connection());
  }
  void Key(KeySym key) {
    Display* d = window_->Connection();
    const KeyCode code = XKeysymToKeycode(d, key);
    XTestFakeKeyEvent(d, code, True, CurrentTime);
    XTestFakeKeyEvent(d, code, False, CurrentTime);
    XFlush(d);
  }
  void Settle(std::chrono::milliseconds span) { loop_->RunFor(span, [&] { PlayBlock(); }); }

  // The kinds of the host's edit notifications ('b', 'p', 'e'), of one parameter or of all.
  std::string EditKinds(ParamID only = kNoParamId) const {
    std::string kinds;
    for (const auto& e : handler_.edits)
      if (only == kNoParamId || e.id == only) kinds += e.kind;
    return kinds;
  }

  Instance plugin_;
  ComponentHandler handler_;
  std::unique_ptr<HostWindow> window_;
  std::unique_ptr<PollRunLoop> loop_;
  Ref<IPlugView> view_;
  long phase_ = 0;
  double lastOutput_ = 0.0;
};

TEST_F(X11Host, ThePageFillsTheHostWindowItsMetersMoveAndItFollowsHostResizes) {
  Open();
  EXPECT_GE(loop_->Handlers(), 1u);  // our X connection and the browser's events
  EXPECT_EQ(loop_->Timers(), 1u);    // the editor's 20 ms tick
  ASSERT_TRUE(WaitForPage()) << "no page in the host's window";
  Settle(2000ms);
  const HostWindow::Image first = window_->Grab();
  EXPECT_TRUE(first.WritePng(Artifact("x11-host-1440x604.png")));
  EXPECT_LT(first.Share(HostWindow::kBackground), 0.001);
  Settle(1000ms);
  const HostWindow::Image second = window_->Grab();
  EXPECT_GT(second.DifferentPixels(first), 200) << "the meters did not move";

  // The host makes its window smaller; the page follows.
  window_->Resize(900, 400);
  ViewRect smaller{0, 0, 900, 400};
  ASSERT_EQ(view_->onSize(&smaller), kResultOk);
  ASSERT_TRUE(loop_->RunUntil([&] { return PageShown(); }, 10s, [&] { PlayBlock(); }));
  Settle(500ms);
  const HostWindow::Image small = window_->Grab();
  EXPECT_EQ(small.width, 900);
  EXPECT_TRUE(small.WritePng(Artifact("x11-host-900x400.png")));
  EXPECT_LT(small.Share(HostWindow::kBackground), 0.001);
}

// A host whose window is an XEmbed socket (Ardour 7) maps and sizes only the first child of its
// window, whoever asks: the page must still show, and follow the host's resize.
TEST_F(X11Host, AHostWindowThatManagesItsChildrenLikeASocketStillShowsThePage) {
  window_->RedirectChildrenLikeASocket();
  Open();
  ASSERT_TRUE(WaitForPage()) << "no page in the socket";
  window_->Resize(1000, 450);
  ViewRect smaller{0, 0, 1000, 450};
  ASSERT_EQ(view_->onSize(&smaller), kResultOk);
  ASSERT_TRUE(loop_->RunUntil([&] { return PageShown(); }, 10s, [&] { PlayBlock(); }));
  EXPECT_TRUE(window_->Grab().WritePng(Artifact("x11-host-socket-1000x450.png")));
}

// Where the page draws the Ceiling L slider and its value, as fractions of the window; the host
// cannot ask the page, so these follow its layout at 1440 x 604.
constexpr double kCeilingTrackX = 98.0 / 1440.0, kCeilingValueX = 150.0 / 1440.0;
constexpr double kCeilingY = 543.0 / 604.0;
constexpr ParamID kCeilingL = 2;

TEST_F(X11Host, MouseAndKeysInThePageReachTheHost) {
  Open();
  ASSERT_TRUE(WaitForPage());
  // As a window manager does: the keyboard focus on the host's top-level window.
  XSetInputFocus(window_->Connection(), window_->Id(), RevertToParent, CurrentTime);
  XSync(window_->Connection(), False);
  Settle(500ms);
  const int y = static_cast<int>(kCeilingY * kHeight);

  // A drag on the slider: one gesture, several values, in that order.
  handler_.edits.clear();
  const int x = static_cast<int>(kCeilingTrackX * kWidth);
  MouseTo(x, y);
  Settle(100ms);
  Button(true);
  for (int step = 1; step <= 6; ++step) {
    MouseTo(x - 8 * step, y);
    Settle(50ms);
  }
  Button(false);
  ASSERT_TRUE(loop_->RunUntil([&] { return EditKinds(kCeilingL).find('e') != std::string::npos; }, 5s))
      << EditKinds();
  const std::string drag = EditKinds(kCeilingL);
  EXPECT_EQ(drag.front(), 'b') << drag;
  EXPECT_EQ(drag.back(), 'e') << drag;
  EXPECT_GE(std::count(drag.begin(), drag.end(), 'p'), 2) << drag;
  // Ceiling R follows while the two are linked; nothing else moves.
  for (const auto& e : handler_.edits) EXPECT_TRUE(e.id == kCeilingL || e.id == kCeilingL + 1) << e.id;
  const double dragged = plugin_.controller->getParamNormalized(kCeilingL);
  EXPECT_LT(dragged, 1.0);

  // Typed into the value field after a click there: the value reaches the host.
  handler_.edits.clear();
  MouseTo(static_cast<int>(kCeilingValueX * kWidth), y);
  Settle(100ms);
  Button(true);
  Button(false);
  Settle(300ms);
  const KeySym typed[] = {XK_BackSpace, XK_BackSpace, XK_BackSpace, XK_BackSpace, XK_BackSpace, XK_BackSpace,
                          XK_minus, XK_3, XK_period, XK_5, XK_Return};
  for (const KeySym key : typed) Key(key);
  ASSERT_TRUE(loop_->RunUntil([&] { return EditKinds(kCeilingL).find('e') != std::string::npos; }, 5s))
      << EditKinds();
  String128 shown{};
  ASSERT_EQ(plugin_.controller->getParamStringByValue(kCeilingL, plugin_.controller->getParamNormalized(kCeilingL),
                                                      shown),
            kResultOk);
  EXPECT_EQ(Narrow(shown).rfind("-3.5", 0), 0u) << Narrow(shown);

  // The space bar outside a text field goes to the host's window, for its transport.
  MouseTo(kWidth / 2, kHeight / 4);
  Settle(100ms);
  Button(true);
  Button(false);
  Settle(200ms);
  window_->sentKeys.clear();
  Key(XK_space);
  ASSERT_TRUE(loop_->RunUntil([&] { return !window_->sentKeys.empty(); }, 5s));
  EXPECT_EQ(window_->sentKeys.front(), static_cast<unsigned long>(XK_space));
}

TEST_F(X11Host, ThePageGripAsksTheHostAndAContentScaleEnlargesThePage) {
  Open();
  ASSERT_TRUE(WaitForPage());
  Settle(300ms);
  // The grip in the lower right corner, dragged up and left.
  MouseTo(kWidth - 4, kHeight - 4);
  Settle(100ms);
  Button(true);
  for (int step = 1; step <= 5; ++step) {
    MouseTo(kWidth - 4 - 60 * step, kHeight - 4 - 20 * step);
    Settle(50ms);
  }
  Button(false);
  ASSERT_TRUE(loop_->RunUntil([&] { return !loop_->resizes.empty(); }, 5s)) << "no resizeView from the grip";
  Settle(500ms);
  const ViewRect asked = loop_->resizes.back();
  EXPECT_LT(asked.getWidth(), kWidth);
  EXPECT_LT(asked.getHeight(), kHeight);
  ViewRect size{};
  ASSERT_EQ(view_->getSize(&size), kResultOk);
  EXPECT_EQ(size.getWidth(), asked.getWidth());  // the view reports what the page asked for
  ASSERT_TRUE(loop_->RunUntil([&] { return PageShown(); }, 5s));

  // A HiDPI host: the view asks for a larger window and the page fills it at that scale.
  loop_->resizes.clear();
  auto scale = Ref<IPlugViewContentScaleSupport>(nullptr);
  void* found = nullptr;
  ASSERT_EQ(view_->queryInterface(IPlugViewContentScaleSupport::iid.data(), &found), kResultOk);
  scale = Ref<IPlugViewContentScaleSupport>(static_cast<IPlugViewContentScaleSupport*>(found));
  ASSERT_EQ(scale->setContentScaleFactor(1.25f), kResultOk);
  ASSERT_EQ(loop_->resizes.size(), 1u);
  EXPECT_EQ(loop_->resizes[0].getWidth(), static_cast<int>(std::trunc(asked.getWidth() * 1.25 + 0.5)));
  ASSERT_TRUE(loop_->RunUntil([&] { return PageShown(); }, 5s, [&] { PlayBlock(); }));
  Settle(1000ms);
  const HostWindow::Image scaled = window_->Grab();
  EXPECT_TRUE(scaled.WritePng(Artifact("x11-host-scale-1.25.png")));
  EXPECT_LT(scaled.Share(HostWindow::kBackground), 0.001);
}

TEST_F(X11Host, RemovedLeavesNoProcessAndTheRunLoopEmpty) {
  Open();
  ASSERT_TRUE(WaitForPage());
  const std::vector<pid_t> groups = BrowserGroups();
  ASSERT_FALSE(groups.empty()) << "the browser should be our child";
  EXPECT_GT(ProcessesInGroups(groups).size(), 1u);  // the browser and its helpers
  Close();
  EXPECT_EQ(loop_->Handlers(), 0u);
  EXPECT_EQ(loop_->Timers(), 0u);
  EXPECT_TRUE(ChildProcesses().empty());
  // Helpers that outlived the browser for a moment end by themselves.
  ASSERT_TRUE(loop_->RunUntil([&] { return ProcessesInGroups(groups).empty(); }, 5s));
  EXPECT_TRUE(window_->Children().empty());  // nothing of ours left in the host's window
}

TEST_F(X11Host, ABrowserThatDiesLeavesANoticeAndTheAudioRunning) {
  Open();
  ASSERT_TRUE(WaitForPage());
  const std::vector<pid_t> groups = BrowserGroups();
  ASSERT_EQ(groups.size(), 1u);
  ::kill(-groups[0], SIGKILL);
  ASSERT_TRUE(loop_->RunUntil([&] { return !PageWindowFills(); }, 10s, [&] { PlayBlock(); }));
  Settle(300ms);
  const HostWindow::Image notice = window_->Grab();
  EXPECT_TRUE(notice.WritePng(Artifact("x11-host-browser-gone.png")));
  EXPECT_LT(notice.Share(HostWindow::kBackground), 0.001);  // our notice covers the window
  EXPECT_GT(notice.DistinctColours(), 1);                   // and says something
  EXPECT_NE(lastOutput_, 0.0);                              // the plug-in still processes
  Close();
  EXPECT_TRUE(ChildProcesses().empty());
}

// Two instances in two windows: each shows its own page.
TEST_F(X11Host, TwoInstancesEachShowTheirOwnPage) {
  Open();
  Instance other;
  ASSERT_EQ(other.Initialize(u"ZARN X11 test host"), kResultOk);
  HostWindow otherWindow(960, 400, 0, kHeight + 10);  // below the first: pictures need it on screen
  PollRunLoop otherLoop(otherWindow);
  Ref<IPlugView> otherView(other.controller->createView("editor"));
  ASSERT_TRUE(otherView);
  ASSERT_EQ(otherView->setFrame(&otherLoop), kResultOk);
  ASSERT_EQ(otherView->attached(reinterpret_cast<void*>(otherWindow.Id()), kPlatformTypeX11EmbedWindowID), kResultOk);
  const auto bothShown = [&] {
    const auto shows = [](HostWindow& w) {
      const HostWindow::Image image = w.Grab();
      return w.PageWindowFills() && image.Share(HostWindow::kBackground) < 0.001 && image.DistinctColours() > 40;
    };
    return shows(*window_) && shows(otherWindow);
  };
  // One host thread turns both loops.
  ASSERT_TRUE(loop_->RunUntil(bothShown, 30s, [&] { otherLoop.RunFor(1ms); }));
  EXPECT_EQ(ChildProcesses().size(), 2u);  // a browser each
  EXPECT_EQ(otherView->removed(), kResultOk);
  EXPECT_EQ(otherView->setFrame(nullptr), kResultOk);
  otherView.reset();
  EXPECT_EQ(ChildProcesses().size(), 1u);
  EXPECT_EQ(otherLoop.Handlers() + otherLoop.Timers(), 0u);
}

// Every other cycle attaches the same view again.
TEST_F(X11Host, TwentyOpenCloseCyclesLeaveNoProcessAndLittleMemory) {
  long afterTwo = 0;
  for (int cycle = 0; cycle < 20; ++cycle) {
    Open();
    ASSERT_TRUE(loop_->RunUntil([&] { return PageWindowFills(); }, 30s, [&] { PlayBlock(); })) << cycle;
    Settle(200ms);
    Close(cycle % 2 == 0);
    ASSERT_TRUE(ChildProcesses().empty()) << cycle;
    if (cycle == 1) afterTwo = ResidentKilobytes();
  }
  EXPECT_LT(ResidentKilobytes() - afterTwo, 8 * 1024) << "kB grown over 18 cycles";
}

#ifdef ZARN_BINARY
// `zarn editor` shows the page the same way, in a window of its own; when the program is killed
// its browser ends too (it watches its pipe).
TEST(X11Standalone, TheEditorCommandEmbedsThePageAndItsBrowserEndsWithIt) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X server (run under xvfb-run); skipped";
  if (!ChromiumInstalled()) GTEST_SKIP() << "chromium is not installed; skipped";
  const std::string input = Artifact("x11-standalone-in.wav");
  ASSERT_EQ(std::system((std::string(ZARN_BINARY) + " generate demo " + input + " >/dev/null").c_str()), 0);
  const pid_t editor = ::fork();
  ASSERT_GE(editor, 0);
  if (editor == 0) {
    ::setpgid(0, 0);
    ::execl(ZARN_BINARY, ZARN_BINARY, "editor", input.c_str(), "--no-audio", "--seconds", "60",
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  HostWindow screen(10, 10);  // only for its connection and pictures
  ASSERT_TRUE(screen.Ok());
  Display* d = screen.Connection();
  unsigned long window = 0;
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  HostWindow::Image image;
  while (std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(200ms);
    if (!window) window = FindTopLevelOfClass(d, "ZARN");
    if (!window || ChildWindowCount(d, FirstChildWindow(d, window)) < 1) continue;  // the page in our container
    image = GrabWindow(d, window);
    if (image.DistinctColours() > 40) break;
  }
  EXPECT_NE(window, 0u) << "no editor window";
  EXPECT_GT(image.DistinctColours(), 40) << "no page in the editor window";
  EXPECT_TRUE(image.WritePng(Artifact("x11-standalone.png")));

  // The editor's browser is its child, in a group of its own.
  const std::vector<pid_t> browserGroups = ScanChildrenOf(editor);
  ASSERT_FALSE(browserGroups.empty());
  ::kill(editor, SIGKILL);
  ::waitpid(editor, nullptr, 0);
  const auto until = std::chrono::steady_clock::now() + 10s;
  while (!ProcessesInGroups(browserGroups).empty() && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(100ms);
  EXPECT_TRUE(ProcessesInGroups(browserGroups).empty()) << "the browser outlived the killed editor";
}
#endif

}  // namespace
