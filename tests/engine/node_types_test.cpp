// Every node type: created, identified, navigated, edited and serialised
// through the DOM interfaces.
#include <functional>

#include "tests/engine/engine_test_fixture.h"

namespace ardo::test {
namespace {

class NodeTypesTest : public EngineTest {
 protected:
  ComPtr<IXMLDOMNode> CreateNode(IXMLDOMDocument* doc, long type, const char* name, const char* ns,
                                 HRESULT expected = S_OK) {
    ComPtr<IXMLDOMNode> node;
    Variant t(Variant::I4(type));
    EXPECT_HR(doc->createNode(t.get(), Bstr(name), Bstr(ns), node.Out()), expected) << type << " " << name;
    return node;
  }
  ComPtr<IXMLDOMDocumentType> DoctypeOf(IXMLDOMDocument* doc) {
    ComPtr<IXMLDOMDocumentType> doctype;
    EXPECT_HR(doc->get_doctype(doctype.Out()), S_OK);
    return doctype;
  }
  // The entities (or notations) a document type lists.
  ComPtr<IXMLDOMNamedNodeMap> Declared(IXMLDOMDocumentType* doctype, bool notations = false) {
    ComPtr<IXMLDOMNamedNodeMap> map;
    EXPECT_TRUE(doctype && SUCCEEDED(notations ? doctype->get_notations(map.Out()) : doctype->get_entities(map.Out())));
    return map;
  }
  ComPtr<IXMLDOMNode> Named(IXMLDOMNamedNodeMap* map, const char* name, HRESULT expected = S_OK) {
    ComPtr<IXMLDOMNode> node;
    EXPECT_HR(map->getNamedItem(Bstr(name), node.Out()), expected) << name;
    return node;
  }
  long MapLength(IXMLDOMNamedNodeMap* map) {
    long length = -1;
    EXPECT_HR(map->get_length(&length), S_OK);
    return length;
  }
  // insertBefore with the reference node (null: none) passed as an object.
  HRESULT InsertBefore(IXMLDOMNode* parent, IXMLDOMNode* child, IXMLDOMNode* before) {
    Variant ref;
    if (before) *ref.Out() = Variant::Unknown(before);
    ComPtr<IXMLDOMNode> out;
    return parent->insertBefore(child, ref.get(), out.Out());
  }
  HRESULT SetAttribute(IXMLDOMNode* element, const char* name, const char* value) {
    Variant v(Variant::Str(value));
    auto e = ComPtr<IXMLDOMNode>(element).As<IXMLDOMElement>();
    return e ? e->setAttribute(Bstr(name), v.get()) : E_NOINTERFACE;
  }
  std::string UriOf(IXMLDOMNode* node) {
    Bstr uri;
    EXPECT_HR(node->get_namespaceURI(uri.Out()), S_OK);
    return uri.Utf8();
  }
};

TEST_F(NodeTypesTest, CreateNodeGivesEachTypeWithItsNameTypeStringAndValueKind) {
  const struct {
    DOMNodeType type;
    const char *name, *nodeName, *typeString;
    VARTYPE valueType;
  } cases[] = {
      {NODE_ELEMENT, "e", "e", "element", VT_NULL},
      {NODE_ATTRIBUTE, "a", "a", "attribute", VT_BSTR},
      {NODE_TEXT, "", "#text", "text", VT_BSTR},
      {NODE_CDATA_SECTION, "", "#cdata-section", "cdatasection", VT_BSTR},
      {NODE_ENTITY_REFERENCE, "ent", "ent", "entityreference", VT_NULL},
      {NODE_PROCESSING_INSTRUCTION, "pi", "pi", "processinginstruction", VT_BSTR},
      {NODE_COMMENT, "", "#comment", "comment", VT_BSTR},
      {NODE_DOCUMENT_FRAGMENT, "", "#document-fragment", "documentfragment", VT_NULL},
  };
  auto doc = NewDocument();
  ASSERT_TRUE(doc);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typeString);
    auto node = CreateNode(doc.Get(), c.type, c.name, "");
    ASSERT_TRUE(node);
    Bstr typeString;
    Variant value;
    ComPtr<IXMLDOMNode> parent;
    ComPtr<IXMLDOMDocument> owner;
    EXPECT_HR(node->get_nodeTypeString(typeString.Out()), S_OK);
    EXPECT_TRUE(SUCCEEDED(node->get_nodeValue(value.Out())));
    EXPECT_HR(node->get_parentNode(parent.Out()), S_FALSE);
    EXPECT_HR(node->get_ownerDocument(owner.Out()), S_OK);
    EXPECT_EQ(TypeOf(node.Get()), c.type);
    EXPECT_EQ(NameOf(node.Get()) + "|" + typeString.Utf8(), std::string(c.nodeName) + "|" + c.typeString);
    EXPECT_EQ(value.vt(), c.valueType);
    EXPECT_EQ(IdentityOf(owner.Get()), IdentityOf(doc.Get()));
  }
  // No other type is made, and the refusal says why.
  for (long type : {-1L, 0L, 13L, 100L, 0x7FFFFFFFL, long(NODE_DOCUMENT), long(NODE_DOCUMENT_TYPE), long(NODE_ENTITY),
                    long(NODE_NOTATION)}) {
    EXPECT_FALSE(CreateNode(doc.Get(), type, "x", nullptr, E_INVALIDARG));
    EXPECT_NE(LastReason(), "") << type;
  }
  // Script hosts hand the type name over by reference.
  Bstr typeName("comment");
  BSTR typeNameBstr = typeName.get();
  VARIANT byRef{};
  byRef.vt = VT_BYREF | VT_BSTR;
  byRef.pbstrVal = &typeNameBstr;
  ComPtr<IXMLDOMNode> comment;
  EXPECT_HR(doc->createNode(byRef, Bstr(""), Bstr(""), comment.Out()), S_OK);
  EXPECT_EQ(TypeOf(comment.Get()), NODE_COMMENT);
  auto qualified = CreateNode(doc.Get(), NODE_ELEMENT, "p:item", "urn:test");
  ASSERT_TRUE(qualified);
  Bstr prefix, base;
  EXPECT_HR(qualified->get_prefix(prefix.Out()), S_OK);
  EXPECT_HR(qualified->get_baseName(base.Out()), S_OK);
  EXPECT_EQ(prefix.Utf8() + "|" + base.Utf8() + "|" + UriOf(qualified.Get()), "p|item|urn:test");
  EXPECT_EQ(XmlOf(qualified.Get()), "<p:item xmlns:p=\"urn:test\"/>");

  ComPtr<IXMLDOMElement> element;
  for (const char* name : {"", "1abc", "a b", "<x>"}) {
    EXPECT_TRUE(FAILED(doc->createElement(Bstr(name), element.Out()))) << "'" << name << "'";
    EXPECT_FALSE(element);
  }
  EXPECT_TRUE(NewElement(doc.Get(), "_a-b.c"));
  CreateNode(doc.Get(), NODE_ELEMENT, "xmlns:q", "urn:q", E_FAIL);
  EXPECT_HR(doc->createElement(Bstr("xmlns:q"), element.Out()), E_FAIL);
  EXPECT_FALSE(element);
  // Processing instruction targets and entity names take no colon: a
  // document holding one would not load again.
  ComPtr<IXMLDOMProcessingInstruction> pi;
  ComPtr<IXMLDOMEntityReference> reference;
  EXPECT_HR(doc->createProcessingInstruction(Bstr("a:b"), Bstr("data"), pi.Out()), E_FAIL);
  EXPECT_HR(doc->createEntityReference(Bstr("a:b"), reference.Out()), E_FAIL);
  EXPECT_NE(LastReason().find("entity name"), std::string::npos) << LastReason();
  CreateNode(doc.Get(), NODE_PROCESSING_INSTRUCTION, "a:b", nullptr, E_FAIL);
  CreateNode(doc.Get(), NODE_ENTITY_REFERENCE, "a:b", nullptr, E_FAIL);
  EXPECT_HR(doc->createProcessingInstruction(Bstr("a-b.c"), Bstr("data"), pi.Out()), S_OK);
}

const char kMixed[] = "<r a='1'><e/>text<![CDATA[cd]]><!--c--><?pi data?></r>";

