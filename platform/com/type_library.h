// Type libraries. A component describes its dispatch interfaces in code
// (ardo::TypeLibraryDescription), builds an ITypeLib from the description
// and registers it; late-bound callers then reach the interfaces' own
// methods through ITypeInfo::Invoke.
#pragma once

#include <string>
#include <vector>

#include "platform/com/dispatch.h"

struct ITypeLib;

enum SYSKIND { SYS_WIN16 = 0, SYS_WIN32 = 1, SYS_MAC = 2, SYS_WIN64 = 3 };

inline constexpr MEMBERID MEMBERID_NIL = DISPID_UNKNOWN;

typedef struct tagTLIBATTR {
  GUID guid;
  LCID lcid;
  SYSKIND syskind;
  WORD wMajorVerNum;
  WORD wMinorVerNum;
  WORD wLibFlags;
} TLIBATTR;

struct ITypeInfo : IUnknown {
  ARDO_INTERFACE(ITypeInfo, IUnknown, 0x00020401, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00,
                 0x00, 0x00, 0x46);
  // Names to DISPIDs, case-insensitively: the first name is the member's.
  // Parameters are not named, so further names get DISPID_UNKNOWN.
  // DISP_E_UNKNOWNNAME when any name is unknown.
  virtual HRESULT STDMETHODCALLTYPE GetIDsOfNames(LPOLESTR* rgszNames, UINT cNames,
                                                  MEMBERID* pMemId) = 0;
  // Calls member memid on pvInstance, which must point to the described
  // interface. rgvarg is in reverse order; each argument is coerced to its
  // declared type. DISP_E_MEMBERNOTFOUND (no such member for wFlags),
  // DISP_E_BADPARAMCOUNT, DISP_E_NONAMEDARGS, DISP_E_TYPEMISMATCH or
  // DISP_E_OVERFLOW (*puArgErr = the argument's index in rgvarg). A failing
  // method gives DISP_E_EXCEPTION with pExcepInfo->scode set, or its own
  // HRESULT when pExcepInfo is null.
  virtual HRESULT STDMETHODCALLTYPE Invoke(PVOID pvInstance, MEMBERID memid, WORD wFlags,
                                           DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                           EXCEPINFO* pExcepInfo, UINT* puArgErr) = 0;
  // The member's name (MEMBERID_NIL: the interface's); the other outputs are
  // empty. Any out-pointer may be null. TYPE_E_ELEMENTNOTFOUND for an unknown member.
  virtual HRESULT STDMETHODCALLTYPE GetDocumentation(MEMBERID memid, BSTR* pBstrName,
                                                     BSTR* pBstrDocString,
                                                     DWORD* pdwHelpContext,
                                                     BSTR* pBstrHelpFile) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetContainingTypeLib(ITypeLib** ppTLib, UINT* pIndex) = 0;
};

struct ITypeLib : IUnknown {
  ARDO_INTERFACE(ITypeLib, IUnknown, 0x00020402, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00,
                 0x00, 0x00, 0x46);
  virtual UINT STDMETHODCALLTYPE GetTypeInfoCount() = 0;
  // TYPE_E_ELEMENTNOTFOUND for an index out of range.
  virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, ITypeInfo** ppTInfo) = 0;
  // TYPE_E_ELEMENTNOTFOUND for an interface the library does not describe.
  virtual HRESULT STDMETHODCALLTYPE GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** ppTInfo) = 0;
  // A record the caller returns with ReleaseTLibAttr.
  virtual HRESULT STDMETHODCALLTYPE GetLibAttr(TLIBATTR** ppTLibAttr) = 0;
  virtual void STDMETHODCALLTYPE ReleaseTLibAttr(TLIBATTR* pTLibAttr) = 0;
  // Index -1: the library's own name; otherwise the interface's.
  virtual HRESULT STDMETHODCALLTYPE GetDocumentation(INT index, BSTR* pBstrName,
                                                     BSTR* pBstrDocString,
                                                     DWORD* pdwHelpContext,
                                                     BSTR* pBstrHelpFile) = 0;
};

inline constexpr const IID& IID_ITypeInfo = ITypeInfo::kIID;
inline constexpr const IID& IID_ITypeLib = ITypeLib::kIID;

// The registered library with this identity, the same major version and at
// least this minor version (one reference, the caller's).
// TYPE_E_LIBNOTREGISTERED when there is none.
HRESULT LoadRegTypeLib(REFGUID rguid, WORD wVerMajor, WORD wVerMinor, LCID lcid,
                       ITypeLib** pptlib);
// Registers the library under its identity and version (the registry keeps a
// reference; a library of the same identity and version is replaced). The
// path and help folder are not used.
HRESULT RegisterTypeLib(ITypeLib* ptlib, LPCOLESTR szFullPath, LPCOLESTR szHelpDir);
// TYPE_E_LIBNOTREGISTERED when that exact version is not registered.
HRESULT UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid,
                          SYSKIND syskind);

namespace ardo {

enum class MemberKind { Method, PropertyGet, PropertyPut, PropertyPutRef };

// Calls the interface's own method on instance. args holds the arguments in
// declaration order, each already of its declared type (by-reference ones
// point at the caller's storage); the thunk stores the method's result, if
// it has one, in *result (which starts VT_EMPTY) and returns its HRESULT.
using DispatchThunk = HRESULT (*)(void* instance, VARIANT* args, VARIANT* result);

struct DispatchMember {
  std::string name;
  DISPID dispid;
  MemberKind kind;
  std::vector<VARTYPE> params;  // declared types; VT_VARIANT takes any value
  VARTYPE result;               // VT_EMPTY when the member returns nothing
  DispatchThunk invoke;
};

struct DispatchInterface {
  IID iid;
  std::string name;
  std::vector<DispatchMember> members;
};

struct TypeLibraryDescription {
  GUID libid;
  WORD major;
  WORD minor;
  std::string name;
  std::vector<DispatchInterface> interfaces;
};

// A new type library from the description (one reference, the caller's).
// E_INVALIDARG when an interface is described twice or a member lacks a thunk.
HRESULT CreateTypeLibrary(const TypeLibraryDescription& description, ITypeLib** out);

// Late binding of the objects we implement: once a component serves the
// type information of a dispatch interface, every object whose first listed
// interface it is answers IDispatch through it (see ComObjectBase). The
// information is kept whether or not its library stays registered, until
// null info withdraws it.
HRESULT ServeDispatchInterface(const IID& iid, ITypeInfo* info);
// The information served for iid (no reference added), or null.
ITypeInfo* ServedDispatchInterface(const IID& iid);

}  // namespace ardo
