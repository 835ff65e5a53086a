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

class BadInputTest : public EngineTest {
 protected:
  // load() from a byte array; the flag, and the document for inspection.
  VARIANT_BOOL LoadBytes(IXMLDOMDocument* doc, const std::string& bytes) {
    Variant source(ByteArrayVariant(bytes));
    VARIANT_BOOL ok = VARIANT_TRUE;
    HRESULT hr = doc->load(source.get(), &ok);
    EXPECT_TRUE(hr == S_OK || hr == S_FALSE) << std::hex << hr;
    EXPECT_EQ(hr == S_OK, ok == VARIANT_TRUE) << "S_OK goes with VARIANT_TRUE, S_FALSE with VARIANT_FALSE";
    return ok;
  }
  void ExpectParseError(IXMLDOMDocument* doc, const char* what) {
    ParseErrorInfo e = ErrorOf(doc);
    EXPECT_NE(e.errorCode, 0) << what;
    EXPECT_FALSE(e.reason.empty()) << what;
    EXPECT_EQ(ChildCount(doc), 0) << what << ": a failed load leaves the document empty";
  }
  std::string Nested(int depth) {
    std::string xml;
    xml.reserve(size_t(depth) * 7);
    for (int i = 0; i < depth; ++i) xml += "<a>";
    for (int i = 0; i < depth; ++i) xml += "</a>";
    return xml;
  }
};

TEST_F(BadInputTest, BillionLaughsFailsAsAParseError) {
  std::string xml = "<?xml version='1.0'?><!DOCTYPE lolz [<!ENTITY lol 'lol'>";
  std::string previous = "lol";
  for (int level = 1; level <= 10; ++level) {
    std::string name = "lol" + std::to_string(level);
    xml += "<!ENTITY " + name + " '";
    for (int i = 0; i < 10; ++i) xml += "&" + previous + ";";
    xml += "'>";
    previous = name;
  }
  xml += "]><lolz>&" + previous + ";</lolz>";
  for (bool validate : {true, false}) {
    auto doc = NewDocument();
    ASSERT_TRUE(doc);
    doc->put_validateOnParse(validate ? VARIANT_TRUE : VARIANT_FALSE);
    VARIANT_BOOL ok = VARIANT_TRUE;
    EXPECT_HR(LoadXml(doc.Get(), xml.c_str(), &ok), S_FALSE);
    EXPECT_EQ(ok, VARIANT_FALSE);
    ExpectParseError(doc.Get(), "billion laughs");
  }
}

TEST_F(BadInputTest, LocalExternalEntityIsReadOnlyWhenAllowed) {
  const std::string secret = WriteTempFile("secret.txt", "SECRET-CONTENT");
  const std::string xml = "<!DOCTYPE r [<!ENTITY x SYSTEM 'file://" + secret + "'>]><r>[&x;]</r>";
  const struct {
    bool resolve;
    bool prohibitDtd;
    bool loads;
    bool includes;
  } cases[] = {
      {false, false, true, false},
      {true, false, true, true},
      {true, true, false, false},
      {false, true, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "resolveExternals=" << c.resolve << " ProhibitDTD=" << c.prohibitDtd);
    auto doc = NewDocument();
    ASSERT_TRUE(doc);
    doc->put_validateOnParse(VARIANT_FALSE);
    ASSERT_HR(doc->put_resolveExternals(c.resolve ? VARIANT_TRUE : VARIANT_FALSE), S_OK);
    Bstr name("ProhibitDTD");
    Variant prohibit(Variant::Bool(c.prohibitDtd));
    ASSERT_HR(doc->setProperty(name, prohibit.get()), S_OK);
    VARIANT_BOOL ok = VARIANT_FALSE;
    LoadXml(doc.Get(), xml.c_str(), &ok);
    EXPECT_EQ(ok == VARIANT_TRUE, c.loads) << ErrorOf(doc.Get()).reason;
    const std::string all = XmlOf(doc.Get()) + TextOf(doc.Get());
    EXPECT_EQ(all.find("SECRET-CONTENT") != std::string::npos, c.includes) << all;
  }
}

// A listening socket on the loopback that nobody should connect to.
class Tripwire {
 public:
  Tripwire() {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd_, 8) != 0)
      return;
    socklen_t len = sizeof addr;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    fcntl(fd_, F_SETFL, O_NONBLOCK);
  }
  ~Tripwire() {
    if (fd_ >= 0) close(fd_);
  }
  int port() const { return port_; }
  bool Touched() {
    int client = accept(fd_, nullptr, nullptr);
    if (client < 0) return false;
    close(client);
    return true;
  }

 private:
  int fd_ = -1;
  int port_ = 0;
};

TEST_F(BadInputTest, ExternalDtdsAndEntitiesAreNeverFetchedFromTheNetwork) {
  Tripwire wire;
  ASSERT_NE(wire.port(), 0);
  const std::string base = "http://127.0.0.1:" + std::to_string(wire.port());
  const std::string documents[] = {
      "<!DOCTYPE r SYSTEM '" + base + "/external.dtd'><r/>",
      "<!DOCTYPE r [<!ENTITY e SYSTEM '" + base + "/entity.txt'>]><r>&e;</r>",
      "<!DOCTYPE r [<!ENTITY % p SYSTEM '" + base + "/param.dtd'> %p;]><r/>",
  };
  for (const std::string& xml : documents) {
    for (bool validate : {false, true}) {
      auto doc = NewDocument();
      ASSERT_TRUE(doc);
      doc->put_resolveExternals(VARIANT_TRUE);
      doc->put_validateOnParse(validate ? VARIANT_TRUE : VARIANT_FALSE);
      Bstr name("ProhibitDTD");
      Variant allowDtd(Variant::Bool(false));
      doc->setProperty(name, allowDtd.get());
      VARIANT_BOOL ok;
      HRESULT hr = LoadXml(doc.Get(), xml.c_str(), &ok);
      EXPECT_TRUE(hr == S_OK || hr == S_FALSE) << xml;
      EXPECT_FALSE(wire.Touched()) << "the engine connected for: " << xml;
    }
  }
}

