#pragma once

// What a test can do with the fake WebView2Loader.dll beyond what the module calls: read the
// calls the fake browser received, raise browser events on the newest web view, and make the
// browser fail on purpose. Plain C exports, looked up with GetProcAddress.

#include <windows.h>

namespace fake_webview2 {

// Failures, set before the editor asks; each flag stays until cleared.
enum Failure : unsigned {
  kRefuseOptionsOnce = 1u << 0,  // the next environment request that brings options fails at once
  kNoEnvironment = 1u << 1,      // environment requests complete with E_FAIL and no environment
  kNoWebView2_4 = 1u << 2,       // web views made from now on lack ICoreWebView2_4
};

// The calls so far, one line each, "Interface.Method arguments", in the order received. A line
// stays valid for the life of the process; null past the end.
using RecordCountFunction = int (*)();
using RecordFunction = const char* (*)(int index);
using SetFailuresFunction = void (*)(unsigned failures);
// Each event runs the handler the newest web view registered for it, at once, and returns
// FALSE when there is none (no web view, or its controller was closed).
using CompleteNavigationFunction = BOOL (*)(BOOL success);
using ReceiveWebMessageFunction = BOOL (*)(const wchar_t* json);
using RequestNewWindowFunction = BOOL (*)(const wchar_t* uri);
using StartDownloadFunction = BOOL (*)();

inline constexpr const char* kRecordCount = "FakeRecordCount";
inline constexpr const char* kRecord = "FakeRecord";
inline constexpr const char* kSetFailures = "FakeSetFailures";
inline constexpr const char* kCompleteNavigation = "FakeCompleteNavigation";
inline constexpr const char* kReceiveWebMessage = "FakeReceiveWebMessage";
inline constexpr const char* kRequestNewWindow = "FakeRequestNewWindow";
inline constexpr const char* kStartDownload = "FakeStartDownload";

}  // namespace fake_webview2
