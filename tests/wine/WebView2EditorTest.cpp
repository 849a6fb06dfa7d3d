// The Windows editor in a hidden host window, with the test bundle's fake WebView2 loader in
// place of Edge: what the editor asks of the browser and in which order, and what the browser's
// events do to the plug-in and the host. Run under Wine, through the module's VST3 interfaces.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "FakeWebView2Client.h"
#include "HostWindow.h"
#include "support/Vst3TestModule.h"

namespace {

using namespace testhost;
using fake_webview2::kNoEnvironment;
using fake_webview2::kNoWebView2_4;
using fake_webview2::kRefuseOptionsOnce;

constexpr int kWidth = 1440, kHeight = 604;  // the editor's own size
constexpr int kNumParams = 27;
constexpr int kSpaceKey = 32;
constexpr int kSettleTime = 150;  // ms of pumping after which every browser answer has arrived

using Records = std::vector<std::string>;

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

int Count(const Records& records, std::string_view prefix) {
  return static_cast<int>(std::count_if(
      records.begin(), records.end(), [&](const std::string& r) { return StartsWith(r, prefix); }));
}

// The first record at or after `from` that starts with `prefix`; -1 for none.
int Find(const Records& records, std::string_view prefix, int from = 0) {
  for (int i = std::max(from, 0); i < static_cast<int>(records.size()); ++i)
    if (StartsWith(records[static_cast<size_t>(i)], prefix)) return i;
  return -1;
}

// Records starting with each prefix in turn, others in between allowed.
::testing::AssertionResult InOrder(const Records& records,
                                   const std::vector<std::string>& prefixes) {
  int at = 0;
  for (const std::string& prefix : prefixes) {
    const int found = Find(records, prefix, at);
    if (found < 0) return ::testing::AssertionFailure() << "no \"" << prefix << "\" in order";
    at = found + 1;
  }
  return ::testing::AssertionSuccess();
}

std::string Text(HWND window) { return std::to_string(reinterpret_cast<uintptr_t>(window)); }

std::string Text(const RECT& r) {
  return std::to_string(r.left) + " " + std::to_string(r.top) + " " + std::to_string(r.right) +
         " " + std::to_string(r.bottom);
}

// The Contents folder of the bundle whose module this process loaded, as Windows names it.
std::string BundleContents() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(static_cast<HMODULE>(Module().handle), path, MAX_PATH);
  const std::string module = std::filesystem::path(path).string();
  const std::string folder = module.substr(0, module.find_last_of('\\'));
  return folder.substr(0, folder.find_last_of('\\'));
}

bool LoaderBesideModule() {
  return std::filesystem::exists(std::filesystem::path(ModulePath()).parent_path() /
                                 "WebView2Loader.dll");
}

std::wstring KeyMessage(int keyCode) {
  return LR"({"msg":"SKPFUI","keyCode":)" + std::to_wstring(keyCode) +
         LR"(,"utf8":" ","S":false,"C":false,"A":false,"isUp":false})";
}

// The editor as a host shows it: made by the controller, attached to the host's window as an
// HWND, removed when closed or at the latest when it goes.
class Editor {
 public:
  Editor(IEditController* controller, HWND parent)
      : view_(controller->createView(kEditorViewType)) {
    EXPECT_TRUE(view_);
    if (!view_) return;
    EXPECT_EQ(view_->isPlatformTypeSupported(kPlatformTypeHWND), kResultTrue);
    EXPECT_EQ(view_->attached(parent, kPlatformTypeHWND), kResultTrue);
  }
  Editor(Editor&&) = default;
  ~Editor() { Close(); }

  IPlugView* operator->() const { return view_.get(); }
  void Close() {
    if (view_) {
      EXPECT_EQ(view_->removed(), kResultTrue);
    }
    view_.reset();
  }

 private:
  Ref<IPlugView> view_;
};

