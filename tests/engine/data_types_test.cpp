// Typed values through the DOM: nodeTypedValue, dataType and their setters,
// one table row per type family and failure code.
#include <cfloat>
#include <cmath>

#include "tests/engine/engine_test_fixture.h"

namespace ardo::test {
namespace {

class DataTypesTest : public EngineTest {
 protected:
  // <v> declared of the type, holding the text, loaded without checking
  // the text against the type (loadXML's result in *loaded when checking).
  ardo::ComPtr<IXMLDOMNode> Typed(const char* type, const char* text, VARIANT_BOOL* loaded = nullptr) {
    doc_ = NewDocument();
    if (!doc_) return nullptr;
    EXPECT_HR(doc_->put_validateOnParse(loaded ? VARIANT_TRUE : VARIANT_FALSE), S_OK);
    VARIANT_BOOL ok = VARIANT_FALSE;
    LoadXml(doc_.Get(),
            ("<v xmlns:dt='urn:schemas-microsoft-com:datatypes' dt:dt='" + std::string(type) + "'>" + text + "</v>")
                .c_str(),
            &ok);
    if (loaded) *loaded = ok;
    return ok == VARIANT_TRUE ? ardo::ComPtr<IXMLDOMNode>(Root(doc_.Get())) : nullptr;
  }
  void TearDown() override {
    doc_ = nullptr;
    EngineTest::TearDown();
  }
  ardo::ComPtr<IXMLDOMDocument2> doc_;
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

const HRESULT kOver = DISP_E_OVERFLOW, kBad = DISP_E_TYPEMISMATCH;
const struct {
  const char *type, *text;
  HRESULT hr;
  VARTYPE vt;
  double value;           // numeric view of the value
  const char* canonical;  // the text put_nodeTypedValue writes back
} kCases[] = {
    {"int", "+3", S_OK, VT_I4, 3, "3"},
    {"int", "2147483648", kOver, VT_EMPTY, 0, nullptr},
    {"int", "1.5", kBad, VT_EMPTY, 0, nullptr},
    {"int", "", kBad, VT_EMPTY, 0, nullptr},
    {"i1", "-128", S_OK, VT_I1, -128, "-128"},
    {"i2", "-32769", kOver, VT_EMPTY, 0, nullptr},
    {"i8", "-9223372036854775808", S_OK, VT_I8, -9223372036854775808.0, "-9223372036854775808"},
    {"ui1", "-1", kOver, VT_EMPTY, 0, nullptr},
    {"ui4", "4294967295", S_OK, VT_UI4, 4294967295.0, "4294967295"},
    {"ui8", "18446744073709551616", kOver, VT_EMPTY, 0, nullptr},
    {"number", "1.5E3", S_OK, VT_R8, 1500, "1500"},
    {"r8", "3.141592653589793", S_OK, VT_R8, 3.141592653589793, "3.141592653589793"},
    {"float", "INF", S_OK, VT_R8, INFINITY, "INF"},
    {"r4", "1e39", kOver, VT_EMPTY, 0, nullptr},
    {"r4", "3.4028235e38", S_OK, VT_R4, FLT_MAX, "3.4028235e+38"},  // rounds to the largest float
    {"boolean", "true", S_OK, VT_BOOL, -1, "1"},
    {"boolean", "yes", kBad, VT_EMPTY, 0, nullptr},
    {"fixed.14.4", "-0.0001", S_OK, VT_CY, -1, "-0.0001"},
    {"fixed.14.4", "100000000000000", kOver, VT_EMPTY, 0, nullptr},
    {"fixed.14.4", "1.23456", kBad, VT_EMPTY, 0, nullptr},
    {"date", "1899-12-29", S_OK, VT_DATE, -1, "1899-12-29"},  // days since 1899-12-30
    {"date", "2001-02-29", kBad, VT_EMPTY, 0, nullptr},
    {"date", "0099-12-31", kOver, VT_EMPTY, 0, nullptr},
    {"dateTime", "1899-12-29T06:00:00", S_OK, VT_DATE, -1.25, "1899-12-29T06:00:00"},
    {"dateTime", "2000-01-01", S_OK, VT_DATE, 36526, "2000-01-01T00:00:00"},
    {"dateTime", "2000-01-01T18:00:00Z", kBad, VT_EMPTY, 0, nullptr},
    {"dateTime.tz", "2000-01-01T18:00:00-06:00", S_OK, VT_DATE, 36527, "2000-01-02T00:00:00"},
    {"time", "18:00", S_OK, VT_DATE, 0.75, "18:00:00"},
    {"time", "24:00:00", kBad, VT_EMPTY, 0, nullptr},
    {"time", "23:59:59.9999", S_OK, VT_DATE, 86399999 / 86400000.0, "23:59:59.999"},  // stays in its day
    {"dateTime", "9999-12-31T23:59:59.9999", S_OK, VT_DATE, 2958465 + 86399999 / 86400000.0,
     "9999-12-31T23:59:59.999"},
    {"time.tz", "23:00:00-03:00", S_OK, VT_DATE, 0.08333333333333333, "02:00:00"},
    {"uuid", "333C7BC4-460F-11D0-BC04", kBad, VT_EMPTY, 0, nullptr},
    {"char", "\xE2\x82\xAC", S_OK, VT_BSTR, 0, "\xE2\x82\xAC"},
    {"char", "ab", kBad, VT_EMPTY, 0, nullptr},
    {"nmtoken", "a b", kBad, VT_EMPTY, 0, nullptr},
    {"id", "1x", kBad, VT_EMPTY, 0, nullptr},
    {"idrefs", "a b c", S_OK, VT_BSTR, 0, "a b c"},
    {"bin.hex", "0AfF", S_OK, VT_ARRAY | VT_UI1, 2, "0aff"},
    {"bin.hex", "abc", kBad, VT_EMPTY, 0, nullptr},
    {"bin.base64", "SGVs\n bG8h", S_OK, VT_ARRAY | VT_UI1, 6, "SGVsbG8h"},
    {"bin.base64", "SG=sbG8=", kBad, VT_EMPTY, 0, nullptr},
};

TEST_F(DataTypesTest, TextReadsAsTheTypedValueAndIsWrittenBackCanonically) {
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.type) + " '" + c.text + "'");
    auto node = Typed(c.type, c.text);
    ASSERT_TRUE(node);
    Variant value, dataType;
    EXPECT_HR(node->get_dataType(dataType.Out()), S_OK);
    EXPECT_EQ(dataType.Utf8(), c.type);
    EXPECT_HR(node->get_nodeTypedValue(value.Out()), c.hr);
    EXPECT_EQ(value.vt(), c.vt);
    if (FAILED(c.hr)) continue;
    const double v = NumericView(value.get());
    if (std::isinf(c.value))
      EXPECT_EQ(v, c.value);
    else
      EXPECT_NEAR(v, c.value, std::fabs(c.value) * 1e-12 + 1e-9);
    ASSERT_HR(node->put_text(Bstr("")), S_OK);
    EXPECT_HR(node->put_nodeTypedValue(value.get()), S_OK);
    EXPECT_EQ(TextOf(node.Get()), c.canonical);
  }
}

