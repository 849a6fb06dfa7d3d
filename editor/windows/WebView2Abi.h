#pragma once

// Our own declarations of the Microsoft Edge WebView2 COM interfaces the editor uses, so that the
// module builds without the WebView2 SDK. IIDs and method order follow Microsoft's published
// WebView2.idl: every slot up to the last one we call is declared, in order. Methods we never
// call keep their slot with placeholder parameter types (void* for interfaces we do not use).
// Only the 64-bit Windows binary interface is meant.

#include <windows.h>

#include <objbase.h>

#include <cstdint>

namespace wv2 {

// EventRegistrationToken (EventToken.idl).
struct EventToken {
  int64_t value;
};

// COREWEBVIEW2_COLOR.
struct Color {
  BYTE A, R, G, B;
};

// COREWEBVIEW2_HOST_RESOURCE_ACCESS_KIND (a 32-bit enum).
enum HostResourceAccessKind : int32_t {
  kHostResourceAccessDeny = 0,
  kHostResourceAccessAllow = 1,
  kHostResourceAccessDenyCors = 2,
};

struct ICoreWebView2;
struct ICoreWebView2Controller;
struct ICoreWebView2Environment;
struct ICoreWebView2Settings;
struct ICoreWebView2WebMessageReceivedEventArgs;
struct ICoreWebView2NavigationStartingEventArgs;
struct ICoreWebView2NavigationCompletedEventArgs;
struct ICoreWebView2NewWindowRequestedEventArgs;
struct ICoreWebView2DownloadStartingEventArgs;
struct ICoreWebView2DownloadOperation;

// Every handler interface: IUnknown and one Invoke.
template <class... Args>
struct CallbackInterface : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Invoke(Args... args) = 0;
};

struct ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler
    : CallbackInterface<HRESULT, ICoreWebView2Environment*> {
  static constexpr GUID kIid{0x4e8a3389, 0xc9d8, 0x4bd2, {0xb6, 0xb5, 0x12, 0x4f, 0xee, 0x6c, 0xc1, 0x4d}};
};

struct ICoreWebView2CreateCoreWebView2ControllerCompletedHandler
    : CallbackInterface<HRESULT, ICoreWebView2Controller*> {
  static constexpr GUID kIid{0x6c4819f3, 0xc9b7, 0x4260, {0x81, 0x27, 0xc9, 0xf5, 0xbd, 0xe7, 0xf6, 0x8c}};
};

struct ICoreWebView2WebMessageReceivedEventHandler
    : CallbackInterface<ICoreWebView2*, ICoreWebView2WebMessageReceivedEventArgs*> {
  static constexpr GUID kIid{0x57213f19, 0x00e6, 0x49fa, {0x8e, 0x07, 0x89, 0x8e, 0xa0, 0x1e, 0xcb, 0xd2}};
};

struct ICoreWebView2NavigationStartingEventHandler
    : CallbackInterface<ICoreWebView2*, ICoreWebView2NavigationStartingEventArgs*> {
  static constexpr GUID kIid{0x9adbe429, 0xf36d, 0x432b, {0x9d, 0xdc, 0xf8, 0x88, 0x1f, 0xbd, 0x76, 0xe3}};
};

struct ICoreWebView2NavigationCompletedEventHandler
    : CallbackInterface<ICoreWebView2*, ICoreWebView2NavigationCompletedEventArgs*> {
  static constexpr GUID kIid{0xd33a35bf, 0x1c49, 0x4f98, {0x93, 0xab, 0x00, 0x6e, 0x05, 0x33, 0xfe, 0x1c}};
};

struct ICoreWebView2NewWindowRequestedEventHandler
    : CallbackInterface<ICoreWebView2*, ICoreWebView2NewWindowRequestedEventArgs*> {
  static constexpr GUID kIid{0xd4c185fe, 0xc81c, 0x4989, {0x97, 0xaf, 0x2d, 0x3f, 0xa7, 0xab, 0x56, 0x51}};
};

struct ICoreWebView2DownloadStartingEventHandler
    : CallbackInterface<ICoreWebView2*, ICoreWebView2DownloadStartingEventArgs*> {
  static constexpr GUID kIid{0xefedc989, 0xc396, 0x41ca, {0x83, 0xf7, 0x07, 0xf8, 0x45, 0xa5, 0x57, 0x24}};
};

