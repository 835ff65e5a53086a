#include "engine/dom/data_types.h"

#include <libxml/tree.h>

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include <strings.h>

namespace ardo::engine {
namespace {

struct TypeEntry {
  const char* name;
  DataType type;
  VARTYPE vt;
};

constexpr TypeEntry kTypes[] = {
    {"string", DataType::String, VT_BSTR},
    {"number", DataType::Number, VT_R8},
    {"int", DataType::Int, VT_I4},
    {"i1", DataType::I1, VT_I1},
    {"i2", DataType::I2, VT_I2},
    {"i4", DataType::I4, VT_I4},
    {"i8", DataType::I8, VT_I8},
    {"ui1", DataType::UI1, VT_UI1},
    {"ui2", DataType::UI2, VT_UI2},
    {"ui4", DataType::UI4, VT_UI4},
    {"ui8", DataType::UI8, VT_UI8},
    {"r4", DataType::R4, VT_R4},
    {"r8", DataType::R8, VT_R8},
    {"float", DataType::Float, VT_R8},
    {"boolean", DataType::Boolean, VT_BOOL},
    {"fixed.14.4", DataType::Fixed14_4, VT_CY},
    {"date", DataType::Date, VT_DATE},
    {"dateTime", DataType::DateTime, VT_DATE},
    {"dateTime.tz", DataType::DateTimeTz, VT_DATE},
    {"time", DataType::Time, VT_DATE},
    {"time.tz", DataType::TimeTz, VT_DATE},
    {"bin.base64", DataType::BinBase64, VT_ARRAY | VT_UI1},
    {"bin.hex", DataType::BinHex, VT_ARRAY | VT_UI1},
    {"uuid", DataType::Uuid, VT_BSTR},
    {"uri", DataType::Uri, VT_BSTR},
    {"char", DataType::Char, VT_BSTR},
    {"entity", DataType::Entity, VT_BSTR},
    {"entities", DataType::Entities, VT_BSTR},
    {"enumeration", DataType::Enumeration, VT_BSTR},
    {"id", DataType::Id, VT_BSTR},
    {"idref", DataType::Idref, VT_BSTR},
    {"idrefs", DataType::Idrefs, VT_BSTR},
    {"nmtoken", DataType::Nmtoken, VT_BSTR},
    {"nmtokens", DataType::Nmtokens, VT_BSTR},
    {"notation", DataType::Notation, VT_BSTR},
};

const TypeEntry& EntryOf(DataType type) {
  for (const TypeEntry& e : kTypes)
    if (e.type == type) return e;
  return kTypes[0];
}

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsXmlSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsXmlSpace(s.back())) s.remove_suffix(1);
  return s;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// --- numbers -------------------------------------------------------------

// Decimal integer with an optional sign; the magnitude must fit 64 bits.
HRESULT ParseInteger(std::string_view s, bool* negative, uint64_t* magnitude) {
  *negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    *negative = s.front() == '-';
    s.remove_prefix(1);
  }
  if (s.empty()) return DISP_E_TYPEMISMATCH;
  uint64_t value = 0;
  bool overflow = false;
  for (char c : s) {
    if (!IsDigit(c)) return DISP_E_TYPEMISMATCH;
    unsigned digit = unsigned(c - '0');
    if (value > (std::numeric_limits<uint64_t>::max() - digit) / 10) overflow = true;
    else value = value * 10 + digit;
  }
  if (overflow) return DISP_E_OVERFLOW;
  *magnitude = value;
  return S_OK;
}

// XSD decimal/double lexical form: [+-](digits[.digits]|.digits)([eE][+-]digits)
// or INF, -INF, NaN.
HRESULT ParseDouble(std::string_view s, double* out) {
  if (s == "INF" || s == "+INF") { *out = std::numeric_limits<double>::infinity(); return S_OK; }
  if (s == "-INF") { *out = -std::numeric_limits<double>::infinity(); return S_OK; }
  if (s == "NaN") { *out = std::numeric_limits<double>::quiet_NaN(); return S_OK; }
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  size_t mantissaStart = i, digits = 0;
  while (i < s.size() && IsDigit(s[i])) ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && IsDigit(s[i])) ++i, ++digits;
  }
  if (digits == 0) return DISP_E_TYPEMISMATCH;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    size_t expDigits = 0;
    while (i < s.size() && IsDigit(s[i])) ++i, ++expDigits;
    if (expDigits == 0) return DISP_E_TYPEMISMATCH;
  }
  if (i != s.size()) return DISP_E_TYPEMISMATCH;
  // from_chars takes no leading sign of its own but accepts "5." and ".5".
  double value = 0;
  auto [end, ec] = std::from_chars(s.data() + mantissaStart, s.data() + s.size(), value,
                                   std::chars_format::general);
  if (ec == std::errc::result_out_of_range) {
    // Tiny magnitudes underflow to zero; only large ones overflow.
    double probe = std::strtod(std::string(s.substr(mantissaStart)).c_str(), nullptr);
    if (std::isinf(probe)) return DISP_E_OVERFLOW;
    value = 0;
  } else if (ec != std::errc() || end != s.data() + s.size()) {
    return DISP_E_TYPEMISMATCH;
  }
  *out = negative ? -value : value;
  return S_OK;
}

