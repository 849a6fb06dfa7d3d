#include "editor/linux/ChromiumWebView.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "editor/Base64.h"
#include "editor/linux/ChromiumPageSession.h"
#include "editor/linux/DevToolsPipe.h"
#include "editor/linux/PageServer.h"
#include "editor/linux/SystemOpener.h"

using devtools::Json;

namespace {

constexpr auto kCloseFlush = std::chrono::milliseconds(500);

std::vector<std::string> BrowserArguments(const ChromiumWebView::Options& options,
                                          const std::string& profile) {
  std::vector<std::string> args = ChromiumProcess::IsolatedArguments(profile);
  // A page restored from the back-forward cache would skip our request checks.
  args.push_back("--disable-features=BackForwardCache,Translate,MediaRouter");
  args.push_back("--window-size=" + std::to_string(options.width) + "," + std::to_string(options.height));
  if (!options.x11WindowClass.empty()) {
    // X11 even where Wayland is offered: the window is embedded by its X window id.
    args.push_back("--ozone-platform=x11");
    args.push_back("--class=" + options.x11WindowClass);
    args.push_back("--test-type");  // no bar above the page about our command-line flags
  }
  if (options.deviceScale > 0.0)
    args.push_back("--force-device-scale-factor=" + std::to_string(options.deviceScale));
  if (options.headless) {
    args.push_back("--headless");
    args.push_back("about:blank");
  } else {
    // An app window: no tabs, no address bar. Chromium opens an ordinary window for about:blank.
    args.push_back("--app=data:text/html,");
  }
  return args;
}

}  // namespace

ChromiumWebView::ChromiumWebView(Callbacks callbacks, const std::string& pageFile, Options options)
    : callbacks_(std::move(callbacks)), options_(std::move(options)) {
  if (!callbacks_.onOpenLink)
    callbacks_.onOpenLink = [](const std::string& url) { OpenInSystemBrowser(url); };
  Launch(pageFile);
}

ChromiumWebView::~ChromiumWebView() {
  alive_ = false;
  if (pipe_) {
    pipe_->Call("Browser.close");
    pipe_->Stop(kCloseFlush);  // the browser also ends when its pipe closes
  }
  process_.Terminate();
  if (profile_) profile_->Remove();
}

void ChromiumWebView::Launch(const std::string& pageFile) {
  const std::string binary = ChromiumProcess::Find(options_.browserPath);
  if (binary.empty()) return;
  profile_ = TemporaryFolder::Create("zarn-chromium-");
  if (!profile_) return;
  const auto ends =
      process_.Start(binary, BrowserArguments(options_, profile_->Path()), options_.showBrowserErrors);
  if (!ends) return;
  pipe_ = std::make_unique<devtools::DevToolsPipe>(ends->fromBrowser, ends->toBrowser);

  std::error_code ignored;
  const std::filesystem::path page = std::filesystem::absolute(pageFile, ignored);
  ChromiumPageSession::Events events;
  events.pageMessage = [this](std::string json) {
    events_.Push([this, json = std::move(json)] {
      if (callbacks_.onPageMessage) callbacks_.onPageMessage(json);
    });
  };
  events.pageLoaded = [this] {
    events_.Push([this] {
      if (callbacks_.onPageLoaded) callbacks_.onPageLoaded();
    });
  };
  events.openLink = [this](std::string url) {
    events_.Push([this, url = std::move(url)] {
      if (callbacks_.onOpenLink) callbacks_.onOpenLink(url);
    });
  };
  events.pageGone = [this] { MarkGone(); };
  session_ = std::make_unique<ChromiumPageSession>(
      *pipe_, PageServer(page.parent_path()), PageServer::UrlOf(page.filename().string()),
      EmbeddedByOwner()
          ? ChromiumPageSession::Viewport{false, 0, 0, 0.0}
          : ChromiumPageSession::Viewport{options_.headless, options_.width, options_.height, options_.deviceScale},
      std::move(events));

  pipe_->SetEventHandler([session = session_.get()](const std::string& method, const Json& params,
                                                    const std::string& sessionId) {
    session->HandleEvent(method, params, sessionId);
  });
  pipe_->SetClosedHandler([this] { MarkGone(); });
  alive_ = true;  // before the I/O thread starts, which may report the browser gone at once
  if (!pipe_->Start()) {
    alive_ = false;
    return;
  }
  pipe_->Post([session = session_.get()] { session->Begin(); });
}

// [I/O thread] The browser or its page went away; from now on there is nothing to talk to.
void ChromiumWebView::MarkGone() { alive_ = false; }

void ChromiumWebView::EvaluateScript(const std::string& utf8Script) {
  if (!IsAlive()) return;
  pipe_->Post([session = session_.get(), utf8Script] { session->Evaluate(utf8Script); });
}

// Only the size matters: the view fills its window. An embedded window is sized by its owner.
void ChromiumWebView::SetBounds(int, int, int width, int height) {
  if (!IsAlive() || EmbeddedByOwner()) return;
  pipe_->Post([session = session_.get(), width, height] { session->Resize(width, height); });
}

void ChromiumWebView::SetDeviceScale(float scale) {
  if (!IsAlive() || !(scale > 0.0f)) return;
  pipe_->Post([session = session_.get(), scale] { session->SetDeviceScale(scale); });
}

void ChromiumWebView::Reload() {
  if (!IsAlive()) return;
  pipe_->Post([session = session_.get()] { session->Reload(); });
}

void ChromiumWebView::SendToPage(const std::string& method, nlohmann::json params) {
  if (!IsAlive()) return;
  pipe_->Post([session = session_.get(), method, params = std::move(params)]() mutable {
    session->SendToPage(method, std::move(params));
  });
}

void ChromiumWebView::Poll() {
  const std::weak_ptr<char> alive = lifetime_;
  for (auto& event : events_.TakeAll()) {
    event();
    if (alive.expired()) return;  // a callback closed the view
  }
}

bool ChromiumWebView::CaptureScreenshot(const std::string& pngPath, std::chrono::milliseconds timeout) {
  if (!IsAlive()) return false;
  const auto waiter = devtools::ReplyWaiter::Create();
  pipe_->Post([session = session_.get(), waiter] {
    if (!session->SendToPage("Page.captureScreenshot", {{"format", "png"}}, waiter->Handler()))
      waiter->Deliver(Json::object());
  });
  const std::optional<Json> reply = waiter->WaitUntil(std::chrono::steady_clock::now() + timeout);
  if (!reply) return false;
  const auto result = reply->find("result");
  std::string base64;
  if (result != reply->end() && result->is_object()) {
    const auto it = result->find("data");
    if (it != result->end() && it->is_string()) base64 = *it;
  }
  const auto png = Base64Decode(base64);
  if (!png || png->empty()) return false;
  std::ofstream out(pngPath, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(png->data()), static_cast<std::streamsize>(png->size()));
  return static_cast<bool>(out);
}
