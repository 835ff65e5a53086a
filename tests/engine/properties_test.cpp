// Document properties and their per-version defaults, DTD validation, white
// space handling and the text of a subtree.
#include <utility>

#include "tests/engine/engine_test_fixture.h"

namespace ardo::test {
namespace {

class PropertiesTest : public EngineTest {
 protected:
  Variant Property(IXMLDOMDocument2* doc, const char* name, HRESULT expected = S_OK) {
    Bstr n(name);
    Variant v;
    EXPECT_HR(doc->getProperty(n, v.Out()), expected) << name;
    return Variant(std::exchange(v.get(), VARIANT{}));
  }
  HRESULT Set(IXMLDOMDocument2* doc, const char* name, VARIANT value) {
    Bstr n(name);
    Variant v(value);
    return doc->setProperty(n, v.get());
  }
};

TEST_F(PropertiesTest, EachIdentityStartsWithItsVersionsDefaults) {
  for (const DocumentClass& c : AllDocumentClasses()) {
    SCOPED_TRACE(c.name);
    auto doc = NewDocument(*c.clsid);
    ASSERT_TRUE(doc);
    EXPECT_EQ(GetStringProperty(doc.Get(), "SelectionLanguage"), c.version40 ? "XPath" : "XSLPattern");
    Variant allow = Property(doc.Get(), "AllowDocumentFunction");
    EXPECT_EQ(allow.vt(), VT_BOOL);
    EXPECT_EQ(allow.get().boolVal, c.version40 ? VARIANT_FALSE : VARIANT_TRUE);
    EXPECT_EQ(GetStringProperty(doc.Get(), "SelectionNamespaces"), "");
    VARIANT_BOOL flag = 1;
    EXPECT_HR(doc->get_async(&flag), S_OK);
    EXPECT_EQ(flag, VARIANT_TRUE);
    EXPECT_HR(doc->get_preserveWhiteSpace(&flag), S_OK);
    EXPECT_EQ(flag, VARIANT_FALSE);
    EXPECT_HR(doc->get_validateOnParse(&flag), S_OK);
    EXPECT_EQ(flag, VARIANT_TRUE);
    Variant depth = Property(doc.Get(), "MaxElementDepth");
    EXPECT_EQ(depth.vt(), VT_I4);
  }
}

TEST_F(PropertiesTest, SelectionLanguageIsXPathOnlyFromVersion40) {
  for (const DocumentClass& c : AllDocumentClasses()) {
    SCOPED_TRACE(c.name);
    auto doc = NewDocument(*c.clsid);
    ASSERT_TRUE(doc);
    HRESULT pattern = Set(doc.Get(), "SelectionLanguage", Variant::Str("XSLPattern"));
    if (c.version40) {
      EXPECT_TRUE(FAILED(pattern)) << "4.0 knows only XPath";
      EXPECT_EQ(GetStringProperty(doc.Get(), "SelectionLanguage"), "XPath");
    } else {
      EXPECT_HR(pattern, S_OK);
      EXPECT_HR(Set(doc.Get(), "SelectionLanguage", Variant::Str("XPath")), S_OK);
      EXPECT_EQ(GetStringProperty(doc.Get(), "SelectionLanguage"), "XPath");
    }
    EXPECT_TRUE(FAILED(Set(doc.Get(), "SelectionLanguage", Variant::Str("SQL"))));
    EXPECT_TRUE(FAILED(Set(doc.Get(), "SelectionLanguage", Variant::I4(1))));
  }
}

TEST_F(PropertiesTest, SetPropertyValuesReadBack) {
  const struct {
    const char* name;
    VARIANT (*value)();
  } cases[] = {
      {"SelectionNamespaces", [] { return Variant::Str("xmlns:a='urn:a' xmlns:b='urn:b'"); }},
      {"ProhibitDTD", [] { return Variant::Bool(true); }},
      {"ProhibitDTD", [] { return Variant::Bool(false); }},
      {"ResolveExternals", [] { return Variant::Bool(true); }},
      {"MaxElementDepth", [] { return Variant::I4(77); }},
      {"MaxXMLSize", [] { return Variant::I4(1024); }},
      {"AllowDocumentFunction", [] { return Variant::Bool(true); }},
      {"AllowXsltScript", [] { return Variant::Bool(false); }},
      {"NewParser", [] { return Variant::Bool(true); }},
      {"ServerHTTPRequest", [] { return Variant::Bool(true); }},
  };
  auto doc = NewDocument();
  ASSERT_TRUE(doc);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Variant expected(c.value());
    EXPECT_HR(Set(doc.Get(), c.name, c.value()), S_OK);
    Variant read = Property(doc.Get(), c.name);
    ASSERT_EQ(read.vt(), expected.vt());
    switch (read.vt()) {
      case VT_BSTR: EXPECT_EQ(read.Utf8(), expected.Utf8()); break;
      case VT_BOOL: EXPECT_EQ(read.get().boolVal, expected.get().boolVal); break;
      case VT_I4: EXPECT_EQ(read.get().lVal, expected.get().lVal); break;
      default: ADD_FAILURE() << "unexpected type " << read.vt();
    }
  }
}

TEST_F(PropertiesTest, UnknownPropertyNamesAreInvalidArguments) {
  auto doc = NewDocument();
  ASSERT_TRUE(doc);
  for (const char* name : {"NoSuchProperty", "", "selectionlanguage "}) {
    Property(doc.Get(), name, E_INVALIDARG);
    EXPECT_HR(Set(doc.Get(), name, Variant::Str("x")), E_INVALIDARG) << "'" << name << "'";
  }
  EXPECT_TRUE(FAILED(Set(doc.Get(), "MaxElementDepth", Variant::I4(-1))));
}

const char kDtd[] =
    "<!DOCTYPE r [<!ELEMENT r (a+)><!ELEMENT a (#PCDATA)><!ATTLIST a n CDATA #REQUIRED>]>";

TEST_F(PropertiesTest, ValidateOnParseChecksTheDtdAndValidateChecksLater) {
  const std::string valid = std::string(kDtd) + "<r><a n='1'>x</a></r>";
  const std::string invalid = std::string(kDtd) + "<r><b/></r>";

  auto strict = NewDocument();
  ASSERT_TRUE(strict);
  VARIANT_BOOL ok = VARIANT_TRUE;
  EXPECT_HR(LoadXml(strict.Get(), invalid.c_str(), &ok), S_FALSE);
  EXPECT_EQ(ok, VARIANT_FALSE);
  ParseErrorInfo e = ErrorOf(strict.Get());
  EXPECT_NE(e.errorCode, 0);
  EXPECT_FALSE(e.reason.empty());

  auto lenient = NewDocument();
  ASSERT_TRUE(lenient);
  ASSERT_HR(lenient->put_validateOnParse(VARIANT_FALSE), S_OK);
  EXPECT_HR(LoadXml(lenient.Get(), invalid.c_str(), &ok), S_OK);
  EXPECT_EQ(ok, VARIANT_TRUE) << "well-formed is enough without validation";
  ardo::ComPtr<IXMLDOMParseError> report;
  ASSERT_TRUE(SUCCEEDED(lenient->validate(report.Out())));
  ASSERT_TRUE(report);
  EXPECT_NE(ErrorInfoOf(report.Get()).errorCode, 0) << "validate() still finds the fault";

  auto doc = Parse(valid.c_str());
  ASSERT_TRUE(doc);
  ASSERT_TRUE(SUCCEEDED(doc->validate(report.Out())));
  ASSERT_TRUE(report);
  EXPECT_EQ(ErrorInfoOf(report.Get()).errorCode, 0);
  // An edit that breaks the content model shows at the next validate().
  auto a = SelectOne(doc.Get(), "/r/a");
  ASSERT_TRUE(a);
  Bstr n("n");
  ASSERT_HR(a.As<IXMLDOMElement>()->removeAttribute(n), S_OK);
  ASSERT_TRUE(SUCCEEDED(doc->validate(report.Out())));
  ParseErrorInfo after = ErrorInfoOf(report.Get());
  EXPECT_NE(after.errorCode, 0);
  EXPECT_FALSE(after.reason.empty());
}

TEST_F(PropertiesTest, DocumentWithoutDtdLoadsWhenValidating) {
  auto doc = NewDocument();
  ASSERT_TRUE(doc);
  VARIANT_BOOL ok;
  EXPECT_HR(LoadXml(doc.Get(), "<r><anything/></r>", &ok), S_OK);
  EXPECT_EQ(ok, VARIANT_TRUE);
}

struct WhitespaceCase {
  bool preserve;
  const char* query;
  long children;
};

TEST_F(PropertiesTest, PreserveWhiteSpaceAndXmlSpaceDecideWhichBlankTextStays) {
  const char xml[] =
      "<r>\n  <a> x </a>\n  <b xml:space='preserve'>  <c/>  </b>\n  <d xml:space='default'> <e/> </d>\n</r>";
  const WhitespaceCase cases[] = {
      {false, "/r", 3},     {false, "/r/a", 1}, {false, "/r/b", 3}, {false, "/r/d", 1},
      {true, "/r", 7},      {true, "/r/a", 1},  {true, "/r/b", 3},  {true, "/r/d", 3},
  };
  for (bool preserve : {false, true}) {
    auto doc = NewDocument();
    ASSERT_TRUE(doc);
    ASSERT_HR(doc->put_preserveWhiteSpace(preserve ? VARIANT_TRUE : VARIANT_FALSE), S_OK);
    VARIANT_BOOL ok;
    ASSERT_HR(LoadXml(doc.Get(), xml, &ok), S_OK);
    for (const WhitespaceCase& c : cases) {
      if (c.preserve != preserve) continue;
      auto node = SelectOne(doc.Get(), c.query);
      ASSERT_TRUE(node);
      EXPECT_EQ(ChildCount(node.Get()), c.children) << c.query << " preserve=" << preserve;
    }
  }
}

TEST_F(PropertiesTest, TextTrimsUnlessWhiteSpaceIsPreservedAndKeepsCdata) {
  const struct {
    const char* xml;
    bool preserve;
    const char* text;
  } cases[] = {
      {"<r>  hello  world  </r>", false, "hello  world"},
      {"<r>  hello  world  </r>", true, "  hello  world  "},
      {"<r xml:space='preserve'>  y  </r>", false, "  y  "},
      {"<r><![CDATA[  raw  ]]></r>", false, "  raw  "},
      {"<r><a>1</a><b>2</b></r>", false, "12"},
      {"<r>a&amp;b&lt;c</r>", false, "a&b<c"},
      {"<r><!--not text--><?pi not text?>t</r>", false, "t"},
  };
  for (const auto& c : cases) {
    auto doc = NewDocument();
    ASSERT_TRUE(doc);
    doc->put_preserveWhiteSpace(c.preserve ? VARIANT_TRUE : VARIANT_FALSE);
    VARIANT_BOOL ok;
    ASSERT_HR(LoadXml(doc.Get(), c.xml, &ok), S_OK) << c.xml;
    EXPECT_EQ(TextOf(Root(doc.Get()).Get()), c.text) << c.xml << " preserve=" << c.preserve;
  }
}

TEST_F(PropertiesTest, BooleanSettersTakeAnyNonZeroAsTrue) {
  // Hosts hand 1 through as the flag; it must count as true.
  auto doc = NewDocument();
  ASSERT_TRUE(doc);
  ASSERT_HR(doc->put_preserveWhiteSpace(1), S_OK);
  VARIANT_BOOL flag = 0;
  doc->get_preserveWhiteSpace(&flag);
  EXPECT_EQ(flag, VARIANT_TRUE);
  ASSERT_HR(doc->put_async(0), S_OK);
  doc->get_async(&flag);
  EXPECT_EQ(flag, VARIANT_FALSE);
  VARIANT_BOOL ok;
  ASSERT_HR(LoadXml(doc.Get(), "<r> <a/> </r>", &ok), S_OK);
  EXPECT_EQ(ChildCount(Root(doc.Get()).Get()), 3);
}

TEST_F(PropertiesTest, SchemasStartEmptyAndKeepWhatTheyAreGiven) {
  auto doc = NewDocument();
  ASSERT_TRUE(doc);
  Variant schemas;
  EXPECT_TRUE(SUCCEEDED(doc->get_schemas(schemas.Out())));
  EXPECT_TRUE(schemas.vt() == VT_EMPTY || schemas.vt() == VT_NULL) << schemas.vt();
}

}  // namespace
}  // namespace ardo::test