TEST_F(NodeTypesTest, EachNodeAnswersItsOwnInterfacesAndRefusesOthers) {
  auto doc = Parse(kMixed);
  ASSERT_TRUE(doc);
  const struct {
    const char* query;
    std::vector<const IID*> answers, refuses;
  } cases[] = {
      {"/r/e", {&IID_IXMLDOMElement, &IID_IXMLDOMNode, &IID_IDispatch},
       {&IID_IXMLDOMText, &IID_IXMLDOMAttribute, &IID_IXMLDOMDocument}},
      {"/r/@a", {&IID_IXMLDOMAttribute}, {&IID_IXMLDOMElement}},
      {"/r/text()[1]", {&IID_IXMLDOMText, &IID_IXMLDOMCharacterData},
       {&IID_IXMLDOMCDATASection, &IID_IXMLDOMComment}},
      {"/r/node()[3]", {&IID_IXMLDOMText, &IID_IXMLDOMCDATASection}, {}},
      {"/r/comment()", {&IID_IXMLDOMComment, &IID_IXMLDOMCharacterData}, {&IID_IXMLDOMText}},
      {"/r/processing-instruction()", {&IID_IXMLDOMProcessingInstruction}, {&IID_IXMLDOMCharacterData}},
      {"/", {&IID_IUnknown, &IID_IDispatch, &IID_IXMLDOMNode, &IID_IXMLDOMDocument2},
       {&XMLDOMDocumentEvents::kIID, &IID_IXMLDOMElement}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.query);
    auto node = SelectOne(doc.Get(), c.query);
    ASSERT_TRUE(node);
    for (const IID* iid : c.answers) {
      void* p = nullptr;
      EXPECT_HR(node->QueryInterface(*iid, &p), S_OK);
      if (p) static_cast<IUnknown*>(p)->Release();
    }
    for (const IID* iid : c.refuses) {
      void* p = reinterpret_cast<void*>(1);
      EXPECT_HR(node->QueryInterface(*iid, &p), E_NOINTERFACE);
      EXPECT_EQ(p, nullptr);
    }
  }
  EXPECT_HR(doc->QueryInterface(IID_IXMLDOMNode, nullptr), E_POINTER);
  EXPECT_EQ(NameOf(doc.Get()), "#document");
}

TEST_F(NodeTypesTest, AdjacentCdataSectionsStaySeparateNodes) {
  const char text[] = "<r><![CDATA[a]]><![CDATA[b]]>t<![CDATA[c]]><![CDATA[]]></r>";
  auto doc = Parse(text);
  ASSERT_TRUE(doc);
  auto children = Select(Root(doc.Get()).Get(), "node()");
  EXPECT_EQ(NamesOf(children.Get()), (std::vector<std::string>{"#cdata-section", "#cdata-section", "#text",
                                                                "#cdata-section", "#cdata-section"}));
  EXPECT_EQ(XmlOf(doc.Get()), std::string(text) + "\r\n");
  EXPECT_EQ(TextOf(doc.Get()), "abtc");
}

TEST_F(NodeTypesTest, SiblingsParentsAndEndsOfAMixedChildList) {
  auto doc = Parse(kMixed);
  ASSERT_TRUE(doc);
  auto root = Root(doc.Get());
  const DOMNodeType expected[] = {NODE_ELEMENT, NODE_TEXT, NODE_CDATA_SECTION, NODE_COMMENT,
                                  NODE_PROCESSING_INSTRUCTION};
  ComPtr<IXMLDOMNode> node, previous;
  ASSERT_HR(root->get_firstChild(node.Out()), S_OK);
  size_t i = 0;
  for (; node; ++i) {
    ASSERT_LT(i, std::size(expected));
    EXPECT_EQ(TypeOf(node.Get()), expected[i]) << i;
    ComPtr<IXMLDOMNode> parent, back, next, child;
    EXPECT_HR(node->get_parentNode(parent.Out()), S_OK);
    EXPECT_EQ(IdentityOf(parent.Get()), IdentityOf(root.Get()));
    EXPECT_HR(node->get_previousSibling(back.Out()), previous ? S_OK : S_FALSE);
    EXPECT_EQ(IdentityOf(back.Get()), IdentityOf(previous.Get()));
    EXPECT_HR(node->get_nextSibling(next.Out()), i + 1 < std::size(expected) ? S_OK : S_FALSE);
    EXPECT_HR(node->get_firstChild(child.Out()), S_FALSE) << "an empty element or a leaf: " << i;
    EXPECT_HR(node->get_nodeType(nullptr), E_INVALIDARG);
    EXPECT_HR(node->get_firstChild(nullptr), E_INVALIDARG);
    EXPECT_HR(node->get_nextSibling(nullptr), E_INVALIDARG);
    previous = node;
    node = next;
  }
  EXPECT_EQ(i, std::size(expected));
  ComPtr<IXMLDOMNode> last, none;
  ComPtr<IXMLDOMDocument> owner;
  EXPECT_HR(root->get_lastChild(last.Out()), S_OK);
  EXPECT_EQ(IdentityOf(last.Get()), IdentityOf(previous.Get()));
  EXPECT_HR(doc->get_parentNode(none.Out()), S_FALSE);
  EXPECT_FALSE(none);
  EXPECT_HR(doc->get_ownerDocument(owner.Out()), S_FALSE);
  VARIANT_BOOL has = VARIANT_TRUE;
  EXPECT_HR(previous->hasChildNodes(&has), S_FALSE);
  EXPECT_EQ(has, VARIANT_FALSE);
  EXPECT_HR(root->hasChildNodes(&has), S_OK);
  EXPECT_EQ(has, VARIANT_TRUE);
}

TEST_F(NodeTypesTest, CreatedNodesSerialiseAloneAndInTheirParent) {
  auto doc = Parse("<r/>");
  ASSERT_TRUE(doc);
  ComPtr<IXMLDOMText> text;
  ComPtr<IXMLDOMComment> comment;
  ComPtr<IXMLDOMCDATASection> cdata;
  ComPtr<IXMLDOMProcessingInstruction> pi;
  ComPtr<IXMLDOMEntityReference> ref;
  ASSERT_HR(doc->createTextNode(Bstr("a<b&c>\"d\""), text.Out()), S_OK);
  ASSERT_HR(doc->createComment(Bstr(" note "), comment.Out()), S_OK);
  ASSERT_HR(doc->createCDATASection(Bstr("<raw & kept>"), cdata.Out()), S_OK);
  ASSERT_HR(doc->createProcessingInstruction(Bstr("xml-stylesheet"), Bstr("href='a.xsl'"), pi.Out()), S_OK);
  ASSERT_HR(doc->createEntityReference(Bstr("ent"), ref.Out()), S_OK);
  auto element = NewElement(doc.Get(), "child");
  ASSERT_HR(SetAttribute(element.Get(), "q", "x\"y<z&"), S_OK);
  const std::pair<IXMLDOMNode*, const char*> cases[] = {
      {text.Get(), "a&lt;b&amp;c&gt;\"d\""},
      {comment.Get(), "<!-- note -->"},
      {cdata.Get(), "<![CDATA[<raw & kept>]]>"},
      {pi.Get(), "<?xml-stylesheet href='b.xsl'?>"},
      {element.Get(), "<child q=\"x&quot;y&lt;z&amp;\"/>"},
      {ref.Get(), "&ent;"},
  };
  Bstr target, data;
  EXPECT_HR(pi->get_target(target.Out()), S_OK);
  EXPECT_HR(pi->get_data(data.Out()), S_OK);
  EXPECT_EQ(target.Utf8() + "|" + data.Utf8(), "xml-stylesheet|href='a.xsl'");
  EXPECT_HR(pi->put_data(Bstr("href='b.xsl'")), S_OK);
  std::string all;
  for (const auto& c : cases) {
    Append(Root(doc.Get()).Get(), c.first);
    EXPECT_EQ(XmlOf(c.first), c.second);
    all += c.second;
  }
  EXPECT_EQ(XmlOf(Root(doc.Get()).Get()), "<r>" + all + "</r>");
}

// The xml of a node reads back on its own with the same names and
// namespaces: what ancestors declared is declared on the node, and an
// element in no namespace under a default namespace says so (xmlns="").
TEST_F(NodeTypesTest, SerialisedNodesDeclareTheNamespacesTheyUse) {
  auto doc = Parse("<r xmlns='urn:d' xmlns:p='urn:p'><p:c p:at='1'><d/><e xmlns='urn:e'><p:f/></e></p:c></r>");
  ASSERT_TRUE(doc);
  auto c = SelectOne(doc.Get(), "/*/*");
  ASSERT_TRUE(c);
  EXPECT_EQ(XmlOf(c.Get()),
            "<p:c xmlns:p=\"urn:p\" p:at=\"1\"><d xmlns=\"urn:d\"/><e xmlns=\"urn:e\"><p:f/></e></p:c>");
  EXPECT_EQ(XmlOf(Root(doc.Get()).Get()), "<r xmlns=\"urn:d\" xmlns:p=\"urn:p\">"
                                          "<p:c p:at=\"1\"><d/><e xmlns=\"urn:e\"><p:f/></e></p:c></r>")
      << "declarations added for one serialisation are gone again";
  auto plain = NewElement(doc.Get(), "w");
  Append(Root(doc.Get()).Get(), plain.Get());
  std::string xml = XmlOf(doc.Get());
  EXPECT_NE(xml.find("<w xmlns=\"\"/>"), std::string::npos) << xml;
  EXPECT_EQ(XmlOf(plain.Get()), "<w/>");
  // Each serialisation reads back with the names and namespaces it had.
  auto reread = NewDocument();
  ASSERT_HR(LoadXml(reread.Get(), XmlOf(c.Get()).c_str()), S_OK);
  ASSERT_HR(LoadXml(reread.Get(), xml.c_str()), S_OK);
  auto w = SelectOne(reread.Get(), "/*/*[local-name()='w']");
  ASSERT_TRUE(w);
  EXPECT_EQ(UriOf(w.Get()), "");
  // save writes the same declarations.
  std::string path = TempDir() + "/namespaces.xml";
  Variant target(Variant::Str(path.c_str()));
  ASSERT_HR(doc->save(target.get()), S_OK);
  EXPECT_NE(ReadFileBytes(path).find("<w xmlns=\"\"/>"), std::string::npos);
}

