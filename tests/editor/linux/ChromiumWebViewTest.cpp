// The editor page in a real headless Chromium: loading from the page folder, messages both ways,
// key forwarding, what the page may not do (navigate away, read outside its folder, talk from
// another origin), and a browser that dies or is missing.
#if defined(__linux__)

#include <poll.h>
#include <signal.h>
#include <sys/types.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "editor/PageInput.h"
#include "editor/WebViewEditorDelegate.h"
#include "editor/linux/ChromiumProcess.h"
#include "editor/linux/ChromiumWebView.h"

namespace {

using nlohmann::json;

// Generous: a loaded CI machine may start the browser slowly. Only a failure waits this long.
constexpr auto kBrowserWait = std::chrono::seconds(30);

bool ProcessExists(pid_t pid) { return ::kill(pid, 0) == 0 || errno != ESRCH; }

class ChromiumWebViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (ChromiumProcess::Find("").empty())
      GTEST_SKIP() << "chromium is not installed (apt-get install chromium); browser tests skipped";
    owned_ = Open();
    view_ = owned_.get();
    if (view_->BrowserPid() == 0) GTEST_SKIP() << "chromium could not be started; browser tests skipped";
    ASSERT_TRUE(WaitFor([&] { return loads_ > 0 || !view_->IsAlive(); }));
    ASSERT_TRUE(view_->IsAlive()) << "chromium started but went away before the page loaded";
    ASSERT_EQ(loads_, 1);
  }

  std::unique_ptr<ChromiumWebView> Open() {
    ChromiumWebView::Callbacks callbacks;
    callbacks.onPageMessage = [this](const std::string& text) {
      messages_.push_back(json::parse(text, nullptr, false));
    };
    callbacks.onPageLoaded = [this] {
      ++loads_;
      if (onLoaded_) onLoaded_();
    };
    callbacks.onOpenLink = [this](const std::string& url) { links_.push_back(url); };
    return std::make_unique<ChromiumWebView>(callbacks, std::string(ZARN_TEST_WEB_DIR) + "/index.html",
                                             ChromiumWebView::Options{});
  }

  // Delivers the view's events on this (the UI) thread until `done`; false after kBrowserWait.
  bool WaitFor(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + kBrowserWait;
    while (!done()) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      pollfd events{view_->EventFd(), POLLIN, 0};
      ::poll(&events, 1, 50);
      view_->Poll();
    }
    return true;
  }

  std::optional<json> Find(const std::function<bool(const json&)>& match) const {
    for (const json& message : messages_)
      if (message.is_object() && match(message)) return message;
    return std::nullopt;
  }

  json WaitForMessage(const std::function<bool(const json&)>& match) {
    std::optional<json> found;
    EXPECT_TRUE(WaitFor([&] { return (found = Find(match)).has_value(); }));
    return found.value_or(json());
  }

  // Evaluates `expression` in the page and waits for its value (through the page's check()).
  json Ask(const std::string& expression) {
    const std::string name = "q" + std::to_string(++questions_);
    view_->EvaluateScript("check('" + name + "', " + expression + ")");
    return WaitForMessage([&](const json& m) { return m.value("msg", "") == "check" && m.value("name", "") == name; })
        .value("value", json());
  }

  json Fetched(const std::string& path) {
    view_->EvaluateScript("probe('" + path + "')");
    return WaitForMessage([&](const json& m) { return m.value("msg", "") == "fetched" && m.value("path", "") == path; });
  }

  void Key(const char* type, const char* key, int code) {
    json event = {{"type", type}, {"key", key}, {"windowsVirtualKeyCode", code}};
    if (std::string(type) == "keyDown") event["text"] = key;
    view_->SendToPage("Input.dispatchKeyEvent", event);
  }

  bool HasKeyMessage(int keyCode, bool isUp) const {
    return Find([&](const json& m) {
      return m.value("msg", "") == "SKPFUI" && m.value("keyCode", 0) == keyCode && m.value("isUp", !isUp) == isUp;
    }).has_value();
  }

  std::unique_ptr<ChromiumWebView> owned_;
  ChromiumWebView* view_ = nullptr;
  std::vector<json> messages_;
  std::vector<std::string> links_;
  int loads_ = 0;
  int questions_ = 0;
  std::function<void()> onLoaded_;
};

// A delegate with no parameters: enough to send its script calls through a real web view.
class BareDelegate : public WebViewEditorDelegate {
  const IParam* DelegateParam(int) const override { return nullptr; }
};

