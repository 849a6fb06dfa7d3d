#include "editor/WebViewEditorDelegate.h"

#include "editor/Base64.h"
#include "editor/NumberText.h"
#include "host/IParam.h"

WebViewEditorDelegate::~WebViewEditorDelegate() = default;

void WebViewEditorDelegate::AttachWebView(std::unique_ptr<IWebView> webView) {
  webView_ = std::move(webView);
}

void WebViewEditorDelegate::CloseWebView() { webView_.reset(); }

void WebViewEditorDelegate::Evaluate(std::string script) {
  if (script.size() > maxScriptLength) script.resize(maxScriptLength);
  if (webView_) webView_->EvaluateScript(script);
}

void WebViewEditorDelegate::SendParamValueToPage(int paramIdx, double value, bool isNormalized) {
  if (!isNormalized) {
    const IParam* param = DelegateParam(paramIdx);
    if (!param) return;
    value = param->PlainToNormalized(value);
  }
  Evaluate("SPVFD(" + std::to_string(paramIdx) + ", " + Fixed(value, 6) + ")");
}

void WebViewEditorDelegate::SendControlValueToPage(int ctrlTag, double value) {
  Evaluate("SCVFD(" + std::to_string(ctrlTag) + ", " + Fixed(value, 6) + ")");
}

void WebViewEditorDelegate::SendControlMsgToPage(int ctrlTag, int msgTag, int dataSize,
                                                 const void* data) {
  const size_t size = dataSize > 0 && data ? static_cast<size_t>(dataSize) : 0;
  Evaluate("SCMFD(" + std::to_string(ctrlTag) + ", " + std::to_string(msgTag) + ", " +
           std::to_string(size) + ", '" + Base64Encode(data, size) + "')");
}

void WebViewEditorDelegate::SendArbitraryMsgToPage(int msgTag, int dataSize, const void* data) {
  const size_t size = dataSize > 0 && data ? static_cast<size_t>(dataSize) : 0;
  Evaluate("SAMFD(" + std::to_string(msgTag) + ", " + std::to_string(size) + ", '" +
           Base64Encode(data, size) + "')");
}

void WebViewEditorDelegate::SendMidiMsgToPage(uint8_t status, uint8_t data1, uint8_t data2) {
  Evaluate("SMMFD(" + std::to_string(status) + ", " + std::to_string(data1) + ", " +
           std::to_string(data2) + ")");
}