// A node created in a namespace carries no xmlns attribute of its own; its
// serialisations and copies declare the namespace where the tree does not.
TEST_F(NodeTypesTest, CreatedNamespacedNodesDeclareTheirNamespaceOnlyWhereNeeded) {
  auto doc = NewDocument();
  ASSERT_TRUE(doc);
  const std::string kSoap = "http://schemas.xmlsoap.org/soap/envelope/";
  auto envelope = CreateNode(doc.Get(), NODE_ELEMENT, "soap:Envelope", kSoap.c_str());
  auto body = CreateNode(doc.Get(), NODE_ELEMENT, "soap:Body", kSoap.c_str());
  auto item = CreateNode(doc.Get(), NODE_ELEMENT, "item", "urn:items");
  ASSERT_TRUE(envelope && body && item);
  Append(doc.Get(), envelope.Get());
  Append(envelope.Get(), body.Get());
  Append(body.Get(), item.Get());
  ComPtr<IXMLDOMNamedNodeMap> attributes;
  ASSERT_HR(envelope->get_attributes(attributes.Out()), S_OK);
  EXPECT_EQ(MapLength(attributes.Get()), 0) << "the namespace is no attribute of the element";
  const std::string whole =
      "<soap:Envelope xmlns:soap=\"" + kSoap + "\"><soap:Body><item xmlns=\"urn:items\"/></soap:Body></soap:Envelope>";
  EXPECT_EQ(XmlOf(envelope.Get()), whole);
  EXPECT_EQ(XmlOf(item.Get()), "<item xmlns=\"urn:items\"/>");
  // Copies keep every name and namespace.
  ComPtr<IXMLDOMNode> copy, documentCopy;
  ASSERT_HR(item->cloneNode(VARIANT_TRUE, copy.Out()), S_OK);
  ASSERT_HR(doc->cloneNode(VARIANT_TRUE, documentCopy.Out()), S_OK);
  EXPECT_EQ(XmlOf(copy.Get()), "<item xmlns=\"urn:items\"/>");
  EXPECT_EQ(XmlOf(documentCopy.Get()), whole + "\r\n");

  // An attribute keeps its name where its prefix is free, and is declared
  // on its element only in the text.
  auto at = CreateNode(doc.Get(), NODE_ATTRIBUTE, "p:at", "urn:p");
  ComPtr<IXMLDOMAttribute> replaced;
  ASSERT_HR(body.As<IXMLDOMElement>()->setAttributeNode(at.As<IXMLDOMAttribute>().Get(), replaced.Out()), S_OK);
  EXPECT_EQ(NameOf(at.Get()), "p:at");
  EXPECT_EQ(XmlOf(body.Get()), "<soap:Body xmlns:soap=\"" + kSoap +
                                   "\" xmlns:p=\"urn:p\" p:at=\"\"><item xmlns=\"urn:items\"/></soap:Body>");

  // A declaration cannot rebind the prefix a created element's name uses,
  // nor once the element declares the namespace its name is in itself.
  const std::string before = XmlOf(envelope.Get());
  EXPECT_HR(SetAttribute(envelope.Get(), "xmlns:soap", "urn:other"), E_FAIL);
  EXPECT_HR(SetAttribute(item.Get(), "xmlns", "urn:other"), E_FAIL);
  EXPECT_EQ(XmlOf(envelope.Get()), before);
  EXPECT_HR(SetAttribute(envelope.Get(), "xmlns:soap", kSoap.c_str()), S_OK);
  const std::string declared = XmlOf(envelope.Get());
  EXPECT_HR(SetAttribute(envelope.Get(), "xmlns:soap", "urn:other"), E_FAIL);
  EXPECT_EQ(XmlOf(envelope.Get()), declared);
  // An element in no namespace, likewise, once it says so with xmlns="";
  // or a name made with a prefix bound to nothing, which it would bind.
  auto plain = Parse("<root/>");
  ASSERT_TRUE(plain);
  EXPECT_HR(SetAttribute(Root(plain.Get()).Get(), "xmlns", ""), S_OK);
  EXPECT_HR(SetAttribute(Root(plain.Get()).Get(), "xmlns", "urn:other"), E_FAIL);
  EXPECT_EQ(XmlOf(Root(plain.Get()).Get()), "<root xmlns=\"\"/>");
  auto unbound = NewElement(plain.Get(), "q:c");
  EXPECT_HR(SetAttribute(unbound.Get(), "xmlns:q", "urn:other"), E_FAIL);
  EXPECT_EQ(XmlOf(unbound.Get()), "<q:c/>");

  // Each text reads back with the same names and namespaces.
  auto elsewhere = Parse("<r xmlns='urn:other'/>");
  ASSERT_TRUE(elsewhere);
  Append(Root(elsewhere.Get()).Get(), copy.Get());
  EXPECT_EQ(XmlOf(elsewhere.Get()), "<r xmlns=\"urn:other\"><item xmlns=\"urn:items\"/></r>\r\n");
  auto reread = Parse(XmlOf(doc.Get()).c_str());
  ASSERT_TRUE(reread);
  SetProperty(reread.Get(), "SelectionNamespaces", ("xmlns:s='" + kSoap + "' xmlns:i='urn:items' xmlns:p='urn:p'").c_str());
  EXPECT_EQ(LengthOf(Select(reread.Get(), "/s:Envelope/s:Body[@p:at]/i:item").Get()), 1);
}

// Offsets and lengths count UTF-16 code units: U+1F600 is two of them.
TEST_F(NodeTypesTest, CharacterDataEditsCountUtf16CodeUnits) {
  auto doc = Parse("<r>a\xF0\x9F\x98\x80" "bc</r>");
  ASSERT_TRUE(doc);
  auto text = SelectOne(doc.Get(), "/r/text()").As<IXMLDOMCharacterData>();
  ASSERT_TRUE(text);
  long length = 0;
  Bstr part, data, x("x");
  EXPECT_HR(text->get_length(&length), S_OK);
  EXPECT_EQ(length, 5);
  EXPECT_HR(text->substringData(1, 2, part.Out()), S_OK);
  EXPECT_EQ(part.Utf8(), "\xF0\x9F\x98\x80");
  EXPECT_HR(text->substringData(3, 100, part.Out()), S_OK);  // a count past the end stops there
  EXPECT_EQ(part.Utf8(), "bc");
  EXPECT_HR(text->insertData(3, Bstr("X")), S_OK);
  EXPECT_EQ(TextOf(text.Get()), "a\xF0\x9F\x98\x80Xbc");
  EXPECT_HR(text->deleteData(1, 2), S_OK);
  EXPECT_EQ(TextOf(text.Get()), "aXbc");
  EXPECT_HR(text->replaceData(1, 1, Bstr("YY")), S_OK);
  EXPECT_HR(text->appendData(Bstr("!")), S_OK);
  EXPECT_HR(text->get_data(data.Out()), S_OK);
  EXPECT_EQ(data.Utf8(), "aYYbc!");
  EXPECT_EQ(XmlOf(Root(doc.Get()).Get()), "<r>aYYbc!</r>");

  const std::function<HRESULT()> outOfRange[] = {
      [&] { return text->substringData(7, 1, part.Out()); }, [&] { return text->substringData(-1, 1, part.Out()); },
      [&] { return text->substringData(0, -1, part.Out()); }, [&] { return text->insertData(-1, x); },
      [&] { return text->insertData(7, x); }, [&] { return text->deleteData(7, 1); },
      [&] { return text->replaceData(-2, 1, x); }};
  for (const auto& edit : outOfRange) {
    EXPECT_HR(edit(), E_INVALIDARG);
    EXPECT_NE(LastReason(), "") << "a refusal says why";
  }
  EXPECT_EQ(TextOf(text.Get()), "aYYbc!") << "a refused edit must change nothing";
  // No edit may cut a surrogate pair in two.
  auto pair = SelectOne(Parse("<r>a\xF0\x9F\x98\x80" "b</r>").Get(), "/r/text()").As<IXMLDOMText>();
  ASSERT_TRUE(pair);
  ComPtr<IXMLDOMText> half;
  EXPECT_HR(pair->insertData(2, x), E_INVALIDARG);
  EXPECT_HR(pair->deleteData(2, 1), E_INVALIDARG);
  EXPECT_HR(pair->replaceData(0, 2, x), E_INVALIDARG);
  EXPECT_HR(pair->splitText(2, half.Out()), E_INVALIDARG);
  EXPECT_EQ(TextOf(pair.Get()), "a\xF0\x9F\x98\x80" "b");
  EXPECT_HR(text->insertData(6, x), S_OK);  // the end itself is a valid offset
  EXPECT_EQ(TextOf(text.Get()), "aYYbc!x");
}

