#pragma once

#include <memory>

#include "editor/IWebView.h"

class WebViewEditorDelegate;

// The web view maker the module registers on Windows (WebViewEditorDelegate::SetWebViewFactory):
// COM for the opening thread, the page found beside the module, a WebView2 view in `parent` (an
// HWND). None without the WebView2 loader: the editor then opens empty and drops every send.
std::unique_ptr<IWebView> MakeWebView2WebView(void* parent, WebViewEditorDelegate& delegate);
