#include "fake_webview2/FakeBrowser.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

#include "fake_webview2/FakeCalls.h"
#include "fake_webview2/FakeWebView2.h"
#include "fake_webview2/Unimplemented.h"

namespace fake_webview2 {
namespace {

// IUnknown for a fake object of `Base`, answering for the interfaces `Offered` (Base's own
// chain, so every one of them is the same pointer). A traced object records each Release with
// the references left, so a test can tell who let go of it, and when.
template <class Base, class... Offered>
class ComObject : public Base {
 public:
  explicit ComObject(const char* tracedName = nullptr) : tracedName_(tracedName) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    const bool offered = IsEqualIID(iid, IID_IUnknown) || (IsEqualIID(iid, Offered::kIid) || ...);
    if (!offered || !Answers(iid)) return E_NOINTERFACE;
    *object = static_cast<Base*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (tracedName_) Record(std::string(tracedName_) + ".Release " + std::to_string(left));
    if (left == 0) delete this;
    return left;
  }

 protected:
  virtual ~ComObject() = default;
  // An object may withhold an interface it is declared with.
  virtual bool Answers(REFIID) const { return true; }

 private:
  const char* tracedName_;
  std::atomic<ULONG> refs_{1};
};

// One reference to a COM object.
template <class T>
class Held {
 public:
  Held() = default;
  explicit Held(T* object) { Reset(object); }
  ~Held() { Reset(); }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;

  T* Get() const { return object_; }
  void Reset(T* object = nullptr) {
    if (object) object->AddRef();
    T* old = std::exchange(object_, object);
    if (old) old->Release();
  }