TEST_F(NodeTypesTest, SplitTextLeavesTwoAdjacentTextNodesThatNormaliseMerges) {
  auto doc = Parse("<r>hello world</r>");
  ASSERT_TRUE(doc);
  auto text = SelectOne(doc.Get(), "/r/text()").As<IXMLDOMText>();
  ASSERT_TRUE(text);
  ComPtr<IXMLDOMText> right, bad;
  ASSERT_HR(text->splitText(5, right.Out()), S_OK);
  Bstr rightData;
  EXPECT_HR(right->get_data(rightData.Out()), S_OK);
  EXPECT_EQ(TextOf(text.Get()) + "|" + rightData.Utf8(), "hello| world");
  auto root = Root(doc.Get());
  EXPECT_EQ(ChildCount(root.Get()), 2);
  ComPtr<IXMLDOMNode> next;
  EXPECT_HR(text->get_nextSibling(next.Out()), S_OK);
  EXPECT_EQ(IdentityOf(next.Get()), IdentityOf(right.Get()));
  EXPECT_EQ(XmlOf(root.Get()), "<r>hello world</r>");
  EXPECT_TRUE(FAILED(text->splitText(6, bad.Out())));
  EXPECT_TRUE(FAILED(text->splitText(-1, bad.Out())));
  // A node in no tree splits too; the new half lives as long as it is held.
  ComPtr<IXMLDOMText> loose, looseRight, sectionRight;
  ComPtr<IXMLDOMCDATASection> section;
  ASSERT_HR(doc->createTextNode(Bstr("loose"), loose.Out()), S_OK);
  ASSERT_HR(loose->splitText(2, looseRight.Out()), S_OK);
  ASSERT_HR(doc->createCDATASection(Bstr("abc"), section.Out()), S_OK);
  ASSERT_HR(section->splitText(1, sectionRight.Out()), S_OK);
  EXPECT_EQ(TextOf(looseRight.Get()) + "|" + TextOf(sectionRight.Get()), "ose|bc");
  EXPECT_EQ(TypeOf(sectionRight.Get()), NODE_CDATA_SECTION);
  EXPECT_HR(root->normalize(), S_OK);
  EXPECT_EQ(ChildCount(root.Get()), 1);
  EXPECT_EQ(TextOf(root.Get()), "hello world");
}

// An entity's content is there whether or not the document refers to it,
// for references a host creates, and in a copy of the document.
TEST_F(NodeTypesTest, EntityContentShowsInDeclarationsReferencesAndCopies) {
  auto doc = Parse("<!DOCTYPE r [<!ELEMENT r ANY><!ELEMENT x EMPTY><!ENTITY unused 'U<x/>V'><!ENTITY used 'W'>"
                   "<!ENTITY broken '<open'>]><r>&used;&used;</r>");
  ASSERT_TRUE(doc);
  auto entities = Declared(DoctypeOf(doc.Get()).Get());
  ASSERT_TRUE(entities);
  auto unused = Named(entities.Get(), "unused");
  EXPECT_EQ(ChildCount(unused.Get()), 3);
  EXPECT_EQ(TextOf(unused.Get()), "UV");
  EXPECT_EQ(ChildCount(Named(entities.Get(), "broken").Get()), 0) << "content that does not parse stays out";
  // A reference's definition is its entity; the content under it is read-only.
  ComPtr<IXMLDOMNode> parsedReference, definition, content;
  ASSERT_HR(Root(doc.Get())->get_firstChild(parsedReference.Out()), S_OK);
  ASSERT_HR(parsedReference->get_definition(definition.Out()), S_OK);
  EXPECT_EQ(TypeOf(definition.Get()), NODE_ENTITY);
  ASSERT_HR(parsedReference->get_firstChild(content.Out()), S_OK);
  EXPECT_HR(content->put_text(Bstr("changed")), E_FAIL);

  ComPtr<IXMLDOMEntityReference> created;
  ASSERT_HR(doc->createEntityReference(Bstr("unused"), created.Out()), S_OK);
  Append(Root(doc.Get()).Get(), created.Get());
  EXPECT_EQ(ChildCount(created.Get()), 3);
  EXPECT_EQ(TextOf(Root(doc.Get()).Get()), "WWUV");
  ComPtr<IXMLDOMNode> copy;
  ASSERT_HR(doc->cloneNode(VARIANT_TRUE, copy.Out()), S_OK);
  EXPECT_EQ(TextOf(Root(copy.As<IXMLDOMDocument>().Get()).Get()), "WWUV");
  auto loaded = NewDocument();
  EXPECT_EQ(LoadSource(loaded.Get(), Variant::Unknown(doc.Get())), VARIANT_TRUE);
  EXPECT_EQ(TextOf(Root(loaded.Get()).Get()), "WWUV");

  // An attribute value takes a reference to text, not to markup, which it
  // could not write so that it reads again.
  ASSERT_HR(SetAttribute(Root(doc.Get()).Get(), "a", "1"), S_OK);
  ComPtr<IXMLDOMAttribute> attr;
  ASSERT_HR(Root(doc.Get())->getAttributeNode(Bstr("a"), attr.Out()), S_OK);
  ComPtr<IXMLDOMEntityReference> markup, text;
  ASSERT_HR(doc->createEntityReference(Bstr("unused"), markup.Out()), S_OK);
  ASSERT_HR(doc->createEntityReference(Bstr("used"), text.Out()), S_OK);
  ComPtr<IXMLDOMNode> added;
  EXPECT_HR(attr->appendChild(markup.Get(), added.Out()), E_FAIL);
  EXPECT_NE(LastReason().find("attribute value"), std::string::npos) << LastReason();
  EXPECT_HR(attr->appendChild(text.Get(), added.Out()), S_OK);
  EXPECT_EQ(XmlOf(attr.Get()), "a=\"1&used;\"");

  // A reference to a predefined entity stands for its character, in an
  // element's text and in an attribute's value alike.
  auto plain = Parse("<r a='1'>x</r>");
  ASSERT_TRUE(plain);
  auto root = Root(plain.Get());
  ComPtr<IXMLDOMEntityReference> amp, lt;
  ComPtr<IXMLDOMAttribute> a;
  ASSERT_HR(plain->createEntityReference(Bstr("amp"), amp.Out()), S_OK);
  ASSERT_HR(plain->createEntityReference(Bstr("lt"), lt.Out()), S_OK);
  Append(root.Get(), amp.Get());
  EXPECT_EQ(TextOf(amp.Get()), "&");
  EXPECT_EQ(TextOf(root.Get()), "x&");
  ASSERT_HR(root->getAttributeNode(Bstr("a"), a.Out()), S_OK);
  Append(a.Get(), lt.Get());
  Variant value;
  ASSERT_HR(a->get_value(value.Out()), S_OK);
  EXPECT_EQ(value.Utf8(), "1<");
  EXPECT_EQ(XmlOf(root.Get()), "<r a=\"1&lt;\">x&amp;</r>");
}