// 48 kHz stereo, active and processing, so that its meters have something to show.
void RunAudio(Instance& plugin, int blocks) {
  ASSERT_EQ(plugin.Setup(48000.0, 512), kResultOk);
  ASSERT_EQ(plugin.Arrange(2, 2), kResultOk);
  ASSERT_EQ(plugin.component->setActive(true), kResultOk);
  ASSERT_EQ(plugin.processor->setProcessing(true), kResultOk);
  std::vector<double> left(512), right(512), outLeft(512), outRight(512);
  for (int block = 0; block < blocks; ++block) {
    for (size_t i = 0; i < left.size(); ++i)
      left[i] = right[i] = 0.5 * ((i / 24) % 2 == 0 ? 1.0 : -1.0);  // a 1 kHz square
    ASSERT_EQ(plugin.ProcessStereo(left, right, outLeft, outRight), kResultOk);
  }
}

// One plug-in instance with its host's component handler, and the host's window for its editor.
class WebView2Editor : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fake.Loaded()) << "cannot load " << fake.Path();
    ASSERT_TRUE(LoaderBesideModule()) << ModulePath() << " has no fake loader beside it";
    ASSERT_EQ(plugin.Initialize(), kResultOk);
    ASSERT_EQ(plugin.controller->setComponentHandler(&handler), kResultOk);
    ASSERT_EQ(Text(window.Client()), "0 0 1440 604");
  }

  // Opens the editor and lets the browser's answers arrive.
  Editor Open() {
    Editor editor(plugin.controller, window.Handle());
    PumpMessages(kSettleTime);
    return editor;
  }

  // Loaded before the module can load it, so that the module finds this instance of it.
  FakeWebView2Client& fake = FakeWebView2Client::Get();
  ComponentHandler handler;
  Instance plugin;
  HostWindow window{kWidth, kHeight};
};

// Before any editor of the process had a browser environment, so first in a process.
class WebView2FirstEnvironment : public WebView2Editor {
 protected:
  void SetUp() override {
    WebView2Editor::SetUp();
    if (Count(fake.Records(), "Environment made") > 0) GTEST_SKIP() << "an environment exists";
  }
};

TEST_F(WebView2FirstEnvironment, NoEnvironmentLeavesTheEditorEmptyAndRefusedOptionsAreDropped) {
  fake.SetFailures(kNoEnvironment);
  int mark = fake.Mark();
  Editor empty = Open();
  Records records = fake.Records(mark);
  EXPECT_EQ(Count(records, "CreateCoreWebView2EnvironmentWithOptions"), 1);
  EXPECT_EQ(Count(records, "Environment"), 0);
  empty.Close();

  // The next editor asks again; the loader refuses the options, so it asks without them.
  fake.SetFailures(kRefuseOptionsOnce);
  mark = fake.Mark();
  Editor editor = Open();
  fake.SetFailures(0);
  records = fake.Records(mark);
  const int refused = Find(records, "CreateCoreWebView2EnvironmentWithOptions failed");
  ASSERT_GE(refused, 0);
  const int retry = Find(records, "CreateCoreWebView2EnvironmentWithOptions", refused + 1);
  ASSERT_GE(retry, 0);
  EXPECT_EQ(records[static_cast<size_t>(retry)],
            records[0].substr(0, records[0].rfind(" options=")) + " options=no");
  EXPECT_EQ(Count(records, "CreateCoreWebView2EnvironmentWithOptions"), 3);
  EXPECT_EQ(Count(records, "Environment made"), 1);
  EXPECT_EQ(Count(records, "WebView.Navigate"), 1);
}

