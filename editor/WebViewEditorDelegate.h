#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "editor/IWebView.h"
#include "host/IEditorDelegate.h"

class IParam;

// The editor side of the plug-in: opens the page in a web view, formats every message to the
// page as a script call (dropped while there is no web view) and receives what the page posts.
// [UI thread]
class WebViewEditorDelegate : public IEditorDelegate {
 public:
  static constexpr size_t kDefaultMaxScriptLength = 8192;

  // Makes the platform's web view for a parent window; it reports page loads and messages back
  // to the delegate. None registered (or a null result): the editor has no web view.
  using WebViewFactory =
      std::function<std::unique_ptr<IWebView>(void* parent, WebViewEditorDelegate& delegate)>;
  static void SetWebViewFactory(WebViewFactory factory);
  // Hands a key to the host's window (on Windows: a posted WM_KEYDOWN), so that the host sees
  // its transport key while the page has the focus; true when sent. None registered: the editor
  // takes no keys.
  using KeyForwarder = std::function<bool(void* parentWindow, int virtualKey)>;
  static void SetKeyForwarder(KeyForwarder forwarder);
  // Whether the registered web view can open now (on Linux: an X server answers); none
  // registered: it can wherever a factory is registered.
  static void SetWebViewAvailability(std::function<bool()> available);
  static bool WebViewAvailable();

  ~WebViewEditorDelegate() override;

  // IEditorDelegate
  void OpenWebView(void* parent) override;
  void CloseWebView() override;
  void SetWebViewBounds(float x, float y, float w, float h) override;
  // The host's pixels per logical pixel; a web view opened later starts with it.
  void OnContentScaleChanged(float scale) override;
  float ContentScale() const { return contentScale_; }
  // Only the space key goes on, to the window the editor opened in; key-ups are taken silently.
  bool OnEditorKeyDown(const KeyPress& key) override;
  bool OnEditorKeyUp(const KeyPress& key) override;

  void AttachWebView(std::unique_ptr<IWebView> webView);
  IWebView* WebView() const { return webView_.get(); }
  void* ParentWindow() const { return parent_; }

  // "SPVFD(index, normalised)"; a plain value is normalised by its parameter first.
  void SendParamValueToPage(int paramIdx, double value, bool isNormalized = true);
  void SendControlValueToPage(int ctrlTag, double value);
  void SendControlMsgToPage(int ctrlTag, int msgTag, int dataSize, const void* data);
  void SendArbitraryMsgToPage(int msgTag, int dataSize, const void* data);
  void SendMidiMsgToPage(uint8_t status, uint8_t data1, uint8_t data2);

  // From the web view: a page finished loading; the page posted a message (JSON text).
  virtual void OnPageLoaded() {}
  virtual void OnPageMessage(std::string_view /*json*/) {}

  // Longer call texts are cut to this length; raised for one large reply at a time.
  size_t maxScriptLength = kDefaultMaxScriptLength;

 protected:
  // The parameter a page index refers to, for normalising plain values; null when none.
  virtual const IParam* DelegateParam(int paramIdx) const = 0;

 private:
  void Evaluate(std::string script);

  std::unique_ptr<IWebView> webView_;
  void* parent_ = nullptr;
  float contentScale_ = 1.0f;
};