// A copy's entity references name their entity with the copying document's
// strings: moved into another document, they must not depend on the first.
TEST_F(NodeTypesTest, CopiedEntityReferencesMoveToAnotherDocumentAndOutliveTheirFirst) {
  for (bool sourceGoesFirst : {true, false}) {
    SCOPED_TRACE(sourceGoesFirst);
    auto source = Parse(
        "<!DOCTYPE r [<!ELEMENT r ANY><!ELEMENT k ANY><!ELEMENT i ANY><!ATTLIST k a CDATA #IMPLIED>"
        "<!ENTITY e 'ent'>]><r><k a='[&e;]'>&e;<i>&e;</i></k></r>");
    auto target = Parse("<!DOCTYPE x [<!ELEMENT x ANY><!ENTITY e 'other'>]><x/>");
    ASSERT_TRUE(source && target);
    ComPtr<IXMLDOMNode> copy;
    ASSERT_HR(SelectOne(source.Get(), "//k")->cloneNode(VARIANT_TRUE, copy.Out()), S_OK);
    Append(Root(target.Get()).Get(), copy.Get());
    copy = nullptr;
    if (sourceGoesFirst) source = nullptr;
    EXPECT_EQ(XmlOf(Root(target.Get()).Get()), "<x><k a=\"[&e;]\">&e;<i>&e;</i></k></x>");
    EXPECT_EQ(TextOf(Root(target.Get()).Get()), "otherother") << "the references show the target's entity";
    target = nullptr;
  }
  // An attribute alone, its value holding a reference, goes over the same way.
  auto source = Parse("<!DOCTYPE r [<!ELEMENT r EMPTY><!ATTLIST r a CDATA #IMPLIED><!ENTITY t 'tv'>]><r a='x&t;y'/>");
  auto target = Parse("<!DOCTYPE q [<!ELEMENT q EMPTY><!ATTLIST q a CDATA #IMPLIED><!ENTITY t 'T2'>]><q/>");
  ASSERT_TRUE(source && target);
  ComPtr<IXMLDOMAttribute> attribute, copy, replaced;
  ASSERT_HR(Root(source.Get())->getAttributeNode(Bstr("a"), attribute.Out()), S_OK);
  ASSERT_HR(attribute->cloneNode(VARIANT_TRUE, reinterpret_cast<IXMLDOMNode**>(copy.Out())), S_OK);
  ASSERT_HR(Root(target.Get())->setAttributeNode(copy.Get(), replaced.Out()), S_OK);
  EXPECT_EQ(TextOf(copy.Get()), "xT2y");
  EXPECT_EQ(XmlOf(Root(target.Get()).Get()), "<q a=\"x&t;y\"/>");
  EXPECT_EQ(ChildCount(copy.Get()), 3);

  // A reference's child list, held while the reference moves, shows the new
  // document's entity, and nothing of the old document once it is gone.
  auto first = Parse("<!DOCTYPE r [<!ELEMENT r ANY><!ELEMENT x EMPTY><!ELEMENT y EMPTY><!ENTITY e '<x/><y/>'>]>"
                     "<r>&e;</r>");
  auto second = Parse("<!DOCTYPE r [<!ELEMENT r ANY><!ELEMENT z EMPTY><!ENTITY e '<z/>'>]><r/>");
  ASSERT_TRUE(first && second);
  ComPtr<IXMLDOMNode> reference, item;
  ComPtr<IXMLDOMNodeList> children;
  ASSERT_HR(Root(first.Get())->get_firstChild(reference.Out()), S_OK);
  ASSERT_HR(reference->get_childNodes(children.Out()), S_OK);
  ASSERT_EQ(LengthOf(children.Get()), 2);
  ASSERT_HR(children->get_item(1, item.Out()), S_OK);
  Append(Root(second.Get()).Get(), reference.Get());
  first = nullptr;
  EXPECT_EQ(LengthOf(children.Get()), 1);
  EXPECT_HR(children->get_item(1, item.Out()), S_FALSE);
  ASSERT_HR(children->get_item(0, item.Out()), S_OK);
  EXPECT_EQ(NameOf(item.Get()), "z");
}

TEST_F(NodeTypesTest, DocumentTypeListsEntitiesAndNotations) {
  const std::string declarations =
      "<!DOCTYPE r [<!ELEMENT r ANY><!ENTITY inner 'value'><!ENTITY outer SYSTEM 'not-read.txt'>"
      "<!ENTITY % parameter 'not a general entity'><!NOTATION viewer SYSTEM 'view.exe'>]>";
  auto doc = Parse((declarations + "<r>&inner;</r>").c_str());
  ASSERT_TRUE(doc);
  auto doctype = DoctypeOf(doc.Get());
  ASSERT_TRUE(doctype);
  Bstr name;
  EXPECT_HR(doctype->get_name(name.Out()), S_OK);
  EXPECT_EQ(name.Utf8(), "r");
  EXPECT_EQ(TypeOf(doctype.Get()), NODE_DOCUMENT_TYPE);
  EXPECT_EQ(XmlOf(doctype.Get()), declarations) << "as the document wrote it";
  auto entities = Declared(doctype.Get()), notations = Declared(doctype.Get(), true);
  ASSERT_TRUE(entities && notations);
  EXPECT_EQ(std::make_pair(MapLength(entities.Get()), MapLength(notations.Get())), std::make_pair(2L, 1L))
      << "general entities only";
  Named(entities.Get(), "parameter", S_FALSE);
  auto outer = Named(entities.Get(), "outer"), viewer = Named(notations.Get(), "viewer");
  auto entity = outer.As<IXMLDOMEntity>();
  auto notation = viewer.As<IXMLDOMNotation>();
  ASSERT_TRUE(entity && notation);
  EXPECT_EQ(NameOf(viewer.Get()), "viewer");
  EXPECT_EQ(XmlOf(outer.Get()), "<!ENTITY outer SYSTEM \"not-read.txt\">") << "a declaration, not a line";
  Variant entitySystem, notationSystem;
  EXPECT_HR(entity->get_systemId(entitySystem.Out()), S_OK);
  EXPECT_HR(notation->get_systemId(notationSystem.Out()), S_OK);
  EXPECT_EQ(entitySystem.Utf8() + "|" + notationSystem.Utf8(), "not-read.txt|view.exe");
  EXPECT_EQ(TextOf(Root(doc.Get()).Get()), "value");
  // A copy of the document type carries its own declarations; entities and
  // notations alone are not copied.
  ComPtr<IXMLDOMNode> copy, refused;
  ASSERT_HR(doctype->cloneNode(VARIANT_FALSE, copy.Out()), S_OK);
  auto copiedNotations = Declared(copy.As<IXMLDOMDocumentType>().Get(), true);
  ASSERT_TRUE(copiedNotations);
  EXPECT_NE(IdentityOf(Named(copiedNotations.Get(), "viewer").Get()), IdentityOf(viewer.Get()));
  EXPECT_EQ(XmlOf(copy.Get()), declarations) << "the copy is written as the original";
  EXPECT_HR(outer->cloneNode(VARIANT_TRUE, refused.Out()), E_NOTIMPL);
  EXPECT_FALSE(refused);

  // An entity declared in both subsets is listed once, as the internal
  // subset declares it.
  WriteTempFile("both.dtd", "<!ELEMENT r ANY><!ENTITY ext 'from-external'><!ENTITY only 'ext-only'>");
  const std::string both = WriteTempFile(
      "both.xml", "<!DOCTYPE r SYSTEM 'both.dtd' [<!ENTITY ext 'from-internal'>]><r>&ext;&only;</r>");
  auto twice = NewDocument();
  ASSERT_EQ(LoadSource(twice.Get(), Variant::Str(both.c_str())), VARIANT_TRUE);
  auto twiceEntities = Declared(DoctypeOf(twice.Get()).Get());
  ASSERT_TRUE(twiceEntities);
  std::vector<std::string> listed;
  for (long i = 0; i < MapLength(twiceEntities.Get()); ++i) {
    ComPtr<IXMLDOMNode> item;
    ASSERT_HR(twiceEntities->get_item(i, item.Out()), S_OK);
    listed.push_back(NameOf(item.Get()) + "=" + TextOf(item.Get()));
  }
  EXPECT_EQ(listed, (std::vector<std::string>{"ext=from-internal", "only=ext-only"}));
  // An identifier is quoted as its text allows.
  auto quoting = Parse("<!DOCTYPE r [<!ELEMENT r ANY><!NOTATION quoted SYSTEM 'a\"b'>]><r/>");
  ASSERT_TRUE(quoting);
  auto quotedNotations = Declared(DoctypeOf(quoting.Get()).Get(), true);
  ASSERT_TRUE(quotedNotations);
  EXPECT_EQ(XmlOf(Named(quotedNotations.Get(), "quoted").Get()), "<!NOTATION quoted SYSTEM 'a\"b'>");

  auto empty = NewDocument();
  ASSERT_TRUE(empty);
  ComPtr<IXMLDOMElement> root;
  EXPECT_HR(empty->get_doctype(doctype.Out()), S_FALSE);
  EXPECT_FALSE(doctype);
  EXPECT_HR(empty->get_documentElement(root.Out()), S_FALSE);
  EXPECT_EQ(ChildCount(empty.Get()), 0);
}

// A copied document type whose notations were listed goes with the tree,
// after the document, when a query's list holds the tree.
TEST_F(NodeTypesTest, ACopiedDocumentTypeGoesWithItsNotationsAfterTheDocument) {
  ComPtr<IXMLDOMNodeList> held;
  {
    auto doc = Parse("<!DOCTYPE r [<!ELEMENT r EMPTY><!NOTATION n SYSTEM 'n.x'>]><r/>");
    ASSERT_TRUE(doc);
    auto doctype = DoctypeOf(doc.Get());
    auto notations = Declared(doctype.Get(), true);
    ASSERT_TRUE(notations);
    EXPECT_EQ(MapLength(notations.Get()), 1);
    held = Select(doc.Get(), "//*");
    ComPtr<IXMLDOMNode> copy;
    ASSERT_HR(doctype->cloneNode(VARIANT_TRUE, copy.Out()), S_OK);
    auto copied = Declared(copy.As<IXMLDOMDocumentType>().Get(), true);
    ASSERT_TRUE(copied);
    EXPECT_EQ(MapLength(copied.Get()), 1);
  }
  EXPECT_EQ(LengthOf(held.Get()), 1);
}

