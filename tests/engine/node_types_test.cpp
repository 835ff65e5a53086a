// Every node type: created, identified, navigated, edited and serialised
// through the DOM interfaces.
#include "tests/engine/engine_test_fixture.h"

namespace ardo::test {
namespace {

class NodeTypesTest : public EngineTest {};

struct CreatedNodeCase {
  DOMNodeType type;
  const char* name;  // passed to createNode
  const char* nodeName;
  const char* typeString;
  VARTYPE valueType;  // of nodeValue
};

const CreatedNodeCase kCreatedNodes[] = {
    {NODE_ELEMENT, "e", "e", "element", VT_NULL},
    {NODE_ATTRIBUTE, "a", "a", "attribute", VT_BSTR},
    {NODE_TEXT, "", "#text", "text", VT_BSTR},
    {NODE_CDATA_SECTION, "", "#cdata-section", "cdatasection", VT_BSTR},
    {NODE_ENTITY_REFERENCE, "ent", "ent", "entityreference", VT_NULL},
    {NODE_PROCESSING_INSTRUCTION, "pi", "pi", "processinginstruction", VT_BSTR},
    {NODE_COMMENT, "", "#comment", "comment", VT_BSTR},
    {NODE_DOCUMENT_FRAGMENT, "", "#document-fragment", "documentfragment", VT_NULL},
};

TEST_F(NodeTypesTest, CreateNodeGivesEachTypeWithItsNameTypeStringAndValueKind) {
  auto doc = NewDocument();
  ASSERT_TRUE(doc);
  for (const CreatedNodeCase& c : kCreatedNodes) {
    SCOPED_TRACE(c.typeString);
    ardo::ComPtr<IXMLDOMNode> node;
    Variant type(Variant::I4(c.type));
    Bstr name(c.name), ns("");
    ASSERT_HR(doc->createNode(type.get(), name, ns, node.Out()), S_OK);
    ASSERT_TRUE(node);
    EXPECT_EQ(TypeOf(node.Get()), c.type);
    EXPECT_EQ(NameOf(node.Get()), c.nodeName);
    Bstr typeString;
    EXPECT_HR(node->get_nodeTypeString(typeString.Out()), S_OK);
    EXPECT_EQ(typeString.Utf8(), c.typeString);
    Variant value;
    EXPECT_TRUE(SUCCEEDED(node->get_nodeValue(value.Out())));
    EXPECT_EQ(value.vt(), c.valueType);
    // A new node is not in the tree yet, but belongs to its document.
    ardo::ComPtr<IXMLDOMNode> parent;
    EXPECT_HR(node->get_parentNode(parent.Out()), S_FALSE);
    EXPECT_FALSE(parent);
    ardo::ComPtr<IXMLDOMDocument> owner;
    EXPECT_HR(node->get_ownerDocument(owner.Out()), S_OK);
    EXPECT_EQ(IdentityOf(owner.Get()), IdentityOf(doc.Get()));
  }
}

TEST_F(NodeTypesTest, CreateNodeRefusesTypesThatOnlyParsingMakes) {
  auto doc = NewDocument();
  ASSERT_TRUE(doc);
  for (DOMNodeType t : {NODE_DOCUMENT, NODE_DOCUMENT_TYPE, NODE_ENTITY, NODE_NOTATION, NODE_INVALID}) {
    ardo::ComPtr<IXMLDOMNode> node;
    Variant type(Variant::I4(t));
    Bstr name("x"), ns("");
    EXPECT_TRUE(FAILED(doc->createNode(type.get(), name, ns, node.Out()))) << "type " << t;
    EXPECT_FALSE(node);
  }
}

TEST_F(NodeTypesTest, CreateNodeWithNamespaceGivesPrefixBaseNameAndUri) {
  auto doc = NewDocument();
  ASSERT_TRUE(doc);
  ardo::ComPtr<IXMLDOMNode> node;
  Variant type(Variant::I4(NODE_ELEMENT));
  Bstr name("p:item"), ns("urn:test");
  ASSERT_HR(doc->createNode(type.get(), name, ns, node.Out()), S_OK);
  Bstr prefix, base, uri;
  EXPECT_HR(node->get_prefix(prefix.Out()), S_OK);
  EXPECT_HR(node->get_baseName(base.Out()), S_OK);
  EXPECT_HR(node->get_namespaceURI(uri.Out()), S_OK);
  EXPECT_EQ(prefix.Utf8(), "p");
  EXPECT_EQ(base.Utf8(), "item");
  EXPECT_EQ(uri.Utf8(), "urn:test");
  // Serialised on its own, the element declares its namespace.
  EXPECT_EQ(XmlOf(node.Get()), "<p:item xmlns:p=\"urn:test\"/>");
}

struct InterfaceCase {
  const char* xmlQuery;  // selects the node in kMixed
  DOMNodeType type;
  std::vector<const IID*> answers;
  std::vector<const IID*> refuses;
};

const char kMixed[] =
    "<r a='1'><e/>text<![CDATA[cd]]><!--c--><?pi data?></r>";

TEST_F(NodeTypesTest, EachNodeAnswersItsOwnInterfacesAndRefusesOthers) {
  auto doc = Parse(kMixed);
  ASSERT_TRUE(doc);
  const InterfaceCase cases[] = {
      {"/r/e", NODE_ELEMENT, {&IID_IXMLDOMElement, &IID_IXMLDOMNode, &IID_IDispatch},
       {&IID_IXMLDOMText, &IID_IXMLDOMAttribute, &IID_IXMLDOMDocument}},
      {"/r/@a", NODE_ATTRIBUTE, {&IID_IXMLDOMAttribute, &IID_IXMLDOMNode}, {&IID_IXMLDOMElement}},
      {"/r/text()[1]", NODE_TEXT, {&IID_IXMLDOMText, &IID_IXMLDOMCharacterData},
       {&IID_IXMLDOMCDATASection, &IID_IXMLDOMComment}},
      {"/r/comment()", NODE_COMMENT, {&IID_IXMLDOMComment, &IID_IXMLDOMCharacterData},
       {&IID_IXMLDOMText}},
      {"/r/processing-instruction()", NODE_PROCESSING_INSTRUCTION,
       {&IID_IXMLDOMProcessingInstruction}, {&IID_IXMLDOMCharacterData}},
  };
  for (const InterfaceCase& c : cases) {
    SCOPED_TRACE(c.xmlQuery);
    auto node = SelectOne(doc.Get(), c.xmlQuery);
    ASSERT_TRUE(node);
    EXPECT_EQ(TypeOf(node.Get()), c.type);
    for (const IID* iid : c.answers) {
      void* p = nullptr;
      EXPECT_HR(node->QueryInterface(*iid, &p), S_OK);
      EXPECT_TRUE(p);
      if (p) static_cast<IUnknown*>(p)->Release();
    }
    for (const IID* iid : c.refuses) {
      void* p = reinterpret_cast<void*>(1);
      EXPECT_HR(node->QueryInterface(*iid, &p), E_NOINTERFACE);
      EXPECT_EQ(p, nullptr);
    }
  }
  // The CDATA section is a text node too.
  ardo::ComPtr<IXMLDOMNodeList> children;
  ASSERT_TRUE(SUCCEEDED(Root(doc.Get())->get_childNodes(children.Out())));
  ardo::ComPtr<IXMLDOMNode> cdata;
  ASSERT_HR(children->get_item(2, cdata.Out()), S_OK);
  ASSERT_EQ(TypeOf(cdata.Get()), NODE_CDATA_SECTION);
  ardo::ComPtr<IXMLDOMText> asText;
  EXPECT_HR(cdata->QueryInterface(IID_IXMLDOMText, reinterpret_cast<void**>(asText.Out())), S_OK);
  ardo::ComPtr<IXMLDOMCDATASection> asCdata;
  EXPECT_HR(cdata->QueryInterface(IID_IXMLDOMCDATASection, reinterpret_cast<void**>(asCdata.Out())), S_OK);
}

TEST_F(NodeTypesTest, DocumentAnswersDocumentInterfacesAndRefusesItsEventInterface) {
  auto doc = NewDocument();
  ASSERT_TRUE(doc);
  for (const IID* iid : {&IID_IUnknown, &IID_IDispatch, &IID_IXMLDOMNode, &IID_IXMLDOMDocument,
                         &IID_IXMLDOMDocument2}) {
    void* p = nullptr;
    EXPECT_HR(doc->QueryInterface(*iid, &p), S_OK);
    if (p) static_cast<IUnknown*>(p)->Release();
  }
  void* events = reinterpret_cast<void*>(1);
  EXPECT_HR(doc->QueryInterface(XMLDOMDocumentEvents::kIID, &events), E_NOINTERFACE);
  EXPECT_EQ(events, nullptr);
  EXPECT_HR(doc->QueryInterface(IID_IXMLDOMNode, nullptr), E_POINTER);
  EXPECT_EQ(TypeOf(doc.Get()), NODE_DOCUMENT);
  EXPECT_EQ(NameOf(doc.Get()), "#document");
}

TEST_F(NodeTypesTest, SiblingsParentsAndEndsOfAMixedChildList) {
  auto doc = Parse(kMixed);
  ASSERT_TRUE(doc);
  auto root = Root(doc.Get());
  ASSERT_TRUE(root);
  const DOMNodeType expected[] = {NODE_ELEMENT, NODE_TEXT, NODE_CDATA_SECTION, NODE_COMMENT,
                                  NODE_PROCESSING_INSTRUCTION};
  ardo::ComPtr<IXMLDOMNode> node;
  ASSERT_HR(root->get_firstChild(node.Out()), S_OK);
  ardo::ComPtr<IXMLDOMNode> previous;
  EXPECT_HR(node->get_previousSibling(previous.Out()), S_FALSE);
  EXPECT_FALSE(previous);
  size_t i = 0;
  while (node) {
    ASSERT_LT(i, std::size(expected));
    EXPECT_EQ(TypeOf(node.Get()), expected[i]) << "child " << i;
    ardo::ComPtr<IXMLDOMNode> parent;
    EXPECT_HR(node->get_parentNode(parent.Out()), S_OK);
    EXPECT_EQ(IdentityOf(parent.Get()), IdentityOf(root.Get()));
    if (previous) {
      ardo::ComPtr<IXMLDOMNode> back;
      EXPECT_HR(node->get_previousSibling(back.Out()), S_OK);
      EXPECT_EQ(IdentityOf(back.Get()), IdentityOf(previous.Get()));
    }
    previous = node;
    ardo::ComPtr<IXMLDOMNode> next;
    HRESULT hr = node->get_nextSibling(next.Out());
    EXPECT_EQ(hr, next ? S_OK : S_FALSE);
    node = next;
    ++i;
  }
  EXPECT_EQ(i, std::size(expected));
  ardo::ComPtr<IXMLDOMNode> last;
  EXPECT_HR(root->get_lastChild(last.Out()), S_OK);
  EXPECT_EQ(IdentityOf(last.Get()), IdentityOf(previous.Get()));

  // Leaves and the document itself have no such nodes.
  ardo::ComPtr<IXMLDOMNode> none;
  EXPECT_HR(previous->get_firstChild(none.Out()), S_FALSE);
  EXPECT_FALSE(none);
  EXPECT_HR(doc->get_parentNode(none.Out()), S_FALSE);
  EXPECT_FALSE(none);
  ardo::ComPtr<IXMLDOMDocument> owner;
  EXPECT_HR(doc->get_ownerDocument(owner.Out()), S_FALSE);
  EXPECT_FALSE(owner);
  VARIANT_BOOL has = VARIANT_TRUE;
  EXPECT_TRUE(SUCCEEDED(previous->hasChildNodes(&has)));
  EXPECT_EQ(has, VARIANT_FALSE);
  EXPECT_TRUE(SUCCEEDED(root->hasChildNodes(&has)));
  EXPECT_EQ(has, VARIANT_TRUE);
}

struct SerialiseCase {
  const char* what;
  std::string (*make)(IXMLDOMDocument* doc, IXMLDOMElement* root);
  const char* expectedRootXml;
};

std::string AddText(IXMLDOMDocument* doc, IXMLDOMElement* root) {
  ardo::ComPtr<IXMLDOMText> text;
  Bstr data("a<b&c>\"d\"");
  doc->createTextNode(data, text.Out());
  ardo::ComPtr<IXMLDOMNode> added;
  root->appendChild(text.Get(), added.Out());
  return XmlOf(text.Get());
}

std::string AddComment(IXMLDOMDocument* doc, IXMLDOMElement* root) {
  ardo::ComPtr<IXMLDOMComment> comment;
  Bstr data(" note ");
  doc->createComment(data, comment.Out());
  ardo::ComPtr<IXMLDOMNode> added;
  root->appendChild(comment.Get(), added.Out());
  return XmlOf(comment.Get());
}

std::string AddCdata(IXMLDOMDocument* doc, IXMLDOMElement* root) {
  ardo::ComPtr<IXMLDOMCDATASection> cdata;
  Bstr data("<raw & kept>");
  doc->createCDATASection(data, cdata.Out());
  ardo::ComPtr<IXMLDOMNode> added;
  root->appendChild(cdata.Get(), added.Out());
  return XmlOf(cdata.Get());
}

std::string AddPi(IXMLDOMDocument* doc, IXMLDOMElement* root) {
  ardo::ComPtr<IXMLDOMProcessingInstruction> pi;
  Bstr target("app"), data("go fast");
  doc->createProcessingInstruction(target, data, pi.Out());
  ardo::ComPtr<IXMLDOMNode> added;
  root->appendChild(pi.Get(), added.Out());
  return XmlOf(pi.Get());
}

std::string AddElementWithAttribute(IXMLDOMDocument* doc, IXMLDOMElement* root) {
  ardo::ComPtr<IXMLDOMElement> e;
  Bstr name("child");
  doc->createElement(name, e.Out());
  Bstr attr("q");
  Variant value(Variant::Str("x\"y<z&"));
  e->setAttribute(attr, value.get());
  ardo::ComPtr<IXMLDOMNode> added;
  root->appendChild(e.Get(), added.Out());
  return XmlOf(e.Get());
}

std::string AddEntityReference(IXMLDOMDocument* doc, IXMLDOMElement* root) {
  ardo::ComPtr<IXMLDOMEntityReference> ref;
  Bstr name("ent");
  doc->createEntityReference(name, ref.Out());
  ardo::ComPtr<IXMLDOMNode> added;
  root->appendChild(ref.Get(), added.Out());
  return XmlOf(ref.Get());
}

TEST_F(NodeTypesTest, CreatedNodesSerialiseAloneAndInTheirParent) {
  const struct {
    const char* what;
    std::string (*make)(IXMLDOMDocument*, IXMLDOMElement*);
    const char* nodeXml;
    const char* rootXml;
  } cases[] = {
      {"text", AddText, "a&lt;b&amp;c&gt;\"d\"", "<r>a&lt;b&amp;c&gt;\"d\"</r>"},
      {"comment", AddComment, "<!-- note -->", "<r><!-- note --></r>"},
      {"cdata", AddCdata, "<![CDATA[<raw & kept>]]>", "<r><![CDATA[<raw & kept>]]></r>"},
      {"pi", AddPi, "<?app go fast?>", "<r><?app go fast?></r>"},
      {"element", AddElementWithAttribute, "<child q=\"x&quot;y&lt;z&amp;\"/>",
       "<r><child q=\"x&quot;y&lt;z&amp;\"/></r>"},
      {"entity reference", AddEntityReference, "&ent;", "<r>&ent;</r>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto doc = Parse("<r/>");
    ASSERT_TRUE(doc);
    auto root = Root(doc.Get());
    ASSERT_TRUE(root);
    EXPECT_EQ(c.make(doc.Get(), root.Get()), c.nodeXml);
    EXPECT_EQ(XmlOf(root.Get()), c.rootXml);
  }
}

TEST_F(NodeTypesTest, ProcessingInstructionKeepsTargetAndDataInOrder) {
  auto doc = NewDocument();
  ASSERT_TRUE(doc);
  ardo::ComPtr<IXMLDOMProcessingInstruction> pi;
  Bstr target("xml-stylesheet"), data("href='a.xsl'");
  ASSERT_HR(doc->createProcessingInstruction(target, data, pi.Out()), S_OK);
  Bstr t, d;
  EXPECT_HR(pi->get_target(t.Out()), S_OK);
  EXPECT_HR(pi->get_data(d.Out()), S_OK);
  EXPECT_EQ(t.Utf8(), "xml-stylesheet");
  EXPECT_EQ(d.Utf8(), "href='a.xsl'");
  Bstr changed("href='b.xsl'");
  EXPECT_HR(pi->put_data(changed), S_OK);
  Variant value;
  EXPECT_HR(pi->get_nodeValue(value.Out()), S_OK);
  EXPECT_EQ(value.Utf8(), "href='b.xsl'");
  EXPECT_EQ(NameOf(pi.Get()), "xml-stylesheet");
}

// Offsets and lengths count UTF-16 code units: U+1F600 is two of them.
TEST_F(NodeTypesTest, CharacterDataEditsCountUtf16CodeUnits) {
  auto doc = Parse("<r>a\xF0\x9F\x98\x80" "bc</r>");
  ASSERT_TRUE(doc);
  auto node = SelectOne(doc.Get(), "/r/text()");
  ASSERT_TRUE(node);
  ardo::ComPtr<IXMLDOMCharacterData> text;
  ASSERT_HR(node->QueryInterface(IID_IXMLDOMCharacterData, reinterpret_cast<void**>(text.Out())), S_OK);
  long length = 0;
  EXPECT_HR(text->get_length(&length), S_OK);
  EXPECT_EQ(length, 5);
  Bstr part;
  EXPECT_HR(text->substringData(1, 2, part.Out()), S_OK);
  EXPECT_EQ(part.Utf8(), "\xF0\x9F\x98\x80");
  EXPECT_HR(text->substringData(3, 100, part.Out()), S_OK);  // a count past the end stops there
  EXPECT_EQ(part.Utf8(), "bc");
  EXPECT_HR(text->substringData(0, length, part.Out()), S_OK);
  EXPECT_EQ(part.Utf8(), "a\xF0\x9F\x98\x80" "bc");

  Bstr x("X");
  EXPECT_HR(text->insertData(3, x), S_OK);
  EXPECT_EQ(TextOf(text.Get()), "a\xF0\x9F\x98\x80Xbc");
  EXPECT_HR(text->deleteData(1, 2), S_OK);
  EXPECT_EQ(TextOf(text.Get()), "aXbc");
  Bstr yy("YY");
  EXPECT_HR(text->replaceData(1, 1, yy), S_OK);
  EXPECT_EQ(TextOf(text.Get()), "aYYbc");
  Bstr tail("!");
  EXPECT_HR(text->appendData(tail), S_OK);
  Bstr data;
  EXPECT_HR(text->get_data(data.Out()), S_OK);
  EXPECT_EQ(data.Utf8(), "aYYbc!");
  EXPECT_EQ(XmlOf(Root(doc.Get()).Get()), "<r>aYYbc!</r>");
}

TEST_F(NodeTypesTest, CharacterDataRejectsOffsetsOutsideTheData) {
  auto doc = Parse("<r>abc</r>");
  ASSERT_TRUE(doc);
  auto node = SelectOne(doc.Get(), "/r/text()");
  ASSERT_TRUE(node);
  ardo::ComPtr<IXMLDOMCharacterData> text;
  ASSERT_HR(node->QueryInterface(IID_IXMLDOMCharacterData, reinterpret_cast<void**>(text.Out())), S_OK);
  Bstr out, x("x");
  EXPECT_TRUE(FAILED(text->substringData(4, 1, out.Out())));
  EXPECT_TRUE(FAILED(text->substringData(-1, 1, out.Out())));
  EXPECT_TRUE(FAILED(text->substringData(0, -1, out.Out())));
  EXPECT_TRUE(FAILED(text->insertData(-1, x)));
  EXPECT_TRUE(FAILED(text->insertData(4, x)));
  EXPECT_TRUE(FAILED(text->deleteData(4, 1)));
  EXPECT_TRUE(FAILED(text->replaceData(-2, 1, x)));
  EXPECT_EQ(TextOf(text.Get()), "abc") << "a refused edit must change nothing";
  EXPECT_HR(text->insertData(3, x), S_OK);  // the end itself is a valid offset
  EXPECT_EQ(TextOf(text.Get()), "abcx");
}

TEST_F(NodeTypesTest, SplitTextLeavesTwoAdjacentTextNodes) {
  auto doc = Parse("<r>hello world</r>");
  ASSERT_TRUE(doc);
  auto node = SelectOne(doc.Get(), "/r/text()");
  ASSERT_TRUE(node);
  ardo::ComPtr<IXMLDOMText> text;
  ASSERT_HR(node->QueryInterface(IID_IXMLDOMText, reinterpret_cast<void**>(text.Out())), S_OK);
  ardo::ComPtr<IXMLDOMText> right;
  ASSERT_HR(text->splitText(5, right.Out()), S_OK);
  ASSERT_TRUE(right);
  EXPECT_EQ(TextOf(text.Get()), "hello");
  Bstr rightData;
  right->get_data(rightData.Out());
  EXPECT_EQ(rightData.Utf8(), " world");
  auto root = Root(doc.Get());
  EXPECT_EQ(ChildCount(root.Get()), 2);
  ardo::ComPtr<IXMLDOMNode> next;
  EXPECT_HR(text->get_nextSibling(next.Out()), S_OK);
  EXPECT_EQ(IdentityOf(next.Get()), IdentityOf(right.Get()));
  EXPECT_EQ(XmlOf(root.Get()), "<r>hello world</r>");
  ardo::ComPtr<IXMLDOMText> bad;
  EXPECT_TRUE(FAILED(text->splitText(6, bad.Out())));
  EXPECT_TRUE(FAILED(text->splitText(-1, bad.Out())));

  // Normalising merges them again.
  EXPECT_HR(root->normalize(), S_OK);
  EXPECT_EQ(ChildCount(root.Get()), 1);
  EXPECT_EQ(TextOf(root.Get()), "hello world");
}

TEST_F(NodeTypesTest, DocumentTypeListsEntitiesAndNotations) {
  auto doc = Parse(
      "<!DOCTYPE r [\n"
      "<!ELEMENT r ANY>\n"
      "<!ENTITY inner 'value'>\n"
      "<!ENTITY outer SYSTEM 'not-read.txt'>\n"
      "<!NOTATION viewer SYSTEM 'view.exe'>\n"
      "]><r>&inner;</r>");
  ASSERT_TRUE(doc);
  ardo::ComPtr<IXMLDOMDocumentType> doctype;
  ASSERT_HR(doc->get_doctype(doctype.Out()), S_OK);
  ASSERT_TRUE(doctype);
  EXPECT_EQ(TypeOf(doctype.Get()), NODE_DOCUMENT_TYPE);
  Bstr name;
  EXPECT_HR(doctype->get_name(name.Out()), S_OK);
  EXPECT_EQ(name.Utf8(), "r");
  EXPECT_EQ(NameOf(doctype.Get()), "r");

  ardo::ComPtr<IXMLDOMNamedNodeMap> entities;
  ASSERT_HR(doctype->get_entities(entities.Out()), S_OK);
  long count = 0;
  EXPECT_HR(entities->get_length(&count), S_OK);
  EXPECT_EQ(count, 2);
  ardo::ComPtr<IXMLDOMNode> outer;
  Bstr outerName("outer");
  ASSERT_HR(entities->getNamedItem(outerName, outer.Out()), S_OK);
  EXPECT_EQ(TypeOf(outer.Get()), NODE_ENTITY);
  ardo::ComPtr<IXMLDOMEntity> entity;
  ASSERT_HR(outer->QueryInterface(IID_IXMLDOMEntity, reinterpret_cast<void**>(entity.Out())), S_OK);
  Variant systemId;
  EXPECT_HR(entity->get_systemId(systemId.Out()), S_OK);
  EXPECT_EQ(systemId.Utf8(), "not-read.txt");

  ardo::ComPtr<IXMLDOMNamedNodeMap> notations;
  ASSERT_HR(doctype->get_notations(notations.Out()), S_OK);
  EXPECT_HR(notations->get_length(&count), S_OK);
  EXPECT_EQ(count, 1);
  ardo::ComPtr<IXMLDOMNode> viewer;
  ASSERT_HR(notations->get_item(0, viewer.Out()), S_OK);
  EXPECT_EQ(TypeOf(viewer.Get()), NODE_NOTATION);
  EXPECT_EQ(NameOf(viewer.Get()), "viewer");
  ardo::ComPtr<IXMLDOMNotation> notation;
  ASSERT_HR(viewer->QueryInterface(IID_IXMLDOMNotation, reinterpret_cast<void**>(notation.Out())), S_OK);
  Variant notationSystem;
  EXPECT_HR(notation->get_systemId(notationSystem.Out()), S_OK);
  EXPECT_EQ(notationSystem.Utf8(), "view.exe");

  // The internal entity's replacement text is part of the element's text.
  EXPECT_EQ(TextOf(Root(doc.Get()).Get()), "value");
}

TEST_F(NodeTypesTest, DocumentWithoutDoctypeAndEmptyDocumentAnswerNothing) {
  auto doc = NewDocument();
  ASSERT_TRUE(doc);
  ardo::ComPtr<IXMLDOMDocumentType> doctype;
  EXPECT_HR(doc->get_doctype(doctype.Out()), S_FALSE);
  EXPECT_FALSE(doctype);
  ardo::ComPtr<IXMLDOMElement> root;
  EXPECT_HR(doc->get_documentElement(root.Out()), S_FALSE);
  EXPECT_FALSE(root);
  EXPECT_EQ(ChildCount(doc.Get()), 0);
}

TEST_F(NodeTypesTest, FragmentChildrenMoveIntoTheParentAndLeaveItEmpty) {
  auto doc = Parse("<r><last/></r>");
  ASSERT_TRUE(doc);
  ardo::ComPtr<IXMLDOMDocumentFragment> fragment;
  ASSERT_HR(doc->createDocumentFragment(fragment.Out()), S_OK);
  for (const char* name : {"a", "b", "c"}) {
    ardo::ComPtr<IXMLDOMElement> e;
    Bstr n(name);
    ASSERT_HR(doc->createElement(n, e.Out()), S_OK);
    ardo::ComPtr<IXMLDOMNode> added;
    ASSERT_HR(fragment->appendChild(e.Get(), added.Out()), S_OK);
  }
  EXPECT_EQ(XmlOf(fragment.Get()), "<a/><b/><c/>");
  auto root = Root(doc.Get());
  auto last = SelectOne(doc.Get(), "/r/last");
  ASSERT_TRUE(last);
  Variant before(Variant::Unknown(last.Get()));
  ardo::ComPtr<IXMLDOMNode> inserted;
  ASSERT_HR(root->insertBefore(fragment.Get(), before.get(), inserted.Out()), S_OK);
  EXPECT_EQ(XmlOf(root.Get()), "<r><a/><b/><c/><last/></r>");
  EXPECT_EQ(ChildCount(fragment.Get()), 0);
}

TEST_F(NodeTypesTest, InsertReplaceRemoveAndAppendEditTheTree) {
  auto doc = Parse("<r><a/><b/><c/></r>");
  ASSERT_TRUE(doc);
  auto root = Root(doc.Get());
  auto a = SelectOne(doc.Get(), "/r/a");
  auto b = SelectOne(doc.Get(), "/r/b");
  auto c = SelectOne(doc.Get(), "/r/c");
  ASSERT_TRUE(a && b && c);

  // Appending a node that is already in the tree moves it.
  ardo::ComPtr<IXMLDOMNode> moved;
  ASSERT_HR(root->appendChild(a.Get(), moved.Out()), S_OK);
  EXPECT_EQ(IdentityOf(moved.Get()), IdentityOf(a.Get()));
  EXPECT_EQ(XmlOf(root.Get()), "<r><b/><c/><a/></r>");

  // insertBefore with an empty reference appends; with a node, goes before it.
  ardo::ComPtr<IXMLDOMElement> d;
  Bstr dName("d");
  ASSERT_HR(doc->createElement(dName, d.Out()), S_OK);
  Variant none;
  ardo::ComPtr<IXMLDOMNode> inserted;
  ASSERT_HR(root->insertBefore(d.Get(), none.get(), inserted.Out()), S_OK);
  EXPECT_EQ(XmlOf(root.Get()), "<r><b/><c/><a/><d/></r>");
  Variant beforeB(Variant::Dispatch(b.Get()));
  ASSERT_HR(root->insertBefore(d.Get(), beforeB.get(), inserted.Out()), S_OK);
  EXPECT_EQ(XmlOf(root.Get()), "<r><d/><b/><c/><a/></r>");

  // replaceChild hands back the old child, now detached.
  ardo::ComPtr<IXMLDOMElement> e;
  Bstr eName("e");
  ASSERT_HR(doc->createElement(eName, e.Out()), S_OK);
  ardo::ComPtr<IXMLDOMNode> old;
  ASSERT_HR(root->replaceChild(e.Get(), c.Get(), old.Out()), S_OK);
  EXPECT_EQ(IdentityOf(old.Get()), IdentityOf(c.Get()));
  ardo::ComPtr<IXMLDOMNode> parent;
  EXPECT_HR(c->get_parentNode(parent.Out()), S_FALSE);
  EXPECT_EQ(XmlOf(root.Get()), "<r><d/><b/><e/><a/></r>");

  // removeChild hands back the child, detached but usable.
  ardo::ComPtr<IXMLDOMNode> removed;
  ASSERT_HR(root->removeChild(b.Get(), removed.Out()), S_OK);
  EXPECT_EQ(IdentityOf(removed.Get()), IdentityOf(b.Get()));
  EXPECT_EQ(XmlOf(removed.Get()), "<b/>");
  EXPECT_EQ(XmlOf(root.Get()), "<r><d/><e/><a/></r>");
}

TEST_F(NodeTypesTest, TreeChangesThatBreakTheTreeAreRefused) {
  auto doc = Parse("<r><a><b/></a><c/></r>");
  ASSERT_TRUE(doc);
  auto root = Root(doc.Get());
  auto a = SelectOne(doc.Get(), "/r/a");
  auto b = SelectOne(doc.Get(), "/r/a/b");
  auto c = SelectOne(doc.Get(), "/r/c");
  auto attr = SelectOne(doc.Get(), "/r/a/@*");  // none: attribute made below
  ASSERT_TRUE(a && b && c);
  EXPECT_FALSE(attr);
  const std::string before = XmlOf(root.Get());
  ardo::ComPtr<IXMLDOMNode> out;

  EXPECT_TRUE(FAILED(b->appendChild(a.Get(), out.Out()))) << "an ancestor under its descendant";
  EXPECT_TRUE(FAILED(a->appendChild(a.Get(), out.Out()))) << "a node under itself";
  EXPECT_TRUE(FAILED(root->removeChild(b.Get(), out.Out()))) << "b is a grandchild";
  EXPECT_TRUE(FAILED(a->replaceChild(c.Get(), c.Get(), out.Out()))) << "c is not a's child";
  Variant ref(Variant::Unknown(c.Get()));
  EXPECT_TRUE(FAILED(a->insertBefore(b.Get(), ref.get(), out.Out()))) << "reference not a child";
  EXPECT_TRUE(FAILED(root->appendChild(nullptr, out.Out())));

  ardo::ComPtr<IXMLDOMAttribute> attribute;
  Bstr attrName("x");
  ASSERT_HR(doc->createAttribute(attrName, attribute.Out()), S_OK);
  EXPECT_TRUE(FAILED(root->appendChild(attribute.Get(), out.Out()))) << "attribute as a child";

  ardo::ComPtr<IXMLDOMElement> second;
  Bstr secondName("second");
  ASSERT_HR(doc->createElement(secondName, second.Out()), S_OK);
  EXPECT_TRUE(FAILED(doc->appendChild(second.Get(), out.Out()))) << "a second document element";

  ardo::ComPtr<IXMLDOMText> text;
  Bstr data("t");
  ASSERT_HR(doc->createTextNode(data, text.Out()), S_OK);
  EXPECT_TRUE(FAILED(doc->appendChild(text.Get(), out.Out()))) << "text at document level";

  EXPECT_TRUE(FAILED(doc->appendChild(doc.Get(), out.Out())));
  EXPECT_EQ(XmlOf(root.Get()), before) << "refused changes must leave the tree as it was";
}

TEST_F(NodeTypesTest, CreateElementRefusesInvalidNames) {
  auto doc = NewDocument();
  ASSERT_TRUE(doc);
  for (const char* name : {"", "1abc", "a b", "<x>"}) {
    ardo::ComPtr<IXMLDOMElement> e;
    Bstr n(name);
    EXPECT_TRUE(FAILED(doc->createElement(n, e.Out()))) << "'" << name << "'";
    EXPECT_FALSE(e);
  }
  ardo::ComPtr<IXMLDOMElement> ok;
  Bstr valid("_a-b.c");
  EXPECT_HR(doc->createElement(valid, ok.Out()), S_OK);
}

TEST_F(NodeTypesTest, CloneNodeCopiesDeepOrShallowAndDetached) {
  auto doc = Parse("<r><a x='1'><b>t</b></a></r>");
  ASSERT_TRUE(doc);
  auto a = SelectOne(doc.Get(), "/r/a");
  ASSERT_TRUE(a);
  ardo::ComPtr<IXMLDOMNode> deep, shallow;
  ASSERT_HR(a->cloneNode(VARIANT_TRUE, deep.Out()), S_OK);
  ASSERT_HR(a->cloneNode(VARIANT_FALSE, shallow.Out()), S_OK);
  EXPECT_EQ(XmlOf(deep.Get()), "<a x=\"1\"><b>t</b></a>");
  EXPECT_EQ(XmlOf(shallow.Get()), "<a x=\"1\"/>") << "a shallow element copy keeps its attributes";
  EXPECT_NE(IdentityOf(deep.Get()), IdentityOf(a.Get()));
  ardo::ComPtr<IXMLDOMNode> parent;
  EXPECT_HR(deep->get_parentNode(parent.Out()), S_FALSE);
  ardo::ComPtr<IXMLDOMDocument> owner;
  EXPECT_HR(deep->get_ownerDocument(owner.Out()), S_OK);
  EXPECT_EQ(IdentityOf(owner.Get()), IdentityOf(doc.Get()));

  // Editing the copy leaves the original alone.
  Bstr changed("changed");
  EXPECT_HR(deep->put_text(changed), S_OK);
  EXPECT_EQ(TextOf(a.Get()), "t");

  // A cloned document is a separate document with the same content.
  ardo::ComPtr<IXMLDOMNode> docCopy;
  ASSERT_HR(doc->cloneNode(VARIANT_TRUE, docCopy.Out()), S_OK);
  EXPECT_EQ(TypeOf(docCopy.Get()), NODE_DOCUMENT);
  EXPECT_NE(IdentityOf(docCopy.Get()), IdentityOf(doc.Get()));
  auto copiedA = SelectOne(docCopy.Get(), "/r/a/b");
  ASSERT_TRUE(copiedA);
  EXPECT_EQ(TextOf(copiedA.Get()), "t");
}

TEST_F(NodeTypesTest, NodeValueIsWritableOnlyWhereTheTypeHasOne) {
  auto doc = Parse("<r a='1'>text<!--c--></r>");
  ASSERT_TRUE(doc);
  auto root = Root(doc.Get());
  Variant value(Variant::Str("new"));
  EXPECT_TRUE(FAILED(root->put_nodeValue(value.get()))) << "an element has no value";
  EXPECT_TRUE(FAILED(doc->put_nodeValue(value.get())));
  for (const char* query : {"/r/@a", "/r/text()", "/r/comment()"}) {
    auto node = SelectOne(doc.Get(), query);
    ASSERT_TRUE(node) << query;
    EXPECT_HR(node->put_nodeValue(value.get()), S_OK) << query;
    Variant read;
    EXPECT_HR(node->get_nodeValue(read.Out()), S_OK);
    EXPECT_EQ(read.Utf8(), "new") << query;
  }
  EXPECT_EQ(XmlOf(root.Get()), "<r a=\"new\">new<!--new--></r>");
}

TEST_F(NodeTypesTest, PutTextOnAnElementReplacesItsChildren) {
  auto doc = Parse("<r><a>1</a><b><c/></b></r>");
  ASSERT_TRUE(doc);
  auto b = SelectOne(doc.Get(), "/r/b");
  ASSERT_TRUE(b);
  Bstr text("x < y");
  EXPECT_HR(b->put_text(text), S_OK);
  EXPECT_EQ(XmlOf(b.Get()), "<b>x &lt; y</b>");
  EXPECT_EQ(ChildCount(b.Get()), 1);
  EXPECT_EQ(TextOf(Root(doc.Get()).Get()), "1x < y");
}

TEST_F(NodeTypesTest, NodeFromIdFindsElementsByDeclaredIdAttribute) {
  auto doc = Parse(
      "<!DOCTYPE r [<!ELEMENT r (i*)><!ELEMENT i EMPTY><!ATTLIST i key ID #REQUIRED>]>"
      "<r><i key='k1'/><i key='k2'/></r>");
  ASSERT_TRUE(doc);
  ardo::ComPtr<IXMLDOMNode> found;
  Bstr k2("k2"), missing("k3");
  ASSERT_HR(doc->nodeFromID(k2, found.Out()), S_OK);
  ASSERT_TRUE(found);
  EXPECT_EQ(XmlOf(found.Get()), "<i key=\"k2\"/>");
  ardo::ComPtr<IXMLDOMNode> none;
  EXPECT_HR(doc->nodeFromID(missing, none.Out()), S_FALSE);
  EXPECT_FALSE(none);
}

TEST_F(NodeTypesTest, DocumentElementCanBeReplacedByReference) {
  auto doc = Parse("<old><x/></old>");
  ASSERT_TRUE(doc);
  ardo::ComPtr<IXMLDOMElement> fresh;
  Bstr name("fresh");
  ASSERT_HR(doc->createElement(name, fresh.Out()), S_OK);
  ASSERT_HR(doc->putref_documentElement(fresh.Get()), S_OK);
  auto root = Root(doc.Get());
  EXPECT_EQ(IdentityOf(root.Get()), IdentityOf(fresh.Get()));
  EXPECT_EQ(ChildCount(doc.Get()), 1);
  EXPECT_EQ(XmlOf(root.Get()), "<fresh/>");
}

TEST_F(NodeTypesTest, ParsedSpecifiedAndDefinitionOfPlainNodes) {
  auto doc = Parse("<r a='1'>t</r>");
  ASSERT_TRUE(doc);
  for (const char* query : {"/r", "/r/@a", "/r/text()"}) {
    auto node = SelectOne(doc.Get(), query);
    ASSERT_TRUE(node) << query;
    VARIANT_BOOL flag = VARIANT_FALSE;
    EXPECT_HR(node->get_parsed(&flag), S_OK) << query;
    EXPECT_EQ(flag, VARIANT_TRUE) << query;
    flag = VARIANT_FALSE;
    EXPECT_HR(node->get_specified(&flag), S_OK) << query;
    EXPECT_EQ(flag, VARIANT_TRUE) << query;
    ardo::ComPtr<IXMLDOMNode> definition;
    EXPECT_HR(node->get_definition(definition.Out()), S_FALSE) << "no schema, no definition";
    EXPECT_FALSE(definition);
  }
  VARIANT_BOOL parsed = VARIANT_FALSE;
  EXPECT_HR(doc->get_parsed(&parsed), S_OK);
  EXPECT_EQ(parsed, VARIANT_TRUE);
}

TEST_F(NodeTypesTest, ImplementationAnswersFeatureQueries) {
  auto doc = NewDocument();
  ASSERT_TRUE(doc);
  ardo::ComPtr<IXMLDOMImplementation> impl;
  ASSERT_HR(doc->get_implementation(impl.Out()), S_OK);
  ASSERT_TRUE(impl);
  VARIANT_BOOL has = VARIANT_FALSE;
  Bstr xml("XML"), dom("DOM"), v1("1.0"), bogus("teleport");
  EXPECT_HR(impl->hasFeature(xml, v1, &has), S_OK);
  EXPECT_EQ(has, VARIANT_TRUE);
  EXPECT_HR(impl->hasFeature(dom, v1, &has), S_OK);
  EXPECT_EQ(has, VARIANT_TRUE);
  EXPECT_HR(impl->hasFeature(bogus, v1, &has), S_OK);
  EXPECT_EQ(has, VARIANT_FALSE);
}

}  // namespace
}  // namespace ardo::test
