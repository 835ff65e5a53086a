// transformNode and transformNodeToObject with style sheets given as DOM
// nodes; style sheets that do not compile or fail while running.
#include "tests/engine/engine_test_fixture.h"

namespace ardo::test {
namespace {

const char kSource[] = "<lib><book><title>Alpha</title></book><book><title>Beta</title></book></lib>";
const char kListed[] = "<out><t>Alpha</t><t>Beta</t></out>";
const std::string kXsl = "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'";

// A style sheet writing XML (or text) with no declaration, ms: naming the
// extension functions.
std::string Sheet(const std::string& body, const char* method = "xml") {
  return kXsl + " xmlns:ms='urn:schemas-microsoft-com:xslt' exclude-result-prefixes='ms'><xsl:output method='" +
         method + "' omit-xml-declaration='yes'/>" + body + "</xsl:stylesheet>";
}
// One with no xsl:output of its own.
std::string Bare(const std::string& body) { return kXsl + ">" + body + "</xsl:stylesheet>"; }
// Writes each book's title, how many books it reaches and its parent's name.
const std::string kFromBook = Sheet(
    "<xsl:template match='/'><root/></xsl:template><xsl:template match='book'><t><xsl:value-of select='title'/>|"
    "<xsl:value-of select='count(//book)'/>|<xsl:value-of select='name(..)'/></t></xsl:template>");
const std::string kIdentity = Sheet(
    "<xsl:template match='@*|node()'><xsl:copy><xsl:apply-templates select='@*|node()'/></xsl:copy>"
    "</xsl:template>");

class TransformTest : public EngineTest {
 protected:
  // transformNode's text, expecting the HRESULT.
  std::string Run(IXMLDOMNode* source, IXMLDOMNode* sheet, HRESULT expected = S_OK) {
    Bstr out;
    EXPECT_HR(source->transformNode(sheet, out.Out()), expected) << LastReason();
    return out.Utf8();
  }
  std::string Run(IXMLDOMNode* source, const std::string& sheet, HRESULT expected = S_OK) {
    auto style = Parse(sheet.c_str());
    return style ? Run(source, style.Get(), expected) : "(no style sheet)";
  }
  // transformNodeToObject into a new stream: the bytes written.
  std::string ToStream(IXMLDOMNode* source, const std::string& sheet, HRESULT expected = S_OK) {
    auto style = Parse(sheet.c_str());
    ardo::ComPtr<IStream> stream;
    EXPECT_HR(ardo::CreateMemoryStream(stream.Out()), S_OK);
    if (!style || !stream) return "(no style sheet)";
    Variant toStream(Variant::Unknown(stream.Get()));
    EXPECT_HR(source->transformNodeToObject(style.Get(), toStream.get()), expected) << LastReason();
    return StreamBytes(stream.Get());
  }
  // A document loaded from a style sheet file that imports another.
  ardo::ComPtr<IXMLDOMDocument2> Importing(const std::string& imported, const std::string& body) {
    WriteTempFile("imported.xsl", imported);
    const std::string path = WriteTempFile("importing.xsl", Bare("<xsl:import href='imported.xsl'/>" + body));
    auto doc = NewDocument();
    EXPECT_EQ(LoadSource(doc.Get(), Variant::Str(path.c_str())), VARIANT_TRUE);
    return doc;
  }
};

// Each row: a source, the node the transform starts at (none: the
// document), a style sheet and the text it writes.
TEST_F(TransformTest, StyleSheetsWriteTheExpectedText) {
  const std::string meta = "content=\"text/html; charset=UTF-8\"";
  const char* kCData = "<r><![CDATA[<cd>]]><a/>tx</r>";
  const std::string eachNode = Sheet("<xsl:template match='/'><xsl:apply-templates select='r/node()'/>|"
                                     "<xsl:copy-of select='r'/></xsl:template><xsl:template match='node()'>["
                                     "<xsl:value-of select='.'/>]</xsl:template>");
  const char* kEntities = "<!DOCTYPE r [<!ELEMENT r ANY><!ATTLIST r a CDATA #IMPLIED><!ELEMENT i EMPTY>"
                          "<!ENTITY e 'ent<i/>'><!ENTITY s 'simple'>]><r a='x&s;y'>a&e;b</r>";
  const struct {
    const char *source, *start;
    std::string sheet, expected;
  } cases[] = {
      {kSource, nullptr,
       Sheet("<xsl:template match='/'><out><xsl:for-each select='//book'><t><xsl:value-of select='title'/></t>"
             "</xsl:for-each></out></xsl:template>"),
       kListed},
      // From a node, the transform starts at it (the root template does not
      // run); the style sheet still reaches the whole document and its root.
      {kSource, "/lib/book[2]", kFromBook, "<t>Beta|2|lib</t>"},
      {kSource, nullptr, kFromBook, "<root/>"},
      {kSource, "/lib/book[2]",
       Sheet("<xsl:template match='/'>ROOT</xsl:template><xsl:template match='book'>B("
             "<xsl:apply-templates select='/'/>)</xsl:template>"),
       "B(ROOT)"},
      // Text output is a UTF-16 string: the serialiser's own declaration and
      // the HTML method's meta element say so (text the templates wrote stays
      // as written), and no line break is added before or after the root.
      {kSource, nullptr,
       Bare("<xsl:output method='text'/><xsl:template match='/'>&lt;?xml version=\"1.0\" encoding=\"UTF-8\"?&gt;"
            "</xsl:template>"),
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"},
      {kSource, nullptr,
       Bare("<xsl:output method='text'/><xsl:template match='/'>&lt;meta " + meta + "&gt;</xsl:template>"),
       "<meta " + meta + ">"},
      {kSource, nullptr,
       Bare("<xsl:output omit-xml-declaration='yes'/><xsl:template match='/'><meta http-equiv='Content-Type' "
            "content='text/html; charset=UTF-8'/></xsl:template>"),
       "<meta http-equiv=\"Content-Type\" " + meta + "/>"},
      {kSource, nullptr,
       Bare("<xsl:template match='/'><n><xsl:value-of select='count(//book)'/></n></xsl:template>"),
       "<?xml version=\"1.0\" encoding=\"UTF-16\"?><n>2</n>"},
      {kSource, nullptr,
       Bare("<xsl:output method='html'/><xsl:template match='/'><html><head/><body>2</body></html>"
            "</xsl:template>"),
       "<html>\n<head><META http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-16\"></head>\n"
       "<body>2</body>\n</html>"},
      {kSource, nullptr, Bare("<xsl:output method='text'/><xsl:template match='/'>a&#10;</xsl:template>"), "a\n"},
      // Idioms of ported style sheets: msxsl:node-set() over a result tree
      // fragment, blanks in xsl:text under the default white-space handling.
      {kSource, nullptr,
       kXsl + " xmlns:msxsl='urn:schemas-microsoft-com:xslt'><xsl:output method='text'/>"
              "<xsl:variable name='v'><a/><a/></xsl:variable><xsl:template match='/'>"
              "<xsl:value-of select='count(msxsl:node-set($v)/a)'/><xsl:for-each select='//title'><xsl:text> "
              "</xsl:text><xsl:value-of select='.'/></xsl:for-each><xsl:text>&#10;</xsl:text>END</xsl:template>"
              "</xsl:stylesheet>",
       "2 Alpha Beta\nEND"},
      // A note (a message that does not stop the run) is no failure.
      {"<lib><b>1</b><b>2</b></lib>", nullptr,
       Sheet("<xsl:template match='/'><xsl:message terminate='no'>runtime error: only a note</xsl:message>"
             "<xsl:for-each select='//b'><xsl:message>note <xsl:value-of select='.'/></xsl:message>"
             "</xsl:for-each><r/></xsl:template>"),
       "<r/>"},
      // The data model has no CDATA sections: their text is text, matched by
      // node() and text() alike, and copied as text.
      {kCData, nullptr, eachNode, "[&lt;cd&gt;][][tx]|<r>&lt;cd&gt;<a/>tx</r>"},
      {kCData, "/r/node()[1]", eachNode, "[&lt;cd&gt;]"},
      // Entity references are expanded as the XSLT data model has them; the
      // text one brings in joins the text around it.
      {kEntities, nullptr, kIdentity, "<r a=\"xsimpley\">aent<i/>b</r>"},
      {"<!DOCTYPE r [<!ELEMENT r ANY><!ELEMENT i ANY><!ENTITY e 'EE'>]><r><i>x&e;y</i></r>", nullptr,
       Sheet("<xsl:template match='/'><xsl:value-of select='count(/r/i/text())'/>:<xsl:value-of "
             "select='/r/i/text()'/></xsl:template>",
             "text"),
       "1:xEEy"},
      // A later version's style sheet is read forwards-compatibly.
      {kSource, nullptr,
       "<xsl:stylesheet version='2.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'><xsl:output method='text'/>"
       "<xsl:template match='/'>ok <xsl:number value='3' format='i' lang='en'/></xsl:template></xsl:stylesheet>",
       "ok iii"},
      {kSource, nullptr,
       Sheet("<xsl:template match='/'><xsl:processing-instruction name='xml-stylesheet'>href='a' encoding=\"UTF-8\""
             "</xsl:processing-instruction><r/></xsl:template>"),
       "<?xml-stylesheet href='a' encoding=\"UTF-8\"?><r/>"},
      {kSource, nullptr,
       Sheet("<xsl:template match='/'><o><xsl:text disable-output-escaping='yes'>&lt;raw/&gt;</xsl:text></o>"
             "</xsl:template>"),
       "<o><raw/></o>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sheet);
    auto source = Parse(c.source);
    ASSERT_TRUE(source);
    auto start = c.start ? SelectOne(source.Get(), c.start) : ardo::ComPtr<IXMLDOMNode>(source);
    ASSERT_TRUE(start);
    EXPECT_EQ(Run(start.Get(), c.sheet), c.expected);
  }
}

// A node out of the tree, alone or in a fragment, reaches only its own
// tree; a fragment gives its children; a reference gives its content; text
// inside an attribute and a document type are no source.
TEST_F(TransformTest, NodesOutOfTheTreeFragmentsAndReferencesAreSources) {
  auto source = Parse(kSource);
  ASSERT_TRUE(source);
  ardo::ComPtr<IXMLDOMNode> taken, added;
  ASSERT_HR(Root(source.Get())->removeChild(SelectOne(source.Get(), "/lib/book[1]").Get(), taken.Out()), S_OK);
  EXPECT_EQ(Run(taken.Get(), kFromBook), "<t>Alpha|1|</t>");
  ardo::ComPtr<IXMLDOMDocumentFragment> fragment;
  ASSERT_HR(source->createDocumentFragment(fragment.Out()), S_OK);
  Append(fragment.Get(), NewElement(source.Get(), "book").Get());
  ASSERT_HR(fragment->appendChild(taken.Get(), added.Out()), S_OK);
  EXPECT_EQ(Run(taken.Get(), kFromBook), "<t>Alpha|2|</t>");
  EXPECT_EQ(Run(fragment.Get(), kFromBook), "<root/>");
  EXPECT_EQ(Run(fragment.Get(), kIdentity), "<book/><book><title>Alpha</title></book>");

  auto entities = Parse("<!DOCTYPE r [<!ELEMENT r ANY><!ATTLIST r a CDATA #IMPLIED><!ELEMENT i EMPTY>"
                        "<!ENTITY e 'ent<i/>'>]><r a='v'>a&e;b</r>");
  ASSERT_TRUE(entities);
  ardo::ComPtr<IXMLDOMNode> reference, attributeText;
  ASSERT_HR(SelectOne(entities.Get(), "/r/text()")->get_nextSibling(reference.Out()), S_OK);
  ASSERT_EQ(TypeOf(reference.Get()), NODE_ENTITY_REFERENCE);
  EXPECT_EQ(Run(reference.Get(), kIdentity), "ent<i/>");
  ardo::ComPtr<IXMLDOMEntityReference> amp;
  ASSERT_HR(entities->createEntityReference(Bstr("amp"), amp.Out()), S_OK);
  Append(Root(entities.Get()).Get(), amp.Get());
  EXPECT_EQ(Run(entities.Get(), Sheet("<xsl:template match='/'><xsl:value-of select='/r'/></xsl:template>",
                                      "text")),
            "aentb&");
  ASSERT_HR(SelectOne(entities.Get(), "/r/@a")->get_firstChild(attributeText.Out()), S_OK);
  EXPECT_EQ(Run(attributeText.Get(), kIdentity, E_INVALIDARG), "");
  ardo::ComPtr<IXMLDOMDocumentType> doctype;
  ASSERT_HR(entities->get_doctype(doctype.Out()), S_OK);
  EXPECT_EQ(Run(doctype.Get(), kIdentity, E_INVALIDARG), "");

  // A style sheet inside another document keeps every namespace in scope:
  // its expressions use prefixes declared above it.
  auto host = Parse("<w xmlns:xsl='http://www.w3.org/1999/XSL/Transform' xmlns:q='urn:p'>"
                    "<xsl:stylesheet version='1.0'><xsl:output omit-xml-declaration='yes'/>"
                    "<xsl:template match='/'><r><xsl:value-of select='count(//q:b)'/></r></xsl:template>"
                    "</xsl:stylesheet></w>");
  auto prefixed = Parse("<p:lib xmlns:p='urn:p'><p:b>1</p:b></p:lib>");
  ASSERT_TRUE(host && prefixed);
  EXPECT_EQ(Run(prefixed.Get(), SelectOne(host.Get(), "/w/*").Get()), "<r xmlns:q=\"urn:p\">1</r>")
      << "a literal result keeps the namespaces in scope";
}

// Output to a DOM document is a real tree; it takes only output that is a
// document (text or several top-level elements fail and leave the target
// as it was), and there escaping cannot be disabled. Other targets fail.
TEST_F(TransformTest, OutputIntoADocument) {
  auto source = Parse(kSource);
  auto target = Parse("<kept/>");
  ASSERT_TRUE(source && target);
  Variant toDoc(Variant::Dispatch(target.Get())), nothing(Variant::I4(3));
  for (const std::string& body : {std::string("<xsl:output method='text'/><xsl:template match='/'>ROOT &lt;x</xsl:template>"),
                                  std::string("<xsl:template match='/'><a/><b/></xsl:template>")}) {
    auto sheet = Parse(Sheet(body).c_str());
    ASSERT_TRUE(sheet);
    EXPECT_HR(source->transformNodeToObject(sheet.Get(), toDoc.get()), E_FAIL) << body;
    EXPECT_EQ(XmlOf(Root(target.Get()).Get()), "<kept/>") << body;
    Run(source.Get(), sheet.Get());  // as text it is fine
  }
  auto padded = Parse(Sheet("<xsl:template match='/'><xsl:text> </xsl:text><one/></xsl:template>").c_str());
  ASSERT_TRUE(padded);
  EXPECT_HR(source->transformNodeToObject(padded.Get(), toDoc.get()), S_OK) << "blank text around the element";
  EXPECT_EQ(XmlOf(target.Get()), "<one/>\r\n");
  auto unescaped = Parse(Sheet("<xsl:template match='/'><o><xsl:text disable-output-escaping='yes'>&lt;raw/&gt;"
                               "</xsl:text></o></xsl:template>").c_str());
  ASSERT_TRUE(unescaped);
  EXPECT_HR(source->transformNodeToObject(unescaped.Get(), toDoc.get()), S_OK);
  EXPECT_EQ(XmlOf(target.Get()), "<o>&lt;raw/&gt;</o>\r\n");
  auto listing = Parse(Sheet("<xsl:template match='/'><out><xsl:for-each select='//book'><t><xsl:value-of "
                             "select='title'/></t></xsl:for-each></out></xsl:template>").c_str());
  ASSERT_TRUE(listing);
  EXPECT_HR(source->transformNodeToObject(listing.Get(), toDoc.get()), S_OK);
  EXPECT_EQ(XmlOf(Root(target.Get()).Get()), kListed);
  EXPECT_EQ(LengthOf(Select(target.Get(), "/out/t").Get()), 2) << "a real, queryable tree";
  EXPECT_TRUE(FAILED(source->transformNodeToObject(listing.Get(), nothing.get())));
  EXPECT_NE(LastReason().find("DOM document or an IStream"), std::string::npos) << LastReason();
  Bstr out;
  EXPECT_HR(source->transformNode(nullptr, out.Out()), E_INVALIDARG);
  EXPECT_EQ(LastReason(), "No style sheet was given.");
}

// An IStream gets the bytes of the output encoding, UTF-8 and declared so
// where none is named, laid out as the text is; an encoding nobody knows
// is refused.
TEST_F(TransformTest, OutputIntoAStreamIsInTheOutputEncoding) {
  auto source = Parse(kSource);
  ASSERT_TRUE(source);
  const std::pair<std::string, std::string> cases[] = {
      {"<xsl:template match='/'><n/></xsl:template>", "<?xml version=\"1.0\" encoding=\"UTF-8\"?><n/>"},
      {"<xsl:output encoding='ISO-8859-1'/><xsl:template match='/'><n>\xC3\xA9</n></xsl:template>",
       "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><n>\xE9</n>"},
      {"<xsl:output method='html'/><xsl:template match='/'><html><head/></html></xsl:template>",
       "<html><head><META http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\"></head></html>"}};
  for (const auto& [body, expected] : cases) EXPECT_EQ(ToStream(source.Get(), Bare(body)), expected) << body;
  // Bytes of a wider encoding are left whole.
  const std::string wide = ToStream(
      source.Get(), Bare("<xsl:output encoding='UTF-16BE'/><xsl:template match='/'><n/></xsl:template>"));
  EXPECT_EQ(wide.size() % 2, 0u);
  EXPECT_NE(wide.find(std::string("\0<\0n\0/\0>", 8)), std::string::npos);
  ToStream(source.Get(),
           Sheet("<xsl:output encoding='no-such-encoding'/><xsl:template match='/'><o/></xsl:template>"), E_FAIL);
  EXPECT_NE(LastReason().find("no-such-encoding"), std::string::npos) << LastReason();
}

// A style sheet document loaded from a file keeps its imports, and an
// imported xsl:output counts; a start node that xsl:strip-space removes
// transforms to nothing.
TEST_F(TransformTest, ImportsAndStrippedStartNodes) {
  auto source = NewDocument();
  ASSERT_TRUE(source);
  ASSERT_HR(source->put_preserveWhiteSpace(VARIANT_TRUE), S_OK);
  ASSERT_HR(source->loadXML(Bstr("<r>\n  <x>X</x>\n  <y>Y</y>\n</r>"), nullptr), S_OK);
  auto imported = Importing(Sheet("<xsl:template match='/'>IMPORTED</xsl:template>"), "");
  ASSERT_TRUE(imported);
  EXPECT_EQ(Run(source.Get(), Root(imported.Get()).Get()), "IMPORTED");
  imported = Importing(Sheet("", "text"), "<xsl:template match='/'>line&#10;</xsl:template>");
  ASSERT_TRUE(imported);
  EXPECT_EQ(Run(source.Get(), imported.Get()), "line\n");
  const std::string stripping = Sheet("<xsl:strip-space elements='*'/><xsl:template match='text()'>["
                                      "<xsl:value-of select='.'/>]</xsl:template>",
                                      "text");
  EXPECT_EQ(Run(SelectOne(source.Get(), "/r/text()[2]").Get(), stripping), "");
  EXPECT_EQ(Run(SelectOne(source.Get(), "/r/y").Get(), stripping), "[Y]");
}

// A run's notes (messages that do not stop it) are not part of the reason;
// the message that stops a run, or the error, is. A style sheet that does
// not compile or fails gives no output either way.
TEST_F(TransformTest, BrokenOrFailingStyleSheetsFailWithTheirReason) {
  auto source = Parse(kSource);
  ASSERT_TRUE(source);
  const std::string notes = "<xsl:for-each select='//book'><xsl:message>note <xsl:value-of select='.'/>"
                            "</xsl:message></xsl:for-each>";
  Run(source.Get(), Sheet("<xsl:template match='/'>" + notes + "<xsl:message terminate='yes'>FATAL: bad input"
                          "</xsl:message></xsl:template>"),
      E_FAIL);
  EXPECT_EQ(LastReason(), "FATAL: bad input");
  Run(source.Get(),
      Sheet("<xsl:template match='/'>" + notes + "<xsl:value-of select='$undefined'/></xsl:template>"), E_FAIL);
  const std::string reason = LastReason();
  EXPECT_NE(reason.find("undefined"), std::string::npos) << reason;
  EXPECT_EQ(reason.find("note"), std::string::npos) << reason;
  // Endless recursion stops at libxslt's depth; its trace of the templates
  // is no part of the reason.
  Run(source.Get(), Sheet("<xsl:template match='/' name='loop'><xsl:call-template name='loop'/></xsl:template>"),
      E_FAIL);
  const std::string loop = LastReason();
  EXPECT_NE(loop.find("infinite template recursion"), std::string::npos) << loop;
  EXPECT_EQ(loop.find("Templates:"), std::string::npos) << loop;
  // The same for a style sheet that libxslt reads itself.
  auto noting = Importing(
      Sheet("<xsl:template match='book'><xsl:message>runtime error: imported note</xsl:message><i/>"
            "</xsl:template>"),
      "<xsl:output omit-xml-declaration='yes'/><xsl:template match='/'><r><xsl:apply-templates "
      "select='//book[1]'/></r></xsl:template>");
  ASSERT_TRUE(noting);
  EXPECT_EQ(Run(source.Get(), noting.Get()), "<r><i/></r>");

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

// What differs between the versions: msxsl:script is refused where
// AllowXsltScript is off (4.0's default) and not served where it is on;
// document() is off by default in 4.0 only, the style sheet's document
// deciding; system-property() names the processor that runs a sheet.
TEST_F(TransformTest, ScriptsDocumentFunctionAndSystemPropertiesByVersion) {
  const std::string path = WriteTempFile("included.xml", "<r>INCLUDED</r>");
  const std::string included =
      Sheet("<xsl:template match='/'>[<xsl:value-of select=\"document('file://" + path +
            "')/r\"/>]<xsl:value-of select=\"ms:string-compare('a','B')\"/></xsl:template>");
  // document('') reads no file but is the function all the same.
  const std::string self =
      Sheet("<xsl:template match='/'><n><xsl:value-of select=\"count(document('')/*)\"/></n></xsl:template>");
  const std::string scripted =
      kXsl + " xmlns:msxsl='urn:schemas-microsoft-com:xslt' xmlns:u='urn:u'><msxsl:script language='JScript' "
             "implements-prefix='u'>function f() { return 1; }</msxsl:script><xsl:template match='/'><out/>"
             "</xsl:template></xsl:stylesheet>";
  const std::string ask =
      Sheet("<xsl:template match='/'><xsl:value-of select=\"concat(system-property('xsl:vendor'), '|', "
            "system-property('xsl:vendor-url'), '|', system-property('xsl:version'), '|', "
            "system-property('ms:version'), '|', system-property('ms:other'))\"/></xsl:template>");
  for (const CLSID* clsid : {&CLSID_DOMDocument30, &CLSID_DOMDocument40}) {
    const bool v40 = clsid == &CLSID_DOMDocument40;
    SCOPED_TRACE(v40 ? "4.0" : "3.0");
    auto source = Parse(kSource, *clsid), sheet = Parse(included.c_str(), *clsid),
         selfSheet = Parse(self.c_str(), *clsid), scriptSheet = Parse(scripted.c_str(), *clsid),
         askSheet = Parse(ask.c_str(), *clsid);
    ASSERT_TRUE(source && sheet && selfSheet && scriptSheet && askSheet);
    Bstr out;
    EXPECT_HR(source->transformNode(scriptSheet.Get(), out.Out()), v40 ? E_FAIL : E_NOTIMPL);
    EXPECT_EQ(out.get(), nullptr);
    source->transformNode(sheet.Get(), out.Out());
    EXPECT_EQ(out.Utf8().find("INCLUDED") == std::string::npos, v40) << out.Utf8();
    SetProperty(source.Get(), "AllowDocumentFunction", Variant::Bool(false));
    SetProperty(sheet.Get(), "AllowDocumentFunction", Variant::Bool(true));
    EXPECT_NE(Run(source.Get(), sheet.Get()).find("[INCLUDED]-1"), std::string::npos);
    Run(source.Get(), selfSheet.Get(), v40 ? E_FAIL : S_OK);
    if (v40) {
      const std::string reason = LastReason();
      EXPECT_NE(reason.find("AllowDocumentFunction"), std::string::npos) << reason;
      EXPECT_EQ(reason.find("Stack"), std::string::npos) << reason;
      SetProperty(selfSheet.Get(), "AllowDocumentFunction", Variant::Bool(true));
    }
    EXPECT_EQ(Run(source.Get(), selfSheet.Get()), "<n>1</n>");
    EXPECT_EQ(Run(source.Get(), askSheet.Get()),
              v40 ? "Microsoft|http://www.microsoft.com|1|4|" : "Microsoft|http://www.microsoft.com|1|3|");
  }
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
    EXPECT_EQ(Run(source.Get(), Sheet(std::string("<xsl:param name='type' select=\"'number'\"/><xsl:param "
                                                  "name='order' select=\"'descending'\"/><xsl:template match='/'>"
                                                  "<xsl:for-each select='r/n'>") +
                                          sort + "<xsl:if test='position() > 1'><xsl:text> </xsl:text></xsl:if>"
                                                 "<xsl:value-of select='.'/></xsl:for-each></xsl:template>",
                                      "text")),
              expected)
        << sort;
  }
}

}  // namespace
}  // namespace ardo::test
