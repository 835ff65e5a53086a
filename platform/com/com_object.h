// ardo::ComObject<Impl, Interfaces...>: the base of every COM object we
// implement. It supplies the reference count, a QueryInterface driven by a
// static table of each listed interface and its base chain, IDispatch
// through the type information served for the first listed interface
// (declined where there is none), and live-object accounting under Impl's
// name.
#pragma once

#include <array>
#include <atomic>
#include <tuple>
#include <type_traits>
#include <utility>

#include "platform/com/com_ptr.h"
#include "platform/com/dispatch.h"
#include "platform/com/live_objects.h"
#include "platform/com/type_library.h"

namespace ardo {
namespace detail {

template <class Self>
struct QiEntry {
  const IID* iid;
  void* (*cast)(Self*);
};

template <class Self, class Via, class I>
void* CastVia(Self* self) {
  return static_cast<I*>(static_cast<Via*>(self));
}

// The identities reachable from interface I (I, its base, ... IUnknown),
// each cast through the listed interface Via so that a base shared by two
// listed interfaces always resolves through the first of them.
template <class Self, class Via, class I>
struct InterfaceChain {
  using Base = typename I::BaseInterface;
  static constexpr size_t kSize = 1 + InterfaceChain<Self, Via, Base>::kSize;
  static constexpr void Fill(QiEntry<Self>* out) {
    out[0] = QiEntry<Self>{&I::kIID, &CastVia<Self, Via, I>};
    InterfaceChain<Self, Via, Base>::Fill(out + 1);
  }
};
template <class Self, class Via>
struct InterfaceChain<Self, Via, void> {
  static constexpr size_t kSize = 0;
  static constexpr void Fill(QiEntry<Self>*) {}
};

template <class Self, class... Interfaces>
struct QiTable {
  static constexpr size_t kSize = (InterfaceChain<Self, Interfaces, Interfaces>::kSize + ...);
  static constexpr std::array<QiEntry<Self>, kSize> Build() {
    std::array<QiEntry<Self>, kSize> table{};
    QiEntry<Self>* next = table.data();
    ((InterfaceChain<Self, Interfaces, Interfaces>::Fill(next),
      next += InterfaceChain<Self, Interfaces, Interfaces>::kSize),
     ...);
    return table;
  }
  static constexpr std::array<QiEntry<Self>, kSize> kEntries = Build();
};

}  // namespace detail

// ComObjectBase<Impl, Interfaces...>: all of ComObject but the count, for
// objects that keep their count with state of their own (a count of their
// own here would only make every such object larger).
template <class Impl, class... Interfaces>
class ComObjectBase : public Interfaces... {
  static_assert(sizeof...(Interfaces) > 0, "a COM object implements at least one interface");

 public:
  ComObjectBase(const ComObjectBase&) = delete;
  ComObjectBase& operator=(const ComObjectBase&) = delete;

  // E_POINTER for a null ppv; E_NOINTERFACE (and *ppv = null) for an
  // identity the table lacks.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    for (const auto& entry : Table::kEntries) {
      if (*entry.iid == riid) {
        *ppv = entry.cast(this);
        AddRef();
        return S_OK;
      }
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  // The count is the derived class's (one member for every interface's).
  ULONG STDMETHODCALLTYPE AddRef() override = 0;
  ULONG STDMETHODCALLTYPE Release() override = 0;

  // Late binding goes through the type information served for the first
  // listed interface (ServeDispatchInterface), and is declined without it
  // or when Impl overrides these. (They override IDispatch's only when a
  // listed interface derives from it.)
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) {
    if (!pctinfo) return E_POINTER;
    *pctinfo = LateBinding() ? 1 : 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** ppTInfo) {
    if (!ppTInfo) return E_POINTER;
    *ppTInfo = index == 0 ? LateBinding() : nullptr;
    if (!*ppTInfo) return DISP_E_BADINDEX;
    (*ppTInfo)->AddRef();
    return S_OK;
  }
  // riid is reserved: anything but IID_NULL is refused, as COM's rules say.
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID,
                                          DISPID* rgDispId) {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    if (ITypeInfo* info = LateBinding()) return info->GetIDsOfNames(rgszNames, cNames, rgDispId);
    for (UINT i = 0; rgDispId && i < cNames; ++i) rgDispId[i] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags,
                                   DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                   EXCEPINFO* pExcepInfo, UINT* puArgErr) {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    ITypeInfo* info = LateBinding();
    if (!info) return DISP_E_MEMBERNOTFOUND;
    return info->Invoke(static_cast<First*>(this), dispIdMember, wFlags, pDispParams, pVarResult,
                        pExcepInfo, puArgErr);
  }

  // The object's identity (the IUnknown that QueryInterface hands out); no AddRef.
  IUnknown* GetUnknown() {
    for (const auto& entry : Table::kEntries)
      if (*entry.iid == IUnknown::kIID) return static_cast<IUnknown*>(entry.cast(this));
    return nullptr;
  }

 protected:
  ComObjectBase() { detail::CounterFor<Impl>().Add(); }
  virtual ~ComObjectBase() { detail::CounterFor<Impl>().Remove(); }

 private:
  using Table = detail::QiTable<ComObjectBase, Interfaces...>;
  using First = std::tuple_element_t<0, std::tuple<Interfaces...>>;
  static ITypeInfo* LateBinding() {
    if constexpr (std::is_base_of_v<IDispatch, First>) return ServedDispatchInterface(First::kIID);
    else return nullptr;
  }
};

template <class Impl, class... Interfaces>
class ComObject : public ComObjectBase<Impl, Interfaces...> {
 public:
  ULONG STDMETHODCALLTYPE AddRef() override {
    return refs_.fetch_add(1, std::memory_order_relaxed) + 1;
  }
  // Deletes the object when the count reaches zero.
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
  }

  // The current count, for tests and diagnostics only.
  ULONG DebugRefCount() const { return refs_.load(std::memory_order_relaxed); }

 protected:
  ComObject() = default;

 private:
  std::atomic<ULONG> refs_{1};
};

// A new Impl with a count of 1, held by the returned pointer.
template <class Impl, class... Args>
ComPtr<Impl> MakeObject(Args&&... args) {
  return ComPtr<Impl>::Adopt(new Impl(std::forward<Args>(args)...));
}

}  // namespace ardo
