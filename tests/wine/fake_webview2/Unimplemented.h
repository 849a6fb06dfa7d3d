#pragma once

// Every method of the WebView2 interfaces the fake browser hands out, answering E_NOTIMPL and
// recording the call as "unimplemented <method>": a call the editor should not make, or one
// that landed in the wrong slot of our declarations, shows up in the records. The fake objects
// override what the editor really calls.

#include "editor/windows/WebView2Abi.h"
#include "fake_webview2/FakeCalls.h"

#define ZARN_UNIMPLEMENTED(name, ...)                    \
  HRESULT STDMETHODCALLTYPE name(__VA_ARGS__) override { \
    fake_webview2::Record("unimplemented " #name);       \
    return E_NOTIMPL;                                    \
  }

namespace wv2::unimplemented {

struct Environment : ICoreWebView2Environment {
  ZARN_UNIMPLEMENTED(CreateCoreWebView2Controller,
                     HWND, ICoreWebView2CreateCoreWebView2ControllerCompletedHandler*)
  ZARN_UNIMPLEMENTED(CreateWebResourceResponse, IStream*, int, LPCWSTR, LPCWSTR, void**)
  ZARN_UNIMPLEMENTED(get_BrowserVersionString, LPWSTR*)
  ZARN_UNIMPLEMENTED(add_NewBrowserVersionAvailable, void*, EventToken*)
  ZARN_UNIMPLEMENTED(remove_NewBrowserVersionAvailable, EventToken)
};

struct Controller : ICoreWebView2Controller2 {
  ZARN_UNIMPLEMENTED(get_IsVisible, BOOL*)
  ZARN_UNIMPLEMENTED(put_IsVisible, BOOL)
  ZARN_UNIMPLEMENTED(get_Bounds, RECT*)
  ZARN_UNIMPLEMENTED(put_Bounds, RECT)
  ZARN_UNIMPLEMENTED(get_ZoomFactor, double*)
  ZARN_UNIMPLEMENTED(put_ZoomFactor, double)
  ZARN_UNIMPLEMENTED(add_ZoomFactorChanged, void*, EventToken*)
  ZARN_UNIMPLEMENTED(remove_ZoomFactorChanged, EventToken)
  ZARN_UNIMPLEMENTED(SetBoundsAndZoomFactor, RECT, double)
  ZARN_UNIMPLEMENTED(MoveFocus, int32_t)
  ZARN_UNIMPLEMENTED(add_MoveFocusRequested, void*, EventToken*)
  ZARN_UNIMPLEMENTED(remove_MoveFocusRequested, EventToken)
  ZARN_UNIMPLEMENTED(add_GotFocus, void*, EventToken*)
  ZARN_UNIMPLEMENTED(remove_GotFocus, EventToken)
  ZARN_UNIMPLEMENTED(add_LostFocus, void*, EventToken*)
  ZARN_UNIMPLEMENTED(remove_LostFocus, EventToken)
  ZARN_UNIMPLEMENTED(add_AcceleratorKeyPressed, void*, EventToken*)
  ZARN_UNIMPLEMENTED(remove_AcceleratorKeyPressed, EventToken)
  ZARN_UNIMPLEMENTED(get_ParentWindow, HWND*)
  ZARN_UNIMPLEMENTED(put_ParentWindow, HWND)
  ZARN_UNIMPLEMENTED(NotifyParentWindowPositionChanged)
  ZARN_UNIMPLEMENTED(Close)
  ZARN_UNIMPLEMENTED(get_CoreWebView2, ICoreWebView2**)
  ZARN_UNIMPLEMENTED(get_DefaultBackgroundColor, Color*)
  ZARN_UNIMPLEMENTED(put_DefaultBackgroundColor, Color)
};

struct Settings : ICoreWebView2Settings {
  ZARN_UNIMPLEMENTED(get_IsScriptEnabled, BOOL*)
  ZARN_UNIMPLEMENTED(put_IsScriptEnabled, BOOL)
  ZARN_UNIMPLEMENTED(get_IsWebMessageEnabled, BOOL*)
  ZARN_UNIMPLEMENTED(put_IsWebMessageEnabled, BOOL)
  ZARN_UNIMPLEMENTED(get_AreDefaultScriptDialogsEnabled, BOOL*)
  ZARN_UNIMPLEMENTED(put_AreDefaultScriptDialogsEnabled, BOOL)
  ZARN_UNIMPLEMENTED(get_IsStatusBarEnabled, BOOL*)
  ZARN_UNIMPLEMENTED(put_IsStatusBarEnabled, BOOL)
  ZARN_UNIMPLEMENTED(get_AreDevToolsEnabled, BOOL*)
  ZARN_UNIMPLEMENTED(put_AreDevToolsEnabled, BOOL)
  ZARN_UNIMPLEMENTED(get_AreDefaultContextMenusEnabled, BOOL*)
  ZARN_UNIMPLEMENTED(put_AreDefaultContextMenusEnabled, BOOL)
  ZARN_UNIMPLEMENTED(get_AreHostObjectsAllowed, BOOL*)
  ZARN_UNIMPLEMENTED(put_AreHostObjectsAllowed, BOOL)
  ZARN_UNIMPLEMENTED(get_IsZoomControlEnabled, BOOL*)
  ZARN_UNIMPLEMENTED(put_IsZoomControlEnabled, BOOL)
  ZARN_UNIMPLEMENTED(get_IsBuiltInErrorPageEnabled, BOOL*)
  ZARN_UNIMPLEMENTED(put_IsBuiltInErrorPageEnabled, BOOL)
};

struct WebView : ICoreWebView2_4 {
  ZARN_UNIMPLEMENTED(get_Settings, ICoreWebView2Settings**)
  ZARN_UNIMPLEMENTED(get_Source, LPWSTR*)
  ZARN_UNIMPLEMENTED(Navigate, LPCWSTR)
  ZARN_UNIMPLEMENTED(NavigateToString, LPCWSTR)
  ZARN_UNIMPLEMENTED(add_NavigationStarting,
                     ICoreWebView2NavigationStartingEventHandler*, EventToken*)
  ZARN_UNIMPLEMENTED(remove_NavigationStarting, EventToken)
  ZARN_UNIMPLEMENTED(add_ContentLoading, void*, EventToken*)
  ZARN_UNIMPLEMENTED(remove_ContentLoading, EventToken)
  ZARN_UNIMPLEMENTED(add_SourceChanged, void*, EventToken*)
  ZARN_UNIMPLEMENTED(remove_SourceChanged, EventToken)
  ZARN_UNIMPLEMENTED(add_HistoryChanged, void*, EventToken*)
  ZARN_UNIMPLEMENTED(remove_HistoryChanged, EventToken)
  ZARN_UNIMPLEMENTED(add_NavigationCompleted,
                     ICoreWebView2NavigationCompletedEventHandler*, EventToken*)
  ZARN_UNIMPLEMENTED(remove_NavigationCompleted, EventToken)
  ZARN_UNIMPLEMENTED(add_FrameNavigationStarting, void*, EventToken*)
  ZARN_UNIMPLEMENTED(remove_FrameNavigationStarting, EventToken)
  ZARN_UNIMPLEMENTED(add_FrameNavigationCompleted, void*, EventToken*)
  ZARN_UNIMPLEMENTED(remove_FrameNavigationCompleted, EventToken)
  ZARN_UNIMPLEMENTED(add_ScriptDialogOpening, void*, EventToken*)
  ZARN_UNIMPLEMENTED(remove_ScriptDialogOpening, EventToken)
  ZARN_UNIMPLEMENTED(add_PermissionRequested, void*, EventToken*)
  ZARN_UNIMPLEMENTED(remove_PermissionRequested, EventToken)
  ZARN_UNIMPLEMENTED(add_ProcessFailed, void*, EventToken*)
  ZARN_UNIMPLEMENTED(remove_ProcessFailed, EventToken)
  ZARN_UNIMPLEMENTED(AddScriptToExecuteOnDocumentCreated,
                     LPCWSTR, ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler*)
  ZARN_UNIMPLEMENTED(RemoveScriptToExecuteOnDocumentCreated, LPCWSTR)
  ZARN_UNIMPLEMENTED(ExecuteScript, LPCWSTR, ICoreWebView2ExecuteScriptCompletedHandler*)
  ZARN_UNIMPLEMENTED(CapturePreview, int32_t, IStream*, void*)
  ZARN_UNIMPLEMENTED(Reload)
  ZARN_UNIMPLEMENTED(PostWebMessageAsJson, LPCWSTR)
  ZARN_UNIMPLEMENTED(PostWebMessageAsString, LPCWSTR)
  ZARN_UNIMPLEMENTED(add_WebMessageReceived,
                     ICoreWebView2WebMessageReceivedEventHandler*, EventToken*)
  ZARN_UNIMPLEMENTED(remove_WebMessageReceived, EventToken)
  ZARN_UNIMPLEMENTED(CallDevToolsProtocolMethod, LPCWSTR, LPCWSTR, void*)
  ZARN_UNIMPLEMENTED(get_BrowserProcessId, UINT32*)
  ZARN_UNIMPLEMENTED(get_CanGoBack, BOOL*)
  ZARN_UNIMPLEMENTED(get_CanGoForward, BOOL*)
  ZARN_UNIMPLEMENTED(GoBack)
  ZARN_UNIMPLEMENTED(GoForward)
  ZARN_UNIMPLEMENTED(GetDevToolsProtocolEventReceiver, LPCWSTR, void**)
  ZARN_UNIMPLEMENTED(Stop)
  ZARN_UNIMPLEMENTED(add_NewWindowRequested,
                     ICoreWebView2NewWindowRequestedEventHandler*, EventToken*)
  ZARN_UNIMPLEMENTED(remove_NewWindowRequested, EventToken)
  ZARN_UNIMPLEMENTED(add_DocumentTitleChanged, void*, EventToken*)
  ZARN_UNIMPLEMENTED(remove_DocumentTitleChanged, EventToken)
  ZARN_UNIMPLEMENTED(get_DocumentTitle, LPWSTR*)
  ZARN_UNIMPLEMENTED(AddHostObjectToScript, LPCWSTR, VARIANT*)
  ZARN_UNIMPLEMENTED(RemoveHostObjectFromScript, LPCWSTR)
  ZARN_UNIMPLEMENTED(OpenDevToolsWindow)
  ZARN_UNIMPLEMENTED(add_ContainsFullScreenElementChanged, void*, EventToken*)
  ZARN_UNIMPLEMENTED(remove_ContainsFullScreenElementChanged, EventToken)
  ZARN_UNIMPLEMENTED(get_ContainsFullScreenElement, BOOL*)
  ZARN_UNIMPLEMENTED(add_WebResourceRequested, void*, EventToken*)
  ZARN_UNIMPLEMENTED(remove_WebResourceRequested, EventToken)
  ZARN_UNIMPLEMENTED(AddWebResourceRequestedFilter, LPCWSTR, int32_t)
  ZARN_UNIMPLEMENTED(RemoveWebResourceRequestedFilter, LPCWSTR, int32_t)
  ZARN_UNIMPLEMENTED(add_WindowCloseRequested, void*, EventToken*)
  ZARN_UNIMPLEMENTED(remove_WindowCloseRequested, EventToken)
  ZARN_UNIMPLEMENTED(add_WebResourceResponseReceived, void*, EventToken*)
  ZARN_UNIMPLEMENTED(remove_WebResourceResponseReceived, EventToken)
  ZARN_UNIMPLEMENTED(NavigateWithWebResourceRequest, void*)
  ZARN_UNIMPLEMENTED(add_DOMContentLoaded, void*, EventToken*)
  ZARN_UNIMPLEMENTED(remove_DOMContentLoaded, EventToken)
  ZARN_UNIMPLEMENTED(get_CookieManager, void**)
  ZARN_UNIMPLEMENTED(get_Environment, ICoreWebView2Environment**)
  ZARN_UNIMPLEMENTED(TrySuspend, void*)
  ZARN_UNIMPLEMENTED(Resume)
  ZARN_UNIMPLEMENTED(get_IsSuspended, BOOL*)
  ZARN_UNIMPLEMENTED(SetVirtualHostNameToFolderMapping, LPCWSTR, LPCWSTR, HostResourceAccessKind)
  ZARN_UNIMPLEMENTED(ClearVirtualHostNameToFolderMapping, LPCWSTR)
  ZARN_UNIMPLEMENTED(add_FrameCreated, void*, EventToken*)
  ZARN_UNIMPLEMENTED(remove_FrameCreated, EventToken)
  ZARN_UNIMPLEMENTED(add_DownloadStarting, ICoreWebView2DownloadStartingEventHandler*, EventToken*)
  ZARN_UNIMPLEMENTED(remove_DownloadStarting, EventToken)
};

struct WebMessageReceivedEventArgs : ICoreWebView2WebMessageReceivedEventArgs {
  ZARN_UNIMPLEMENTED(get_Source, LPWSTR*)
  ZARN_UNIMPLEMENTED(get_WebMessageAsJson, LPWSTR*)
  ZARN_UNIMPLEMENTED(TryGetWebMessageAsString, LPWSTR*)
};

struct NavigationCompletedEventArgs : ICoreWebView2NavigationCompletedEventArgs {
  ZARN_UNIMPLEMENTED(get_IsSuccess, BOOL*)
  ZARN_UNIMPLEMENTED(get_WebErrorStatus, int32_t*)
  ZARN_UNIMPLEMENTED(get_NavigationId, UINT64*)
};

struct NewWindowRequestedEventArgs : ICoreWebView2NewWindowRequestedEventArgs2 {
  ZARN_UNIMPLEMENTED(get_Uri, LPWSTR*)
  ZARN_UNIMPLEMENTED(put_NewWindow, ICoreWebView2*)
  ZARN_UNIMPLEMENTED(get_NewWindow, ICoreWebView2**)
  ZARN_UNIMPLEMENTED(put_Handled, BOOL)
  ZARN_UNIMPLEMENTED(get_Handled, BOOL*)
  ZARN_UNIMPLEMENTED(get_IsUserInitiated, BOOL*)
  ZARN_UNIMPLEMENTED(GetDeferral, void**)
  ZARN_UNIMPLEMENTED(get_WindowFeatures, void**)
  ZARN_UNIMPLEMENTED(get_Name, LPWSTR*)
};

struct DownloadStartingEventArgs : ICoreWebView2DownloadStartingEventArgs {
  ZARN_UNIMPLEMENTED(get_DownloadOperation, ICoreWebView2DownloadOperation**)
  ZARN_UNIMPLEMENTED(get_Cancel, BOOL*)
  ZARN_UNIMPLEMENTED(put_Cancel, BOOL)
  ZARN_UNIMPLEMENTED(get_ResultFilePath, LPWSTR*)
  ZARN_UNIMPLEMENTED(put_ResultFilePath, LPCWSTR)
  ZARN_UNIMPLEMENTED(get_Handled, BOOL*)
  ZARN_UNIMPLEMENTED(put_Handled, BOOL)
  ZARN_UNIMPLEMENTED(GetDeferral, void**)
};

}  // namespace wv2::unimplemented

#undef ZARN_UNIMPLEMENTED
