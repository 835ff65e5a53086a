#include "platform/com/safearray.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "platform/com/dispatch.h"

// Each array is one block: a header carrying the element type, then the
// SAFEARRAY descriptor with its cDims bounds. The elements live in a
// separate zero-filled allocation, laid out with dimension 1 varying fastest.

namespace {

std::atomic<long> g_liveArrays{0};

struct alignas(16) Header {
  VARTYPE vt;
};

Header* HeaderOf(SAFEARRAY* psa) {
  return reinterpret_cast<Header*>(reinterpret_cast<char*>(psa) - sizeof(Header));
}

ULONG ElementSize(VARTYPE vt) {
  switch (vt) {
    case VT_I1: case VT_UI1: return 1;
    case VT_I2: case VT_UI2: case VT_BOOL: return 2;
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_R4: case VT_ERROR: return 4;
    case VT_I8: case VT_UI8: case VT_R8: case VT_DATE: case VT_CY: return 8;
    case VT_BSTR: case VT_UNKNOWN: case VT_DISPATCH: return sizeof(void*);
    case VT_VARIANT: return sizeof(VARIANT);
    case VT_DECIMAL: return sizeof(DECIMAL);
    default: return 0;
  }
}

USHORT FeaturesOf(VARTYPE vt) {
  switch (vt) {
    case VT_BSTR: return FADF_BSTR | FADF_HAVEVARTYPE;
    case VT_UNKNOWN: return FADF_UNKNOWN | FADF_HAVEVARTYPE;
    case VT_DISPATCH: return FADF_DISPATCH | FADF_HAVEVARTYPE;
    case VT_VARIANT: return FADF_VARIANT | FADF_HAVEVARTYPE;
    default: return FADF_HAVEVARTYPE;
  }
}

// Element count over all dimensions; false on overflow.
bool CountElements(UINT cDims, const SAFEARRAYBOUND* bounds, size_t* count) {
  size_t total = 1;
  for (UINT d = 0; d < cDims; ++d) {
    size_t n = bounds[d].cElements;
    if (n != 0 && total > SIZE_MAX / n) return false;
    total *= n;
  }
  *count = total;
  return true;
}

size_t TotalElements(SAFEARRAY* psa) {
  size_t count = 0;
  CountElements(psa->cDims, psa->rgsabound, &count);
  return count;
}

// Frees what elements [first, last) own and zeroes them.
void ReleaseElements(SAFEARRAY* psa, size_t first, size_t last) {
  VARTYPE vt = HeaderOf(psa)->vt;
  auto* data = static_cast<unsigned char*>(psa->pvData);
  for (size_t i = first; i < last; ++i) {
    void* element = data + i * psa->cbElements;
    if (vt == VT_BSTR) {
      SysFreeString(*static_cast<BSTR*>(element));
    } else if (vt == VT_VARIANT) {
      VariantClear(static_cast<VARIANT*>(element));
    } else if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
      if (auto* p = *static_cast<IUnknown**>(element)) p->Release();
    }
  }
  if (last > first) std::memset(data + first * psa->cbElements, 0, (last - first) * psa->cbElements);
}

// Copies one element of type vt from src into the zeroed or old dst.
HRESULT CopyElement(VARTYPE vt, void* dst, const void* src, ULONG size) {
  switch (vt) {
    case VT_BSTR: {
      BSTR from = *static_cast<const BSTR*>(src);
      BSTR copy = nullptr;
      if (from && !(copy = SysAllocStringLen(from, SysStringLen(from)))) return E_OUTOFMEMORY;
      SysFreeString(*static_cast<BSTR*>(dst));
      *static_cast<BSTR*>(dst) = copy;
      return S_OK;
    }
    case VT_VARIANT:
      return VariantCopy(static_cast<VARIANT*>(dst), static_cast<const VARIANT*>(src));
    case VT_UNKNOWN:
    case VT_DISPATCH: {
      IUnknown* from = *static_cast<IUnknown* const*>(src);
      if (from) from->AddRef();
      if (auto* old = *static_cast<IUnknown**>(dst)) old->Release();
      *static_cast<IUnknown**>(dst) = from;
      return S_OK;
    }
    default:
      std::memmove(dst, src, size);
      return S_OK;
  }
}