TEST_F(BadInputTest, NestingDeeperThanMaxElementDepthIsAParseError) {
  auto doc = NewDocument();
  ASSERT_TRUE(doc);
  Bstr name("MaxElementDepth");
  Variant fifty(Variant::I4(50));
  ASSERT_HR(doc->setProperty(name, fifty.get()), S_OK);
  VARIANT_BOOL ok = VARIANT_FALSE;
  EXPECT_HR(LoadXml(doc.Get(), Nested(40).c_str(), &ok), S_OK);
  EXPECT_EQ(ok, VARIANT_TRUE);
  EXPECT_HR(LoadXml(doc.Get(), Nested(60).c_str(), &ok), S_FALSE);
  EXPECT_EQ(ok, VARIANT_FALSE);
  ExpectParseError(doc.Get(), "60 deep with a limit of 50");

  // A limit above the parser's own default lets deeper documents in.
  Variant thousand(Variant::I4(1000));
  ASSERT_HR(doc->setProperty(name, thousand.get()), S_OK);
  EXPECT_HR(LoadXml(doc.Get(), Nested(600).c_str(), &ok), S_OK);
  EXPECT_EQ(ok, VARIANT_TRUE) << ErrorOf(doc.Get()).reason;
  EXPECT_EQ(LengthOf(Select(doc.Get(), "//a").Get()), 600);
}

TEST_F(BadInputTest, VeryDeepNestingUnderTheDefaultLimitFailsCleanly) {
  auto doc = NewDocument();
  ASSERT_TRUE(doc);
  EXPECT_EQ(LoadBytes(doc.Get(), Nested(100000)), VARIANT_FALSE);
  ExpectParseError(doc.Get(), "100000 deep");
}

TEST_F(BadInputTest, BrokenBytesAreParseErrors) {
  const struct {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"invalid UTF-8 sequence", "<r>\xC3\x28</r>"},
      {"lone continuation byte", "<r>\x80</r>"},
      {"overlong encoding", "<r>\xC0\xAF</r>"},
      {"UTF-8 for a surrogate", "<r>\xED\xA0\x80</r>"},
      {"truncated in a tag", "<r><a attr='x"},
      {"truncated in text", "<r><a>some text"},
      {"truncated multi-byte character", "<r>\xE2\x82"},
      {"NUL in the middle", std::string("<r>ab\0cd</r>", 12)},
      {"NUL in a name", std::string("<r\0x/>", 6)},
      {"UTF-16 BOM on odd byte count", "\xFF\xFE<\0r\0/\0>"},
      {"nothing at all", ""},
  };
  for (const auto& c : cases) {
    auto doc = NewDocument();
    ASSERT_TRUE(doc);
    EXPECT_EQ(LoadBytes(doc.Get(), c.bytes), VARIANT_FALSE) << c.what;
    ExpectParseError(doc.Get(), c.what);
  }
}

TEST_F(BadInputTest, NulInsideLoadXmlTextIsNotSilentlyAccepted) {
  auto doc = NewDocument();
  ASSERT_TRUE(doc);
  static const char16_t text[] = u"<r>ab\0cd</r>";
  BSTR b = SysAllocStringLen(text, 12);
  VARIANT_BOOL ok = VARIANT_TRUE;
  HRESULT hr = doc->loadXML(b, &ok);
  SysFreeString(b);
  EXPECT_HR(hr, S_FALSE);
  EXPECT_EQ(ok, VARIANT_FALSE);
}

TEST_F(BadInputTest, HundredMegabyteAttributeLoadsCorrectlyOrFailsCleanly) {
  const size_t size = 100u * 1024 * 1024;
  std::string xml;
  xml.reserve(size + 32);
  xml += "<r big='";
  xml.append(size, 'x');
  xml += "'/>";
  auto doc = NewDocument();
  ASSERT_TRUE(doc);
  VARIANT_BOOL ok = LoadBytes(doc.Get(), xml);
  xml.clear();
  xml.shrink_to_fit();
  if (ok == VARIANT_TRUE) {
    auto root = Root(doc.Get());
    ASSERT_TRUE(root);
    Bstr name("big");
    Variant value;
    ASSERT_HR(root->getAttribute(name, value.Out()), S_OK);
    ASSERT_EQ(value.vt(), VT_BSTR);
    EXPECT_EQ(SysStringLen(value.get().bstrVal), size);
  } else {
    ExpectParseError(doc.Get(), "100 MB attribute");
  }
}

TEST_F(BadInputTest, MaxXmlSizeBoundsTheDocument) {
  auto doc = NewDocument();
  ASSERT_TRUE(doc);
  Bstr name("MaxXMLSize");
  Variant oneKb(Variant::I4(1));  // in kilobytes
  ASSERT_HR(doc->setProperty(name, oneKb.get()), S_OK);
  std::string small = "<r>" + std::string(100, 'x') + "</r>";
  std::string large = "<r>" + std::string(5000, 'x') + "</r>";
  EXPECT_EQ(LoadBytes(doc.Get(), small), VARIANT_TRUE);
  EXPECT_EQ(LoadBytes(doc.Get(), large), VARIANT_FALSE);
  ExpectParseError(doc.Get(), "larger than MaxXMLSize");
}

}  // namespace
}  // namespace ardo::test