// Checked at load (validateOnParse, the default): text that is not a value
// of its element's type fails the load as a DTD violation does.
TEST_F(DataTypesTest, LoadingChecksTypedTextWhenValidating) {
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.type) + " '" + c.text + "'");
    VARIANT_BOOL loaded = VARIANT_FALSE;
    Typed(c.type, c.text, &loaded);
    EXPECT_EQ(loaded == VARIANT_TRUE, SUCCEEDED(c.hr) || !*c.text) << "an element with no text yet loads";
    if (loaded == VARIANT_TRUE) continue;
    ParseErrorInfo e = ErrorOf(doc_.Get());
    EXPECT_EQ(static_cast<uint32_t>(e.errorCode), 0xC00CEF07u);
    EXPECT_NE(e.reason.find(std::string(" as ") + c.type), std::string::npos) << e.reason;
    EXPECT_EQ(e.line, 1);
  }
  VARIANT_BOOL loaded = VARIANT_TRUE;
  Typed("integer", "1", &loaded);
  EXPECT_EQ(loaded, VARIANT_FALSE) << "a type there is none of";
  EXPECT_NE(ErrorOf(doc_.Get()).reason.find("\"integer\""), std::string::npos);
}

TEST_F(DataTypesTest, BinaryValuesRoundTripEveryByte) {
  std::string all;
  for (int i = 0; i < 256; ++i) all += char(i);
  for (const char* type : {"bin.base64", "bin.hex"}) {
    auto node = Typed(type, "");
    ASSERT_TRUE(node);
    Variant bytes(ByteArrayVariant(all)), back;
    ASSERT_HR(node->put_nodeTypedValue(bytes.get()), S_OK);
    ASSERT_HR(node->get_nodeTypedValue(back.Out()), S_OK);
    EXPECT_EQ(BytesOfVariant(back.get()), all) << type;
  }
  Variant oneByte(ByteArrayVariant("\xfb"));
  auto node = Typed("bin.base64", "");
  ASSERT_HR(node->put_nodeTypedValue(oneByte.get()), S_OK);
  EXPECT_EQ(TextOf(node.Get()), "+w==");
}

