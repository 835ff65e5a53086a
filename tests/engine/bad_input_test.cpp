// Hostile and broken input: entity expansion bombs, external entities and
// DTDs, nesting depth, invalid bytes, truncation, NULs and one enormous
// attribute. Each is a parse error or loads correctly; none crashes, hangs
// or reaches the network.
// The platform header comes first: <fcntl.h> defines LOCK_WRITE as a macro,
// which would clash with the stream lock enumerator of the same name.
#include "tests/engine/engine_test_fixture.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ardo::test {
namespace {

std::string Repeat(const std::string& s, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += s;
  return out;
}

// Entities l1 to l<levels>, each ten references to the one before; l0 is "lol".
std::string Laughs(int levels) {
  std::string declarations = "<!ENTITY l0 'lol'>";
  for (int level = 1; level <= levels; ++level)
    declarations += "<!ENTITY l" + std::to_string(level) + " '" + Repeat("&l" + std::to_string(level - 1) + ";", 10) + "'>";
  return declarations;
}

class BadInputTest : public EngineTest {
 protected:
  // load() from a byte array; S_OK goes with VARIANT_TRUE, S_FALSE with VARIANT_FALSE.
  VARIANT_BOOL LoadBytes(IXMLDOMDocument* doc, const std::string& bytes) {
    Variant source(ByteArrayVariant(bytes));
    VARIANT_BOOL ok = VARIANT_TRUE;
    HRESULT hr = doc->load(source.get(), &ok);
    EXPECT_HR(hr, ok == VARIANT_TRUE ? S_OK : S_FALSE);
    return ok;
  }
  void ExpectParseError(IXMLDOMDocument* doc, const std::string& what) {
    ParseErrorInfo e = ErrorOf(doc);
    EXPECT_NE(e.errorCode, 0) << what;
    EXPECT_FALSE(e.reason.empty()) << what;
    EXPECT_EQ(ChildCount(doc), 0) << what << ": a failed load leaves the document empty";
  }
  void ExpectLoadXmlFails(IXMLDOMDocument* doc, const std::string& xml, const std::string& what) {
    VARIANT_BOOL ok = VARIANT_TRUE;
    EXPECT_HR(LoadXml(doc, xml.c_str(), &ok), S_FALSE) << what;
    EXPECT_EQ(ok, VARIANT_FALSE) << what;
    ExpectParseError(doc, what);
  }
  // A document with the DTD allowed, validation and external resolution as given.
  ardo::ComPtr<IXMLDOMDocument2> Permissive(bool validate, bool resolve, bool prohibitDtd = false) {
    auto doc = NewDocument();
    if (!doc) return doc;
    EXPECT_HR(doc->put_validateOnParse(validate ? VARIANT_TRUE : VARIANT_FALSE), S_OK);
    EXPECT_HR(doc->put_resolveExternals(resolve ? VARIANT_TRUE : VARIANT_FALSE), S_OK);
    SetProperty(doc.Get(), "ProhibitDTD", Variant::Bool(prohibitDtd));
    return doc;
  }
};

TEST_F(BadInputTest, BillionLaughsFailWhenUsedAndLoadWhenNot) {
  const std::string laughs = "<!DOCTYPE lolz [" + Laughs(10) + "]><lolz>&l10;</lolz>";
  for (bool validate : {true, false}) {
    auto doc = Permissive(validate, false);
    ASSERT_TRUE(doc);
    ExpectLoadXmlFails(doc.Get(), "<?xml version='1.0'?>" + laughs, "billion laughs");
    // Not called a reference loop, which this document does not have.
    EXPECT_NE(ErrorOf(doc.Get()).reason.find("expands to too much"), std::string::npos) << ErrorOf(doc.Get()).reason;
  }
  // The same as UTF-16 bytes behind a comment whose characters would read
  // as "--><r" were their high bytes dropped: the document type is seen.
  std::string bytes = "\xFF\xFE";
  for (char16_t c : u"<!--\u012D\u012D\u013E\u013C\u0172-->" + ardo::Utf8ToUtf16(laughs))
    bytes += {char(c & 0xFF), char(c >> 8)};
  auto doc = Permissive(false, false);
  ASSERT_TRUE(doc);
  EXPECT_EQ(LoadBytes(doc.Get(), bytes), VARIANT_FALSE);
  ExpectParseError(doc.Get(), "billion laughs in UTF-16 behind a forged comment");
  // Entities the document never uses are not expanded: declarations that
  // refer to each other, or nest a billion laughs, load as a plain document.
  for (const std::string& xml :
       {"<!DOCTYPE r [<!ELEMENT r EMPTY>" + Laughs(30) + "]><r/>",
        std::string("<!DOCTYPE r [<!ELEMENT r EMPTY><!ENTITY a '&b;'><!ENTITY b '<q>&a;</q>'>]><r/>"),
        std::string("<!DOCTYPE r [<!ELEMENT r EMPTY><!ENTITY a '<x>'><!ENTITY b '</x>'><!ENTITY c '<y>&a;</y>'>]><r/>")}) {
    auto unused = Parse(xml.c_str());
    ASSERT_TRUE(unused) << xml.substr(0, 80);
    EXPECT_EQ(XmlOf(Root(unused.Get()).Get()), "<r/>");
  }
}

// Entity content is parsed once and shared by every reference: the text
// references repeat and the nesting they reach count wherever they stand.
TEST_F(BadInputTest, EntityReferencesCountTowardsDepthAndSize) {
  const std::string big(100000, 'x'), bigEntity = "<!DOCTYPE r [<!ENTITY a '" + big + "'>]>";
  for (bool resolve : {false, true}) {
    for (const std::string& xml : {bigEntity + "<r>" + Repeat("&a;", 200) + "</r>",
                                   bigEntity + "<r x='" + Repeat("&a;", 200) + "'/>"}) {
      auto doc = Permissive(false, resolve);
      ASSERT_TRUE(doc);
      ExpectLoadXmlFails(doc.Get(), xml, "20,000,000 characters from 20 KB of references");
    }
  }
  const char kDeep[] = "<!DOCTYPE r [<!ELEMENT r ANY><!ELEMENT e ANY><!ENTITY x '<e><e/></e>'>]><r>&x;</r>";
  auto doc = Permissive(false, false);
  ASSERT_TRUE(doc);
  SetProperty(doc.Get(), "MaxElementDepth", Variant::I4(3));
  EXPECT_HR(LoadXml(doc.Get(), kDeep), S_OK) << "three levels are allowed";
  SetProperty(doc.Get(), "MaxElementDepth", Variant::I4(2));
  EXPECT_HR(LoadXml(doc.Get(), kDeep), S_FALSE);
  EXPECT_EQ(ErrorOf(doc.Get()).errorCode, long(int32_t(0xC00CEF01)));
  // Within the limit, the same entity may be referred to as often as wanted;
  // the limit counts characters, not their UTF-8 bytes.
  const std::string many =
      "<!DOCTYPE r [<!ENTITY a '" + Repeat("\xE6\x97\xA5", 30) + "'>]><r>" + Repeat("&a;", 200000) + "</r>";
  EXPECT_HR(LoadXml(doc.Get(), many.c_str()), S_OK) << ErrorOf(doc.Get()).reason;

  // What else a small input multiplies is bounded as well: elements that
  // references bring in, the text of an external entity, and attribute
  // defaults of the document type, copied into every element. (Those
  // elements are undeclared: the validity complaints that do not fail the
  // load must not hide the reason that does.)
  const std::string external = WriteTempFile("million.ent", std::string(1000000, 'y'));
  const std::pair<std::string, const char*> bounds[] = {
      {"<!DOCTYPE r [<!ENTITY a '" + Repeat("<x/>", 130) + "'><!ENTITY b '" + Repeat("&a;", 130) + "'>]><r>" +
           Repeat("&b;", 130) + "</r>",
       "1,000,000 elements"},
      {"<!DOCTYPE r [<!ENTITY s SYSTEM 'file://" + external + "'>]><r>" + Repeat("&s;", 11) + "</r>",
       "10,000,000 characters"},
      {"<!DOCTYPE r [<!ATTLIST x a CDATA '" + big + "'>]><r>" + Repeat("<x/>", 101) + "</r>", "by default"}};
  for (const auto& [xml, reason] : bounds) {
    auto bounded = Permissive(false, true);
    ASSERT_TRUE(bounded);
    EXPECT_HR(LoadXml(bounded.Get(), xml.c_str()), S_FALSE) << xml.substr(0, 60);
    const ParseErrorInfo e = ErrorOf(bounded.Get());
    EXPECT_EQ(e.errorCode, long(int32_t(0xC00CEF03))) << e.reason;
    EXPECT_NE(e.reason.find(reason), std::string::npos) << e.reason;
  }
  // A short default on very many elements is a large document, not an
  // attack: it loads.
  auto large = Permissive(false, true);
  ASSERT_TRUE(large);
  EXPECT_HR(LoadXml(large.Get(), ("<!DOCTYPE r [<!ATTLIST x class CDATA '- topic/p body/paragraph and more '>]><r>" +
                                  Repeat("<x/>", 300000) + "</r>")
                                     .c_str()),
            S_OK)
      << ErrorOf(large.Get()).reason;
}

TEST_F(BadInputTest, LocalExternalEntityIsReadOnlyWhenAllowed) {
  const std::string secret = WriteTempFile("secret.txt", "SECRET-CONTENT");
  const std::string xml = "<!DOCTYPE r [<!ENTITY x SYSTEM 'file://" + secret + "'>]><r>[&x;]</r>";
  const struct {
    bool resolve, prohibitDtd, loads, includes;
  } cases[] = {
      {false, false, true, false}, {true, false, true, true}, {true, true, false, false}, {false, true, false, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "resolveExternals=" << c.resolve << " ProhibitDTD=" << c.prohibitDtd);
    auto doc = Permissive(false, c.resolve, c.prohibitDtd);
    ASSERT_TRUE(doc);
    VARIANT_BOOL ok = VARIANT_FALSE;
    LoadXml(doc.Get(), xml.c_str(), &ok);
    EXPECT_EQ(ok == VARIANT_TRUE, c.loads) << ErrorOf(doc.Get()).reason;
    const std::string all = XmlOf(doc.Get()) + TextOf(doc.Get());
    EXPECT_EQ(all.find("SECRET-CONTENT") != std::string::npos, c.includes) << all;
  }
  // A device or a pipe named as an entity is not read: it may never end.
  auto doc = Permissive(false, true);
  ASSERT_TRUE(doc);
  EXPECT_HR(LoadXml(doc.Get(), "<!DOCTYPE r [<!ENTITY s SYSTEM 'file:///dev/null'>]><r>&s;</r>"), S_FALSE);
  EXPECT_NE(ErrorOf(doc.Get()).reason.find("not a file"), std::string::npos) << ErrorOf(doc.Get()).reason;
}

// With externals resolved (the default), a local DTD or entity that is
// named but cannot be read fails the load; turned off, it is not read at
// all, nor by validation.
TEST_F(BadInputTest, MissingLocalExternalsFailTheLoadOnlyWhenResolved) {
  const std::string dir = TempDir();
  WriteTempFile("present.dtd", "<!ELEMENT r EMPTY><!ATTLIST r d CDATA 'from-dtd'>");
  for (const std::string& xml : {"<!DOCTYPE r SYSTEM 'file://" + dir + "/absent.dtd'><r/>",
                                 "<!DOCTYPE r [<!ELEMENT r ANY><!ENTITY x SYSTEM 'file://" + dir + "/absent.txt'>]><r>&x;</r>"}) {
    SCOPED_TRACE(xml);
    auto resolving = NewDocument();
    auto ignoring = Permissive(false, false), validating = Permissive(true, false);
    ASSERT_TRUE(resolving && ignoring && validating);
    EXPECT_HR(LoadXml(resolving.Get(), xml.c_str()), S_FALSE);
    ParseErrorInfo e = ErrorOf(resolving.Get());
    EXPECT_EQ(static_cast<uint32_t>(e.errorCode), 0x800C0006u);
    EXPECT_NE(e.reason.find("absent"), std::string::npos) << e.reason;
    EXPECT_HR(LoadXml(ignoring.Get(), xml.c_str()), S_OK);
    EXPECT_HR(LoadXml(validating.Get(), xml.c_str()), S_OK) << ErrorOf(validating.Get()).reason;
  }
  auto doc = NewDocument();
  ASSERT_TRUE(doc);
  EXPECT_HR(LoadXml(doc.Get(), ("<!DOCTYPE r SYSTEM 'file://" + dir + "/present.dtd'><r/>").c_str()), S_OK);
  Variant value;
  EXPECT_HR(Root(doc.Get())->getAttribute(Bstr("d"), value.Out()), S_OK);
  EXPECT_EQ(value.Utf8(), "from-dtd") << "the external DTD's defaults apply";
}

// A listening socket on the loopback that nobody should connect to.
class Tripwire {
 public:
  Tripwire() {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (fd_ >= 0 && bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 && listen(fd_, 8) == 0 &&
        getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) == 0 && fcntl(fd_, F_SETFL, O_NONBLOCK) == 0)
      port = ntohs(addr.sin_port);
  }
  ~Tripwire() {
    if (fd_ >= 0) close(fd_);
  }
  bool Touched() {
    int client = accept(fd_, nullptr, nullptr);
    if (client >= 0) close(client);
    return client >= 0;
  }
  int port = 0;

