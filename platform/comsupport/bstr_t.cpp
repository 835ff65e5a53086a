#include "platform/comsupport/bstr_t.h"

#include <cstring>

#include "platform/comsupport/variant_t.h"

namespace {

BSTR CopyOrThrow(const OLECHAR* text, UINT length) {
  BSTR copy = SysAllocStringLen(text, length);
  if (!copy) _com_issue_error(E_OUTOFMEMORY);
  return copy;
}

BSTR CopyOrThrow(BSTR source) {
  return source ? CopyOrThrow(source, SysStringLen(source)) : nullptr;
}

}  // namespace

_bstr_t::_bstr_t(const _bstr_t& other) : bstr_(CopyOrThrow(other.bstr_)) {}

_bstr_t::_bstr_t(_bstr_t&& other) noexcept
    : bstr_(other.Detach()), narrow_(std::move(other.narrow_)) {}

_bstr_t::_bstr_t(const char* text) {
  if (!text) return;
  std::u16string wide = ardo::Utf8ToUtf16(text);
  bstr_ = CopyOrThrow(wide.data(), static_cast<UINT>(wide.size()));
}

_bstr_t::_bstr_t(const OLECHAR* text) {
  if (text) bstr_ = CopyOrThrow(text, static_cast<UINT>(std::char_traits<OLECHAR>::length(text)));
}

_bstr_t::_bstr_t(BSTR bstr, bool fCopy) : bstr_(fCopy ? CopyOrThrow(bstr) : bstr) {}

_bstr_t::_bstr_t(const _variant_t& value) {
  if (value.vt == VT_BSTR) {
    bstr_ = CopyOrThrow(value.bstrVal);
    return;
  }
  _variant_t text;
  HRESULT hr = VariantChangeType(&text, &value, 0, VT_BSTR);
  if (FAILED(hr)) _com_issue_error(hr);
  bstr_ = text.bstrVal;
  text.vt = VT_EMPTY;  // the string now belongs to this object
}

_bstr_t::~_bstr_t() { SysFreeString(bstr_); }

_bstr_t& _bstr_t::operator=(const _bstr_t& other) {
  if (this != &other) Reset(CopyOrThrow(other.bstr_));
  return *this;
}

_bstr_t& _bstr_t::operator=(_bstr_t&& other) noexcept {
  if (this != &other) Reset(other.Detach());
  return *this;
}

_bstr_t& _bstr_t::operator=(const char* text) { return *this = _bstr_t(text); }
_bstr_t& _bstr_t::operator=(const OLECHAR* text) { return *this = _bstr_t(text); }

_bstr_t& _bstr_t::operator+=(const _bstr_t& other) {
  UINT a = length(), b = other.length();
  if (!bstr_ && !other.bstr_) return *this;
  BSTR joined = CopyOrThrow(nullptr, a + b);
  if (a) std::memcpy(joined, bstr_, a * sizeof(OLECHAR));
  if (b) std::memcpy(joined + a, other.bstr_, b * sizeof(OLECHAR));
  Reset(joined);
  return *this;
}

_bstr_t _bstr_t::operator+(const _bstr_t& other) const {
  _bstr_t result(*this);
  result += other;
  return result;
}

_bstr_t::operator const char*() const {
  if (!bstr_) return nullptr;
  if (!narrow_) narrow_ = std::make_unique<std::string>(ardo::BstrToUtf8(bstr_));
  return narrow_->c_str();
}

_bstr_t::operator char*() const {
  return const_cast<char*>(static_cast<const char*>(*this));
}

bool _bstr_t::operator==(const _bstr_t& other) const {
  UINT a = length(), b = other.length();
  return a == b && (a == 0 || std::memcmp(bstr_, other.bstr_, a * sizeof(OLECHAR)) == 0);
}

bool _bstr_t::operator<(const _bstr_t& other) const {
  std::u16string_view a(bstr_ ? bstr_ : u"", length());
  std::u16string_view b(other.bstr_ ? other.bstr_ : u"", other.length());
  return a < b;
}

BSTR _bstr_t::copy(bool fCopy) const { return fCopy ? CopyOrThrow(bstr_) : bstr_; }

void _bstr_t::Attach(BSTR s) { Reset(s); }

BSTR _bstr_t::Detach() noexcept {
  narrow_.reset();
  BSTR held = bstr_;
  bstr_ = nullptr;
  return held;
}

BSTR& _bstr_t::GetBSTR() {
  narrow_.reset();  // the caller may change the string through the reference
  return bstr_;
}

BSTR* _bstr_t::GetAddress() {
  Reset(nullptr);
  return &bstr_;
}

void _bstr_t::Assign(BSTR s) { Reset(CopyOrThrow(s)); }

void _bstr_t::Reset(BSTR s) noexcept {
  narrow_.reset();
  if (s != bstr_) SysFreeString(bstr_);
  bstr_ = s;
}
