#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "editor/IWebView.h"
#include "editor/WebViewBounds.h"
#include "editor/windows/ComRef.h"
#include "editor/windows/WebView2Abi.h"

class WebViewEditorDelegate;

// The editor page in Microsoft Edge WebView2, as a child of the window the host gave the editor.
// The browser environment is made once per process and shared by every later editor; the web
// view itself arrives asynchronously, and until then scripts are dropped while the requested
// bounds are kept. The page is served from its folder under https://zarn.editor/, gets the
// bridge scripts before its own, and reaches the delegate with its messages and loads. Links
// that open a new window go to the system's browser; downloads are refused.
//
// Everything runs on the UI thread that opened the editor, which WebView2 calls back on. A
// callback that arrives after the view is gone finds nobody and closes what it brought.
class WebView2WebView final : public IWebView {
 public:
  // Asks for the web view in `parent`; `pagePath` (UTF-8) is loaded as soon as it exists.
  WebView2WebView(HWND parent, WebViewEditorDelegate& delegate, std::string pagePath);
  // Closes the web view; the shared environment stays for the next editor.
  ~WebView2WebView() override;
  WebView2WebView(const WebView2WebView&) = delete;
  WebView2WebView& operator=(const WebView2WebView&) = delete;

  void EvaluateScript(const std::string& utf8Script) override;
  // In the host's logical pixels; the web view fills the parent's client area whenever it has one.
  void SetBounds(int x, int y, int width, int height) override;
  void Reload() override;

 private:
  struct Link;

  void RequestEnvironment();
  void RequestController(wv2::ICoreWebView2Environment* environment);
  void OnControllerCreated(wv2::ICoreWebView2Controller* controller);
  void ConfigureSettings();
  void AddBridgeScripts();
  void AddHandlers();
  void MakeBackgroundTransparent();
  void LoadFile(const std::string& fileName);

  void OnWebMessage(wv2::ICoreWebView2WebMessageReceivedEventArgs* args);
  void OnNavigationCompleted(wv2::ICoreWebView2NavigationCompletedEventArgs* args);
  void OnNewWindow(wv2::ICoreWebView2NewWindowRequestedEventArgs* args);

  web_view_bounds::PixelRect ParentClientArea() const;
  void ApplyBounds(const web_view_bounds::PixelRect& bounds);

  HWND parent_;
  WebViewEditorDelegate& delegate_;
  std::string pagePath_;
  std::shared_ptr<Link> link_;
  ComRef<wv2::ICoreWebView2Environment> environment_;
  ComRef<wv2::ICoreWebView2Controller> controller_;
  ComRef<wv2::ICoreWebView2> webView_;
  ComRef<wv2::ICoreWebView2ExecuteScriptCompletedHandler> ignoreScriptResult_;
  web_view_bounds::PixelRect bounds_;
};
