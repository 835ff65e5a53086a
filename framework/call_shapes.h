// One generic helper per call shape. Every calling-wrapper method is one line
// over one of these: the helper converts the caller's arguments into their COM
// forms by the parameter types of the interface method, calls the method once,
// throws CComException for a negative HRESULT and converts the out-value into
// the wrapper method's result.
//
//   CString CXMLDOMNode::GetNodeName()
//   { return ardo::call::Get<CString>(P(), &IXMLDOMNode::get_nodeName); }
//
// Argument conversions, chosen by the interface method's parameter type:
//   BSTR          <- const char*: a temporary BSTR (null text = empty, never a
//                    null BSTR), freed after the call on every path.
//   VARIANT_BOOL  <- int: the low 16 bits unchanged (1 stays 1, not VARIANT_TRUE).
//   VARIANT       <- _variant_t by value: its content moves into a temporary
//                    that is cleared after the call.
//   anything else <- passed unchanged (long, enumerations, interface pointers;
//                    no AddRef, no Release, no null test).
// Result conversions, chosen by the out-parameter type:
//   BSTR          -> CString: the text up to the first NUL; null gives "".
//   VARIANT_BOOL  -> int: widened with its sign, so VARIANT_TRUE gives -1.
//   VARIANT       -> VARIANT: contents intact; the caller owns and clears it.
//   interface*    -> a wrapper built with bAddRef 0 (it takes over the
//                    delivered reference; null gives an empty wrapper), or the
//                    raw pointer when R is a pointer (the caller owns it).
//   other scalars -> the value as delivered.
// S_FALSE and every other non-negative HRESULT count as success. A member
// called on an empty wrapper throws CComException with E_POINTER (a probe
// answers 0) instead of calling through a null interface.
#pragma once

#include <cstddef>
#include <tuple>
#include <type_traits>
#include <utility>

#include "framework/com_exception.h"
#include "platform/platform.h"

namespace ardo::call {
namespace detail {

template <class M>
struct MethodTraits;

template <class I, class... P>
struct MethodTraits<HRESULT (STDMETHODCALLTYPE I::*)(P...)> {
  using Interface = I;
  using Params = std::tuple<P...>;
  static constexpr std::size_t kArity = sizeof...(P);
};

template <class M>
using InterfaceOf = typename MethodTraits<M>::Interface;

template <std::size_t N, class M>
using ParamOf = std::tuple_element_t<N, typename MethodTraits<M>::Params>;

// Long, enumeration and interface-pointer arguments pass unchanged.
template <class P>
class Arg {
 public:
  template <class A>
  explicit Arg(A&& value) : value_(static_cast<P>(std::forward<A>(value))) {}
  P Get() const { return value_; }

 private:
  P value_;
};

// A string argument lives as a temporary BSTR for the length of the call.
template <>
class Arg<BSTR> {
 public:
  explicit Arg(const char* text) : bstr_(ardo::Utf8ToBstr(text ? text : "")) {
    if (!bstr_) AfxThrowMemoryException();
  }
  ~Arg() { SysFreeString(bstr_); }
  Arg(const Arg&) = delete;
  Arg& operator=(const Arg&) = delete;
  BSTR Get() const { return bstr_; }

 private:
  BSTR bstr_;
};

// Flags keep their low 16 bits: the engine sees exactly what the host gave.
template <>
class Arg<VARIANT_BOOL> {
 public:
  explicit Arg(int flag) : flag_(static_cast<VARIANT_BOOL>(flag)) {}
  VARIANT_BOOL Get() const { return flag_; }

 private:
  VARIANT_BOOL flag_;
};

// A variant argument is handed over by value; the temporary that holds its
// content is cleared after the call, whatever the call returned.
template <>
class Arg<VARIANT> {
 public:
  explicit Arg(_variant_t value) : value_(value.Detach()) {}
  ~Arg() { VariantClear(&value_); }
  Arg(const Arg&) = delete;
  Arg& operator=(const Arg&) = delete;
  VARIANT Get() const { return value_; }

 private:
  VARIANT value_;
};

// The converted arguments, built in parameter order (members initialise in
// declaration order) and released when the call frame unwinds.
template <class... P>
struct ArgList {
  template <class Call, class... Ready>
  HRESULT Apply(Call&& call, Ready... ready) {
    return call(ready...);
  }
};

template <class First, class... Rest>
struct ArgList<First, Rest...> {
  template <class A, class... B>
  explicit ArgList(A&& first, B&&... rest)
      : head(std::forward<A>(first)), tail(std::forward<B>(rest)...) {}

  template <class Call, class... Ready>
  HRESULT Apply(Call&& call, Ready... ready) {
    return tail.Apply(std::forward<Call>(call), ready..., head.Get());
  }