TEST_F(NodeTypesTest, TheDocumentTypeStaysAndTheDocumentElementFollowsIt) {
  auto doc = NewDocument();
  ASSERT_HR(doc->put_validateOnParse(VARIANT_FALSE), S_OK);
  ASSERT_HR(LoadXml(doc.Get(), "<!DOCTYPE r [<!ENTITY e 'EV'>]><!--c--><r a='&e;'>&e;</r>"), S_OK);
  auto doctype = DoctypeOf(doc.Get());
  ASSERT_TRUE(doctype);
  ComPtr<IXMLDOMComment> comment;
  ComPtr<IXMLDOMNode> out;
  ASSERT_HR(doc->createComment(Bstr("new"), comment.Out()), S_OK);
  // Entity references lean on the document type's declarations.
  EXPECT_HR(doc->replaceChild(comment.Get(), doctype.Get(), out.Out()), E_FAIL);
  EXPECT_NE(LastReason().find("document type"), std::string::npos);
  EXPECT_HR(doc->removeChild(doctype.Get(), out.Out()), E_FAIL);
  doctype = nullptr;
  EXPECT_EQ(TextOf(Root(doc.Get()).Get()), "EV");
  EXPECT_EQ(TextOf(SelectOne(doc.Get(), "/r/@a").Get()), "EV");

  // The document element goes nowhere before it, alone or in a fragment;
  // after it, anywhere.
  auto root = Root(doc.Get());
  doctype = DoctypeOf(doc.Get());
  EXPECT_HR(InsertBefore(doc.Get(), root.Get(), doctype.Get()), E_FAIL);
  EXPECT_NE(LastReason().find("before the document type"), std::string::npos);
  ComPtr<IXMLDOMDocumentFragment> holder;
  ASSERT_HR(doc->createDocumentFragment(holder.Out()), S_OK);
  Append(holder.Get(), root.Get());
  EXPECT_HR(InsertBefore(doc.Get(), holder.Get(), doctype.Get()), E_FAIL);
  EXPECT_HR(InsertBefore(doc.Get(), holder.Get(), SelectOne(doc.Get(), "/comment()").Get()), S_OK);
  EXPECT_EQ(XmlOf(doc.Get()), "<!DOCTYPE r [<!ENTITY e 'EV'>]>\r\n<r a=\"&e;\">&e;</r>\r\n<!--c-->\r\n");
}

TEST_F(NodeTypesTest, InsertReplaceRemoveAppendAndFragmentsEditTheTree) {
  auto doc = Parse("<r><a/><b/><c/></r>");
  ASSERT_TRUE(doc);
  auto root = Root(doc.Get());
  auto a = SelectOne(doc.Get(), "/r/a"), b = SelectOne(doc.Get(), "/r/b"), c = SelectOne(doc.Get(), "/r/c");
  ASSERT_TRUE(a && b && c);
  ComPtr<IXMLDOMNode> out, parent;
  ASSERT_HR(root->appendChild(a.Get(), out.Out()), S_OK);  // already in the tree: moves
  EXPECT_EQ(IdentityOf(out.Get()), IdentityOf(a.Get()));
  EXPECT_EQ(XmlOf(root.Get()), "<r><b/><c/><a/></r>");

  auto d = NewElement(doc.Get(), "d");
  Variant none, beforeB(Variant::Dispatch(b.Get()));
  ASSERT_HR(root->insertBefore(d.Get(), none.get(), out.Out()), S_OK);
  EXPECT_EQ(XmlOf(root.Get()), "<r><b/><c/><a/><d/></r>");
  ASSERT_HR(root->insertBefore(d.Get(), beforeB.get(), out.Out()), S_OK);
  EXPECT_EQ(XmlOf(root.Get()), "<r><d/><b/><c/><a/></r>");
  // The reference by reference, as script hosts pass it.
  IDispatch* refC = nullptr;
  ASSERT_HR(c->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&refC)), S_OK);
  VARIANT beforeC{};
  beforeC.vt = VT_BYREF | VT_DISPATCH;
  beforeC.ppdispVal = &refC;
  EXPECT_HR(root->insertBefore(d.Get(), beforeC, out.Out()), S_OK);
  refC->Release();
  EXPECT_EQ(XmlOf(root.Get()), "<r><b/><d/><c/><a/></r>");
  ASSERT_HR(root->insertBefore(d.Get(), beforeB.get(), out.Out()), S_OK);

  ASSERT_HR(root->replaceChild(NewElement(doc.Get(), "e").Get(), c.Get(), out.Out()), S_OK);
  EXPECT_EQ(IdentityOf(out.Get()), IdentityOf(c.Get()));
  EXPECT_HR(c->get_parentNode(parent.Out()), S_FALSE);
  EXPECT_EQ(XmlOf(root.Get()), "<r><d/><b/><e/><a/></r>");
  ASSERT_HR(root->removeChild(b.Get(), out.Out()), S_OK);
  EXPECT_EQ(IdentityOf(out.Get()), IdentityOf(b.Get()));
  EXPECT_EQ(XmlOf(out.Get()), "<b/>");
  EXPECT_EQ(XmlOf(root.Get()), "<r><d/><e/><a/></r>");
  // A fragment's children move into the parent and leave it empty.
  ComPtr<IXMLDOMDocumentFragment> fragment;
  ASSERT_HR(doc->createDocumentFragment(fragment.Out()), S_OK);
  for (const char* name : {"x", "y", "z"}) Append(fragment.Get(), NewElement(doc.Get(), name).Get());
  EXPECT_EQ(XmlOf(fragment.Get()), "<x/><y/><z/>");
  ASSERT_HR(InsertBefore(root.Get(), fragment.Get(), a.Get()), S_OK);
  EXPECT_EQ(XmlOf(root.Get()), "<r><d/><e/><x/><y/><z/><a/></r>");
  EXPECT_EQ(ChildCount(fragment.Get()), 0);
}

TEST_F(NodeTypesTest, TreeChangesThatBreakTheTreeAreRefused) {
  auto doc = Parse("<r><a><b/></a><c/></r>");
  ASSERT_TRUE(doc);
  auto root = Root(doc.Get());
  auto a = SelectOne(doc.Get(), "/r/a"), b = SelectOne(doc.Get(), "/r/a/b"), c = SelectOne(doc.Get(), "/r/c");
  ASSERT_TRUE(a && b && c);
  const std::string before = XmlOf(root.Get());
  ComPtr<IXMLDOMNode> out;
  // Each refusal says why, for the host to show.
  auto Refused = [&](HRESULT hr, const char* what) {
    EXPECT_TRUE(FAILED(hr)) << what;
    EXPECT_NE(LastReason(), "") << what;
  };
  Refused(b->appendChild(a.Get(), out.Out()), "an ancestor under its descendant");
  Refused(a->appendChild(a.Get(), out.Out()), "a node under itself");
  Refused(root->removeChild(b.Get(), out.Out()), "b is a grandchild");
  Refused(a->replaceChild(c.Get(), c.Get(), out.Out()), "c is not a's child");
  Refused(InsertBefore(a.Get(), b.Get(), c.Get()), "reference not a child");
  Refused(root->appendChild(nullptr, out.Out()), "no node");
  ComPtr<IXMLDOMAttribute> attribute;
  ComPtr<IXMLDOMText> text;
  ComPtr<IXMLDOMDocumentFragment> empty;
  ASSERT_HR(doc->createAttribute(Bstr("x"), attribute.Out()), S_OK);
  ASSERT_HR(doc->createTextNode(Bstr("t"), text.Out()), S_OK);
  ASSERT_HR(doc->createDocumentFragment(empty.Out()), S_OK);
  Refused(root->appendChild(attribute.Get(), out.Out()), "attribute as a child");
  Refused(doc->appendChild(NewElement(doc.Get(), "second").Get(), out.Out()), "a second document element");
  Refused(doc->appendChild(text.Get(), out.Out()), "text at document level");
  Refused(doc->appendChild(doc.Get(), out.Out()), "the document under itself");
  Refused(text->appendChild(empty.Get(), out.Out()), "text holds no children, even none");
  EXPECT_EQ(XmlOf(root.Get()), before) << "refused changes must leave the tree as it was";
}

