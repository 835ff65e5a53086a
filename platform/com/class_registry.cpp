#include "platform/com/class_registry.h"

#include "platform/com/error_info.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct ThreadComState {
  long count = 0;
  DWORD model = 0;
};
thread_local ThreadComState t_com;

struct ClassRegistration {
  DWORD cookie;
  CLSID clsid;
  IClassFactory* factory;  // one reference, held until revoked
  DWORD contexts;
};

struct ProgIdEntry {
  std::string progId;  // as registered, for ProgIDFromCLSID
  CLSID clsid;
  unsigned long order;
};

// Process-wide. Never destroyed: the class objects it holds belong to
// libraries whose own statics may already be gone when the process ends.
struct ClassRegistry {
  std::mutex mutex;
  std::vector<ClassRegistration> classes;
  std::map<std::string, ProgIdEntry> progIds;  // keyed by lower-case ProgID
  DWORD nextCookie = 1;
  unsigned long nextOrder = 0;
};

ClassRegistry& Registry() {
  static ClassRegistry* registry = new ClassRegistry;
  return *registry;
}

std::string Lowered(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

bool IsWellFormedProgId(const std::string& progId) {
  if (progId.empty() || progId.size() > 39) return false;
  auto isLetter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  if (!isLetter(progId[0])) return false;
  for (char c : progId)
    if (!isLetter(c) && !(c >= '0' && c <= '9') && c != '.' && c != '_') return false;
  return true;
}

// The newest registration of the class serving one of the contexts, with
// an added reference; null if none.
IClassFactory* FindFactory(REFCLSID clsid, DWORD contexts) {
  ClassRegistry& registry = Registry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  for (auto it = registry.classes.rbegin(); it != registry.classes.rend(); ++it) {
    if (it->clsid == clsid && (it->contexts & contexts)) {
      it->factory->AddRef();
      return it->factory;
    }
  }
  return nullptr;
}

}  // namespace

HRESULT CoInitializeEx(LPVOID, DWORD dwCoInit) {
  DWORD model = dwCoInit & COINIT_APARTMENTTHREADED;
  if (t_com.count > 0 && t_com.model != model) return RPC_E_CHANGED_MODE;
  if (t_com.count++ == 0) {
    t_com.model = model;
    return S_OK;
  }
  return S_FALSE;
}

HRESULT CoInitialize(LPVOID pvReserved) {
  return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED);
}

void CoUninitialize() {
  if (t_com.count > 0) --t_com.count;
  // The last uninitialisation of a thread lets its error object go.
  if (t_com.count == 0) SetErrorInfo(0, nullptr);
}

HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID, REFIID riid, LPVOID* ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (t_com.count == 0) return CO_E_NOTINITIALIZED;
  IClassFactory* factory = FindFactory(rclsid, dwClsContext);
  if (!factory) return REGDB_E_CLASSNOTREG;
  HRESULT hr = factory->QueryInterface(riid, ppv);
  factory->Release();
  return hr;
}

HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid,
                         LPVOID* ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (t_com.count == 0) return CO_E_NOTINITIALIZED;
  if (pUnkOuter) return CLASS_E_NOAGGREGATION;
  IClassFactory* factory = FindFactory(rclsid, dwClsContext);
  if (!factory) return REGDB_E_CLASSNOTREG;
  HRESULT hr = factory->CreateInstance(nullptr, riid, ppv);
  factory->Release();
  if (FAILED(hr)) *ppv = nullptr;
  return hr;
}

HRESULT CoRegisterClassObject(REFCLSID rclsid, LPUNKNOWN pUnk, DWORD dwClsContext, DWORD,
                              LPDWORD lpdwRegister) {
  if (!pUnk || !lpdwRegister) return E_INVALIDARG;
  *lpdwRegister = 0;
  IClassFactory* factory = nullptr;
  HRESULT hr = pUnk->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) return hr;
  ClassRegistry& registry = Registry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  DWORD cookie = registry.nextCookie++;
  registry.classes.push_back({cookie, rclsid, factory, dwClsContext});
  *lpdwRegister = cookie;
  return S_OK;
}

HRESULT CoRevokeClassObject(DWORD dwRegister) {
  IClassFactory* factory = nullptr;
  {
    ClassRegistry& registry = Registry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    for (auto it = registry.classes.begin(); it != registry.classes.end(); ++it) {
      if (it->cookie == dwRegister) {
        factory = it->factory;
        registry.classes.erase(it);
        break;
      }
    }
  }
  if (!factory) return CO_E_OBJNOTREG;
  factory->Release();  // outside the lock: the factory may call back into the registry
  return S_OK;
}

HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid) {
  if (!lpclsid) return E_POINTER;
  if (!lpszProgID) return E_INVALIDARG;
  std::string text = ardo::BstrToUtf8(lpszProgID);
  if (!text.empty() && text[0] == '{')
    return ardo::ParseGuid(text.c_str(), lpclsid) ? S_OK : CO_E_CLASSSTRING;
  if (!IsWellFormedProgId(text)) return CO_E_CLASSSTRING;
  ClassRegistry& registry = Registry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  auto it = registry.progIds.find(Lowered(text));
  if (it == registry.progIds.end()) return CO_E_CLASSSTRING;
  *lpclsid = it->second.clsid;
  return S_OK;
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID) {
  if (!lplpszProgID) return E_INVALIDARG;
  *lplpszProgID = nullptr;
  std::string found;
  {
    ClassRegistry& registry = Registry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    const ProgIdEntry* first = nullptr;
    for (const auto& [key, entry] : registry.progIds)
      if (entry.clsid == clsid && (!first || entry.order < first->order)) first = &entry;
    if (!first) return REGDB_E_CLASSNOTREG;
    found = first->progId;
  }
  std::u16string wide = ardo::Utf8ToUtf16(found);
  auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc((wide.size() + 1) * sizeof(OLECHAR)));
  if (!copy) return E_OUTOFMEMORY;
  std::memcpy(copy, wide.c_str(), (wide.size() + 1) * sizeof(OLECHAR));
  *lplpszProgID = copy;
  return S_OK;
}

LPVOID CoTaskMemAlloc(SIZE_T cb) { return std::malloc(cb ? cb : 1); }
LPVOID CoTaskMemRealloc(LPVOID pv, SIZE_T cb) { return std::realloc(pv, cb ? cb : 1); }
void CoTaskMemFree(LPVOID pv) { std::free(pv); }

namespace ardo {

HRESULT RegisterProgID(const char* progId, REFCLSID clsid) {
  if (!progId || !IsWellFormedProgId(progId)) return CO_E_CLASSSTRING;
  ClassRegistry& registry = Registry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  registry.progIds[Lowered(progId)] = ProgIdEntry{progId, clsid, registry.nextOrder++};
  return S_OK;
}

HRESULT UnregisterProgID(const char* progId) {
  if (!progId) return S_FALSE;
  ClassRegistry& registry = Registry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  return registry.progIds.erase(Lowered(progId)) ? S_OK : S_FALSE;
}

long ComInitCount() { return t_com.count; }

}  // namespace ardo