// The element addressed by one index per dimension, or null out of bounds.
void* ElementAt(SAFEARRAY* psa, const LONG* indices) {
  size_t offset = 0, stride = 1;
  for (UINT d = 0; d < psa->cDims; ++d) {
    const SAFEARRAYBOUND& b = psa->rgsabound[d];
    long long i = static_cast<long long>(indices[d]) - b.lLbound;
    if (i < 0 || i >= static_cast<long long>(b.cElements)) return nullptr;
    offset += static_cast<size_t>(i) * stride;
    stride *= b.cElements;
  }
  return static_cast<unsigned char*>(psa->pvData) + offset * psa->cbElements;
}

}  // namespace

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound) {
  ULONG size = ElementSize(vt);
  if (size == 0 || cDims == 0 || cDims > 0xFFFF || !rgsabound) return nullptr;
  size_t count;
  if (!CountElements(cDims, rgsabound, &count) || count > SIZE_MAX / size) return nullptr;
  size_t descriptor = offsetof(SAFEARRAY, rgsabound) + cDims * sizeof(SAFEARRAYBOUND);
  auto* block = static_cast<char*>(std::calloc(1, sizeof(Header) + descriptor));
  if (!block) return nullptr;
  void* data = std::calloc(count ? count : 1, size);
  if (!data) {
    std::free(block);
    return nullptr;
  }
  reinterpret_cast<Header*>(block)->vt = vt;
  auto* psa = reinterpret_cast<SAFEARRAY*>(block + sizeof(Header));
  psa->cDims = static_cast<USHORT>(cDims);
  psa->fFeatures = FeaturesOf(vt);
  psa->cbElements = size;
  psa->cLocks = 0;
  psa->pvData = data;
  std::memcpy(psa->rgsabound, rgsabound, cDims * sizeof(SAFEARRAYBOUND));
  g_liveArrays.fetch_add(1);
  return psa;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
  SAFEARRAYBOUND bound{cElements, lLbound};
  return SafeArrayCreate(vt, 1, &bound);
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa) {
  if (!psa) return S_OK;
  if (psa->cLocks) return DISP_E_ARRAYISLOCKED;
  ReleaseElements(psa, 0, TotalElements(psa));
  std::free(psa->pvData);
  std::free(HeaderOf(psa));
  g_liveArrays.fetch_sub(1);
  return S_OK;
}

HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut) {
  if (!ppsaOut) return E_INVALIDARG;
  *ppsaOut = nullptr;
  if (!psa) return S_OK;
  VARTYPE vt = HeaderOf(psa)->vt;
  SAFEARRAY* copy = SafeArrayCreate(vt, psa->cDims, psa->rgsabound);
  if (!copy) return E_OUTOFMEMORY;
  size_t count = TotalElements(psa);
  auto* from = static_cast<unsigned char*>(psa->pvData);
  auto* to = static_cast<unsigned char*>(copy->pvData);
  for (size_t i = 0; i < count; ++i) {
    HRESULT hr = CopyElement(vt, to + i * psa->cbElements, from + i * psa->cbElements,
                             psa->cbElements);
    if (FAILED(hr)) {
      SafeArrayDestroy(copy);
      return hr;
    }
  }
  *ppsaOut = copy;
  return S_OK;
}

HRESULT SafeArrayLock(SAFEARRAY* psa) {
  if (!psa) return E_INVALIDARG;
  ++psa->cLocks;
  return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* psa) {
  if (!psa) return E_INVALIDARG;
  if (psa->cLocks == 0) return E_UNEXPECTED;
  --psa->cLocks;
  return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData) {
  if (!psa || !ppvData) return E_INVALIDARG;
  ++psa->cLocks;
  *ppvData = psa->pvData;
  return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) { return SafeArrayUnlock(psa); }

