// Describing a dispatch member from the interface method itself:
//   ardo::DescribeMethod<&IVBSAXContentHandler::startElement>("startElement", 0x52d)
// derives the declared parameter types and a thunk that calls the method.
// C++ parameter types map as: BSTR -> VT_BSTR, BSTR* -> VT_BSTR|VT_BYREF (in-out),
// long/int/enumerations -> VT_I4, short (VARIANT_BOOL) -> VT_BOOL, double -> VT_R8,
// float -> VT_R4, VARIANT -> VT_VARIANT, VARIANT* -> VT_VARIANT|VT_BYREF,
// interface pointers -> VT_DISPATCH or VT_UNKNOWN (QueryInterface for the exact type).
#pragma once

#include <tuple>
#include <type_traits>
#include <utility>

#include "platform/com/com_ptr.h"
#include "platform/com/type_library.h"

namespace ardo {
namespace detail {

struct NoHolder {};

template <class T, class = void>
struct DispatchArg;

template <class T, VARTYPE VT>
struct ScalarArg {
  static constexpr VARTYPE kType = VT;
  using Holder = NoHolder;
  static T Get(VARIANT& v, Holder&, HRESULT&) {
    if constexpr (VT == VT_BOOL) return static_cast<T>(v.boolVal);
    else if constexpr (VT == VT_R8) return static_cast<T>(v.dblVal);
    else if constexpr (VT == VT_R4) return static_cast<T>(v.fltVal);
    else return static_cast<T>(v.lVal);
  }
};

template <> struct DispatchArg<long> : ScalarArg<long, VT_I4> {};
template <> struct DispatchArg<int> : ScalarArg<int, VT_I4> {};
template <> struct DispatchArg<short> : ScalarArg<short, VT_BOOL> {};
template <> struct DispatchArg<double> : ScalarArg<double, VT_R8> {};
template <> struct DispatchArg<float> : ScalarArg<float, VT_R4> {};
template <class E>
struct DispatchArg<E, std::enable_if_t<std::is_enum_v<E>>> : ScalarArg<E, VT_I4> {};

template <> struct DispatchArg<BSTR> {
  static constexpr VARTYPE kType = VT_BSTR;
  using Holder = NoHolder;
  static BSTR Get(VARIANT& v, Holder&, HRESULT&) { return v.bstrVal; }
};
template <> struct DispatchArg<BSTR*> {
  static constexpr VARTYPE kType = VT_BSTR | VT_BYREF;
  using Holder = NoHolder;
  static BSTR* Get(VARIANT& v, Holder&, HRESULT&) { return v.pbstrVal; }
};
// In-parameters stay owned by the caller: the method sees the value as is.
template <> struct DispatchArg<VARIANT> {
  static constexpr VARTYPE kType = VT_VARIANT;
  using Holder = NoHolder;
  static VARIANT Get(VARIANT& v, Holder&, HRESULT&) { return v; }
};
template <> struct DispatchArg<VARIANT*> {
  static constexpr VARTYPE kType = VT_VARIANT | VT_BYREF;
  using Holder = NoHolder;
  static VARIANT* Get(VARIANT& v, Holder&, HRESULT&) { return v.pvarVal; }
};
template <class I>
struct DispatchArg<I*, std::enable_if_t<std::is_base_of_v<IUnknown, I>>> {
  static constexpr VARTYPE kType = std::is_base_of_v<IDispatch, I> ? VT_DISPATCH : VT_UNKNOWN;
  using Holder = ComPtr<I>;
  static I* Get(VARIANT& v, Holder& holder, HRESULT& hr) {
    IUnknown* p = v.punkVal;
    if (!p) return nullptr;
    if constexpr (std::is_same_v<I, IUnknown> || std::is_same_v<I, IDispatch>) {
      return static_cast<I*>(p);
    } else {
      HRESULT qi = p->QueryInterface(I::kIID, reinterpret_cast<void**>(holder.Out()));
      if (FAILED(qi)) hr = DISP_E_TYPEMISMATCH;
      return holder.Get();
    }
  }
};

// The [out, retval] parameter: where the method writes, and how the value
// reaches the caller's result VARIANT.
template <class T, class = void>
struct DispatchResult;

template <class T, VARTYPE VT>
struct ScalarResult {
  static constexpr VARTYPE kType = VT;
  using Storage = T;
  static void Store(Storage& s, VARIANT* out) {
    out->vt = VT;
    if constexpr (VT == VT_BOOL) out->boolVal = static_cast<VARIANT_BOOL>(s);
    else if constexpr (VT == VT_R8) out->dblVal = static_cast<double>(s);
    else if constexpr (VT == VT_R4) out->fltVal = static_cast<float>(s);
    else out->lVal = static_cast<LONG>(s);
  }
};
template <> struct DispatchResult<long*> : ScalarResult<long, VT_I4> {};
template <> struct DispatchResult<int*> : ScalarResult<int, VT_I4> {};
template <> struct DispatchResult<short*> : ScalarResult<short, VT_BOOL> {};
template <> struct DispatchResult<double*> : ScalarResult<double, VT_R8> {};
template <> struct DispatchResult<float*> : ScalarResult<float, VT_R4> {};
template <class E>
struct DispatchResult<E*, std::enable_if_t<std::is_enum_v<E>>> : ScalarResult<E, VT_I4> {};
template <> struct DispatchResult<BSTR*> {
  static constexpr VARTYPE kType = VT_BSTR;
  using Storage = BSTR;
  static void Store(Storage& s, VARIANT* out) {
    out->vt = VT_BSTR;
    out->bstrVal = s;
  }
};
template <> struct DispatchResult<VARIANT*> {
  static constexpr VARTYPE kType = VT_VARIANT;
  using Storage = VARIANT;
  static void Store(Storage& s, VARIANT* out) { *out = s; }
};
template <class I>
struct DispatchResult<I**, std::enable_if_t<std::is_base_of_v<IUnknown, I>>> {
  static constexpr bool kDispatch = std::is_base_of_v<IDispatch, I>;
  static constexpr VARTYPE kType = kDispatch ? VT_DISPATCH : VT_UNKNOWN;
  using Storage = I*;
  static void Store(Storage& s, VARIANT* out) {
    out->vt = kType;
    if constexpr (kDispatch) out->pdispVal = s;
    else out->punkVal = s;
  }
};

template <auto Method, bool HasResult>
struct MemberBinder;

template <class I, class... A, HRESULT (I::*Method)(A...), bool HasResult>
struct MemberBinder<Method, HasResult> {
  static_assert(!HasResult || sizeof...(A) > 0, "a result needs an out-parameter");
  static constexpr size_t kIn = sizeof...(A) - (HasResult ? 1 : 0);
  template <size_t K>
  using Arg = std::tuple_element_t<K, std::tuple<A..., void>>;

