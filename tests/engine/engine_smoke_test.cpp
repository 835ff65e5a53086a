// Engine invariants that the behaviour tests reach only indirectly: node
// identity across trees, moves between documents, the XML declaration as
// a node, namespace declarations that follow a detached subtree, and
// snapshot lists that outlive the nodes' last handles.
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

class EngineSmokeTest : public EngineTest {
 protected:
  ComPtr<IXMLDOMNode> Node(IXMLDOMNode* context, const char* query) { return SelectOne(context, query); }
  std::string Xml(IXMLDOMNode* node) { return XmlOf(node); }
};

TEST_F(EngineSmokeTest, MovingASubtreeBetweenDocumentsKeepsItsObjectsAndNamespaces) {
  auto from = Parse("<a xmlns:p='urn:p'><p:b p:k='1'><c/></p:b></a>");
  auto to = Parse("<z/>");
  ASSERT_TRUE(from && to);
  ComPtr<IXMLDOMNode> b = Node(from.Get(), "/a/*");
  ComPtr<IXMLDOMNode> c = Node(b.Get(), "c");
  ComPtr<IXMLDOMElement> z = Root(to.Get());
  ASSERT_TRUE(b && c && z);
  ComPtr<IXMLDOMNode> appended;
  ASSERT_HR(z->appendChild(b.Get(), appended.Out()), S_OK);
  EXPECT_EQ(IdentityOf(appended.Get()), IdentityOf(b.Get()));
  // The moved nodes now belong to the other document, objects and all.
  ComPtr<IXMLDOMDocument> owner;
  ASSERT_HR(c->get_ownerDocument(owner.Out()), S_OK);
  EXPECT_EQ(IdentityOf(owner.Get()), IdentityOf(to.Get()));
  EXPECT_EQ(Xml(to.Get()), "<z><p:b xmlns:p=\"urn:p\" p:k=\"1\"><c/></p:b></z>\r\n");
  EXPECT_EQ(Xml(from.Get()), "<a xmlns:p=\"urn:p\"/>\r\n");
  // The source may go first; the moved nodes stay with their new tree.
  from = nullptr;
  EXPECT_EQ(Xml(c.Get()), "<c/>");
}

TEST_F(EngineSmokeTest, RemovedElementCarriesTheNamespacesItUses) {
  auto doc = Parse("<r xmlns='urn:d' xmlns:q='urn:q'><q:e q:a='v'><f/></q:e></r>");
  ASSERT_TRUE(doc);
  SetProperty(doc.Get(), "SelectionNamespaces", "xmlns:q='urn:q'");
  ComPtr<IXMLDOMNode> e = Node(doc.Get(), "//q:e");
  ComPtr<IXMLDOMElement> root = Root(doc.Get());
  ASSERT_TRUE(e && root);
  ComPtr<IXMLDOMNode> removed;
  ASSERT_HR(root->removeChild(e.Get(), removed.Out()), S_OK);
  root = nullptr;
  // The old parent goes away entirely; the removed element still serialises
  // with every namespace it needs.
  VARIANT_BOOL ok;
  ASSERT_HR(LoadXml(doc.Get(), "<other/>", &ok), S_OK);
  EXPECT_EQ(Xml(removed.Get()), "<q:e xmlns:q=\"urn:q\" q:a=\"v\"><f xmlns=\"urn:d\"/></q:e>");
}

TEST_F(EngineSmokeTest, XmlDeclarationIsAProcessingInstructionNode) {
  auto doc = Parse("<?xml version='1.0' encoding='ISO-8859-1' standalone='yes'?><r/>");
  ASSERT_TRUE(doc);
  ComPtr<IXMLDOMNode> first;
  ASSERT_HR(doc->get_firstChild(first.Out()), S_OK);
  EXPECT_EQ(TypeOf(first.Get()), NODE_PROCESSING_INSTRUCTION);
  EXPECT_EQ(NameOf(first.Get()), "xml");
  EXPECT_EQ(ChildCount(doc.Get()), 2);
  // The xml property drops the encoding; a document without a declaration
  // gets none.
  EXPECT_EQ(Xml(doc.Get()), "<?xml version='1.0' standalone='yes'?>\r\n<r/>\r\n");
  EXPECT_EQ(Xml(first.Get()), "<?xml version='1.0' standalone='yes'?>") << "the declaration's own xml alike";
  Variant data;
  ASSERT_HR(first->get_nodeValue(data.Out()), S_OK);
  EXPECT_EQ(data.Utf8(), "version='1.0' encoding='ISO-8859-1' standalone='yes'") << "its data keeps all";
  auto plain = Parse("<r/>");
  ASSERT_TRUE(plain);
  EXPECT_EQ(Xml(plain.Get()), "<r/>\r\n");
  EXPECT_EQ(ChildCount(plain.Get()), 1);
}

