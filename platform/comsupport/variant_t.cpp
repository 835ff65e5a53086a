#include "platform/comsupport/variant_t.h"

#include <cstring>
#include <limits>

namespace {

void Check(HRESULT hr) {
  if (FAILED(hr)) _com_issue_error(hr);
}

// A converted copy of v; throws _com_error when it does not convert.
_variant_t Converted(const VARIANT& v, VARTYPE vt) {
  _variant_t result;
  Check(VariantChangeType(&result, &v, 0, vt));
  return result;
}

LONG Narrow32(long value) {
  if (value < std::numeric_limits<LONG>::min() || value > std::numeric_limits<LONG>::max())
    _com_issue_error(DISP_E_OVERFLOW);
  return static_cast<LONG>(value);
}

}  // namespace

_variant_t::_variant_t() noexcept { VariantInit(this); }

_variant_t::_variant_t(const VARIANT& src) {
  VariantInit(this);
  Check(VariantCopy(this, &src));
}

_variant_t::_variant_t(const _variant_t& src) : _variant_t(static_cast<const VARIANT&>(src)) {}

_variant_t::_variant_t(_variant_t&& src) noexcept {
  static_cast<VARIANT&>(*this) = src;
  VariantInit(&src);
}

_variant_t::_variant_t(VARIANT& src, bool fCopy) {
  VariantInit(this);
  if (fCopy) {
    Check(VariantCopy(this, &src));
  } else {
    static_cast<VARIANT&>(*this) = src;
    VariantInit(&src);
  }
}

_variant_t::_variant_t(short value, VARTYPE vt) {
  VariantInit(this);
  if (vt == VT_BOOL) {
    this->vt = VT_BOOL;
    boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  } else if (vt == VT_I2) {
    this->vt = VT_I2;
    iVal = value;
  } else {
    _com_issue_error(E_INVALIDARG);
  }
}

_variant_t::_variant_t(long value, VARTYPE vt) {
  VariantInit(this);
  if (vt == VT_BOOL) {
    this->vt = VT_BOOL;
    boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  } else if (vt == VT_I4 || vt == VT_ERROR) {
    lVal = Narrow32(value);
    this->vt = vt;
  } else {
    _com_issue_error(E_INVALIDARG);
  }
}

_variant_t::_variant_t(int value) {
  VariantInit(this);
  vt = VT_INT;
  intVal = value;
}

_variant_t::_variant_t(unsigned int value) {
  VariantInit(this);
  vt = VT_UINT;
  uintVal = value;
}

_variant_t::_variant_t(unsigned short value) {
  VariantInit(this);
  vt = VT_UI2;
  uiVal = value;
}

_variant_t::_variant_t(unsigned long value) {
  VariantInit(this);
  if (value > std::numeric_limits<ULONG>::max()) _com_issue_error(DISP_E_OVERFLOW);
  vt = VT_UI4;
  ulVal = static_cast<ULONG>(value);
}

_variant_t::_variant_t(long long value) {
  VariantInit(this);
  vt = VT_I8;
  llVal = value;
}

_variant_t::_variant_t(unsigned long long value) {
  VariantInit(this);
  vt = VT_UI8;
  ullVal = value;
}

_variant_t::_variant_t(char value) {
  VariantInit(this);
  vt = VT_I1;
  cVal = value;
}

_variant_t::_variant_t(unsigned char value) {
  VariantInit(this);
  vt = VT_UI1;
  bVal = value;
}

_variant_t::_variant_t(float value) {
  VariantInit(this);
  vt = VT_R4;
  fltVal = value;
}

_variant_t::_variant_t(double value, VARTYPE vt) {
  VariantInit(this);
  if (vt != VT_R8 && vt != VT_DATE) _com_issue_error(E_INVALIDARG);
  this->vt = vt;
  dblVal = value;
}

_variant_t::_variant_t(const CY& value) {
  VariantInit(this);
  vt = VT_CY;
  cyVal = value;
}

_variant_t::_variant_t(const DECIMAL& value) {
  VariantInit(this);
  decVal = value;
  vt = VT_DECIMAL;  // after decVal, which overlays vt
}

