#pragma once

#include <windows.h>

#include <objbase.h>

#include <utility>

// One owned reference to a COM object: released when replaced or destroyed. MinGW has no WRL,
// and this is all of ComPtr the web view needs.
template <class T>
class ComRef {
 public:
  ComRef() = default;
  // Takes over a reference the caller already owns.
  static ComRef Adopt(T* object) {
    ComRef ref;
    ref.object_ = object;
    return ref;
  }
  // Adds a reference of its own.
  static ComRef Share(T* object) {
    if (object) object->AddRef();
    return Adopt(object);
  }
  ComRef(ComRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  ComRef& operator=(ComRef&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.object_, nullptr));
    return *this;
  }
  ComRef(const ComRef& other) : object_(other.object_) {
    if (object_) object_->AddRef();
  }
  ComRef& operator=(const ComRef& other) { return *this = Share(other.object_); }
  ~ComRef() { Reset(); }

  T* Get() const { return object_; }
  T* operator->() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }

  // For a call that hands out a new reference: the old one is released first.
  T** Receive() {
    Reset();
    return &object_;
  }
  void Reset(T* object = nullptr) {
    T* old = std::exchange(object_, object);
    if (old) old->Release();
  }

  // Another interface of the same object (U::kIid); empty when it has none.
  template <class U>
  ComRef<U> As() const {
    ComRef<U> other;
    if (object_) object_->QueryInterface(U::kIid, reinterpret_cast<void**>(other.Receive()));
    return other;
  }

 private:
  T* object_ = nullptr;
};
