// Engine invariants that the behaviour tests reach only indirectly: moves
// between documents, parser limits, characters through xml and save, the
// attribute map's identity, class registration, late binding and loading
// over HTTP.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "tests/engine/engine_test_fixture.h"

namespace ardo::test {
namespace {

using EngineSmokeTest = EngineTest;

TEST_F(EngineSmokeTest, MovingASubtreeBetweenDocumentsKeepsItsObjectsAndNamespaces) {
  auto from = Parse("<a xmlns:p='urn:p'><p:b p:k='1'><c/></p:b></a>");
  auto to = Parse("<z/>");
  ASSERT_TRUE(from && to);
  ComPtr<IXMLDOMNode> b = SelectOne(from.Get(), "/a/*"), c = SelectOne(b.Get(), "c"), appended;
  ASSERT_TRUE(b && c);
  ASSERT_HR(Root(to.Get())->appendChild(b.Get(), appended.Out()), S_OK);
  EXPECT_EQ(IdentityOf(appended.Get()), IdentityOf(b.Get()));
  // The moved nodes now belong to the other document, objects and all.
  ComPtr<IXMLDOMDocument> owner;
  ASSERT_HR(c->get_ownerDocument(owner.Out()), S_OK);
  EXPECT_EQ(IdentityOf(owner.Get()), IdentityOf(to.Get()));
  EXPECT_EQ(XmlOf(to.Get()), "<z><p:b xmlns:p=\"urn:p\" p:k=\"1\"><c/></p:b></z>\r\n");
  EXPECT_EQ(XmlOf(from.Get()), "<a xmlns:p=\"urn:p\"/>\r\n");
  // The source may go first; the moved nodes stay with their new tree.
  from = nullptr;
  EXPECT_EQ(XmlOf(c.Get()), "<c/>");
}

TEST_F(EngineSmokeTest, MaxElementDepthZeroMeansTheParserLimit) {
  auto doc = NewDocument();
  ASSERT_TRUE(doc);
  auto nested = [](int depth) {
    std::string s;
    for (int i = 0; i < depth; ++i) s = "<a>" + s + "</a>";
    return s;
  };
  SetProperty(doc.Get(), "MaxElementDepth", Variant::I4(0));
  EXPECT_HR(LoadXml(doc.Get(), nested(1000).c_str()), S_OK);
  EXPECT_HR(LoadXml(doc.Get(), nested(3000).c_str()), S_FALSE);
  EXPECT_NE(ErrorOf(doc.Get()).errorCode, 0);
  // Exactly the limit loads; one more level does not.
  SetProperty(doc.Get(), "MaxElementDepth", Variant::I4(10));
  EXPECT_HR(LoadXml(doc.Get(), nested(10).c_str()), S_OK);
  EXPECT_HR(LoadXml(doc.Get(), nested(11).c_str()), S_FALSE);
}

// The xml property keeps every character as itself, in attribute values as
// in text; save writes UTF-8 when no encoding is declared, and where one is,
// a character it cannot hold becomes a character reference that loads back.
TEST_F(EngineSmokeTest, AttributesAndTextSerialiseTheirCharactersAlike) {
  auto doc = Parse("<r/>");
  ASSERT_TRUE(doc);
  ComPtr<IXMLDOMElement> root = Root(doc.Get());
  Variant value(Variant::Str("caf\xC3\xA9 \xE2\x82\xAC"));
  ASSERT_HR(root->setAttribute(Bstr("a"), value.get()), S_OK);
  ASSERT_HR(root->put_text(Bstr("\xC3\xA9t\xC3\xA9")), S_OK);
  const std::string built = "<r a=\"caf\xC3\xA9 \xE2\x82\xAC\">\xC3\xA9t\xC3\xA9</r>";
  EXPECT_EQ(XmlOf(doc.Get()), built + "\r\n");
  auto latin = Parse("<?xml version='1.0' encoding='ISO-8859-1'?><r a='caf\xC3\xA9 \xE2\x82\xAC'>\xC3\xA9\xE2\x82\xAC</r>");
  ASSERT_TRUE(latin);
  auto saved = [](IXMLDOMDocument* from) {
    ComPtr<IStream> stream;
    EXPECT_HR(ardo::CreateMemoryStream(stream.Out()), S_OK);
    Variant destination(Variant::Unknown(stream.Get()));
    EXPECT_HR(from->save(destination.get()), S_OK);
    return StreamBytes(stream.Get());
  };
  EXPECT_EQ(saved(doc.Get()), built + "\r\n");
  const std::string bytes = saved(latin.Get());
  EXPECT_NE(bytes.find("<r a=\"caf\xE9 &#8364;\">\xE9&#8364;</r>"), std::string::npos) << bytes;
  auto back = NewDocument();
  ASSERT_EQ(LoadSource(back.Get(), ByteArrayVariant(bytes)), VARIANT_TRUE);
  EXPECT_EQ(XmlOf(Root(back.Get()).Get()), "<r a=\"caf\xC3\xA9 \xE2\x82\xAC\">\xC3\xA9\xE2\x82\xAC</r>");
}

TEST_F(EngineSmokeTest, AnElementKeepsOneAttributeMapThatStartsAfreshWhenHandedOutAgain) {
  for (const DocumentClass& c : AllDocumentClasses()) {
    SCOPED_TRACE(c.name);
    auto doc = Parse("<r a='1' b='2' c='3'/>", *c.clsid);
    ASSERT_TRUE(doc);
    ComPtr<IXMLDOMElement> root = Root(doc.Get());
    ComPtr<IXMLDOMNamedNodeMap> first, second;
    ComPtr<IXMLDOMNode> item;
    ASSERT_HR(root->get_attributes(first.Out()), S_OK);
    ASSERT_HR(root->get_attributes(second.Out()), S_OK);
    EXPECT_EQ(IdentityOf(first.Get()), IdentityOf(second.Get()));
    ASSERT_HR(first->nextNode(item.Out()), S_OK);
    EXPECT_EQ(NameOf(item.Get()), "a");
    // Every reference gone: the next handout starts at the first attribute.
    first = second = nullptr;
    item = nullptr;
    ASSERT_HR(root->get_attributes(first.Out()), S_OK);
    ASSERT_HR(first->nextNode(item.Out()), S_OK);
    EXPECT_EQ(NameOf(item.Get()), "a");
    // The map holds its element and document when every other handle went.
    root = nullptr;
    doc = nullptr;
    long length = 0;
    ASSERT_HR(first->getNamedItem(Bstr("c"), item.Out()), S_OK);
    EXPECT_EQ(TextOf(item.Get()), "3");
    EXPECT_HR(first->get_length(&length), S_OK);
    EXPECT_EQ(length, 3);
  }
}

TEST_F(EngineSmokeTest, LoadingAFolderSaysSo) {
  auto doc = NewDocument();
  ASSERT_TRUE(doc);
  EXPECT_EQ(LoadSource(doc.Get(), Variant::Str(TempDir().c_str()), S_FALSE), VARIANT_FALSE);
  ParseErrorInfo error = ErrorOf(doc.Get());
  EXPECT_EQ(error.errorCode, static_cast<long>(E_ACCESSDENIED));
  EXPECT_NE(error.reason.find("folder"), std::string::npos) << error.reason;
  EXPECT_EQ(error.reason.find("No such file"), std::string::npos) << error.reason;
}

TEST_F(EngineSmokeTest, EveryProgIdCreatesADocumentOfItsIdentity) {
  const struct {
    const char* progId;
    const CLSID* clsid;
  } cases[] = {
      {"Msxml2.DOMDocument", &CLSID_DOMDocument},
      {"MSXML2.DOMDocument", &CLSID_DOMDocument},
      {"Msxml2.DOMDocument.2.6", &CLSID_DOMDocument26},
      {"Msxml2.DOMDocument.3.0", &CLSID_DOMDocument30},
      {"Msxml2.DOMDocument.4.0", &CLSID_DOMDocument40},
      {"Msxml2.FreeThreadedDOMDocument", &CLSID_FreeThreadedDOMDocument},
      {"Msxml2.FreeThreadedDOMDocument.2.6", &CLSID_FreeThreadedDOMDocument26},
      {"Msxml2.FreeThreadedDOMDocument.3.0", &CLSID_FreeThreadedDOMDocument30},
      {"Msxml2.FreeThreadedDOMDocument.4.0", &CLSID_FreeThreadedDOMDocument40},
      {"Microsoft.XMLDOM", &CLSID_XMLDOMDocument},
      {"Microsoft.FreeThreadedXMLDOM", &CLSID_XMLDOMFreeThreadedDocument},
      {"MSXML.DOMDocument", &CLSID_XMLDOMDocument},
      {"MSXML.FreeThreadedDOMDocument", &CLSID_XMLDOMFreeThreadedDocument},
      {"Microsoft.XMLDOM.1.0", &CLSID_XMLDOMDocument},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.progId);
    CLSID clsid{};
    std::u16string wide = ardo::Utf8ToUtf16(c.progId);
    ASSERT_HR(CLSIDFromProgID(wide.c_str(), &clsid), S_OK);
    EXPECT_TRUE(clsid == *c.clsid);
    ComPtr<IXMLDOMDocument2> doc;
    EXPECT_HR(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IXMLDOMDocument2,
                               reinterpret_cast<void**>(doc.Out())),
              S_OK);
  }
  // The first releases' class answers to its own name.
  LPOLESTR name = nullptr;
  ASSERT_HR(ProgIDFromCLSID(CLSID_XMLDOMDocument, &name), S_OK);
  EXPECT_EQ(ardo::Utf16ToUtf8(name), "Microsoft.XMLDOM");
  CoTaskMemFree(name);
  // The factory itself refuses to be aggregated.
  ComPtr<IClassFactory> factory;
  ASSERT_HR(CoGetClassObject(CLSID_DOMDocument40, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                             reinterpret_cast<void**>(factory.Out())),
            S_OK);
  auto outer = NewDocument();
  void* inner = reinterpret_cast<void*>(1);
  EXPECT_HR(factory->CreateInstance(outer.Get(), IID_IUnknown, &inner), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(inner, nullptr);
}

// A one-shot HTTP server on the loopback: answers `connections` requests
// (200 with the body for /doc.xml, 404 otherwise), each wait bounded.
class LoopbackServer {
 public:
  LoopbackServer(std::string body, int connections) : body_(std::move(body)) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd_, 4) != 0) return;
    socklen_t len = sizeof addr;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this, connections] {
      for (int i = 0; i < connections; ++i) Serve();
    });
  }
  ~LoopbackServer() {
    if (thread_.joinable()) thread_.join();
    if (fd_ >= 0) close(fd_);
  }
  std::string Url(const char* path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
  bool Ready() const { return port_ != 0; }

 private:
  void Serve() {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, 5000) != 1) return;
    int client = accept(fd_, nullptr, nullptr);
    if (client < 0) return;
    std::string request;
    char buf[1024];
    while (request.find("\r\n\r\n") == std::string::npos) {
      pollfd c{client, POLLIN, 0};
      if (poll(&c, 1, 5000) != 1) break;
      ssize_t n = read(client, buf, sizeof buf);
      if (n <= 0) break;
      request.append(buf, size_t(n));
    }
    bool found = request.compare(0, 13, "GET /doc.xml ") == 0;
    std::string body = found ? body_ : std::string("missing");
    std::string reply = std::string(found ? "HTTP/1.0 200 OK" : "HTTP/1.0 404 Not Found") +
                        "\r\nContent-Type: text/xml\r\nContent-Length: " + std::to_string(body.size()) +
                        "\r\nConnection: close\r\n\r\n" + body;
    (void)!write(client, reply.data(), reply.size());
    close(client);
  }

  std::string body_;
  int fd_ = -1;
  int port_ = 0;
  std::thread thread_;
};

