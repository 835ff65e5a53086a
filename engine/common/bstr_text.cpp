#include "engine/common/bstr_text.h"

#include <cstring>

namespace ardo::engine {

// The conversions themselves are the platform's (invalid input becomes
// U+FFFD there); these adapt them to the engine's string_view and BSTR use.

BSTR AllocBstr(std::string_view utf8) { return ardo::Utf8ToBstr(utf8); }

HRESULT ReturnBstr(std::string_view utf8, BSTR* out) {
  if (!out) return E_INVALIDARG;
  *out = AllocBstr(utf8);
  return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT ReturnBstrVariant(std::string_view utf8, VARIANT* out) {
  if (!out) return E_INVALIDARG;
  VariantInit(out);
  BSTR b = AllocBstr(utf8);
  if (!b) return E_OUTOFMEMORY;
  out->vt = VT_BSTR;
  out->bstrVal = b;
  return S_OK;
}

void AppendUtf8(std::string* out, const char16_t* text, size_t n) {
  out->append(ardo::Utf16ToUtf8(std::u16string_view(text, n)));
}

std::string Utf8Of(const OLECHAR* text) { return ardo::BstrToUtf8(text); }

Utf8Name::Utf8Name(const OLECHAR* text) {
  if (!text) return;
  size_t n = 0;
  OLECHAR seen = 0;  // the units' bits together: any at or above 0x80 shows
  for (; n < kInline && text[n]; ++n) {
    seen |= text[n];
    inline_[n] = static_cast<char>(text[n]);
  }
  if (seen >= 0x80 || (n == kInline && text[n])) {
    // Not ASCII, or too long for the stack: the general conversion.
    long_ = Utf8Of(text);
    data_ = long_.data();
    size_ = long_.size();
    return;
  }
  size_ = n;
}

std::string Utf8OfWhole(BSTR text) {
  std::string out;
  if (text) AppendUtf8(&out, text, SysStringLen(text));
  return out;
}

std::u16string Utf16Of(std::string_view utf8) { return ardo::Utf8ToUtf16(utf8); }

long Utf16Length(std::string_view utf8) { return static_cast<long>(Utf16Of(utf8).size()); }

const VARIANT& Dereferenced(const VARIANT& value) {
  // A host passes one level; a chain that goes on (or loops back on
  // itself) is no value at all.
  constexpr int kMaxLevels = 8;
  static const VARIANT kNoValue = [] {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ERROR;
    v.scode = DISP_E_BADVARTYPE;
    return v;
  }();
  const VARIANT* v = &value;
  for (int level = 0; v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal; ++level) {
    if (level == kMaxLevels) return kNoValue;
    v = v->pvarVal;
  }
  return *v;
}

namespace {

// The bytes of a fixed-size scalar type kept in a variant (0 for others).
size_t ScalarSize(VARTYPE vt) {
  switch (vt) {
    case VT_I1:
    case VT_UI1:
      return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
      return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR:
      return 4;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
      return 8;
    default:
      return 0;
  }
}

}  // namespace

VARIANT ShallowValue(const VARIANT& value) {
  const VARIANT& v = Dereferenced(value);
  VARIANT out = v;
  switch (v.vt) {
    case VT_BYREF | VT_BSTR:
      out.vt = VT_BSTR;
      out.bstrVal = v.pbstrVal ? *v.pbstrVal : nullptr;
      break;
    case VT_BYREF | VT_UNKNOWN:
      out.vt = VT_UNKNOWN;
      out.punkVal = v.ppunkVal ? *v.ppunkVal : nullptr;
      break;
    case VT_BYREF | VT_DISPATCH:
      out.vt = VT_DISPATCH;
      out.pdispVal = v.ppdispVal ? *v.ppdispVal : nullptr;
      break;
    case VT_BYREF | VT_ARRAY | VT_UI1:
      out.vt = VT_ARRAY | VT_UI1;
      out.parray = v.pparray ? *v.pparray : nullptr;
      break;
    default:
      if ((v.vt & VT_BYREF) && v.byref) {
        // A number, flag, date or currency by reference: its value, which
        // sits where the variant itself would keep it.
        size_t size = ScalarSize(static_cast<VARTYPE>(v.vt & ~VT_BYREF));
        if (size) {
          out.vt = static_cast<VARTYPE>(v.vt & ~VT_BYREF);
          out.llVal = 0;
          std::memcpy(&out.llVal, v.byref, size);
        }
      }
      break;
  }
  return out;
}

HRESULT Utf8OfVariant(const VARIANT& value, std::string* out) {
  const VARIANT v = ShallowValue(value);
  if (v.vt == VT_BSTR) {
    *out = Utf8Of(v.bstrVal);
    return S_OK;
  }
  VARIANT converted;
  VariantInit(&converted);
  HRESULT hr = VariantChangeType(&converted, &v, 0, VT_BSTR);
  if (FAILED(hr)) return hr;
  *out = Utf8Of(converted.bstrVal);
  VariantClear(&converted);
  return S_OK;
}

bool IsAllXmlSpace(std::string_view text) {
  for (char c : text)
    if (!IsXmlSpace(static_cast<unsigned char>(c))) return false;
  return true;
}

}  // namespace ardo::engine
