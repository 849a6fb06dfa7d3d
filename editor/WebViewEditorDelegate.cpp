#include "editor/WebViewEditorDelegate.h"

#include "editor/Base64.h"
#include "editor/NumberText.h"
#include "host/IParam.h"

namespace {
constexpr int kSpaceKey = 32;

WebViewEditorDelegate::WebViewFactory& Factory() {
  static WebViewEditorDelegate::WebViewFactory factory;
  return factory;
}

std::function<bool()>& Availability() {
  static std::function<bool()> available;
  return available;
}

WebViewEditorDelegate::KeyForwarder& Forwarder() {
  static WebViewEditorDelegate::KeyForwarder forwarder;
  return forwarder;
}
}  // namespace

void WebViewEditorDelegate::SetWebViewFactory(WebViewFactory factory) {
  Factory() = std::move(factory);
}

void WebViewEditorDelegate::SetKeyForwarder(KeyForwarder forwarder) {
  Forwarder() = std::move(forwarder);
}

void WebViewEditorDelegate::SetWebViewAvailability(std::function<bool()> available) {
  Availability() = std::move(available);
}

bool WebViewEditorDelegate::WebViewAvailable() {
  if (!Factory()) return false;
  return !Availability() || Availability()();
}

WebViewEditorDelegate::~WebViewEditorDelegate() = default;

void WebViewEditorDelegate::OpenWebView(void* parent) {
  parent_ = parent;
  if (Factory()) AttachWebView(Factory()(parent, *this));
}

void WebViewEditorDelegate::AttachWebView(std::unique_ptr<IWebView> webView) {
  webView_ = std::move(webView);
}

void WebViewEditorDelegate::CloseWebView() {
  webView_.reset();
  parent_ = nullptr;
}

void WebViewEditorDelegate::SetWebViewBounds(float x, float y, float w, float h) {
  if (webView_)
    webView_->SetBounds(static_cast<int>(x), static_cast<int>(y), static_cast<int>(w),
                        static_cast<int>(h));
}

void WebViewEditorDelegate::OnContentScaleChanged(float scale) {
  contentScale_ = scale;
  if (webView_) webView_->SetContentScale(scale);
}

bool WebViewEditorDelegate::OnEditorKeyDown(const KeyPress& key) {
  return key.vk == kSpaceKey && parent_ && Forwarder() && Forwarder()(parent_, kSpaceKey);
}

bool WebViewEditorDelegate::OnEditorKeyUp(const KeyPress&) { return static_cast<bool>(Forwarder()); }

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
