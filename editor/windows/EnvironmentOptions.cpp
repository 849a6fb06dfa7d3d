#include "editor/windows/EnvironmentOptions.h"

#include <atomic>
#include <cwchar>
#include <string>

namespace {

constexpr const wchar_t* kTargetBrowserVersion = L"131.0.2903.40";

// A copy the caller frees with CoTaskMemFree; null for an unset text.
HRESULT CopyOut(const std::wstring* text, LPWSTR* value) {
  if (!value) return E_POINTER;
  *value = nullptr;
  if (!text) return S_OK;
  const size_t bytes = (text->size() + 1) * sizeof(wchar_t);
  *value = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
  if (!*value) return E_OUTOFMEMORY;
  std::wmemcpy(*value, text->c_str(), text->size() + 1);
  return S_OK;
}

HRESULT CopyOut(BOOL flag, BOOL* value) {
  if (!value) return E_POINTER;
  *value = flag;
  return S_OK;
}

// Stores a text the loader sets; null unsets it.
class OptionalText {
 public:
  const std::wstring* Get() const { return isSet_ ? &text_ : nullptr; }
  HRESULT Set(LPCWSTR value) {
    isSet_ = value != nullptr;
    text_ = value ? value : L"";
    return S_OK;
  }

 private:
  bool isSet_ = false;
  std::wstring text_;
};

class EnvironmentOptions final : public wv2::ICoreWebView2EnvironmentOptions,
                                 public wv2::ICoreWebView2EnvironmentOptions2,
                                 public wv2::ICoreWebView2EnvironmentOptions3 {
 public:
  EnvironmentOptions() { targetVersion_.Set(kTargetBrowserVersion); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, Options1::kIid))
      *object = static_cast<Options1*>(this);
    else if (IsEqualIID(iid, Options2::kIid))
      *object = static_cast<Options2*>(this);
    else if (IsEqualIID(iid, Options3::kIid))
      *object = static_cast<Options3*>(this);
    else
      return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE get_AdditionalBrowserArguments(LPWSTR* value) override {
    return CopyOut(arguments_.Get(), value);
  }
  HRESULT STDMETHODCALLTYPE put_AdditionalBrowserArguments(LPCWSTR value) override {
    return arguments_.Set(value);
  }
  HRESULT STDMETHODCALLTYPE get_Language(LPWSTR* value) override { return CopyOut(language_.Get(), value); }
  HRESULT STDMETHODCALLTYPE put_Language(LPCWSTR value) override { return language_.Set(value); }
  HRESULT STDMETHODCALLTYPE get_TargetCompatibleBrowserVersion(LPWSTR* value) override {
    return CopyOut(targetVersion_.Get(), value);
  }
  HRESULT STDMETHODCALLTYPE put_TargetCompatibleBrowserVersion(LPCWSTR value) override {
    return targetVersion_.Set(value);
  }
  HRESULT STDMETHODCALLTYPE get_AllowSingleSignOnUsingOSPrimaryAccount(BOOL* allow) override {
    return CopyOut(singleSignOn_, allow);
  }
  HRESULT STDMETHODCALLTYPE put_AllowSingleSignOnUsingOSPrimaryAccount(BOOL allow) override {
    singleSignOn_ = allow;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_ExclusiveUserDataFolderAccess(BOOL* value) override {
    return CopyOut(exclusiveFolder_, value);
  }
  HRESULT STDMETHODCALLTYPE put_ExclusiveUserDataFolderAccess(BOOL value) override {
    exclusiveFolder_ = value;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_IsCustomCrashReportingEnabled(BOOL* value) override {
    return CopyOut(customCrashReporting_, value);
  }
  HRESULT STDMETHODCALLTYPE put_IsCustomCrashReportingEnabled(BOOL value) override {
    customCrashReporting_ = value;
    return S_OK;
  }

 private:
  using Options1 = wv2::ICoreWebView2EnvironmentOptions;
  using Options2 = wv2::ICoreWebView2EnvironmentOptions2;
  using Options3 = wv2::ICoreWebView2EnvironmentOptions3;
  ~EnvironmentOptions() = default;

  std::atomic<ULONG> refs_{1};
  OptionalText arguments_, language_, targetVersion_;
  BOOL singleSignOn_ = FALSE;
  BOOL exclusiveFolder_ = FALSE;
  BOOL customCrashReporting_ = FALSE;
};

}  // namespace

ComRef<wv2::ICoreWebView2EnvironmentOptions> MakeEnvironmentOptions() {
  return ComRef<wv2::ICoreWebView2EnvironmentOptions>::Adopt(new EnvironmentOptions());
}
