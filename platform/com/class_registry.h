// The COM runtime: per-thread initialisation, the class registry (class
// objects, ProgIDs) and object creation, and the task allocator.
#pragma once

#include "platform/com/unknown.h"

enum CLSCTX : DWORD {
  CLSCTX_INPROC_SERVER = 0x1,
  CLSCTX_INPROC_HANDLER = 0x2,
  CLSCTX_LOCAL_SERVER = 0x4,
  CLSCTX_REMOTE_SERVER = 0x10,
  CLSCTX_SERVER = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER,
  CLSCTX_ALL = CLSCTX_SERVER | CLSCTX_INPROC_HANDLER,  // 23
};

enum COINIT : DWORD {
  COINIT_MULTITHREADED = 0x0,
  COINIT_APARTMENTTHREADED = 0x2,
  COINIT_DISABLE_OLE1DDE = 0x4,
  COINIT_SPEED_OVER_MEMORY = 0x8,
};

enum REGCLS : DWORD {
  REGCLS_SINGLEUSE = 0,
  REGCLS_MULTIPLEUSE = 1,
  REGCLS_MULTI_SEPARATE = 2,
  REGCLS_SUSPENDED = 4,
};

// Counted per thread: the first call on a thread returns S_OK, later ones
// S_FALSE; each successful call needs one CoUninitialize. Asking for the
// other threading model while initialised gives RPC_E_CHANGED_MODE (not counted).
HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
HRESULT CoInitialize(LPVOID pvReserved);  // apartment-threaded
void CoUninitialize();

// A new object of a registered class, interface riid in *ppv (one reference,
// the caller's). E_POINTER for a null ppv; CO_E_NOTINITIALIZED on a thread
// without COM; CLASS_E_NOAGGREGATION for a non-null outer object (the
// factory is not asked); REGDB_E_CLASSNOTREG when no class object is
// registered for the class in a context the caller allows; E_NOINTERFACE
// when the object lacks riid. *ppv is null on every failure.
HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid,
                         LPVOID* ppv);
// The registered class object itself, interface riid (IID_IClassFactory).
HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID pvReserved, REFIID riid,
                         LPVOID* ppv);

// Registers pUnk (it must answer IClassFactory; E_NOINTERFACE otherwise) as
// the class object of rclsid, in the contexts dwClsContext. The registry
// keeps a reference until CoRevokeClassObject. A later registration of the
// same class takes precedence until revoked. Works before any CoInitialize,
// so that libraries can register from their static constructors.
HRESULT CoRegisterClassObject(REFCLSID rclsid, LPUNKNOWN pUnk, DWORD dwClsContext, DWORD flags,
                              LPDWORD lpdwRegister);
// Releases the registration; CO_E_OBJNOTREG for an unknown cookie.
HRESULT CoRevokeClassObject(DWORD dwRegister);

// The class of a ProgID (case-insensitive), or of a braced class identity
// text. CO_E_CLASSSTRING for malformed text or an unknown ProgID.
HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid);
// The first ProgID registered for the class, in a CoTaskMemAlloc'ed string
// the caller frees with CoTaskMemFree; REGDB_E_CLASSNOTREG if it has none.
HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID);

// The task allocator. Free(null) is a no-op; Alloc returns null when out of memory.
LPVOID CoTaskMemAlloc(SIZE_T cb);
LPVOID CoTaskMemRealloc(LPVOID pv, SIZE_T cb);
void CoTaskMemFree(LPVOID pv);

namespace ardo {

// Associates a ProgID with a class (replacing an earlier association of the
// same ProgID). A ProgID is 1 to 39 characters of letters, digits, '.' and
// '_', beginning with a letter; others give CO_E_CLASSSTRING.
HRESULT RegisterProgID(const char* progId, REFCLSID clsid);
// S_OK, or S_FALSE when the ProgID was not registered.
HRESULT UnregisterProgID(const char* progId);
// How many times COM is initialised on the calling thread.
long ComInitCount();

}  // namespace ardo
