// transformNode and transformNodeToObject with style sheets given as DOM
// nodes: output as text, into a document and into a stream; style sheets
// that do not compile or fail while running.
#include "tests/engine/engine_test_fixture.h"

namespace ardo::test {
namespace {

const char kSource[] = "<lib><book><title>Alpha</title></book><book><title>Beta</title></book></lib>";

std::string Sheet(const std::string& body, const char* extraNs = "") {
  return std::string("<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'") +
         extraNs + "><xsl:output method='xml' omit-xml-declaration='yes'/>" + body + "</xsl:stylesheet>";
}

const std::string kListTitles = Sheet(
    "<xsl:template match='/'><out><xsl:for-each select='//book'><t><xsl:value-of select='title'/></t>"
    "</xsl:for-each></out></xsl:template>");
const char kListed[] = "<out><t>Alpha</t><t>Beta</t></out>";

class TransformTest : public EngineTest {
 protected:
  std::string Transform(IXMLDOMNode* node, IXMLDOMNode* sheet, HRESULT expected = S_OK) {
    Bstr result;
    EXPECT_HR(node->transformNode(sheet, result.Out()), expected);
    return result.Utf8();
  }
};

TEST_F(TransformTest, OutputGoesToTextDocumentOrStreamFromTheNodeAskedOf) {
  auto source = Parse(kSource);
  auto sheet = Parse(kListTitles.c_str());
  auto bookOnly = Parse(Sheet("<xsl:template match='book'><only><xsl:value-of select='title'/></only>"
                              "</xsl:template>").c_str());
  ASSERT_TRUE(source && sheet && bookOnly);
  EXPECT_NE(Transform(source.Get(), sheet.Get()).find(kListed), std::string::npos);
  EXPECT_NE(Transform(source.Get(), Root(sheet.Get()).Get()).find(kListed), std::string::npos)
      << "the style sheet may be given as its document element";
  const std::string only = Transform(SelectOne(source.Get(), "/lib/book[2]").Get(), bookOnly.Get());
  EXPECT_NE(only.find("<only>Beta</only>"), std::string::npos) << only;
  EXPECT_EQ(only.find("Alpha"), std::string::npos) << "the transform starts at the node: " << only;

  auto target = NewDocument();
  ASSERT_TRUE(target);
  Variant toDoc(Variant::Dispatch(target.Get()));
  EXPECT_HR(source->transformNodeToObject(sheet.Get(), toDoc.get()), S_OK);
  EXPECT_EQ(XmlOf(Root(target.Get()).Get()), kListed);
  EXPECT_EQ(LengthOf(Select(target.Get(), "/out/t").Get()), 2) << "a real, queryable tree";

  ardo::ComPtr<IStream> stream;
  ASSERT_HR(ardo::CreateMemoryStream(stream.Out()), S_OK);
  Variant toStream(Variant::Unknown(stream.Get())), nothing(Variant::I4(3));
  EXPECT_HR(source->transformNodeToObject(sheet.Get(), toStream.get()), S_OK);
  EXPECT_NE(StreamBytes(stream.Get()).find(kListed), std::string::npos);
  EXPECT_TRUE(FAILED(source->transformNodeToObject(sheet.Get(), nothing.get())));
}

TEST_F(TransformTest, BrokenOrFailingStyleSheetsFailWithoutOutput) {
  auto source = Parse(kSource);
  ASSERT_TRUE(source);
  for (const std::string& text :
       {std::string("<notxsl/>"),
        Sheet("<xsl:template match='/'><xsl:value-of select='//book['/></xsl:template>"),
        Sheet("<xsl:template match='/'><xsl:no-such-instruction/></xsl:template>"),
        Sheet("<xsl:template match='/'><xsl:message terminate='yes'>stop</xsl:message></xsl:template>")}) {
    auto sheet = Parse(text.c_str());
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

TEST_F(TransformTest, DocumentFunctionFollowsAllowDocumentFunctionAndExtensionsWork) {
  const std::string path = WriteTempFile("included.xml", "<r>INCLUDED</r>");
  const std::string sheetText = Sheet(
      "<xsl:template match='/'>[<xsl:value-of select=\"document('file://" + path + "')/r\"/>]"
      "<xsl:value-of select=\"ms:format-date('2005-03-07','dd MMM yyyy')\"/>|"
      "<xsl:value-of select=\"ms:string-compare('a','B')\"/></xsl:template>",
      " xmlns:ms='urn:schemas-microsoft-com:xslt'");
  for (const DocumentClass& c : AllDocumentClasses()) {
    if (c.freeThreaded) continue;
    SCOPED_TRACE(c.name);
    auto source = Parse(kSource, *c.clsid);
    auto sheet = Parse(sheetText.c_str(), *c.clsid);
    ASSERT_TRUE(source && sheet);
    Bstr result;
    HRESULT hr = source->transformNode(sheet.Get(), result.Out());
    if (c.version40) {
      EXPECT_EQ(result.Utf8().find("INCLUDED"), std::string::npos) << "document() is off by default in 4.0";
    } else {
      EXPECT_HR(hr, S_OK);
      EXPECT_NE(result.Utf8().find("INCLUDED"), std::string::npos) << result.Utf8();
    }
    SetProperty(sheet.Get(), "AllowDocumentFunction", Variant::Bool(true));
    SetProperty(source.Get(), "AllowDocumentFunction", Variant::Bool(true));
    EXPECT_NE(Transform(source.Get(), sheet.Get()).find("[INCLUDED]07 Mar 2005|-1"), std::string::npos);
  }
}

}  // namespace
}  // namespace ardo::test