std::string FormatDouble(double v) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v < 0 ? "-INF" : "INF";
  char buf[64];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, ec == std::errc() ? end : buf);
}

// Whether d becomes a finite float (or is infinite or NaN already): values a
// little above FLT_MAX still round to it, as its own printed form does.
bool FitsFloat(double d) {
  static const double kRoundsToInfinity = double(FLT_MAX) + std::ldexp(1.0, 103);  // half a float step
  return !std::isfinite(d) || std::fabs(d) < kRoundsToInfinity;
}

std::string FormatFloat(float v) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v < 0 ? "-INF" : "INF";
  char buf[64];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, ec == std::errc() ? end : buf);
}

constexpr int64_t kCyScale = 10000;

// fixed.14.4: at most 14 integer digits and 4 fraction digits, no exponent.
HRESULT ParseFixed(std::string_view s, int64_t* scaled) {
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  size_t dot = s.find('.');
  std::string_view whole = s.substr(0, dot);
  std::string_view fraction = dot == std::string_view::npos ? std::string_view() : s.substr(dot + 1);
  if (whole.empty() && fraction.empty()) return DISP_E_TYPEMISMATCH;
  for (char c : whole) if (!IsDigit(c)) return DISP_E_TYPEMISMATCH;
  for (char c : fraction) if (!IsDigit(c)) return DISP_E_TYPEMISMATCH;
  if (fraction.size() > 4) return DISP_E_TYPEMISMATCH;
  while (whole.size() > 1 && whole.front() == '0') whole.remove_prefix(1);
  if (whole.size() > 14) return DISP_E_OVERFLOW;
  int64_t value = 0;
  for (char c : whole) value = value * 10 + (c - '0');
  int64_t frac = 0;
  for (size_t k = 0; k < 4; ++k) frac = frac * 10 + (k < fraction.size() ? fraction[k] - '0' : 0);
  value = value * kCyScale + frac;
  *scaled = negative ? -value : value;
  return S_OK;
}

std::string FormatFixed(int64_t scaled) {
  bool negative = scaled < 0;
  uint64_t magnitude = negative ? uint64_t(0) - uint64_t(scaled) : uint64_t(scaled);
  std::string text = (negative ? "-" : "") + std::to_string(magnitude / kCyScale);
  unsigned frac = unsigned(magnitude % kCyScale);
  if (frac != 0) {
    char buf[8];
    std::snprintf(buf, sizeof buf, ".%04u", frac);
    std::string f(buf);
    while (f.back() == '0') f.pop_back();
    text += f;
  }
  return text;
}

// --- dates ---------------------------------------------------------------

// OLE automation dates count days from 1899-12-30; the fraction is the time
// of day, and for days before the epoch it is added "forwards" in absolute
// value (-1.25 is 1899-12-29 06:00).
const long long kOleEpochDays = DaysFromCivil(1899, 12, 30);
constexpr double kOleMin = -657434.0;   // 0100-01-01
constexpr double kOleMax = 2958466.0;   // 10000-01-01, exclusive
constexpr long long kMsPerDay = 86400000LL;

double OleFromParts(long long oleDay, long long msOfDay) {
  double frac = double(msOfDay) / double(kMsPerDay);
  return oleDay >= 0 ? double(oleDay) + frac : double(oleDay) - frac;
}

HRESULT PartsFromOle(double v, long long* oleDay, long long* msOfDay) {
  if (std::isnan(v) || v <= kOleMin - 1.0 || v >= kOleMax) return DISP_E_OVERFLOW;
  double day = std::trunc(v);
  long long ms = std::llround(std::fabs(v - day) * double(kMsPerDay));
  long long d = (long long)day;
  if (ms >= kMsPerDay) { ++d; ms -= kMsPerDay; }
  *oleDay = d;
  *msOfDay = ms;
  return S_OK;
}

