#include "platform/win/text_encoding.h"

#include <cstring>
#include <type_traits>

#include "platform/com/bstr.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

thread_local DWORD t_lastError = 0;

// Decodes one code point at text[*pos], advancing *pos. Invalid input
// yields U+FFFD for each maximal ill-formed subsequence, so a truncated
// sequence costs one replacement and a stray byte costs one.
char32_t DecodeUtf8(const unsigned char* text, size_t size, size_t* pos, bool* bad) {
  unsigned char lead = text[(*pos)++];
  if (lead < 0x80) return lead;
  int need;
  char32_t cp;
  unsigned char lo = 0x80, hi = 0xBF;  // range allowed for the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    need = 1;
    cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    need = 2;
    cp = lead & 0x0F;
    if (lead == 0xE0) lo = 0xA0;  // overlong
    if (lead == 0xED) hi = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    need = 3;
    cp = lead & 0x07;
    if (lead == 0xF0) lo = 0x90;  // overlong
    if (lead == 0xF4) hi = 0x8F;  // beyond U+10FFFF
  } else {
    *bad = true;  // stray continuation byte, C0/C1 (overlong) or F5..FF
    return kReplacement;
  }
  for (int i = 0; i < need; ++i) {
    if (*pos >= size) {
      *bad = true;
      return kReplacement;
    }
    unsigned char c = text[*pos];
    unsigned char min = i == 0 ? lo : 0x80, max = i == 0 ? hi : 0xBF;
    if (c < min || c > max) {
      *bad = true;
      return kReplacement;
    }
    cp = (cp << 6) | (c & 0x3F);
    ++*pos;
  }
  return cp;
}

// Decodes one code point from UTF-16; a lone surrogate yields U+FFFD.
char32_t DecodeUtf16(const char16_t* text, size_t size, size_t* pos, bool* bad) {
  char16_t unit = text[(*pos)++];
  if (unit < 0xD800 || unit > 0xDFFF) return unit;
  if (unit <= 0xDBFF && *pos < size) {
    char16_t next = text[*pos];
    if (next >= 0xDC00 && next <= 0xDFFF) {
      ++*pos;
      return 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (next - 0xDC00);
    }
  }
  *bad = true;
  return kReplacement;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

void AppendUtf16(std::u16string& out, char32_t cp) {
  if (cp < 0x10000) {
    out += static_cast<char16_t>(cp);
  } else {
    cp -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (cp >> 10));
    out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  }
}

// The length of the leading ASCII run, which converts unit for unit: names
// and numbers, most of what crosses the boundary, are ASCII throughout.
template <class Unit>
size_t AsciiPrefix(const Unit* text, size_t size) {
  size_t n = 0;
  while (n < size && static_cast<std::make_unsigned_t<Unit>>(text[n]) < 0x80) ++n;
  return n;
}

template <class To, class From>
void Widen(const From* from, size_t n, To* to) {
  for (size_t i = 0; i < n; ++i) to[i] = static_cast<To>(from[i]);
}

std::u16string Utf8ToUtf16Checked(std::string_view text, bool* bad) {
  size_t ascii = AsciiPrefix(text.data(), text.size());
  std::u16string out(ascii, u'\0');
  Widen(text.data(), ascii, out.data());
  if (ascii == text.size()) return out;
  out.reserve(text.size());
  auto bytes = reinterpret_cast<const unsigned char*>(text.data());
  for (size_t pos = ascii; pos < text.size();) AppendUtf16(out, DecodeUtf8(bytes, text.size(), &pos, bad));
  return out;
}

std::string Utf16ToUtf8Checked(std::u16string_view text, bool* bad) {
  // Short ASCII text (names, numbers) is narrowed on the stack in one pass
  // and copied into its string once.
  constexpr size_t kShort = 64;
  if (text.size() <= kShort) {
    char narrow[kShort];
    size_t i = 0;
    for (; i < text.size() && text[i] < 0x80; ++i) narrow[i] = static_cast<char>(text[i]);
    if (i == text.size()) return std::string(narrow, i);
  }
  size_t ascii = AsciiPrefix(text.data(), text.size());
  std::string out(ascii, '\0');
  Widen(text.data(), ascii, out.data());
  if (ascii == text.size()) return out;
  out.reserve(text.size() + (text.size() - ascii) * 2);
  for (size_t pos = ascii; pos < text.size();) AppendUtf8(out, DecodeUtf16(text.data(), text.size(), &pos, bad));
  return out;
}

