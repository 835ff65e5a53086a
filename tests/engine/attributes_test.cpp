// Attributes through the element, as attribute nodes, and through the named
// node map that get_attributes hands out.
#include "tests/engine/engine_test_fixture.h"

namespace ardo::test {
namespace {

class AttributesTest : public EngineTest {
 protected:
  ardo::ComPtr<IXMLDOMNamedNodeMap> MapOf(IXMLDOMNode* node) {
    ardo::ComPtr<IXMLDOMNamedNodeMap> map;
    EXPECT_HR(node->get_attributes(map.Out()), S_OK);
    return map;
  }
  long MapLength(IXMLDOMNamedNodeMap* map) {
    long n = -1;
    EXPECT_HR(map->get_length(&n), S_OK);
    return n;
  }
};

TEST_F(AttributesTest, GetAndSetAttributeConvertAndReplaceValues) {
  auto doc = Parse("<r a='1' b='two &amp; more'/>");
  ASSERT_TRUE(doc);
  auto root = Root(doc.Get());
  const struct {
    const char* name;
    HRESULT hr;
    VARTYPE vt;
    const char* value;
  } cases[] = {
      {"a", S_OK, VT_BSTR, "1"},
      {"b", S_OK, VT_BSTR, "two & more"},
      {"c", S_FALSE, VT_NULL, ""},
      {"A", S_FALSE, VT_NULL, ""},  // names are case-sensitive
  };
  for (const auto& c : cases) {
    Variant value;
    EXPECT_HR(root->getAttribute(Bstr(c.name), value.Out()), c.hr) << c.name;
    EXPECT_EQ(value.vt(), c.vt) << c.name;
    EXPECT_EQ(value.Utf8(), c.value) << c.name;
  }
  Variant text(Variant::Str("changed")), number(Variant::I4(-42)), boolean(Variant::Bool(true)), read;
  EXPECT_HR(root->setAttribute(Bstr("a"), text.get()), S_OK);
  EXPECT_HR(root->setAttribute(Bstr("n"), number.get()), S_OK);
  EXPECT_HR(root->setAttribute(Bstr("flag"), boolean.get()), S_OK);
  root->getAttribute(Bstr("n"), read.Out());
  EXPECT_EQ(read.vt(), VT_BSTR);
  EXPECT_EQ(read.Utf8(), "-42");
  const std::string prefix = "<r a=\"changed\" b=\"two &amp; more\" n=\"-42\"";
  EXPECT_EQ(XmlOf(root.Get()).substr(0, prefix.size()), prefix);
  EXPECT_EQ(MapLength(MapOf(root.Get()).Get()), 4);
  EXPECT_TRUE(FAILED(root->setAttribute(Bstr("1bad"), text.get()))) << "not a name";
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

TEST_F(AttributesTest, RemoveAttributeAndAttributeNodes) {
  auto doc = Parse("<r a='1' b='2'/>");
  ASSERT_TRUE(doc);
  auto root = Root(doc.Get());
  EXPECT_HR(root->removeAttribute(Bstr("a")), S_OK);
  EXPECT_TRUE(SUCCEEDED(root->removeAttribute(Bstr("zz"))));
  EXPECT_EQ(XmlOf(root.Get()), "<r b=\"2\"/>");

  ardo::ComPtr<IXMLDOMAttribute> node, absent, removed;
  ASSERT_HR(root->getAttributeNode(Bstr("b"), node.Out()), S_OK);
  ASSERT_TRUE(node);
  Bstr name;
  EXPECT_HR(node->get_name(name.Out()), S_OK);
  Variant value;
  EXPECT_HR(node->get_value(value.Out()), S_OK);
  EXPECT_EQ(name.Utf8() + "=" + value.Utf8(), "b=2");
  EXPECT_EQ(XmlOf(node.Get()), "b=\"2\"");
  ardo::ComPtr<IXMLDOMNode> parent;
  EXPECT_HR(node->get_parentNode(parent.Out()), S_FALSE) << "an attribute has no parent";
  Variant newValue(Variant::Str("3"));
  EXPECT_HR(node->put_value(newValue.get()), S_OK);
  EXPECT_EQ(XmlOf(root.Get()), "<r b=\"3\"/>") << "the node is the element's live attribute";
  EXPECT_HR(root->getAttributeNode(Bstr("zz"), absent.Out()), S_FALSE);
  EXPECT_FALSE(absent);

  ASSERT_HR(root->removeAttributeNode(node.Get(), removed.Out()), S_OK);
  EXPECT_EQ(IdentityOf(removed.Get()), IdentityOf(node.Get()));
  EXPECT_EQ(XmlOf(root.Get()), "<r/>");
  EXPECT_EQ(XmlOf(removed.Get()), "b=\"3\"") << "a removed attribute stays usable";
  EXPECT_TRUE(FAILED(root->removeAttributeNode(node.Get(), removed.Out()))) << "no longer the element's";
}

TEST_F(AttributesTest, SetAttributeNodeAddsOrReplacesAndHandsBackTheOldOne) {
  auto doc = Parse("<r a='old'/>");
  ASSERT_TRUE(doc);
  auto root = Root(doc.Get());
  ardo::ComPtr<IXMLDOMAttribute> fresh, old, out;
  ASSERT_HR(doc->createAttribute(Bstr("a"), fresh.Out()), S_OK);
  Variant v(Variant::Str("new")), oldValue;
  ASSERT_HR(fresh->put_value(v.get()), S_OK);
  ASSERT_HR(root->setAttributeNode(fresh.Get(), old.Out()), S_OK);
  ASSERT_TRUE(old);
  old->get_value(oldValue.Out());
  EXPECT_EQ(oldValue.Utf8(), "old");
  EXPECT_EQ(XmlOf(root.Get()), "<r a=\"new\"/>");
  EXPECT_TRUE(FAILED(NewElement(doc.Get(), "o")->setAttributeNode(fresh.Get(), out.Out())))
      << "an attribute in use by one element cannot be set on another";

  // An attribute made in the xml prefix is in the XML namespace and does
  // what a loaded one does: xml:space keeps the element's blanks.
  auto spaced = Parse("<r><a>  sp  </a></r>");
  ASSERT_TRUE(spaced);
  auto a = SelectOne(spaced.Get(), "/r/a");
  ASSERT_TRUE(a);
  EXPECT_EQ(TextOf(a.Get()), "sp");
  ardo::ComPtr<IXMLDOMAttribute> space;
  ASSERT_HR(spaced->createAttribute(Bstr("xml:space"), space.Out()), S_OK);
  Bstr uri;
  ASSERT_HR(space->get_namespaceURI(uri.Out()), S_OK);
  EXPECT_EQ(uri.Utf8(), "http://www.w3.org/XML/1998/namespace");
  Variant preserve(Variant::Str("preserve"));
  ASSERT_HR(space->put_value(preserve.get()), S_OK);
  ardo::ComPtr<IXMLDOMElement> element;
  ASSERT_HR(a->QueryInterface(IID_IXMLDOMElement, reinterpret_cast<void**>(element.Out())), S_OK);
  ASSERT_HR(element->setAttributeNode(space.Get(), out.Out()), S_OK);
  EXPECT_EQ(TextOf(a.Get()), "  sp  ");
  EXPECT_EQ(XmlOf(a.Get()), "<a xml:space=\"preserve\">  sp  </a>");
}

TEST_F(AttributesTest, NamedNodeMapIndexesNamesAndIsLive) {
  auto doc = Parse("<r first='1' second='2' third='3'/>");
  ASSERT_TRUE(doc);
  auto root = Root(doc.Get());
  auto map = MapOf(root.Get());
  ASSERT_TRUE(map);
  ASSERT_EQ(MapLength(map.Get()), 3);
  const char* names[] = {"first", "second", "third"};
  for (long i = 0; i < 3; ++i) {
    ardo::ComPtr<IXMLDOMNode> item;
    EXPECT_HR(map->get_item(i, item.Out()), S_OK);
    EXPECT_EQ(NameOf(item.Get()), names[i]);
    EXPECT_EQ(TypeOf(item.Get()), NODE_ATTRIBUTE);
  }
  for (long bad : {-1L, 3L, 1000L}) {
    ardo::ComPtr<IXMLDOMNode> item;
    EXPECT_HR(map->get_item(bad, item.Out()), S_FALSE) << bad;
    EXPECT_FALSE(item);
  }
  ardo::ComPtr<IXMLDOMNode> node;
  EXPECT_HR(map->getNamedItem(Bstr("second"), node.Out()), S_OK);
  EXPECT_EQ(TextOf(node.Get()), "2");
  EXPECT_HR(map->getNamedItem(Bstr("fourth"), node.Out()), S_FALSE);
  EXPECT_FALSE(node);

  Variant v(Variant::Str("4"));
  ASSERT_HR(root->setAttribute(Bstr("fourth"), v.get()), S_OK);
  EXPECT_EQ(MapLength(map.Get()), 4) << "the map follows the element's changes";
  EXPECT_HR(map->removeNamedItem(Bstr("second"), node.Out()), S_OK);
  EXPECT_EQ(NameOf(node.Get()), "second");
  EXPECT_EQ(XmlOf(root.Get()), "<r first=\"1\" third=\"3\" fourth=\"4\"/>");
  EXPECT_NE(map->removeNamedItem(Bstr("second"), node.Out()), S_OK) << "already gone";
  EXPECT_FALSE(node);

  ardo::ComPtr<IXMLDOMAttribute> made;
  ASSERT_HR(doc->createAttribute(Bstr("fifth"), made.Out()), S_OK);
  EXPECT_HR(map->setNamedItem(made.Get(), node.Out()), S_OK);
  EXPECT_EQ(MapLength(map.Get()), 4);
  EXPECT_TRUE(FAILED(map->setNamedItem(NewElement(doc.Get(), "e").Get(), node.Out())))
      << "only attributes belong in an attribute map";
}

// Namespace declarations written after attributes keep their place among
// them: in the map, in what the document writes, in copies, and as the
// attributes around them go or are replaced.
TEST_F(AttributesTest, DeclarationsKeepTheirPlaceAmongAttributes) {
  auto doc = Parse("<e a='1' xmlns:p='urn:p' b='2' xmlns='urn:d' p:c='3'><p:k q='1' xmlns:z='urn:z'/></e>");
  ASSERT_TRUE(doc);
  auto root = Root(doc.Get());
  auto names = [&] {
    std::vector<std::string> listed;
    auto map = MapOf(root.Get());
    for (long i = 0; i < MapLength(map.Get()); ++i) {
      ardo::ComPtr<IXMLDOMNode> item;
      EXPECT_HR(map->get_item(i, item.Out()), S_OK);
      listed.push_back(item ? NameOf(item.Get()) : "?");
    }
    return listed;
  };
  const std::string written =
      "<e a=\"1\" xmlns:p=\"urn:p\" b=\"2\" xmlns=\"urn:d\" p:c=\"3\"><p:k q=\"1\" xmlns:z=\"urn:z\"/></e>";
  EXPECT_EQ(XmlOf(root.Get()), written);
  EXPECT_EQ(names(), (std::vector<std::string>{"a", "xmlns:p", "b", "xmlns", "p:c"}));
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

  // A declaration follows the attribute before the one that went, or none.
  EXPECT_HR(root->removeAttribute(Bstr("a")), S_OK);
  EXPECT_EQ(names(), (std::vector<std::string>{"xmlns:p", "b", "xmlns", "p:c"}));
  ardo::ComPtr<IXMLDOMAttribute> fresh, old;
  ASSERT_HR(doc->createAttribute(Bstr("b"), fresh.Out()), S_OK);
  ASSERT_HR(root->setAttributeNode(fresh.Get(), old.Out()), S_OK);
  EXPECT_EQ(names(), (std::vector<std::string>{"xmlns:p", "b", "xmlns", "p:c"})) << "a replacement takes the place";
  EXPECT_HR(root->removeAttribute(Bstr("b")), S_OK);
  EXPECT_EQ(XmlOf(root.Get()).rfind("<e xmlns:p=\"urn:p\" xmlns=\"urn:d\" p:c=\"3\">", 0), 0u) << XmlOf(root.Get());
  // Declarations written first stay first; so do those the document type
  // gives by default, and an xml declaration (which libxml2 keeps none of)
  // moves no other.
  auto first = Parse("<f xmlns:q='urn:q' x='1'/>");
  ASSERT_TRUE(first);
  EXPECT_EQ(XmlOf(Root(first.Get()).Get()), "<f xmlns:q=\"urn:q\" x=\"1\"/>");
  auto defaulted = NewDocument();
  ASSERT_HR(defaulted->put_validateOnParse(VARIANT_FALSE), S_OK);
  ASSERT_HR(LoadXml(defaulted.Get(),
                    "<!DOCTYPE f [<!ATTLIST f xmlns:d CDATA #FIXED 'urn:d'>]>"
                    "<f a='1' xmlns:xml='http://www.w3.org/XML/1998/namespace' xmlns:p='urn:p' b='2'/>"),
            S_OK);
  EXPECT_EQ(XmlOf(Root(defaulted.Get()).Get()), "<f xmlns:d=\"urn:d\" a=\"1\" xmlns:p=\"urn:p\" b=\"2\"/>");
  // An entity reference's copy carries no places of its own (its children
  // are its entity's, below another parent).
  auto referring = NewDocument();
  ASSERT_HR(referring->put_validateOnParse(VARIANT_FALSE), S_OK);
  ASSERT_HR(LoadXml(referring.Get(), "<!DOCTYPE r [<!ENTITY e '<b x=\"1\" xmlns:p=\"u\" y=\"2\"/>'>]><r>&e;</r>"),
            S_OK);
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

TEST_F(AttributesTest, NamedNodeMapWalksWithNextNodeResetAndEnumerator) {
  auto doc = Parse("<r a='1' b='2'/>");
  ASSERT_TRUE(doc);
  auto map = MapOf(Root(doc.Get()).Get());
  ASSERT_TRUE(map);
  std::vector<std::string> walked;
  for (int pass = 0; pass < 2; ++pass) {
    ardo::ComPtr<IXMLDOMNode> node;
    while (SUCCEEDED(map->nextNode(node.Out())) && node) walked.push_back(NameOf(node.Get()));
    EXPECT_HR(map->nextNode(node.Out()), S_FALSE) << "past the end stays past the end";
    EXPECT_HR(map->reset(), S_OK);
  }
  EXPECT_EQ(walked, (std::vector<std::string>{"a", "b", "a", "b"}));

  ardo::ComPtr<IUnknown> unknown;
  ASSERT_HR(map->get__newEnum(unknown.Out()), S_OK);
  EXPECT_EQ(EnumeratedNames(unknown.Get()), (std::vector<std::string>{"a", "b"}));
}

// The XML declaration's pseudo-attributes belong to it alone.
TEST_F(AttributesTest, TheDeclarationsPseudoAttributesAreNotSetOnElements) {
  auto doc = Parse("<?xml version=\"1.0\"?><r/>");
  ASSERT_TRUE(doc);
  ardo::ComPtr<IXMLDOMNode> declaration, version, replaced;
  ardo::ComPtr<IXMLDOMNamedNodeMap> pseudo, attributes;
  ASSERT_HR(doc->get_firstChild(declaration.Out()), S_OK);
  ASSERT_HR(declaration->get_attributes(pseudo.Out()), S_OK);
  ASSERT_HR(pseudo->get_item(0, version.Out()), S_OK);
  auto root = Root(doc.Get());
  ardo::ComPtr<IXMLDOMAttribute> replacedAttribute;
  EXPECT_HR(root->setAttributeNode(version.As<IXMLDOMAttribute>().Get(), replacedAttribute.Out()), E_FAIL);
  ASSERT_HR(root->get_attributes(attributes.Out()), S_OK);
  EXPECT_HR(attributes->setNamedItem(version.Get(), replaced.Out()), E_FAIL);
  EXPECT_EQ(XmlOf(root.Get()), "<r/>");
}

TEST_F(AttributesTest, QualifiedItemsAndNamespaceDeclarationsAppearInTheMap) {
  auto doc = Parse("<r xmlns:p='urn:p' p:x='px' x='plain'>t<!--c--></r>");
  ASSERT_TRUE(doc);
  auto map = MapOf(Root(doc.Get()).Get());
  ASSERT_TRUE(map);
  EXPECT_EQ(MapLength(map.Get()), 3) << "namespace declarations are attributes too";
  ardo::ComPtr<IXMLDOMNode> node;
  ASSERT_HR(map->getNamedItem(Bstr("xmlns:p"), node.Out()), S_OK);
  EXPECT_EQ(TextOf(node.Get()), "urn:p");
  for (VARIANT_BOOL deep : {VARIANT_FALSE, VARIANT_TRUE}) {
    ardo::ComPtr<IXMLDOMNode> copy;
    ASSERT_HR(node->cloneNode(deep, copy.Out()), S_OK);
    EXPECT_EQ(XmlOf(copy.Get()), "xmlns:p=\"urn:p\"") << "a declaration copies as an attribute";
  }
  ASSERT_HR(map->getQualifiedItem(Bstr("x"), Bstr("urn:p"), node.Out()), S_OK);
  EXPECT_EQ(TextOf(node.Get()), "px");
  Bstr uri;
  node->get_namespaceURI(uri.Out());
  EXPECT_EQ(uri.Utf8(), "urn:p");
  ASSERT_HR(map->getQualifiedItem(Bstr("x"), Bstr(""), node.Out()), S_OK);
  EXPECT_EQ(TextOf(node.Get()), "plain");
  EXPECT_HR(map->getQualifiedItem(Bstr("x"), Bstr("urn:other"), node.Out()), S_FALSE);
  EXPECT_FALSE(node);
  ASSERT_HR(map->removeQualifiedItem(Bstr("x"), Bstr("urn:p"), node.Out()), S_OK);
  EXPECT_EQ(TextOf(node.Get()), "px");
  EXPECT_HR(map->getNamedItem(Bstr("x"), node.Out()), S_OK);
  EXPECT_EQ(TextOf(node.Get()), "plain");

  for (const char* query : {"/r/text()", "/r/comment()"}) {
    ardo::ComPtr<IXMLDOMNamedNodeMap> none;
    EXPECT_HR(SelectOne(doc.Get(), query)->get_attributes(none.Out()), S_FALSE) << query;
    EXPECT_FALSE(none);
  }
  auto empty = Parse("<r/>");
  ASSERT_TRUE(empty);
  EXPECT_EQ(MapLength(MapOf(Root(empty.Get()).Get()).Get()), 0) << "an element always has a map";
}

// An attribute node named xmlns:p given to the map or the element is a
// declaration: it declares once, and may not rebind a prefix in use.
TEST_F(AttributesTest, AttributeNodesNamedXmlnsDeclareNamespaces) {
  auto doc = Parse("<r xmlns:p='urn:p' p:y='2'/>");
  ASSERT_TRUE(doc);
  auto root = Root(doc.Get());
  auto map = MapOf(root.Get());
  ASSERT_TRUE(map);
  auto declaration = [&](const char* name, const char* value, IXMLDOMDocument* in = nullptr) {
    ardo::ComPtr<IXMLDOMAttribute> attr;
    Variant v(Variant::Str(value));
    EXPECT_HR((in ? in : doc.Get())->createAttribute(Bstr(name), attr.Out()), S_OK);
    if (attr) {
      EXPECT_HR(attr->put_value(v.get()), S_OK);
    }
    return attr;
  };
  ardo::ComPtr<IXMLDOMNode> out;
  EXPECT_HR(map->setNamedItem(declaration("xmlns:p", "urn:other").Get(), out.Out()), E_FAIL);
  auto q = declaration("xmlns:q", "urn:q");
  ASSERT_TRUE(q);
  Bstr declarationUri;
  EXPECT_HR(q->get_namespaceURI(declarationUri.Out()), S_OK);
  EXPECT_EQ(declarationUri.Utf8(), "http://www.w3.org/2000/xmlns/") << "a declaration before it is set too";
  EXPECT_HR(map->setNamedItem(q.Get(), out.Out()), S_OK);
  ardo::ComPtr<IXMLDOMNode> set;
  ASSERT_HR(map->getNamedItem(Bstr("xmlns:q"), set.Out()), S_OK);
  EXPECT_EQ(IdentityOf(set.Get()), IdentityOf(q.Get())) << "the node given is the one in the tree";
  ardo::ComPtr<IXMLDOMNode> parent;
  EXPECT_HR(q->get_parentNode(parent.Out()), S_FALSE) << "as any attribute";
  // One from another document comes over, as any attribute does.
  auto elsewhere = NewDocument();
  auto foreign = declaration("xmlns:f", "urn:f", elsewhere.Get());
  ASSERT_TRUE(foreign);
  EXPECT_HR(map->setNamedItem(foreign.Get(), out.Out()), S_OK);
  ASSERT_HR(map->getNamedItem(Bstr("xmlns:f"), set.Out()), S_OK);
  EXPECT_EQ(IdentityOf(set.Get()), IdentityOf(foreign.Get()));
  ardo::ComPtr<IXMLDOMDocument> foreignOwner;
  ASSERT_HR(foreign->get_ownerDocument(foreignOwner.Out()), S_OK);
  EXPECT_EQ(IdentityOf(foreignOwner.Get()), IdentityOf(doc.Get()));
  ardo::ComPtr<IXMLDOMNode> removedForeign;
  ASSERT_HR(map->removeNamedItem(Bstr("xmlns:f"), removedForeign.Out()), S_OK);
  ardo::ComPtr<IXMLDOMAttribute> replaced;
  EXPECT_HR(root.As<IXMLDOMElement>()->setAttributeNode(declaration("xmlns:p", "urn:p").Get(), replaced.Out()),
            S_OK);
  EXPECT_EQ(MapLength(map.Get()), 3);
  EXPECT_EQ(XmlOf(root.Get()), "<r xmlns:p=\"urn:p\" xmlns:q=\"urn:q\" p:y=\"2\"/>");
  EXPECT_TRUE(Parse(XmlOf(root.Get()).c_str())) << "the text reloads";

  // Declarations that would change a name's namespace in the text, or that
  // the reserved names forbid, are refused; xml's own binding is a no-op.
  const std::string kXml = "http://www.w3.org/XML/1998/namespace";
  const struct {
    const char *name, *value;
    HRESULT expected;
  } cases[] = {{"xmlns", "urn:e", E_FAIL},
               {"xmlns:xml", kXml.c_str(), S_OK},
               {"xmlns:xml", "urn:bad", E_FAIL},
               {"xmlns:xmlns", "urn:bad", E_FAIL},
               {"xmlns:z", "http://www.w3.org/2000/xmlns/", E_FAIL},
               {"xmlns:z", kXml.c_str(), E_FAIL}};
  for (const auto& c : cases) {
    Variant v(Variant::Str(c.value));
    EXPECT_HR(root.As<IXMLDOMElement>()->setAttribute(Bstr(c.name), v.get()), c.expected) << c.name << "=" << c.value;
    if (FAILED(c.expected)) {
      EXPECT_NE(LastReason(), "") << c.name << "=" << c.value;
    }
  }
  Variant other(Variant::Str("urn:other"));
  EXPECT_HR(root.As<IXMLDOMElement>()->setAttribute(Bstr("xmlns:p"), other.get()), E_FAIL);
  EXPECT_NE(LastReason().find("already"), std::string::npos) << "a declaration in use keeps its namespace";
  EXPECT_EQ(XmlOf(root.Get()), "<r xmlns:p=\"urn:p\" xmlns:q=\"urn:q\" p:y=\"2\"/>");
  // One that no name uses changes, and queries see the new binding.
  Variant changed(Variant::Str("urn:changed"));
  EXPECT_HR(root.As<IXMLDOMElement>()->setAttribute(Bstr("xmlns:q"), changed.get()), S_OK);
  EXPECT_EQ(XmlOf(root.Get()), "<r xmlns:p=\"urn:p\" xmlns:q=\"urn:changed\" p:y=\"2\"/>");
  // A name put in it afterwards binds to it.
  ardo::ComPtr<IXMLDOMNode> named, added;
  Variant elementType(Variant::I4(NODE_ELEMENT));
  ASSERT_HR(doc->createNode(elementType.get(), Bstr("q:k"), Bstr("urn:changed"), named.Out()), S_OK);
  ASSERT_HR(root->appendChild(named.Get(), added.Out()), S_OK);
  SetProperty(doc.Get(), "SelectionNamespaces", "xmlns:n='urn:changed'");
  EXPECT_EQ(LengthOf(Select(doc.Get(), "/r/n:k").Get()), 1);
  EXPECT_EQ(XmlOf(root.Get()), "<r xmlns:p=\"urn:p\" xmlns:q=\"urn:changed\" p:y=\"2\"><q:k/></r>");
  auto inner = Parse("<r xmlns:q='urn:q' xmlns:u='urn:u'><x><q:y/></x></r>");
  ASSERT_TRUE(inner);
  EXPECT_HR(Root(inner.Get()).As<IXMLDOMElement>()->setAttribute(Bstr("xmlns:q"), changed.get()), E_FAIL)
      << "a name below uses it";
  // The declaration's own node changes the same way.
  ardo::ComPtr<IXMLDOMAttribute> used, unused;
  ASSERT_HR(Root(inner.Get()).As<IXMLDOMElement>()->getAttributeNode(Bstr("xmlns:q"), used.Out()), S_OK);
  ASSERT_HR(Root(inner.Get()).As<IXMLDOMElement>()->getAttributeNode(Bstr("xmlns:u"), unused.Out()), S_OK);
  EXPECT_HR(used->put_value(changed.get()), E_FAIL);
  EXPECT_HR(unused->put_value(changed.get()), S_OK);
  EXPECT_HR(unused->put_text(Bstr("urn:text")), S_OK);
  EXPECT_EQ(XmlOf(Root(inner.Get()).Get()), "<r xmlns:q=\"urn:q\" xmlns:u=\"urn:text\"><x><q:y/></x></r>");

  // Nor does createNode bind the reserved names or namespaces otherwise.
  const char* kXmlns = "http://www.w3.org/2000/xmlns/";
  const struct {
    DOMNodeType type;
    const char *name, *uri;
  } reserved[] = {{NODE_ELEMENT, "p:e", kXmlns},          {NODE_ELEMENT, "p:e", kXml.c_str()},
                  {NODE_ELEMENT, "xml:e", "urn:q"},        {NODE_ELEMENT, "xmlns:e", kXmlns},
                  {NODE_ATTRIBUTE, "xml:lang", "urn:q"},   {NODE_ATTRIBUTE, "a", kXml.c_str()},
                  {NODE_ATTRIBUTE, "p:a", kXmlns}};
  for (const auto& c : reserved) {
    ardo::ComPtr<IXMLDOMNode> node;
    Variant type(Variant::I4(c.type));
    EXPECT_HR(doc->createNode(type.get(), Bstr(c.name), Bstr(c.uri), node.Out()), E_FAIL) << c.name << " " << c.uri;
    EXPECT_NE(LastReason(), "") << c.name;
  }
  ardo::ComPtr<IXMLDOMNode> lang;
  Variant attributeType(Variant::I4(NODE_ATTRIBUTE));
  ASSERT_HR(doc->createNode(attributeType.get(), Bstr("xml:lang"), Bstr(kXml.c_str()), lang.Out()), S_OK);
  ASSERT_HR(map->setNamedItem(lang.Get(), out.Out()), S_OK);
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
  ardo::ComPtr<IXMLDOMNode> removed;
  ASSERT_HR(root->removeChild(d.Get(), removed.Out()), S_OK);

  ASSERT_HR(root->removeAttribute(Bstr("xmlns:q")), S_OK);
  EXPECT_EQ(XmlOf(root.Get()), "<r xmlns:p=\"urn:p\"><p:c/></r>");
  auto map = MapOf(root.Get());
  ASSERT_TRUE(map);
  ardo::ComPtr<IXMLDOMNode> copy;
  ardo::ComPtr<IXMLDOMAttribute> held;
  ASSERT_HR(map->removeNamedItem(Bstr("xmlns:p"), copy.Out()), S_OK);
  EXPECT_EQ(XmlOf(copy.Get()), "xmlns:p=\"urn:p\"") << "the caller gets the declaration as an attribute";
  EXPECT_EQ(MapLength(map.Get()), 0);
  EXPECT_EQ(XmlOf(root.Get()), "<r><p:c xmlns:p=\"urn:p\"/></r>");
  Bstr uri;
  ASSERT_HR(SelectOne(root.Get(), "*")->get_namespaceURI(uri.Out()), S_OK);
  EXPECT_EQ(uri.Utf8(), "urn:p");
  EXPECT_EQ(XmlOf(d.Get()), "<p:d xmlns:p=\"urn:p\"/>") << "a node removed before still has its namespace";

  // A declaration the host holds as a node is removed all the same: the
  // node becomes an attribute in no tree, and is what the removal returns.
  auto other = Parse("<r xmlns:p='urn:p' xmlns:q='urn:q'/>");
  ASSERT_TRUE(other);
  auto otherRoot = Root(other.Get());
  ASSERT_HR(otherRoot->getAttributeNode(Bstr("xmlns:p"), held.Out()), S_OK);
  EXPECT_HR(otherRoot->removeAttribute(Bstr("xmlns:p")), S_OK);
  ardo::ComPtr<IXMLDOMNode> parent;
  EXPECT_HR(held->get_parentNode(parent.Out()), S_FALSE);
  EXPECT_EQ(XmlOf(held.Get()), "xmlns:p=\"urn:p\"");
  ardo::ComPtr<IXMLDOMAttribute> q, removedQ;
  ASSERT_HR(otherRoot->getAttributeNode(Bstr("xmlns:q"), q.Out()), S_OK);
  ASSERT_HR(otherRoot->removeAttributeNode(q.Get(), removedQ.Out()), S_OK);
  EXPECT_EQ(IdentityOf(removedQ.Get()), IdentityOf(q.Get()));
  EXPECT_EQ(XmlOf(otherRoot.Get()), "<r/>");
  EXPECT_HR(otherRoot->setAttributeNode(q.Get(), removedQ.Out()), S_OK) << "and it declares again";
  EXPECT_EQ(XmlOf(otherRoot.Get()), "<r xmlns:q=\"urn:q\"/>");
  ardo::ComPtr<IXMLDOMNode> byName;
  ASSERT_HR(MapOf(otherRoot.Get())->removeQualifiedItem(Bstr("q"), Bstr("http://www.w3.org/2000/xmlns/"),
                                                         byName.Out()),
            S_OK);
  EXPECT_EQ(XmlOf(byName.Get()), "xmlns:q=\"urn:q\"");
  EXPECT_EQ(XmlOf(otherRoot.Get()), "<r/>");
}

// A removed declaration goes once the names below its element use the
// document's copy of it: adding and removing one again and again leaves
// every name its namespace, moved ones too (the sanitizers would see a name
// left on a freed declaration).
TEST_F(AttributesTest, RemovedDeclarationsLeaveEveryNameItsNamespace) {
  auto doc = NewDocument();
  ASSERT_HR(doc->put_validateOnParse(VARIANT_FALSE), S_OK);
  ASSERT_HR(LoadXml(doc.Get(), "<!DOCTYPE r [<!ENTITY e '<p:c p:k=\"1\"/>'>]>"
                               "<r><e xmlns:p='urn:p'><p:a p:x='1'><p:b/></p:a>&e;</e><f/></r>"),
            S_OK);
  auto e = SelectOne(doc.Get(), "/r/e");
  auto f = SelectOne(doc.Get(), "/r/f");
  auto b = SelectOne(doc.Get(), "//*[local-name()='b']");
  ASSERT_TRUE(e && f && b);
  ardo::ComPtr<IXMLDOMNode> moved;
  ASSERT_HR(f->appendChild(b.Get(), moved.Out()), S_OK);
  ardo::ComPtr<IXMLDOMElement> element;
  ASSERT_HR(e->QueryInterface(IXMLDOMElement::kIID, reinterpret_cast<void**>(element.Out())), S_OK);
  for (int i = 0; i < 200; ++i) {
    ASSERT_HR(element->removeAttribute(Bstr("xmlns:p")), S_OK);
    Variant uri(Variant::Str("urn:p"));
    ASSERT_HR(element->setAttribute(Bstr("xmlns:p"), uri.get()), S_OK);
  }
  ASSERT_HR(element->removeAttribute(Bstr("xmlns:p")), S_OK);
  EXPECT_EQ(XmlOf(f.Get()), "<f><p:b xmlns:p=\"urn:p\"/></f>");
  auto a = SelectOne(e.Get(), "*[1]");
  auto x = a ? SelectOne(a.Get(), "@*") : nullptr;
  ASSERT_TRUE(x);
  for (IXMLDOMNode* n : {a.Get(), b.Get(), x.Get()}) {
    Bstr uri;
    ASSERT_HR(n->get_namespaceURI(uri.Out()), S_OK);
    EXPECT_EQ(uri.Utf8(), "urn:p") << XmlOf(n);
  }
  EXPECT_NE(XmlOf(a.Get()).find("xmlns:p=\"urn:p\""), std::string::npos) << XmlOf(a.Get());
  auto reloaded = NewDocument();
  ASSERT_HR(reloaded->put_validateOnParse(VARIANT_FALSE), S_OK);
  VARIANT_BOOL ok = VARIANT_FALSE;
  EXPECT_HR(LoadXml(reloaded.Get(), XmlOf(doc.Get()).c_str(), &ok), S_OK) << XmlOf(doc.Get());
}

// A declaration's node set on an element is an attribute in use like any
// other: again on its own element nothing changes, on another it is refused.
TEST_F(AttributesTest, ADeclarationInUseIsSetAsAnyAttributeInUse) {
  auto doc = Parse("<r xmlns:p='urn:p'><s/></r>");
  ASSERT_TRUE(doc);
  auto root = Root(doc.Get());
  ardo::ComPtr<IXMLDOMAttribute> declaration, replaced;
  ASSERT_HR(root->getAttributeNode(Bstr("xmlns:p"), declaration.Out()), S_OK);
  EXPECT_HR(root->setAttributeNode(declaration.Get(), replaced.Out()), S_OK);
  EXPECT_EQ(XmlOf(root.Get()), "<r xmlns:p=\"urn:p\"><s/></r>");
  ardo::ComPtr<IXMLDOMElement> s;
  ASSERT_HR(SelectOne(doc.Get(), "/r/s")->QueryInterface(IXMLDOMElement::kIID, reinterpret_cast<void**>(s.Out())),
            S_OK);
  EXPECT_HR(s->setAttributeNode(declaration.Get(), replaced.Out()), E_FAIL);
  EXPECT_NE(LastReason().find("belongs to another element"), std::string::npos);
}

TEST_F(AttributesTest, NamespaceNamesAreAnyTextAndComeBackAsTheyWereGiven) {
  auto namespaceOf = [](IXMLDOMNode* node) {
    Bstr uri;
    EXPECT_HR(node->get_namespaceURI(uri.Out()), S_OK);
    return uri.Utf8();
  };
  // A reference to "&" in a declaration is the character, as in any value.
  auto doc = Parse("<p:r xmlns:p=\"urn:a&amp;b\" xmlns:q='urn:c&#38;d'><q:e/></p:r>");
  ASSERT_TRUE(doc);
  EXPECT_EQ(namespaceOf(Root(doc.Get()).Get()), "urn:a&b");
  EXPECT_EQ(namespaceOf(SelectOne(doc.Get(), "//*[local-name()='e']").Get()), "urn:c&d");
  SetProperty(doc.Get(), "SelectionNamespaces", "xmlns:x='urn:a&b'");
  EXPECT_TRUE(SelectOne(doc.Get(), "/x:r"));
  const std::string written = "<p:r xmlns:p=\"urn:a&amp;b\" xmlns:q=\"urn:c&amp;d\"><q:e/></p:r>\r\n";
  EXPECT_EQ(XmlOf(doc.Get()), written);
  ASSERT_HR(LoadXml(doc.Get(), written.c_str()), S_OK);
  EXPECT_EQ(XmlOf(doc.Get()), written);

  // A name given by the host is written escaped, and names that are not
  // URIs load as they were created.
  auto built = NewDocument();
  Variant element(Variant::I4(NODE_ELEMENT));
  for (const char* uri : {"urn:x&y<z\"'", "urn:a b", "http://ex.com/\xC3\xA4"}) {
    ardo::ComPtr<IXMLDOMNode> node, old;
    ASSERT_HR(built->createNode(element.get(), Bstr("p:r"), Bstr(uri), node.Out()), S_OK);
    if (Root(built.Get()))
      ASSERT_HR(built->replaceChild(node.Get(), Root(built.Get()).Get(), old.Out()), S_OK);
    else
      Append(built.Get(), node.Get());
    auto copy = Parse(XmlOf(built.Get()).c_str());
    ASSERT_TRUE(copy) << uri;
    EXPECT_EQ(namespaceOf(Root(copy.Get()).Get()), uri);
  }
  // The names are not checked, but the other namespace rules still are.
  auto broken = NewDocument();
  VARIANT_BOOL ok = VARIANT_TRUE;
  EXPECT_HR(LoadXml(broken.Get(), "<p:r xmlns:q='a b'/>", &ok), S_FALSE);
  EXPECT_NE(ErrorOf(broken.Get()).reason.find("prefix p "), std::string::npos) << ErrorOf(broken.Get()).reason;
}

TEST_F(AttributesTest, ANodeCopiedOrTakenOutOfItsDeclaringElementShowsNoDeclarationsOfItsOwn) {
  auto doc = Parse("<p:r xmlns:p='urn:p' xmlns:q='urn:q'><p:a q:x='1'><p:b/></p:a><c/></p:r>");
  ASSERT_TRUE(doc);
  auto root = Root(doc.Get());
  ardo::ComPtr<IXMLDOMNode> a = SelectOne(root.Get(), "*[1]"), c = SelectOne(root.Get(), "c"), removed;
  auto attributeCount = [](IXMLDOMNode* node) {
    ardo::ComPtr<IXMLDOMNamedNodeMap> map;
    long length = -1;
    EXPECT_HR(node->get_attributes(map.Out()), S_OK);
    EXPECT_HR(map->get_length(&length), S_OK);
    return length;
  };
  // A copy shows none.
  ardo::ComPtr<IXMLDOMNode> inner = SelectOne(a.Get(), "*"), shallow, deep;
  ASSERT_HR(inner->cloneNode(VARIANT_FALSE, shallow.Out()), S_OK);
  ASSERT_HR(a->cloneNode(VARIANT_TRUE, deep.Out()), S_OK);
  EXPECT_EQ(attributeCount(shallow.Get()), 0);
  EXPECT_EQ(attributeCount(deep.Get()), 1);
  EXPECT_EQ(XmlOf(shallow.Get()), "<p:b xmlns:p=\"urn:p\"/>");
  EXPECT_EQ(XmlOf(deep.Get()), "<p:a xmlns:p=\"urn:p\" xmlns:q=\"urn:q\" q:x=\"1\"><p:b/></p:a>");
  // Nor does the node taken out.
  ASSERT_HR(root->removeChild(a.Get(), removed.Out()), S_OK);
  EXPECT_EQ(attributeCount(a.Get()), 1);
  // Written alone, it declares what its names need.
  EXPECT_EQ(XmlOf(a.Get()), "<p:a xmlns:p=\"urn:p\" xmlns:q=\"urn:q\" q:x=\"1\"><p:b/></p:a>");
  SetProperty(doc.Get(), "SelectionNamespaces", "xmlns:n='urn:p'");
  EXPECT_TRUE(SelectOne(a.Get(), "self::n:a/n:b"));
  // Put back under the declarations, it needs none of its own.
  Append(c.Get(), a.Get());
  EXPECT_EQ(attributeCount(a.Get()), 1);
  EXPECT_EQ(XmlOf(doc.Get()),
            "<p:r xmlns:p=\"urn:p\" xmlns:q=\"urn:q\"><c><p:a q:x=\"1\"><p:b/></p:a></c></p:r>\r\n");
  auto other = NewDocument();
  Append(other.Get(), a.Get());
  EXPECT_EQ(attributeCount(a.Get()), 1);
  EXPECT_EQ(XmlOf(other.Get()), "<p:a xmlns:p=\"urn:p\" xmlns:q=\"urn:q\" q:x=\"1\"><p:b/></p:a>\r\n");
  // Moved under another prefix of the same namespace, it keeps its names.
  auto renaming = Parse("<o xmlns:z='urn:p' xmlns:y='urn:q'/>");
  ASSERT_TRUE(renaming);
  Append(Root(renaming.Get()).Get(), a.Get());
  EXPECT_EQ(XmlOf(a.Get()), "<p:a xmlns:p=\"urn:p\" xmlns:q=\"urn:q\" q:x=\"1\"><p:b/></p:a>");
  EXPECT_EQ(NameOf(SelectOne(a.Get(), "*").Get()), "p:b");
}


TEST_F(AttributesTest, NamesKeepTheirNamespacesThroughMovesAndWhatTheDocumentWrites) {
  // Each name's namespace, read back from what the document writes.
  auto reloaded = [&](IXMLDOMDocument2* doc, const char* query) {
    auto back = Parse(XmlOf(doc).c_str());
    EXPECT_TRUE(back);
    if (!back) return std::string();
    SetProperty(back.Get(), "SelectionNamespaces", "xmlns:x='urn:x' xmlns:p='urn:p1' xmlns:d='urn:d'");
    ardo::ComPtr<IXMLDOMNode> node = SelectOne(back.Get(), query);
    Bstr uri;
    if (node) {
      EXPECT_HR(node->get_namespaceURI(uri.Out()), S_OK);
    }
    return node ? uri.Utf8() : std::string("(not found)");
  };
  auto uriOf = [](IXMLDOMNode* node) {
    Bstr uri;
    EXPECT_HR(node->get_namespaceURI(uri.Out()), S_OK);
    return uri.Utf8();
  };
  auto created = [&](IXMLDOMDocument* doc, DOMNodeType type, const char* name, const char* uri) {
    ardo::ComPtr<IXMLDOMNode> node;
    Variant kind(Variant::I4(type));
    EXPECT_HR(doc->createNode(kind.get(), Bstr(name), Bstr(uri), node.Out()), S_OK);
    return node;
  };
  // A subtree taken from under the element declaring its namespace keeps
  // it when that element goes, whether an attribute stands above the
  // name or not (moved out, unwrapped, or removed).
  for (int how = 0; how < 3; ++how) {
    SCOPED_TRACE(how);
    auto doc = Parse("<r><a xmlns:x='urn:x'><b k='1'><x:c x:at='w'/></b></a><e/></r>");
    ASSERT_TRUE(doc);
    auto root = Root(doc.Get());
    ardo::ComPtr<IXMLDOMNode> b = SelectOne(root.Get(), "a/b"), gone;
    {
      ardo::ComPtr<IXMLDOMNode> a = SelectOne(root.Get(), "a");
      if (how == 0) Append(SelectOne(root.Get(), "e").Get(), b.Get());
      if (how == 0) {
        ASSERT_HR(root->removeChild(a.Get(), gone.Out()), S_OK);
      }
      if (how == 1) {
        ASSERT_HR(root->replaceChild(b.Get(), a.Get(), gone.Out()), S_OK);
      }
      if (how == 2) {
        ASSERT_HR(a->removeChild(b.Get(), gone.Out()), S_OK);
      }
      gone.Reset();
    }
    if (how == 2) {
      ASSERT_HR(doc->loadXML(Bstr("<other/>"), nullptr), S_OK);  // the old tree goes
    }
    ardo::ComPtr<IXMLDOMNode> c = SelectOne(b.Get(), "*");
    EXPECT_EQ(uriOf(c.Get()), "urn:x");
    EXPECT_EQ(uriOf(SelectOne(c.Get(), "@*").Get()), "urn:x");
    EXPECT_EQ(XmlOf(b.Get()), "<b k=\"1\"><x:c xmlns:x=\"urn:x\" x:at=\"w\"/></b>");
    if (how < 2) {
      EXPECT_EQ(reloaded(doc.Get(), "//x:c/@x:at"), "urn:x");
    }
  }
  // An element's own name binds its prefix: an attribute given that
  // prefix takes its namespace, and one from elsewhere meaning another
  // namespace by it is given another prefix, whichever document it came
  // from and whatever an ancestor declares.
  auto other = NewDocument();
  for (const char* start : {"<r/>", "<r xmlns:x='urn:p1'/>"}) {
    SCOPED_TRACE(start);
    auto doc = Parse(start);
    ASSERT_TRUE(doc);
    auto n = created(doc.Get(), NODE_ELEMENT, "x:n", "urn:x");
    Append(Root(doc.Get()).Get(), n.Get());
    ardo::ComPtr<IXMLDOMElement> element;
    ASSERT_HR(n->QueryInterface(IID_IXMLDOMElement, reinterpret_cast<void**>(element.Out())), S_OK);
    Variant value(Variant::Str("v"));
    ASSERT_HR(element->setAttribute(Bstr("x:same"), value.get()), S_OK);
    EXPECT_EQ(uriOf(SelectOne(n.Get(), "@*").Get()), "urn:x");
    for (IXMLDOMDocument* from : {static_cast<IXMLDOMDocument*>(doc.Get()), static_cast<IXMLDOMDocument*>(other.Get())}) {
      ardo::ComPtr<IXMLDOMAttribute> attr, replaced;
      auto node = created(from, NODE_ATTRIBUTE, from == other.Get() ? "x:far" : "x:near", "urn:p1");
      ASSERT_HR(node->QueryInterface(IID_IXMLDOMAttribute, reinterpret_cast<void**>(attr.Out())), S_OK);
      ASSERT_HR(element->setAttributeNode(attr.Get(), replaced.Out()), S_OK);
      EXPECT_EQ(uriOf(attr.Get()), "urn:p1");
    }
    EXPECT_EQ(reloaded(doc.Get(), "/r/x:n"), "urn:x") << XmlOf(doc.Get());
    EXPECT_EQ(reloaded(doc.Get(), "//@x:same"), "urn:x") << XmlOf(doc.Get());
    EXPECT_EQ(reloaded(doc.Get(), "//@p:far"), "urn:p1") << XmlOf(doc.Get());
    EXPECT_EQ(reloaded(doc.Get(), "//@p:near"), "urn:p1") << XmlOf(doc.Get());
  }
  // A prefix that only an ancestor binds, to another namespace, is free on
  // the element: the attribute keeps its name, and the element is written
  // declaring the prefix over, the names below it declaring it back. Where
  // the element itself binds it otherwise, the attribute is given a free
  // variant of it. Either way no declaration joins the element's
  // attributes, and taking the attribute away leaves the element as it was.
  for (const auto& [start, name] : {std::pair<const char*, const char*>{"<r xmlns:x='urn:p1'><e><x:c/></e></r>", "x:at"},
                                    std::pair<const char*, const char*>{"<r><e xmlns:x='urn:p1'><x:c/></e></r>", "x1:at"}}) {
    SCOPED_TRACE(start);
    auto doc = Parse(start);
    ASSERT_TRUE(doc);
    ardo::ComPtr<IXMLDOMElement> e;
    ASSERT_HR(SelectOne(doc.Get(), "/r/e")->QueryInterface(IID_IXMLDOMElement, reinterpret_cast<void**>(e.Out())), S_OK);
    const std::string before = XmlOf(e.Get());
    const long attributes = MapLength(MapOf(e.Get()).Get());
    ardo::ComPtr<IXMLDOMAttribute> attr, replaced, removed;
    auto node = created(doc.Get(), NODE_ATTRIBUTE, "x:at", "urn:x");
    ASSERT_HR(node->QueryInterface(IID_IXMLDOMAttribute, reinterpret_cast<void**>(attr.Out())), S_OK);
    ASSERT_HR(e->setAttributeNode(attr.Get(), replaced.Out()), S_OK);
    EXPECT_EQ(NameOf(attr.Get()), name);
    EXPECT_EQ(MapLength(MapOf(e.Get()).Get()), attributes + 1);
    Variant value;
    EXPECT_HR(e->getAttribute(Bstr(name), value.Out()), S_OK);
    EXPECT_EQ(reloaded(doc.Get(), "//@*[local-name()='at']"), "urn:x") << XmlOf(doc.Get());
    EXPECT_EQ(reloaded(doc.Get(), "//*[local-name()='c']"), "urn:p1") << XmlOf(doc.Get());
    ASSERT_HR(e->removeAttributeNode(attr.Get(), removed.Out()), S_OK);
    EXPECT_EQ(XmlOf(e.Get()), before);
  }
}

}  // namespace
}  // namespace ardo::test
