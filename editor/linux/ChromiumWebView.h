#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "editor/IWebView.h"
#include "editor/linux/ChromiumProcess.h"
#include "editor/linux/TemporaryFolder.h"
#include "editor/linux/UiEventQueue.h"

namespace devtools {
class DevToolsPipe;
}
class ChromiumPageSession;

// The editor page in Debian's Chromium, driven over the DevTools pipe: the browser runs as a
// child process with a profile folder of its own, shows only the page folder (served under
// https://zarn.editor/), and talks to the plug-in through window.chrome.webview.postMessage and
// script evaluation.
//
// Threads: a background thread talks to the browser; every callback runs on the UI thread, from
// Poll(). The owner calls Poll() regularly (the editor's 20 ms idle timer) or whenever EventFd()
// becomes readable (a host run loop). Without a browser (none installed, crashed, closed) the view
// stays usable: it has no page, drops every script, and IsAlive() is false. No call blocks for
// long: waits for the browser are bounded.
class ChromiumWebView : public IWebView {
 public:
  struct Callbacks {
    std::function<void(const std::string& json)> onPageMessage;  // an object the page posted
    std::function<void()> onPageLoaded;                          // after every completed load
    // An http(s) link the page opens in a new window or navigates to; by default the user's
    // browser shows it (xdg-open).
    std::function<void(const std::string& url)> onOpenLink;
  };
  struct Options {
    std::string browserPath;  // empty: Debian's chromium
    bool headless = true;     // else an app window
    int width = 1440;
    int height = 604;
    double deviceScale = 0.0;  // device pixels per CSS pixel; 0: the screen's own
    bool showBrowserErrors = false;  // let the browser's error output through
  };

  // [UI thread] Starts the browser and loads `pageFile`; its folder is what the page may load.
  ChromiumWebView(Callbacks callbacks, const std::string& pageFile, Options options);
  // [UI thread] Ends the browser (bounded wait) and removes its profile folder.
  ~ChromiumWebView() override;
  ChromiumWebView(const ChromiumWebView&) = delete;
  ChromiumWebView& operator=(const ChromiumWebView&) = delete;

  // [UI thread]
  void EvaluateScript(const std::string& utf8Script) override;
  void SetBounds(int x, int y, int width, int height) override;
  void Reload() override;

  // [UI thread] Delivers what the browser reported since the last call. A callback may destroy
  // this object; the remaining events are then dropped.
  void Poll() override;
  // Readable while events wait for Poll (-1 if none could be made).
  int EventFd() const { return events_.Fd(); }

  // [any thread] False without a browser or once it has gone.
  bool IsAlive() const { return alive_.load(); }

  // [UI thread] Saves what the page shows as a PNG file; false on any failure or after `timeout`.
  bool CaptureScreenshot(const std::string& pngPath,
                         std::chrono::milliseconds timeout = std::chrono::seconds(10));

  // [UI thread] Sends a DevTools command to the page's target, for tools and tests (e.g. input
  // events); the reply is ignored. Dropped without a page.
  void SendToPage(const std::string& method, nlohmann::json params);

  // The browser's process id (0 without one) and profile folder (empty without one).
  pid_t BrowserPid() const { return process_.Pid(); }
  std::string ProfileFolder() const { return profile_ ? profile_->Path() : std::string(); }

 private:
  void Launch(const std::string& pageFile);
  void MarkGone();

  Callbacks callbacks_;
  Options options_;
  UiEventQueue events_;
  std::atomic<bool> alive_{false};
  std::shared_ptr<char> lifetime_ = std::make_shared<char>();  // lets Poll notice its own end

  // Destroyed in reverse order: the pipe (and its thread) before the session it calls, then
  // the process, then its profile folder.
  std::optional<TemporaryFolder> profile_;
  ChromiumProcess process_;
  std::unique_ptr<ChromiumPageSession> session_;
  std::unique_ptr<devtools::DevToolsPipe> pipe_;
};
