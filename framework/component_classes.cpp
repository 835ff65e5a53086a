#include "framework/component_classes.h"

#include <type_traits>

namespace {

// The one body behind all creation functions: a new instance of clsid asked
// for Interface; anything but S_OK throws. Result is either the raw pointer
// (the caller owns its reference) or a wrapper that takes the reference over.
template <class Result, class Interface>
Result CreateComponent(REFCLSID clsid, IUnknown* pUnkOuter, unsigned long dwClsContext) {
  Interface* created = nullptr;
  HRESULT hr = ::CoCreateInstance(clsid, pUnkOuter, static_cast<DWORD>(dwClsContext),
                                  ardo::IidOf<Interface>(), reinterpret_cast<void**>(&created));
  if (hr != S_OK) {
    // A success code other than S_OK still counts as failure here; whatever
    // came with it is released so that nothing leaks.
    if (created) created->Release();
    AfxThrowComException(hr);
  }
  if constexpr (std::is_pointer_v<Result>) {
    return created;
  } else {
    return Result(created, 0);
  }
}

}  // namespace

#define ARDO_DEFINE_CREATOR(Class, Result, Interface, Name)            \
  Result Class::Name(IUnknown* pUnkOuter, unsigned long dwClsContext) { \
    return CreateComponent<Result, Interface>(m_ClsId, pUnkOuter, dwClsContext); \
  }

#define ARDO_DEFINE_COMPONENT_CLASS(Class, ClsId, Creators)       \
  const GUID Class::m_ClsId = ClsId;                              \
  Class& Class::operator=(const Class&) { return *this; }         \
  Creators(ARDO_DEFINE_CREATOR, Class)

ARDO_COMPONENT_CLASSES(ARDO_DEFINE_COMPONENT_CLASS)
