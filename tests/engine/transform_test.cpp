// transformNode and transformNodeToObject with style sheets given as DOM
// nodes: output as text, into a document and into a stream; style sheets
// that do not compile or fail while running.
#include "tests/engine/engine_test_fixture.h"

namespace ardo::test {
namespace {

const char kSource[] =
    "<lib><book><title>Alpha</title></book><book><title>Beta</title></book></lib>";

const char kListTitles[] =
    "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
    "<xsl:output method='xml' omit-xml-declaration='yes'/>"
    "<xsl:template match='/'>"
    "<out><xsl:for-each select='//book'><t><xsl:value-of select='title'/></t></xsl:for-each></out>"
    "</xsl:template>"
    "</xsl:stylesheet>";

const char kBookOnly[] =
    "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
    "<xsl:output method='xml' omit-xml-declaration='yes'/>"
    "<xsl:template match='book'><only><xsl:value-of select='title'/></only></xsl:template>"
    "</xsl:stylesheet>";

class TransformTest : public EngineTest {
 protected:
  HRESULT Transform(IXMLDOMNode* node, IXMLDOMNode* sheet, std::string* out) {
    Bstr result;
    HRESULT hr = node->transformNode(sheet, result.Out());
    *out = result.Utf8();
    return hr;
  }
};

TEST_F(TransformTest, TransformNodeReturnsTheOutputText) {
  auto source = Parse(kSource);
  auto sheet = Parse(kListTitles);
  ASSERT_TRUE(source && sheet);
  std::string out;
  EXPECT_HR(Transform(source.Get(), sheet.Get(), &out), S_OK);
  EXPECT_NE(out.find("<out><t>Alpha</t><t>Beta</t></out>"), std::string::npos) << out;

  // The style sheet may be given as its document element too.
  EXPECT_HR(Transform(source.Get(), Root(sheet.Get()).Get(), &out), S_OK);
  EXPECT_NE(out.find("<out><t>Alpha</t><t>Beta</t></out>"), std::string::npos) << out;
}

TEST_F(TransformTest, TransformingANodeStartsAtThatNode) {
  auto source = Parse(kSource);
  auto sheet = Parse(kBookOnly);
  ASSERT_TRUE(source && sheet);
  auto beta = SelectOne(source.Get(), "/lib/book[2]");
  ASSERT_TRUE(beta);
  std::string out;
  EXPECT_HR(Transform(beta.Get(), sheet.Get(), &out), S_OK);
  EXPECT_NE(out.find("<only>Beta</only>"), std::string::npos) << out;
  EXPECT_EQ(out.find("Alpha"), std::string::npos) << out;
}

TEST_F(TransformTest, TransformNodeToObjectFillsADocumentOrAStream) {
  auto source = Parse(kSource);
  auto sheet = Parse(kListTitles);
  ASSERT_TRUE(source && sheet);

  auto target = NewDocument();
  ASSERT_TRUE(target);
  {
    Variant output(Variant::Dispatch(target.Get()));
    EXPECT_HR(source->transformNodeToObject(sheet.Get(), output.get()), S_OK);
  }
  EXPECT_EQ(XmlOf(Root(target.Get()).Get()), "<out><t>Alpha</t><t>Beta</t></out>");
  EXPECT_EQ(LengthOf(Select(target.Get(), "/out/t").Get()), 2) << "a real, queryable tree";

  ardo::ComPtr<IStream> stream;
  ASSERT_HR(ardo::CreateMemoryStream(stream.Out()), S_OK);
  {
    Variant output(Variant::Unknown(stream.Get()));
    EXPECT_HR(source->transformNodeToObject(sheet.Get(), output.get()), S_OK);
  }
  const std::string bytes = StreamBytes(stream.Get());
  EXPECT_NE(bytes.find("<out><t>Alpha</t><t>Beta</t></out>"), std::string::npos) << bytes;

  Variant nothing(Variant::I4(3));
  EXPECT_TRUE(FAILED(source->transformNodeToObject(sheet.Get(), nothing.get())));
}

TEST_F(TransformTest, BrokenOrFailingStyleSheetsFailWithoutOutput) {
  auto source = Parse(kSource);
  ASSERT_TRUE(source);
  const char* sheets[] = {
      // not a style sheet at all
      "<notxsl/>",
      // an expression that does not compile
      "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
      "<xsl:template match='/'><xsl:value-of select='//book['/></xsl:template></xsl:stylesheet>",
      // an unknown instruction
      "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
      "<xsl:template match='/'><xsl:no-such-instruction/></xsl:template></xsl:stylesheet>",
      // a run that stops itself
      "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
      "<xsl:template match='/'><xsl:message terminate='yes'>stop</xsl:message></xsl:template>"
      "</xsl:stylesheet>",
  };
  for (const char* text : sheets) {
    auto sheet = Parse(text);
    ASSERT_TRUE(sheet) << text;
    Bstr out;
    EXPECT_TRUE(FAILED(source->transformNode(sheet.Get(), out.Out()))) << text;
    EXPECT_EQ(out.get(), nullptr) << text;
    auto target = NewDocument();
    Variant output(Variant::Dispatch(target.Get()));
    EXPECT_TRUE(FAILED(source->transformNodeToObject(sheet.Get(), output.get()))) << text;
  }
  Bstr out;
  EXPECT_TRUE(FAILED(source->transformNode(nullptr, out.Out())));
}

TEST_F(TransformTest, DocumentFunctionFollowsAllowDocumentFunction) {
  const std::string path = WriteTempFile("included.xml", "<r>INCLUDED</r>");
  const std::string sheetText =
      "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
      "<xsl:output method='text'/>"
      "<xsl:template match='/'>[<xsl:value-of select=\"document('file://" + path + "')/r\"/>]"
      "</xsl:template></xsl:stylesheet>";
  for (const DocumentClass& c : AllDocumentClasses()) {
    if (c.freeThreaded) continue;
    SCOPED_TRACE(c.name);
    auto source = Parse(kSource, *c.clsid);
    auto sheet = Parse(sheetText.c_str(), *c.clsid);
    ASSERT_TRUE(source && sheet);
    std::string out;
    HRESULT hr = Transform(source.Get(), sheet.Get(), &out);
    if (c.version40) {
      EXPECT_EQ(out.find("INCLUDED"), std::string::npos) << "document() is off by default in 4.0";
    } else {
      EXPECT_HR(hr, S_OK);
      EXPECT_NE(out.find("INCLUDED"), std::string::npos) << out;
    }
    Bstr name("AllowDocumentFunction");
    Variant on(Variant::Bool(true));
    ASSERT_HR(sheet->setProperty(name, on.get()), S_OK);
    ASSERT_HR(source->setProperty(name, on.get()), S_OK);
    EXPECT_HR(Transform(source.Get(), sheet.Get(), &out), S_OK);
    EXPECT_NE(out.find("[INCLUDED]"), std::string::npos) << out;
  }
}

TEST_F(TransformTest, StyleSheetsCallTheExtensionFunctions) {
  auto source = Parse(kSource);
  auto sheet = Parse(
      "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'"
      " xmlns:ms='urn:schemas-microsoft-com:xslt'>"
      "<xsl:output method='text'/>"
      "<xsl:template match='/'>"
      "<xsl:value-of select=\"ms:format-date('2005-03-07','dd MMM yyyy')\"/>|"
      "<xsl:value-of select=\"ms:string-compare('a','B')\"/>"
      "</xsl:template></xsl:stylesheet>");
  ASSERT_TRUE(source && sheet);
  std::string out;
  EXPECT_HR(Transform(source.Get(), sheet.Get(), &out), S_OK);
  EXPECT_NE(out.find("07 Mar 2005|-1"), std::string::npos) << out;
}

}  // namespace
}  // namespace ardo::test
