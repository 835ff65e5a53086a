// Text crossing the COM boundary: libxml2 keeps UTF-8, callers hand in and
// take out UTF-16 BSTRs. These helpers convert without an intermediate
// string where the result is a BSTR, and never fail on bad input (invalid
// UTF-8 and lone surrogates become U+FFFD).
#pragma once

#include <string>
#include <string_view>

#include "platform/platform.h"

namespace ardo::engine {

// A new BSTR holding the UTF-8 text; null only when the allocation failed.
BSTR AllocBstr(std::string_view utf8);

// Writes a new BSTR with the text into *out: E_INVALIDARG for a null out,
// E_OUTOFMEMORY (and *out null) when the allocation fails.
HRESULT ReturnBstr(std::string_view utf8, BSTR* out);
inline HRESULT ReturnBstr(const unsigned char* utf8, BSTR* out) {
  return ReturnBstr(utf8 ? std::string_view(reinterpret_cast<const char*>(utf8)) : std::string_view(), out);
}

// Writes VT_BSTR with the text into *out (not cleared first).
HRESULT ReturnBstrVariant(std::string_view utf8, VARIANT* out);

// The UTF-8 form of a BSTR up to its first NUL; null gives "".
std::string Utf8Of(const OLECHAR* text);
// The UTF-8 form of a BSTR up to its first NUL, held on the stack when it
// is short (names): no allocation on the way to a lookup.
class Utf8Name {
 public:
  explicit Utf8Name(const OLECHAR* text);
  Utf8Name(const Utf8Name&) = delete;
  Utf8Name& operator=(const Utf8Name&) = delete;
  std::string_view View() const { return std::string_view(data_, size_); }

 private:
  static constexpr size_t kInline = 96;
  char inline_[kInline];
  std::string long_;
  const char* data_ = inline_;
  size_t size_ = 0;
};

// The UTF-8 form of every character of a BSTR, NULs included.
std::string Utf8OfWhole(BSTR text);
// Appends the UTF-8 form of n UTF-16 units.
void AppendUtf8(std::string* out, const char16_t* text, size_t n);

// The text form of a VARIANT (VT_BSTR as it is, other types converted by
// VariantChangeType): the conversion's failure HRESULT when it has none
// (VT_NULL, an object without a value).
HRESULT Utf8OfVariant(const VARIANT& value, std::string* out);
// *value without its VT_BYREF indirections (a borrowed view).
const VARIANT& Dereferenced(const VARIANT& value);
// A shallow copy of value with one level of VT_BYREF taken off a string,
// object, byte array or scalar as well (the copy owns nothing: never clear
// it).
VARIANT ShallowValue(const VARIANT& value);

// UTF-16 conversions for character-data offsets, which count UTF-16 units.
std::u16string Utf16Of(std::string_view utf8);
long Utf16Length(std::string_view utf8);

// XML white space: space, tab, carriage return, line feed.
inline bool IsXmlSpace(unsigned char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsAllXmlSpace(std::string_view text);

// The view of a libxml2 string (null gives an empty view).
inline std::string_view View(const unsigned char* s) {
  return s ? std::string_view(reinterpret_cast<const char*>(s)) : std::string_view();
}
inline const unsigned char* Xml(const char* s) { return reinterpret_cast<const unsigned char*>(s); }
inline const unsigned char* Xml(const std::string& s) { return Xml(s.c_str()); }

}  // namespace ardo::engine