TEST_F(ChromiumWebViewTest, DelegateCallsReachThePageAndItsMessagesComeBack) {
  BareDelegate delegate;
  delegate.AttachWebView(std::move(owned_));
  delegate.SendParamValueToPage(3, 0.25);
  delegate.SendControlValueToPage(7, 0.5);
  delegate.SendControlMsgToPage(1, 2, 3, "abc");
  delegate.SendArbitraryMsgToPage(0, 3, "abc");
  delegate.SendMidiMsgToPage(144, 60, 127);

  const auto echoOf = [&](const char* fn) {
    return WaitForMessage([&](const json& m) { return m.value("msg", "") == "echo" && m.value("fn", "") == fn; })
        .value("args", json());
  };
  EXPECT_EQ(echoOf("SPVFD"), json::parse(R"([3, 0.25])"));
  EXPECT_EQ(echoOf("SCVFD"), json::parse(R"([7, 0.5])"));
  EXPECT_EQ(echoOf("SCMFD"), json::parse(R"([1, 2, 3, "YWJj"])"));
  EXPECT_EQ(echoOf("SAMFD"), json::parse(R"([0, 3, "YWJj"])"));
  EXPECT_EQ(echoOf("SMMFD"), json::parse(R"([144, 60, 127])"));

  // postMessage hands over the JSON text of whatever was posted; what has no JSON form is dropped.
  view_->EvaluateScript("window.chrome.webview.postMessage(undefined); IFxSendMsg('plain text');");
  EXPECT_TRUE(WaitFor([&] { return !messages_.empty() && messages_.back() == json("plain text"); }));
}

TEST_F(ChromiumWebViewTest, KeysReachThePlugInUnlessATextFieldHasFocus) {
  Key("keyDown", "a", 65);
  Key("keyUp", "a", 65);
  ASSERT_TRUE(WaitFor([&] { return HasKeyMessage(65, false) && HasKeyMessage(65, true); }));
  const json down = *Find([](const json& m) { return m.value("msg", "") == "SKPFUI"; });
  const auto parsed = page_input::Parse(down.dump(), 27);
  ASSERT_TRUE(parsed && std::holds_alternative<page_input::Key>(*parsed)) << down.dump();
  EXPECT_EQ(std::get<page_input::Key>(*parsed).virtualKey, 65);
  EXPECT_STREQ(std::get<page_input::Key>(*parsed).text, "a");

  ASSERT_EQ(Ask("(document.getElementById('field').focus(), document.activeElement.id)"), "field");
  Key("keyDown", "x", 88);
  Key("keyUp", "x", 88);
  // Once the field holds the typed letter, the key has been through the page's handlers.
  ASSERT_TRUE(WaitFor([&] { return Ask("document.getElementById('field').value") == "x"; }));
  EXPECT_FALSE(HasKeyMessage(88, false));
  EXPECT_FALSE(HasKeyMessage(88, true));
}

TEST_F(ChromiumWebViewTest, PageStaysInItsOriginAndLinksGoToTheOpener) {
  view_->EvaluateScript("location.href = 'https://example.org/elsewhere'");
  ASSERT_TRUE(WaitFor([&] { return links_.size() == 1; }));
  EXPECT_EQ(links_[0], "https://example.org/elsewhere");

  view_->EvaluateScript("document.getElementById('local').click()");  // file:// never leaves
  view_->EvaluateScript("document.getElementById('external').click()");
  ASSERT_TRUE(WaitFor([&] { return links_.size() == 2; }));
  EXPECT_EQ(links_[1], "https://example.com/docs");

  // A frame of another origin gets the bridge injected too, but its messages are dropped.
  view_->EvaluateScript("tryFromOtherOrigin()");
  WaitForMessage([](const json& m) { return m.value("name", "") == "otherOriginTried"; });
  EXPECT_FALSE(Find([](const json& m) { return m.value("msg", "") == "fromOtherOrigin"; }));

  EXPECT_EQ(Ask("location.href"), "https://zarn.editor/index.html");
  EXPECT_EQ(loads_, 1);
  EXPECT_EQ(links_.size(), 2u);
}

TEST_F(ChromiumWebViewTest, ServesThePageFolderAndNothingElse) {
  const json script = Fetched("page.js");
  EXPECT_EQ(script.value("status", 0), 200);
  EXPECT_EQ(script.value("type", ""), "text/javascript; charset=utf-8");
  EXPECT_EQ(script.value("length", 0), static_cast<int>(std::filesystem::file_size(
                                           std::string(ZARN_TEST_WEB_DIR) + "/page.js")));
  EXPECT_EQ(Fetched("sub/data.json").value("type", ""), "application/json");

  EXPECT_EQ(Fetched("/..%2f..%2f..%2f..%2f..%2fetc%2fpasswd").value("status", 0), 404);
  EXPECT_EQ(Fetched("/%2e%2e/%2e%2e/%2e%2e/etc/passwd").value("status", 0), 404);
  EXPECT_EQ(Fetched("missing.txt").value("status", 0), 404);
  EXPECT_TRUE(Fetched("https://example.com/").contains("error"));  // blocked, no network
}

