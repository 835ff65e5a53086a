// Rich error information: the per-thread error object through which a
// component tells its caller why a call failed (SetErrorInfo by the
// component, GetErrorInfo by the caller right after the failing call).
#pragma once

#include "platform/com/bstr.h"
#include "platform/com/guid.h"
#include "platform/com/unknown.h"

struct IErrorInfo : IUnknown {
  ARDO_INTERFACE(IErrorInfo, IUnknown, 0x1CF2B120, 0x547D, 0x101B, 0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B,
                 0xD1, 0x19);
  virtual HRESULT STDMETHODCALLTYPE GetGUID(GUID* pGUID) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSource(BSTR* pBstrSource) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDescription(BSTR* pBstrDescription) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* pBstrHelpFile) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* pdwHelpContext) = 0;
};

struct ICreateErrorInfo : IUnknown {
  ARDO_INTERFACE(ICreateErrorInfo, IUnknown, 0x22F03340, 0x547D, 0x101B, 0x8E, 0x65, 0x08, 0x00, 0x2B,
                 0x2B, 0xD1, 0x19);
  virtual HRESULT STDMETHODCALLTYPE SetGUID(REFGUID rguid) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSource(LPOLESTR szSource) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetDescription(LPOLESTR szDescription) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetHelpFile(LPOLESTR szHelpFile) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetHelpContext(DWORD dwHelpContext) = 0;
};

inline constexpr const IID& IID_IErrorInfo = IErrorInfo::kIID;
inline constexpr const IID& IID_ICreateErrorInfo = ICreateErrorInfo::kIID;

// A new, empty error object (it answers both interfaces).
HRESULT CreateErrorInfo(ICreateErrorInfo** pperrinfo);
// Makes perrinfo (or nothing, for null) the calling thread's error object;
// dwReserved must be 0.
HRESULT SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo);
// Hands the calling thread's error object to the caller and clears it:
// S_FALSE and null when there is none. dwReserved must be 0.
HRESULT GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo);

namespace ardo {

// Sets the calling thread's error object to one with this UTF-8
// description and source (and iid as its interface); false when no object
// could be made.
bool SetErrorDescription(const char* description, const char* source, REFGUID iid = GUID_NULL);

}  // namespace ardo
