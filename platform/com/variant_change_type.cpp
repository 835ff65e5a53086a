// VariantChangeType: every conversion goes through one of three hubs: a
// number (exact integer or floating value), a boolean or text.

#include <cctype>
#include <charconv>
#include <climits>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "platform/com/dispatch.h"
#include "platform/com/variant.h"

namespace {

// A numeric value on its way between types. Integers stay exact; floating
// values remember whether they came from a float, for the shortest text.
struct Number {
  enum Kind { kSigned, kUnsigned, kReal } kind = kSigned;
  long long i = 0;
  unsigned long long u = 0;
  double r = 0;
  bool fromFloat = false;

  static Number Signed(long long v) { Number n; n.kind = kSigned; n.i = v; return n; }
  static Number Unsigned(unsigned long long v) { Number n; n.kind = kUnsigned; n.u = v; return n; }
  static Number Real(double v, bool fromFloat = false) {
    Number n; n.kind = kReal; n.r = v; n.fromFloat = fromFloat; return n;
  }
  double AsDouble() const {
    return kind == kSigned ? double(i) : kind == kUnsigned ? double(u) : r;
  }
  bool IsZero() const { return kind == kSigned ? i == 0 : kind == kUnsigned ? u == 0 : r == 0; }
};

constexpr double kMinDate = -657434.0;           // 0100-01-01
constexpr double kMaxDate = 2958465.99999999;    // 9999-12-31 23:59:59
constexpr long long kDaysFrom1970To1899_12_30 = -25569;
constexpr unsigned __int128 kMaxDecimalMantissa = (static_cast<unsigned __int128>(1) << 96) - 1;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string Trimmed(const std::string& text) {
  size_t first = 0, last = text.size();
  while (first < last && IsSpace(text[first])) ++first;
  while (last > first && IsSpace(text[last - 1])) --last;
  return text.substr(first, last - first);
}

bool EqualsNoCase(const std::string& a, const char* b) {
  size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (size_t k = 0; k < n; ++k) {
    char c = a[k];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != b[k]) return false;
  }
  return true;
}

// Decimal text: an optional sign, digits with an optional fraction and
// exponent. Integers that fit stay exact.
bool ParseNumber(const std::string& raw, Number* out) {
  std::string text = Trimmed(raw);
  if (text.empty()) return false;
  size_t pos = 0;
  bool negative = false;
  if (text[0] == '+' || text[0] == '-') {
    negative = text[0] == '-';
    pos = 1;
  }
  const char* begin = text.data() + pos;
  const char* end = text.data() + text.size();
  if (begin == end || !(std::isdigit(static_cast<unsigned char>(*begin)) || *begin == '.')) return false;
  unsigned long long magnitude = 0;
  auto [intEnd, intErr] = std::from_chars(begin, end, magnitude);
  if (intErr == std::errc() && intEnd == end) {
    if (!negative) {
      *out = magnitude <= static_cast<unsigned long long>(std::numeric_limits<long long>::max())
                 ? Number::Signed(static_cast<long long>(magnitude))
                 : Number::Unsigned(magnitude);
      return true;
    }
    if (magnitude <= static_cast<unsigned long long>(std::numeric_limits<long long>::max()) + 1ull) {
      *out = Number::Signed(static_cast<long long>(0ull - magnitude));
      return true;
    }
  }
  double value = 0;
  auto [realEnd, realErr] = std::from_chars(begin, end, value, std::chars_format::general);
  if (realEnd != end) return false;
  if (realErr == std::errc::result_out_of_range) {
    value = std::numeric_limits<double>::infinity();  // reported as an overflow later
  } else if (realErr != std::errc() || std::isnan(value)) {
    return false;
  }
  *out = Number::Real(negative ? -value : value);
  return true;
}