 private:
  T* object_ = nullptr;
};

HRESULT CopyOut(const std::wstring& text, LPWSTR* value) {
  if (!value) return E_POINTER;
  const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  *value = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
  if (!*value) return E_OUTOFMEMORY;
  std::wmemcpy(*value, text.c_str(), text.size() + 1);
  return S_OK;
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

// A completion handler the browser calls later, from the message loop, with `result`.
template <class Handler>
void AnswerLater(Handler* handler, const wchar_t* result) {
  if (!handler) return;
  handler->AddRef();
  Later([handler, result] {
    handler->Invoke(S_OK, result);
    handler->Release();
  });
}

class Settings final : public ComObject<wv2::unimplemented::Settings, wv2::ICoreWebView2Settings> {
 public:
  HRESULT STDMETHODCALLTYPE put_IsScriptEnabled(BOOL value) override {
    return Put("IsScriptEnabled", value);
  }
  HRESULT STDMETHODCALLTYPE put_IsWebMessageEnabled(BOOL value) override {
    return Put("IsWebMessageEnabled", value);
  }
  HRESULT STDMETHODCALLTYPE put_AreDefaultScriptDialogsEnabled(BOOL value) override {
    return Put("AreDefaultScriptDialogsEnabled", value);
  }
  HRESULT STDMETHODCALLTYPE put_AreDevToolsEnabled(BOOL value) override {
    return Put("AreDevToolsEnabled", value);
  }
  HRESULT STDMETHODCALLTYPE put_AreDefaultContextMenusEnabled(BOOL value) override {
    return Put("AreDefaultContextMenusEnabled", value);
  }

 private:
  static HRESULT Put(const char* setting, BOOL value) {
    Record(std::string("Settings.put_") + setting + " " + std::to_string(value));
    return S_OK;
  }
};

class WebMessageArgs final : public ComObject<wv2::unimplemented::WebMessageReceivedEventArgs,
                                              wv2::ICoreWebView2WebMessageReceivedEventArgs> {
 public:
  explicit WebMessageArgs(std::wstring json) : json_(std::move(json)) {}
  HRESULT STDMETHODCALLTYPE get_Source(LPWSTR* source) override {
    return CopyOut(L"https://zarn.editor/index.html", source);
  }
  HRESULT STDMETHODCALLTYPE get_WebMessageAsJson(LPWSTR* json) override {
    return CopyOut(json_, json);
  }

 private:
  std::wstring json_;
};

class NavigationArgs final : public ComObject<wv2::unimplemented::NavigationCompletedEventArgs,
                                              wv2::ICoreWebView2NavigationCompletedEventArgs> {
 public:
  explicit NavigationArgs(bool success) : success_(success) {}
  HRESULT STDMETHODCALLTYPE get_IsSuccess(BOOL* success) override {
    if (!success) return E_POINTER;
    *success = success_ ? TRUE : FALSE;
    return S_OK;
  }

 private:
  bool success_;
};

class NewWindowArgs final : public ComObject<wv2::unimplemented::NewWindowRequestedEventArgs,
                                             wv2::ICoreWebView2NewWindowRequestedEventArgs,
                                             wv2::ICoreWebView2NewWindowRequestedEventArgs2> {
 public:
  explicit NewWindowArgs(std::wstring uri) : uri_(std::move(uri)) {}
  HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) override { return CopyOut(uri_, uri); }
  HRESULT STDMETHODCALLTYPE put_Handled(BOOL handled) override {
    Record("NewWindowRequestedEventArgs.put_Handled " + std::to_string(handled));
    return S_OK;
  }

 private:
  std::wstring uri_;
};

class DownloadArgs final : public ComObject<wv2::unimplemented::DownloadStartingEventArgs,
                                            wv2::ICoreWebView2DownloadStartingEventArgs> {
 public:
  HRESULT STDMETHODCALLTYPE put_Cancel(BOOL cancel) override {
    Record("DownloadStartingEventArgs.put_Cancel " + std::to_string(cancel));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Handled(BOOL handled) override {
    Record("DownloadStartingEventArgs.put_Handled " + std::to_string(handled));
    return S_OK;
  }
};

class WebView;

// Newest last; a web view leaves the list when it is freed.
std::vector<WebView*>& LiveWebViews() {
  static std::vector<WebView*> views;
  return views;
}

class WebView final
    : public ComObject<wv2::unimplemented::WebView, wv2::ICoreWebView2, wv2::ICoreWebView2_2,
                       wv2::ICoreWebView2_3, wv2::ICoreWebView2_4> {
 public:
  WebView() : ComObject("WebView"), hasVersion4_((Failures() & kNoWebView2_4) == 0) {
    LiveWebViews().push_back(this);
  }

  // What Close does to a real web view's events: no handler is called again.
  void DropHandlers() {
    onWebMessage_.Reset();
    onNavigationCompleted_.Reset();
    onNewWindow_.Reset();
    onDownload_.Reset();
  }

  bool RaiseNavigationCompleted(bool success) {
    return Raise(onNavigationCompleted_, new NavigationArgs(success));
  }
  bool RaiseWebMessage(const wchar_t* json) {
    return Raise(onWebMessage_, new WebMessageArgs(json ? json : L""));
  }
  bool RaiseNewWindow(const wchar_t* uri) {
    return Raise(onNewWindow_, new NewWindowArgs(uri ? uri : L""));
  }
  bool RaiseDownload() { return Raise(onDownload_, new DownloadArgs()); }

  HRESULT STDMETHODCALLTYPE get_Settings(wv2::ICoreWebView2Settings** settings) override {
    if (!settings) return E_POINTER;
    *settings = new Settings();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Navigate(LPCWSTR uri) override {
    Record("WebView.Navigate " + Utf8(uri));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Reload() override {
    Record("WebView.Reload");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE AddScriptToExecuteOnDocumentCreated(
      LPCWSTR script,
      wv2::ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler* handler) override {
    Record("WebView.AddScriptToExecuteOnDocumentCreated " + Utf8(script));
    AnswerLater(handler, L"script");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE
  ExecuteScript(LPCWSTR script, wv2::ICoreWebView2ExecuteScriptCompletedHandler* handler) override {
    Record("WebView.ExecuteScript " + Utf8(script));
    AnswerLater(handler, L"null");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetVirtualHostNameToFolderMapping(
      LPCWSTR hostName, LPCWSTR folderPath, wv2::HostResourceAccessKind accessKind) override {
    Record("WebView.SetVirtualHostNameToFolderMapping " + Utf8(hostName) + " " +
           std::to_string(accessKind) + " " + Utf8(folderPath));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE add_WebMessageReceived(
      wv2::ICoreWebView2WebMessageReceivedEventHandler* handler, wv2::EventToken* token) override {
    return Register("WebMessageReceived", onWebMessage_, handler, token);
  }
  HRESULT STDMETHODCALLTYPE add_NavigationCompleted(
      wv2::ICoreWebView2NavigationCompletedEventHandler* handler, wv2::EventToken* token) override {
    return Register("NavigationCompleted", onNavigationCompleted_, handler, token);
  }
  HRESULT STDMETHODCALLTYPE add_NewWindowRequested(
      wv2::ICoreWebView2NewWindowRequestedEventHandler* handler, wv2::EventToken* token) override {
    return Register("NewWindowRequested", onNewWindow_, handler, token);
  }
  HRESULT STDMETHODCALLTYPE add_DownloadStarting(
      wv2::ICoreWebView2DownloadStartingEventHandler* handler, wv2::EventToken* token) override {
    return Register("DownloadStarting", onDownload_, handler, token);
  }

 protected:
  ~WebView() override {
    auto& views = LiveWebViews();
    views.erase(std::remove(views.begin(), views.end(), this), views.end());
  }
  bool Answers(REFIID iid) const override {
    return hasVersion4_ || !IsEqualIID(iid, wv2::ICoreWebView2_4::kIid);
  }

 private:
  template <class Handler>
  HRESULT Register(const char* event, Held<Handler>& slot, Handler* handler,
                   wv2::EventToken* token) {
    if (!handler || !token) return E_POINTER;
    Record(std::string("WebView.add_") + event);
    slot.Reset(handler);
    token->value = ++lastToken_;
    return S_OK;
  }

  // Takes over `args`. The handler may close the editor, and with it this web view: both stay
  // alive until it returns.
  template <class Handler, class Args>
  bool Raise(Held<Handler>& slot, Args* args) {
    const Held<Handler> handler(slot.Get());
    const Held<WebView> self(this);
    if (handler.Get()) handler.Get()->Invoke(this, args);
    args->Release();
    return handler.Get() != nullptr;
  }

  bool hasVersion4_;
  int64_t lastToken_ = 0;
  Held<wv2::ICoreWebView2WebMessageReceivedEventHandler> onWebMessage_;
  Held<wv2::ICoreWebView2NavigationCompletedEventHandler> onNavigationCompleted_;
  Held<wv2::ICoreWebView2NewWindowRequestedEventHandler> onNewWindow_;
  Held<wv2::ICoreWebView2DownloadStartingEventHandler> onDownload_;
};

class Controller final
    : public ComObject<wv2::unimplemented::Controller, wv2::ICoreWebView2Controller,
                       wv2::ICoreWebView2Controller2> {
 public:
  Controller() : ComObject("Controller"), webView_(new WebView()) {}

  HRESULT STDMETHODCALLTYPE put_IsVisible(BOOL visible) override {
    Record("Controller.put_IsVisible " + std::to_string(visible));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Bounds(RECT bounds) override {
    Record("Controller.put_Bounds " + Text(bounds));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetBoundsAndZoomFactor(RECT bounds, double zoom) override {
    Record("Controller.SetBoundsAndZoomFactor " + Text(bounds) + " " + Number(zoom));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_DefaultBackgroundColor(wv2::Color color) override {
    Record("Controller.put_DefaultBackgroundColor " + std::to_string(color.A) + " " +
           std::to_string(color.R) + " " + std::to_string(color.G) + " " + std::to_string(color.B));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_CoreWebView2(wv2::ICoreWebView2** webView) override {
    if (!webView) return E_POINTER;
    webView_->AddRef();
    *webView = webView_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Close() override {
    Record("Controller.Close");
    webView_->DropHandlers();
    return S_OK;
  }

 protected:
  ~Controller() override { webView_->Release(); }

 private:
  WebView* webView_;  // made with its one reference, ours
};

class Environment final
    : public ComObject<wv2::unimplemented::Environment, wv2::ICoreWebView2Environment> {
 public:
  Environment() : ComObject("Environment") { Record("Environment made"); }

  HRESULT STDMETHODCALLTYPE CreateCoreWebView2Controller(
      HWND parent,
      wv2::ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler) override {
    if (!handler) return E_POINTER;
    Record("Environment.CreateCoreWebView2Controller parent=" +
           std::to_string(reinterpret_cast<uintptr_t>(parent)));
    handler->AddRef();
    Later([handler] {
      Controller* controller = new Controller();
      handler->Invoke(S_OK, controller);
      controller->Release();
      handler->Release();
    });
    return S_OK;
  }
};

WebView* NewestWebView() { return LiveWebViews().empty() ? nullptr : LiveWebViews().back(); }

}  // namespace

unsigned& Failures() {
  static unsigned failures = 0;
  return failures;
}

wv2::ICoreWebView2Environment* MakeEnvironment() { return new Environment(); }

bool CompleteNavigation(bool success) {
  WebView* view = NewestWebView();
  return view && view->RaiseNavigationCompleted(success);
}

bool ReceiveWebMessage(const wchar_t* json) {
  WebView* view = NewestWebView();
  return view && view->RaiseWebMessage(json);
}

bool RequestNewWindow(const wchar_t* uri) {
  WebView* view = NewestWebView();
  return view && view->RaiseNewWindow(uri);
}

bool StartDownload() {
  WebView* view = NewestWebView();
  return view && view->RaiseDownload();
}

}  // namespace fake_webview2
