// Node lists: childNodes and getElementsByTagName follow the tree; a list
// from selectNodes is a snapshot of the moment it was made.
#include "tests/engine/engine_test_fixture.h"

namespace ardo::test {
namespace {

class NodeListsTest : public EngineTest {
 protected:
  void AppendElement(IXMLDOMDocument* doc, IXMLDOMNode* parent, const char* name) {
    ardo::ComPtr<IXMLDOMElement> e;
    Bstr n(name);
    ASSERT_HR(doc->createElement(n, e.Out()), S_OK);
    ardo::ComPtr<IXMLDOMNode> added;
    ASSERT_HR(parent->appendChild(e.Get(), added.Out()), S_OK);
  }
};

TEST_F(NodeListsTest, LiveListsFollowEditsWhileSelectionsKeepTheirSnapshot) {
  auto doc = Parse("<r><item/><other><item/></other></r>");
  ASSERT_TRUE(doc);
  auto root = Root(doc.Get());
  ASSERT_TRUE(root);

  ardo::ComPtr<IXMLDOMNodeList> children;
  ASSERT_HR(root->get_childNodes(children.Out()), S_OK);
  ardo::ComPtr<IXMLDOMNodeList> byTag;
  Bstr item("item");
  ASSERT_HR(doc->getElementsByTagName(item, byTag.Out()), S_OK);
  ardo::ComPtr<IXMLDOMNodeList> byTagUnderRoot;
  ASSERT_HR(root->getElementsByTagName(item, byTagUnderRoot.Out()), S_OK);
  auto selected = Select(doc.Get(), "//item");
  ASSERT_TRUE(children && byTag && byTagUnderRoot && selected);

  EXPECT_EQ(LengthOf(children.Get()), 2);
  EXPECT_EQ(LengthOf(byTag.Get()), 2);
  EXPECT_EQ(LengthOf(byTagUnderRoot.Get()), 2);
  EXPECT_EQ(LengthOf(selected.Get()), 2);

  AppendElement(doc.Get(), root.Get(), "item");
  auto other = SelectOne(doc.Get(), "/r/other");
  AppendElement(doc.Get(), other.Get(), "item");

  EXPECT_EQ(LengthOf(children.Get()), 3) << "childNodes is live";
  EXPECT_EQ(LengthOf(byTag.Get()), 4) << "getElementsByTagName is live";
  EXPECT_EQ(LengthOf(byTagUnderRoot.Get()), 4);
  EXPECT_EQ(LengthOf(selected.Get()), 2) << "selectNodes is a snapshot";

  // Removing nodes: the live lists shrink, the snapshot still hands out the
  // removed nodes, which stay valid.
  auto firstItem = SelectOne(doc.Get(), "/r/item[1]");
  ardo::ComPtr<IXMLDOMNode> removed;
  ASSERT_HR(root->removeChild(firstItem.Get(), removed.Out()), S_OK);
  EXPECT_EQ(LengthOf(children.Get()), 2);
  EXPECT_EQ(LengthOf(byTag.Get()), 3);
  ardo::ComPtr<IXMLDOMNode> stale;
  ASSERT_HR(selected->get_item(0, stale.Out()), S_OK);
  EXPECT_EQ(IdentityOf(stale.Get()), IdentityOf(removed.Get()));
  EXPECT_EQ(XmlOf(stale.Get()), "<item/>");
}

TEST_F(NodeListsTest, GetElementsByTagNameMatchesNamesStarAndDocumentOrder) {
  auto doc = Parse("<r><a n='1'><b/><a n='2'/></a><c><a n='3'/></c></r>");
  ASSERT_TRUE(doc);
  const struct {
    const char* tag;
    std::vector<std::string> names;
  } cases[] = {
      {"a", {"a", "a", "a"}},
      {"*", {"r", "a", "b", "a", "c", "a"}},
      {"missing", {}},
      {"A", {}},
  };
  for (const auto& c : cases) {
    ardo::ComPtr<IXMLDOMNodeList> list;
    Bstr tag(c.tag);
    ASSERT_HR(doc->getElementsByTagName(tag, list.Out()), S_OK) << c.tag;
    EXPECT_EQ(NamesOf(list.Get()), c.names) << c.tag;
  }
  ardo::ComPtr<IXMLDOMNodeList> ordered;
  Bstr a("a");
  ASSERT_HR(doc->getElementsByTagName(a, ordered.Out()), S_OK);
  for (long i = 0; i < 3; ++i) {
    ardo::ComPtr<IXMLDOMNode> item;
    ASSERT_HR(ordered->get_item(i, item.Out()), S_OK);
    ardo::ComPtr<IXMLDOMElement> element = item.As<IXMLDOMElement>();
    ASSERT_TRUE(element);
    Variant n;
    Bstr attr("n");
    element->getAttribute(attr, n.Out());
    EXPECT_EQ(n.Utf8(), std::to_string(i + 1)) << "document order";
  }
}

TEST_F(NodeListsTest, ItemOutsideTheListGivesNoNodeAndNextNodeWalksOnce) {
  auto doc = Parse("<r><a/><b/><c/></r>");
  ASSERT_TRUE(doc);
  auto root = Root(doc.Get());
  ardo::ComPtr<IXMLDOMNodeList> children;
  ASSERT_HR(root->get_childNodes(children.Out()), S_OK);
  auto selected = Select(doc.Get(), "/r/*");
  for (IXMLDOMNodeList* list : {children.Get(), selected.Get()}) {
    for (long bad : {-1L, 3L, 99L}) {
      ardo::ComPtr<IXMLDOMNode> item;
      EXPECT_HR(list->get_item(bad, item.Out()), S_FALSE) << bad;
      EXPECT_FALSE(item);
    }
    std::vector<std::string> walked;
    ardo::ComPtr<IXMLDOMNode> node;
    while (list->nextNode(node.Out()) == S_OK && node) walked.push_back(NameOf(node.Get()));
    EXPECT_FALSE(node);
    EXPECT_EQ(walked, (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_HR(list->reset(), S_OK);
    ASSERT_HR(list->nextNode(node.Out()), S_OK);
    EXPECT_EQ(NameOf(node.Get()), "a") << "reset starts again";
  }
}

TEST_F(NodeListsTest, EmptyListsHaveLengthZeroAndNoFirstNode) {
  auto doc = Parse("<r/>");
  ASSERT_TRUE(doc);
  ardo::ComPtr<IXMLDOMNodeList> children;
  ASSERT_HR(Root(doc.Get())->get_childNodes(children.Out()), S_OK);
  auto selected = Select(doc.Get(), "//nothing");
  for (IXMLDOMNodeList* list : {children.Get(), selected.Get()}) {
    EXPECT_EQ(LengthOf(list), 0);
    ardo::ComPtr<IXMLDOMNode> node;
    EXPECT_HR(list->nextNode(node.Out()), S_FALSE);
    EXPECT_FALSE(node);
  }
}

TEST_F(NodeListsTest, EnumeratorYieldsEveryNodeAndCanBeReset) {
  auto doc = Parse("<r><a/><b/><c/></r>");
  ASSERT_TRUE(doc);
  auto list = Select(doc.Get(), "/r/*");
  ASSERT_TRUE(list);
  ardo::ComPtr<IUnknown> unknown;
  ASSERT_HR(list->get__newEnum(unknown.Out()), S_OK);
  auto enumerator = unknown.As<IEnumVARIANT>();
  ASSERT_TRUE(enumerator);
  VARIANT batch[4];
  for (VARIANT& v : batch) VariantInit(&v);
  ULONG fetched = 0;
  EXPECT_HR(enumerator->Next(4, batch, &fetched), S_FALSE) << "fewer than asked";
  EXPECT_EQ(fetched, 3u);
  std::vector<std::string> names;
  for (ULONG i = 0; i < fetched; ++i) {
    ardo::ComPtr<IXMLDOMNode> node;
    if (batch[i].vt == VT_DISPATCH || batch[i].vt == VT_UNKNOWN)
      batch[i].punkVal->QueryInterface(IID_IXMLDOMNode, reinterpret_cast<void**>(node.Out()));
    names.push_back(NameOf(node.Get()));
  }
  for (VARIANT& v : batch) VariantClear(&v);
  EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_HR(enumerator->Reset(), S_OK);
  EXPECT_HR(enumerator->Skip(2), S_OK);
  Variant last;
  EXPECT_HR(enumerator->Next(1, last.Out(), &fetched), S_OK);
  ardo::ComPtr<IXMLDOMNode> c;
  ASSERT_TRUE(last.vt() == VT_DISPATCH || last.vt() == VT_UNKNOWN);
  last.get().punkVal->QueryInterface(IID_IXMLDOMNode, reinterpret_cast<void**>(c.Out()));
  EXPECT_EQ(NameOf(c.Get()), "c");
}

// The catalogue's pattern: an index walk over a long list. Every index must
// give the node at that position, in either direction and after edits of
// a live list.
TEST_F(NodeListsTest, IndexWalksGiveThePositionedNodeInAnyOrder) {
  std::string xml = "<r>";
  for (int i = 0; i < 500; ++i) xml += "<e i='" + std::to_string(i) + "'/>";
  xml += "</r>";
  auto doc = Parse(xml.c_str());
  ASSERT_TRUE(doc);
  ardo::ComPtr<IXMLDOMNodeList> children;
  ASSERT_HR(Root(doc.Get())->get_childNodes(children.Out()), S_OK);
  auto selected = Select(doc.Get(), "/r/e");
  for (IXMLDOMNodeList* list : {children.Get(), selected.Get()}) {
    ASSERT_EQ(LengthOf(list), 500);
    for (long i : {0L, 1L, 2L, 250L, 499L, 498L, 10L, 11L, 0L, 499L}) {
      ardo::ComPtr<IXMLDOMNode> item;
      ASSERT_HR(list->get_item(i, item.Out()), S_OK);
      EXPECT_EQ(XmlOf(item.Get()), "<e i=\"" + std::to_string(i) + "\"/>");
    }
  }
  // Walk forward, edit the tree in the middle of the walk, walk on.
  ardo::ComPtr<IXMLDOMNode> item;
  ASSERT_HR(children->get_item(100, item.Out()), S_OK);
  ardo::ComPtr<IXMLDOMNode> removed;
  ASSERT_HR(Root(doc.Get())->removeChild(item.Get(), removed.Out()), S_OK);
  ASSERT_HR(children->get_item(100, item.Out()), S_OK);
  EXPECT_EQ(XmlOf(item.Get()), "<e i=\"101\"/>") << "a live list must not serve a stale position";
  ASSERT_HR(children->get_item(99, item.Out()), S_OK);
  EXPECT_EQ(XmlOf(item.Get()), "<e i=\"99\"/>");
}

}  // namespace
}  // namespace ardo::test
