// The editor view on a Linux host's run loop: the X11 window type offered only while the web view
// can open, its descriptors and the editor timer registered while attached and given back on
// removed(), and a readable descriptor waking the web view.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "core/ZARN.h"
#include "editor/WebViewEditorDelegate.h"
#include "support/Vst3HostObjects.h"

namespace {

using namespace testhost;

// A run loop and frame that only records; the test fires the handlers itself.
class RecordingLoop : public HostObject<Linux::IRunLoop, IPlugFrame> {
 public:
  tresult PLUGIN_API registerEventHandler(Linux::IEventHandler* handler, Linux::FileDescriptor fd) override {
    fds.emplace_back(handler, fd);
    return kResultOk;
  }
  tresult PLUGIN_API unregisterEventHandler(Linux::IEventHandler* handler) override {
    fds.erase(std::remove_if(fds.begin(), fds.end(), [handler](const auto& f) { return f.first == handler; }),
              fds.end());
    return kResultOk;
  }
  tresult PLUGIN_API registerTimer(Linux::ITimerHandler* handler, Linux::TimerInterval ms) override {
    timers.emplace_back(handler, ms);
    return kResultOk;
  }
  tresult PLUGIN_API unregisterTimer(Linux::ITimerHandler* handler) override {
    timers.erase(std::remove_if(timers.begin(), timers.end(), [handler](const auto& t) { return t.first == handler; }),
                 timers.end());
    return kResultOk;
  }
  tresult PLUGIN_API resizeView(IPlugView*, ViewRect*) override { return kResultOk; }

  std::vector<std::pair<Linux::IEventHandler*, int>> fds;
  std::vector<std::pair<Linux::ITimerHandler*, Linux::TimerInterval>> timers;
};

struct PolledWebView : IWebView {
  explicit PolledWebView(int& polls, std::vector<float>& scales) : polls(polls), scales(scales) {}
  void EvaluateScript(const std::string&) override {}
  void SetBounds(int, int, int, int) override {}
  void Reload() override {}
  void Poll() override { ++polls; }
  std::vector<int> EventFds() const override { return {7, 9}; }
  void SetContentScale(float scale) override { scales.push_back(scale); }
  int& polls;
  std::vector<float>& scales;
};

// Registers a web view for this process's plug-ins and takes it away again.
class ViewRunLoop : public ::testing::Test {
 protected:
  void SetUp() override {
    WebViewEditorDelegate::SetWebViewFactory([this](void* parent, WebViewEditorDelegate&) -> std::unique_ptr<IWebView> {
      parents.push_back(parent);
      return std::make_unique<PolledWebView>(polls, scales);
    });
    WebViewEditorDelegate::SetWebViewAvailability([this] { return available; });
    view = plugin.createView("editor");
    ASSERT_NE(view, nullptr);
  }
  void TearDown() override {
    if (view) view->release();
    plugin.terminate();
    WebViewEditorDelegate::SetWebViewFactory(nullptr);
    WebViewEditorDelegate::SetWebViewAvailability(nullptr);
  }