TEST_F(WebView2Editor, EnvironmentIsMadeOnceWithPinnedOptionsAndShared) {
  const int mark = fake.Mark();
  Editor first = Open();
  Instance other;
  ASSERT_EQ(other.Initialize(), kResultOk);
  HostWindow otherWindow(kWidth, kHeight);
  Editor second(other.controller, otherWindow.Handle());
  PumpMessages(kSettleTime);

  const Records all = fake.Records();
  EXPECT_EQ(Count(all, "Environment made"), 1);
  EXPECT_TRUE(
      InOrder(fake.Records(mark),
              {"Environment.CreateCoreWebView2Controller parent=" + Text(window.Handle()),
               "WebView.Navigate",
               "Environment.CreateCoreWebView2Controller parent=" + Text(otherWindow.Handle()),
               "WebView.Navigate"}));

  const int request = Find(all, "CreateCoreWebView2EnvironmentWithOptions");
  ASSERT_GE(request, 0);
  const std::string& call = all[static_cast<size_t>(request)];
  EXPECT_TRUE(
      StartsWith(call, "CreateCoreWebView2EnvironmentWithOptions browser=(null) userData=C:\\"));
  EXPECT_NE(call.find("\\ZARN\\WebViewCache options=yes"), std::string::npos) << call;
  const Records options(all.begin() + request + 1,
                        all.begin() + std::min<size_t>(all.size(), request + 7));
  EXPECT_EQ(options,
            (Records{"Options.TargetCompatibleBrowserVersion 131.0.2903.40",
                     "Options.AdditionalBrowserArguments (null)", "Options.Language (null)",
                     "Options.AllowSingleSignOnUsingOSPrimaryAccount 0",
                     "Options2.ExclusiveUserDataFolderAccess 0",
                     "Options3.IsCustomCrashReportingEnabled 0"}));
}

TEST_F(WebView2Editor, PageIsSetUpFromTheBundleBeforeItIsNavigatedTo) {
  const int mark = fake.Mark();
  Editor editor = Open();
  const Records records = fake.Records(mark);

  EXPECT_TRUE(InOrder(
      records, {"Environment.CreateCoreWebView2Controller parent=" + Text(window.Handle()),
                "Controller.put_IsVisible 1",
                "WebView.AddScriptToExecuteOnDocumentCreated function IFxSendMsg(m) "
                "{window.chrome.webview.postMessage(m)};",
                "WebView.AddScriptToExecuteOnDocumentCreated document.addEventListener('keydown'",
                "WebView.AddScriptToExecuteOnDocumentCreated document.addEventListener('keyup'",
                "WebView.SetVirtualHostNameToFolderMapping", "WebView.Navigate"}));
  EXPECT_EQ(Count(records, "WebView.AddScriptToExecuteOnDocumentCreated"), 3);
  for (const char* setting :
       {"IsScriptEnabled 1", "AreDefaultScriptDialogsEnabled 1", "IsWebMessageEnabled 1",
        "AreDefaultContextMenusEnabled 0", "AreDevToolsEnabled 0"})
    EXPECT_EQ(Count(records, std::string("Settings.put_") + setting), 1) << setting;
  // Every handler is in place before the page can raise anything.
  const int navigate = Find(records, "WebView.Navigate");
  for (const char* event :
       {"WebMessageReceived", "NavigationCompleted", "NewWindowRequested", "DownloadStarting"}) {
    const int added = Find(records, std::string("WebView.add_") + event);
    EXPECT_TRUE(added >= 0 && added < navigate) << event;
  }
  EXPECT_EQ(Count(records, "Controller.put_DefaultBackgroundColor 0 0 0 0"), 1);
  EXPECT_EQ(Count(records, "Controller.put_Bounds " + Text(window.Client())), 1);

  // The bundle's Contents\Resources\web wins over the page folders beside the module.
  const int mapping = Find(records, "WebView.SetVirtualHostNameToFolderMapping");
  ASSERT_TRUE(mapping >= 0 && mapping < navigate);
  EXPECT_EQ(records[static_cast<size_t>(mapping)],
            "WebView.SetVirtualHostNameToFolderMapping zarn.editor 2 " + BundleContents() +
                "\\Resources\\web");
  EXPECT_EQ(records[static_cast<size_t>(navigate)],
            "WebView.Navigate https://zarn.editor/index.html");
  EXPECT_EQ(Count(records, "WebView.Navigate"), 1);
  EXPECT_EQ(Count(records, "unimplemented"), 0);
}

