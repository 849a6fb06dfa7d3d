#pragma once

// Reference counting and interface queries for our own objects, and an owning pointer for the
// host's.

#include <atomic>
#include <utility>

#include "host/vst3/FUnknown.h"

namespace vst3kit {

using Steinberg::FUnknown;
using Steinberg::TUID;

// Starts at 1: the creator owns the first reference.
class RefCount {
 public:
  Steinberg::uint32 Add() { return count_.fetch_add(1, std::memory_order_relaxed) + 1; }
  // Returns the count left; the owner deletes itself at 0.
  Steinberg::uint32 Remove() { return count_.fetch_sub(1, std::memory_order_acq_rel) - 1; }
  Steinberg::uint32 Count() const { return count_.load(std::memory_order_relaxed); }

 private:
  std::atomic<Steinberg::uint32> count_{1};
};

// Answers a query when `iid` names Interface: hands out self as Interface, reached through Via
// where Interface is an ambiguous base, and adds a reference.
template <class Interface, class Via = Interface, class Self>
bool AnswerQuery(Self* self, const TUID iid, void** obj) {
  if (!Steinberg::IidEqual(iid, Interface::iid)) return false;
  Interface* answer = static_cast<Interface*>(static_cast<Via*>(self));
  answer->addRef();
  *obj = answer;
  return true;
}

// Holds one reference to a host object.
template <class T>
class Ptr {
 public:
  Ptr() = default;
  // Takes a new reference on p.
  explicit Ptr(T* p) : p_(p) {
    if (p_) p_->addRef();
  }
  Ptr(const Ptr& other) : Ptr(other.p_) {}
  Ptr(Ptr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  Ptr& operator=(Ptr other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }
  ~Ptr() {
    if (p_) p_->release();
  }
  // Adopts a reference the caller already owns (the result of a query).
  static Ptr Adopt(T* p) {
    Ptr ptr;
    ptr.p_ = p;
    return ptr;
  }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

// Asks `unknown` for interface T; empty when it does not offer it.
template <class T>
Ptr<T> QueryInterface(FUnknown* unknown) {
  void* obj = nullptr;
  if (!unknown || unknown->queryInterface(T::iid.data(), &obj) != Steinberg::kResultOk || !obj)
    return Ptr<T>();
  return Ptr<T>::Adopt(static_cast<T*>(obj));
}

}  // namespace vst3kit