_variant_t::_variant_t(bool value) {
  VariantInit(this);
  vt = VT_BOOL;
  boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

_variant_t::_variant_t(const char* text) {
  VariantInit(this);
  SetString(text);
}

_variant_t::_variant_t(const OLECHAR* text) {
  VariantInit(this);
  _bstr_t copy(text);
  vt = VT_BSTR;
  bstrVal = copy.Detach();
}

_variant_t::_variant_t(const _bstr_t& text) {
  VariantInit(this);
  BSTR copy = text.copy();
  vt = VT_BSTR;
  bstrVal = copy;
}

_variant_t::_variant_t(IDispatch* p, bool fAddRef) {
  VariantInit(this);
  vt = VT_DISPATCH;
  pdispVal = p;
  if (p && fAddRef) p->AddRef();
}

_variant_t::_variant_t(IUnknown* p, bool fAddRef) {
  VariantInit(this);
  vt = VT_UNKNOWN;
  punkVal = p;
  if (p && fAddRef) p->AddRef();
}

_variant_t::~_variant_t() { VariantClear(this); }

_variant_t& _variant_t::operator=(const VARIANT& src) {
  Check(VariantCopy(this, &src));
  return *this;
}

_variant_t& _variant_t::operator=(const _variant_t& src) {
  return *this = static_cast<const VARIANT&>(src);
}

_variant_t& _variant_t::operator=(_variant_t&& src) noexcept {
  if (this != &src) {
    VariantClear(this);
    static_cast<VARIANT&>(*this) = src;
    VariantInit(&src);
  }
  return *this;
}

bool _variant_t::operator==(const VARIANT& other) const {
  if (vt != other.vt) return false;
  switch (vt) {
    case VT_EMPTY: case VT_NULL: return true;
    case VT_BSTR: {
      UINT a = SysStringLen(bstrVal), b = SysStringLen(other.bstrVal);
      return a == b && (a == 0 || std::memcmp(bstrVal, other.bstrVal, a * sizeof(OLECHAR)) == 0);
    }
    case VT_I1: case VT_UI1: return bVal == other.bVal;
    case VT_I2: case VT_UI2: case VT_BOOL: return iVal == other.iVal;
    case VT_R4: return fltVal == other.fltVal;
    case VT_R8: case VT_DATE: return dblVal == other.dblVal;
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_ERROR: return lVal == other.lVal;
    case VT_DECIMAL: return std::memcmp(&decVal, &other.decVal, sizeof decVal) == 0;
    default: return llVal == other.llVal;  // 64-bit values, pointers
  }
}

void _variant_t::Clear() { Check(VariantClear(this)); }

VARIANT _variant_t::Detach() noexcept {
  VARIANT content = *this;
  VariantInit(this);
  return content;
}

void _variant_t::Attach(VARIANT& src) {
  Clear();
  static_cast<VARIANT&>(*this) = src;
  VariantInit(&src);
}

void _variant_t::ChangeType(VARTYPE type, const _variant_t* src) {
  Check(VariantChangeType(this, src ? src : this, 0, type));
}

void _variant_t::SetString(const char* text) {
  _bstr_t copy(text);
  Clear();
  vt = VT_BSTR;
  bstrVal = copy.Detach();
}

_variant_t::operator short() const {
  return vt == VT_I2 ? iVal : Converted(*this, VT_I2).iVal;
}
_variant_t::operator long() const {
  return vt == VT_I4 ? lVal : Converted(*this, VT_I4).lVal;
}
_variant_t::operator int() const {
  return vt == VT_INT ? intVal : Converted(*this, VT_INT).intVal;
}
_variant_t::operator long long() const {
  return vt == VT_I8 ? llVal : Converted(*this, VT_I8).llVal;
}
_variant_t::operator unsigned char() const {
  return vt == VT_UI1 ? bVal : Converted(*this, VT_UI1).bVal;
}
_variant_t::operator float() const {
  return vt == VT_R4 ? fltVal : Converted(*this, VT_R4).fltVal;
}
_variant_t::operator double() const {
  return vt == VT_R8 ? dblVal : Converted(*this, VT_R8).dblVal;
}
_variant_t::operator bool() const {
  return (vt == VT_BOOL ? boolVal : Converted(*this, VT_BOOL).boolVal) != VARIANT_FALSE;
}
_variant_t::operator CY() const {
  return vt == VT_CY ? cyVal : Converted(*this, VT_CY).cyVal;
}
_variant_t::operator _bstr_t() const { return _bstr_t(*this); }

_variant_t::operator IDispatch*() const {
  _variant_t converted = Converted(*this, VT_DISPATCH);
  IDispatch* p = converted.pdispVal;
  converted.vt = VT_EMPTY;  // hand the reference to the caller
  return p;
}

_variant_t::operator IUnknown*() const {
  _variant_t converted = Converted(*this, VT_UNKNOWN);
  IUnknown* p = converted.punkVal;
  converted.vt = VT_EMPTY;
  return p;
}
