// Document properties and their per-version defaults, DTD validation, white
// space handling and the text of a subtree.
#include <utility>

#include "tests/engine/engine_test_fixture.h"

namespace ardo::test {
namespace {

class PropertiesTest : public EngineTest {
 protected:
  Variant Property(IXMLDOMDocument2* doc, const char* name, HRESULT expected = S_OK) {
    Variant v;
    EXPECT_HR(doc->getProperty(Bstr(name), v.Out()), expected) << name;
    return Variant(std::exchange(v.get(), VARIANT{}));
  }
  HRESULT Set(IXMLDOMDocument2* doc, const char* name, VARIANT value) {
    Variant v(value);
    return doc->setProperty(Bstr(name), v.get());
  }
  // Loads with preserveWhiteSpace as given.
  ardo::ComPtr<IXMLDOMDocument2> Load(const char* xml, bool preserve) {
    auto doc = NewDocument();
    EXPECT_HR(doc->put_preserveWhiteSpace(preserve ? 1 : 0), S_OK);  // any non-zero is true
    EXPECT_HR(LoadXml(doc.Get(), xml), S_OK) << xml;
    return doc;
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
    VARIANT_BOOL async = 1, preserve = 1, validate = 1, resolve = 1;
    EXPECT_HR(doc->get_async(&async), S_OK);
    EXPECT_HR(doc->get_preserveWhiteSpace(&preserve), S_OK);
    EXPECT_HR(doc->get_validateOnParse(&validate), S_OK);
    EXPECT_HR(doc->get_resolveExternals(&resolve), S_OK);
    EXPECT_EQ(async, VARIANT_TRUE);
    EXPECT_EQ(preserve, VARIANT_FALSE);
    EXPECT_EQ(validate, VARIANT_TRUE);
    EXPECT_EQ(resolve, VARIANT_TRUE);
    EXPECT_EQ(Property(doc.Get(), "MaxElementDepth").vt(), VT_I4);

    HRESULT pattern = Set(doc.Get(), "SelectionLanguage", Variant::Str("XSLPattern"));
    if (c.version40)
      EXPECT_TRUE(FAILED(pattern)) << "4.0 knows only XPath";
    else
      EXPECT_HR(pattern, S_OK);
    EXPECT_HR(Set(doc.Get(), "SelectionLanguage", Variant::Str("XPath")), S_OK);
    EXPECT_EQ(GetStringProperty(doc.Get(), "SelectionLanguage"), "XPath");
    EXPECT_TRUE(FAILED(Set(doc.Get(), "SelectionLanguage", Variant::Str("SQL"))));
    EXPECT_TRUE(FAILED(Set(doc.Get(), "SelectionLanguage", Variant::I4(1))));
  }
  Variant schemas;
  EXPECT_TRUE(SUCCEEDED(NewDocument()->get_schemas(schemas.Out())));
  EXPECT_TRUE(schemas.vt() == VT_EMPTY || schemas.vt() == VT_NULL) << schemas.vt();
}

TEST_F(PropertiesTest, SetPropertyValuesReadBackAndUnknownNamesAreRefused) {
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
      default: EXPECT_EQ(read.get().lVal, expected.get().lVal);
    }
  }
  for (const char* name : {"NoSuchProperty", "", "selectionlanguage "}) {
    Property(doc.Get(), name, E_INVALIDARG);
    EXPECT_HR(Set(doc.Get(), name, Variant::Str("x")), E_INVALIDARG) << "'" << name << "'";
  }
  // A value the property cannot take is refused with the reason.
  EXPECT_HR(Set(doc.Get(), "MaxElementDepth", Variant::I4(-1)), E_INVALIDARG);
  EXPECT_NE(LastReason().find("MaxElementDepth"), std::string::npos) << LastReason();
  EXPECT_HR(Set(doc.Get(), "ProhibitDTD", Variant::Str("perhaps")), E_INVALIDARG);
  EXPECT_NE(LastReason().find("ProhibitDTD"), std::string::npos) << LastReason();
}