TEST_F(WebView2Editor, LoadedPageGetsTheDescriptionThenEveryValueAndAFailedLoadNothing) {
  Editor editor = Open();
  int mark = fake.Mark();
  ASSERT_TRUE(fake.CompleteNavigation(false));
  EXPECT_EQ(Count(fake.Records(mark), "WebView.ExecuteScript"), 0);

  mark = fake.Mark();
  ASSERT_TRUE(fake.CompleteNavigation(true));
  const Records records = fake.Records(mark);
  EXPECT_EQ(Count(records, "WebView.ExecuteScript SAMFD(-1, "), 1);
  EXPECT_EQ(Count(records, "WebView.ExecuteScript SPVFD("), kNumParams);
  EXPECT_TRUE(
      InOrder(records, {"WebView.ExecuteScript SAMFD(-1, ", "WebView.ExecuteScript SPVFD(0, ",
                        "WebView.ExecuteScript SPVFD(26, "}));
}

TEST_F(WebView2Editor, PageMessagesReachThePluginAndTheSpaceBarTheHostWindow) {
  Editor editor = Open();
  ASSERT_TRUE(fake.ReceiveWebMessage(LR"({"msg":"SPVFUI","paramIdx":3,"value":0.25})"));
  EXPECT_NEAR(plugin.controller->getParamNormalized(3), 0.25, 1e-9);
  ASSERT_FALSE(handler.edits.empty());
  EXPECT_EQ(handler.edits.back().kind, 'p');
  EXPECT_EQ(handler.edits.back().id, 3u);
  EXPECT_NEAR(handler.edits.back().value, 0.25, 1e-9);

  const size_t edits = handler.edits.size();
  EXPECT_TRUE(fake.ReceiveWebMessage(L"{\"msg\":\"SPVFUI\",\"paramIdx\":3,"));  // cut short
  EXPECT_EQ(handler.edits.size(), edits);

  EXPECT_TRUE(fake.ReceiveWebMessage(KeyMessage(kSpaceKey)));
  EXPECT_TRUE(fake.ReceiveWebMessage(KeyMessage('A')));
  EXPECT_EQ(PumpMessages(kSettleTime, window.Handle()).keysToWindow,
            std::vector<WPARAM>{kSpaceKey});
}

TEST_F(WebView2Editor, DownloadsAreCancelledAndOtherNewWindowsLeftToTheBrowser) {
  Editor editor = Open();
  int mark = fake.Mark();
  ASSERT_TRUE(fake.StartDownload());
  const Records records = fake.Records(mark);
  EXPECT_EQ(Count(records, "DownloadStartingEventArgs.put_Cancel 1"), 1);
  EXPECT_EQ(Count(records, "DownloadStartingEventArgs.put_Handled 1"), 1);

  // Not a web address: the browser's own handling, nothing to the system's browser.
  mark = fake.Mark();
  ASSERT_TRUE(fake.RequestNewWindow(L"about:blank"));
  EXPECT_EQ(Count(fake.Records(mark), "NewWindowRequestedEventArgs.put_Handled"), 0);
}

TEST_F(WebView2Editor, WithoutWebView2_4ThePageLoadsWithoutADownloadHandler) {
  fake.SetFailures(kNoWebView2_4);
  const int mark = fake.Mark();
  Editor editor = Open();
  fake.SetFailures(0);
  const Records records = fake.Records(mark);
  EXPECT_EQ(Count(records, "WebView.add_DownloadStarting"), 0);
  EXPECT_EQ(Count(records, "WebView.Navigate https://zarn.editor/index.html"), 1);
  EXPECT_FALSE(fake.StartDownload());
}

