#pragma once

#include <memory>
#include <string>
#include <vector>

#include "editor/IWebView.h"
#include "editor/linux/ChromiumWebView.h"
#include "editor/linux/X11Display.h"

union _XEvent;

// The editor page inside a window of the host (or of our own): Chromium runs as a child process
// with an app window of a window class no other window has; once that window is on the screen it
// is moved into a container window of ours that fills the parent, and kept at its size.
// Everything X11 goes through a connection of our own. The container says what is going on while
// the browser starts, and that the page has stopped should the browser go away; the plug-in
// keeps processing either way.
//
// [UI thread] The owner calls Poll() whenever one of EventFds() is readable and on its timer.
class X11EmbeddedView final : public IWebView {
 public:
  struct Options {
    std::string browserPath;  // empty: Debian's chromium
    float contentScale = 1.0f;
    bool showBrowserErrors = false;
    // The parent is ours (the standalone editor's window): a size the page asks for resizes it.
    bool ownsParent = false;
  };

  // Null when no X server can be reached or `parent` is no window.
  static std::unique_ptr<X11EmbeddedView> Create(X11Window parent, ChromiumWebView::Callbacks callbacks,
                                                 const std::string& pageFile, const Options& options);
  ~X11EmbeddedView() override;
  X11EmbeddedView(const X11EmbeddedView&) = delete;
  X11EmbeddedView& operator=(const X11EmbeddedView&) = delete;

  // IWebView
  void EvaluateScript(const std::string& utf8Script) override;
  void SetBounds(int x, int y, int width, int height) override;
  void Reload() override;
  void Poll() override;
  std::vector<int> EventFds() const override;
  void SetContentScale(float scale) override;

  // The browser's window once it is inside the parent, else 0.
  X11Window BrowserWindow() const { return browserWindow_; }
  bool BrowserAlive() const { return browser_ && browser_->IsAlive(); }
  ChromiumWebView* Browser() const { return browser_.get(); }

 private:
  X11EmbeddedView(X11Window parent, const std::string& windowClass, bool ownsParent);
  bool CreateContainer();
  void HandleEvent(const _XEvent& event);
  void FindAndEmbed();
  void Embed(X11Window window);
  void FillParent();
  void ResizeChildren(int width, int height);
  void DrawNotice();

  X11Display display_;
  X11Window parent_;
  X11Window root_ = 0;
  X11Window container_ = 0;  // our window in the parent: holds the page, shows the notice
  X11Window browserWindow_ = 0;
  std::string windowClass_;
  std::string noticeText_;
  bool ownsParent_;
  bool browserGone_ = false;
  int pollsSinceSearch_ = 0;
  bool searchWanted_ = true;
  int width_ = 0, height_ = 0;
  std::unique_ptr<ChromiumWebView> browser_;
};