TEST_F(PropertiesTest, ValidateOnParseChecksTheDtdAndValidateChecksLater) {
  const std::string dtd =
      "<!DOCTYPE r [<!ELEMENT r (a+)><!ELEMENT a (#PCDATA)><!ATTLIST a n CDATA #REQUIRED>]>";
  const std::string invalid = dtd + "\n<r>\n  <b/>\n</r>";
  VARIANT_BOOL ok = VARIANT_TRUE;
  for (bool resolve : {true, false}) {
    auto checked = NewDocument();
    ASSERT_TRUE(checked);
    ASSERT_HR(checked->put_resolveExternals(resolve ? VARIANT_TRUE : VARIANT_FALSE), S_OK);
    EXPECT_HR(LoadXml(checked.Get(), invalid.c_str(), &ok), S_FALSE);
    ParseErrorInfo fault = ErrorOf(checked.Get());
    EXPECT_NE(fault.errorCode, 0);
    // Checked while parsing, externals resolved or not: the error has its
    // place in the text.
    EXPECT_GE(fault.line, 2) << resolve;
    EXPECT_GT(fault.linepos, 0) << resolve;
    EXPECT_GT(fault.filepos, static_cast<long>(dtd.size())) << resolve;
    EXPECT_FALSE(fault.srcText.empty()) << resolve;
  }
  auto strict = NewDocument();
  ASSERT_TRUE(strict);
  EXPECT_HR(LoadXml(strict.Get(), "<r><anything/></r>", &ok), S_OK) << "no DTD, nothing to check";

  auto lenient = NewDocument();
  ASSERT_TRUE(lenient);
  ASSERT_HR(lenient->put_validateOnParse(VARIANT_FALSE), S_OK);
  EXPECT_HR(LoadXml(lenient.Get(), invalid.c_str(), &ok), S_OK) << "well-formed is enough";
  ardo::ComPtr<IXMLDOMParseError> report;
  ASSERT_TRUE(SUCCEEDED(lenient->validate(report.Out())));
  EXPECT_NE(ErrorInfoOf(report.Get()).errorCode, 0) << "validate() still finds the fault";

  auto doc = Parse((dtd + "<r><a n='1'>x</a></r>").c_str());
  ASSERT_TRUE(doc);
  ASSERT_TRUE(SUCCEEDED(doc->validate(report.Out())));
  EXPECT_EQ(ErrorInfoOf(report.Get()).errorCode, 0);
  ASSERT_HR(SelectOne(doc.Get(), "/r/a").As<IXMLDOMElement>()->removeAttribute(Bstr("n")), S_OK);
  ASSERT_TRUE(SUCCEEDED(doc->validate(report.Out())));
  ParseErrorInfo after = ErrorInfoOf(report.Get());
  EXPECT_NE(after.errorCode, 0) << "an edit that breaks the content model shows at the next validate()";
  EXPECT_FALSE(after.reason.empty());
}

TEST_F(PropertiesTest, NamespacesListsEachUriOfTheDocumentOnceAndIsReadOnly) {
  auto doc = Parse(
      "<r xmlns='urn:a' xmlns:b='urn:b' xml:lang='en'><b:x b:y='1' xmlns:c='urn:c'/>"
      "<z xmlns='urn:a' xmlns:d='urn:d' d:w='2'/></r>");
  ASSERT_TRUE(doc);
  ardo::ComPtr<IXMLDOMSchemaCollection> namespaces;
  ASSERT_HR(doc->get_namespaces(namespaces.Out()), S_OK);
  long length = 0;
  ASSERT_HR(namespaces->get_length(&length), S_OK);
  std::string uris;
  for (long i = 0; i < length; ++i) {
    Bstr uri;
    ASSERT_HR(namespaces->get_namespaceURI(i, uri.Out()), S_OK);
    uris += uri.Utf8() + " ";
  }
  EXPECT_EQ(uris, "urn:a urn:b urn:c urn:d ");
  Bstr outside;
  EXPECT_HR(namespaces->get_namespaceURI(length, outside.Out()), E_INVALIDARG);
  ardo::ComPtr<IXMLDOMNode> schema;
  EXPECT_HR(namespaces->get(Bstr("urn:a"), schema.Out()), S_FALSE);
  EXPECT_FALSE(schema);
  EXPECT_HR(namespaces->remove(Bstr("urn:a")), E_ACCESSDENIED);

  ardo::ComPtr<IUnknown> unknown;
  ASSERT_HR(namespaces->get__newEnum(unknown.Out()), S_OK);
  auto items = unknown.As<IEnumVARIANT>();
  ASSERT_TRUE(items);
  ASSERT_HR(items->Skip(3), S_OK);
  Variant last, none;
  ULONG got = 0;
  EXPECT_HR(items->Next(1, last.Out(), &got), S_OK);
  EXPECT_EQ(last.Utf8(), "urn:d");
  EXPECT_HR(items->Next(1, none.Out(), &got), S_FALSE);
  EXPECT_EQ(got, 0u);
}

TEST_F(PropertiesTest, PreserveWhiteSpaceAndXmlSpaceDecideWhichBlankTextStays) {
  const char xml[] =
      "<r>\n  <a> x </a>\n  <b xml:space='preserve'>  <c/>  </b>\n  <d xml:space='default'> <e/> </d>\n</r>";
  const struct {
    bool preserve;
    const char* query;
    long children;
  } cases[] = {
      {false, "/r", 3}, {false, "/r/a", 1}, {false, "/r/b", 3}, {false, "/r/d", 1},
      {true, "/r", 7},  {true, "/r/a", 1},  {true, "/r/b", 3},  {true, "/r/d", 3},
  };
  for (const auto& c : cases) {
    auto doc = Load(xml, c.preserve);
    EXPECT_EQ(ChildCount(SelectOne(doc.Get(), c.query).Get()), c.children) << c.query << " " << c.preserve;
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
    auto doc = Load(c.xml, c.preserve);
    EXPECT_EQ(TextOf(Root(doc.Get()).Get()), c.text) << c.xml << " preserve=" << c.preserve;
  }
  auto doc = Load("<r/>", true);
  VARIANT_BOOL flag = 0;
  doc->get_preserveWhiteSpace(&flag);
  EXPECT_EQ(flag, VARIANT_TRUE) << "a flag of 1 reads back as VARIANT_TRUE";
}

}  // namespace
}  // namespace ardo::test
