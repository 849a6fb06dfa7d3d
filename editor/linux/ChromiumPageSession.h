#pragma once

#include <functional>
#include <map>
#include <string>

#include "editor/linux/DevToolsPipe.h"
#include "editor/linux/PageServer.h"

// The editor page inside the browser, driven over the DevTools pipe: attaches to the browser's
// page, installs the bridge, serves every request from the page folder, keeps navigation inside
// our origin, accepts messages from our origin only, and reports what the page does.
// [I/O thread] Every member runs on the pipe's I/O thread, and so do the events.
class ChromiumPageSession {
 public:
  struct Events {
    std::function<void(std::string json)> pageMessage;  // posted by a document of our origin
    std::function<void()> pageLoaded;                   // our page finished loading (again)
    std::function<void(std::string url)> openLink;      // an http(s) link meant for a browser
    std::function<void()> pageGone;                     // the page's window closed
  };
  struct Viewport {
    bool headless = true;
    int width = 0;
    int height = 0;
    double deviceScale = 0.0;  // 0: the screen's own
  };

  ChromiumPageSession(devtools::DevToolsPipe& pipe, PageServer server, std::string pageUrl,
                      Viewport viewport, Events events);

  // Sends the browser-wide settings; the page is set up when the browser attaches it.
  void Begin();
  void HandleEvent(const std::string& method, const devtools::Json& params,
                   const std::string& sessionId);

  // Runs a script in our page's main document; dropped while there is none.
  void Evaluate(const std::string& script);
  void Reload();
  void Resize(int width, int height);
  // A command for the page's target (tools and tests); false without a page.
  bool SendToPage(const std::string& method, devtools::Json params,
                  devtools::DevToolsPipe::ReplyHandler onReply = {});

 private:
  void OnAttached(const devtools::Json& params);
  void SetUpPage(const std::string& sessionId, const std::string& targetId);
  void OnDetached(const std::string& sessionId);
  void OnRequestPaused(const devtools::Json& params);
  void OnPageEvent(const std::string& method, const devtools::Json& params);
  void OnContextCreated(const devtools::Json& context);
  void OnContextDestroyed(int id);
  void OnBindingCalled(const devtools::Json& params);
  void OnWindowOpen(const devtools::Json& params);
  void Fulfill(const std::string& requestId, int status, const std::string& contentType,
               const std::string& body);
  void ApplyViewport();

  devtools::DevToolsPipe& pipe_;
  PageServer server_;
  std::string pageUrl_;
  Viewport viewport_;
  Events events_;

  std::string pageSession_;  // the DevTools session of our page's target, once set up
  std::string pageTarget_;   // its target id, which is also its main frame's id
  bool ready_ = false;       // every set-up command succeeded
  std::map<int, std::string> contextOrigins_;  // live script contexts and their origins
  int mainContext_ = 0;      // the main document's script context while it is ours, else 0
  bool documentServed_ = false;  // the last main document we answered was a page file
  bool pageIsOurs_ = false;      // the main frame shows that document
};
