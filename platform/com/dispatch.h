// Late binding: IDispatch with its call records, and IEnumVARIANT.
#pragma once

#include "platform/com/variant.h"

struct ITypeInfo;

typedef DWORD LCID;
typedef LONG DISPID;
typedef DISPID MEMBERID;

inline constexpr DISPID DISPID_UNKNOWN = -1;
inline constexpr DISPID DISPID_VALUE = 0;
inline constexpr DISPID DISPID_PROPERTYPUT = -3;
inline constexpr DISPID DISPID_NEWENUM = -4;
inline constexpr DISPID DISPID_EVALUATE = -5;

inline constexpr WORD DISPATCH_METHOD = 0x1;
inline constexpr WORD DISPATCH_PROPERTYGET = 0x2;
inline constexpr WORD DISPATCH_PROPERTYPUT = 0x4;
inline constexpr WORD DISPATCH_PROPERTYPUTREF = 0x8;

inline constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;
inline constexpr LCID LOCALE_USER_DEFAULT = 0x0400;

// Arguments of a late-bound call. rgvarg holds them in reverse order: the
// last argument first. Named arguments (a property put's value is named
// DISPID_PROPERTYPUT) come first in rgvarg.
typedef struct tagDISPPARAMS {
  VARIANTARG* rgvarg;
  DISPID* rgdispidNamedArgs;
  UINT cArgs;
  UINT cNamedArgs;
} DISPPARAMS;

// Filled by a call that returns DISP_E_EXCEPTION; the caller frees the BSTRs.
typedef struct tagEXCEPINFO {
  WORD wCode;
  WORD wReserved;
  BSTR bstrSource;
  BSTR bstrDescription;
  BSTR bstrHelpFile;
  DWORD dwHelpContext;
  PVOID pvReserved;
  HRESULT (*pfnDeferredFillIn)(struct tagEXCEPINFO*);
  SCODE scode;
} EXCEPINFO;

struct IDispatch : IUnknown {
  ARDO_INTERFACE(IDispatch, IUnknown, 0x00020400, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00,
                 0x00, 0x00, 0x46);
  // 1 when the object offers type information, else 0.
  virtual HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) = 0;
  // The object's type information (one reference, the caller's).
  virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) = 0;
  // Member names (case-insensitive) to DISPIDs; DISP_E_UNKNOWNNAME if any is unknown.
  virtual HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames,
                                                  LCID lcid, DISPID* rgDispId) = 0;
  virtual HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid,
                                           WORD wFlags, DISPPARAMS* pDispParams,
                                           VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                                           UINT* puArgErr) = 0;
};
typedef IDispatch* LPDISPATCH;

struct IEnumVARIANT : IUnknown {
  ARDO_INTERFACE(IEnumVARIANT, IUnknown, 0x00020404, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00,
                 0x00, 0x00, 0x00, 0x46);
  // Up to celt values into rgVar (the caller clears them); S_FALSE when fewer
  // than celt were left.
  virtual HRESULT STDMETHODCALLTYPE Next(ULONG celt, VARIANT* rgVar, ULONG* pCeltFetched) = 0;
  virtual HRESULT STDMETHODCALLTYPE Skip(ULONG celt) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
  virtual HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** ppEnum) = 0;
};

inline constexpr const IID& IID_IDispatch = IDispatch::kIID;
inline constexpr const IID& IID_IEnumVARIANT = IEnumVARIANT::kIID;