TEST_F(ChromiumWebViewTest, ReloadLoadsAgainAndScreenshotsFollowTheBounds) {
  view_->Reload();
  ASSERT_TRUE(WaitFor([&] { return loads_ == 2; }));

  view_->SetBounds(0, 0, 640, 360);
  const std::string png = view_->ProfileFolder() + "/../zarn-shot-" + std::to_string(::getpid()) + ".png";
  int width = 0, height = 0;
  for (int attempt = 0; attempt < 50 && (width != 640 || height != 360); ++attempt) {
    ASSERT_TRUE(view_->CaptureScreenshot(png));
    std::ifstream in(png, std::ios::binary);
    unsigned char header[24] = {};
    in.read(reinterpret_cast<char*>(header), sizeof header);
    ASSERT_EQ(std::string(reinterpret_cast<char*>(header + 1), 3), "PNG");
    width = header[16] << 24 | header[17] << 16 | header[18] << 8 | header[19];
    height = header[20] << 24 | header[21] << 16 | header[22] << 8 | header[23];
  }
  std::filesystem::remove(png);
  EXPECT_EQ(width, 640);
  EXPECT_EQ(height, 360);
}

TEST_F(ChromiumWebViewTest, KilledBrowserLeavesAHarmlessView) {
  const pid_t pid = view_->BrowserPid();
  const std::string profile = view_->ProfileFolder();
  ASSERT_EQ(::kill(pid, SIGKILL), 0);
  ASSERT_TRUE(WaitFor([&] { return !view_->IsAlive(); }));

  view_->EvaluateScript("SPVFD(0, 1)");
  view_->SetBounds(0, 0, 800, 600);
  view_->Reload();
  view_->SendToPage("Page.reload", json::object());
  EXPECT_FALSE(view_->CaptureScreenshot(profile + ".png"));
  view_->Poll();

  owned_.reset();
  EXPECT_FALSE(ProcessExists(pid)) << "the browser was not reaped";
  EXPECT_FALSE(std::filesystem::exists(profile));
}

TEST_F(ChromiumWebViewTest, ClosingEndsTheBrowserAndRemovesItsProfile) {
  const pid_t pid = view_->BrowserPid();
  const std::string profile = view_->ProfileFolder();
  ASSERT_TRUE(std::filesystem::is_directory(profile));
  view_->EvaluateScript("SPVFD(0, 1)");  // still on its way while the view closes
  owned_.reset();
  EXPECT_FALSE(ProcessExists(pid));
  EXPECT_FALSE(std::filesystem::exists(profile));
}

TEST_F(ChromiumWebViewTest, ACallbackMayCloseTheView) {
  onLoaded_ = [this] { owned_.reset(); };
  view_->Reload();
  view_->EvaluateScript("IFxSendMsg({msg: 'after'})");  // queued behind the load, never delivered
  const auto deadline = std::chrono::steady_clock::now() + kBrowserWait;
  while (owned_ && std::chrono::steady_clock::now() < deadline) {
    pollfd events{view_->EventFd(), POLLIN, 0};
    ::poll(&events, 1, 50);
    view_->Poll();
  }
  EXPECT_EQ(owned_, nullptr);
  EXPECT_EQ(loads_, 2);
}

TEST(ChromiumWebView, MissingBrowserGivesAViewWithoutPage) {
  int calls = 0;
  ChromiumWebView::Options options;
  options.browserPath = "/nonexistent/chromium";
  ChromiumWebView view({[&](const std::string&) { ++calls; }, [&] { ++calls; }, nullptr},
                       std::string(ZARN_TEST_WEB_DIR) + "/index.html", options);
  EXPECT_FALSE(view.IsAlive());
  EXPECT_EQ(view.BrowserPid(), 0);
  EXPECT_EQ(view.ProfileFolder(), "");
  view.EvaluateScript("SPVFD(0, 1)");
  view.SetBounds(0, 0, 100, 100);
  view.Reload();
  EXPECT_FALSE(view.CaptureScreenshot("/nonexistent/shot.png"));
  view.Poll();
  EXPECT_EQ(calls, 0);
}

}  // namespace

#endif  // __linux__