HRESULT OleFromText(DataType type, std::string_view s, double* out) {
  IsoDateTime t;
  if (!ParseIsoDateTime(s, &t)) return DISP_E_TYPEMISMATCH;
  bool timeOnly = type == DataType::Time || type == DataType::TimeTz;
  bool zoneAllowed = type == DataType::DateTimeTz || type == DataType::TimeTz;
  if (timeOnly ? (t.hasDate || !t.hasTime) : !t.hasDate) return DISP_E_TYPEMISMATCH;
  if (type == DataType::Date && t.hasTime) return DISP_E_TYPEMISMATCH;
  if (t.hasZone && !zoneAllowed) return DISP_E_TYPEMISMATCH;
  // Below the millisecond is cut, not rounded: rounding could carry a time
  // into the next day.
  long long ms = ((t.hour * 60LL + t.minute) * 60 + t.second) * 1000 + t.nanosecond / 1000000;
  ms -= t.zoneMinutes * 60000LL;
  long long day = timeOnly ? 0 : DaysFromCivil(t.year, t.month, t.day) - kOleEpochDays;
  long long shift = ms >= 0 ? ms / kMsPerDay : -((-ms + kMsPerDay - 1) / kMsPerDay);
  ms -= shift * kMsPerDay;
  if (!timeOnly) day += shift;  // a time of day wraps; a date moves with it
  if (double(day) < kOleMin || double(day) >= kOleMax) return DISP_E_OVERFLOW;
  *out = OleFromParts(day, ms);
  return S_OK;
}

HRESULT TextFromOle(DataType type, double v, std::string* out) {
  long long day, ms;
  HRESULT hr = PartsFromOle(v, &day, &ms);
  if (FAILED(hr)) return hr;
  int y, m, d;
  CivilFromDays(day + kOleEpochDays, &y, &m, &d);
  long long secs = ms / 1000;
  char date[32], time[32];
  std::snprintf(date, sizeof date, "%04d-%02d-%02d", y, m, d);
  std::snprintf(time, sizeof time, "%02lld:%02lld:%02lld", secs / 3600, secs / 60 % 60, secs % 60);
  std::string timeText = time;
  if (ms % 1000 != 0) {
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, ".%03lld", ms % 1000);
    timeText += fraction;
  }
  switch (type) {
    case DataType::Date: *out = date; break;
    case DataType::Time: case DataType::TimeTz: *out = timeText; break;
    default: *out = std::string(date) + "T" + timeText; break;
  }
  return S_OK;
}

// --- binary --------------------------------------------------------------

const char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// libxml2 only encodes base64 inside its text writer, so the codec is here.
// White space anywhere is ignored (encoded text is often wrapped).
bool DecodeBase64(std::string_view text, std::vector<unsigned char>* out) {
  std::string s;
  for (char c : text) if (!IsXmlSpace(c)) s += c;
  if (s.size() % 4 != 0) return false;
  out->clear();
  for (size_t i = 0; i < s.size(); i += 4) {
    int v[4];
    int padding = 0;
    for (int k = 0; k < 4; ++k) {
      char c = s[i + k];
      if (c == '=') {
        if (i + 4 != s.size() || k < 2) return false;
        v[k] = 0;
        ++padding;
      } else {
        if (padding) return false;  // data after padding
        v[k] = Base64Value(c);
        if (v[k] < 0) return false;
      }
    }
    unsigned triple = unsigned(v[0]) << 18 | unsigned(v[1]) << 12 | unsigned(v[2]) << 6 | unsigned(v[3]);
    out->push_back((unsigned char)(triple >> 16));
    if (padding < 2) out->push_back((unsigned char)(triple >> 8));
    if (padding < 1) out->push_back((unsigned char)triple);
  }
  return true;
}

