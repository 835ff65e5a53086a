#include "platform/com/variant.h"

#include <cstring>

#include "platform/com/dispatch.h"
#include "platform/com/safearray.h"

namespace {

// Whether a VARIANT may carry this type tag.
bool IsValidVariantType(VARTYPE vt) {
  VARTYPE base = vt & VT_TYPEMASK;
  if (vt & ~(VT_TYPEMASK | VT_ARRAY | VT_BYREF)) return false;
  if (base == VT_VARIANT) return (vt & (VT_BYREF | VT_ARRAY)) != 0;
  if ((vt & (VT_ARRAY | VT_BYREF)) && (base == VT_EMPTY || base == VT_NULL)) return false;
  return ardo::IsVariantScalarType(base);
}

size_t ScalarSize(VARTYPE base) {
  switch (base) {
    case VT_I1: case VT_UI1: return 1;
    case VT_I2: case VT_UI2: case VT_BOOL: return 2;
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_R4: case VT_ERROR: return 4;
    case VT_I8: case VT_UI8: case VT_R8: case VT_DATE: case VT_CY: return 8;
    case VT_BSTR: case VT_UNKNOWN: case VT_DISPATCH: return sizeof(void*);
    default: return 0;
  }
}

}  // namespace

HRESULT ardo::DereferenceVariant(const VARIANT* src, VARIANT* view) {
  VariantInit(view);
  if (!(src->vt & VT_BYREF)) {
    *view = *src;
    return S_OK;
  }
  if (!src->byref) return E_INVALIDARG;
  VARTYPE target = src->vt & ~VT_BYREF;
  if (target == VT_VARIANT) {
    const VARIANT* inner = src->pvarVal;
    if (inner->vt & VT_BYREF) return E_INVALIDARG;
    *view = *inner;
    return S_OK;
  }
  if (target & VT_ARRAY) {
    view->parray = *src->pparray;
  } else if (target == VT_DECIMAL) {
    view->decVal = *src->pdecVal;
  } else {
    size_t size = ScalarSize(target);
    if (!size) return DISP_E_BADVARTYPE;
    std::memcpy(&view->llVal, src->byref, size);
  }
  view->vt = target;
  return S_OK;
}

void VariantInit(VARIANTARG* var) {
  if (!var) return;
  var->vt = VT_EMPTY;
  var->wReserved1 = var->wReserved2 = var->wReserved3 = 0;
  var->llVal = 0;
}

HRESULT VariantClear(VARIANTARG* var) {
  if (!var) return E_INVALIDARG;
  VARTYPE vt = var->vt;
  if (!IsValidVariantType(vt)) return DISP_E_BADVARTYPE;
  if (!(vt & VT_BYREF)) {
    if (vt & VT_ARRAY) {
      HRESULT hr = SafeArrayDestroy(var->parray);
      if (FAILED(hr)) return hr;
    } else if (vt == VT_BSTR) {
      SysFreeString(var->bstrVal);
    } else if (vt == VT_DISPATCH || vt == VT_UNKNOWN) {
      if (var->punkVal) var->punkVal->Release();
    }
  }
  VariantInit(var);
  return S_OK;
}

HRESULT VariantCopy(VARIANTARG* dest, const VARIANTARG* src) {
  if (!dest || !src) return E_INVALIDARG;
  if (!IsValidVariantType(src->vt)) return DISP_E_BADVARTYPE;
  if (dest == src) return S_OK;
  VARIANT copy = *src;
  VARTYPE vt = src->vt;
  if (!(vt & VT_BYREF)) {
    if (vt & VT_ARRAY) {
      HRESULT hr = SafeArrayCopy(src->parray, &copy.parray);
      if (FAILED(hr)) return hr;
    } else if (vt == VT_BSTR) {
      if (src->bstrVal &&
          !(copy.bstrVal = SysAllocStringLen(src->bstrVal, SysStringLen(src->bstrVal))))
        return E_OUTOFMEMORY;
    } else if (vt == VT_DISPATCH || vt == VT_UNKNOWN) {
      if (src->punkVal) src->punkVal->AddRef();
    }
  }
  HRESULT hr = VariantClear(dest);
  if (FAILED(hr)) {
    VariantClear(&copy);
    return hr;
  }
  *dest = copy;
  return S_OK;
}

HRESULT VariantCopyInd(VARIANT* dest, const VARIANTARG* src) {
  if (!dest || !src) return E_INVALIDARG;
  if (!IsValidVariantType(src->vt)) return DISP_E_BADVARTYPE;
  VARIANT view;
  HRESULT hr = ardo::DereferenceVariant(src, &view);
  if (FAILED(hr)) return hr;
  if (dest == src) {
    // Copy out of the referenced storage before dest (the same VARIANT) changes.
    VARIANT copy;
    VariantInit(&copy);
    hr = VariantCopy(&copy, &view);
    if (SUCCEEDED(hr)) *dest = copy;
    return hr;
  }
  return VariantCopy(dest, &view);
}

namespace ardo {

bool IsVariantScalarType(VARTYPE base) {
  switch (base) {
    case VT_EMPTY: case VT_NULL: case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_CY:
    case VT_DATE: case VT_BSTR: case VT_DISPATCH: case VT_ERROR: case VT_BOOL: case VT_UNKNOWN:
    case VT_DECIMAL: case VT_I1: case VT_UI1: case VT_UI2: case VT_UI4: case VT_I8: case VT_UI8:
    case VT_INT: case VT_UINT:
      return true;
    default:
      return false;
  }
}

}  // namespace ardo
