// VARIANT: the tagged value of OLE Automation. A VARIANT owns what it holds
// (a BSTR, an interface reference, a SAFEARRAY) unless VT_BYREF is set.
#pragma once

#include "platform/com/bstr.h"
#include "platform/com/unknown.h"

struct IDispatch;
struct SAFEARRAY;

typedef unsigned short VARTYPE;
typedef int16_t VARIANT_BOOL;
typedef double DATE;  // days since 1899-12-30, time of day as the fraction

inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

enum VARENUM : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_DECIMAL = 14,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_VOID = 24,
  VT_HRESULT = 25,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
  VT_TYPEMASK = 0x0FFF,
};

// Currency: a 64-bit integer scaled by 10 000.
typedef union tagCY {
  struct {
    ULONG Lo;
    LONG Hi;
  };
  LONGLONG int64;
} CY;

// A 96-bit integer, a sign and a power-of-ten scale (0..28).
typedef struct tagDEC {
  USHORT wReserved;
  BYTE scale;
  BYTE sign;  // DECIMAL_NEG or 0
  ULONG Hi32;
  ULONGLONG Lo64;
} DECIMAL;
inline constexpr BYTE DECIMAL_NEG = 0x80;

struct tagVARIANT {
  union {
    struct {
      VARTYPE vt;
      WORD wReserved1;
      WORD wReserved2;
      WORD wReserved3;
      union {
        LONGLONG llVal;
        LONG lVal;
        BYTE bVal;
        SHORT iVal;
        FLOAT fltVal;
        DOUBLE dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        CY cyVal;
        DATE date;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        SAFEARRAY* parray;
        CHAR cVal;
        USHORT uiVal;
        ULONG ulVal;
        ULONGLONG ullVal;
        INT intVal;
        UINT uintVal;
        BYTE* pbVal;
        SHORT* piVal;
        LONG* plVal;
        LONGLONG* pllVal;
        FLOAT* pfltVal;
        DOUBLE* pdblVal;
        VARIANT_BOOL* pboolVal;
        SCODE* pscode;
        CY* pcyVal;
        DATE* pdate;
        BSTR* pbstrVal;
        IUnknown** ppunkVal;
        IDispatch** ppdispVal;
        SAFEARRAY** pparray;
        tagVARIANT* pvarVal;
        DECIMAL* pdecVal;
        CHAR* pcVal;
        USHORT* puiVal;
        ULONG* pulVal;
        ULONGLONG* pullVal;
        INT* pintVal;
        UINT* puintVal;
        void* byref;
      };
    };
    DECIMAL decVal;  // overlays the whole value, vt included (vt is its wReserved)
  };
};
typedef tagVARIANT VARIANT;
typedef tagVARIANT VARIANTARG;
typedef VARIANT* LPVARIANT;

// Flags of VariantChangeType(Ex).
inline constexpr USHORT VARIANT_NOVALUEPROP = 0x01;
inline constexpr USHORT VARIANT_ALPHABOOL = 0x02;
inline constexpr USHORT VARIANT_NOUSEROVERRIDE = 0x04;
inline constexpr USHORT VARIANT_LOCALBOOL = 0x10;

// Sets VT_EMPTY; the previous content is not freed.
void VariantInit(VARIANTARG* var);
// Frees what the value owns (BSTR, interface reference, array) and sets
// VT_EMPTY. DISP_E_BADVARTYPE for an unknown type (the value is untouched).
HRESULT VariantClear(VARIANTARG* var);
// Clears dest, then deep-copies src into it: a new BSTR, an added reference,
// a copied array; a by-reference value is copied as the reference.
HRESULT VariantCopy(VARIANTARG* dest, const VARIANTARG* src);
// As VariantCopy, but a by-reference source is copied as the value it refers to.
HRESULT VariantCopyInd(VARIANT* dest, const VARIANTARG* src);
// Converts src to type vt into dest (dest may be src). Strings, numbers,
// booleans, dates and currency convert both ways; VT_EMPTY gives 0, "" or
// false; VT_NULL and unparsable text give DISP_E_TYPEMISMATCH; a value out
// of the target's range gives DISP_E_OVERFLOW; interfaces convert by
// QueryInterface, and VT_DISPATCH to a scalar by its default property unless
// VARIANT_NOVALUEPROP. On failure dest is left as it was.
HRESULT VariantChangeType(VARIANTARG* dest, const VARIANTARG* src, USHORT wFlags, VARTYPE vt);
// The same; the locale is ignored (all text is locale-independent).
HRESULT VariantChangeTypeEx(VARIANTARG* dest, const VARIANTARG* src, DWORD lcid, USHORT wFlags,
                            VARTYPE vt);

namespace ardo {

// A non-owning by-value view of src: src itself, or for a by-reference
// value the value it points at. Nothing is copied; the view is valid while
// the referenced storage is. E_INVALIDARG for a null reference.
HRESULT DereferenceVariant(const VARIANT* src, VARIANT* view);

// Whether base (a type tag without VT_ARRAY/VT_BYREF) is a scalar type that a
// VARIANT can hold by value.
bool IsVariantScalarType(VARTYPE base);

}  // namespace ardo