  Arg<First> head;
  ArgList<Rest...> tail;
};

template <class M, class Seq>
struct LeadingArgs;

template <class M, std::size_t... N>
struct LeadingArgs<M, std::index_sequence<N...>> {
  using type = ArgList<ParamOf<N, M>...>;
};

// The argument list of the first `count` parameters of method M.
template <class M, std::size_t count>
using ArgsOf = typename LeadingArgs<M, std::make_index_sequence<count>>::type;

// The out-value, prepared as the conventions require: null, VariantInit-ed or
// zero.
template <class O>
struct OutValue {
  O value{};
};

template <>
struct OutValue<VARIANT> {
  OutValue() { VariantInit(&value); }
  VARIANT value;
};

template <class R, class O>
R ToResult(O& out) {
  if constexpr (std::is_same_v<O, BSTR>) {
    _bstr_t owner(out, false);  // takes over the delivered BSTR and frees it
    out = nullptr;
    const OLECHAR* text = static_cast<const OLECHAR*>(owner);
    return text ? R(text) : R();
  } else if constexpr (std::is_same_v<O, VARIANT_BOOL>) {
    return static_cast<R>(out);  // sign-widened: VARIANT_TRUE becomes -1
  } else if constexpr (std::is_pointer_v<O> && !std::is_pointer_v<R>) {
    return R(out, 0);  // the wrapper takes over the delivered reference
  } else {
    return static_cast<R>(out);
  }
}

[[noreturn]] inline void Fail(HRESULT hr) {
  AfxThrowComException(hr);
  __builtin_unreachable();  // AfxThrowComException always throws
}

// The interface a member calls. An empty wrapper has none: the member raises
// what a failing call would, with E_POINTER, rather than call through null.
template <class M, class Obj>
InterfaceOf<M>* Target(Obj* p) {
  if (!p) Fail(E_POINTER);
  return static_cast<InterfaceOf<M>*>(p);
}

}  // namespace detail

// Shape: a call whose last interface parameter is an out-value (getters,
// object results, calls with arguments and a result).
template <class R, class Obj, class M, class... A>
R Get(Obj* p, M method, A&&... args) {
  static_assert(detail::MethodTraits<M>::kArity == sizeof...(A) + 1,
                "the interface method takes the arguments and one out-value");
  using OutPtr = detail::ParamOf<sizeof...(A), M>;
  using O = std::remove_pointer_t<OutPtr>;
  auto* target = detail::Target<M>(p);
  detail::ArgsOf<M, sizeof...(A)> converted(std::forward<A>(args)...);
  detail::OutValue<O> out;
  HRESULT hr = converted.Apply(
      [&](auto... ready) { return (target->*method)(ready..., &out.value); });
  if (FAILED(hr)) detail::Fail(hr);
  return detail::ToResult<R>(out.value);
}

// Shape: a call without an out-value (setters, by-reference setters, void
// calls, object arguments without a result).
template <class Obj, class M, class... A>
void Put(Obj* p, M method, A&&... args) {
  static_assert(detail::MethodTraits<M>::kArity == sizeof...(A),
                "the interface method takes exactly the arguments");
  auto* target = detail::Target<M>(p);
  detail::ArgsOf<M, sizeof...(A)> converted(std::forward<A>(args)...);
  HRESULT hr = converted.Apply([&](auto... ready) { return (target->*method)(ready...); });
  if (FAILED(hr)) detail::Fail(hr);
}

namespace detail {

// Runs a probe: the interface delivered (if any) is released, never handed on;
// nothing is thrown for a failing HRESULT.
template <class Obj, class M, class... A>
std::pair<HRESULT, bool> Probe(Obj* p, M method, A&&... args) {
  static_assert(MethodTraits<M>::kArity == sizeof...(A) + 1,
                "a probe's interface method takes the arguments and one out-pointer");
  using O = std::remove_pointer_t<ParamOf<sizeof...(A), M>>;
  static_assert(std::is_pointer_v<O>, "a probe's out-value is an interface pointer");
  if (!p) return {E_POINTER, false};  // an empty wrapper finds nothing
  ArgsOf<M, sizeof...(A)> converted(std::forward<A>(args)...);
  O delivered = nullptr;
  auto* target = static_cast<InterfaceOf<M>*>(p);
  HRESULT hr = converted.Apply([&](auto... ready) { return (target->*method)(ready..., &delivered); });
  bool found = delivered != nullptr;
  if (delivered) delivered->Release();
  return {hr, found};
}

}  // namespace detail

// Probe shape: 1 when the HRESULT is exactly S_OK, else 0 (S_FALSE and every
// failure give 0). Never throws for an HRESULT.
template <class Obj, class M, class... A>
int ProbeOk(Obj* p, M method, A&&... args) {
  return detail::Probe(p, method, std::forward<A>(args)...).first == S_OK ? 1 : 0;
}

// Probe shape: 1 when the HRESULT is non-negative and an object came back, so
// a success that delivers nothing answers 0. Never throws for an HRESULT.
template <class Obj, class M, class... A>
int ProbeFound(Obj* p, M method, A&&... args) {
  auto [hr, found] = detail::Probe(p, method, std::forward<A>(args)...);
  return SUCCEEDED(hr) && found ? 1 : 0;
}

}  // namespace ardo::call