std::string EncodeBase64(const unsigned char* p, size_t n) {
  std::string s;
  s.reserve((n + 2) / 3 * 4);
  for (size_t i = 0; i < n; i += 3) {
    unsigned triple = unsigned(p[i]) << 16;
    if (i + 1 < n) triple |= unsigned(p[i + 1]) << 8;
    if (i + 2 < n) triple |= p[i + 2];
    s += kBase64Alphabet[triple >> 18 & 63];
    s += kBase64Alphabet[triple >> 12 & 63];
    s += i + 1 < n ? kBase64Alphabet[triple >> 6 & 63] : '=';
    s += i + 2 < n ? kBase64Alphabet[triple & 63] : '=';
  }
  return s;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool DecodeHex(std::string_view text, std::vector<unsigned char>* out) {
  std::string s;
  for (char c : text) if (!IsXmlSpace(c)) s += c;
  if (s.size() % 2 != 0) return false;
  out->clear();
  for (size_t i = 0; i < s.size(); i += 2) {
    int hi = HexValue(s[i]), lo = HexValue(s[i + 1]);
    if (hi < 0 || lo < 0) return false;
    out->push_back((unsigned char)(hi << 4 | lo));
  }
  return true;
}

std::string EncodeHex(const unsigned char* p, size_t n) {
  static const char digits[] = "0123456789abcdef";
  std::string s;
  s.reserve(n * 2);
  for (size_t i = 0; i < n; ++i) {
    s += digits[p[i] >> 4];
    s += digits[p[i] & 15];
  }
  return s;
}

HRESULT MakeByteArray(const std::vector<unsigned char>& bytes, VARIANT* out) {
  SAFEARRAYBOUND bound;
  bound.lLbound = 0;
  bound.cElements = ULONG(bytes.size());
  SAFEARRAY* array = SafeArrayCreate(VT_UI1, 1, &bound);
  if (!array) return E_OUTOFMEMORY;
  if (!bytes.empty()) {
    void* data = nullptr;
    HRESULT hr = SafeArrayAccessData(array, &data);
    if (FAILED(hr)) {
      SafeArrayDestroy(array);
      return hr;
    }
    std::memcpy(data, bytes.data(), bytes.size());
    SafeArrayUnaccessData(array);
  }
  out->vt = VT_ARRAY | VT_UI1;
  out->parray = array;
  return S_OK;
}

HRESULT BytesOfArray(SAFEARRAY* array, std::vector<unsigned char>* out) {
  if (!array || SafeArrayGetDim(array) != 1) return DISP_E_TYPEMISMATCH;
  LONG lower = 0, upper = -1;
  if (FAILED(SafeArrayGetLBound(array, 1, &lower)) || FAILED(SafeArrayGetUBound(array, 1, &upper)))
    return DISP_E_TYPEMISMATCH;
  out->clear();
  if (upper < lower) return S_OK;
  void* data = nullptr;
  HRESULT hr = SafeArrayAccessData(array, &data);
  if (FAILED(hr)) return hr;
  const unsigned char* p = static_cast<const unsigned char*>(data);
  out->assign(p, p + (size_t(upper) - size_t(lower) + 1));
  SafeArrayUnaccessData(array);
  return S_OK;
}

// --- string-like types ---------------------------------------------------

size_t CountCodePoints(std::string_view s) {
  size_t n = 0;
  for (unsigned char c : s) if ((c & 0xC0) != 0x80) ++n;
  return n;
}

bool EachToken(std::string_view s, bool (*valid)(const std::string&)) {
  size_t count = 0;
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && IsXmlSpace(s[i])) ++i;
    size_t start = i;
    while (i < s.size() && !IsXmlSpace(s[i])) ++i;
    if (i > start) {
      ++count;
      if (!valid(std::string(s.substr(start, i - start)))) return false;
    }
  }
  return count > 0;
}

bool ValidName(const std::string& s) { return xmlValidateName(BAD_CAST s.c_str(), 0) == 0; }
bool ValidNmtoken(const std::string& s) { return xmlValidateNMToken(BAD_CAST s.c_str(), 0) == 0; }

bool ValidUuid(std::string_view s) {
  size_t hex = 0;
  for (char c : s) {
    if (c == '-') continue;
    if (HexValue(c) < 0) return false;
    ++hex;
  }
  return hex == 32;
}

// Checks (and for list types, normalises) the text of a string-like type.
HRESULT CheckStringText(DataType type, std::string_view raw, std::string* text) {
  std::string_view s = type == DataType::String || type == DataType::Enumeration ? raw : Trim(raw);
  bool ok = true;
  switch (type) {
    case DataType::Char: ok = CountCodePoints(s) == 1; break;
    case DataType::Uuid: ok = ValidUuid(s); break;
    case DataType::Entity: case DataType::Id: case DataType::Idref: case DataType::Notation:
      ok = ValidName(std::string(s)); break;
    case DataType::Nmtoken: ok = ValidNmtoken(std::string(s)); break;
    case DataType::Entities: case DataType::Idrefs: ok = EachToken(s, ValidName); break;
    case DataType::Nmtokens: ok = EachToken(s, ValidNmtoken); break;
    default: break;
  }
  if (!ok) return DISP_E_TYPEMISMATCH;
  *text = std::string(s);
  return S_OK;
}

// --- VARIANT helpers -----------------------------------------------------

