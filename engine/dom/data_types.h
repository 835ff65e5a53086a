// Typed node values of the "urn:schemas-microsoft-com:datatypes" namespace:
// the data-type names a node may carry (dt:dt="i4", put_dataType("date")),
// and the conversion between a node's text and the VARIANT that
// nodeTypedValue hands out or takes in.
#pragma once

#include <string>
#include <string_view>

#include "platform/platform.h"

namespace ardo::engine {

enum class DataType {
  String,
  Number,      // VT_R8, any decimal or exponent form
  Int,         // VT_I4
  I1, I2, I4, I8,
  UI1, UI2, UI4, UI8,
  R4,          // VT_R4
  R8,          // VT_R8
  Float,       // VT_R8, same as r8
  Boolean,     // VT_BOOL; text "1"/"0", "true"/"false" accepted on input
  Fixed14_4,   // VT_CY: at most 14 integer and 4 fraction digits
  Date,        // VT_DATE from "yyyy-mm-dd"
  DateTime,    // VT_DATE from "yyyy-mm-dd[Thh:mm[:ss[.fff]]]"
  DateTimeTz,  // as DateTime with an optional zone, converted to UTC
  Time,        // VT_DATE (day 0) from "hh:mm[:ss[.fff]]"
  TimeTz,      // as Time with an optional zone, converted to UTC
  BinBase64,   // VT_ARRAY|VT_UI1
  BinHex,      // VT_ARRAY|VT_UI1
  Uuid,        // VT_BSTR, 8-4-4-4-12 hex digits
  Uri,         // VT_BSTR
  Char,        // VT_BSTR holding exactly one character
  Entity, Entities, Enumeration, Id, Idref, Idrefs, Nmtoken, Nmtokens, Notation,  // VT_BSTR
};

// Looks up a data-type name ("i4", "dateTime.tz", "bin.base64"; letter case
// ignored). Unknown or null name: E_INVALIDARG and *out unchanged.
HRESULT ParseDataType(const char* name, DataType* out);

// The canonical name of a data type ("fixed.14.4"); static storage.
const char* DataTypeName(DataType type);

// The VARIANT type a typed value of this data type has (VT_I4, VT_DATE,
// VT_ARRAY|VT_UI1, ...).
VARTYPE VariantTypeOf(DataType type);

// Converts node text into a typed value. *out is overwritten without being
// cleared first (pass an empty VARIANT); the caller owns the result and
// clears it. Surrounding white space is ignored except for string-like types.
// Text that is not of the type's form: DISP_E_TYPEMISMATCH; a number or date
// outside the type's range: DISP_E_OVERFLOW; on failure *out is VT_EMPTY.
HRESULT TypedValueFromText(DataType type, const char* utf8, VARIANT* out);

// Converts a typed value (of any VARIANT type that converts to the data type)
// into the node text that represents it. Failures as for TypedValueFromText;
// *utf8 is only written on success.
HRESULT TextFromTypedValue(DataType type, const VARIANT& in, std::string* utf8);

// An ISO 8601 date, time or date-time as written, before any zone
// adjustment. Also used by the date functions of the XPath extensions.
struct IsoDateTime {
  bool hasDate = false;
  bool hasTime = false;
  bool hasZone = false;
  int year = 0, month = 0, day = 0;
  int hour = 0, minute = 0, second = 0;
  long nanosecond = 0;
  int zoneMinutes = 0;  // offset east of UTC
};

// Parses "yyyy-mm-dd", "yyyy-mm-ddThh:mm[:ss[.f...]][zone]" or
// "hh:mm[:ss[.f...]][zone]" where zone is "Z" or "+hh:mm"/"-hh:mm".
// Fields are range-checked (the day against its month). False on any other
// text.
bool ParseIsoDateTime(std::string_view text, IsoDateTime* out);

// Days since 1970-01-01 of a proleptic Gregorian date.
long long DaysFromCivil(int year, int month, int day);

// The inverse of DaysFromCivil.
void CivilFromDays(long long days, int* year, int* month, int* day);

}  // namespace ardo::engine
