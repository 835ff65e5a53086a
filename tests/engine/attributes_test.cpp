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

TEST_F(AttributesTest, GetAttributeGivesTheValueOrNullForAnAbsentName) {
  auto doc = Parse("<r a='1' b='two &amp; more'/>");
  ASSERT_TRUE(doc);
  auto root = Root(doc.Get());
  ASSERT_TRUE(root);
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
    Bstr name(c.name);
    Variant value;
    EXPECT_HR(root->getAttribute(name, value.Out()), c.hr) << c.name;
    EXPECT_EQ(value.vt(), c.vt) << c.name;
    EXPECT_EQ(value.Utf8(), c.value) << c.name;
  }
}

TEST_F(AttributesTest, SetAttributeConvertsValuesAndReplacesExistingOnes) {
  auto doc = Parse("<r a='1'/>");
  ASSERT_TRUE(doc);
  auto root = Root(doc.Get());
  ASSERT_TRUE(root);
  Bstr a("a"), n("n"), flag("flag");
  Variant text(Variant::Str("changed"));
  Variant number(Variant::I4(-42));
  Variant boolean(Variant::Bool(true));
  EXPECT_HR(root->setAttribute(a, text.get()), S_OK);
  EXPECT_HR(root->setAttribute(n, number.get()), S_OK);
  EXPECT_HR(root->setAttribute(flag, boolean.get()), S_OK);
  Variant read;
  root->getAttribute(n, read.Out());
  EXPECT_EQ(read.vt(), VT_BSTR);
  EXPECT_EQ(read.Utf8(), "-42");
  EXPECT_EQ(XmlOf(root.Get()).substr(0, 22), "<r a=\"changed\" n=\"-42\"");
  EXPECT_EQ(MapLength(MapOf(root.Get()).Get()), 3);

  Bstr bad("1bad");
  EXPECT_TRUE(FAILED(root->setAttribute(bad, text.get()))) << "not a name";
}

TEST_F(AttributesTest, RemoveAttributeAndAttributeNodes) {
  auto doc = Parse("<r a='1' b='2'/>");
  ASSERT_TRUE(doc);
  auto root = Root(doc.Get());
  ASSERT_TRUE(root);
  Bstr a("a"), b("b"), missing("zz");
  EXPECT_HR(root->removeAttribute(a), S_OK);
  EXPECT_TRUE(SUCCEEDED(root->removeAttribute(missing)));
  EXPECT_EQ(XmlOf(root.Get()), "<r b=\"2\"/>");

  ardo::ComPtr<IXMLDOMAttribute> node;
  ASSERT_HR(root->getAttributeNode(b, node.Out()), S_OK);
  ASSERT_TRUE(node);
  Bstr name;
  EXPECT_HR(node->get_name(name.Out()), S_OK);
  EXPECT_EQ(name.Utf8(), "b");
  Variant value;
  EXPECT_HR(node->get_value(value.Out()), S_OK);
  EXPECT_EQ(value.Utf8(), "2");
  EXPECT_EQ(XmlOf(node.Get()), "b=\"2\"");
  VARIANT_BOOL specified = VARIANT_FALSE;
  EXPECT_HR(node->get_specified(&specified), S_OK);
  EXPECT_EQ(specified, VARIANT_TRUE);
  // An attribute has no parent, though it belongs to the element.
  ardo::ComPtr<IXMLDOMNode> parent;
  EXPECT_HR(node->get_parentNode(parent.Out()), S_FALSE);

  Variant newValue(Variant::Str("3"));
  EXPECT_HR(node->put_value(newValue.get()), S_OK);
  EXPECT_EQ(XmlOf(root.Get()), "<r b=\"3\"/>") << "the node is the element's live attribute";

  ardo::ComPtr<IXMLDOMAttribute> absent;
  EXPECT_HR(root->getAttributeNode(missing, absent.Out()), S_FALSE);
  EXPECT_FALSE(absent);

  ardo::ComPtr<IXMLDOMAttribute> removed;
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
  ASSERT_TRUE(root);
  ardo::ComPtr<IXMLDOMAttribute> fresh;
  Bstr a("a");
  ASSERT_HR(doc->createAttribute(a, fresh.Out()), S_OK);
  Variant v(Variant::Str("new"));
  ASSERT_HR(fresh->put_value(v.get()), S_OK);
  ardo::ComPtr<IXMLDOMAttribute> old;
  ASSERT_HR(root->setAttributeNode(fresh.Get(), old.Out()), S_OK);
  ASSERT_TRUE(old);
  Variant oldValue;
  old->get_value(oldValue.Out());
  EXPECT_EQ(oldValue.Utf8(), "old");
  EXPECT_EQ(XmlOf(root.Get()), "<r a=\"new\"/>");

  // An attribute in use by one element cannot be set on another.
  ardo::ComPtr<IXMLDOMElement> other;
  Bstr otherName("o");
  ASSERT_HR(doc->createElement(otherName, other.Out()), S_OK);
  ardo::ComPtr<IXMLDOMAttribute> out;
  EXPECT_TRUE(FAILED(other->setAttributeNode(fresh.Get(), out.Out())));
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
  ardo::ComPtr<IXMLDOMNode> byName;
  Bstr second("second"), absent("fourth");
  EXPECT_HR(map->getNamedItem(second, byName.Out()), S_OK);
  EXPECT_EQ(TextOf(byName.Get()), "2");
  EXPECT_HR(map->getNamedItem(absent, byName.Out()), S_FALSE);
  EXPECT_FALSE(byName);

  // The map follows the element's changes.
  Bstr fourth("fourth");
  Variant v(Variant::Str("4"));
  ASSERT_HR(root->setAttribute(fourth, v.get()), S_OK);
  EXPECT_EQ(MapLength(map.Get()), 4);
  ardo::ComPtr<IXMLDOMNode> removed;
  EXPECT_HR(map->removeNamedItem(second, removed.Out()), S_OK);
  EXPECT_EQ(NameOf(removed.Get()), "second");
  EXPECT_EQ(MapLength(map.Get()), 3);
  EXPECT_EQ(XmlOf(root.Get()), "<r first=\"1\" third=\"3\" fourth=\"4\"/>");
  EXPECT_NE(map->removeNamedItem(second, removed.Out()), S_OK) << "already gone";
  EXPECT_FALSE(removed);

  // setNamedItem adds an attribute node made by the document.
  ardo::ComPtr<IXMLDOMAttribute> made;
  Bstr fifth("fifth");
  ASSERT_HR(doc->createAttribute(fifth, made.Out()), S_OK);
  ardo::ComPtr<IXMLDOMNode> added;
  EXPECT_HR(map->setNamedItem(made.Get(), added.Out()), S_OK);
  EXPECT_EQ(MapLength(map.Get()), 4);
  // Only attributes belong in an attribute map.
  ardo::ComPtr<IXMLDOMElement> element;
  Bstr e("e");
  ASSERT_HR(doc->createElement(e, element.Out()), S_OK);
  EXPECT_TRUE(FAILED(map->setNamedItem(element.Get(), added.Out())));
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
  auto enumerator = unknown.As<IEnumVARIANT>();
  ASSERT_TRUE(enumerator);
  std::vector<std::string> enumerated;
  for (;;) {
    Variant v;
    ULONG fetched = 0;
    HRESULT hr = enumerator->Next(1, v.Out(), &fetched);
    if (hr != S_OK) {
      EXPECT_HR(hr, S_FALSE);
      EXPECT_EQ(fetched, 0u);
      break;
    }
    ASSERT_TRUE(v.vt() == VT_DISPATCH || v.vt() == VT_UNKNOWN);
    ardo::ComPtr<IXMLDOMNode> node;
    ASSERT_HR(v.get().punkVal->QueryInterface(IID_IXMLDOMNode, reinterpret_cast<void**>(node.Out())), S_OK);
    enumerated.push_back(NameOf(node.Get()));
  }
  EXPECT_EQ(enumerated, (std::vector<std::string>{"a", "b"}));
}

