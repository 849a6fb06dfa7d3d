#include "editor/windows/WebView2WebView.h"

#include <shellapi.h>
#include <shlobj.h>
#include <wininet.h>

#include "editor/PageBridgeScripts.h"
#include "editor/PageInput.h"
#include "editor/WebViewEditorDelegate.h"
#include "editor/WebViewPaths.h"
#include "editor/windows/ComCallback.h"
#include "editor/windows/EnvironmentOptions.h"
#include "editor/windows/WebView2Loader.h"
#include "editor/windows/WideText.h"

using web_view_bounds::PixelRect;

// What a callback holds instead of the view: cleared when the view goes.
struct WebView2WebView::Link {
  WebView2WebView* view;
};

namespace {

// The editor ships without developer tools and context menus.
constexpr BOOL kDevTools = FALSE;
// Until the page paints, the host's window shows through rather than a white flash.
constexpr bool kTransparentBackground = true;

// Made by the first editor of the process and never released: releasing it while the module
// unloads would call into the browser's DLLs under the loader lock.
wv2::ICoreWebView2Environment* gSharedEnvironment = nullptr;

void ShareEnvironment(wv2::ICoreWebView2Environment* environment) {
  environment->AddRef();
  if (gSharedEnvironment) gSharedEnvironment->Release();
  gSharedEnvironment = environment;
}

// The user-data folder; empty (WebView2's default) if the application-data folder is unknown.
std::wstring UserDataFolder() {
  wchar_t appData[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData)))
    return {};
  return Wide(web_view_paths::CachePath(Narrow(appData)));
}

// GetDpiForWindow, looked up once: older systems lack it, and then nothing is scaled.
UINT WindowDpi(HWND window) {
  using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
  static const auto getDpi = reinterpret_cast<GetDpiForWindowFunction>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  return getDpi ? getDpi(window) : web_view_bounds::kDefaultDpi;
}

RECT ToRect(const PixelRect& r) { return RECT{r.left, r.top, r.right, r.bottom}; }

bool IsOnline() {
  DWORD flags = 0;
  return InternetGetConnectedState(&flags, 0) != FALSE;
}

}  // namespace

WebView2WebView::WebView2WebView(HWND parent, WebViewEditorDelegate& delegate, std::string pagePath)
    : parent_(parent),
      delegate_(delegate),
      pagePath_(std::move(pagePath)),
      link_(std::make_shared<Link>(Link{this})),
      ignoreScriptResult_(MakeCallback<wv2::ICoreWebView2ExecuteScriptCompletedHandler>(
          [](HRESULT, LPCWSTR) { return S_OK; })) {
  RequestEnvironment();
}

WebView2WebView::~WebView2WebView() {
  link_->view = nullptr;
  if (controller_) controller_->Close();
  controller_.Reset();
  webView_.Reset();
  environment_.Reset();
}

void WebView2WebView::RequestEnvironment() {
  if (gSharedEnvironment) {
    RequestController(gSharedEnvironment);
    return;
  }
  const wv2::CreateEnvironmentWithOptionsFunction create = EnvironmentCreator();
  if (!create) return;
  const auto arrived = [link = link_](HRESULT, wv2::ICoreWebView2Environment* environment) {
    if (!environment) return S_OK;  // no browser: the editor stays empty
    ShareEnvironment(environment);
    if (link->view) link->view->RequestController(environment);
    return S_OK;
  };
  using Handler = wv2::ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler;
  const std::wstring folder = UserDataFolder();
  const wchar_t* userData = folder.empty() ? nullptr : folder.c_str();
  const auto options = MakeEnvironmentOptions();
  if (FAILED(create(nullptr, userData, options.Get(), MakeCallback<Handler>(arrived).Get())))
    create(nullptr, userData, nullptr, MakeCallback<Handler>(arrived).Get());
}

void WebView2WebView::RequestController(wv2::ICoreWebView2Environment* environment) {
  environment_ = ComRef<wv2::ICoreWebView2Environment>::Share(environment);
  const auto arrived = [link = link_](HRESULT, wv2::ICoreWebView2Controller* controller) {
    if (link->view)
      link->view->OnControllerCreated(controller);
    else if (controller)
      controller->Close();  // the editor closed meanwhile
    return S_OK;
  };
  environment->CreateCoreWebView2Controller(
      parent_,
      MakeCallback<wv2::ICoreWebView2CreateCoreWebView2ControllerCompletedHandler>(arrived).Get());
}

void WebView2WebView::OnControllerCreated(wv2::ICoreWebView2Controller* controller) {
  if (controller) controller_ = ComRef<wv2::ICoreWebView2Controller>::Share(controller);
  webView_.Reset();
  if (controller_) controller_->get_CoreWebView2(webView_.Receive());
  if (!webView_) return;
  controller_->put_IsVisible(TRUE);
  ConfigureSettings();
  AddBridgeScripts();
  AddHandlers();
  if (kTransparentBackground) MakeBackgroundTransparent();
  bounds_ = web_view_bounds::Fitted(bounds_, ParentClientArea());
  controller_->put_Bounds(ToRect(bounds_));
  LoadFile(pagePath_);
}

void WebView2WebView::ConfigureSettings() {
  ComRef<wv2::ICoreWebView2Settings> settings;
  if (FAILED(webView_->get_Settings(settings.Receive())) || !settings) return;
  settings->put_IsScriptEnabled(TRUE);
  settings->put_AreDefaultScriptDialogsEnabled(TRUE);
  settings->put_IsWebMessageEnabled(TRUE);
  settings->put_AreDefaultContextMenusEnabled(kDevTools);
  settings->put_AreDevToolsEnabled(kDevTools);
}

