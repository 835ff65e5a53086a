// IUnknown and IClassFactory: the root of every interface, and the factory
// that the class registry asks for new objects.
#pragma once

#include "platform/com/guid.h"

#define STDMETHODCALLTYPE
#define STDAPI HRESULT
#define STDMETHODIMP HRESULT
#define STDMETHODIMP_(type) type
#define STDMETHOD(method) virtual HRESULT method
#define STDMETHOD_(type, method) virtual type method
#define PURE = 0

// Reference counts are atomic. QueryInterface delivers one reference that
// the caller releases; on failure it stores null and returns E_NOINTERFACE.
struct IUnknown {
  ARDO_INTERFACE(IUnknown, void, 0x00000000, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00,
                 0x00, 0x00, 0x46);
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;
};
typedef IUnknown* LPUNKNOWN;

struct IClassFactory : IUnknown {
  ARDO_INTERFACE(IClassFactory, IUnknown, 0x00000001, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00,
                 0x00, 0x00, 0x00, 0x46);
  // A new object's interface riid in *ppvObject (one reference, the caller's).
  // A non-null outer object gives CLASS_E_NOAGGREGATION.
  virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                                   void** ppvObject) = 0;
  virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) = 0;
};

inline constexpr const IID& IID_IUnknown = IUnknown::kIID;
inline constexpr const IID& IID_IClassFactory = IClassFactory::kIID;
