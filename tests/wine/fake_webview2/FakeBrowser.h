#pragma once

#include "editor/windows/WebView2Abi.h"

// The fake browser behind the loader: an environment that makes controllers, each with one web
// view that records what the editor sets up and keeps the handlers it registers. Every call
// comes on the editor's UI thread.
namespace fake_webview2 {

unsigned& Failures();  // FakeWebView2.h's Failure flags

// A new environment, with one reference for the caller.
wv2::ICoreWebView2Environment* MakeEnvironment();

// Browser events on the newest web view still alive: each runs the editor's handler at once and
// says whether there was one.
bool CompleteNavigation(bool success);
bool ReceiveWebMessage(const wchar_t* json);
bool RequestNewWindow(const wchar_t* uri);
bool StartDownload();

}  // namespace fake_webview2