TEST_F(NodeTypesTest, TheXmlDeclarationGoesFirstInTheDocumentOnly) {
  auto doc = Parse("<!--c--><r><a/></r>");
  ASSERT_TRUE(doc);
  EXPECT_EQ(XmlOf(doc.Get()), "<!--c-->\r\n<r><a/></r>\r\n") << "none is written where the text had none";
  auto declaration = [&] {
    ComPtr<IXMLDOMProcessingInstruction> pi;
    EXPECT_HR(doc->createProcessingInstruction(Bstr("xml"), Bstr("version=\"1.0\""), pi.Out()), S_OK);
    return pi;
  };
  auto pi = declaration();
  ComPtr<IXMLDOMNode> out, first;
  EXPECT_HR(doc->appendChild(pi.Get(), out.Out()), E_FAIL) << "after the root";
  EXPECT_HR(Root(doc.Get())->appendChild(pi.Get(), out.Out()), E_FAIL) << "inside an element";
  EXPECT_HR(InsertBefore(doc.Get(), pi.Get(), Root(doc.Get()).Get()), E_FAIL) << "after the comment";
  ASSERT_HR(doc->get_firstChild(first.Out()), S_OK);
  ASSERT_HR(InsertBefore(doc.Get(), pi.Get(), first.Get()), S_OK);
  EXPECT_EQ(XmlOf(doc.Get()), "<?xml version=\"1.0\"?>\r\n<!--c-->\r\n<r><a/></r>\r\n");
  // Nothing goes in front of it, and a second one goes nowhere.
  ComPtr<IXMLDOMComment> comment;
  ASSERT_HR(doc->createComment(Bstr("d"), comment.Out()), S_OK);
  EXPECT_HR(InsertBefore(doc.Get(), comment.Get(), pi.Get()), E_FAIL);
  EXPECT_HR(InsertBefore(doc.Get(), declaration().Get(), pi.Get()), E_FAIL);
  ASSERT_HR(doc->replaceChild(declaration().Get(), pi.Get(), out.Out()), S_OK) << "one for another";
  EXPECT_EQ(XmlOf(doc.Get()), "<?xml version=\"1.0\"?>\r\n<!--c-->\r\n<r><a/></r>\r\n");
}

// The declaration is a processing instruction whose pseudo-attributes read
// as its attributes, read-only. The xml property leaves out its encoding
// (the text is no longer in it); its data keeps everything.
TEST_F(NodeTypesTest, TheXmlDeclarationListsItsPseudoAttributes) {
  auto doc = Parse("<?xml version='1.0' encoding='ISO-8859-1' standalone='yes'?><?other a='1'?><r/>");
  ASSERT_TRUE(doc);
  ComPtr<IXMLDOMNode> declaration, other;
  ASSERT_HR(doc->get_firstChild(declaration.Out()), S_OK);
  ASSERT_HR(declaration->get_nextSibling(other.Out()), S_OK);
  EXPECT_EQ(TypeOf(declaration.Get()), NODE_PROCESSING_INSTRUCTION);
  EXPECT_EQ(NameOf(declaration.Get()), "xml");
  Variant data;
  ASSERT_HR(declaration->get_nodeValue(data.Out()), S_OK);
  EXPECT_EQ(data.Utf8(), "version='1.0' encoding='ISO-8859-1' standalone='yes'");
  EXPECT_EQ(XmlOf(declaration.Get()), "<?xml version='1.0' standalone='yes'?>");
  EXPECT_EQ(XmlOf(doc.Get()), "<?xml version='1.0' standalone='yes'?>\r\n<?other a='1'?>\r\n<r/>\r\n");

  ComPtr<IXMLDOMNamedNodeMap> attributes, none;
  ComPtr<IUnknown> items;
  ASSERT_HR(declaration->get_attributes(attributes.Out()), S_OK);
  ASSERT_HR(attributes->get__newEnum(items.Out()), S_OK);
  EXPECT_EQ(EnumeratedNames(items.Get()), (std::vector<std::string>{"version", "encoding", "standalone"}));
  auto encoding = Named(attributes.Get(), "encoding");
  ComPtr<IXMLDOMNode> again;
  EXPECT_EQ(TextOf(encoding.Get()), "ISO-8859-1");
  EXPECT_EQ(TypeOf(encoding.Get()), NODE_ATTRIBUTE);
  ASSERT_HR(attributes->get_item(1, again.Out()), S_OK);
  EXPECT_EQ(IdentityOf(again.Get()), IdentityOf(encoding.Get()));
  EXPECT_TRUE(FAILED(encoding->put_text(Bstr("UTF-8"))));
  EXPECT_TRUE(FAILED(attributes->removeNamedItem(Bstr("version"), again.Out())));
  EXPECT_NE(LastReason(), "");
  // That reason is that call's alone: a later failure without one leaves none.
  EXPECT_TRUE(FAILED(attributes->removeNamedItem(Bstr("version"), again.Out())));
  EXPECT_HR(encoding->hasChildNodes(nullptr), E_INVALIDARG);
  EXPECT_EQ(LastReason(), "");
  EXPECT_EQ(TextOf(encoding.Get()), "ISO-8859-1");
  EXPECT_HR(other->get_attributes(none.Out()), S_FALSE) << "another instruction has none";
  EXPECT_FALSE(none);
  // A declaration made and not yet inserted lists them too.
  ComPtr<IXMLDOMProcessingInstruction> made;
  ASSERT_HR(doc->createProcessingInstruction(Bstr("xml"), Bstr("version='1.0' standalone='no'"), made.Out()), S_OK);
  ASSERT_HR(made->get_attributes(attributes.Out()), S_OK);
  ASSERT_HR(attributes->get__newEnum(items.Out()), S_OK);
  EXPECT_EQ(EnumeratedNames(items.Get()), (std::vector<std::string>{"version", "standalone"}));
}

TEST_F(NodeTypesTest, CloneNodeCopiesDeepOrShallowAndDetached) {
  auto doc = Parse("<r><a x='1'><b>t</b></a></r>");
  ASSERT_TRUE(doc);
  auto a = SelectOne(doc.Get(), "/r/a");
  ASSERT_TRUE(a);
  ComPtr<IXMLDOMNode> deep, shallow, parent, docCopy;
  ComPtr<IXMLDOMDocument> owner;
  ASSERT_HR(a->cloneNode(VARIANT_TRUE, deep.Out()), S_OK);
  ASSERT_HR(a->cloneNode(VARIANT_FALSE, shallow.Out()), S_OK);
  EXPECT_EQ(XmlOf(deep.Get()), "<a x=\"1\"><b>t</b></a>");
  EXPECT_EQ(XmlOf(shallow.Get()), "<a x=\"1\"/>") << "a shallow element copy keeps its attributes";
  EXPECT_HR(deep->get_parentNode(parent.Out()), S_FALSE);
  EXPECT_HR(deep->get_ownerDocument(owner.Out()), S_OK);
  EXPECT_EQ(IdentityOf(owner.Get()), IdentityOf(doc.Get()));
  EXPECT_HR(deep->put_text(Bstr("changed")), S_OK);
  EXPECT_EQ(TextOf(a.Get()), "t") << "editing the copy leaves the original alone";
  ASSERT_HR(doc->cloneNode(VARIANT_TRUE, docCopy.Out()), S_OK);
  EXPECT_EQ(TypeOf(docCopy.Get()), NODE_DOCUMENT);
  EXPECT_NE(IdentityOf(docCopy.Get()), IdentityOf(doc.Get()));
  EXPECT_EQ(TextOf(SelectOne(docCopy.Get(), "/r/a/b").Get()), "t");

  // Edits can nest deeper than a copy can go: the deep copy is refused,
  // the shallow one still made.
  ComPtr<IXMLDOMNode> deepest = a;
  for (int level = 0; level < 5001; ++level) {
    auto child = NewElement(doc.Get(), "n");
    Append(deepest.Get(), child.Get());
    deepest = child;
  }
  ComPtr<IXMLDOMNode> refused, single;
  EXPECT_HR(a->cloneNode(VARIANT_TRUE, refused.Out()), E_FAIL);
  EXPECT_HR(doc->cloneNode(VARIANT_TRUE, refused.Out()), E_FAIL);
  EXPECT_FALSE(refused);
  EXPECT_HR(a->cloneNode(VARIANT_FALSE, single.Out()), S_OK);
}

