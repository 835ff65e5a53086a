// _bstr_t: an owning BSTR holder with a cached UTF-8 view. Copies are deep.
// Allocation failures throw _com_error(E_OUTOFMEMORY).
#pragma once

#include <memory>
#include <string>

#include "platform/com/bstr.h"
#include "platform/comsupport/com_error.h"

class _variant_t;

class _bstr_t {
 public:
  _bstr_t() noexcept = default;
  _bstr_t(const _bstr_t& other);
  _bstr_t(_bstr_t&& other) noexcept;
  // Null text gives a null BSTR; "" an empty one.
  _bstr_t(const char* text);
  _bstr_t(const OLECHAR* text);
  // fCopy false takes over a delivered BSTR; true copies it.
  _bstr_t(BSTR bstr, bool fCopy);
  // The value converted to text (VariantChangeType); _com_error on failure.
  _bstr_t(const _variant_t& value);
  ~_bstr_t();

  _bstr_t& operator=(const _bstr_t& other);
  _bstr_t& operator=(_bstr_t&& other) noexcept;
  _bstr_t& operator=(const char* text);
  _bstr_t& operator=(const OLECHAR* text);
  _bstr_t& operator+=(const _bstr_t& other);
  _bstr_t operator+(const _bstr_t& other) const;

  // The UTF-8 text up to the first NUL, cached until the string changes;
  // null for a null BSTR.
  operator const char*() const;
  operator char*() const;
  operator const OLECHAR*() const noexcept { return bstr_; }
  operator OLECHAR*() const noexcept { return bstr_; }
  bool operator!() const noexcept { return bstr_ == nullptr; }

  // Compare the wide text (null equals ""), code unit by code unit.
  bool operator==(const _bstr_t& other) const;
  bool operator!=(const _bstr_t& other) const { return !(*this == other); }
  bool operator<(const _bstr_t& other) const;

  unsigned int length() const noexcept { return SysStringLen(bstr_); }
  // A new copy for the caller (fCopy) or the held BSTR itself (borrowed).
  BSTR copy(bool fCopy = true) const;
  // Frees the held string and takes over s.
  void Attach(BSTR s);
  // Hands the BSTR to the caller and leaves this null.
  BSTR Detach() noexcept;
  BSTR& GetBSTR();
  // Frees the held string and returns its slot for an out-parameter.
  BSTR* GetAddress();
  void Assign(BSTR s);  // copies s

 private:
  void Reset(BSTR s) noexcept;
  BSTR bstr_ = nullptr;
  mutable std::unique_ptr<std::string> narrow_;
};
