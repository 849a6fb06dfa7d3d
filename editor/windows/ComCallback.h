#pragma once

#include <atomic>
#include <functional>
#include <type_traits>
#include <utility>

#include "editor/windows/ComRef.h"
#include "editor/windows/WebView2Abi.h"

// The WebView2 handler objects, written by hand (no WRL under MinGW): a reference-counted COM
// object whose Invoke calls a function. The browser keeps a reference for as long as it may call.
template <class Interface, class... Args>
class ComCallback final : public Interface {
 public:
  explicit ComCallback(std::function<HRESULT(Args...)> invoke) : invoke_(std::move(invoke)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, Interface::kIid)) {
      *object = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE Invoke(Args... args) override {
    return invoke_ ? invoke_(args...) : S_OK;
  }

 private:
  ~ComCallback() = default;
  std::atomic<ULONG> refs_{1};
  std::function<HRESULT(Args...)> invoke_;
};

namespace com_callback_detail {
// Finds Invoke's parameters through the handler interface's base.
template <class Interface, class... Args>
ComRef<Interface> Make(wv2::CallbackInterface<Args...>*,
                       std::type_identity_t<std::function<HRESULT(Args...)>> invoke) {
  return ComRef<Interface>::Adopt(new ComCallback<Interface, Args...>(std::move(invoke)));
}
}  // namespace com_callback_detail

// A handler for `Interface` (one of the wv2 handler interfaces) that runs `invoke`.
template <class Interface, class F>
ComRef<Interface> MakeCallback(F&& invoke) {
  return com_callback_detail::Make<Interface>(static_cast<Interface*>(nullptr),
                                             std::forward<F>(invoke));
}
