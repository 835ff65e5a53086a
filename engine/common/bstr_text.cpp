#include "engine/common/bstr_text.h"

namespace ardo::engine {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one UTF-8 sequence at s[i] (i < n), advancing i; malformed input
// yields U+FFFD and consumes one byte.
char32_t DecodeUtf8(const unsigned char* s, size_t n, size_t& i) {
  unsigned char c = s[i];
  if (c < 0x80) {
    ++i;
    return c;
  }
  int extra;
  char32_t cp;
  char32_t min;
  if ((c & 0xE0) == 0xC0) {
    extra = 1, cp = c & 0x1F, min = 0x80;
  } else if ((c & 0xF0) == 0xE0) {
    extra = 2, cp = c & 0x0F, min = 0x800;
  } else if ((c & 0xF8) == 0xF0) {
    extra = 3, cp = c & 0x07, min = 0x10000;
  } else {
    ++i;
    return kReplacement;
  }
  if (i + extra >= n) {  // truncated sequence
    ++i;
    return kReplacement;
  }
  for (int k = 1; k <= extra; ++k) {
    unsigned char t = s[i + k];
    if ((t & 0xC0) != 0x80) {
      ++i;
      return kReplacement;
    }
    cp = (cp << 6) | (t & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return kReplacement;
  }
  i += extra + 1;
  return cp;
}

size_t Utf16Units(std::string_view utf8) {
  const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
  size_t n = utf8.size(), units = 0;
  for (size_t i = 0; i < n;) {
    if (s[i] < 0x80) {
      ++i, ++units;
      continue;
    }
    units += DecodeUtf8(s, n, i) >= 0x10000 ? 2 : 1;
  }
  return units;
}

void FillUtf16(std::string_view utf8, char16_t* out) {
  const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
  size_t n = utf8.size();
  for (size_t i = 0; i < n;) {
    if (s[i] < 0x80) {
      *out++ = s[i++];
      continue;
    }
    char32_t cp = DecodeUtf8(s, n, i);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      *out++ = static_cast<char16_t>(0xD800 + (cp >> 10));
      *out++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      *out++ = static_cast<char16_t>(cp);
    }
  }
}

}  // namespace

BSTR AllocBstr(std::string_view utf8) {
  const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
  const size_t n = utf8.size();
  size_t ascii = 0;
  while (ascii < n && s[ascii] < 0x80) ++ascii;
  if (ascii == n) {
    // ASCII only (names, numbers): one unit per byte, widened on the stack
    // when short so that the string is written once.
    constexpr size_t kShort = 128;
    if (n <= kShort) {
      OLECHAR wide[kShort];
      for (size_t i = 0; i < n; ++i) wide[i] = s[i];
      return SysAllocStringLen(wide, static_cast<UINT>(n));
    }
    BSTR b = SysAllocStringLen(nullptr, static_cast<UINT>(n));
    if (b)
      for (size_t i = 0; i < n; ++i) b[i] = s[i];
    return b;
  }
  size_t units = Utf16Units(utf8);
  BSTR b = SysAllocStringLen(nullptr, static_cast<UINT>(units));
  if (b) FillUtf16(utf8, b);
  return b;
}

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
  out->reserve(out->size() + n);
  for (size_t i = 0; i < n; ++i) {
    char32_t cp = text[i];
    if (cp < 0x80) {
      out->push_back(static_cast<char>(cp));
      continue;
    }
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = kReplacement;
    }
    if (cp < 0x800) {
      out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
}

std::string Utf8Of(const OLECHAR* text) {
  std::string out;
  if (!text) return out;
  size_t n = 0;
  while (text[n]) ++n;
  AppendUtf8(&out, text, n);
  return out;
}

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

std::u16string Utf16Of(std::string_view utf8) {
  std::u16string out(Utf16Units(utf8), u'\0');
  FillUtf16(utf8, out.data());
  return out;
}

long Utf16Length(std::string_view utf8) { return static_cast<long>(Utf16Units(utf8)); }

const VARIANT& Dereferenced(const VARIANT& value) {
  const VARIANT* v = &value;
  while (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal) v = v->pvarVal;
  return *v;
}

HRESULT Utf8OfVariant(const VARIANT& value, std::string* out) {
  const VARIANT& v = Dereferenced(value);
  if (v.vt == VT_BSTR) {
    *out = Utf8Of(v.bstrVal);
    return S_OK;
  }
  if (v.vt == (VT_BYREF | VT_BSTR)) {
    *out = v.pbstrVal ? Utf8Of(*v.pbstrVal) : std::string();
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