bool IsNarrowCodePage(UINT codePage) {
  return codePage == CP_ACP || codePage == CP_OEMCP || codePage == CP_THREAD_ACP ||
         codePage == CP_UTF8;
}

// Copies a converted result out under the Win32 sizing rules.
template <class String>
int DeliverConverted(const String& converted, typename String::value_type* out, int outSize) {
  int needed = static_cast<int>(converted.size());
  if (outSize == 0) return needed;
  if (needed > outSize) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(out, converted.data(), converted.size() * sizeof(typename String::value_type));
  return needed;
}

}  // namespace

DWORD GetLastError() { return t_lastError; }
void SetLastError(DWORD code) { t_lastError = code; }

int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWCH lpWideCharStr, int cchWideChar,
                        LPSTR lpMultiByteStr, int cbMultiByte, LPCCH, LPBOOL lpUsedDefaultChar) {
  if (!IsNarrowCodePage(CodePage) || !lpWideCharStr || cchWideChar == 0 || cchWideChar < -1 ||
      cbMultiByte < 0 || (cbMultiByte > 0 && !lpMultiByteStr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  size_t length = cchWideChar == -1 ? std::char_traits<char16_t>::length(lpWideCharStr) + 1
                                    : static_cast<size_t>(cchWideChar);
  bool bad = false;
  std::string converted = Utf16ToUtf8Checked({lpWideCharStr, length}, &bad);
  if (bad && (dwFlags & WC_ERR_INVALID_CHARS)) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return 0;
  }
  if (lpUsedDefaultChar) *lpUsedDefaultChar = bad ? TRUE : FALSE;
  return DeliverConverted(converted, lpMultiByteStr, cbMultiByte);
}

int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCCH lpMultiByteStr, int cbMultiByte,
                        LPWSTR lpWideCharStr, int cchWideChar) {
  if (!IsNarrowCodePage(CodePage) || !lpMultiByteStr || cbMultiByte == 0 || cbMultiByte < -1 ||
      cchWideChar < 0 || (cchWideChar > 0 && !lpWideCharStr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  size_t length = cbMultiByte == -1 ? std::strlen(lpMultiByteStr) + 1
                                    : static_cast<size_t>(cbMultiByte);
  bool bad = false;
  std::u16string converted = Utf8ToUtf16Checked({lpMultiByteStr, length}, &bad);
  if (bad && (dwFlags & MB_ERR_INVALID_CHARS)) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return 0;
  }
  return DeliverConverted(converted, lpWideCharStr, cchWideChar);
}

namespace ardo {

std::u16string Utf8ToUtf16(std::string_view text) {
  bool bad = false;
  return Utf8ToUtf16Checked(text, &bad);
}

std::string Utf16ToUtf8(std::u16string_view text) {
  bool bad = false;
  return Utf16ToUtf8Checked(text, &bad);
}

std::string WideToUtf8(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (wchar_t ch : text) {
    auto cp = static_cast<char32_t>(ch);
    bool valid = cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
    AppendUtf8(out, valid ? cp : kReplacement);
  }
  return out;
}

OLECHAR* Utf8ToBstr(const char* text) { return text ? Utf8ToBstr(std::string_view(text)) : nullptr; }

OLECHAR* Utf8ToBstr(std::string_view text) {
  // Short ASCII text (names, numbers) is widened on the stack in the pass
  // that checks it, and written into its BSTR once.
  constexpr size_t kShort = 64;
  if (text.size() <= kShort) {
    OLECHAR wide[kShort];
    unsigned char seen = 0;  // the bytes' bits together: any at or above 0x80 shows
    for (size_t i = 0; i < text.size(); ++i) {
      seen |= static_cast<unsigned char>(text[i]);
      wide[i] = static_cast<unsigned char>(text[i]);
    }
    if (seen < 0x80) return SysAllocStringLen(wide, static_cast<UINT>(text.size()));
  } else if (AsciiPrefix(text.data(), text.size()) == text.size()) {
    OLECHAR* bstr = SysAllocStringLen(nullptr, static_cast<UINT>(text.size()));
    if (bstr) Widen(text.data(), text.size(), bstr);
    return bstr;
  }
  std::u16string wide = Utf8ToUtf16(text);
  return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

std::string BstrToUtf8(const OLECHAR* text) {
  if (!text) return std::string();
  return Utf16ToUtf8(std::u16string_view(text));
}

}  // namespace ardo
