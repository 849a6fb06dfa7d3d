#include "host/IFxVST3View.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "host/HostIdentity.h"
#include "host/IFxVST3.h"
#include "host/VstKeyTranslation.h"

using namespace Steinberg;

namespace {

// The window type the web view can open in on this platform.
bool IsSupportedType(FIDString type) {
#if defined(_WIN32)
  return type && std::strcmp(type, kPlatformTypeHWND) == 0;
#else
  return type && std::strcmp(type, kPlatformTypeX11EmbedWindowID) == 0 &&
         WebViewEditorDelegate::WebViewAvailable();
#endif
}

}  // namespace

IFxVST3View::IFxVST3View(IFxVST3& owner) : owner_(owner) { owner_.addRef(); }

IFxVST3View::~IFxVST3View() {
  StopWatchingHostRunLoop();
  owner_.ForgetView(this);
  owner_.release();
}

tresult PLUGIN_API IFxVST3View::queryInterface(const TUID iid, void** obj) {
  if (!obj) return kInvalidArgument;
  *obj = nullptr;
  if (vst3kit::AnswerQuery<FUnknown, IPlugView>(this, iid, obj) ||
      vst3kit::AnswerQuery<IPlugView>(this, iid, obj) ||
      vst3kit::AnswerQuery<IPlugViewContentScaleSupport>(this, iid, obj))
    return kResultOk;
  return kNoInterface;
}

uint32 PLUGIN_API IFxVST3View::addRef() { return refs_.Add(); }

uint32 PLUGIN_API IFxVST3View::release() {
  const uint32 left = refs_.Remove();
  if (left == 0) delete this;
  return left;
}

tresult PLUGIN_API IFxVST3View::isPlatformTypeSupported(FIDString type) {
  return owner_.GetEditorSize().hasEditor && IsSupportedType(type) ? kResultTrue : kResultFalse;
}

tresult PLUGIN_API IFxVST3View::attached(void* parent, FIDString type) {
  if (!owner_.GetEditorSize().hasEditor) return kResultFalse;
  if (IsSupportedType(type)) {
    owner_.OpenWebView(parent);
    attached_ = true;
    WatchHostRunLoop();
  }
  return kResultOk;
}

tresult PLUGIN_API IFxVST3View::removed() {
  StopWatchingHostRunLoop();
  attached_ = false;
  if (owner_.GetEditorSize().hasEditor) owner_.CloseWebView();
  return kResultOk;
}

// The host's run loop (offered through its frame) wakes the web view and, unless the factory's
// context already drives it, ticks the editor timer.
void IFxVST3View::WatchHostRunLoop() {
  if (!attached_ || !frame_) return;
  if (IWebView* webView = owner_.WebView())
    webViewEvents_.Start(frame_.get(), webView->EventFds(), [this] {
      if (IWebView* view = owner_.WebView()) view->Poll();
    });
  if (!owner_.EditorTimerRunning()) {
    owner_.StartEditorTimer(frame_.get());
    timerFromFrame_ = owner_.EditorTimerRunning();
  }
}

void IFxVST3View::StopWatchingHostRunLoop() {
  webViewEvents_.Stop();
  if (timerFromFrame_) owner_.StopEditorTimer();
  timerFromFrame_ = false;
}

tresult PLUGIN_API IFxVST3View::onWheel(float) { return kResultFalse; }
tresult PLUGIN_API IFxVST3View::onFocus(TBool) { return kResultFalse; }

tresult PLUGIN_API IFxVST3View::onKeyDown(char16 key, int16 keyCode, int16 modifiers) {
  return OnKey(true, key, keyCode, modifiers);
}

tresult PLUGIN_API IFxVST3View::onKeyUp(char16 key, int16 keyCode, int16 modifiers) {
  return OnKey(false, key, keyCode, modifiers);
}

tresult IFxVST3View::OnKey(bool down, char16 key, int16 keyCode, int16 modifiers) {
  KeyPress press;
  if (!TranslateVstKey(key, keyCode, modifiers, owner_.GetHostId() == kHostReaper, press))
    return kResultFalse;
  const bool handled = down ? owner_.OnEditorKeyDown(press) : owner_.OnEditorKeyUp(press);
  return handled ? kResultOk : kResultFalse;
}

ViewRect IFxVST3View::Scaled(int width, int height) const {
  const auto scale = [this](int n) { return static_cast<int32>(std::trunc(n * scale_ + 0.5)); };
  return ViewRect{0, 0, scale(width), scale(height)};
}

tresult PLUGIN_API IFxVST3View::getSize(ViewRect* size) {
  if (!size) return kInvalidArgument;
  const IFxAPIBase::EditorSize& editor = owner_.GetEditorSize();
  if (!editor.hasEditor) return kResultFalse;
  *size = Scaled(editor.width, editor.height);
  return kResultOk;
}

// The host resized its window: the editor follows, but its own size stays what the page asked.
tresult PLUGIN_API IFxVST3View::onSize(ViewRect* newSize) {
  if (!newSize || !owner_.GetEditorSize().hostResize) return kResultFalse;
  rect_ = *newSize;
  owner_.SetWebViewBounds(0.0f, 0.0f, static_cast<float>(rect_.getWidth()),
                          static_cast<float>(rect_.getHeight()));
  return kResultOk;
}

tresult PLUGIN_API IFxVST3View::canResize() {
  const IFxAPIBase::EditorSize& editor = owner_.GetEditorSize();
  return editor.hasEditor && editor.hostResize ? kResultTrue : kResultFalse;
}

tresult PLUGIN_API IFxVST3View::checkSizeConstraint(ViewRect* rect) {
  if (!rect) return kInvalidArgument;
  const IFxAPIBase::EditorSize& e = owner_.GetEditorSize();
  const int32 w = rect->getWidth(), h = rect->getHeight();
  if (w >= e.minWidth && w <= e.maxWidth && h >= e.minHeight && h <= e.maxHeight) return kResultOk;
  rect->right = rect->left + std::min(e.maxWidth, std::max(e.minWidth, w));
  rect->bottom = rect->top + std::min(e.maxHeight, std::max(e.minHeight, h));
  return kResultOk;
}

tresult PLUGIN_API IFxVST3View::setFrame(IPlugFrame* frame) {
  // A Linux host may offer its run loop through the frame only; what was registered on the old
  // frame's loop moves to the new one.
  StopWatchingHostRunLoop();
  frame_ = vst3kit::Ptr<IPlugFrame>(frame);
  WatchHostRunLoop();
  return kResultOk;
}

tresult PLUGIN_API IFxVST3View::setContentScaleFactor(ScaleFactor factor) {
  if (!std::isfinite(factor) || factor <= 0.0f) return kResultFalse;
  scale_ = factor;
  owner_.OnContentScaleChanged(factor);
  if (frame_) {
    const IFxAPIBase::EditorSize& editor = owner_.GetEditorSize();
    ViewRect rect = Scaled(editor.width, editor.height);
    frame_->resizeView(this, &rect);
  }
  return kResultOk;
}

void IFxVST3View::RequestHostResize(int width, int height) {
  if (!frame_) return;
  ViewRect rect = Scaled(width, height);
  frame_->resizeView(this, &rect);
}
