// Attributes through the element, as attribute nodes, and through the named
// node map that get_attributes hands out.
#include "tests/engine/engine_test_fixture.h"

namespace ardo::test {
namespace {

const char kXmlUri[] = "http://www.w3.org/XML/1998/namespace";
const char kXmlnsUri[] = "http://www.w3.org/2000/xmlns/";

class AttributesTest : public EngineTest {
 protected:
  ardo::ComPtr<IXMLDOMNamedNodeMap> MapOf(IXMLDOMNode* node) {
    ardo::ComPtr<IXMLDOMNamedNodeMap> map;
    EXPECT_HR(node->get_attributes(map.Out()), S_OK);
    return map;
  }
  long MapLength(IXMLDOMNode* node) {
    long n = -1;
    if (auto map = MapOf(node)) { EXPECT_HR(map->get_length(&n), S_OK); }
    return n;
  }
  // The names of a node's attributes, by index in its map.
  std::vector<std::string> MapNames(IXMLDOMNode* node) {
    std::vector<std::string> names;
    auto map = MapOf(node);
    for (long i = 0; map && i < MapLength(node); ++i) {
      ardo::ComPtr<IXMLDOMNode> item;
      EXPECT_HR(map->get_item(i, item.Out()), S_OK);
      names.push_back(item ? NameOf(item.Get()) : "?");
    }
    return names;
  }
  std::string UriOf(IXMLDOMNode* node) {
    Bstr uri;
    EXPECT_HR(node->get_namespaceURI(uri.Out()), S_OK);
    return uri.Utf8();
  }
  ardo::ComPtr<IXMLDOMElement> ElementAt(IXMLDOMNode* context, const char* query) {
    auto node = SelectOne(context, query);
    return node ? node.As<IXMLDOMElement>() : nullptr;
  }
  // getAttribute of one that is there: its text.
  std::string ValueOf(IXMLDOMElement* element, const char* name) {
    Variant value;
    EXPECT_HR(element->getAttribute(Bstr(name), value.Out()), S_OK) << name;
    EXPECT_EQ(value.vt(), VT_BSTR) << name;
    return value.Utf8();
  }
  HRESULT SetText(IXMLDOMElement* element, const char* name, const char* value) {
    Variant v(Variant::Str(value));
    return element->setAttribute(Bstr(name), v.get());
  }
  HRESULT SetNode(IXMLDOMElement* element, IXMLDOMNode* attribute) {
    ardo::ComPtr<IXMLDOMAttribute> replaced;
    auto attr = ardo::ComPtr<IXMLDOMNode>::Share(attribute).As<IXMLDOMAttribute>();
    return attr ? element->setAttributeNode(attr.Get(), replaced.Out()) : E_NOINTERFACE;
  }
  // createAttribute, with a value.
  ardo::ComPtr<IXMLDOMAttribute> NewAttribute(IXMLDOMDocument* doc, const char* name, const char* value) {
    ardo::ComPtr<IXMLDOMAttribute> attr;
    Variant v(Variant::Str(value));
    EXPECT_HR(doc->createAttribute(Bstr(name), attr.Out()), S_OK) << name;
    if (attr) { EXPECT_HR(attr->put_value(v.get()), S_OK); }
    return attr;
  }
  ardo::ComPtr<IXMLDOMNode> Created(IXMLDOMDocument* doc, DOMNodeType type, const char* name, const char* uri,
                                    HRESULT expected = S_OK) {
    ardo::ComPtr<IXMLDOMNode> node;
    Variant kind(Variant::I4(type));
    EXPECT_HR(doc->createNode(kind.get(), Bstr(name), Bstr(uri), node.Out()), expected) << name << " " << uri;
    return node;
  }
  // A name's namespace, read back from what the document writes.
  std::string Reloaded(IXMLDOMDocument* doc, const char* query) {
    auto back = Parse(XmlOf(doc).c_str());
    if (!back) return "(does not load)";
    SetProperty(back.Get(), "SelectionNamespaces", "xmlns:x='urn:x' xmlns:p='urn:p1'");
    auto node = SelectOne(back.Get(), query);
    return node ? UriOf(node.Get()) : "(not found)";
  }
  // A document loaded without validation, for subsets declaring only entities.
  ardo::ComPtr<IXMLDOMDocument2> Lenient(const char* xml) {
    auto doc = NewDocument();
    EXPECT_HR(doc->put_validateOnParse(VARIANT_FALSE), S_OK);
    EXPECT_HR(LoadXml(doc.Get(), xml), S_OK) << xml;
    return doc;
  }
};

TEST_F(AttributesTest, GetAndSetAttributeConvertAndReplaceValues) {
  auto doc = Parse("<r a='1' b='two &amp; more'/>");
  ASSERT_TRUE(doc);
  auto root = Root(doc.Get());
  EXPECT_EQ(ValueOf(root.Get(), "a"), "1");
  EXPECT_EQ(ValueOf(root.Get(), "b"), "two & more");
  for (const char* name : {"c", "A"}) {  // absent; names are case-sensitive
    Variant value;
    EXPECT_HR(root->getAttribute(Bstr(name), value.Out()), S_FALSE) << name;
    EXPECT_EQ(value.vt(), VT_NULL) << name;
  }
  Variant number(Variant::I4(-42)), boolean(Variant::Bool(true));
  EXPECT_HR(SetText(root.Get(), "a", "changed"), S_OK);
  EXPECT_HR(root->setAttribute(Bstr("n"), number.get()), S_OK);
  EXPECT_HR(root->setAttribute(Bstr("flag"), boolean.get()), S_OK);
  EXPECT_EQ(ValueOf(root.Get(), "n"), "-42");
  const std::string prefix = "<r a=\"changed\" b=\"two &amp; more\" n=\"-42\"";
  EXPECT_EQ(XmlOf(root.Get()).substr(0, prefix.size()), prefix);
  EXPECT_EQ(MapLength(root.Get()), 4);
  EXPECT_TRUE(FAILED(SetText(root.Get(), "1bad", "x"))) << "not a name";
  // A value by reference is read through it; one that refers to itself
  // is no value (and no endless loop).
  VARIANT inner = Variant::I4(7), outer, loop;
  VariantInit(&outer);
  outer.vt = VT_BYREF | VT_VARIANT;
  outer.pvarVal = &inner;
  EXPECT_HR(root->setAttribute(Bstr("ref"), outer), S_OK);
  EXPECT_NE(XmlOf(root.Get()).find(" ref=\"7\""), std::string::npos);
  VariantInit(&loop);
  loop.vt = VT_BYREF | VT_VARIANT;
  loop.pvarVal = &loop;
  EXPECT_TRUE(FAILED(root->setAttribute(Bstr("loop"), loop)));
}

// An attribute node is the element's live attribute without being its
// child; set in place of another it hands the old one back, set on another
// element while in use it is refused, and removed it stays usable but is no
// longer the element's.
TEST_F(AttributesTest, AttributeNodesAreSetReplacedAndRemoved) {
  auto doc = Parse("<r a='old' b='2'/>");
  ASSERT_TRUE(doc);
  auto root = Root(doc.Get());
  EXPECT_HR(root->removeAttribute(Bstr("b")), S_OK);
  ardo::ComPtr<IXMLDOMAttribute> node, old, removed, absent;
  ASSERT_HR(root->getAttributeNode(Bstr("a"), node.Out()), S_OK);
  ASSERT_TRUE(node);
  Bstr name;
  EXPECT_HR(node->get_name(name.Out()), S_OK);
  EXPECT_EQ(name.Utf8(), "a");
  EXPECT_EQ(XmlOf(node.Get()), "a=\"old\"");
  ardo::ComPtr<IXMLDOMNode> parent;
  EXPECT_HR(node->get_parentNode(parent.Out()), S_FALSE) << "an attribute has no parent";
  Variant newValue(Variant::Str("3")), oldValue;
  EXPECT_HR(node->put_value(newValue.get()), S_OK);
  EXPECT_EQ(XmlOf(root.Get()), "<r a=\"3\"/>") << "the node is the element's live attribute";
  EXPECT_HR(root->getAttributeNode(Bstr("zz"), absent.Out()), S_FALSE);
  EXPECT_FALSE(absent);

  auto fresh = NewAttribute(doc.Get(), "a", "new");
  ASSERT_HR(root->setAttributeNode(fresh.Get(), old.Out()), S_OK);
  ASSERT_TRUE(old);
  EXPECT_EQ(IdentityOf(old.Get()), IdentityOf(node.Get()));
  old->get_value(oldValue.Out());
  EXPECT_EQ(oldValue.Utf8(), "3");
  EXPECT_EQ(XmlOf(root.Get()), "<r a=\"new\"/>");
  // An attribute in use is set again on its own element and changes
  // nothing; on another it is refused, a declaration's node as any other.
  EXPECT_HR(SetNode(root.Get(), fresh.Get()), S_OK);
  EXPECT_EQ(XmlOf(root.Get()), "<r a=\"new\"/>");
  auto o = NewElement(doc.Get(), "o");
  EXPECT_TRUE(FAILED(SetNode(o.Get(), fresh.Get())));
  ASSERT_HR(root->removeAttributeNode(fresh.Get(), removed.Out()), S_OK);
  EXPECT_EQ(IdentityOf(removed.Get()), IdentityOf(fresh.Get()));
  EXPECT_EQ(XmlOf(root.Get()), "<r/>");
  EXPECT_EQ(XmlOf(removed.Get()), "a=\"new\"") << "a removed attribute stays usable";
  EXPECT_HR(root->removeAttributeNode(fresh.Get(), removed.Out()), E_INVALIDARG) << "no longer the element's";
  EXPECT_EQ(LastReason(), "The node is not an attribute of this element.");
  ASSERT_HR(LoadXml(doc.Get(), "<?xml version=\"1.0\"?><r xmlns:p='urn:p'><s/></r>"), S_OK);
  root = Root(doc.Get());
  auto s = ElementAt(doc.Get(), "/r/s");
  ardo::ComPtr<IXMLDOMAttribute> declaration;
  ASSERT_HR(root->getAttributeNode(Bstr("xmlns:p"), declaration.Out()), S_OK);
  EXPECT_HR(SetNode(root.Get(), declaration.Get()), S_OK);
  EXPECT_EQ(XmlOf(root.Get()), "<r xmlns:p=\"urn:p\"><s/></r>");
  EXPECT_HR(SetNode(s.Get(), declaration.Get()), E_FAIL);
  EXPECT_NE(LastReason().find("belongs to another element"), std::string::npos);
  // The XML declaration's pseudo-attributes belong to it alone.
  ardo::ComPtr<IXMLDOMNode> xmlDeclaration, version;
  ASSERT_HR(doc->get_firstChild(xmlDeclaration.Out()), S_OK);
  ASSERT_HR(MapOf(xmlDeclaration.Get())->get_item(0, version.Out()), S_OK);
  EXPECT_HR(SetNode(s.Get(), version.Get()), E_FAIL);
  EXPECT_HR(MapOf(s.Get())->setNamedItem(version.Get(), parent.Out()), E_FAIL);
  EXPECT_EQ(XmlOf(s.Get()), "<s/>");

  // An attribute made in the xml prefix is in the XML namespace and does
  // what a loaded one does: xml:space keeps the element's blanks.
  ASSERT_HR(LoadXml(doc.Get(), "<r><a>  sp  </a></r>"), S_OK);
  auto a = ElementAt(doc.Get(), "/r/a");
  ASSERT_TRUE(a);
  EXPECT_EQ(TextOf(a.Get()), "sp");
  auto space = NewAttribute(doc.Get(), "xml:space", "preserve");
  EXPECT_EQ(UriOf(space.Get()), kXmlUri);
  ASSERT_HR(SetNode(a.Get(), space.Get()), S_OK);
  EXPECT_EQ(TextOf(a.Get()), "  sp  ");
  EXPECT_EQ(XmlOf(a.Get()), "<a xml:space=\"preserve\">  sp  </a>");
}

TEST_F(AttributesTest, NamedNodeMapIndexesNamesAndIsLive) {
  auto doc = Parse("<r first='1' xmlns:p='urn:p' p:x='px' x='plain'>t<!--c--></r>");
  ASSERT_TRUE(doc);
  auto root = Root(doc.Get());
  auto map = MapOf(root.Get());
  ASSERT_TRUE(map);
  EXPECT_EQ(MapNames(root.Get()), (std::vector<std::string>{"first", "xmlns:p", "p:x", "x"}))
      << "namespace declarations are attributes too";
  ardo::ComPtr<IXMLDOMNode> node, item;
  EXPECT_HR(map->get_item(1000, item.Out()), S_FALSE);
  EXPECT_FALSE(item);
  ASSERT_HR(map->get_item(0, item.Out()), S_OK);
  EXPECT_EQ(TypeOf(item.Get()), NODE_ATTRIBUTE);
  ASSERT_HR(map->getNamedItem(Bstr("xmlns:p"), node.Out()), S_OK);
  EXPECT_EQ(TextOf(node.Get()), "urn:p");
  for (VARIANT_BOOL deep : {VARIANT_FALSE, VARIANT_TRUE}) {
    ardo::ComPtr<IXMLDOMNode> copy;
    ASSERT_HR(node->cloneNode(deep, copy.Out()), S_OK);
    EXPECT_EQ(XmlOf(copy.Get()), "xmlns:p=\"urn:p\"") << "a declaration copies as an attribute";
  }
  ASSERT_HR(map->getQualifiedItem(Bstr("x"), Bstr("urn:p"), node.Out()), S_OK);
  EXPECT_EQ(TextOf(node.Get()), "px");
  EXPECT_EQ(UriOf(node.Get()), "urn:p");
  ASSERT_HR(map->getQualifiedItem(Bstr("x"), Bstr(""), node.Out()), S_OK);
  EXPECT_EQ(TextOf(node.Get()), "plain");
  EXPECT_HR(map->getQualifiedItem(Bstr("x"), Bstr("urn:other"), node.Out()), S_FALSE);
  EXPECT_FALSE(node);
  ASSERT_HR(map->removeQualifiedItem(Bstr("x"), Bstr("urn:p"), node.Out()), S_OK);
  EXPECT_EQ(TextOf(node.Get()), "px");
  EXPECT_HR(map->getNamedItem(Bstr("x"), node.Out()), S_OK);
  EXPECT_EQ(TextOf(node.Get()), "plain");

  ASSERT_HR(SetText(root.Get(), "fourth", "4"), S_OK);
  EXPECT_EQ(MapNames(root.Get()), (std::vector<std::string>{"first", "xmlns:p", "x", "fourth"}))
      << "the map follows the element's changes";
  EXPECT_HR(map->setNamedItem(NewAttribute(doc.Get(), "fifth", "5").Get(), node.Out()), S_OK);
  EXPECT_EQ(XmlOf(root.Get()),
            "<r first=\"1\" xmlns:p=\"urn:p\" x=\"plain\" fourth=\"4\" fifth=\"5\">t<!--c--></r>");
  EXPECT_TRUE(FAILED(map->setNamedItem(NewElement(doc.Get(), "e").Get(), node.Out())))
      << "only attributes belong in an attribute map";
  ardo::ComPtr<IUnknown> unknown;
  ASSERT_HR(map->get__newEnum(unknown.Out()), S_OK);
  EXPECT_EQ(EnumeratedNames(unknown.Get()),
            (std::vector<std::string>{"first", "xmlns:p", "x", "fourth", "fifth"}));

  for (const char* query : {"/r/text()", "/r/comment()"}) {
    ardo::ComPtr<IXMLDOMNamedNodeMap> none;
    EXPECT_HR(SelectOne(doc.Get(), query)->get_attributes(none.Out()), S_FALSE) << query;
    EXPECT_FALSE(none);
  }
  EXPECT_EQ(MapLength(NewElement(doc.Get(), "e").Get()), 0) << "an element always has a map";
}

// Namespace declarations written after attributes keep their place among
// them: in the map, in what the document writes, in copies, and as the
// attributes around them go or are replaced.
TEST_F(AttributesTest, DeclarationsKeepTheirPlaceAmongAttributes) {
  using V = std::vector<std::string>;
  auto doc = Parse("<e a='1' xmlns:p='urn:p' b='2' xmlns='urn:d' p:c='3'><p:k q='1' xmlns:z='urn:z'/></e>");
  ASSERT_TRUE(doc);
  auto root = Root(doc.Get());
  const std::string written =
      "<e a=\"1\" xmlns:p=\"urn:p\" b=\"2\" xmlns=\"urn:d\" p:c=\"3\"><p:k q=\"1\" xmlns:z=\"urn:z\"/></e>";
  EXPECT_EQ(XmlOf(root.Get()), written);
  EXPECT_EQ(MapNames(root.Get()), (V{"a", "xmlns:p", "b", "xmlns", "p:c"}));
  ardo::ComPtr<IXMLDOMNode> clone;
  ASSERT_HR(doc->cloneNode(VARIANT_TRUE, clone.Out()), S_OK);
  EXPECT_EQ(XmlOf(clone.Get()), written + "\r\n");
  auto copied = NewDocument();
  ASSERT_EQ(LoadSource(copied.Get(), Variant::Dispatch(doc.Get())), VARIANT_TRUE);
  EXPECT_EQ(XmlOf(copied.Get()), written + "\r\n");
  ardo::ComPtr<IStream> stream;
  ASSERT_HR(ardo::CreateMemoryStream(stream.Out()), S_OK);
  Variant destination(Variant::Unknown(stream.Get()));
  ASSERT_HR(doc->save(destination.get()), S_OK);
  EXPECT_NE(StreamBytes(stream.Get()).find(written), std::string::npos);
  // A declaration follows the attribute before the one that went, or none;
  // a replacement takes the place of the one it replaces.
  EXPECT_HR(root->removeAttribute(Bstr("a")), S_OK);
  EXPECT_EQ(MapNames(root.Get()), (V{"xmlns:p", "b", "xmlns", "p:c"}));
  ASSERT_HR(SetNode(root.Get(), NewAttribute(doc.Get(), "b", "").Get()), S_OK);
  EXPECT_EQ(MapNames(root.Get()), (V{"xmlns:p", "b", "xmlns", "p:c"}));
  EXPECT_HR(root->removeAttribute(Bstr("b")), S_OK);
  EXPECT_EQ(XmlOf(root.Get()).rfind("<e xmlns:p=\"urn:p\" xmlns=\"urn:d\" p:c=\"3\">", 0), 0u) << XmlOf(root.Get());
  // Declarations written first stay first; so do those the document type
  // gives by default, and an xml declaration (which libxml2 keeps none of)
  // moves no other.
  const std::pair<const char*, const char*> kept[] = {
      {"<f xmlns:q='urn:q' x='1'/>", "<f xmlns:q=\"urn:q\" x=\"1\"/>"},
      {"<!DOCTYPE f [<!ATTLIST f xmlns:d CDATA #FIXED 'urn:d'>]>"
       "<f a='1' xmlns:xml='http://www.w3.org/XML/1998/namespace' xmlns:p='urn:p' b='2'/>",
       "<f xmlns:d=\"urn:d\" a=\"1\" xmlns:p=\"urn:p\" b=\"2\"/>"}};
  for (const auto& [xml, expected] : kept) EXPECT_EQ(XmlOf(Root(Lenient(xml).Get()).Get()), expected);
  // An entity reference's copy carries no places of its own (its children
  // are its entity's, below another parent).
  auto referring = Lenient("<!DOCTYPE r [<!ENTITY e '<b x=\"1\" xmlns:p=\"u\" y=\"2\"/>'>]><r>&e;</r>");
  ardo::ComPtr<IXMLDOMNode> reference, referenceCopy;
  ASSERT_HR(Root(referring.Get())->get_firstChild(reference.Out()), S_OK);
  ASSERT_HR(reference->cloneNode(VARIANT_TRUE, referenceCopy.Out()), S_OK);
  EXPECT_EQ(XmlOf(referenceCopy.Get()), "&e;");
  // An attribute taken out through a selection leaves the declaration after
  // the one before it.
  auto selected = Parse("<g a='1' b='2' xmlns:p='urn:p' c='3'/>");
  ASSERT_TRUE(selected);
  auto selection = Select(selected.Get(), "/g/@b").As<IXMLDOMSelection>();
  ASSERT_TRUE(selection);
  EXPECT_HR(selection->removeAll(), S_OK);
  EXPECT_EQ(XmlOf(Root(selected.Get()).Get()), "<g a=\"1\" xmlns:p=\"urn:p\" c=\"3\"/>");
}

// An attribute node named xmlns:p given to the map or the element is a
// declaration: it declares once, and may not rebind a prefix in use.
TEST_F(AttributesTest, AttributeNodesNamedXmlnsDeclareNamespaces) {
  auto doc = Parse("<r xmlns:p='urn:p' p:y='2'/>");
  ASSERT_TRUE(doc);
  auto root = Root(doc.Get());
  auto map = MapOf(root.Get());
  ASSERT_TRUE(map);
  ardo::ComPtr<IXMLDOMNode> out, set, parent;
  EXPECT_HR(map->setNamedItem(NewAttribute(doc.Get(), "xmlns:p", "urn:other").Get(), out.Out()), E_FAIL);
  auto q = NewAttribute(doc.Get(), "xmlns:q", "urn:q");
  ASSERT_TRUE(q);
  EXPECT_EQ(UriOf(q.Get()), kXmlnsUri) << "a declaration before it is set too";
  EXPECT_HR(map->setNamedItem(q.Get(), out.Out()), S_OK);
  ASSERT_HR(map->getNamedItem(Bstr("xmlns:q"), set.Out()), S_OK);
  EXPECT_EQ(IdentityOf(set.Get()), IdentityOf(q.Get())) << "the node given is the one in the tree";
  EXPECT_HR(q->get_parentNode(parent.Out()), S_FALSE) << "as any attribute";
  // One from another document comes over, as any attribute does.
  auto elsewhere = NewDocument();
  auto foreign = NewAttribute(elsewhere.Get(), "xmlns:f", "urn:f");
  ASSERT_TRUE(foreign);
  EXPECT_HR(map->setNamedItem(foreign.Get(), out.Out()), S_OK);
  ASSERT_HR(map->getNamedItem(Bstr("xmlns:f"), set.Out()), S_OK);
  EXPECT_EQ(IdentityOf(set.Get()), IdentityOf(foreign.Get()));
  ardo::ComPtr<IXMLDOMDocument> foreignOwner;
  ASSERT_HR(foreign->get_ownerDocument(foreignOwner.Out()), S_OK);
  EXPECT_EQ(IdentityOf(foreignOwner.Get()), IdentityOf(doc.Get()));
  ASSERT_HR(map->removeNamedItem(Bstr("xmlns:f"), out.Out()), S_OK);
  EXPECT_HR(SetNode(root.Get(), NewAttribute(doc.Get(), "xmlns:p", "urn:p").Get()), S_OK);
  const std::string both = "<r xmlns:p=\"urn:p\" xmlns:q=\"urn:q\" p:y=\"2\"/>";
  EXPECT_EQ(XmlOf(root.Get()), both);
  EXPECT_TRUE(Parse(XmlOf(root.Get()).c_str())) << "the text reloads";

  // Declarations that would change a name's namespace in the text, or that
  // the reserved names forbid, are refused; xml's own binding is a no-op.
  const struct {
    const char *name, *value;
    HRESULT expected;
  } cases[] = {{"xmlns", "urn:e", E_FAIL},         {"xmlns:xml", kXmlUri, S_OK},
               {"xmlns:xml", "urn:bad", E_FAIL},   {"xmlns:xmlns", "urn:bad", E_FAIL},
               {"xmlns:z", kXmlnsUri, E_FAIL},     {"xmlns:z", kXmlUri, E_FAIL},
               {"xmlns:p", "urn:other", E_FAIL}};  // a declaration in use keeps its namespace
  for (const auto& c : cases) {
    EXPECT_HR(SetText(root.Get(), c.name, c.value), c.expected) << c.name << "=" << c.value;
    if (FAILED(c.expected)) { EXPECT_NE(LastReason(), "") << c.name << "=" << c.value; }
  }
  EXPECT_EQ(XmlOf(root.Get()), both);
  // One that no name uses changes, and a name put in it afterwards binds to
  // it, for queries too.
  EXPECT_HR(SetText(root.Get(), "xmlns:q", "urn:changed"), S_OK);
  EXPECT_EQ(XmlOf(root.Get()), "<r xmlns:p=\"urn:p\" xmlns:q=\"urn:changed\" p:y=\"2\"/>");
  Append(root.Get(), Created(doc.Get(), NODE_ELEMENT, "q:k", "urn:changed").Get());
  SetProperty(doc.Get(), "SelectionNamespaces", "xmlns:n='urn:changed'");
  EXPECT_EQ(LengthOf(Select(doc.Get(), "/r/n:k").Get()), 1);
  EXPECT_EQ(XmlOf(root.Get()), "<r xmlns:p=\"urn:p\" xmlns:q=\"urn:changed\" p:y=\"2\"><q:k/></r>");
  // A name below that uses one keeps it; the declaration's own node changes
  // the same way.
  auto inner = Parse("<r xmlns:q='urn:q' xmlns:u='urn:u'><x><q:y/></x></r>");
  ASSERT_TRUE(inner);
  auto innerRoot = Root(inner.Get());
  EXPECT_HR(SetText(innerRoot.Get(), "xmlns:q", "urn:changed"), E_FAIL) << "a name below uses it";
  ardo::ComPtr<IXMLDOMAttribute> used, unused;
  ASSERT_HR(innerRoot->getAttributeNode(Bstr("xmlns:q"), used.Out()), S_OK);
  ASSERT_HR(innerRoot->getAttributeNode(Bstr("xmlns:u"), unused.Out()), S_OK);
  Variant changed(Variant::Str("urn:changed"));
  EXPECT_HR(used->put_value(changed.get()), E_FAIL);
  EXPECT_HR(unused->put_value(changed.get()), S_OK);
  EXPECT_HR(unused->put_text(Bstr("urn:text")), S_OK);
  EXPECT_EQ(XmlOf(innerRoot.Get()), "<r xmlns:q=\"urn:q\" xmlns:u=\"urn:text\"><x><q:y/></x></r>");

  // Nor does createNode bind the reserved names or namespaces otherwise.
  const struct {
    DOMNodeType type;
    const char *name, *uri;
  } reserved[] = {{NODE_ELEMENT, "p:e", kXmlnsUri},     {NODE_ELEMENT, "p:e", kXmlUri},
                  {NODE_ELEMENT, "xml:e", "urn:q"},     {NODE_ELEMENT, "xmlns:e", kXmlnsUri},
                  {NODE_ATTRIBUTE, "xml:lang", "urn:q"}, {NODE_ATTRIBUTE, "a", kXmlUri},
                  {NODE_ATTRIBUTE, "p:a", kXmlnsUri}};
  for (const auto& c : reserved) {
    Created(doc.Get(), c.type, c.name, c.uri, E_FAIL);
    EXPECT_NE(LastReason(), "") << c.name;
  }
  ASSERT_HR(map->setNamedItem(Created(doc.Get(), NODE_ATTRIBUTE, "xml:lang", kXmlUri).Get(), out.Out()), S_OK);
  EXPECT_NE(XmlOf(root.Get()).find(" xml:lang=\"\""), std::string::npos) << XmlOf(root.Get());
  EXPECT_TRUE(Parse(XmlOf(root.Get()).c_str())) << "the text reloads";
}

// A namespace declaration can be removed like any attribute; the names
// that used it keep their namespace and the text declares it where needed.
TEST_F(AttributesTest, NamespaceDeclarationsCanBeRemovedWithoutChangingNames) {
  auto doc = Parse("<r xmlns:p='urn:p' xmlns:q='urn:q'><p:c/><p:d/></r>");
  ASSERT_TRUE(doc);
  auto root = Root(doc.Get());
  auto d = SelectOne(doc.Get(), "/r/*[2]");
  ardo::ComPtr<IXMLDOMNode> removed, copy;
  ASSERT_HR(root->removeChild(d.Get(), removed.Out()), S_OK);
  ASSERT_HR(root->removeAttribute(Bstr("xmlns:q")), S_OK);
  EXPECT_EQ(XmlOf(root.Get()), "<r xmlns:p=\"urn:p\"><p:c/></r>");
  ASSERT_HR(MapOf(root.Get())->removeNamedItem(Bstr("xmlns:p"), copy.Out()), S_OK);
  EXPECT_EQ(XmlOf(copy.Get()), "xmlns:p=\"urn:p\"") << "the caller gets the declaration as an attribute";
  EXPECT_EQ(MapLength(root.Get()), 0);
  EXPECT_EQ(XmlOf(root.Get()), "<r><p:c xmlns:p=\"urn:p\"/></r>");
  EXPECT_EQ(UriOf(SelectOne(root.Get(), "*").Get()), "urn:p");
  EXPECT_EQ(XmlOf(d.Get()), "<p:d xmlns:p=\"urn:p\"/>") << "a node removed before still has its namespace";

  // A declaration the host holds as a node is removed all the same: the
  // node becomes an attribute in no tree, and is what the removal returns.
  ASSERT_HR(LoadXml(doc.Get(), "<r xmlns:p='urn:p' xmlns:q='urn:q'/>"), S_OK);
  root = Root(doc.Get());
  ardo::ComPtr<IXMLDOMAttribute> held, q, removedQ;
  ASSERT_HR(root->getAttributeNode(Bstr("xmlns:p"), held.Out()), S_OK);
  EXPECT_HR(root->removeAttribute(Bstr("xmlns:p")), S_OK);
  ardo::ComPtr<IXMLDOMNode> parent;
  EXPECT_HR(held->get_parentNode(parent.Out()), S_FALSE);
  EXPECT_EQ(XmlOf(held.Get()), "xmlns:p=\"urn:p\"");
  ASSERT_HR(root->getAttributeNode(Bstr("xmlns:q"), q.Out()), S_OK);
  ASSERT_HR(root->removeAttributeNode(q.Get(), removedQ.Out()), S_OK);
  EXPECT_EQ(IdentityOf(removedQ.Get()), IdentityOf(q.Get()));
  EXPECT_EQ(XmlOf(root.Get()), "<r/>");
  EXPECT_HR(SetNode(root.Get(), q.Get()), S_OK) << "and it declares again";
  EXPECT_EQ(XmlOf(root.Get()), "<r xmlns:q=\"urn:q\"/>");
  ASSERT_HR(MapOf(root.Get())->removeQualifiedItem(Bstr("q"), Bstr(kXmlnsUri), copy.Out()), S_OK);
  EXPECT_EQ(XmlOf(copy.Get()), "xmlns:q=\"urn:q\"");
  EXPECT_EQ(XmlOf(root.Get()), "<r/>");
}

// A removed declaration goes once the names below its element use the
// document's copy of it: adding and removing one again and again leaves
// every name its namespace, moved ones too (the sanitizers would see a name
// left on a freed declaration).
TEST_F(AttributesTest, RemovedDeclarationsLeaveEveryNameItsNamespace) {
  auto doc = Lenient("<!DOCTYPE r [<!ENTITY e '<p:c p:k=\"1\"/>'>]>"
                     "<r><e xmlns:p='urn:p'><p:a p:x='1'><p:b/></p:a>&e;</e><f/></r>");
  auto e = ElementAt(doc.Get(), "/r/e");
  auto f = SelectOne(doc.Get(), "/r/f");
  auto b = SelectOne(doc.Get(), "//*[local-name()='b']");
  ASSERT_TRUE(e && f && b);
  Append(f.Get(), b.Get());
  for (int i = 0; i < 200; ++i) {
    ASSERT_HR(e->removeAttribute(Bstr("xmlns:p")), S_OK);
    ASSERT_HR(SetText(e.Get(), "xmlns:p", "urn:p"), S_OK);
  }
  ASSERT_HR(e->removeAttribute(Bstr("xmlns:p")), S_OK);
  EXPECT_EQ(XmlOf(f.Get()), "<f><p:b xmlns:p=\"urn:p\"/></f>");
  auto a = SelectOne(e.Get(), "*[1]");
  auto x = a ? SelectOne(a.Get(), "@*") : nullptr;
  ASSERT_TRUE(x);
  for (IXMLDOMNode* n : {a.Get(), b.Get(), x.Get()}) EXPECT_EQ(UriOf(n), "urn:p") << XmlOf(n);
  EXPECT_NE(XmlOf(a.Get()).find("xmlns:p=\"urn:p\""), std::string::npos) << XmlOf(a.Get());
  Lenient(XmlOf(doc.Get()).c_str());  // what it writes loads again
}

TEST_F(AttributesTest, NamespaceNamesAreAnyTextAndComeBackAsTheyWereGiven) {
  // A reference to "&" in a declaration is the character, as in any value.
  auto doc = Parse("<p:r xmlns:p=\"urn:a&amp;b\" xmlns:q='urn:c&#38;d'><q:e/></p:r>");
  ASSERT_TRUE(doc);
  EXPECT_EQ(UriOf(Root(doc.Get()).Get()), "urn:a&b");
  EXPECT_EQ(UriOf(SelectOne(doc.Get(), "//*[local-name()='e']").Get()), "urn:c&d");
  SetProperty(doc.Get(), "SelectionNamespaces", "xmlns:x='urn:a&b'");
  EXPECT_TRUE(SelectOne(doc.Get(), "/x:r"));
  const std::string written = "<p:r xmlns:p=\"urn:a&amp;b\" xmlns:q=\"urn:c&amp;d\"><q:e/></p:r>\r\n";
  EXPECT_EQ(XmlOf(doc.Get()), written);
  ASSERT_HR(LoadXml(doc.Get(), written.c_str()), S_OK);
  EXPECT_EQ(XmlOf(doc.Get()), written);
  // A name given by the host is written escaped, and names that are not
  // URIs load as they were created.
  auto built = NewDocument();
  for (const char* uri : {"urn:x&y<z\"'", "urn:a b", "http://ex.com/\xC3\xA4"}) {
    ardo::ComPtr<IXMLDOMNode> node = Created(built.Get(), NODE_ELEMENT, "p:r", uri), old;
    if (auto root = Root(built.Get()))
      ASSERT_HR(built->replaceChild(node.Get(), root.Get(), old.Out()), S_OK);
    else
      Append(built.Get(), node.Get());
    auto copy = Parse(XmlOf(built.Get()).c_str());
    ASSERT_TRUE(copy) << uri;
    EXPECT_EQ(UriOf(Root(copy.Get()).Get()), uri);
  }
  // The names are not checked, but the other namespace rules still are.
  auto broken = NewDocument();
  EXPECT_HR(LoadXml(broken.Get(), "<p:r xmlns:q='a b'/>"), S_FALSE);
  EXPECT_NE(ErrorOf(broken.Get()).reason.find("prefix p "), std::string::npos) << ErrorOf(broken.Get()).reason;
}

TEST_F(AttributesTest, ANodeCopiedOrTakenOutOfItsDeclaringElementShowsNoDeclarationsOfItsOwn) {
  auto doc = Parse("<p:r xmlns:p='urn:p' xmlns:q='urn:q'><p:a q:x='1'><p:b/></p:a><c/></p:r>");
  ASSERT_TRUE(doc);
  auto root = Root(doc.Get());
  ardo::ComPtr<IXMLDOMNode> a = SelectOne(root.Get(), "*[1]"), c = SelectOne(root.Get(), "c"), removed;
  const std::string alone = "<p:a xmlns:p=\"urn:p\" xmlns:q=\"urn:q\" q:x=\"1\"><p:b/></p:a>";
  // A copy shows none.
  ardo::ComPtr<IXMLDOMNode> shallow, deep;
  ASSERT_HR(SelectOne(a.Get(), "*")->cloneNode(VARIANT_FALSE, shallow.Out()), S_OK);
  ASSERT_HR(a->cloneNode(VARIANT_TRUE, deep.Out()), S_OK);
  EXPECT_EQ(MapLength(shallow.Get()), 0);
  EXPECT_EQ(MapLength(deep.Get()), 1);
  EXPECT_EQ(XmlOf(shallow.Get()), "<p:b xmlns:p=\"urn:p\"/>");
  EXPECT_EQ(XmlOf(deep.Get()), alone);
  // Nor does the node taken out; written alone, it declares what its names
  // need.
  ASSERT_HR(root->removeChild(a.Get(), removed.Out()), S_OK);
  EXPECT_EQ(MapLength(a.Get()), 1);
  EXPECT_EQ(XmlOf(a.Get()), alone);
  SetProperty(doc.Get(), "SelectionNamespaces", "xmlns:n='urn:p'");
  EXPECT_TRUE(SelectOne(a.Get(), "self::n:a/n:b"));
  // Put back under the declarations, it needs none of its own.
  Append(c.Get(), a.Get());
  EXPECT_EQ(MapLength(a.Get()), 1);
  EXPECT_EQ(XmlOf(doc.Get()),
            "<p:r xmlns:p=\"urn:p\" xmlns:q=\"urn:q\"><c><p:a q:x=\"1\"><p:b/></p:a></c></p:r>\r\n");
  auto other = NewDocument();
  Append(other.Get(), a.Get());
  EXPECT_EQ(MapLength(a.Get()), 1);
  EXPECT_EQ(XmlOf(other.Get()), alone + "\r\n");
  // Moved under another prefix of the same namespace, it keeps its names.
  auto renaming = Parse("<o xmlns:z='urn:p' xmlns:y='urn:q'/>");
  ASSERT_TRUE(renaming);
  Append(Root(renaming.Get()).Get(), a.Get());
  EXPECT_EQ(XmlOf(a.Get()), alone);
  EXPECT_EQ(NameOf(SelectOne(a.Get(), "*").Get()), "p:b");
}

// A subtree taken from under the element declaring its namespace keeps it
// when that element goes, whether an attribute stands above the name or
// not (moved out, unwrapped, or removed).
TEST_F(AttributesTest, ASubtreeKeepsItsNamespacesWhenItsDeclaringElementGoes) {
  for (int how = 0; how < 3; ++how) {
    SCOPED_TRACE(how);
    auto doc = Parse("<r><a xmlns:x='urn:x'><b k='1'><x:c x:at='w'/></b></a><e/></r>");
    ASSERT_TRUE(doc);
    auto root = Root(doc.Get());
    ardo::ComPtr<IXMLDOMNode> a = SelectOne(root.Get(), "a"), b = SelectOne(root.Get(), "a/b"), gone;
    if (how == 0) Append(SelectOne(root.Get(), "e").Get(), b.Get());
    if (how == 0) { ASSERT_HR(root->removeChild(a.Get(), gone.Out()), S_OK); }
    if (how == 1) { ASSERT_HR(root->replaceChild(b.Get(), a.Get(), gone.Out()), S_OK); }
    if (how == 2) { ASSERT_HR(a->removeChild(b.Get(), gone.Out()), S_OK); }
    gone.Reset();
    a.Reset();
    if (how == 2) { ASSERT_HR(LoadXml(doc.Get(), "<other/>"), S_OK); }  // the old tree goes
    ardo::ComPtr<IXMLDOMNode> c = SelectOne(b.Get(), "*");
    EXPECT_EQ(UriOf(c.Get()), "urn:x");
    EXPECT_EQ(UriOf(SelectOne(c.Get(), "@*").Get()), "urn:x");
    EXPECT_EQ(XmlOf(b.Get()), "<b k=\"1\"><x:c xmlns:x=\"urn:x\" x:at=\"w\"/></b>");
    if (how < 2) { EXPECT_EQ(Reloaded(doc.Get(), "//x:c/@x:at"), "urn:x"); }
  }
}

// Where an attribute set on an element by node meets a prefix bound
// otherwise, each name keeps its namespace in the node and in what the
// document writes (read back here). Each row is a fault once found:
// - the element's own name binds its prefix: an attribute given that
//   prefix takes its namespace, and one from elsewhere meaning another
//   namespace by it is given another prefix, whichever document it came
//   from and whatever an ancestor declares;
// - a prefix that only an ancestor binds, to another namespace, is free on
//   the element: the attribute keeps its name, the element declaring the
//   prefix over and the names below it declaring it back;
// - where the element itself binds it otherwise, the attribute is given a
//   free variant of it.
// Either way no declaration joins the element's attributes, and taking the
// attribute away leaves the element as it was.
TEST_F(AttributesTest, AnAttributeKeepsItsNamespaceWhereItsPrefixIsBoundOtherwise) {
  auto other = NewDocument();
  for (const char* start : {"<r/>", "<r xmlns:x='urn:p1'/>"}) {
    SCOPED_TRACE(start);
    auto doc = Parse(start);
    ASSERT_TRUE(doc);
    auto n = Created(doc.Get(), NODE_ELEMENT, "x:n", "urn:x");
    Append(Root(doc.Get()).Get(), n.Get());
    auto element = n.As<IXMLDOMElement>();
    ASSERT_HR(SetText(element.Get(), "x:same", "v"), S_OK);
    EXPECT_EQ(UriOf(SelectOne(n.Get(), "@*").Get()), "urn:x");
    for (IXMLDOMDocument* from : {static_cast<IXMLDOMDocument*>(doc.Get()), static_cast<IXMLDOMDocument*>(other.Get())}) {
      auto attr = Created(from, NODE_ATTRIBUTE, from == other.Get() ? "x:far" : "x:near", "urn:p1");
      ASSERT_HR(SetNode(element.Get(), attr.Get()), S_OK);
      EXPECT_EQ(UriOf(attr.Get()), "urn:p1");
    }
    const std::string written = XmlOf(doc.Get());
    EXPECT_EQ(Reloaded(doc.Get(), "/r/x:n"), "urn:x") << written;
    EXPECT_EQ(Reloaded(doc.Get(), "//@x:same"), "urn:x") << written;
    EXPECT_EQ(Reloaded(doc.Get(), "//@p:far"), "urn:p1") << written;
    EXPECT_EQ(Reloaded(doc.Get(), "//@p:near"), "urn:p1") << written;
  }
  for (const auto& [start, name] : {std::pair<const char*, const char*>{"<r xmlns:x='urn:p1'><e><x:c/></e></r>", "x:at"},
                                    std::pair<const char*, const char*>{"<r><e xmlns:x='urn:p1'><x:c/></e></r>", "x1:at"}}) {
    SCOPED_TRACE(start);
    auto doc = Parse(start);
    ASSERT_TRUE(doc);
    auto e = ElementAt(doc.Get(), "/r/e");
    ASSERT_TRUE(e);
    const std::string before = XmlOf(e.Get());
    const long attributes = MapLength(e.Get());
    auto attr = Created(doc.Get(), NODE_ATTRIBUTE, "x:at", "urn:x").As<IXMLDOMAttribute>();
    ASSERT_HR(SetNode(e.Get(), attr.Get()), S_OK);
    EXPECT_EQ(NameOf(attr.Get()), name);
    EXPECT_EQ(MapLength(e.Get()), attributes + 1);
    EXPECT_EQ(ValueOf(e.Get(), name), "");
    EXPECT_EQ(Reloaded(doc.Get(), "//@*[local-name()='at']"), "urn:x") << XmlOf(doc.Get());
    EXPECT_EQ(Reloaded(doc.Get(), "//*[local-name()='c']"), "urn:p1") << XmlOf(doc.Get());
    ardo::ComPtr<IXMLDOMAttribute> removed;
    ASSERT_HR(e->removeAttributeNode(attr.Get(), removed.Out()), S_OK);
    EXPECT_EQ(XmlOf(e.Get()), before);
  }
}

}  // namespace
}  // namespace ardo::test
