// ardo::ComPtr<T>: an owning interface pointer. A raw pointer elsewhere in
// our signatures is borrowed.
#pragma once

#include <cstddef>
#include <type_traits>
#include <utility>

#include "platform/com/unknown.h"

namespace ardo {

template <class T>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  ComPtr(std::nullptr_t) noexcept {}
  // Shares p: adds a reference of its own.
  explicit ComPtr(T* p) noexcept : p_(p) {
    if (p_) p_->AddRef();
  }
  ComPtr(const ComPtr& other) noexcept : ComPtr(other.p_) {}
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  ComPtr(const ComPtr<U>& other) noexcept : ComPtr(static_cast<T*>(other.Get())) {}
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  ComPtr(ComPtr<U>&& other) noexcept : p_(other.Detach()) {}
  ~ComPtr() { Reset(); }

  ComPtr& operator=(const ComPtr& other) noexcept {
    ComPtr(other).Swap(*this);
    return *this;
  }
  ComPtr& operator=(ComPtr&& other) noexcept {
    ComPtr(std::move(other)).Swap(*this);
    return *this;
  }
  ComPtr& operator=(std::nullptr_t) noexcept {
    Reset();
    return *this;
  }

  // Takes over a reference that was delivered to the caller (no AddRef).
  static ComPtr Adopt(T* p) noexcept {
    ComPtr result;
    result.p_ = p;
    return result;
  }
  // Adds a reference of its own, like the constructor from T*.
  static ComPtr Share(T* p) noexcept { return ComPtr(p); }

  T* Get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  T& operator*() const noexcept { return *p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }

  // Releases the current value and returns the slot for an out-parameter.
  T** Out() noexcept {
    Reset();
    return &p_;
  }
  // Hands the reference to the caller and leaves this empty.
  T* Detach() noexcept { return std::exchange(p_, nullptr); }
  void Reset() noexcept {
    if (T* old = std::exchange(p_, nullptr)) old->Release();
  }
  void Swap(ComPtr& other) noexcept { std::swap(p_, other.p_); }

  // AddRefs into an out-parameter; E_POINTER for a null out.
  HRESULT CopyTo(T** out) const noexcept {
    if (!out) return E_POINTER;
    *out = p_;
    if (p_) p_->AddRef();
    return S_OK;
  }
  // QueryInterface for U into *out; E_POINTER when empty or out is null.
  template <class U>
  HRESULT QueryTo(U** out) const noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!p_) return E_POINTER;
    return p_->QueryInterface(U::kIID, reinterpret_cast<void**>(out));
  }
  // QueryInterface for U; empty when the object lacks it.
  template <class U>
  ComPtr<U> As() const noexcept {
    ComPtr<U> result;
    QueryTo(result.Out());
    return result;
  }

  friend bool operator==(const ComPtr& a, const ComPtr& b) { return a.p_ == b.p_; }
  friend bool operator!=(const ComPtr& a, const ComPtr& b) { return a.p_ != b.p_; }
  friend bool operator==(const ComPtr& a, std::nullptr_t) { return a.p_ == nullptr; }
  friend bool operator!=(const ComPtr& a, std::nullptr_t) { return a.p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

}  // namespace ardo