// Reads a numeric VARIANT as a double (exact for every integer VARIANT up to
// 2^53) and, for integer VARIANTs, also as an exact 64-bit value.
bool NumberOfVariant(const VARIANT& v, double* d, bool* isInteger, bool* negative, uint64_t* magnitude) {
  int64_t s = 0;
  uint64_t u = 0;
  bool isUnsigned = false;
  switch (v.vt) {
    case VT_I1: s = v.cVal; break;
    case VT_I2: s = v.iVal; break;
    case VT_I4: s = v.lVal; break;
    case VT_INT: s = v.intVal; break;
    case VT_I8: s = v.llVal; break;
    case VT_BOOL: s = v.boolVal ? -1 : 0; break;
    case VT_UI1: u = v.bVal; isUnsigned = true; break;
    case VT_UI2: u = v.uiVal; isUnsigned = true; break;
    case VT_UI4: u = v.ulVal; isUnsigned = true; break;
    case VT_UINT: u = v.uintVal; isUnsigned = true; break;
    case VT_UI8: u = v.ullVal; isUnsigned = true; break;
    case VT_R4: *d = v.fltVal; *isInteger = false; return true;
    case VT_R8: *d = v.dblVal; *isInteger = false; return true;
    case VT_DATE: *d = v.date; *isInteger = false; return true;
    case VT_CY: *d = double(v.cyVal.int64) / double(kCyScale); *isInteger = false; return true;
    case VT_DECIMAL: {
      // A whole number within 64 bits stays exact; any other decimal is
      // read as the nearest double.
      const DECIMAL& m = v.decVal;
      bool minus = (m.sign & DECIMAL_NEG) != 0;
      if (m.scale == 0 && m.Hi32 == 0) {
        *isInteger = true;
        *negative = minus && m.Lo64 != 0;
        *magnitude = m.Lo64;
        *d = minus ? -double(m.Lo64) : double(m.Lo64);
        return true;
      }
      double value = (double(m.Hi32) * 18446744073709551616.0 + double(m.Lo64)) / std::pow(10.0, m.scale);
      *d = minus ? -value : value;
      *isInteger = false;
      return true;
    }
    default: return false;
  }
  *isInteger = true;
  if (isUnsigned) {
    *negative = false;
    *magnitude = u;
    *d = double(u);
  } else {
    *negative = s < 0;
    *magnitude = s < 0 ? uint64_t(0) - uint64_t(s) : uint64_t(s);
    *d = double(s);
  }
  return true;
}

struct IntRange {
  int64_t min;
  uint64_t max;
};

IntRange RangeOf(DataType type) {
  switch (type) {
    case DataType::I1: return {INT8_MIN, INT8_MAX};
    case DataType::I2: return {INT16_MIN, INT16_MAX};
    case DataType::Int: case DataType::I4: return {INT32_MIN, INT32_MAX};
    case DataType::I8: return {INT64_MIN, INT64_MAX};
    case DataType::UI1: return {0, UINT8_MAX};
    case DataType::UI2: return {0, UINT16_MAX};
    case DataType::UI4: return {0, UINT32_MAX};
    default: return {0, UINT64_MAX};
  }
}

bool IsIntegerType(DataType type) {
  switch (type) {
    case DataType::Int: case DataType::I1: case DataType::I2: case DataType::I4: case DataType::I8:
    case DataType::UI1: case DataType::UI2: case DataType::UI4: case DataType::UI8: return true;
    default: return false;
  }
}

HRESULT CheckRange(DataType type, bool negative, uint64_t magnitude) {
  IntRange r = RangeOf(type);
  if (negative) {
    if (magnitude == 0) return S_OK;
    uint64_t limit = r.min < 0 ? uint64_t(0) - uint64_t(r.min) : 0;
    return magnitude <= limit ? S_OK : DISP_E_OVERFLOW;
  }
  return magnitude <= r.max ? S_OK : DISP_E_OVERFLOW;
}

void StoreInteger(DataType type, bool negative, uint64_t magnitude, VARIANT* out) {
  int64_t s = negative ? int64_t(uint64_t(0) - magnitude) : int64_t(magnitude);
  out->vt = EntryOf(type).vt;
  switch (type) {
    case DataType::I1: out->cVal = static_cast<decltype(out->cVal)>(s); break;
    case DataType::I2: out->iVal = static_cast<decltype(out->iVal)>(s); break;
    case DataType::Int: case DataType::I4: out->lVal = static_cast<decltype(out->lVal)>(s); break;
    case DataType::I8: out->llVal = s; break;
    case DataType::UI1: out->bVal = static_cast<decltype(out->bVal)>(magnitude); break;
    case DataType::UI2: out->uiVal = static_cast<decltype(out->uiVal)>(magnitude); break;
    case DataType::UI4: out->ulVal = static_cast<decltype(out->ulVal)>(magnitude); break;
    default: out->ullVal = magnitude; break;
  }
}