 private:
  const int fd_ = socket(AF_INET, SOCK_STREAM, 0);
};

TEST_F(BadInputTest, ExternalDtdsAndEntitiesAreNeverFetchedFromTheNetwork) {
  Tripwire wire;
  ASSERT_NE(wire.port, 0);
  const std::string base = "http://127.0.0.1:" + std::to_string(wire.port);
  for (const std::string& xml : {"<!DOCTYPE r SYSTEM '" + base + "/external.dtd'><r/>",
                                 "<!DOCTYPE r [<!ENTITY e SYSTEM '" + base + "/entity.txt'>]><r>&e;</r>",
                                 "<!DOCTYPE r [<!ENTITY % p SYSTEM '" + base + "/param.dtd'> %p;]><r/>"}) {
    for (bool validate : {false, true}) {
      auto doc = Permissive(validate, true);
      ASSERT_TRUE(doc);
      const HRESULT hr = LoadXml(doc.Get(), xml.c_str());
      EXPECT_TRUE(hr == S_OK || hr == S_FALSE) << xml;
      EXPECT_FALSE(wire.Touched()) << "the engine connected for: " << xml;
    }
  }
}

TEST_F(BadInputTest, BrokenBytesAndDeepNestingAreParseErrors) {
  const std::string deep = Repeat("<a>", 100000) + Repeat("</a>", 100000);
  const struct {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"invalid UTF-8 sequence", "<r>\xC3\x28</r>"},
      {"truncated in a tag", "<r><a attr='x"},
      {"truncated multi-byte character", "<r>\xE2\x82"},
      {"NUL in the middle", std::string("<r>ab\0cd</r>", 12)},
      {"NUL after the document element", std::string("<r/>\0<junk", 10)},
      {"UTF-16 BOM on odd byte count", "\xFF\xFE<\0r\0/\0>"},
      {"nothing at all", ""},
      {"100000 deep under the default limit", deep},
  };
  auto doc = NewDocument();
  ASSERT_TRUE(doc);
  for (const auto& c : cases) {
    EXPECT_EQ(LoadBytes(doc.Get(), c.bytes), VARIANT_FALSE) << c.what;
    ExpectParseError(doc.Get(), c.what);
  }
  // loadXML's UTF-16 text: a NUL, and a surrogate without its other half
  // (the UTF-16 form of invalid UTF-8), are errors where they stand.
  const struct {
    const char* what;
    std::u16string text;
    long line, linepos;
  } texts[] = {
      {"NUL in the middle", std::u16string(u"<r>ab\0cd</r>", 12), 1, 0},
      {"NUL after the document element", std::u16string(u"<r/>\0<junk", 10), 1, 0},
      {"high surrogate alone", u"<r>\n ab\xD83D" u"cd</r>", 2, 4},
      {"low surrogate alone", u"<r a='\xDE00'/>", 1, 7},
  };
  auto loadText = [&](const std::u16string& text) {  // loadXML of text that may hold NULs
    BSTR b = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    VARIANT_BOOL ok = VARIANT_TRUE;
    HRESULT hr = doc->loadXML(b, &ok);
    SysFreeString(b);
    EXPECT_EQ(ok == VARIANT_TRUE, hr == S_OK);
    return hr;
  };
  for (const auto& t : texts) {
    EXPECT_HR(loadText(t.text), S_FALSE) << t.what;
    ParseErrorInfo e = ErrorOf(doc.Get());
    EXPECT_NE(e.errorCode, 0) << t.what;
    EXPECT_EQ(e.line, t.line) << t.what;
    if (t.linepos) {
      EXPECT_EQ(e.linepos, t.linepos) << t.what;
      EXPECT_NE(e.reason.find("surrogate"), std::string::npos) << e.reason;
    }
  }
  // A terminator counted into the text's length ends it.
  EXPECT_HR(loadText(std::u16string(u"<r/>", 5)), S_OK) << ErrorOf(doc.Get()).reason;
  auto paired = Parse("<r>\xF0\x9F\x98\x80</r>");
  ASSERT_TRUE(paired) << "a pair is one character";
  EXPECT_EQ(TextOf(paired.Get()), "\xF0\x9F\x98\x80");
}