TEST_F(EngineSmokeTest, SnapshotListHandsOutNodesWhoseLastHandleWentAway) {
  auto doc = Parse("<r><a/><b/><c/></r>");
  ASSERT_TRUE(doc);
  ComPtr<IXMLDOMNodeList> all = Select(doc.Get(), "/r/*");
  ASSERT_TRUE(all);
  {
    ComPtr<IXMLDOMNode> b = Node(doc.Get(), "/r/b");
    ComPtr<IXMLDOMElement> root = Root(doc.Get());
    ComPtr<IXMLDOMNode> out;
    ASSERT_HR(root->removeChild(b.Get(), out.Out()), S_OK);
  }
  // Nothing refers to <b/> but the snapshot: it must still be there.
  ComPtr<IXMLDOMNode> item;
  ASSERT_HR(all->get_item(1, item.Out()), S_OK);
  EXPECT_EQ(NameOf(item.Get()), "b");
  ComPtr<IXMLDOMNode> parent;
  EXPECT_HR(item->get_parentNode(parent.Out()), S_FALSE);
  EXPECT_EQ(LengthOf(Select(doc.Get(), "/r/*").Get()), 2);
}

TEST_F(EngineSmokeTest, MaxElementDepthZeroMeansTheParserLimit) {
  auto doc = NewDocument();
  ASSERT_TRUE(doc);
  Bstr name("MaxElementDepth");
  Variant zero(Variant::I4(0));
  ASSERT_HR(doc->setProperty(name, zero.get()), S_OK);
  auto nested = [](int depth) {
    std::string s;
    for (int i = 0; i < depth; ++i) s += "<a>";
    for (int i = 0; i < depth; ++i) s += "</a>";
    return s;
  };
  VARIANT_BOOL ok;
  EXPECT_HR(LoadXml(doc.Get(), nested(1000).c_str(), &ok), S_OK);
  EXPECT_HR(LoadXml(doc.Get(), nested(3000).c_str(), &ok), S_FALSE);
  EXPECT_NE(ErrorOf(doc.Get()).errorCode, 0);
  // Exactly the limit loads; one more level does not.
  Variant ten(Variant::I4(10));
  ASSERT_HR(doc->setProperty(name, ten.get()), S_OK);
  EXPECT_HR(LoadXml(doc.Get(), nested(10).c_str(), &ok), S_OK);
  EXPECT_HR(LoadXml(doc.Get(), nested(11).c_str(), &ok), S_FALSE);
}

TEST_F(EngineSmokeTest, AttributesAndTextSerialiseTheirCharactersAlike) {
  // A document built in memory names no encoding: the xml property still
  // keeps every character as itself, in attribute values as in text.
  auto doc = Parse("<r/>");
  ASSERT_TRUE(doc);
  ComPtr<IXMLDOMElement> root = Root(doc.Get());
  ASSERT_TRUE(root);
  Bstr name("a");
  Variant value(Variant::Str("caf\xC3\xA9 \xE2\x82\xAC"));
  ASSERT_HR(root->setAttribute(name, value.get()), S_OK);
  Bstr text("\xC3\xA9t\xC3\xA9");
  ASSERT_HR(root->put_text(text), S_OK);
  EXPECT_EQ(Xml(root.Get()), "<r a=\"caf\xC3\xA9 \xE2\x82\xAC\">\xC3\xA9t\xC3\xA9</r>");
  EXPECT_EQ(Xml(doc.Get()), "<r a=\"caf\xC3\xA9 \xE2\x82\xAC\">\xC3\xA9t\xC3\xA9</r>\r\n");
  // An attribute read from text comes out the same way.
  auto parsed = Parse("<r a='caf\xC3\xA9'>\xC3\xA9</r>");
  ASSERT_TRUE(parsed);
  EXPECT_EQ(Xml(parsed.Get()), "<r a=\"caf\xC3\xA9\">\xC3\xA9</r>\r\n");

  // save without a declaration writes UTF-8, characters as themselves.
  ardo::ComPtr<IStream> stream;
  ASSERT_HR(ardo::CreateMemoryStream(stream.Out()), S_OK);
  {
    Variant destination(Variant::Unknown(stream.Get()));
    ASSERT_HR(doc->save(destination.get()), S_OK);
  }
  EXPECT_EQ(StreamBytes(stream.Get()), "<r a=\"caf\xC3\xA9 \xE2\x82\xAC\">\xC3\xA9t\xC3\xA9</r>\r\n");

  // save with a declared encoding writes that encoding; a character it
  // cannot hold becomes a character reference, in attributes and text.
  auto latin = Parse("<?xml version='1.0' encoding='ISO-8859-1'?><r a='caf\xC3\xA9 \xE2\x82\xAC'>\xC3\xA9\xE2\x82\xAC</r>");
  ASSERT_TRUE(latin);
  ardo::ComPtr<IStream> latinStream;
  ASSERT_HR(ardo::CreateMemoryStream(latinStream.Out()), S_OK);
  {
    Variant destination(Variant::Unknown(latinStream.Get()));
    ASSERT_HR(latin->save(destination.get()), S_OK);
  }
  const std::string bytes = StreamBytes(latinStream.Get());
  EXPECT_NE(bytes.find("<r a=\"caf\xE9 &#8364;\">\xE9&#8364;</r>"), std::string::npos) << bytes;
  // And the bytes load back to the same characters.
  auto back = NewDocument();
  ASSERT_TRUE(back);
  Variant source(ByteArrayVariant(bytes));
  VARIANT_BOOL ok = VARIANT_FALSE;
  ASSERT_HR(back->load(source.get(), &ok), S_OK);
  EXPECT_EQ(Xml(Root(back.Get()).Get()), "<r a=\"caf\xC3\xA9 \xE2\x82\xAC\">\xC3\xA9\xE2\x82\xAC</r>");
}