void WebView2WebView::AddBridgeScripts() {
  const auto ignore =
      MakeCallback<wv2::ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler>(
          [](HRESULT, LPCWSTR) { return S_OK; });
  for (const std::string& script : page_bridge::Scripts())
    webView_->AddScriptToExecuteOnDocumentCreated(Wide(script).c_str(), ignore.Get());
}

void WebView2WebView::AddHandlers() {
  wv2::EventToken token{};
  webView_->add_WebMessageReceived(
      MakeCallback<wv2::ICoreWebView2WebMessageReceivedEventHandler>(
          [link = link_](wv2::ICoreWebView2*, wv2::ICoreWebView2WebMessageReceivedEventArgs* args) {
            if (link->view && args) link->view->OnWebMessage(args);
            return S_OK;
          })
          .Get(),
      &token);
  webView_->add_NavigationCompleted(
      MakeCallback<wv2::ICoreWebView2NavigationCompletedEventHandler>(
          [link = link_](wv2::ICoreWebView2*, wv2::ICoreWebView2NavigationCompletedEventArgs* args) {
            if (link->view && args) link->view->OnNavigationCompleted(args);
            return S_OK;
          })
          .Get(),
      &token);
  webView_->add_NewWindowRequested(
      MakeCallback<wv2::ICoreWebView2NewWindowRequestedEventHandler>(
          [link = link_](wv2::ICoreWebView2*, wv2::ICoreWebView2NewWindowRequestedEventArgs* args) {
            if (link->view && args) link->view->OnNewWindow(args);
            return S_OK;
          })
          .Get(),
      &token);
  // Every download is refused, without the browser's download dialog.
  if (const auto webView4 = webView_.As<wv2::ICoreWebView2_4>())
    webView4->add_DownloadStarting(
        MakeCallback<wv2::ICoreWebView2DownloadStartingEventHandler>(
            [](wv2::ICoreWebView2*, wv2::ICoreWebView2DownloadStartingEventArgs* args) {
              if (args) {
                args->put_Handled(TRUE);
                args->put_Cancel(TRUE);
              }
              return S_OK;
            })
            .Get(),
        &token);
}

void WebView2WebView::MakeBackgroundTransparent() {
  if (const auto controller2 = controller_.As<wv2::ICoreWebView2Controller2>())
    controller2->put_DefaultBackgroundColor(wv2::Color{0, 0, 0, 0});
}

// The page's folder becomes the virtual host, so the page loads its files by relative address
// and nothing outside that folder; other origins may embed but not fetch them.
void WebView2WebView::LoadFile(const std::string& fileName) {
  if (!webView_) return;
  const web_view_paths::PageRequest request = web_view_paths::RequestFor(fileName);
  if (const auto webView3 = webView_.As<wv2::ICoreWebView2_3>())
    webView3->SetVirtualHostNameToFolderMapping(Wide(web_view_paths::kVirtualHost).c_str(),
                                                Wide(request.folder).c_str(),
                                                wv2::kHostResourceAccessDenyCors);
  webView_->Navigate(Wide(request.url).c_str());
}

// The delegate may close the editor from inside these; nothing of this object is touched after.
void WebView2WebView::OnWebMessage(wv2::ICoreWebView2WebMessageReceivedEventArgs* args) {
  LPWSTR json = nullptr;
  if (FAILED(args->get_WebMessageAsJson(&json))) return;
  const std::string text = TakeComText(json);
  delegate_.OnPageMessage(text);
}

void WebView2WebView::OnNavigationCompleted(wv2::ICoreWebView2NavigationCompletedEventArgs* args) {
  BOOL success = FALSE;
  if (SUCCEEDED(args->get_IsSuccess(&success)) && success) delegate_.OnPageLoaded();
}

// A link that opens a new window goes to the system's browser when the machine is online; else
// (or for anything but a plain web address) WebView2 does what it does by default.
void WebView2WebView::OnNewWindow(wv2::ICoreWebView2NewWindowRequestedEventArgs* args) {
  const auto request = ComRef<wv2::ICoreWebView2NewWindowRequestedEventArgs>::Share(args)
                           .As<wv2::ICoreWebView2NewWindowRequestedEventArgs2>();
  if (!request || !IsOnline()) return;
  LPWSTR uri = nullptr;
  if (FAILED(request->get_Uri(&uri))) return;
  const std::string url = TakeComText(uri);
  if (!page_input::IsOpenableLink(url)) return;
  const HINSTANCE result =
      ShellExecuteW(parent_, L"open", Wide(url).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  if (reinterpret_cast<INT_PTR>(result) > 32) request->put_Handled(TRUE);
}

void WebView2WebView::EvaluateScript(const std::string& utf8Script) {
  if (webView_) webView_->ExecuteScript(Wide(utf8Script).c_str(), ignoreScriptResult_.Get());
}

void WebView2WebView::SetBounds(int x, int y, int width, int height) {
  const PixelRect scaled =
      web_view_bounds::Scaled(static_cast<float>(x), static_cast<float>(y),
                              static_cast<float>(width), static_cast<float>(height), WindowDpi(parent_));
  ApplyBounds(web_view_bounds::Fitted(scaled, ParentClientArea()));
}

void WebView2WebView::Reload() {
  if (webView_) webView_->Reload();
}

PixelRect WebView2WebView::ParentClientArea() const {
  RECT client{};
  if (!GetClientRect(parent_, &client)) return {};
  return PixelRect{client.left, client.top, client.right, client.bottom};
}

void WebView2WebView::ApplyBounds(const PixelRect& bounds) {
  bounds_ = bounds;
  if (controller_) controller_->SetBoundsAndZoomFactor(ToRect(bounds_), 1.0);
}