std::string IntegerText(bool negative, uint64_t magnitude) {
  return (negative && magnitude ? "-" : "") + std::to_string(magnitude);
}

// Integer from a non-integer number: rounded half to even, as VARIANT
// conversion does.
bool RoundToInteger(double d, bool* negative, uint64_t* magnitude) {
  if (!std::isfinite(d)) return false;
  double r = std::nearbyint(d);
  if (std::fabs(r) >= 18446744073709551616.0) return false;
  *negative = r < 0;
  *magnitude = uint64_t(std::fabs(r));
  return true;
}

}  // namespace

// --- public --------------------------------------------------------------

HRESULT ParseDataType(const char* name, DataType* out) {
  if (!name || !out) return E_INVALIDARG;
  for (const TypeEntry& e : kTypes) {
    if (strcasecmp(e.name, name) == 0) {
      *out = e.type;
      return S_OK;
    }
  }
  return E_INVALIDARG;
}

const char* DataTypeName(DataType type) { return EntryOf(type).name; }

VARTYPE VariantTypeOf(DataType type) { return EntryOf(type).vt; }

HRESULT TypedValueFromText(DataType type, const char* utf8, VARIANT* out) {
  if (!out) return E_POINTER;
  out->vt = VT_EMPTY;
  std::string_view raw = utf8 ? utf8 : "";
  std::string_view s = Trim(raw);

  if (IsIntegerType(type)) {
    bool negative;
    uint64_t magnitude;
    HRESULT hr = ParseInteger(s, &negative, &magnitude);
    if (SUCCEEDED(hr)) hr = CheckRange(type, negative, magnitude);
    if (FAILED(hr)) return hr;
    StoreInteger(type, negative, magnitude, out);
    return S_OK;
  }

  switch (type) {
    case DataType::Number: case DataType::R8: case DataType::Float: case DataType::R4: {
      double d;
      HRESULT hr = ParseDouble(s, &d);
      if (FAILED(hr)) return hr;
      if (type == DataType::R4) {
        if (!FitsFloat(d)) return DISP_E_OVERFLOW;
        out->vt = VT_R4;
        out->fltVal = float(d);
      } else {
        out->vt = VT_R8;
        out->dblVal = d;
      }
      return S_OK;
    }
    case DataType::Boolean: {
      bool value;
      if (s == "1" || s == "true") value = true;
      else if (s == "0" || s == "false") value = false;
      else return DISP_E_TYPEMISMATCH;
      out->vt = VT_BOOL;
      out->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
      return S_OK;
    }
    case DataType::Fixed14_4: {
      int64_t scaled;
      HRESULT hr = ParseFixed(s, &scaled);
      if (FAILED(hr)) return hr;
      out->vt = VT_CY;
      out->cyVal.int64 = scaled;
      return S_OK;
    }
    case DataType::Date: case DataType::DateTime: case DataType::DateTimeTz:
    case DataType::Time: case DataType::TimeTz: {
      double d;
      HRESULT hr = OleFromText(type, s, &d);
      if (FAILED(hr)) return hr;
      out->vt = VT_DATE;
      out->date = d;
      return S_OK;
    }
    case DataType::BinBase64: case DataType::BinHex: {
      std::vector<unsigned char> bytes;
      bool ok = type == DataType::BinBase64 ? DecodeBase64(s, &bytes) : DecodeHex(s, &bytes);
      if (!ok) return DISP_E_TYPEMISMATCH;
      return MakeByteArray(bytes, out);
    }
    default: {
      std::string text;
      HRESULT hr = CheckStringText(type, raw, &text);
      if (FAILED(hr)) return hr;
      BSTR b = ardo::Utf8ToBstr(text.c_str());
      if (!b) return E_OUTOFMEMORY;
      out->vt = VT_BSTR;
      out->bstrVal = b;
      return S_OK;
    }
  }
}