TEST_F(EngineSmokeTest, AnElementKeepsOneAttributeMapThatStartsAfreshWhenHandedOutAgain) {
  for (const DocumentClass& c : AllDocumentClasses()) {
    SCOPED_TRACE(c.name);
    auto doc = Parse("<r a='1' b='2' c='3'/>", *c.clsid);
    ASSERT_TRUE(doc);
    ComPtr<IXMLDOMElement> root = Root(doc.Get());
    ASSERT_TRUE(root);
    ComPtr<IXMLDOMNamedNodeMap> first, second;
    ASSERT_HR(root->get_attributes(first.Out()), S_OK);
    ASSERT_HR(root->get_attributes(second.Out()), S_OK);
    EXPECT_EQ(IdentityOf(first.Get()), IdentityOf(second.Get()));
    ComPtr<IXMLDOMNode> item;
    ASSERT_HR(first->nextNode(item.Out()), S_OK);
    EXPECT_EQ(NameOf(item.Get()), "a");
    // Every reference gone: the next handout starts at the first attribute.
    first = nullptr;
    second = nullptr;
    item = nullptr;
    ASSERT_HR(root->get_attributes(first.Out()), S_OK);
    ASSERT_HR(first->nextNode(item.Out()), S_OK);
    EXPECT_EQ(NameOf(item.Get()), "a");
    // The map holds its element and document when every other handle went.
    root = nullptr;
    doc = nullptr;
    item = nullptr;
    Bstr name("c");
    ASSERT_HR(first->getNamedItem(name, item.Out()), S_OK);
    EXPECT_EQ(TextOf(item.Get()), "3");
    long length = 0;
    EXPECT_HR(first->get_length(&length), S_OK);
    EXPECT_EQ(length, 3);
  }
}

TEST_F(EngineSmokeTest, LoadingAFolderSaysSo) {
  auto doc = NewDocument();
  ASSERT_TRUE(doc);
  Variant source(Variant::Str(TempDir().c_str()));
  VARIANT_BOOL ok = VARIANT_TRUE;
  EXPECT_HR(doc->load(source.get(), &ok), S_FALSE);
  EXPECT_EQ(ok, VARIANT_FALSE);
  ParseErrorInfo error = ErrorOf(doc.Get());
  EXPECT_EQ(error.errorCode, static_cast<long>(E_ACCESSDENIED));
  EXPECT_NE(error.reason.find("folder"), std::string::npos) << error.reason;
  EXPECT_EQ(error.reason.find("No such file"), std::string::npos) << error.reason;
}

TEST_F(EngineSmokeTest, EntityReferencesKeepTheirNodeAndContributeText) {
  auto doc = NewDocument();
  ASSERT_TRUE(doc);
  doc->put_preserveWhiteSpace(VARIANT_TRUE);
  // The DTD declares no elements: with validation on, <r> would be invalid.
  doc->put_validateOnParse(VARIANT_FALSE);
  VARIANT_BOOL ok;
  ASSERT_HR(LoadXml(doc.Get(), "<!DOCTYPE r [<!ENTITY e 'expanded'>]><r>x &e; y</r>", &ok), S_OK);
  ComPtr<IXMLDOMElement> root = Root(doc.Get());
  ASSERT_TRUE(root);
  EXPECT_EQ(TextOf(root.Get()), "x expanded y");
  ComPtr<IXMLDOMNodeList> children;
  ASSERT_HR(root->get_childNodes(children.Out()), S_OK);
  ComPtr<IXMLDOMNode> ref;
  ASSERT_HR(children->get_item(1, ref.Out()), S_OK);
  EXPECT_EQ(TypeOf(ref.Get()), NODE_ENTITY_REFERENCE);
  EXPECT_EQ(Xml(ref.Get()), "&e;");
  ComPtr<IXMLDOMNode> definition;
  ASSERT_HR(ref->get_definition(definition.Out()), S_OK);
  EXPECT_EQ(TypeOf(definition.Get()), NODE_ENTITY);
  // Entity content is read-only.
  ComPtr<IXMLDOMNode> content;
  ASSERT_HR(ref->get_firstChild(content.Out()), S_OK);
  EXPECT_HR(content->put_text(Bstr("changed")), E_FAIL);
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
