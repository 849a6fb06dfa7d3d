#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "editor/IWebView.h"

class IParam;

// The editor side of the plug-in: formats every message to the page as a script call and hands
// it to the web view, or drops it when there is none. [UI thread]
class WebViewEditorDelegate {
 public:
  static constexpr size_t kDefaultMaxScriptLength = 8192;

  virtual ~WebViewEditorDelegate();

  void AttachWebView(std::unique_ptr<IWebView> webView);
  void CloseWebView();
  IWebView* WebView() const { return webView_.get(); }

  // "SPVFD(index, normalised)"; a plain value is normalised by its parameter first.
  void SendParamValueToPage(int paramIdx, double value, bool isNormalized = true);
  void SendControlValueToPage(int ctrlTag, double value);
  void SendControlMsgToPage(int ctrlTag, int msgTag, int dataSize, const void* data);
  void SendArbitraryMsgToPage(int msgTag, int dataSize, const void* data);
  void SendMidiMsgToPage(uint8_t status, uint8_t data1, uint8_t data2);

  // Longer call texts are cut to this length; raised for one large reply at a time.
  size_t maxScriptLength = kDefaultMaxScriptLength;

 protected:
  // The parameter a page index refers to, for normalising plain values; null when none.
  virtual const IParam* DelegateParam(int paramIdx) const = 0;

 private:
  void Evaluate(std::string script);

  std::unique_ptr<IWebView> webView_;
};
