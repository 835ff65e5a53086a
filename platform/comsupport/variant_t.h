// _variant_t: an owning VARIANT. It is a VARIANT (so &v can be passed as a
// VARIANT*) and clears itself when destroyed. Failures throw _com_error.
#pragma once

#include <type_traits>
#include <utility>

#include "platform/com/dispatch.h"
#include "platform/comsupport/bstr_t.h"

class _variant_t : public tagVARIANT {
 public:
  _variant_t() noexcept;
  _variant_t(const VARIANT& src);         // deep copy
  _variant_t(const _variant_t& src);      // deep copy
  _variant_t(_variant_t&& src) noexcept;  // leaves src VT_EMPTY
  // fCopy false takes over src's content and leaves src VT_EMPTY.
  _variant_t(VARIANT& src, bool fCopy);
  _variant_t(short value, VARTYPE vt = VT_I2);  // VT_I2 or VT_BOOL
  // VT_I4 (or VT_ERROR, VT_BOOL); DISP_E_OVERFLOW beyond 32 bits.
  _variant_t(long value, VARTYPE vt = VT_I4);
  _variant_t(int value);                          // VT_INT
  _variant_t(unsigned int value);                 // VT_UINT
  _variant_t(unsigned short value);               // VT_UI2
  _variant_t(unsigned long value);                // VT_UI4; DISP_E_OVERFLOW beyond 32 bits
  _variant_t(long long value);                    // VT_I8
  _variant_t(unsigned long long value);           // VT_UI8
  _variant_t(char value);                         // VT_I1
  _variant_t(unsigned char value);                // VT_UI1
  _variant_t(float value);                        // VT_R4
  _variant_t(double value, VARTYPE vt = VT_R8);   // VT_R8 or VT_DATE
  _variant_t(const CY& value);                    // VT_CY
  _variant_t(const DECIMAL& value);               // VT_DECIMAL
  _variant_t(bool value);                         // VT_BOOL, VARIANT_TRUE for true
  _variant_t(const char* text);                   // VT_BSTR (null text: null BSTR)
  _variant_t(const OLECHAR* text);                // VT_BSTR, a copy
  _variant_t(const _bstr_t& text);                // VT_BSTR, a copy
  // Interfaces: an added reference, or (fAddRef false) the caller's taken over.
  _variant_t(IDispatch* p, bool fAddRef = true);
  _variant_t(IUnknown* p, bool fAddRef = true);
  ~_variant_t();

  _variant_t& operator=(const VARIANT& src);
  _variant_t& operator=(const _variant_t& src);
  _variant_t& operator=(_variant_t&& src) noexcept;
  template <class T, class = std::enable_if_t<!std::is_base_of_v<tagVARIANT, std::decay_t<T>>>>
  _variant_t& operator=(T&& value) {
    return *this = _variant_t(std::forward<T>(value));
  }

  // Same type and value (strings by text); values of different types differ.
  bool operator==(const VARIANT& other) const;
  bool operator!=(const VARIANT& other) const { return !(*this == other); }

  void Clear();
  // Hands the content to the caller and leaves this VT_EMPTY.
  VARIANT Detach() noexcept;
  // Clears this and takes over src's content (src is left VT_EMPTY).
  void Attach(VARIANT& src);
  // Converts in place (or from src into this); _com_error on failure.
  void ChangeType(VARTYPE vt, const _variant_t* src = nullptr);
  void SetString(const char* text);

  // Extractors convert a copy (VariantChangeType) and throw _com_error
  // when the value does not convert. Interface extractors add a reference.
  operator short() const;
  operator long() const;
  operator int() const;
  operator long long() const;
  operator unsigned char() const;
  operator float() const;
  operator double() const;
  operator bool() const;
  operator CY() const;
  operator _bstr_t() const;
  operator IDispatch*() const;
  operator IUnknown*() const;
};