// Hosts that bind late reach every DOM member by name through IDispatch:
// the engine's type library is registered and serves each object.
TEST_F(EngineSmokeTest, EveryDomObjectBindsLateByName) {
  // Calls a member by name (null: the default member); a failure's
  // description lands in *why.
  auto call = [](IDispatch* object, const char* name, WORD flags, std::vector<VARIANT> args, VARIANT* result,
                 std::string* why = nullptr) {
    Bstr member(name ? name : "");
    LPOLESTR names[] = {member.get()};
    DISPID id = DISPID_VALUE, put = DISPID_PROPERTYPUT;
    HRESULT hr = name ? object->GetIDsOfNames(IID_NULL, names, 1, 0, &id) : S_OK;
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    const bool isPut = flags == DISPATCH_PROPERTYPUT;
    DISPPARAMS params{reversed.data(), isPut ? &put : nullptr, UINT(reversed.size()), isPut ? 1u : 0u};
    EXCEPINFO failure{};
    if (SUCCEEDED(hr)) hr = object->Invoke(id, IID_NULL, 0, flags, &params, result, &failure, nullptr);
    if (why) *why = ardo::BstrToUtf8(failure.bstrDescription);
    for (BSTR b : {failure.bstrSource, failure.bstrDescription, failure.bstrHelpFile}) SysFreeString(b);
    for (VARIANT& arg : args) VariantClear(&arg);
    return hr;
  };
  auto doc = NewDocument();
  ASSERT_TRUE(doc);
  Variant loaded, root, map, attribute, value, children, item, text, bad;
  ASSERT_HR(call(doc.Get(), "loadXML", DISPATCH_METHOD, {Variant::Str("<r a='1'><b/><c/></r>")}, loaded.Out()), S_OK);
  EXPECT_EQ(loaded.get().boolVal, VARIANT_TRUE);
  ASSERT_HR(call(doc.Get(), "DocumentElement", DISPATCH_PROPERTYGET, {}, root.Out()), S_OK) << "names in any case";
  IDispatch* element = root.get().pdispVal;
  ASSERT_HR(call(element, "attributes", DISPATCH_PROPERTYGET, {}, map.Out()), S_OK);
  EXPECT_HR(call(map.get().pdispVal, "getNamedItem", DISPATCH_METHOD, {Variant::Str("a")}, attribute.Out()), S_OK);
  EXPECT_HR(call(attribute.get().pdispVal, "value", DISPATCH_PROPERTYGET, {}, value.Out()), S_OK);
  EXPECT_EQ(value.Utf8(), "1");
  // A list's item is its default member; arguments are converted.
  ASSERT_HR(call(element, "childNodes", DISPATCH_PROPERTYGET, {}, children.Out()), S_OK);
  ASSERT_HR(call(children.get().pdispVal, nullptr, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {Variant::Str("1")},
                 item.Out()),
            S_OK);
  EXPECT_HR(call(item.get().pdispVal, "nodeName", DISPATCH_PROPERTYGET, {}, value.Out()), S_OK);
  EXPECT_EQ(value.Utf8(), "c");
  EXPECT_HR(call(element, "text", DISPATCH_PROPERTYPUT, {Variant::Str("new")}, nullptr), S_OK);
  EXPECT_HR(call(doc.Get(), "xml", DISPATCH_PROPERTYGET, {}, text.Out()), S_OK);
  EXPECT_EQ(text.Utf8(), "<r a=\"1\">new</r>\r\n");
  EXPECT_HR(call(doc.Get(), "noSuchMember", DISPATCH_METHOD, {}, bad.Out()), DISP_E_UNKNOWNNAME);
  // The interface argument is reserved: anything but IID_NULL is refused.
  Bstr xmlName("xml");
  LPOLESTR xmlNames[] = {xmlName.get()};
  DISPID xmlId = DISPID_UNKNOWN;
  DISPPARAMS none{};
  EXPECT_HR(doc->GetIDsOfNames(IID_IXMLDOMDocument, xmlNames, 1, 0, &xmlId), DISP_E_UNKNOWNINTERFACE);
  ASSERT_HR(doc->GetIDsOfNames(IID_NULL, xmlNames, 1, 0, &xmlId), S_OK);
  EXPECT_HR(doc->Invoke(xmlId, IID_IXMLDOMDocument, 0, DISPATCH_PROPERTYGET, &none, text.Out(), nullptr, nullptr),
            DISP_E_UNKNOWNINTERFACE);
  // A member that fails says why, as the engine's error object does.
  std::string why;
  EXPECT_HR(call(doc.Get(), "createElement", DISPATCH_METHOD, {Variant::Str("a b")}, bad.Out(), &why),
            DISP_E_EXCEPTION);
  EXPECT_NE(why.find("not a valid element name"), std::string::npos) << why;
  ComPtr<ITypeLib> library;
  EXPECT_HR(LoadRegTypeLib(LIBID_MSXML2, kMsxml2TypeLibMajor, kMsxml2TypeLibMinor, 0, library.Out()), S_OK);
}