// A real as the platform writes one: 15 significant digits for a double
// and 7 for a float, trailing zeros dropped, and an exponent ("1E+21",
// "1E-07") for values those digits cannot write plainly.
std::string FormatDouble(double value, bool fromFloat) {
  char buf[64];
  std::snprintf(buf, sizeof buf, fromFloat ? "%.7G" : "%.15G", value);
  return buf;
}

std::string FormatNumber(const Number& n) {
  if (n.kind == Number::kSigned) return std::to_string(n.i);
  if (n.kind == Number::kUnsigned) return std::to_string(n.u);
  return FormatDouble(n.r, n.fromFloat);
}

// An exact decimal text of mantissa / 10^scale.
std::string FormatScaled(unsigned __int128 mantissa, int scale, bool negative) {
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + int(mantissa % 10)));
    mantissa /= 10;
  } while (mantissa);
  if (scale > 0) {
    if (static_cast<int>(digits.size()) <= scale) digits.insert(0, scale + 1 - digits.size(), '0');
    digits.insert(digits.size() - scale, ".");
    while (digits.back() == '0') digits.pop_back();
    if (digits.back() == '.') digits.pop_back();
  }
  if (negative && digits != "0") digits.insert(digits.begin(), '-');
  return digits;
}

unsigned __int128 DecimalMantissa(const DECIMAL& d) {
  return (static_cast<unsigned __int128>(d.Hi32) << 64) | d.Lo64;
}

Number NumberFromDecimal(const DECIMAL& d) {
  unsigned __int128 m = DecimalMantissa(d);
  bool negative = (d.sign & DECIMAL_NEG) != 0;
  if (d.scale == 0 && m <= static_cast<unsigned __int128>(std::numeric_limits<long long>::max()))
    return Number::Signed(negative ? -static_cast<long long>(m) : static_cast<long long>(m));
  return Number::Real(std::strtod(FormatScaled(m, d.scale, negative).c_str(), nullptr));
}

// The decimal nearest to the value, from its shortest exact text.
HRESULT DecimalFromNumber(const Number& n, DECIMAL* out) {
  std::string text;
  if (n.kind == Number::kReal) {
    if (!std::isfinite(n.r)) return DISP_E_OVERFLOW;
    char buf[64];
    auto result = std::to_chars(buf, buf + sizeof buf, n.r, std::chars_format::scientific);
    text.assign(buf, result.ptr);
  } else {
    text = FormatNumber(n);
  }
  bool negative = !text.empty() && text[0] == '-';
  unsigned __int128 mantissa = 0;
  int scale = 0, exponent = 0;
  bool inFraction = false;
  size_t k = negative ? 1 : 0;
  for (; k < text.size(); ++k) {
    char c = text[k];
    if (c == '.') { inFraction = true; continue; }
    if (c == 'e' || c == 'E') { exponent = std::atoi(text.c_str() + k + 1); break; }
    mantissa = mantissa * 10 + static_cast<unsigned>(c - '0');
    if (inFraction) ++scale;
    if (mantissa > kMaxDecimalMantissa) return DISP_E_OVERFLOW;
  }
  scale -= exponent;
  while (scale < 0) {
    mantissa *= 10;
    ++scale;
    if (mantissa > kMaxDecimalMantissa) return DISP_E_OVERFLOW;
  }
  while (scale > 28) {  // below the smallest step: round away the excess digits
    mantissa = (mantissa + 5) / 10;
    --scale;
  }
  DECIMAL d{};
  d.scale = static_cast<BYTE>(scale);
  d.sign = negative && mantissa != 0 ? DECIMAL_NEG : 0;
  d.Hi32 = static_cast<ULONG>(mantissa >> 64);
  d.Lo64 = static_cast<ULONGLONG>(mantissa);
  *out = d;
  return S_OK;
}