TEST_F(WebView2Editor, HostResizeKeepsTheViewFillingTheWindow) {
  Editor editor = Open();
  SetWindowPos(window.Handle(), nullptr, 0, 0, 1000, 500,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  const int mark = fake.Mark();
  ViewRect rect{0, 0, 1000, 500};
  ASSERT_EQ(editor->onSize(&rect), kResultTrue);
  EXPECT_EQ(Count(fake.Records(mark), "Controller.SetBoundsAndZoomFactor 0 0 1000 500 1"), 1);
}

TEST_F(WebView2Editor, ClosingClosesTheControllerThenLetsGoOfWebViewAndEnvironment) {
  Editor editor = Open();
  const int mark = fake.Mark();
  editor.Close();
  // The process keeps the environment for the next editor: one reference is left.
  EXPECT_TRUE(InOrder(fake.Records(mark), {"Controller.Close", "Controller.Release 0",
                                           "WebView.Release 0", "Environment.Release 1"}));
  EXPECT_FALSE(fake.ReceiveWebMessage(KeyMessage(kSpaceKey)));
}

TEST_F(WebView2Editor, AControllerArrivingAfterTheEditorClosedIsClosed) {
  Open().Close();  // the environment exists: the controller is asked for at once
  const int mark = fake.Mark();
  Editor(plugin.controller, window.Handle()).Close();
  PumpMessages(kSettleTime);
  const Records records = fake.Records(mark);
  EXPECT_TRUE(InOrder(records, {"Environment.CreateCoreWebView2Controller", "Controller.Close",
                                "Controller.Release 0", "WebView.Release 0"}));
  EXPECT_EQ(Count(records, "WebView.Navigate"), 0);
}

TEST_F(WebView2Editor, TimerCarriesMetersOnceAudioRanAndStopsWithTerminate) {
  Editor editor = Open();
  int mark = fake.Mark();
  EXPECT_GE(PumpMessages(kSettleTime).threadTimerTicks, 3);  // every 20 ms
  EXPECT_EQ(Count(fake.Records(mark), "WebView.ExecuteScript SAMFD(0, "), 0);

  RunAudio(plugin, 40);
  mark = fake.Mark();
  PumpMessages(kSettleTime);
  EXPECT_GT(Count(fake.Records(mark), "WebView.ExecuteScript SAMFD(0, "), 0);

  editor.Close();
  EXPECT_GT(PumpMessages(kSettleTime).threadTimerTicks, 0);  // the plug-in ticks on
  ASSERT_EQ(plugin.component->terminate(), kResultOk);
  EXPECT_EQ(PumpMessages(kSettleTime).threadTimerTicks, 0);
}

// The module of a bundle with no WebView2 loader at all (ZARN_TEST_MODULE names it); run in a
// process of its own, since a loaded WebView2Loader.dll would be found by name.
class WebView2WithoutLoader : public ::testing::Test {
 protected:
  Instance plugin;
  HostWindow window{kWidth, kHeight};
};

TEST_F(WebView2WithoutLoader, EditorOpensEmptyAndTheHostCarriesOn) {
  if (LoaderBesideModule())
    GTEST_SKIP() << "needs ZARN_TEST_MODULE naming the bundle without a loader";
  ASSERT_EQ(plugin.Initialize(), kResultOk);
  Editor editor(plugin.controller, window.Handle());
  EXPECT_GT(PumpMessages(kSettleTime).threadTimerTicks, 0);
  EXPECT_EQ(GetModuleHandleW(L"WebView2Loader.dll"), nullptr);

  ViewRect rect{0, 0, 1000, 500};
  EXPECT_EQ(editor->onSize(&rect), kResultTrue);
  EXPECT_EQ(editor->onKeyDown(u' ', 0, 0), kResultTrue);
  EXPECT_EQ(PumpMessages(kSettleTime, window.Handle()).keysToWindow,
            std::vector<WPARAM>{kSpaceKey});
  editor.Close();
}

}  // namespace