struct ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler
    : CallbackInterface<HRESULT, LPCWSTR> {
  static constexpr GUID kIid{0xb99369f3, 0x9b11, 0x47b5, {0xbc, 0x6f, 0x8e, 0x78, 0x95, 0xfc, 0xea, 0x17}};
};

struct ICoreWebView2ExecuteScriptCompletedHandler : CallbackInterface<HRESULT, LPCWSTR> {
  static constexpr GUID kIid{0x49511172, 0xcc67, 0x4bca, {0x99, 0x23, 0x13, 0x71, 0x12, 0xf4, 0xc4, 0xcc}};
};

// Implemented by the caller of CreateCoreWebView2EnvironmentWithOptions.
struct ICoreWebView2EnvironmentOptions : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_AdditionalBrowserArguments(LPWSTR* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_AdditionalBrowserArguments(LPCWSTR value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Language(LPWSTR* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Language(LPCWSTR value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_TargetCompatibleBrowserVersion(LPWSTR* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_TargetCompatibleBrowserVersion(LPCWSTR value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_AllowSingleSignOnUsingOSPrimaryAccount(BOOL* allow) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_AllowSingleSignOnUsingOSPrimaryAccount(BOOL allow) = 0;
  static constexpr GUID kIid{0x2fde08a8, 0x1e9a, 0x4766, {0x8c, 0x05, 0x95, 0xa9, 0xce, 0xb9, 0xd1, 0xc5}};
};

struct ICoreWebView2EnvironmentOptions2 : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_ExclusiveUserDataFolderAccess(BOOL* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_ExclusiveUserDataFolderAccess(BOOL value) = 0;
  static constexpr GUID kIid{0xff85c98a, 0x1ba7, 0x4a6b, {0x90, 0xc8, 0x2b, 0x75, 0x2c, 0x89, 0xe9, 0xe2}};
};

struct ICoreWebView2EnvironmentOptions3 : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_IsCustomCrashReportingEnabled(BOOL* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_IsCustomCrashReportingEnabled(BOOL value) = 0;
  static constexpr GUID kIid{0x4a5c436e, 0xa9e3, 0x4a2e, {0x89, 0xc3, 0x91, 0x0d, 0x35, 0x13, 0xf5, 0xcc}};
};

struct ICoreWebView2Environment : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CreateCoreWebView2Controller(
      HWND parentWindow, ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateWebResourceResponse(IStream* content, int statusCode,
                                                              LPCWSTR reasonPhrase, LPCWSTR headers,
                                                              void** response) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_BrowserVersionString(LPWSTR* versionInfo) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_NewBrowserVersionAvailable(void* handler, EventToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_NewBrowserVersionAvailable(EventToken token) = 0;
  static constexpr GUID kIid{0xb96d755e, 0x0319, 0x4e92, {0xa2, 0x96, 0x23, 0x43, 0x6f, 0x46, 0xa1, 0xfc}};
};

struct ICoreWebView2Controller : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_IsVisible(BOOL* isVisible) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_IsVisible(BOOL isVisible) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Bounds(RECT* bounds) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Bounds(RECT bounds) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ZoomFactor(double* zoomFactor) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_ZoomFactor(double zoomFactor) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_ZoomFactorChanged(void* handler, EventToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_ZoomFactorChanged(EventToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetBoundsAndZoomFactor(RECT bounds, double zoomFactor) = 0;
  virtual HRESULT STDMETHODCALLTYPE MoveFocus(int32_t reason) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_MoveFocusRequested(void* handler, EventToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_MoveFocusRequested(EventToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_GotFocus(void* handler, EventToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_GotFocus(EventToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_LostFocus(void* handler, EventToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_LostFocus(EventToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_AcceleratorKeyPressed(void* handler, EventToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_AcceleratorKeyPressed(EventToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ParentWindow(HWND* parentWindow) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_ParentWindow(HWND parentWindow) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotifyParentWindowPositionChanged() = 0;
  virtual HRESULT STDMETHODCALLTYPE Close() = 0;
  virtual HRESULT STDMETHODCALLTYPE get_CoreWebView2(ICoreWebView2** coreWebView2) = 0;
  static constexpr GUID kIid{0x4d00c0d1, 0x9434, 0x4eb6, {0x80, 0x78, 0x86, 0x97, 0xa5, 0x60, 0x33, 0x4f}};
};

struct ICoreWebView2Controller2 : ICoreWebView2Controller {
  virtual HRESULT STDMETHODCALLTYPE get_DefaultBackgroundColor(Color* backgroundColor) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_DefaultBackgroundColor(Color backgroundColor) = 0;
  static constexpr GUID kIid{0xc979903e, 0xd4ca, 0x4228, {0x92, 0xeb, 0x47, 0xee, 0x3f, 0xa9, 0x6e, 0xab}};
};

struct ICoreWebView2Settings : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_IsScriptEnabled(BOOL* enabled) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_IsScriptEnabled(BOOL enabled) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsWebMessageEnabled(BOOL* enabled) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_IsWebMessageEnabled(BOOL enabled) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_AreDefaultScriptDialogsEnabled(BOOL* enabled) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_AreDefaultScriptDialogsEnabled(BOOL enabled) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsStatusBarEnabled(BOOL* enabled) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_IsStatusBarEnabled(BOOL enabled) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_AreDevToolsEnabled(BOOL* enabled) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_AreDevToolsEnabled(BOOL enabled) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_AreDefaultContextMenusEnabled(BOOL* enabled) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_AreDefaultContextMenusEnabled(BOOL enabled) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_AreHostObjectsAllowed(BOOL* allowed) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_AreHostObjectsAllowed(BOOL allowed) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsZoomControlEnabled(BOOL* enabled) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_IsZoomControlEnabled(BOOL enabled) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsBuiltInErrorPageEnabled(BOOL* enabled) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_IsBuiltInErrorPageEnabled(BOOL enabled) = 0;
  static constexpr GUID kIid{0xe562e4f0, 0xd7fa, 0x43ac, {0x8d, 0x71, 0xc0, 0x51, 0x50, 0x49, 0x9f, 0x00}};
};

struct ICoreWebView2 : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_Settings(ICoreWebView2Settings** settings) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Source(LPWSTR* uri) = 0;
  virtual HRESULT STDMETHODCALLTYPE Navigate(LPCWSTR uri) = 0;
  virtual HRESULT STDMETHODCALLTYPE NavigateToString(LPCWSTR htmlContent) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_NavigationStarting(
      ICoreWebView2NavigationStartingEventHandler* handler, EventToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_NavigationStarting(EventToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_ContentLoading(void* handler, EventToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_ContentLoading(EventToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_SourceChanged(void* handler, EventToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_SourceChanged(EventToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_HistoryChanged(void* handler, EventToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_HistoryChanged(EventToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_NavigationCompleted(
      ICoreWebView2NavigationCompletedEventHandler* handler, EventToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_NavigationCompleted(EventToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_FrameNavigationStarting(void* handler, EventToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_FrameNavigationStarting(EventToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_FrameNavigationCompleted(void* handler, EventToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_FrameNavigationCompleted(EventToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_ScriptDialogOpening(void* handler, EventToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_ScriptDialogOpening(EventToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_PermissionRequested(void* handler, EventToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_PermissionRequested(EventToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_ProcessFailed(void* handler, EventToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_ProcessFailed(EventToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE AddScriptToExecuteOnDocumentCreated(
      LPCWSTR javaScript, ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler* handler) = 0;
  virtual HRESULT STDMETHODCALLTYPE RemoveScriptToExecuteOnDocumentCreated(LPCWSTR id) = 0;
  virtual HRESULT STDMETHODCALLTYPE ExecuteScript(
      LPCWSTR javaScript, ICoreWebView2ExecuteScriptCompletedHandler* handler) = 0;
  virtual HRESULT STDMETHODCALLTYPE CapturePreview(int32_t imageFormat, IStream* imageStream,
                                                   void* handler) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reload() = 0;
  virtual HRESULT STDMETHODCALLTYPE PostWebMessageAsJson(LPCWSTR webMessageAsJson) = 0;
  virtual HRESULT STDMETHODCALLTYPE PostWebMessageAsString(LPCWSTR webMessageAsString) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_WebMessageReceived(
      ICoreWebView2WebMessageReceivedEventHandler* handler, EventToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_WebMessageReceived(EventToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE CallDevToolsProtocolMethod(LPCWSTR methodName,
                                                               LPCWSTR parametersAsJson,
                                                               void* handler) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_BrowserProcessId(UINT32* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_CanGoBack(BOOL* canGoBack) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_CanGoForward(BOOL* canGoForward) = 0;
  virtual HRESULT STDMETHODCALLTYPE GoBack() = 0;
  virtual HRESULT STDMETHODCALLTYPE GoForward() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDevToolsProtocolEventReceiver(LPCWSTR eventName,
                                                                     void** receiver) = 0;
  virtual HRESULT STDMETHODCALLTYPE Stop() = 0;
  virtual HRESULT STDMETHODCALLTYPE add_NewWindowRequested(
      ICoreWebView2NewWindowRequestedEventHandler* handler, EventToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_NewWindowRequested(EventToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_DocumentTitleChanged(void* handler, EventToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_DocumentTitleChanged(EventToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_DocumentTitle(LPWSTR* title) = 0;
  virtual HRESULT STDMETHODCALLTYPE AddHostObjectToScript(LPCWSTR name, VARIANT* object) = 0;
  virtual HRESULT STDMETHODCALLTYPE RemoveHostObjectFromScript(LPCWSTR name) = 0;
  virtual HRESULT STDMETHODCALLTYPE OpenDevToolsWindow() = 0;
  virtual HRESULT STDMETHODCALLTYPE add_ContainsFullScreenElementChanged(void* handler,
                                                                         EventToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_ContainsFullScreenElementChanged(EventToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ContainsFullScreenElement(BOOL* contains) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_WebResourceRequested(void* handler, EventToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_WebResourceRequested(EventToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE AddWebResourceRequestedFilter(LPCWSTR uri,
                                                                  int32_t resourceContext) = 0;
  virtual HRESULT STDMETHODCALLTYPE RemoveWebResourceRequestedFilter(LPCWSTR uri,
                                                                     int32_t resourceContext) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_WindowCloseRequested(void* handler, EventToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_WindowCloseRequested(EventToken token) = 0;
  static constexpr GUID kIid{0x76eceacb, 0x0462, 0x4d94, {0xac, 0x83, 0x42, 0x3a, 0x67, 0x93, 0x77, 0x5e}};
};

struct ICoreWebView2_2 : ICoreWebView2 {
  virtual HRESULT STDMETHODCALLTYPE add_WebResourceResponseReceived(void* handler, EventToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_WebResourceResponseReceived(EventToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE NavigateWithWebResourceRequest(void* request) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_DOMContentLoaded(void* handler, EventToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_DOMContentLoaded(EventToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_CookieManager(void** cookieManager) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Environment(ICoreWebView2Environment** environment) = 0;
  static constexpr GUID kIid{0x9e8f0cf8, 0xe670, 0x4b5e, {0xb2, 0xbc, 0x73, 0xe0, 0x61, 0xe3, 0x18, 0x4c}};
};

struct ICoreWebView2_3 : ICoreWebView2_2 {
  virtual HRESULT STDMETHODCALLTYPE TrySuspend(void* handler) = 0;
  virtual HRESULT STDMETHODCALLTYPE Resume() = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsSuspended(BOOL* isSuspended) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetVirtualHostNameToFolderMapping(
      LPCWSTR hostName, LPCWSTR folderPath, HostResourceAccessKind accessKind) = 0;
  virtual HRESULT STDMETHODCALLTYPE ClearVirtualHostNameToFolderMapping(LPCWSTR hostName) = 0;
  static constexpr GUID kIid{0xa0d6df20, 0x3b92, 0x416d, {0xaa, 0x0c, 0x43, 0x7a, 0x9c, 0x72, 0x78, 0x57}};
};

struct ICoreWebView2_4 : ICoreWebView2_3 {
  virtual HRESULT STDMETHODCALLTYPE add_FrameCreated(void* handler, EventToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_FrameCreated(EventToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_DownloadStarting(
      ICoreWebView2DownloadStartingEventHandler* handler, EventToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_DownloadStarting(EventToken token) = 0;
  static constexpr GUID kIid{0x20d02d59, 0x6df2, 0x42dc, {0xbd, 0x06, 0xf9, 0x8a, 0x69, 0x4b, 0x13, 0x02}};
};

struct ICoreWebView2WebMessageReceivedEventArgs : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_Source(LPWSTR* source) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_WebMessageAsJson(LPWSTR* webMessageAsJson) = 0;
  virtual HRESULT STDMETHODCALLTYPE TryGetWebMessageAsString(LPWSTR* webMessageAsString) = 0;
  static constexpr GUID kIid{0x0f99a40c, 0xe962, 0x4207, {0x9e, 0x92, 0xe3, 0xd5, 0x42, 0xef, 0xf8, 0x49}};
};

struct ICoreWebView2NavigationStartingEventArgs : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsUserInitiated(BOOL* isUserInitiated) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsRedirected(BOOL* isRedirected) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_RequestHeaders(void** requestHeaders) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Cancel(BOOL* cancel) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Cancel(BOOL cancel) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_NavigationId(UINT64* navigationId) = 0;
  static constexpr GUID kIid{0x5b495469, 0xe119, 0x438a, {0x9b, 0x18, 0x76, 0x04, 0xf2, 0x5f, 0x2e, 0x49}};
};

struct ICoreWebView2NavigationCompletedEventArgs : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_IsSuccess(BOOL* isSuccess) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_WebErrorStatus(int32_t* webErrorStatus) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_NavigationId(UINT64* navigationId) = 0;
  static constexpr GUID kIid{0x30d68b7d, 0x20d9, 0x4752, {0xa9, 0xca, 0xec, 0x84, 0x48, 0xfb, 0xb5, 0xc1}};
};

struct ICoreWebView2NewWindowRequestedEventArgs : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_NewWindow(ICoreWebView2* newWindow) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_NewWindow(ICoreWebView2** newWindow) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Handled(BOOL handled) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Handled(BOOL* handled) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsUserInitiated(BOOL* isUserInitiated) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDeferral(void** deferral) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_WindowFeatures(void** value) = 0;
  static constexpr GUID kIid{0x34acb11c, 0xfc37, 0x4418, {0x91, 0x32, 0xf9, 0xc2, 0x1d, 0x1e, 0xaf, 0xb9}};
};

struct ICoreWebView2NewWindowRequestedEventArgs2 : ICoreWebView2NewWindowRequestedEventArgs {
  virtual HRESULT STDMETHODCALLTYPE get_Name(LPWSTR* value) = 0;
  static constexpr GUID kIid{0xbbc7baed, 0x74c6, 0x4c92, {0xb6, 0x3a, 0x7f, 0x5a, 0xea, 0xe0, 0x3d, 0xe3}};
};

struct ICoreWebView2DownloadStartingEventArgs : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_DownloadOperation(
      ICoreWebView2DownloadOperation** downloadOperation) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Cancel(BOOL* cancel) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Cancel(BOOL cancel) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ResultFilePath(LPWSTR* resultFilePath) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_ResultFilePath(LPCWSTR resultFilePath) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Handled(BOOL* handled) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Handled(BOOL handled) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDeferral(void** deferral) = 0;
  static constexpr GUID kIid{0xe99bbe21, 0x43e9, 0x4544, {0xa7, 0x32, 0x28, 0x27, 0x64, 0xea, 0xfa, 0x60}};
};

struct ICoreWebView2DownloadOperation : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE add_BytesReceivedChanged(void* handler, EventToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_BytesReceivedChanged(EventToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_EstimatedEndTimeChanged(void* handler, EventToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_EstimatedEndTimeChanged(EventToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_StateChanged(void* handler, EventToken* token) = 0;
  virtual HRESULT STDMETHODCALLTYPE remove_StateChanged(EventToken token) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ContentDisposition(LPWSTR* contentDisposition) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_MimeType(LPWSTR* mimeType) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_TotalBytesToReceive(INT64* totalBytesToReceive) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_BytesReceived(INT64* bytesReceived) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_EstimatedEndTime(LPWSTR* estimatedEndTime) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ResultFilePath(LPWSTR* resultFilePath) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_State(int32_t* downloadState) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_InterruptReason(int32_t* interruptReason) = 0;
  virtual HRESULT STDMETHODCALLTYPE Cancel() = 0;
  virtual HRESULT STDMETHODCALLTYPE Pause() = 0;
  virtual HRESULT STDMETHODCALLTYPE Resume() = 0;
  virtual HRESULT STDMETHODCALLTYPE get_CanResume(BOOL* canResume) = 0;
  static constexpr GUID kIid{0x3d6b6cf2, 0xafe1, 0x44c7, {0xa9, 0x95, 0xc6, 0x51, 0x17, 0x71, 0x43, 0x36}};
};

// The loader's entry point (WebView2Loader.dll).
using CreateEnvironmentWithOptionsFunction = HRESULT(STDAPICALLTYPE*)(
    PCWSTR browserExecutableFolder, PCWSTR userDataFolder, ICoreWebView2EnvironmentOptions* options,
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler);

}  // namespace wv2