// Days since 1970-01-01 to a civil date, and back (proleptic Gregorian).
void CivilFromDays(long long z, int* y, unsigned* m, unsigned* d) {
  z += 719468;
  long long era = (z >= 0 ? z : z - 146096) / 146097;
  unsigned doe = static_cast<unsigned>(z - era * 146097);
  unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  long long year = static_cast<long long>(yoe) + era * 400;
  unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  unsigned mp = (5 * doy + 2) / 153;
  *d = doy - (153 * mp + 2) / 5 + 1;
  *m = mp < 10 ? mp + 3 : mp - 9;
  *y = static_cast<int>(year + (*m <= 2));
}

long long DaysFromCivil(int y, unsigned m, unsigned d) {
  y -= m <= 2;
  long long era = (y >= 0 ? y : y - 399) / 400;
  unsigned yoe = static_cast<unsigned>(y - era * 400);
  unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

// "YYYY-MM-DD", with " HH:MM:SS" when the time of day is not midnight.
std::string FormatDate(DATE date) {
  double whole = std::trunc(date);
  double fraction = std::fabs(date - whole);
  long long seconds = std::llround(fraction * 86400.0);
  if (seconds >= 86400) {  // rounding reached the next day
    seconds -= 86400;
    whole += date < 0 ? -1 : 1;
  }
  int y;
  unsigned m, d;
  CivilFromDays(static_cast<long long>(whole) + kDaysFrom1970To1899_12_30, &y, &m, &d);
  char buf[48];
  if (seconds == 0)
    std::snprintf(buf, sizeof buf, "%04d-%02u-%02u", y, m, d);
  else
    std::snprintf(buf, sizeof buf, "%04d-%02u-%02u %02lld:%02lld:%02lld", y, m, d, seconds / 3600,
                  seconds / 60 % 60, seconds % 60);
  return buf;
}

// "YYYY-MM-DD" optionally followed by 'T' or ' ' and "HH:MM[:SS]".
bool ParseDate(const std::string& raw, DATE* out) {
  std::string text = Trimmed(raw);
  int y, mo, d, h = 0, mi = 0, s = 0, used = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &y, &mo, &d, &used) != 3) return false;
  if (used != static_cast<int>(text.size())) {
    char sep = text[used];
    if (sep != 'T' && sep != ' ') return false;
    int more = 0;
    const char* rest = text.c_str() + used + 1;
    if (std::sscanf(rest, "%2d:%2d:%2d%n", &h, &mi, &s, &more) != 3) {
      s = 0;
      if (std::sscanf(rest, "%2d:%2d%n", &h, &mi, &more) != 2) return false;
    }
    if (used + 1 + more != static_cast<int>(text.size())) return false;
  }
  if (y < 100 || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59) return false;
  long long days = DaysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d));
  int ry;
  unsigned rm, rd;
  CivilFromDays(days, &ry, &rm, &rd);
  if (static_cast<int>(rd) != d) return false;  // 31 April and the like
  double whole = static_cast<double>(days - kDaysFrom1970To1899_12_30);
  double fraction = (h * 3600 + mi * 60 + s) / 86400.0;
  *out = whole < 0 ? whole - fraction : whole + fraction;
  return true;
}