  template <size_t... K>
  static std::vector<VARTYPE> Params(std::index_sequence<K...>) {
    return {DispatchArg<Arg<K>>::kType...};
  }
  static VARTYPE Result() {
    if constexpr (HasResult) return DispatchResult<Arg<kIn>>::kType;
    else return VT_EMPTY;
  }
  static HRESULT Invoke(void* instance, VARIANT* args, VARIANT* result) {
    return Call(static_cast<I*>(instance), args, result, std::make_index_sequence<kIn>{});
  }
  template <size_t... K>
  static HRESULT Call(I* self, VARIANT* args, VARIANT* result, std::index_sequence<K...>) {
    std::tuple<typename DispatchArg<Arg<K>>::Holder...> holders;
    HRESULT hr = S_OK;
    std::tuple<Arg<K>...> values{DispatchArg<Arg<K>>::Get(args[K], std::get<K>(holders), hr)...};
    if (FAILED(hr)) return hr;
    if constexpr (HasResult) {
      using R = DispatchResult<Arg<kIn>>;
      typename R::Storage out{};
      hr = (self->*Method)(std::get<K>(values)..., &out);
      if (SUCCEEDED(hr)) R::Store(out, result);
      return hr;
    } else {
      (void)result;
      return (self->*Method)(std::get<K>(values)...);
    }
  }
  static DispatchMember Describe(std::string name, DISPID dispid, MemberKind kind) {
    return DispatchMember{std::move(name), dispid, kind,
                          Params(std::make_index_sequence<kIn>{}), Result(), &Invoke};
  }
};

}  // namespace detail

// A method whose parameters are all inputs.
template <auto Method>
DispatchMember DescribeMethod(std::string name, DISPID dispid) {
  return detail::MemberBinder<Method, false>::Describe(std::move(name), dispid, MemberKind::Method);
}
// A method whose last parameter is its result ([out, retval]).
template <auto Method>
DispatchMember DescribeMethodWithResult(std::string name, DISPID dispid) {
  return detail::MemberBinder<Method, true>::Describe(std::move(name), dispid, MemberKind::Method);
}
// A property read: the method's only parameter is the value read.
template <auto Method>
DispatchMember DescribePropertyGet(std::string name, DISPID dispid) {
  return detail::MemberBinder<Method, true>::Describe(std::move(name), dispid,
                                                     MemberKind::PropertyGet);
}
// A property write by value, or by reference (putref) for objects.
template <auto Method>
DispatchMember DescribePropertyPut(std::string name, DISPID dispid) {
  return detail::MemberBinder<Method, false>::Describe(std::move(name), dispid,
                                                      MemberKind::PropertyPut);
}
template <auto Method>
DispatchMember DescribePropertyPutRef(std::string name, DISPID dispid) {
  return detail::MemberBinder<Method, false>::Describe(std::move(name), dispid,
                                                      MemberKind::PropertyPutRef);
}

}  // namespace ardo