UINT SafeArrayGetDim(SAFEARRAY* psa) { return psa ? psa->cDims : 0; }

UINT SafeArrayGetElemsize(SAFEARRAY* psa) { return psa ? psa->cbElements : 0; }

HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt) {
  if (!psa || !pvt) return E_INVALIDARG;
  *pvt = HeaderOf(psa)->vt;
  return S_OK;
}

HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound) {
  if (!psa || !plLbound) return E_INVALIDARG;
  if (nDim < 1 || nDim > psa->cDims) return DISP_E_BADINDEX;
  *plLbound = psa->rgsabound[nDim - 1].lLbound;
  return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound) {
  if (!psa || !plUbound) return E_INVALIDARG;
  if (nDim < 1 || nDim > psa->cDims) return DISP_E_BADINDEX;
  const SAFEARRAYBOUND& b = psa->rgsabound[nDim - 1];
  *plUbound = static_cast<LONG>(static_cast<long long>(b.lLbound) + b.cElements - 1);
  return S_OK;
}

HRESULT SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
  if (!psa || !rgIndices || !pv) return E_INVALIDARG;
  void* element = ElementAt(psa, rgIndices);
  if (!element) return DISP_E_BADINDEX;
  VARTYPE vt = HeaderOf(psa)->vt;
  // The destination is the caller's uninitialised storage: start it empty.
  if (vt == VT_VARIANT) VariantInit(static_cast<VARIANT*>(pv));
  else if (vt == VT_BSTR || vt == VT_UNKNOWN || vt == VT_DISPATCH) *static_cast<void**>(pv) = nullptr;
  return CopyElement(vt, pv, element, psa->cbElements);
}

HRESULT SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
  if (!psa || !rgIndices) return E_INVALIDARG;
  void* element = ElementAt(psa, rgIndices);
  if (!element) return DISP_E_BADINDEX;
  VARTYPE vt = HeaderOf(psa)->vt;
  if (!pv && vt != VT_BSTR && vt != VT_UNKNOWN && vt != VT_DISPATCH) return E_INVALIDARG;
  // Object elements are given as the pointer itself, not its address.
  if (vt == VT_BSTR || vt == VT_UNKNOWN || vt == VT_DISPATCH) return CopyElement(vt, element, &pv, psa->cbElements);
  return CopyElement(vt, element, pv, psa->cbElements);
}

HRESULT SafeArrayRedim(SAFEARRAY* psa, SAFEARRAYBOUND* psaboundNew) {
  if (!psa || !psaboundNew) return E_INVALIDARG;
  if (psa->cLocks) return DISP_E_ARRAYISLOCKED;
  size_t oldCount = TotalElements(psa);
  SAFEARRAYBOUND& last = psa->rgsabound[psa->cDims - 1];
  SAFEARRAYBOUND saved = last;
  last = *psaboundNew;
  size_t newCount;
  if (!CountElements(psa->cDims, psa->rgsabound, &newCount) ||
      newCount > SIZE_MAX / psa->cbElements) {
    last = saved;
    return E_OUTOFMEMORY;
  }
  if (newCount < oldCount) {
    last = saved;
    ReleaseElements(psa, newCount, oldCount);
    last = *psaboundNew;
  }
  void* data = std::realloc(psa->pvData, (newCount ? newCount : 1) * psa->cbElements);
  if (!data) {
    last = saved;
    return E_OUTOFMEMORY;
  }
  psa->pvData = data;
  if (newCount > oldCount)
    std::memset(static_cast<unsigned char*>(data) + oldCount * psa->cbElements, 0,
                (newCount - oldCount) * psa->cbElements);
  return S_OK;
}

namespace ardo {

long LiveSafeArrayCount() { return g_liveArrays.load(); }

}  // namespace ardo
