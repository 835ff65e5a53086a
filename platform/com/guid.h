// GUID: the 16-byte identity of an interface (IID), a component class
// (CLSID) or a type library. Text form: {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}.
#pragma once

#include <cstring>
#include <string>

#include "platform/com/hresult.h"
#include "platform/win/text_encoding.h"

struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
typedef GUID IID;
typedef GUID CLSID;
typedef const GUID& REFGUID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;
typedef CLSID* LPCLSID;

constexpr bool operator==(const GUID& a, const GUID& b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return true;
}
constexpr bool operator!=(const GUID& a, const GUID& b) { return !(a == b); }
// Field by field, so that GUIDs can key ordered containers.
constexpr bool operator<(const GUID& a, const GUID& b) {
  if (a.Data1 != b.Data1) return a.Data1 < b.Data1;
  if (a.Data2 != b.Data2) return a.Data2 < b.Data2;
  if (a.Data3 != b.Data3) return a.Data3 < b.Data3;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return a.Data4[i] < b.Data4[i];
  return false;
}

inline constexpr GUID GUID_NULL{0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
#define IID_NULL GUID_NULL
#define CLSID_NULL GUID_NULL
inline bool IsEqualGUID(REFGUID a, REFGUID b) { return a == b; }
inline bool IsEqualIID(REFIID a, REFIID b) { return a == b; }
inline bool IsEqualCLSID(REFCLSID a, REFCLSID b) { return a == b; }

// Writes the braced text form and its NUL (39 characters) into buf; returns
// the characters written including the NUL, or 0 when cchMax is too small.
int StringFromGUID2(REFGUID guid, LPOLESTR buf, int cchMax);
// Parses the braced text form (hex digits in either case). Malformed text
// or a null pointer gives CO_E_CLASSSTRING; a null out-pointer E_POINTER.
HRESULT CLSIDFromString(LPCOLESTR text, LPCLSID clsid);
HRESULT IIDFromString(LPCOLESTR text, IID* iid);

namespace ardo {

std::string GuidToString(REFGUID guid);
// The braced text form, surrounding spaces not allowed; false if malformed.
bool ParseGuid(const char* text, GUID* out);

// Placed inside each interface struct: its identity and its base interface.
// ardo::ComObject walks the BaseInterface chain to answer QueryInterface.
#define ARDO_INTERFACE(Name, Base, l, w1, w2, b0, b1, b2, b3, b4, b5, b6, b7)   \
  static constexpr GUID kIID{l, w1, w2, {b0, b1, b2, b3, b4, b5, b6, b7}};     \
  static constexpr const char* kInterfaceName = #Name;                          \
  using BaseInterface = Base;

template <class T>
constexpr const IID& IidOf() {
  return T::kIID;
}

}  // namespace ardo