TEST_F(AttributesTest, QualifiedItemsAndNamespaceDeclarationsAppearInTheMap) {
  auto doc = Parse("<r xmlns:p='urn:p' p:x='px' x='plain'/>");
  ASSERT_TRUE(doc);
  auto map = MapOf(Root(doc.Get()).Get());
  ASSERT_TRUE(map);
  // Namespace declarations are attributes of the element as the DOM sees it.
  EXPECT_EQ(MapLength(map.Get()), 3);
  ardo::ComPtr<IXMLDOMNode> decl;
  Bstr declName("xmlns:p");
  ASSERT_HR(map->getNamedItem(declName, decl.Out()), S_OK);
  EXPECT_EQ(TextOf(decl.Get()), "urn:p");

  ardo::ComPtr<IXMLDOMNode> qualified;
  Bstr x("x"), p("urn:p"), none(""), other("urn:other");
  ASSERT_HR(map->getQualifiedItem(x, p, qualified.Out()), S_OK);
  EXPECT_EQ(TextOf(qualified.Get()), "px");
  Bstr uri;
  qualified->get_namespaceURI(uri.Out());
  EXPECT_EQ(uri.Utf8(), "urn:p");
  ASSERT_HR(map->getQualifiedItem(x, none, qualified.Out()), S_OK);
  EXPECT_EQ(TextOf(qualified.Get()), "plain");
  EXPECT_HR(map->getQualifiedItem(x, other, qualified.Out()), S_FALSE);
  EXPECT_FALSE(qualified);

  ardo::ComPtr<IXMLDOMNode> removed;
  ASSERT_HR(map->removeQualifiedItem(x, p, removed.Out()), S_OK);
  EXPECT_EQ(TextOf(removed.Get()), "px");
  Bstr plainName("x");
  ardo::ComPtr<IXMLDOMNode> stillThere;
  EXPECT_HR(map->getNamedItem(plainName, stillThere.Out()), S_OK);
  EXPECT_EQ(TextOf(stillThere.Get()), "plain");
}

TEST_F(AttributesTest, NodesWithoutAttributesGiveNoMap) {
  auto doc = Parse("<r>t<!--c--></r>");
  ASSERT_TRUE(doc);
  for (const char* query : {"/r/text()", "/r/comment()"}) {
    auto node = SelectOne(doc.Get(), query);
    ASSERT_TRUE(node);
    ardo::ComPtr<IXMLDOMNamedNodeMap> map;
    EXPECT_HR(node->get_attributes(map.Out()), S_FALSE) << query;
    EXPECT_FALSE(map);
  }
  // An element without attributes still has an (empty) map.
  auto root = Root(doc.Get());
  auto map = MapOf(root.Get());
  ASSERT_TRUE(map);
  EXPECT_EQ(MapLength(map.Get()), 0);
}

}  // namespace
}  // namespace ardo::test