// The numeric value of a scalar source; DISP_E_TYPEMISMATCH for text that
// is not a number and for non-numeric types.
HRESULT ToNumber(const VARIANT& v, Number* out) {
  switch (v.vt) {
    case VT_EMPTY: *out = Number::Signed(0); return S_OK;
    case VT_I1: *out = Number::Signed(v.cVal); return S_OK;
    case VT_I2: *out = Number::Signed(v.iVal); return S_OK;
    case VT_I4: *out = Number::Signed(v.lVal); return S_OK;
    case VT_INT: *out = Number::Signed(v.intVal); return S_OK;
    case VT_I8: *out = Number::Signed(v.llVal); return S_OK;
    case VT_UI1: *out = Number::Signed(v.bVal); return S_OK;
    case VT_UI2: *out = Number::Signed(v.uiVal); return S_OK;
    case VT_UI4: *out = Number::Signed(v.ulVal); return S_OK;
    case VT_UINT: *out = Number::Signed(v.uintVal); return S_OK;
    case VT_UI8: *out = Number::Unsigned(v.ullVal); return S_OK;
    case VT_BOOL: *out = Number::Signed(v.boolVal ? -1 : 0); return S_OK;
    case VT_R4: *out = Number::Real(v.fltVal, true); return S_OK;
    case VT_R8: *out = Number::Real(v.dblVal); return S_OK;
    case VT_DATE: *out = Number::Real(v.date); return S_OK;
    case VT_CY:
      if (v.cyVal.int64 % 10000 == 0) *out = Number::Signed(v.cyVal.int64 / 10000);
      else *out = Number::Real(static_cast<double>(v.cyVal.int64) / 10000.0);
      return S_OK;
    case VT_DECIMAL: *out = NumberFromDecimal(v.decVal); return S_OK;
    case VT_BSTR: {
      std::string text = ardo::BstrToUtf8(v.bstrVal);
      return ParseNumber(text, out) ? S_OK : DISP_E_TYPEMISMATCH;
    }
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

// Rounds half to even, as the OLE conversions do, and range-checks.
template <class T>
HRESULT ToInteger(const Number& n, T* out) {
  using Limits = std::numeric_limits<T>;
  if (n.kind == Number::kSigned) {
    if (n.i < 0 && !Limits::is_signed) return DISP_E_OVERFLOW;
    if (Limits::is_signed ? (n.i < static_cast<long long>(Limits::min()) ||
                             n.i > static_cast<long long>(Limits::max()))
                          : static_cast<unsigned long long>(n.i) >
                                static_cast<unsigned long long>(Limits::max()))
      return DISP_E_OVERFLOW;
    *out = static_cast<T>(n.i);
    return S_OK;
  }
  if (n.kind == Number::kUnsigned) {
    if (n.u > static_cast<unsigned long long>(Limits::max())) return DISP_E_OVERFLOW;
    *out = static_cast<T>(n.u);
    return S_OK;
  }
  if (!std::isfinite(n.r)) return DISP_E_OVERFLOW;
  double rounded = std::nearbyint(n.r);  // ties to even in the default rounding mode
  double limit = std::ldexp(1.0, Limits::digits);
  if (rounded >= limit || rounded < (Limits::is_signed ? -limit : 0.0)) return DISP_E_OVERFLOW;
  *out = static_cast<T>(rounded);
  return S_OK;
}

HRESULT NumberToVariant(const Number& n, VARTYPE vt, VARIANT* out) {
  HRESULT hr = S_OK;
  switch (vt) {
    case VT_I1: hr = ToInteger(n, &out->cVal); break;
    case VT_UI1: hr = ToInteger(n, &out->bVal); break;
    case VT_I2: hr = ToInteger(n, &out->iVal); break;
    case VT_UI2: hr = ToInteger(n, &out->uiVal); break;
    case VT_I4: hr = ToInteger(n, &out->lVal); break;
    case VT_UI4: hr = ToInteger(n, &out->ulVal); break;
    case VT_INT: hr = ToInteger(n, &out->intVal); break;
    case VT_UINT: hr = ToInteger(n, &out->uintVal); break;
    case VT_I8: hr = ToInteger(n, &out->llVal); break;
    case VT_UI8: hr = ToInteger(n, &out->ullVal); break;
    case VT_BOOL: out->boolVal = n.IsZero() ? VARIANT_FALSE : VARIANT_TRUE; break;
    case VT_R8: {
      double d = n.AsDouble();
      if (!std::isfinite(d)) return DISP_E_OVERFLOW;
      out->dblVal = d;
      break;
    }
    case VT_R4: {
      double d = n.AsDouble();
      if (!std::isfinite(d) || std::fabs(d) > FLT_MAX) return DISP_E_OVERFLOW;
      out->fltVal = static_cast<float>(d);
      break;
    }
    case VT_DATE: {
      double d = n.AsDouble();
      if (!(d >= kMinDate && d <= kMaxDate)) return DISP_E_OVERFLOW;
      out->date = d;
      break;
    }
    case VT_CY: {
      if (n.kind == Number::kSigned) {
        if (n.i > LLONG_MAX / 10000 || n.i < LLONG_MIN / 10000) return DISP_E_OVERFLOW;
        out->cyVal.int64 = n.i * 10000;
      } else {
        Number scaled = Number::Real(n.AsDouble() * 10000.0);
        hr = ToInteger(scaled, &out->cyVal.int64);
      }
      break;
    }
    case VT_DECIMAL: {
      DECIMAL d;
      hr = DecimalFromNumber(n, &d);
      if (SUCCEEDED(hr)) out->decVal = d;  // overlays vt: set below
      break;
    }
    default:
      return DISP_E_TYPEMISMATCH;
  }
  if (SUCCEEDED(hr)) out->vt = vt;
  return hr;
}

// A boolean is written as the number it is ("-1", "0") unless the caller
// asks for its name (VARIANT_ALPHABOOL, VARIANT_LOCALBOOL).
HRESULT ToText(const VARIANT& v, USHORT flags, std::string* out) {
  switch (v.vt) {
    case VT_EMPTY: out->clear(); return S_OK;
    case VT_BOOL:
      if (flags & (VARIANT_ALPHABOOL | VARIANT_LOCALBOOL)) *out = v.boolVal ? "True" : "False";
      else *out = v.boolVal ? "-1" : "0";
      return S_OK;
    case VT_DATE:
      if (!(v.date >= kMinDate && v.date <= kMaxDate)) return DISP_E_OVERFLOW;
      *out = FormatDate(v.date);
      return S_OK;
    case VT_CY:
      *out = FormatScaled(static_cast<unsigned __int128>(v.cyVal.int64 < 0 ? -(__int128)v.cyVal.int64
                                                                          : (__int128)v.cyVal.int64),
                          4, v.cyVal.int64 < 0);
      return S_OK;
    case VT_DECIMAL:
      *out = FormatScaled(DecimalMantissa(v.decVal), v.decVal.scale, v.decVal.sign & DECIMAL_NEG);
      return S_OK;
    default: {
      Number n;
      HRESULT hr = ToNumber(v, &n);
      if (FAILED(hr)) return hr;
      *out = FormatNumber(n);
      return S_OK;
    }
  }
}

HRESULT ToBool(const VARIANT& v, VARIANT_BOOL* out) {
  if (v.vt == VT_BSTR) {
    std::string text = Trimmed(ardo::BstrToUtf8(v.bstrVal));
    if (EqualsNoCase(text, "true")) { *out = VARIANT_TRUE; return S_OK; }
    if (EqualsNoCase(text, "false")) { *out = VARIANT_FALSE; return S_OK; }
  }
  Number n;
  HRESULT hr = ToNumber(v, &n);
  if (FAILED(hr)) return hr;
  *out = n.IsZero() ? VARIANT_FALSE : VARIANT_TRUE;
  return S_OK;
}

bool IsInterface(VARTYPE vt) { return vt == VT_UNKNOWN || vt == VT_DISPATCH; }

HRESULT Convert(const VARIANT& src, USHORT flags, VARTYPE vt, VARIANT* out);

// An object converts to a scalar through its default (value) property.
HRESULT ConvertThroughValueProperty(const VARIANT& src, USHORT flags, VARTYPE vt, VARIANT* out) {
  if ((flags & VARIANT_NOVALUEPROP) || !src.pdispVal) return DISP_E_TYPEMISMATCH;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  VARIANT value;
  VariantInit(&value);
  HRESULT hr = src.pdispVal->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &value,
                                    nullptr, nullptr);
  if (FAILED(hr)) return DISP_E_TYPEMISMATCH;
  hr = Convert(value, flags | VARIANT_NOVALUEPROP, vt, out);
  VariantClear(&value);
  return hr;
}

HRESULT Convert(const VARIANT& src, USHORT flags, VARTYPE vt, VARIANT* out) {
  if (src.vt == vt) return VariantCopy(out, &src);
  if ((vt & VT_ARRAY) || (src.vt & VT_ARRAY)) return DISP_E_TYPEMISMATCH;
  if (vt == VT_EMPTY) return S_OK;
  if (vt == VT_NULL || src.vt == VT_NULL || src.vt == VT_ERROR || vt == VT_ERROR)
    return DISP_E_TYPEMISMATCH;
  if (IsInterface(vt)) {
    if (src.vt == VT_EMPTY) {
      out->vt = vt;
      out->punkVal = nullptr;
      return S_OK;
    }
    if (!IsInterface(src.vt)) return DISP_E_TYPEMISMATCH;
    out->vt = vt;
    out->punkVal = nullptr;
    if (!src.punkVal) return S_OK;
    HRESULT hr = src.punkVal->QueryInterface(vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown,
                                             reinterpret_cast<void**>(&out->punkVal));
    if (FAILED(hr)) VariantInit(out);
    return hr;
  }
  if (src.vt == VT_DISPATCH) return ConvertThroughValueProperty(src, flags, vt, out);
  if (src.vt == VT_UNKNOWN) return DISP_E_TYPEMISMATCH;
  if (vt == VT_BSTR) {
    std::string text;
    HRESULT hr = ToText(src, flags, &text);
    if (FAILED(hr)) return hr;
    std::u16string wide = ardo::Utf8ToUtf16(text);
    BSTR bstr = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    if (!bstr) return E_OUTOFMEMORY;
    out->vt = VT_BSTR;
    out->bstrVal = bstr;
    return S_OK;
  }
  if (vt == VT_BOOL) {
    VARIANT_BOOL b;
    HRESULT hr = ToBool(src, &b);
    if (FAILED(hr)) return hr;
    out->vt = VT_BOOL;
    out->boolVal = b;
    return S_OK;
  }
  if (vt == VT_DATE && src.vt == VT_BSTR) {
    DATE date;
    std::string text = ardo::BstrToUtf8(src.bstrVal);
    if (ParseDate(text, &date)) {
      out->vt = VT_DATE;
      out->date = date;
      return S_OK;
    }
  }
  Number n;
  HRESULT hr = ToNumber(src, &n);
  if (FAILED(hr)) return hr;
  return NumberToVariant(n, vt, out);
}

bool IsConvertibleTarget(VARTYPE vt) {
  if (vt & VT_BYREF) return false;
  VARTYPE base = vt & VT_TYPEMASK;
  if (vt & ~(VT_TYPEMASK | VT_ARRAY)) return false;
  if (vt & VT_ARRAY) return base != VT_EMPTY && base != VT_NULL;
  return ardo::IsVariantScalarType(base);
}

}  // namespace

HRESULT VariantChangeType(VARIANTARG* dest, const VARIANTARG* src, USHORT wFlags, VARTYPE vt) {
  if (!dest || !src) return E_INVALIDARG;
  if (!IsConvertibleTarget(vt)) return DISP_E_BADVARTYPE;
  VARIANT view;
  HRESULT hr = ardo::DereferenceVariant(src, &view);
  if (FAILED(hr)) return hr;
  VARIANT result;
  VariantInit(&result);
  hr = Convert(view, wFlags, vt, &result);
  if (FAILED(hr)) return hr;
  // The result owns its own copy, so clearing dest (perhaps src) is safe now.
  hr = VariantClear(dest);
  if (FAILED(hr)) {
    VariantClear(&result);
    return hr;
  }
  *dest = result;
  return S_OK;
}

HRESULT VariantChangeTypeEx(VARIANTARG* dest, const VARIANTARG* src, DWORD, USHORT wFlags,
                            VARTYPE vt) {
  return VariantChangeType(dest, src, wFlags, vt);
}