// Without a document type there are no entities to expand, so no limit
// holds a long value back; with one, libxml2's bounds apply.
TEST_F(BadInputTest, HundredMegabyteAttributeLoadsCorrectly) {
  const size_t size = 100u * 1024 * 1024;
  std::string xml;
  xml.reserve(size + 32);
  xml.append("<r big='").append(size, 'x').append("'/>");
  auto doc = NewDocument();
  ASSERT_TRUE(doc);
  ASSERT_EQ(LoadBytes(doc.Get(), xml), VARIANT_TRUE) << ErrorOf(doc.Get()).reason;
  std::string().swap(xml);
  Variant value;
  ASSERT_HR(Root(doc.Get())->getAttribute(Bstr("big"), value.Out()), S_OK);
  ASSERT_EQ(value.vt(), VT_BSTR);
  EXPECT_EQ(SysStringLen(value.get().bstrVal), size);

  // The same for a long text, from bytes, a saved file and text, behind a
  // long comment too.
  const std::string text(11u * 1000 * 1000, 'y');
  ASSERT_EQ(LoadBytes(doc.Get(), "<!--" + std::string(5000, 'c') + "--><r>" + text + "</r>"), VARIANT_TRUE)
      << ErrorOf(doc.Get()).reason;
  const std::string path = TempDir() + "/long-text.xml";
  Variant to(Variant::Str(path.c_str()));
  ASSERT_HR(doc->save(to.get()), S_OK);
  auto again = NewDocument();
  ASSERT_TRUE(again);
  EXPECT_EQ(LoadSource(again.Get(), Variant::Str(path.c_str())), VARIANT_TRUE) << ErrorOf(again.Get()).reason;
  EXPECT_EQ(TextOf(Root(again.Get()).Get()).size(), text.size());
  EXPECT_HR(LoadXml(again.Get(), ("<r>" + text + "</r>").c_str()), S_OK) << ErrorOf(again.Get()).reason;

  // With a document type, read in pieces, the text meets libxml2's bound:
  // the failure says so.
  const std::string typed = WriteTempFile("typed-long-text.xml", "<!DOCTYPE r [<!ELEMENT r (#PCDATA)>]><r>" + text + "</r>");
  EXPECT_EQ(LoadSource(again.Get(), Variant::Str(typed.c_str()), S_FALSE), VARIANT_FALSE);
  ParseErrorInfo e = ErrorOf(again.Get());
  EXPECT_EQ(e.errorCode, static_cast<long>(static_cast<HRESULT>(0xC00CEF03u)));
  EXPECT_NE(e.reason.find("10,000,000"), std::string::npos) << e.reason;
}