TEST_F(DataTypesTest, ValuesOfOtherVariantTypesConvertOrFailLeavingTheTextAlone) {
  VARIANT null, cy = Variant::R8(0, VT_CY), byRef, stringByRef;
  VariantInit(&null);
  null.vt = VT_NULL;
  cy.cyVal.int64 = 123456;
  // Whole numbers past 2^53 ten-thousandths, and decimals as database and
  // script hosts hand them over.
  VARIANT bigWhole = Variant::R8(0, VT_I8), bigDouble = Variant::R8(99999999999999.0), whole, fraction;
  bigWhole.llVal = 99999999999999;
  VariantInit(&whole);
  whole.decVal.Lo64 = 5;
  whole.vt = VT_DECIMAL;
  VariantInit(&fraction);
  fraction.decVal.Lo64 = 125;
  fraction.decVal.scale = 2;
  fraction.decVal.sign = DECIMAL_NEG;
  fraction.vt = VT_DECIMAL;
  // Script hosts pass values by reference.
  LONG referenced = 42;
  VariantInit(&byRef);
  byRef.vt = VT_BYREF | VT_I4;
  byRef.plVal = &referenced;
  Bstr referencedText("17");
  BSTR referencedBstr = referencedText.get();
  VariantInit(&stringByRef);
  stringByRef.vt = VT_BYREF | VT_BSTR;
  stringByRef.pbstrVal = &referencedBstr;
  const struct {
    const char* type;
    VARIANT in;
    HRESULT hr;
    const char* text;  // "old" where the value is refused
  } cases[] = {
      {"ui1", Variant::I4(300), kOver, "old"},
      {"r8", Variant::R8(0.1), S_OK, "0.1"},
      {"int", Variant::R8(2.5), S_OK, "2"},
      {"int", Variant::R8(3.5), S_OK, "4"},
      {"boolean", Variant::Bool(true), S_OK, "1"},
      {"int", Variant::Str(" 12 "), S_OK, "12"},
      {"int", Variant::Str("twelve"), kBad, "old"},
      {"date", Variant::R8(36526.75, VT_DATE), S_OK, "2000-01-01"},
      {"dateTime", Variant::R8(1e9, VT_DATE), kOver, "old"},
      {"fixed.14.4", cy, S_OK, "12.3456"},
      {"fixed.14.4", bigWhole, S_OK, "99999999999999"},
      {"fixed.14.4", bigDouble, S_OK, "99999999999999"},
      {"fixed.14.4", fraction, S_OK, "-1.25"},
      {"int", whole, S_OK, "5"},
      {"number", fraction, S_OK, "-1.25"},
      {"bin.hex", Variant::I4(1), kBad, "old"},
      {"int", null, kBad, "old"},
      {"string", Variant::I4(99), S_OK, "99"},
      {"int", byRef, S_OK, "42"},
      {"i2", stringByRef, S_OK, "17"},
  };
  for (const auto& c : cases) {
    auto node = Typed(c.type, "old");
    ASSERT_TRUE(node);
    // Nothing to free in a by-reference value; the others are owned here.
    Variant in(c.in.vt & VT_BYREF ? Variant::I4(0) : c.in);
    EXPECT_HR(node->put_nodeTypedValue(c.in.vt & VT_BYREF ? c.in : in.get()), c.hr) << c.type;
    EXPECT_EQ(TextOf(node.Get()), c.text) << c.type;
    // A refusal says why, naming the type.
    if (FAILED(c.hr)) {
      EXPECT_NE(LastReason().find(std::string(" type ") + c.type), std::string::npos) << c.type;
    }
  }
}

TEST_F(DataTypesTest, PutDataTypeTakesEveryNameValidatesTheTextAndIsWrittenOut) {
  auto doc = Parse("<r><a>17</a><b>seventeen</b><e/></r>");
  ASSERT_TRUE(doc);
  auto a = SelectOne(doc.Get(), "/r/a"), b = SelectOne(doc.Get(), "/r/b"), e = SelectOne(doc.Get(), "/r/e");
  ASSERT_TRUE(a && b && e);
  for (const char* name : {"string", "number", "int", "i1", "i2", "i4", "i8", "ui1", "ui2", "ui4", "ui8", "r4",
                           "r8", "float", "boolean", "fixed.14.4", "date", "dateTime", "dateTime.tz", "time",
                           "time.tz", "bin.base64", "bin.hex", "uuid", "uri", "char", "entity", "entities",
                           "enumeration", "id", "idref", "idrefs", "nmtoken", "nmtokens", "notation", "DATETIME"}) {
    Variant type;
    EXPECT_HR(e->put_dataType(Bstr(name)), S_OK) << name;
    EXPECT_HR(e->get_dataType(type.Out()), S_OK);
    EXPECT_EQ(type.Utf8(), name == std::string("DATETIME") ? "dateTime" : name) << "letter case is ignored";
  }
  Variant untypedValue, untyped, typed, reread, still;
  ASSERT_HR(b->get_nodeTypedValue(untypedValue.Out()), S_OK);
  EXPECT_EQ(untypedValue.Utf8(), "seventeen") << "an untyped node's value is its text";
  EXPECT_HR(a->put_dataType(Bstr("ui1")), S_OK);
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

  EXPECT_HR(b->put_dataType(Bstr("ui1")), kBad) << "'seventeen' is not a ui1";
  b->get_dataType(untyped.Out());
  EXPECT_EQ(untyped.vt(), VT_NULL) << "a refused type leaves the node untyped";
  for (const char* bad : {"", "integer", "fixed", "bin", "date time"})
    EXPECT_HR(a->put_dataType(Bstr(bad)), E_INVALIDARG) << bad;
  a->get_dataType(still.Out());
  EXPECT_EQ(still.Utf8(), "ui1");
}

}  // namespace
}  // namespace ardo::test
