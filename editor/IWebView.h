#pragma once

#include <string>
#include <vector>

// The browser engine that shows the editor page, behind the few calls the plug-in needs. One
// implementation per platform (Chromium through its DevTools pipe on Linux, WebView2 on Windows).
// [UI thread]
class IWebView {
 public:
  virtual ~IWebView() = default;

  // Runs a script in the page; no result is awaited. Dropped while no page is loaded.
  virtual void EvaluateScript(const std::string& utf8Script) = 0;
  // Places the view inside the editor window, in pixels.
  virtual void SetBounds(int x, int y, int width, int height) = 0;
  // Loads the page again (e.g. after the user asked for a reload).
  virtual void Reload() = 0;
  // Delivers what the browser reported since the last call (page loads, posted messages); the
  // editor's 20 ms timer calls it. Views that call back by themselves need nothing here.
  virtual void Poll() {}
  // Descriptors that become readable when Poll() has work, for a host run loop to watch.
  virtual std::vector<int> EventFds() const { return {}; }
  // Page pixels per CSS pixel of the host's window (HiDPI); the page keeps its layout.
  virtual void SetContentScale(float /*scale*/) {}
};
