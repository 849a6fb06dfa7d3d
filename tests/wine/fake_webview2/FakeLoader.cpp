// The fake WebView2Loader.dll: the loader's one entry point, answered by the fake browser, and
// the controls a test uses (FakeWebView2.h).
#include <string>

#include "fake_webview2/FakeBrowser.h"
#include "fake_webview2/FakeCalls.h"
#include "fake_webview2/FakeWebView2.h"

#define FAKE_EXPORT extern "C" __declspec(dllexport)

using namespace fake_webview2;

namespace {

template <class Get>
std::string TextOption(Get get) {
  LPWSTR text = nullptr;
  if (FAILED(get(&text))) return "(failed)";
  std::string utf8 = Utf8(text);
  CoTaskMemFree(text);
  return utf8;
}

template <class Get>
std::string FlagOption(Get get) {
  BOOL flag = -1;
  if (FAILED(get(&flag))) return "(failed)";
  return std::to_string(flag);
}

// Another interface of the options object; null when it has none.
template <class Interface>
Interface* Query(wv2::ICoreWebView2EnvironmentOptions* options) {
  Interface* other = nullptr;
  options->QueryInterface(Interface::kIid, reinterpret_cast<void**>(&other));
  return other;
}

// Every option the editor can set, read back the way the real loader reads them.
void RecordOptions(wv2::ICoreWebView2EnvironmentOptions* o) {
  Record("Options.TargetCompatibleBrowserVersion " +
         TextOption([o](LPWSTR* v) { return o->get_TargetCompatibleBrowserVersion(v); }));
  Record("Options.AdditionalBrowserArguments " +
         TextOption([o](LPWSTR* v) { return o->get_AdditionalBrowserArguments(v); }));
  Record("Options.Language " + TextOption([o](LPWSTR* v) { return o->get_Language(v); }));
  Record("Options.AllowSingleSignOnUsingOSPrimaryAccount " +
         FlagOption([o](BOOL* v) { return o->get_AllowSingleSignOnUsingOSPrimaryAccount(v); }));
  if (auto* o2 = Query<wv2::ICoreWebView2EnvironmentOptions2>(o)) {
    Record("Options2.ExclusiveUserDataFolderAccess " +
           FlagOption([o2](BOOL* v) { return o2->get_ExclusiveUserDataFolderAccess(v); }));
    o2->Release();
  }
  if (auto* o3 = Query<wv2::ICoreWebView2EnvironmentOptions3>(o)) {
    Record("Options3.IsCustomCrashReportingEnabled " +
           FlagOption([o3](BOOL* v) { return o3->get_IsCustomCrashReportingEnabled(v); }));
    o3->Release();
  }
}

}  // namespace

FAKE_EXPORT HRESULT STDAPICALLTYPE CreateCoreWebView2EnvironmentWithOptions(
    PCWSTR browserFolder, PCWSTR userDataFolder, wv2::ICoreWebView2EnvironmentOptions* options,
    wv2::ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler) {
  Record("CreateCoreWebView2EnvironmentWithOptions browser=" + Utf8(browserFolder) +
         " userData=" + Utf8(userDataFolder) + " options=" + (options ? "yes" : "no"));
  if (options) RecordOptions(options);
  if (!handler) return E_POINTER;
  if (options && (Failures() & kRefuseOptionsOnce)) {
    Failures() &= ~kRefuseOptionsOnce;
    Record("CreateCoreWebView2EnvironmentWithOptions failed");
    return E_INVALIDARG;
  }
  const bool fail = (Failures() & kNoEnvironment) != 0;
  handler->AddRef();
  Later([handler, fail] {
    wv2::ICoreWebView2Environment* environment = fail ? nullptr : MakeEnvironment();
    handler->Invoke(fail ? E_FAIL : S_OK, environment);
    if (environment) environment->Release();
    handler->Release();
  });
  return S_OK;
}

FAKE_EXPORT int FakeRecordCount() { return RecordCount(); }
FAKE_EXPORT const char* FakeRecord(int index) { return RecordAt(index); }
FAKE_EXPORT void FakeSetFailures(unsigned failures) { Failures() = failures; }
FAKE_EXPORT BOOL FakeCompleteNavigation(BOOL success) {
  return CompleteNavigation(success != FALSE);
}
FAKE_EXPORT BOOL FakeReceiveWebMessage(const wchar_t* json) { return ReceiveWebMessage(json); }
FAKE_EXPORT BOOL FakeRequestNewWindow(const wchar_t* uri) { return RequestNewWindow(uri); }
FAKE_EXPORT BOOL FakeStartDownload() { return StartDownload(); }