// A numeric VARIANT as a fixed.14.4 value in ten-thousandths; false when
// it is out of the type's range. Integers and currency scale exactly; a
// double is rounded to four decimals of its exact value, which scaling it
// as a double would not do above 2^53 ten-thousandths.
bool ScaledFixed(const VARIANT& in, double d, bool isInteger, bool negative, uint64_t magnitude, int64_t* scaled) {
  constexpr uint64_t kLimit = 100000000000000ULL * kCyScale;  // 10^14 units
  if (in.vt == VT_CY) {
    *scaled = in.cyVal.int64;
  } else if (isInteger) {
    if (magnitude >= kLimit / kCyScale) return false;
    *scaled = int64_t(magnitude) * kCyScale;
    if (negative) *scaled = -*scaled;
  } else {
    if (!std::isfinite(d) || std::fabs(d) >= 1e15) return false;
    char text[64];
    std::snprintf(text, sizeof text, "%.4f", d);
    // "-123.4567": the digits without the point are the scaled value.
    int64_t units = 0;
    for (const char* c = text; *c; ++c)
      if (*c >= '0' && *c <= '9') units = units * 10 + (*c - '0');
    *scaled = text[0] == '-' ? -units : units;
  }
  return *scaled < int64_t(kLimit) && *scaled > -int64_t(kLimit);
}

HRESULT TextFromTypedValue(DataType type, const VARIANT& in, std::string* utf8) {
  if (!utf8) return E_POINTER;
  if (in.vt == (VT_BYREF | VT_VARIANT) && in.pvarVal) return TextFromTypedValue(type, *in.pvarVal, utf8);

  // Text goes through the same parser as node text, so that what is stored
  // is always in the type's canonical form.
  if (in.vt == VT_BSTR) {
    std::string text = ardo::BstrToUtf8(in.bstrVal);
    if (VariantTypeOf(type) == VT_BSTR) return CheckStringText(type, text, utf8);
    VARIANT typed;
    HRESULT hr = TypedValueFromText(type, text.c_str(), &typed);
    if (FAILED(hr)) return hr;
    hr = TextFromTypedValue(type, typed, utf8);
    VariantClear(&typed);
    return hr;
  }
  if (in.vt == VT_EMPTY || in.vt == VT_NULL) return DISP_E_TYPEMISMATCH;

  double d = 0;
  bool isInteger = false, negative = false;
  uint64_t magnitude = 0;
  bool numeric = NumberOfVariant(in, &d, &isInteger, &negative, &magnitude);

  if (IsIntegerType(type)) {
    if (!numeric) return DISP_E_TYPEMISMATCH;
    if (!isInteger && !RoundToInteger(d, &negative, &magnitude)) return DISP_E_OVERFLOW;
    HRESULT hr = CheckRange(type, negative, magnitude);
    if (FAILED(hr)) return hr;
    *utf8 = IntegerText(negative, magnitude);
    return S_OK;
  }

  switch (type) {
    case DataType::Number: case DataType::R8: case DataType::Float:
      if (!numeric) return DISP_E_TYPEMISMATCH;
      *utf8 = isInteger ? IntegerText(negative, magnitude) : FormatDouble(d);
      return S_OK;
    case DataType::R4:
      if (!numeric) return DISP_E_TYPEMISMATCH;
      if (!FitsFloat(d)) return DISP_E_OVERFLOW;
      *utf8 = FormatFloat(float(d));
      return S_OK;
    case DataType::Boolean:
      if (!numeric) return DISP_E_TYPEMISMATCH;
      *utf8 = d != 0 ? "1" : "0";
      return S_OK;
    case DataType::Fixed14_4: {
      if (!numeric) return DISP_E_TYPEMISMATCH;
      int64_t scaled;
      if (!ScaledFixed(in, d, isInteger, negative, magnitude, &scaled)) return DISP_E_OVERFLOW;
      *utf8 = FormatFixed(scaled);
      return S_OK;
    }
    case DataType::Date: case DataType::DateTime: case DataType::DateTimeTz:
    case DataType::Time: case DataType::TimeTz:
      if (!numeric || in.vt == VT_BOOL) return DISP_E_TYPEMISMATCH;
      return TextFromOle(type, d, utf8);
    case DataType::BinBase64: case DataType::BinHex: {
      SAFEARRAY* array = nullptr;
      if (in.vt == (VT_ARRAY | VT_UI1) || in.vt == (VT_ARRAY | VT_I1)) array = in.parray;
      else if (in.vt == (VT_BYREF | VT_ARRAY | VT_UI1) && in.pparray) array = *in.pparray;
      else return DISP_E_TYPEMISMATCH;
      std::vector<unsigned char> bytes;
      HRESULT hr = BytesOfArray(array, &bytes);
      if (FAILED(hr)) return hr;
      *utf8 = type == DataType::BinBase64 ? EncodeBase64(bytes.data(), bytes.size())
                                          : EncodeHex(bytes.data(), bytes.size());
      return S_OK;
    }
    default: {
      VARIANT text;
      VariantInit(&text);
      HRESULT hr = VariantChangeType(&text, const_cast<VARIANT*>(&in), 0, VT_BSTR);
      if (FAILED(hr)) return DISP_E_TYPEMISMATCH;
      std::string checked;
      hr = CheckStringText(type, ardo::BstrToUtf8(text.bstrVal), &checked);
      VariantClear(&text);
      if (FAILED(hr)) return hr;
      *utf8 = checked;
      return S_OK;
    }
  }
}

