// Typed values: the data-type table and text conversions on their own, then
// nodeTypedValue and dataType through the DOM.
#include <cmath>

#include "engine/dom/data_types.h"
#include "tests/engine/engine_test_fixture.h"

namespace ardo::test {
namespace {

using ardo::engine::DataType;

class DataTypesTest : public EngineTest {};

TEST_F(DataTypesTest, EveryNameParsesToATypeWhoseNameIsItself) {
  const char* names[] = {"string", "number", "int", "i1", "i2", "i4", "i8", "ui1", "ui2", "ui4",
                         "ui8", "r4", "r8", "float", "boolean", "fixed.14.4", "date", "dateTime",
                         "dateTime.tz", "time", "time.tz", "bin.base64", "bin.hex", "uuid", "uri",
                         "char", "entity", "entities", "enumeration", "id", "idref", "idrefs",
                         "nmtoken", "nmtokens", "notation"};
  for (const char* name : names) {
    DataType type = DataType::String;
    EXPECT_HR(ardo::engine::ParseDataType(name, &type), S_OK) << name;
    EXPECT_STREQ(ardo::engine::DataTypeName(type), name);
  }
  DataType type = DataType::Uuid;
  EXPECT_HR(ardo::engine::ParseDataType("DATETIME", &type), S_OK) << "letter case is ignored";
  EXPECT_EQ(type, DataType::DateTime);
  for (const char* bad : {"", "integer", "fixed", "bin", "date time"}) {
    type = DataType::Uuid;
    EXPECT_HR(ardo::engine::ParseDataType(bad, &type), E_INVALIDARG) << bad;
    EXPECT_EQ(type, DataType::Uuid) << "unchanged on failure";
  }
  EXPECT_HR(ardo::engine::ParseDataType(nullptr, &type), E_INVALIDARG);
}

const struct {
  const char *type, *text;
  HRESULT hr;
  VARTYPE vt;
  double value;           // numeric view of the result, where it has one
  const char* canonical;  // text written back from the value
} kTextCases[] = {
    {"int", "42", S_OK, VT_I4, 42, "42"},
    {"int", " -7 ", S_OK, VT_I4, -7, "-7"},
    {"int", "+3", S_OK, VT_I4, 3, "3"},
    {"int", "2147483647", S_OK, VT_I4, 2147483647.0, "2147483647"},
    {"int", "2147483648", DISP_E_OVERFLOW, VT_EMPTY, 0, nullptr},
    {"int", "1.5", DISP_E_TYPEMISMATCH, VT_EMPTY, 0, nullptr},
    {"int", "", DISP_E_TYPEMISMATCH, VT_EMPTY, 0, nullptr},
    {"int", "12a", DISP_E_TYPEMISMATCH, VT_EMPTY, 0, nullptr},
    {"i1", "-128", S_OK, VT_I1, -128, "-128"},
    {"i1", "128", DISP_E_OVERFLOW, VT_EMPTY, 0, nullptr},
    {"i2", "-32769", DISP_E_OVERFLOW, VT_EMPTY, 0, nullptr},
    {"i2", "32767", S_OK, VT_I2, 32767, "32767"},
    {"i4", "-2147483648", S_OK, VT_I4, -2147483648.0, "-2147483648"},
    {"i8", "-9223372036854775808", S_OK, VT_I8, -9223372036854775808.0, "-9223372036854775808"},
    {"i8", "9223372036854775808", DISP_E_OVERFLOW, VT_EMPTY, 0, nullptr},
    {"ui1", "255", S_OK, VT_UI1, 255, "255"},
    {"ui1", "256", DISP_E_OVERFLOW, VT_EMPTY, 0, nullptr},
    {"ui1", "-1", DISP_E_OVERFLOW, VT_EMPTY, 0, nullptr},
    {"ui2", "65535", S_OK, VT_UI2, 65535, "65535"},
    {"ui4", "4294967295", S_OK, VT_UI4, 4294967295.0, "4294967295"},
    {"ui8", "18446744073709551615", S_OK, VT_UI8, 18446744073709551615.0, "18446744073709551615"},
    {"ui8", "18446744073709551616", DISP_E_OVERFLOW, VT_EMPTY, 0, nullptr},
    {"number", "1.5E3", S_OK, VT_R8, 1500, "1500"},
    {"number", "-0.25", S_OK, VT_R8, -0.25, "-0.25"},
    {"number", "1e400", DISP_E_OVERFLOW, VT_EMPTY, 0, nullptr},
    {"number", "1,5", DISP_E_TYPEMISMATCH, VT_EMPTY, 0, nullptr},
    {"r8", "3.141592653589793", S_OK, VT_R8, 3.141592653589793, "3.141592653589793"},
    {"float", "INF", S_OK, VT_R8, INFINITY, "INF"},
    {"r4", "0.5", S_OK, VT_R4, 0.5, "0.5"},
    {"r4", "1e39", DISP_E_OVERFLOW, VT_EMPTY, 0, nullptr},
    {"boolean", "1", S_OK, VT_BOOL, -1, "1"},
    {"boolean", "0", S_OK, VT_BOOL, 0, "0"},
    {"boolean", "true", S_OK, VT_BOOL, -1, "1"},
    {"boolean", "false", S_OK, VT_BOOL, 0, "0"},
    {"boolean", "yes", DISP_E_TYPEMISMATCH, VT_EMPTY, 0, nullptr},
    {"fixed.14.4", "12.5", S_OK, VT_CY, 125000, "12.5"},
    {"fixed.14.4", "-0.0001", S_OK, VT_CY, -1, "-0.0001"},
    {"fixed.14.4", "99999999999999.9999", S_OK, VT_CY, 999999999999999999.0, "99999999999999.9999"},
    {"fixed.14.4", "100000000000000", DISP_E_OVERFLOW, VT_EMPTY, 0, nullptr},
    {"fixed.14.4", "1.23456", DISP_E_TYPEMISMATCH, VT_EMPTY, 0, nullptr},
    {"fixed.14.4", "1e2", DISP_E_TYPEMISMATCH, VT_EMPTY, 0, nullptr},
    // Dates are OLE automation dates: days since 1899-12-30.
    {"date", "1899-12-30", S_OK, VT_DATE, 0, "1899-12-30"},
    {"date", "2000-01-01", S_OK, VT_DATE, 36526, "2000-01-01"},
    {"date", "1899-12-29", S_OK, VT_DATE, -1, "1899-12-29"},
    {"date", "2001-02-29", DISP_E_TYPEMISMATCH, VT_EMPTY, 0, nullptr},
    {"date", "2000-01-01T12:00:00", DISP_E_TYPEMISMATCH, VT_EMPTY, 0, nullptr},
    {"date", "0099-12-31", DISP_E_OVERFLOW, VT_EMPTY, 0, nullptr},
    {"dateTime", "2000-01-01T18:00:00", S_OK, VT_DATE, 36526.75, "2000-01-01T18:00:00"},
    {"dateTime", "1899-12-29T06:00:00", S_OK, VT_DATE, -1.25, "1899-12-29T06:00:00"},
    {"dateTime", "2000-01-01", S_OK, VT_DATE, 36526, "2000-01-01T00:00:00"},
    {"dateTime", "2000-01-01T18:00:00Z", DISP_E_TYPEMISMATCH, VT_EMPTY, 0, nullptr},
    {"dateTime.tz", "2000-01-01T18:00:00-06:00", S_OK, VT_DATE, 36527, "2000-01-02T00:00:00"},
    {"dateTime.tz", "2000-01-01T18:00:00", S_OK, VT_DATE, 36526.75, "2000-01-01T18:00:00"},
    {"time", "06:00:00", S_OK, VT_DATE, 0.25, "06:00:00"},
    {"time", "18:00", S_OK, VT_DATE, 0.75, "18:00:00"},
    {"time", "24:00:00", DISP_E_TYPEMISMATCH, VT_EMPTY, 0, nullptr},
    {"time", "2000-01-01T06:00:00", DISP_E_TYPEMISMATCH, VT_EMPTY, 0, nullptr},
    {"time.tz", "23:00:00-03:00", S_OK, VT_DATE, 0.08333333333333333, "02:00:00"},
    {"uuid", "333C7BC4-460F-11D0-BC04-0080C7055A83", S_OK, VT_BSTR, 0,
     "333C7BC4-460F-11D0-BC04-0080C7055A83"},
    {"uuid", "333C7BC4-460F-11D0-BC04", DISP_E_TYPEMISMATCH, VT_EMPTY, 0, nullptr},
    {"char", "\xE2\x82\xAC", S_OK, VT_BSTR, 0, "\xE2\x82\xAC"},
    {"char", "ab", DISP_E_TYPEMISMATCH, VT_EMPTY, 0, nullptr},
    {"nmtoken", "-a.b", S_OK, VT_BSTR, 0, "-a.b"},
    {"nmtoken", "a b", DISP_E_TYPEMISMATCH, VT_EMPTY, 0, nullptr},
    {"nmtokens", " a  b ", S_OK, VT_BSTR, 0, nullptr},
    {"id", "x1", S_OK, VT_BSTR, 0, "x1"},
    {"id", "1x", DISP_E_TYPEMISMATCH, VT_EMPTY, 0, nullptr},
    {"idrefs", "a b c", S_OK, VT_BSTR, 0, "a b c"},
    {"string", "  kept as is  ", S_OK, VT_BSTR, 0, "  kept as is  "},
    {"bin.hex", "00ff10", S_OK, VT_ARRAY | VT_UI1, 3, "00ff10"},
    {"bin.hex", "0AfF", S_OK, VT_ARRAY | VT_UI1, 2, "0aff"},
    {"bin.hex", "abc", DISP_E_TYPEMISMATCH, VT_EMPTY, 0, nullptr},
    {"bin.hex", "zz", DISP_E_TYPEMISMATCH, VT_EMPTY, 0, nullptr},
    {"bin.base64", "SGVsbG8=", S_OK, VT_ARRAY | VT_UI1, 5, "SGVsbG8="},
    {"bin.base64", "SGVs\n bG8h", S_OK, VT_ARRAY | VT_UI1, 6, "SGVsbG8h"},
    {"bin.base64", "", S_OK, VT_ARRAY | VT_UI1, 0, ""},
    {"bin.base64", "SGVsbG8", DISP_E_TYPEMISMATCH, VT_EMPTY, 0, nullptr},
    {"bin.base64", "SG=sbG8=", DISP_E_TYPEMISMATCH, VT_EMPTY, 0, nullptr},
    {"bin.base64", "SGVs*G8=", DISP_E_TYPEMISMATCH, VT_EMPTY, 0, nullptr},
};

double NumericView(const VARIANT& v) {
  switch (v.vt) {
    case VT_I1: return v.cVal;
    case VT_I2: return v.iVal;
    case VT_I4: return v.lVal;
    case VT_I8: return double(v.llVal);
    case VT_UI1: return v.bVal;
    case VT_UI2: return v.uiVal;
    case VT_UI4: return v.ulVal;
    case VT_UI8: return double(v.ullVal);
    case VT_R4: return v.fltVal;
    case VT_R8: return v.dblVal;
    case VT_BOOL: return v.boolVal;
    case VT_CY: return double(v.cyVal.int64);
    case VT_DATE: return v.date;
    case VT_ARRAY | VT_UI1: return double(BytesOfVariant(v).size());
    default: return 0;
  }
}

TEST_F(DataTypesTest, TextConvertsToTheTypedValueAndBackToCanonicalText) {
  for (const auto& c : kTextCases) {
    SCOPED_TRACE(std::string(c.type) + " '" + c.text + "'");
    DataType type;
    ASSERT_HR(ardo::engine::ParseDataType(c.type, &type), S_OK);
    Variant value;
    EXPECT_HR(ardo::engine::TypedValueFromText(type, c.text, value.Out()), c.hr);
    EXPECT_EQ(value.vt(), c.vt);
    if (FAILED(c.hr)) continue;
    EXPECT_EQ(value.vt(), ardo::engine::VariantTypeOf(type));
    double v = NumericView(value.get());
    if (std::isinf(c.value))
      EXPECT_EQ(v, c.value);
    else
      EXPECT_NEAR(v, c.value, std::fabs(c.value) * 1e-12 + 1e-9);
    std::string text = "<unset>";
    EXPECT_HR(ardo::engine::TextFromTypedValue(type, value.get(), &text), S_OK);
    if (c.canonical) {
      EXPECT_EQ(text, c.canonical);
    }
  }
}

TEST_F(DataTypesTest, BinaryValuesRoundTripEveryByte) {
  std::string all;
  for (int i = 0; i < 256; ++i) all += char(i);
  for (DataType type : {DataType::BinBase64, DataType::BinHex}) {
    Variant bytes(ByteArrayVariant(all));
    std::string text;
    ASSERT_HR(ardo::engine::TextFromTypedValue(type, bytes.get(), &text), S_OK);
    Variant back;
    ASSERT_HR(ardo::engine::TypedValueFromText(type, text.c_str(), back.Out()), S_OK);
    EXPECT_EQ(BytesOfVariant(back.get()), all);
  }
  Variant oneByte(ByteArrayVariant("\xfb"));
  std::string text;
  ASSERT_HR(ardo::engine::TextFromTypedValue(DataType::BinBase64, oneByte.get(), &text), S_OK);
  EXPECT_EQ(text, "+w==");
}

TEST_F(DataTypesTest, ValuesOfOtherVariantTypesConvertOrFailClearly) {
  VARIANT null;
  VariantInit(&null);
  null.vt = VT_NULL;
  VARIANT cy = Variant::R8(0, VT_CY);
  cy.cyVal.int64 = 123456;
  const struct {
    const char* type;
    VARIANT in;
    HRESULT hr;
    const char* text;
  } cases[] = {
      {"int", Variant::I4(-5), S_OK, "-5"},
      {"ui1", Variant::I4(300), DISP_E_OVERFLOW, nullptr},
      {"ui4", Variant::I4(-1), DISP_E_OVERFLOW, nullptr},
      {"number", Variant::I4(7), S_OK, "7"},
      {"r8", Variant::R8(0.1), S_OK, "0.1"},
      {"int", Variant::R8(2.5), S_OK, "2"},
      {"int", Variant::R8(3.5), S_OK, "4"},
      {"boolean", Variant::Bool(true), S_OK, "1"},
      {"boolean", Variant::I4(0), S_OK, "0"},
      {"int", Variant::Str(" 12 "), S_OK, "12"},
      {"int", Variant::Str("twelve"), DISP_E_TYPEMISMATCH, nullptr},
      {"date", Variant::R8(36526.75, VT_DATE), S_OK, "2000-01-01"},
      {"time", Variant::R8(36526.75, VT_DATE), S_OK, "18:00:00"},
      {"dateTime", Variant::R8(1e9, VT_DATE), DISP_E_OVERFLOW, nullptr},
      {"fixed.14.4", cy, S_OK, "12.3456"},
      {"bin.hex", Variant::I4(1), DISP_E_TYPEMISMATCH, nullptr},
      {"int", null, DISP_E_TYPEMISMATCH, nullptr},
      {"string", Variant::I4(99), S_OK, "99"},
      {"id", Variant::Str("not an id"), DISP_E_TYPEMISMATCH, nullptr},
  };
  for (const auto& c : cases) {
    Variant in(c.in);
    DataType type;
    ASSERT_HR(ardo::engine::ParseDataType(c.type, &type), S_OK);
    std::string text = "<unset>";
    EXPECT_HR(ardo::engine::TextFromTypedValue(type, in.get(), &text), c.hr) << c.type;
    EXPECT_EQ(text, c.text ? c.text : "<unset>") << c.type;
  }
}

// --- through the DOM ---

const char kTyped[] =
    "<r xmlns:dt='urn:schemas-microsoft-com:datatypes'><n dt:dt='int'>42</n><f dt:dt='r8'>2.5</f>"
    "<b dt:dt='boolean'>1</b><d dt:dt='dateTime'>2000-01-01T18:00:00</d>"
    "<x dt:dt='bin.base64'>SGVsbG8=</x><s>untyped</s></r>";

TEST_F(DataTypesTest, NodeTypedValueFollowsTheDeclaredType) {
  auto doc = Parse(kTyped);
  ASSERT_TRUE(doc);
  const struct {
    const char* query;
    VARTYPE vt;
    const char *dataType, *value;  // dataType null: untyped
  } cases[] = {
      {"/r/n", VT_I4, "int", "42"},
      {"/r/d", VT_DATE, "dateTime", "2000-01-01T18:00:00"},
      {"/r/x", VT_ARRAY | VT_UI1, "bin.base64", "Hello"},
      {"/r/s", VT_BSTR, nullptr, "untyped"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.query);
    auto node = SelectOne(doc.Get(), c.query);
    ASSERT_TRUE(node);
    Variant typed, dataType;
    EXPECT_HR(node->get_nodeTypedValue(typed.Out()), S_OK);
    EXPECT_EQ(typed.vt(), c.vt);
    EXPECT_TRUE(SUCCEEDED(node->get_dataType(dataType.Out())));
    EXPECT_EQ(dataType.vt(), c.dataType ? VT_BSTR : VT_NULL);
    EXPECT_EQ(dataType.Utf8(), c.dataType ? c.dataType : "");
    DataType type = DataType::String;
    if (c.dataType) ardo::engine::ParseDataType(c.dataType, &type);
    std::string text;
    EXPECT_HR(ardo::engine::TextFromTypedValue(type, typed.get(), &text), S_OK);
    EXPECT_EQ(c.vt == (VT_ARRAY | VT_UI1) ? BytesOfVariant(typed.get()) : text, c.value);
  }
}

TEST_F(DataTypesTest, PutDataTypeValidatesTheTextAndIsWrittenOut) {
  auto doc = Parse("<r><a>17</a><b>seventeen</b></r>");
  ASSERT_TRUE(doc);
  auto a = SelectOne(doc.Get(), "/r/a"), b = SelectOne(doc.Get(), "/r/b");
  ASSERT_TRUE(a && b);
  EXPECT_HR(a->put_dataType(Bstr("ui1")), S_OK);
  Variant typed, reread, untyped, still;
  EXPECT_HR(a->get_nodeTypedValue(typed.Out()), S_OK);
  EXPECT_EQ(typed.vt(), VT_UI1);
  EXPECT_EQ(typed.get().bVal, 17);
  const std::string written = XmlOf(a.Get());
  EXPECT_NE(written.find("dt:dt=\"ui1\""), std::string::npos) << written;
  EXPECT_NE(written.find("xmlns:dt=\"urn:schemas-microsoft-com:datatypes\""), std::string::npos) << written;
  auto copy = Parse(XmlOf(doc.Get()).c_str());
  ASSERT_TRUE(copy);
  ASSERT_HR(SelectOne(copy.Get(), "/r/a")->get_nodeTypedValue(reread.Out()), S_OK);
  EXPECT_EQ(reread.vt(), VT_UI1) << "the type travels with the document";

  EXPECT_TRUE(FAILED(b->put_dataType(Bstr("ui1")))) << "'seventeen' is not a ui1";
  b->get_dataType(untyped.Out());
  EXPECT_EQ(untyped.vt(), VT_NULL) << "a refused type leaves the node untyped";
  EXPECT_TRUE(FAILED(a->put_dataType(Bstr("no-such-type"))));
  a->get_dataType(still.Out());
  EXPECT_EQ(still.Utf8(), "ui1");
}

TEST_F(DataTypesTest, PutNodeTypedValueWritesCanonicalText) {
  auto doc = Parse(kTyped);
  ASSERT_TRUE(doc);
  auto n = SelectOne(doc.Get(), "/r/n"), x = SelectOne(doc.Get(), "/r/x");
  ASSERT_TRUE(n && x);
  Variant seven(Variant::I4(7)), text(Variant::Str("x")), bytes(ByteArrayVariant("Hi!"));
  EXPECT_HR(n->put_nodeTypedValue(seven.get()), S_OK);
  EXPECT_TRUE(FAILED(n->put_nodeTypedValue(text.get())));
  EXPECT_EQ(TextOf(n.Get()), "7") << "a refused value changes nothing";
  EXPECT_HR(x->put_nodeTypedValue(bytes.get()), S_OK);
  EXPECT_EQ(TextOf(x.Get()), "SGkh");
}

}  // namespace
}  // namespace ardo::test