// libxml2 checks each attribute against all before it on the tag: a tag
// with a million would take half an hour. More than 10,000 fail the load.
TEST_F(BadInputTest, TagsWithTooManyAttributesFailTheLoadAtOnce) {
  // A start tag with n attributes named <name>0, <name>1, ..., after text.
  auto tag = [](int n, const std::string& name, const std::string& value = "") {
    std::string xml = "<r>\n<e";
    for (int i = 0; i < n; ++i) xml += " " + name + std::to_string(i) + "='" + value + "'";
    return xml + "/></r>";
  };
  const long kTooMany = static_cast<long>(static_cast<HRESULT>(0xC00CEF08u));
  auto doc = NewDocument();
  ASSERT_TRUE(doc);
  ASSERT_HR(LoadXml(doc.Get(), tag(10000, "a").c_str()), S_OK) << "the bound itself loads";
  const struct {
    std::string xml;
    const char* what;
  } over[] = {
      {tag(10001, "a"), "one attribute over"},
      {tag(10001, "xmlns:p", "urn:x"), "namespace declarations count"},
      {tag(10001, "a", "=>\"="), "quoted '>' and '=' are values"},
      {tag(1000000, "a"), "a million"},
  };
  for (const auto& c : over) {
    SCOPED_TRACE(c.what);
    EXPECT_HR(LoadXml(doc.Get(), c.xml.c_str()), S_FALSE);
    ParseErrorInfo e = ErrorOf(doc.Get());
    EXPECT_EQ(e.errorCode, kTooMany);
    EXPECT_NE(e.reason.find("more than 10000 attributes"), std::string::npos) << e.reason;
    EXPECT_EQ(e.line, 2);
    EXPECT_EQ(e.linepos, 1);
    EXPECT_EQ(e.filepos, 4);
  }
  // Bytes, a file and a stream, read in pieces, in UTF-8 and UTF-16: the
  // position is the tag's byte offset.
  std::string utf16 = "\xFF\xFE";
  for (char16_t c : ardo::Utf8ToUtf16(tag(20000, "b"))) utf16 += {char(c & 0xFF), char(c >> 8)};
  EXPECT_EQ(LoadBytes(doc.Get(), utf16), VARIANT_FALSE);
  EXPECT_EQ(ErrorOf(doc.Get()).filepos, 10);
  const std::string path = WriteTempFile("many-attributes.xml", tag(20000, "c"));
  EXPECT_EQ(LoadSource(doc.Get(), Variant::Str(path.c_str()), S_FALSE), VARIANT_FALSE);
  EXPECT_EQ(ErrorOf(doc.Get()).errorCode, kTooMany);
  EXPECT_EQ(ErrorOf(doc.Get()).filepos, 4);
  ComPtr<IStream> stream;
  const std::string bytes = tag(20000, "d");
  ASSERT_HR(ardo::CreateMemoryStream(bytes.data(), bytes.size(), stream.Out()), S_OK);
  EXPECT_EQ(LoadSource(doc.Get(), Variant::Unknown(stream.Get()), S_FALSE), VARIANT_FALSE);
  EXPECT_EQ(ErrorOf(doc.Get()).errorCode, kTooMany);

  // Long stretches of '=' that are no attributes load: in text, a comment,
  // a CDATA section, a value, and in a tag's text after its end.
  const std::string equals(200000, '=');
  for (const std::string& xml : {"<r>x" + equals + "</r>", "<r><!--" + equals + "--></r>",
                                 "<r><![CDATA[<e " + equals + "]]></r>", "<r a='" + equals + "'/>",
                                 "<r><e/>" + equals + "</r>"}) {
    EXPECT_EQ(LoadBytes(doc.Get(), xml), VARIANT_TRUE) << xml.substr(0, 16) << ": " << ErrorOf(doc.Get()).reason;
  }
}

TEST_F(BadInputTest, MaxXmlSizeBoundsTheDocument) {
  auto doc = NewDocument();
  ASSERT_TRUE(doc);
  SetProperty(doc.Get(), "MaxXMLSize", Variant::I4(1));  // in kilobytes
  EXPECT_EQ(LoadBytes(doc.Get(), "<r>" + std::string(100, 'x') + "</r>"), VARIANT_TRUE);
  EXPECT_EQ(LoadBytes(doc.Get(), "<r>" + std::string(5000, 'x') + "</r>"), VARIANT_FALSE);
  ExpectParseError(doc.Get(), "larger than MaxXMLSize");
}

}  // namespace
}  // namespace ardo::test