TEST_F(EngineSmokeTest, LoadFetchesAnHttpUrlTheHostNames) {
  LoopbackServer server("<?xml version='1.0'?><r>from the web</r>", 2);
  ASSERT_TRUE(server.Ready());
  auto doc = NewDocument();
  ASSERT_TRUE(doc);
  VARIANT_BOOL ok = VARIANT_FALSE;
  Variant good(Variant::Str(server.Url("/doc.xml").c_str()));
  EXPECT_HR(doc->load(good.get(), &ok), S_OK);
  EXPECT_EQ(TextOf(doc.Get()), "from the web");
  Bstr url;
  EXPECT_HR(doc->get_url(url.Out()), S_OK);
  EXPECT_EQ(url.Utf8(), server.Url("/doc.xml"));
  // A missing resource is a load failure with its URL, not an exception.
  Variant bad(Variant::Str(server.Url("/nothing.xml").c_str()));
  EXPECT_HR(doc->load(bad.get(), &ok), S_FALSE);
  EXPECT_EQ(ok, VARIANT_FALSE);
  auto error = ErrorOf(doc.Get());
  EXPECT_NE(error.errorCode, 0);
  EXPECT_EQ(error.url, server.Url("/nothing.xml"));
}

TEST_F(EngineSmokeTest, ADocumentFromTheWebReadsNoLocalFile) {
  const std::string secret = WriteTempFile("secret.txt", "local secret");
  LoopbackServer server("<!DOCTYPE r [<!ENTITY e SYSTEM 'file://" + secret + "'>]><r>[&e;]</r>", 1);
  ASSERT_TRUE(server.Ready());
  auto doc = ResolvingDocument();
  ASSERT_TRUE(doc);
  VARIANT_BOOL ok = VARIANT_FALSE;
  Variant url(Variant::Str(server.Url("/doc.xml").c_str()));
  EXPECT_HR(doc->load(url.get(), &ok), S_OK);
  EXPECT_EQ(TextOf(doc.Get()).find("secret"), std::string::npos) << TextOf(doc.Get());
  // The same document from a file reads it, as resolveExternals asks.
  auto local = ResolvingDocument();
  ASSERT_TRUE(local);
  Variant path(Variant::Str(WriteTempFile("doc.xml", "<!DOCTYPE r [<!ENTITY e SYSTEM 'file://" + secret +
                                                         "'>]><r>[&e;]</r>").c_str()));
  EXPECT_HR(local->load(path.get(), &ok), S_OK);
  EXPECT_EQ(TextOf(local.Get()), "[local secret]");
}

}  // namespace
}  // namespace ardo::test
