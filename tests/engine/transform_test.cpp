// transformNode and transformNodeToObject with style sheets given as DOM
// nodes; style sheets that do not compile or fail while running.
#include "tests/engine/engine_test_fixture.h"

namespace ardo::test {
namespace {

const char kSource[] = "<lib><book><title>Alpha</title></book><book><title>Beta</title></book></lib>";
const char kListed[] = "<out><t>Alpha</t><t>Beta</t></out>";

std::string Sheet(const std::string& body) {
  return "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform' "
         "xmlns:ms='urn:schemas-microsoft-com:xslt' exclude-result-prefixes='ms'><xsl:output method='xml' omit-xml-declaration='yes'/>" +
         body + "</xsl:stylesheet>";
}

class TransformTest : public EngineTest {};

TEST_F(TransformTest, OutputGoesToTextOrIntoADocumentFromTheNodeAskedOf) {
  auto source = Parse(kSource);
  auto sheet = Parse(Sheet("<xsl:template match='/'><out><xsl:for-each select='//book'><t>"
                           "<xsl:value-of select='title'/></t></xsl:for-each></out></xsl:template>").c_str());
  auto target = NewDocument();
  ASSERT_TRUE(source && sheet && target);
  Bstr whole, one;
  EXPECT_HR(source->transformNode(Root(sheet.Get()).Get(), whole.Out()), S_OK);
  EXPECT_NE(whole.Utf8().find(kListed), std::string::npos) << whole.Utf8();
  // From a node, the transform starts at that node (the root template does
  // not run) and the style sheet still reaches the whole document.
  auto fromNode = Parse(Sheet("<xsl:template match='/'><root/></xsl:template><xsl:template match='book'><t>"
                              "<xsl:value-of select='title'/>|<xsl:value-of select='count(//book)'/>|"
                              "<xsl:value-of select='name(..)'/></t></xsl:template>").c_str());
  ASSERT_TRUE(fromNode);
  EXPECT_HR(SelectOne(source.Get(), "/lib/book[2]")->transformNode(fromNode.Get(), one.Out()), S_OK);
  EXPECT_EQ(one.Utf8(), "<t>Beta|2|lib</t>");
  EXPECT_HR(source->transformNode(fromNode.Get(), one.Out()), S_OK);
  EXPECT_EQ(one.Utf8(), "<root/>");
  // The root, reached from there, meets the style sheet's own template.
  auto toRoot = Parse(Sheet("<xsl:template match='/'>ROOT</xsl:template><xsl:template match='book'>B("
                            "<xsl:apply-templates select='/'/>)</xsl:template>").c_str());
  ASSERT_TRUE(toRoot);
  EXPECT_HR(SelectOne(source.Get(), "/lib/book[2]")->transformNode(toRoot.Get(), one.Out()), S_OK) << LastReason();
  EXPECT_EQ(one.Utf8(), "B(ROOT)");
  Variant toDoc(Variant::Dispatch(target.Get())), nothing(Variant::I4(3));
  EXPECT_HR(source->transformNodeToObject(sheet.Get(), toDoc.get()), S_OK);
  EXPECT_EQ(XmlOf(Root(target.Get()).Get()), kListed);
  EXPECT_EQ(LengthOf(Select(target.Get(), "/out/t").Get()), 2) << "a real, queryable tree";
  EXPECT_TRUE(FAILED(source->transformNodeToObject(sheet.Get(), nothing.get())));
  EXPECT_NE(LastReason().find("DOM document or an IStream"), std::string::npos) << LastReason();
  EXPECT_HR(source->transformNode(nullptr, one.Out()), E_INVALIDARG);
  EXPECT_EQ(LastReason(), "No style sheet was given.");
  // So does a node out of the tree, alone or in a fragment: its own tree
  // is all the style sheet reaches.
  ardo::ComPtr<IXMLDOMNode> taken, added;
  ASSERT_HR(Root(source.Get())->removeChild(SelectOne(source.Get(), "/lib/book[1]").Get(), taken.Out()), S_OK);
  EXPECT_HR(taken->transformNode(fromNode.Get(), one.Out()), S_OK);
  EXPECT_EQ(one.Utf8(), "<t>Alpha|1|</t>");
  ardo::ComPtr<IXMLDOMDocumentFragment> fragment;
  ASSERT_HR(source->createDocumentFragment(fragment.Out()), S_OK);
  Append(fragment.Get(), NewElement(source.Get(), "book").Get());
  ASSERT_HR(fragment->appendChild(taken.Get(), added.Out()), S_OK);
  EXPECT_HR(taken->transformNode(fromNode.Get(), one.Out()), S_OK);
  EXPECT_EQ(one.Utf8(), "<t>Alpha|2|</t>");
  EXPECT_HR(fragment->transformNode(fromNode.Get(), one.Out()), S_OK);
  EXPECT_EQ(one.Utf8(), "<root/>");
}

// Text output is a UTF-16 string: the declaration and the HTML method's
// meta element say so, and no line break is added before or after the root.
// Only the serialiser's own declaration or meta element is made to say
// UTF-16: text the templates wrote stays as written.
TEST_F(TransformTest, TextOutputDeclaresUtf16WithoutAddedLineBreaks) {
  auto source = Parse(kSource);
  const std::string sheet = "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>";
  const std::string meta = "content=\"text/html; charset=UTF-8\"";
  const std::pair<std::string, std::string> cases[] = {
      {"<xsl:output method='text'/><xsl:template match='/'>&lt;?xml version=\"1.0\" encoding=\"UTF-8\"?&gt;"
       "</xsl:template>",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"},
      {"<xsl:output method='text'/><xsl:template match='/'>&lt;meta " + meta + "&gt;</xsl:template>",
       "<meta " + meta + ">"},
      {"<xsl:output omit-xml-declaration='yes'/><xsl:template match='/'><meta http-equiv='Content-Type' "
       "content='text/html; charset=UTF-8'/></xsl:template>",
       "<meta http-equiv=\"Content-Type\" " + meta + "/>"},
      {"<xsl:template match='/'><n><xsl:value-of select='count(//book)'/></n></xsl:template>",
       "<?xml version=\"1.0\" encoding=\"UTF-16\"?><n>2</n>"},
      {"<xsl:output method='html'/><xsl:template match='/'><html><head/><body>2</body></html></xsl:template>",
       "<html>\n<head><META http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-16\"></head>\n"
       "<body>2</body>\n</html>"},
      {"<xsl:output method='text'/><xsl:template match='/'>a&#10;</xsl:template>", "a\n"}};
  for (const auto& [body, expected] : cases) {
    auto style = Parse((sheet + body + "</xsl:stylesheet>").c_str());
    ASSERT_TRUE(source && style) << body;
    Bstr out;
    EXPECT_HR(source->transformNode(style.Get(), out.Out()), S_OK) << body;
    EXPECT_EQ(out.Utf8(), expected);
  }
  // An IStream gets the bytes of the output encoding, UTF-8 and declared
  // so where none is named, laid out as the text is.
  const std::pair<std::string, std::string> written[] = {
      {"<xsl:template match='/'><n/></xsl:template>", "<?xml version=\"1.0\" encoding=\"UTF-8\"?><n/>"},
      {"<xsl:output encoding='ISO-8859-1'/><xsl:template match='/'><n>\xC3\xA9</n></xsl:template>",
       "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><n>\xE9</n>"},
      {"<xsl:output method='html'/><xsl:template match='/'><html><head/></html></xsl:template>",
       "<html><head><META http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\"></head></html>"}};
  for (const auto& [body, expected] : written) {
    auto style = Parse((sheet + body + "</xsl:stylesheet>").c_str());
    ASSERT_TRUE(style) << body;
    ardo::ComPtr<IStream> stream;
    ASSERT_HR(ardo::CreateMemoryStream(stream.Out()), S_OK);
    Variant toStream(Variant::Unknown(stream.Get()));
    EXPECT_HR(source->transformNodeToObject(style.Get(), toStream.get()), S_OK) << body;
    EXPECT_EQ(StreamBytes(stream.Get()), expected);
  }
  // Bytes of a wider encoding are left whole.
  auto wide = Parse((sheet + "<xsl:output encoding='UTF-16BE'/><xsl:template match='/'><n/></xsl:template>"
                             "</xsl:stylesheet>").c_str());
  ASSERT_TRUE(wide);
  ardo::ComPtr<IStream> stream;
  ASSERT_HR(ardo::CreateMemoryStream(stream.Out()), S_OK);
  Variant toStream(Variant::Unknown(stream.Get()));
  EXPECT_HR(source->transformNodeToObject(wide.Get(), toStream.get()), S_OK);
  const std::string bytes = StreamBytes(stream.Get());
  EXPECT_EQ(bytes.size() % 2, 0u);
  EXPECT_NE(bytes.find(std::string("\0<\0n\0/\0>", 8)), std::string::npos);
}

// msxsl:script needs a script engine: refused where AllowXsltScript is off
// (4.0's default), not served where it is on.
TEST_F(TransformTest, ScriptBlocksAreRefusedOrNotServed) {
  const char kScripted[] =
      "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform' "
      "xmlns:msxsl='urn:schemas-microsoft-com:xslt' xmlns:u='urn:u'>"
      "<msxsl:script language='JScript' implements-prefix='u'>function f() { return 1; }</msxsl:script>"
      "<xsl:template match='/'><out/></xsl:template></xsl:stylesheet>";
  for (const CLSID* clsid : {&CLSID_DOMDocument30, &CLSID_DOMDocument40}) {
    auto source = Parse(kSource, *clsid), sheet = Parse(kScripted, *clsid);
    ASSERT_TRUE(source && sheet);
    Bstr out;
    EXPECT_HR(source->transformNode(sheet.Get(), out.Out()), clsid == &CLSID_DOMDocument40 ? E_FAIL : E_NOTIMPL);
    EXPECT_EQ(out.get(), nullptr);
  }
}

TEST_F(TransformTest, BrokenOrFailingStyleSheetsFailWithoutOutput) {
  auto source = Parse(kSource);
  ASSERT_TRUE(source);
  for (const std::string& text :
       {std::string("<notxsl/>"), Sheet("<xsl:template match='/'><xsl:value-of select='//book['/></xsl:template>"),
        Sheet("<xsl:template match='/'><xsl:message terminate='yes'>stop</xsl:message></xsl:template>"),
        Sheet("<xsl:template match='/'><xsl:bogus/></xsl:template>")}) {
    auto sheet = Parse(text.c_str());
    auto target = NewDocument();
    ASSERT_TRUE(sheet && target) << text;
    Bstr out;
    Variant output(Variant::Dispatch(target.Get()));
    EXPECT_TRUE(FAILED(source->transformNode(sheet.Get(), out.Out()))) << text;
    EXPECT_EQ(out.get(), nullptr) << text;
    EXPECT_TRUE(FAILED(source->transformNodeToObject(sheet.Get(), output.get()))) << text;
  }
}

// A run's notes (messages that do not stop it) are neither a failure nor
// part of the reason; the message that stops a run, or the error, is.
TEST_F(TransformTest, OnlyTheMessageThatStopsARunIsItsReason) {
  auto source = Parse("<lib><b>1</b><b>2</b><b>3</b><b>4</b><b>5</b></lib>");
  const std::string notes = "<xsl:for-each select='//b'><xsl:message>note <xsl:value-of select='.'/></xsl:message>"
                            "</xsl:for-each>";
  auto noted = Parse(Sheet("<xsl:template match='/'><xsl:message terminate='no'>runtime error: only a note"
                           "</xsl:message>" + notes + "<r/></xsl:template>").c_str());
  auto stopped = Parse(Sheet("<xsl:template match='/'>" + notes +
                             "<xsl:message terminate='yes'>FATAL: bad input</xsl:message></xsl:template>").c_str());
  auto failing = Parse(Sheet("<xsl:template match='/'>" + notes + "<xsl:value-of select='$undefined'/>"
                             "</xsl:template>").c_str());
  ASSERT_TRUE(source && noted && stopped && failing);
  Bstr out;
  EXPECT_HR(source->transformNode(noted.Get(), out.Out()), S_OK);
  EXPECT_EQ(out.Utf8(), "<r/>");
  EXPECT_HR(source->transformNode(stopped.Get(), out.Out()), E_FAIL);
  EXPECT_EQ(LastReason(), "FATAL: bad input");
  EXPECT_HR(source->transformNode(failing.Get(), out.Out()), E_FAIL);
  EXPECT_NE(LastReason().find("undefined"), std::string::npos) << LastReason();
  EXPECT_EQ(LastReason().find("note"), std::string::npos) << LastReason();
  // The same for a style sheet that libxslt reads itself.
  WriteTempFile("noting.xsl", Sheet("<xsl:template match='b'><xsl:message>runtime error: imported note"
                                    "</xsl:message><i/></xsl:template>"));
  const std::string importing = WriteTempFile(
      "importing.xsl", "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
                       "<xsl:import href='noting.xsl'/><xsl:output omit-xml-declaration='yes'/>"
                       "<xsl:template match='/'><r><xsl:apply-templates select='//b[1]'/></r></xsl:template>"
                       "</xsl:stylesheet>");
  auto fromFile = NewDocument();
  ASSERT_EQ(LoadSource(fromFile.Get(), Variant::Str(importing.c_str())), VARIANT_TRUE);
  EXPECT_HR(source->transformNode(fromFile.Get(), out.Out()), S_OK) << LastReason();
  EXPECT_EQ(out.Utf8(), "<r><i/></r>");
}

// A style sheet inside another document keeps every namespace in scope
// (its expressions use prefixes declared above it), and a source's entity
// references are expanded as the XSLT data model has them.
TEST_F(TransformTest, EmbeddedStyleSheetsKeepTheirScopeAndEntitiesAreExpanded) {
  auto host = Parse("<w xmlns:xsl='http://www.w3.org/1999/XSL/Transform' xmlns:q='urn:p'>"
                    "<xsl:stylesheet version='1.0'><xsl:output omit-xml-declaration='yes'/>"
                    "<xsl:template match='/'><r><xsl:value-of select='count(//q:b)'/></r></xsl:template>"
                    "</xsl:stylesheet></w>");
  auto source = Parse("<p:lib xmlns:p='urn:p'><p:b>1</p:b></p:lib>");
  ASSERT_TRUE(host && source);
  Bstr out;
  EXPECT_HR(source->transformNode(SelectOne(host.Get(), "/w/*").Get(), out.Out()), S_OK) << LastReason();
  EXPECT_EQ(out.Utf8(), "<r xmlns:q=\"urn:p\">1</r>") << "a literal result keeps the namespaces in scope";

  auto withEntities = Parse("<!DOCTYPE r [<!ELEMENT r ANY><!ATTLIST r a CDATA #IMPLIED><!ELEMENT i EMPTY>"
                            "<!ENTITY e 'ent<i/>'><!ENTITY s 'simple'>]><r a='x&s;y'>a&e;b</r>");
  auto identity = Parse(Sheet("<xsl:template match='@*|node()'><xsl:copy><xsl:apply-templates select='@*|node()'/>"
                              "</xsl:copy></xsl:template>").c_str());
  ASSERT_TRUE(withEntities && identity);
  EXPECT_HR(withEntities->transformNode(identity.Get(), out.Out()), S_OK);
  EXPECT_EQ(out.Utf8(), "<r a=\"xsimpley\">aent<i/>b</r>");
  // From the reference itself: its content.
  ardo::ComPtr<IXMLDOMNode> reference;
  ASSERT_HR(SelectOne(withEntities.Get(), "/r/text()")->get_nextSibling(reference.Out()), S_OK);
  ASSERT_EQ(TypeOf(reference.Get()), NODE_ENTITY_REFERENCE);
  EXPECT_HR(reference->transformNode(identity.Get(), out.Out()), S_OK);
  EXPECT_EQ(out.Utf8(), "ent<i/>");
  ardo::ComPtr<IXMLDOMEntityReference> amp;
  ASSERT_HR(withEntities->createEntityReference(Bstr("amp"), amp.Out()), S_OK);
  Append(Root(withEntities.Get()).Get(), amp.Get());
  auto text = Parse(Sheet("<xsl:output method='text'/><xsl:template match='/'><xsl:value-of select='/r'/>"
                          "</xsl:template>").c_str());
  ASSERT_TRUE(text);
  EXPECT_HR(withEntities->transformNode(text.Get(), out.Out()), S_OK);
  EXPECT_EQ(out.Utf8(), "aentb&");
  // The text a reference brings in joins the text around it: one text node.
  auto joined = Parse("<!DOCTYPE r [<!ELEMENT r ANY><!ELEMENT i ANY><!ENTITY e 'EE'>]><r><i>x&e;y</i></r>");
  auto texts = Parse(Sheet("<xsl:output method='text'/><xsl:template match='/'>"
                           "<xsl:value-of select='count(/r/i/text())'/>:<xsl:value-of select='/r/i/text()'/>"
                           "</xsl:template>").c_str());
  ASSERT_TRUE(joined && texts);
  EXPECT_HR(joined->transformNode(texts.Get(), out.Out()), S_OK);
  EXPECT_EQ(out.Utf8(), "1:xEEy");
}

// What a host hands over is transformed as it stands: a fragment's
// children, a style sheet element with its file's imports, a later
// version's style sheet read forwards-compatibly, an instruction's data.
TEST_F(TransformTest, EachKindOfSourceAndStyleSheetIsTakenAsItStands) {
  const char kIdentity[] = "<xsl:template match='@*|node()'><xsl:copy><xsl:apply-templates select='@*|node()'/>"
                           "</xsl:copy></xsl:template>";
  auto source = Parse("<!DOCTYPE lib [<!ELEMENT lib ANY>]><lib/>");
  auto identity = Parse(Sheet(kIdentity).c_str());
  ASSERT_TRUE(source && identity);
  ardo::ComPtr<IXMLDOMDocumentFragment> fragment;
  ASSERT_HR(source->createDocumentFragment(fragment.Out()), S_OK);
  Append(fragment.Get(), NewElement(source.Get(), "a").Get());
  Append(fragment.Get(), NewElement(source.Get(), "b").Get());
  Bstr out;
  EXPECT_HR(fragment->transformNode(identity.Get(), out.Out()), S_OK);
  EXPECT_EQ(out.Utf8(), "<a/><b/>");
  ardo::ComPtr<IXMLDOMDocumentType> doctype;
  ASSERT_HR(source->get_doctype(doctype.Out()), S_OK);
  EXPECT_HR(doctype->transformNode(identity.Get(), out.Out()), E_INVALIDARG);

  WriteTempFile("imported.xsl", Sheet("<xsl:template match='/'>IMPORTED</xsl:template>"));
  const std::string main = WriteTempFile(
      "main.xsl", "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
                  "<xsl:import href='imported.xsl'/></xsl:stylesheet>");
  auto fromFile = NewDocument();
  ASSERT_EQ(LoadSource(fromFile.Get(), Variant::Str(main.c_str())), VARIANT_TRUE);
  EXPECT_HR(source->transformNode(Root(fromFile.Get()).Get(), out.Out()), S_OK) << LastReason();
  EXPECT_EQ(out.Utf8(), "IMPORTED");

  const char* kLater =
      "<xsl:stylesheet version='2.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
      "<xsl:output method='text'/><xsl:template match='/'>ok <xsl:number value='3' format='i' lang='en'/>"
      "</xsl:template></xsl:stylesheet>";
  auto later = Parse(kLater);
  ASSERT_TRUE(later);
  EXPECT_HR(source->transformNode(later.Get(), out.Out()), S_OK) << LastReason();
  EXPECT_EQ(out.Utf8(), "ok iii");

  auto instruction = Parse(Sheet("<xsl:template match='/'><xsl:processing-instruction name='xml-stylesheet'>"
                                 "href='a' encoding=\"UTF-8\"</xsl:processing-instruction><r/></xsl:template>")
                               .c_str());
  ASSERT_TRUE(instruction);
  EXPECT_HR(source->transformNode(instruction.Get(), out.Out()), S_OK);
  EXPECT_EQ(out.Utf8(), "<?xml-stylesheet href='a' encoding=\"UTF-8\"?><r/>");
}

// The edges of what a host may hand over: text inside an attribute is no
// source; a start node that xsl:strip-space removes transforms to nothing;
// escaping is disabled only in written output; xsl:output counts from an
// imported style sheet; an output encoding nobody knows is refused.
TEST_F(TransformTest, SourcesAndOutputsAtTheEdges) {
  auto source = NewDocument();
  ASSERT_TRUE(source);
  ASSERT_HR(source->put_preserveWhiteSpace(VARIANT_TRUE), S_OK);
  ASSERT_HR(source->loadXML(Bstr("<r a='v'>\n  <x>X</x>\n  <y>Y</y>\n</r>"), nullptr), S_OK);
  auto stripping = Parse(Sheet("<xsl:strip-space elements='*'/><xsl:output method='text'/>"
                               "<xsl:template match='text()'>[<xsl:value-of select='.'/>]</xsl:template>").c_str());
  ASSERT_TRUE(stripping);
  Bstr out;
  ardo::ComPtr<IXMLDOMNode> attributeText;
  ASSERT_HR(SelectOne(source.Get(), "/r/@a")->get_firstChild(attributeText.Out()), S_OK);
  EXPECT_HR(attributeText->transformNode(stripping.Get(), out.Out()), E_INVALIDARG);
  EXPECT_HR(SelectOne(source.Get(), "/r/text()[2]")->transformNode(stripping.Get(), out.Out()), S_OK);
  EXPECT_EQ(out.Utf8(), "");
  EXPECT_HR(SelectOne(source.Get(), "/r/y")->transformNode(stripping.Get(), out.Out()), S_OK);
  EXPECT_EQ(out.Utf8(), "[Y]");

  auto unescaped = Parse(Sheet("<xsl:template match='/'><o><xsl:text disable-output-escaping='yes'>&lt;raw/&gt;"
                               "</xsl:text></o></xsl:template>").c_str());
  auto target = NewDocument();
  ASSERT_TRUE(unescaped && target);
  EXPECT_HR(source->transformNode(unescaped.Get(), out.Out()), S_OK);
  EXPECT_EQ(out.Utf8(), "<o><raw/></o>");
  Variant toDoc(Variant::Dispatch(target.Get()));
  EXPECT_HR(source->transformNodeToObject(unescaped.Get(), toDoc.get()), S_OK);
  EXPECT_EQ(XmlOf(target.Get()), "<o>&lt;raw/&gt;</o>\r\n");

  WriteTempFile("text-output.xsl", Sheet("").replace(Sheet("").find("method='xml'"), 12, "method='text'"));
  const std::string importing = WriteTempFile(
      "importing.xsl", "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
                       "<xsl:import href='text-output.xsl'/><xsl:template match='/'>line&#10;</xsl:template>"
                       "</xsl:stylesheet>");
  auto imported = NewDocument();
  ASSERT_EQ(LoadSource(imported.Get(), Variant::Str(importing.c_str())), VARIANT_TRUE);
  EXPECT_HR(source->transformNode(imported.Get(), out.Out()), S_OK) << LastReason();
  EXPECT_EQ(out.Utf8(), "line\n");

  auto bogus = Parse(Sheet("<xsl:output encoding='no-such-encoding'/><xsl:template match='/'><o/></xsl:template>").c_str());
  ASSERT_TRUE(bogus);
  ardo::ComPtr<IStream> stream;
  ASSERT_HR(ardo::CreateMemoryStream(stream.Out()), S_OK);
  Variant toStream(Variant::Unknown(stream.Get()));
  EXPECT_HR(source->transformNodeToObject(bogus.Get(), toStream.get()), E_FAIL);
  EXPECT_NE(LastReason().find("no-such-encoding"), std::string::npos) << LastReason();
}

// A DOM document takes only output that is a document; text output or
// several top-level elements fail and leave the target as it was.
TEST_F(TransformTest, OutputThatIsNotADocumentIsRefusedByATargetDocument) {
  auto source = Parse(kSource);
  auto target = Parse("<kept/>");
  ASSERT_TRUE(source && target);
  Variant toDoc(Variant::Dispatch(target.Get()));
  for (const std::string& body : {std::string("<xsl:output method='text'/><xsl:template match='/'>ROOT &lt;x</xsl:template>"),
                                  std::string("<xsl:template match='/'><a/><b/></xsl:template>")}) {
    auto sheet = Parse(Sheet(body).c_str());
    ASSERT_TRUE(sheet);
    EXPECT_HR(source->transformNodeToObject(sheet.Get(), toDoc.get()), E_FAIL) << body;
    EXPECT_EQ(XmlOf(Root(target.Get()).Get()), "<kept/>") << body;
    Bstr text;
    EXPECT_HR(source->transformNode(sheet.Get(), text.Out()), S_OK) << "as text it is fine: " << body;
  }
  auto padded = Parse(Sheet("<xsl:template match='/'><xsl:text> </xsl:text><one/></xsl:template>").c_str());
  ASSERT_TRUE(padded);
  EXPECT_HR(source->transformNodeToObject(padded.Get(), toDoc.get()), S_OK) << "blank text around the element";
  EXPECT_EQ(XmlOf(target.Get()), "<one/>\r\n");
}

TEST_F(TransformTest, DocumentFunctionFollowsAllowDocumentFunctionAndExtensionsWork) {
  const std::string path = WriteTempFile("included.xml", "<r>INCLUDED</r>");
  const std::string sheetText = Sheet("<xsl:template match='/'>[<xsl:value-of select=\"document('file://" + path +
                                      "')/r\"/>]<xsl:value-of select=\"ms:string-compare('a','B')\"/></xsl:template>");
  for (const CLSID* clsid : {&CLSID_DOMDocument30, &CLSID_DOMDocument40}) {
    auto source = Parse(kSource, *clsid), sheet = Parse(sheetText.c_str(), *clsid);
    ASSERT_TRUE(source && sheet);
    Bstr before, after;
    source->transformNode(sheet.Get(), before.Out());
    EXPECT_EQ(before.Utf8().find("INCLUDED") == std::string::npos, clsid == &CLSID_DOMDocument40)
        << "document() is off by default in 4.0 only: " << before.Utf8();
    // The style sheet's document decides, not the source's.
    SetProperty(source.Get(), "AllowDocumentFunction", Variant::Bool(false));
    SetProperty(sheet.Get(), "AllowDocumentFunction", Variant::Bool(true));
    EXPECT_HR(source->transformNode(sheet.Get(), after.Out()), S_OK);
    EXPECT_NE(after.Utf8().find("[INCLUDED]-1"), std::string::npos) << after.Utf8();
  }
  // document('') reads no file but is the function all the same.
  const std::string selfText = Sheet("<xsl:template match='/'><n><xsl:value-of select=\"count(document('')/*)\"/></n>"
                                     "</xsl:template>");
  for (const CLSID* clsid : {&CLSID_DOMDocument30, &CLSID_DOMDocument40}) {
    auto source = Parse(kSource, *clsid), sheet = Parse(selfText.c_str(), *clsid);
    ASSERT_TRUE(source && sheet);
    Bstr out;
    EXPECT_HR(source->transformNode(sheet.Get(), out.Out()), clsid == &CLSID_DOMDocument40 ? E_FAIL : S_OK);
    if (clsid == &CLSID_DOMDocument40) {
      EXPECT_NE(LastReason().find("AllowDocumentFunction"), std::string::npos) << LastReason();
      EXPECT_EQ(LastReason().find("Stack"), std::string::npos) << LastReason();
      SetProperty(sheet.Get(), "AllowDocumentFunction", Variant::Bool(true));
      EXPECT_HR(source->transformNode(sheet.Get(), out.Out()), S_OK);
    }
    EXPECT_EQ(out.Utf8(), "<n>1</n>");
  }
  // Ported style sheets ask system-property() whose processor runs them.
  const std::string askText = Sheet(
      "<xsl:template match='/'><xsl:value-of select=\"concat(system-property('xsl:vendor'), '|', "
      "system-property('xsl:vendor-url'), '|', system-property('xsl:version'), '|', "
      "system-property('ms:version'), '|', system-property('ms:other'))\"/></xsl:template>");
  for (const CLSID* clsid : {&CLSID_DOMDocument30, &CLSID_DOMDocument40}) {
    auto source = Parse(kSource, *clsid), sheet = Parse(askText.c_str(), *clsid);
    ASSERT_TRUE(source && sheet);
    Bstr out;
    EXPECT_HR(source->transformNode(sheet.Get(), out.Out()), S_OK) << LastReason();
    EXPECT_EQ(out.Utf8(), clsid == &CLSID_DOMDocument40 ? "Microsoft|http://www.microsoft.com|1|4|"
                                                        : "Microsoft|http://www.microsoft.com|1|3|");
  }
}

// Idioms of style sheets written for this engine: msxsl:node-set() over a
// result tree fragment, and blanks in xsl:text of a style sheet loaded with
// the default white-space handling.
TEST_F(TransformTest, NodeSetAndBlankTextOfPortedStyleSheetsWork) {
  auto source = Parse(kSource);
  auto sheet = Parse(
      "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform' "
      "xmlns:msxsl='urn:schemas-microsoft-com:xslt'><xsl:output method='text'/>"
      "<xsl:variable name='v'><a/><a/></xsl:variable>"
      "<xsl:template match='/'><xsl:value-of select='count(msxsl:node-set($v)/a)'/>"
      "<xsl:for-each select='//title'><xsl:text> </xsl:text><xsl:value-of select='.'/></xsl:for-each>"
      "<xsl:text>&#10;</xsl:text>END</xsl:template></xsl:stylesheet>");
  ASSERT_TRUE(source && sheet);
  Bstr out;
  ASSERT_HR(source->transformNode(sheet.Get(), out.Out()), S_OK);
  EXPECT_EQ(out.Utf8(), "2 Alpha Beta\nEND");
}

// The data model has no CDATA sections: their text is text, matched by
// node() and text() alike, and copied as text.
TEST_F(TransformTest, CDataSectionsAreText) {
  auto source = Parse("<r><![CDATA[<cd>]]><a/>tx</r>");
  auto sheet = Parse(Sheet("<xsl:template match='/'><xsl:apply-templates select='r/node()'/>|<xsl:copy-of select='r'/>"
                           "</xsl:template><xsl:template match='node()'>[<xsl:value-of select='.'/>]</xsl:template>")
                         .c_str());
  ASSERT_TRUE(source && sheet);
  Bstr out;
  ASSERT_HR(source->transformNode(sheet.Get(), out.Out()), S_OK) << LastReason();
  EXPECT_EQ(out.Utf8(), "[&lt;cd&gt;][][tx]|<r>&lt;cd&gt;<a/>tx</r>");
  ASSERT_HR(SelectOne(source.Get(), "/r/node()[1]")->transformNode(sheet.Get(), out.Out()), S_OK) << LastReason();
  EXPECT_EQ(out.Utf8(), "[&lt;cd&gt;]");
}

// xsl:sort orders text as ms:string-compare does (case after letters and
// accents, lower case first unless case-order says otherwise), numbers
// with NaN first; keys may be attribute value templates; ties keep their
// order.
TEST_F(TransformTest, SortingFollowsThePlatformsTextOrder) {
  auto source = Parse("<r><n v='10'>cherry</n><n v='9'>Banana</n><n v='x'>apple</n><n v='3'>\xC3\xA9" "clair</n>"
                      "<n v='3'>Eclair</n><n v='3'>eclair</n><n v='-1'>Apple</n></r>");
  ASSERT_TRUE(source);
  const std::pair<const char*, const char*> cases[] = {
      {"<xsl:sort/>", "apple Apple Banana cherry eclair Eclair \xC3\xA9" "clair"},
      {"<xsl:sort case-order='upper-first'/>", "Apple apple Banana cherry Eclair eclair \xC3\xA9" "clair"},
      {"<xsl:sort order='descending'/>", "\xC3\xA9" "clair Eclair eclair cherry Banana Apple apple"},
      {"<xsl:sort select='@v' data-type='number'/>", "apple Apple \xC3\xA9" "clair Eclair eclair Banana cherry"},
      {"<xsl:sort select='@v' data-type='{$type}' order='{$order}'/><xsl:sort/>",
       "cherry Banana eclair Eclair \xC3\xA9" "clair Apple apple"}};
  for (const auto& [sort, expected] : cases) {
    auto sheet = Parse((std::string("<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
                                    "<xsl:output method='text'/><xsl:param name='type' select=\"'number'\"/>"
                                    "<xsl:param name='order' select=\"'descending'\"/><xsl:template match='/'>"
                                    "<xsl:for-each select='r/n'>") +
                        sort + "<xsl:if test='position() > 1'><xsl:text> </xsl:text></xsl:if><xsl:value-of select='.'/>"
                               "</xsl:for-each></xsl:template></xsl:stylesheet>")
                           .c_str());
    ASSERT_TRUE(sheet) << sort;
    Bstr out;
    EXPECT_HR(source->transformNode(sheet.Get(), out.Out()), S_OK) << sort;
    EXPECT_EQ(out.Utf8(), expected) << sort;
  }
}

}  // namespace
}  // namespace ardo::test