// --- calendar ------------------------------------------------------------

long long DaysFromCivil(int year, int month, int day) {
  long long y = year - (month <= 2 ? 1 : 0);
  long long era = (y >= 0 ? y : y - 399) / 400;
  long long yoe = y - era * 400;
  long long doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(long long days, int* year, int* month, int* day) {
  days += 719468;
  long long era = (days >= 0 ? days : days - 146096) / 146097;
  long long doe = days - era * 146097;
  long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  long long mp = (5 * doy + 2) / 153;
  *day = int(doy - (153 * mp + 2) / 5 + 1);
  *month = int(mp < 10 ? mp + 3 : mp - 9);
  *year = int(yoe + era * 400 + (*month <= 2 ? 1 : 0));
}

namespace {

bool ReadDigits(std::string_view s, size_t* i, size_t count, int* value) {
  if (*i + count > s.size()) return false;
  int v = 0;
  for (size_t k = 0; k < count; ++k) {
    char c = s[*i + k];
    if (!IsDigit(c)) return false;
    v = v * 10 + (c - '0');
  }
  *i += count;
  *value = v;
  return true;
}

bool Expect(std::string_view s, size_t* i, char c) {
  if (*i < s.size() && s[*i] == c) {
    ++*i;
    return true;
  }
  return false;
}

int DaysInMonth(int year, int month) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : days[month - 1];
}

}  // namespace

namespace {

// "hh:mm[:ss[.f...]]" at *i.
bool ParseTimeOfDay(std::string_view s, size_t* i, IsoDateTime* t) {
  if (!ReadDigits(s, i, 2, &t->hour) || !Expect(s, i, ':') || !ReadDigits(s, i, 2, &t->minute))
    return false;
  if (Expect(s, i, ':')) {
    if (!ReadDigits(s, i, 2, &t->second)) return false;
    if (Expect(s, i, '.')) {
      size_t digits = 0;
      long ns = 0;
      for (; *i < s.size() && IsDigit(s[*i]); ++*i, ++digits)
        if (digits < 9) ns = ns * 10 + (s[*i] - '0');
      if (digits == 0) return false;
      for (size_t k = digits; k < 9; ++k) ns *= 10;
      t->nanosecond = ns;
    }
  }
  t->hasTime = true;
  return t->hour <= 23 && t->minute <= 59 && t->second <= 59;
}

// An optional "Z", "+hh:mm" or "-hh:mm" at *i.
bool ParseZone(std::string_view s, size_t* i, IsoDateTime* t) {
  if (*i >= s.size()) return true;
  if (s[*i] == 'Z') {
    ++*i;
  } else if (s[*i] == '+' || s[*i] == '-') {
    int sign = s[*i] == '-' ? -1 : 1;
    ++*i;
    int zh, zm;
    if (!ReadDigits(s, i, 2, &zh) || !Expect(s, i, ':') || !ReadDigits(s, i, 2, &zm)) return false;
    if (zh > 14 || zm > 59 || (zh == 14 && zm != 0)) return false;
    t->zoneMinutes = sign * (zh * 60 + zm);
  } else {
    return false;
  }
  t->hasZone = true;
  return true;
}

}  // namespace

bool ParseIsoDateTime(std::string_view text, IsoDateTime* out) {
  std::string_view s = Trim(text);
  IsoDateTime t;
  size_t i = 0;
  bool timeFirst = s.size() >= 3 && s[2] == ':';
  if (timeFirst) {
    if (!ParseTimeOfDay(s, &i, &t)) return false;
  } else {
    if (!ReadDigits(s, &i, 4, &t.year) || !Expect(s, &i, '-') || !ReadDigits(s, &i, 2, &t.month) ||
        !Expect(s, &i, '-') || !ReadDigits(s, &i, 2, &t.day))
      return false;
    if (t.year < 1 || t.month < 1 || t.month > 12 || t.day < 1 || t.day > DaysInMonth(t.year, t.month))
      return false;
    t.hasDate = true;
    if (Expect(s, &i, 'T') && !ParseTimeOfDay(s, &i, &t)) return false;
  }
  if (!ParseZone(s, &i, &t) || i != s.size()) return false;
  *out = t;
  return true;
}

}  // namespace ardo::engine