TEST_F(NodeTypesTest, NodeValueTextParsedSpecifiedAndImplementation) {
  auto doc = Parse("<r a='1'>text<!--c--><b><c/></b></r>");
  ASSERT_TRUE(doc);
  for (const char* query : {"/r", "/r/@a", "/r/text()"}) {
    auto node = SelectOne(doc.Get(), query);
    ASSERT_TRUE(node) << query;
    VARIANT_BOOL parsed = VARIANT_FALSE, specified = VARIANT_FALSE;
    ComPtr<IXMLDOMNode> definition;
    EXPECT_HR(node->get_parsed(&parsed), S_OK) << query;
    EXPECT_HR(node->get_specified(&specified), S_OK) << query;
    EXPECT_EQ(parsed + specified, 2 * VARIANT_TRUE) << query;
    EXPECT_HR(node->get_definition(definition.Out()), S_FALSE) << "no schema, no definition";
  }
  ComPtr<IXMLDOMImplementation> impl;
  ASSERT_HR(doc->get_implementation(impl.Out()), S_OK);
  for (const char* feature : {"XML", "DOM", "teleport"}) {
    VARIANT_BOOL has = VARIANT_FALSE;
    EXPECT_HR(impl->hasFeature(Bstr(feature), Bstr("1.0"), &has), S_OK);
    EXPECT_EQ(has, std::string(feature) == "teleport" ? VARIANT_FALSE : VARIANT_TRUE) << feature;
  }
  // Values are written where the type has one, and text anywhere.
  auto root = Root(doc.Get());
  Variant value(Variant::Str("new"));
  EXPECT_TRUE(FAILED(root->put_nodeValue(value.get()))) << "an element has no value";
  EXPECT_TRUE(FAILED(doc->put_nodeValue(value.get())));
  for (const char* query : {"/r/@a", "/r/text()", "/r/comment()"}) {
    auto node = SelectOne(doc.Get(), query);
    ASSERT_TRUE(node) << query;
    EXPECT_HR(node->put_nodeValue(value.get()), S_OK) << query;
  }
  auto b = SelectOne(doc.Get(), "/r/b");
  EXPECT_HR(b->put_text(Bstr("x < y")), S_OK);
  EXPECT_EQ(ChildCount(b.Get()), 1);
  EXPECT_EQ(XmlOf(root.Get()), "<r a=\"new\">new<!--new--><b>x &lt; y</b></r>");

  // An attribute the document type supplies by default was not specified,
  // until the host gives it a value of its own.
  auto typed = Parse(
      "<!DOCTYPE r [<!ELEMENT r EMPTY><!ATTLIST r a CDATA #IMPLIED d CDATA 'x' e CDATA 'y'>]><r a='1' e='z'/>");
  ASSERT_TRUE(typed);
  auto typedRoot = Root(typed.Get());
  auto flag = [&](const char* query) {
    VARIANT_BOOL specified = 1;
    auto node = SelectOne(typed.Get(), query);
    EXPECT_TRUE(node && node->get_specified(&specified) == S_OK) << query;
    return specified;
  };
  EXPECT_EQ(flag("/r/@a"), VARIANT_TRUE);
  EXPECT_EQ(flag("/r/@e"), VARIANT_TRUE) << "written, though the type has a default";
  EXPECT_EQ(flag("/r/@d"), VARIANT_FALSE);
  ASSERT_HR(SetAttribute(typedRoot.Get(), "d", "mine"), S_OK);
  EXPECT_EQ(flag("/r/@d"), VARIANT_TRUE);
  // Removing an attribute with a default brings the default straight back.
  ASSERT_HR(typedRoot->removeAttribute(Bstr("e")), S_OK);
  EXPECT_HR(typedRoot->getAttribute(Bstr("e"), value.Out()), S_OK);
  EXPECT_EQ(value.Utf8(), "y");
  EXPECT_EQ(flag("/r/@e"), VARIANT_FALSE);
  ASSERT_HR(typedRoot->removeAttribute(Bstr("a")), S_OK);
  EXPECT_HR(typedRoot->getAttribute(Bstr("a"), value.Out()), S_FALSE) << "no default, gone";
  EXPECT_EQ(XmlOf(typedRoot.Get()), "<r d=\"mine\" e=\"y\"/>");
}

TEST_F(NodeTypesTest, NodeFromIdAndDocumentElementByReference) {
  auto doc = Parse(
      "<!DOCTYPE r [<!ELEMENT r (i*)><!ELEMENT i EMPTY><!ATTLIST i key ID #REQUIRED>]>"
      "<r><i key='k1'/><i key='k2'/></r>");
  ASSERT_TRUE(doc);
  // nodeFromID's answer, which XPath's id() shares.
  auto byId = [&](const char* value) {
    ComPtr<IXMLDOMNode> node;
    HRESULT hr = doc->nodeFromID(Bstr(value), node.Out());
    EXPECT_EQ(hr, node ? S_OK : S_FALSE) << value;
    auto queried = SelectOne(doc.Get(), ("id('" + std::string(value) + "')").c_str());
    EXPECT_EQ(IdentityOf(queried.Get()), IdentityOf(node.Get())) << "id('" << value << "')";
    return node;
  };
  ComPtr<IXMLDOMNode> found, copy, removed;
  ASSERT_TRUE(found = byId("k2"));
  EXPECT_EQ(XmlOf(found.Get()), "<i key=\"k2\"/>");
  EXPECT_FALSE(byId("k3"));
  // IDs of elements made, copied or changed after loading count too, and
  // only while the element is in the tree.
  auto made = NewElement(doc.Get(), "i");
  ASSERT_HR(SetAttribute(made.Get(), "key", "k3"), S_OK);
  EXPECT_FALSE(byId("k3")) << "not in the tree yet";
  Append(Root(doc.Get()).Get(), made.Get());
  ASSERT_TRUE(found = byId("k3"));
  EXPECT_EQ(IdentityOf(found.Get()), IdentityOf(made.Get()));
  auto first = SelectOne(doc.Get(), "/r/i[@key='k1']");
  ASSERT_HR(first->cloneNode(VARIANT_TRUE, copy.Out()), S_OK);
  ASSERT_HR(Root(doc.Get())->removeChild(first.Get(), removed.Out()), S_OK);
  EXPECT_FALSE(byId("k1")) << "removed";
  Append(Root(doc.Get()).Get(), copy.Get());
  ASSERT_TRUE(found = byId("k1"));
  EXPECT_EQ(IdentityOf(found.Get()), IdentityOf(copy.Get()));
  ASSERT_HR(SetAttribute(made.Get(), "key", "k4"), S_OK);
  EXPECT_FALSE(byId("k3")) << "the old value is gone";
  EXPECT_TRUE(byId("k4"));
  // The same through the value's own text node; then the element goes.
  auto key = SelectOne(doc.Get(), "/r/i[@key='k2']/@key");
  ASSERT_TRUE(key);
  ComPtr<IXMLDOMNode> keyChild;
  ASSERT_HR(key->get_firstChild(keyChild.Out()), S_OK);
  auto keyText = keyChild.As<IXMLDOMCharacterData>();
  ASSERT_TRUE(keyText);
  key = nullptr;
  keyChild = nullptr;
  ASSERT_HR(keyText->appendData(Bstr("z")), S_OK);
  EXPECT_FALSE(byId("k2")) << "the old value is gone";
  ASSERT_TRUE(found = byId("k2z"));
  ASSERT_HR(Root(doc.Get())->removeChild(found.Get(), removed.Out()), S_OK);
  found = nullptr;
  removed = nullptr;
  keyText = nullptr;
  EXPECT_FALSE(byId("k2"));
  EXPECT_FALSE(byId("k2z"));
  // A value another ID holds for a while stays an ID once changed again.
  ASSERT_HR(SetAttribute(made.Get(), "key", "k1"), S_OK);
  ASSERT_HR(SetAttribute(made.Get(), "key", "k5"), S_OK);
  ASSERT_TRUE(found = byId("k5"));
  EXPECT_EQ(IdentityOf(found.Get()), IdentityOf(made.Get()));
  // An ID attribute moved to another document leaves this one's IDs, and
  // is not looked for here once freed there.
  {
    auto parsed = Parse("<!DOCTYPE r [<!ELEMENT r ANY><!ATTLIST r key ID #IMPLIED>]><r key='m1'/>");
    auto other = Parse("<s/>");
    ASSERT_TRUE(parsed && other);
    ComPtr<IXMLDOMAttribute> moved, out;
    ASSERT_HR(Root(parsed.Get())->getAttributeNode(Bstr("key"), moved.Out()), S_OK);
    ASSERT_HR(Root(parsed.Get())->removeAttributeNode(moved.Get(), out.Out()), S_OK);
    ASSERT_HR(Root(other.Get())->setAttributeNode(moved.Get(), out.Out()), S_OK);
    ASSERT_HR(Root(other.Get())->removeAttributeNode(moved.Get(), out.Out()), S_OK);
    moved = nullptr;
    out = nullptr;
    other = nullptr;
    EXPECT_HR(parsed->nodeFromID(Bstr("m1"), found.Out()), S_FALSE);
    EXPECT_FALSE(SelectOne(parsed.Get(), "id('m1')"));
  }
  EXPECT_EQ(LengthOf(Select(doc.Get(), "id('k1 k4 k1')").Get()), 1) << "each element once";

  auto fresh = NewElement(doc.Get(), "fresh");
  ASSERT_HR(doc->putref_documentElement(fresh.Get()), S_OK);
  EXPECT_EQ(IdentityOf(Root(doc.Get()).Get()), IdentityOf(fresh.Get()));
  EXPECT_EQ(LengthOf(Select(doc.Get(), "/*").Get()), 1);
  EXPECT_EQ(XmlOf(Root(doc.Get()).Get()), "<fresh/>");
}

}  // namespace
}  // namespace ardo::test