  ZARN plugin;
  IPlugView* view = nullptr;
  bool available = true;
  int polls = 0;
  std::vector<float> scales;
  std::vector<void*> parents;
};

TEST_F(ViewRunLoop, TheX11TypeIsOfferedOnlyWhileTheWebViewCanOpen) {
  EXPECT_EQ(view->isPlatformTypeSupported(kPlatformTypeX11EmbedWindowID), kResultTrue);
  EXPECT_EQ(view->isPlatformTypeSupported(kPlatformTypeHWND), kResultFalse);
  EXPECT_EQ(view->isPlatformTypeSupported(nullptr), kResultFalse);
  available = false;  // no X server
  EXPECT_EQ(view->isPlatformTypeSupported(kPlatformTypeX11EmbedWindowID), kResultFalse);
  EXPECT_EQ(view->attached(reinterpret_cast<void*>(0x400001), kPlatformTypeX11EmbedWindowID), kResultOk);
  EXPECT_TRUE(parents.empty());  // nothing opened
}

TEST_F(ViewRunLoop, AttachedRegistersDescriptorsAndTimerRemovedGivesThemBack) {
  RecordingLoop loop;
  ASSERT_EQ(view->setFrame(&loop), kResultOk);
  EXPECT_TRUE(loop.fds.empty());  // nothing before the view is attached
  ASSERT_EQ(view->attached(reinterpret_cast<void*>(0x400001), kPlatformTypeX11EmbedWindowID), kResultOk);
  ASSERT_EQ(parents.size(), 1u);
  EXPECT_EQ(parents[0], reinterpret_cast<void*>(0x400001));  // the X window id as the parent
  ASSERT_EQ(loop.fds.size(), 2u);
  EXPECT_EQ(loop.fds[0].second, 7);
  EXPECT_EQ(loop.fds[1].second, 9);
  ASSERT_EQ(loop.timers.size(), 1u);
  EXPECT_EQ(loop.timers[0].second, 20u);

  loop.fds[1].first->onFDIsSet(9);  // the browser has news
  EXPECT_EQ(polls, 1);
  loop.timers[0].first->onTimer();  // the idle tick polls too
  EXPECT_EQ(polls, 2);

  ASSERT_EQ(view->removed(), kResultOk);
  EXPECT_TRUE(loop.fds.empty());
  EXPECT_TRUE(loop.timers.empty());
  EXPECT_EQ(plugin.WebView(), nullptr);
  ASSERT_EQ(view->setFrame(nullptr), kResultOk);
  EXPECT_EQ(loop.RefCount(), 1u);  // every reference given back

  // Attached again: registered again.
  ASSERT_EQ(view->setFrame(&loop), kResultOk);
  ASSERT_EQ(view->attached(reinterpret_cast<void*>(0x400001), kPlatformTypeX11EmbedWindowID), kResultOk);
  EXPECT_EQ(loop.fds.size(), 2u);
  EXPECT_EQ(loop.timers.size(), 1u);
  view->release();  // a host that forgets removed(): the view still unregisters
  view = nullptr;
  EXPECT_TRUE(loop.fds.empty());
  EXPECT_TRUE(loop.timers.empty());
  plugin.CloseWebView();
}

TEST_F(ViewRunLoop, ANewFrameWhileAttachedTakesTheRegistrationsAlong) {
  RecordingLoop first, second;
  view->setFrame(&first);
  view->attached(reinterpret_cast<void*>(0x400001), kPlatformTypeX11EmbedWindowID);
  ASSERT_EQ(first.fds.size(), 2u);
  view->setFrame(&second);
  EXPECT_TRUE(first.fds.empty());
  EXPECT_TRUE(first.timers.empty());
  EXPECT_EQ(second.fds.size(), 2u);
  EXPECT_EQ(second.timers.size(), 1u);
  view->removed();
  view->setFrame(nullptr);
  EXPECT_EQ(first.RefCount(), 1u);
  EXPECT_EQ(second.RefCount(), 1u);
}

TEST_F(ViewRunLoop, ATimerTheFactoryContextStartedOutlivesTheView) {
  RecordingLoop context, frame;
  plugin.StartEditorTimer(static_cast<Linux::IRunLoop*>(&context));  // as CreateInstance does with the host context
  ASSERT_EQ(context.timers.size(), 1u);
  view->setFrame(&frame);
  view->attached(reinterpret_cast<void*>(0x400001), kPlatformTypeX11EmbedWindowID);
  EXPECT_TRUE(frame.timers.empty());  // one timer per plug-in
  EXPECT_EQ(frame.fds.size(), 2u);
  view->removed();
  view->setFrame(nullptr);
  EXPECT_EQ(context.timers.size(), 1u);
  plugin.StopEditorTimer();
  EXPECT_EQ(context.RefCount(), 1u);
}

TEST_F(ViewRunLoop, TheContentScaleReachesTheWebViewAndLaterOnes) {
  view->attached(reinterpret_cast<void*>(0x400001), kPlatformTypeX11EmbedWindowID);
  auto* scaling = static_cast<IPlugViewContentScaleSupport*>(nullptr);
  void* found = nullptr;
  ASSERT_EQ(view->queryInterface(IPlugViewContentScaleSupport::iid.data(), &found), kResultOk);
  scaling = static_cast<IPlugViewContentScaleSupport*>(found);
  EXPECT_EQ(scaling->setContentScaleFactor(2.0f), kResultOk);
  EXPECT_EQ(scales, std::vector<float>{2.0f});
  view->removed();
  EXPECT_EQ(plugin.ContentScale(), 2.0f);  // a web view opened later starts at this scale
  scaling->release();
}

}  // namespace
