// Node lists: childNodes and getElementsByTagName follow the tree; a list
// from selectNodes is a snapshot of the moment it was made.
#include "tests/engine/engine_test_fixture.h"

namespace ardo::test {
namespace {

class NodeListsTest : public EngineTest {
 protected:
  ardo::ComPtr<IXMLDOMNodeList> ChildrenOf(IXMLDOMNode* node) {
    ardo::ComPtr<IXMLDOMNodeList> list;
    EXPECT_HR(node->get_childNodes(list.Out()), S_OK);
    return list;
  }
  ardo::ComPtr<IXMLDOMNodeList> ByTag(IXMLDOMNode* node, const char* tag) {
    ardo::ComPtr<IXMLDOMNodeList> list;
    auto element = ardo::ComPtr<IXMLDOMNode>::Share(node).As<IXMLDOMElement>();
    auto doc = ardo::ComPtr<IXMLDOMNode>::Share(node).As<IXMLDOMDocument>();
    HRESULT hr = element ? element->getElementsByTagName(Bstr(tag), list.Out())
                         : doc->getElementsByTagName(Bstr(tag), list.Out());
    EXPECT_HR(hr, S_OK) << tag;
    return list;
  }
};

TEST_F(NodeListsTest, LiveListsFollowEditsWhileSelectionsKeepTheirSnapshot) {
  auto doc = Parse("<r><item/><other><item/></other></r>");
  ASSERT_TRUE(doc);
  auto root = Root(doc.Get());
  auto children = ChildrenOf(root.Get());
  auto byTag = ByTag(doc.Get(), "item"), byTagUnderRoot = ByTag(root.Get(), "item");
  auto selected = Select(doc.Get(), "//item");
  ASSERT_TRUE(children && byTag && byTagUnderRoot && selected);
  auto lengths = [&] {
    return std::to_string(LengthOf(children.Get())) + std::to_string(LengthOf(byTag.Get())) +
           std::to_string(LengthOf(byTagUnderRoot.Get())) + std::to_string(LengthOf(selected.Get()));
  };
  EXPECT_EQ(lengths(), "2222");
  Append(root.Get(), NewElement(doc.Get(), "item").Get());
  Append(SelectOne(doc.Get(), "/r/other").Get(), NewElement(doc.Get(), "item").Get());
  EXPECT_EQ(lengths(), "3442") << "childNodes and getElementsByTagName are live, selectNodes a snapshot";

  ardo::ComPtr<IXMLDOMNode> removed;
  ASSERT_HR(root->removeChild(SelectOne(doc.Get(), "/r/item[1]").Get(), removed.Out()), S_OK);
  EXPECT_EQ(lengths(), "2332");
}

// A host empties a live list (by name or a node's children) by taking out
// item(0), or the last item, or an item in the middle, asking the length
// each time: at every step the list agrees with a fresh query, and every
// item comes out once, with the items inside it.
TEST_F(NodeListsTest, LiveListsEmptiedItemByItemAgreeWithAFreshQueryAtEachStep) {
  std::string xml = "<r>";
  for (int i = 0; i < 12; ++i) {
    const std::string n = std::to_string(i);
    xml += i % 4 == 3 ? "<b><t n='" + n + "'><t n='" + n + "x'/></t></b>" : "<b><x/><t n='" + n + "'/><y/></b>";
    if (i % 5 == 0) xml += "<!--c-->";
    if (i % 3 == 0) xml += "text";
  }
  xml += "</r>";
  auto nameOf = [](IXMLDOMNode* node) {
    Variant n;
    EXPECT_HR(ardo::ComPtr<IXMLDOMNode>::Share(node).As<IXMLDOMElement>()->getAttribute(Bstr("n"), n.Out()), S_OK);
    return n.Utf8();
  };
  for (int where : {0, 1, 2, 3, 4, 5}) {  // the first item, the last, the middle one; by name, then children
    const bool children = where >= 3;
    auto doc = Parse(xml.c_str());
    ASSERT_TRUE(doc);
    auto items = children ? ChildrenOf(Root(doc.Get()).Get()) : ByTag(doc.Get(), "t");
    ASSERT_TRUE(items);
    std::string order;
    for (long length; (length = LengthOf(items.Get())) > 0;) {
      auto fresh = Select(doc.Get(), children ? "/r/node()" : "//t");
      ASSERT_EQ(length, LengthOf(fresh.Get())) << order;
      ardo::ComPtr<IXMLDOMNode> item, expected, parent, removed;
      const long at = where % 3 == 0 ? 0 : where % 3 == 1 ? length - 1 : length / 2;
      ASSERT_HR(items->get_item(at, item.Out()), S_OK) << at;
      ASSERT_HR(fresh->get_item(at, expected.Out()), S_OK);
      ASSERT_EQ(item.Get(), expected.Get()) << order << "item " << at;
      order += children ? NameOf(item.Get()) + " " : nameOf(item.Get()) + " ";
      ASSERT_HR(item->get_parentNode(parent.Out()), S_OK);
      ASSERT_HR(parent->removeChild(item.Get(), removed.Out()), S_OK);
    }
    const char* const kOrders[] = {"0 1 2 3 4 5 6 7 8 9 10 11 ", "11x 11 10 9 8 7x 7 6 5 4 3x 3 2 1 0 ", nullptr,
                                   nullptr, nullptr, nullptr};
    if (kOrders[where]) {
      EXPECT_EQ(order, kOrders[where]);
    }
  }
}

// A host reading a live list with item(i) while it adds to the list (at
// the end, or just before the item it read) sees at every step what a
// fresh query sees.
TEST_F(NodeListsTest, LiveListsReadWhileTheyGrowAgreeWithAFreshQuery) {
  for (bool children : {false, true}) {
    auto doc = Parse("<r><b><t n='0'/></b><t n='1'/><!--c--><b><x/><t n='2'/></b>tail</r>");
    ASSERT_TRUE(doc);
    auto root = Root(doc.Get());
    auto items = children ? ChildrenOf(root.Get()) : ByTag(doc.Get(), "t");
    ASSERT_TRUE(items);
    for (long i = 0; i < LengthOf(items.Get()) && i < 40; ++i) {
      auto fresh = Select(doc.Get(), children ? "/r/node()" : "//t");
      ASSERT_EQ(LengthOf(items.Get()), LengthOf(fresh.Get())) << i;
      ardo::ComPtr<IXMLDOMNode> item, expected, added;
      ASSERT_HR(items->get_item(i, item.Out()), S_OK) << i;
      ASSERT_HR(fresh->get_item(i, expected.Out()), S_OK);
      ASSERT_EQ(item.Get(), expected.Get()) << (children ? "children " : "by name ") << i;
      auto made = NewElement(doc.Get(), "t");
      if (i % 3 == 1) {
        // Just before the item read, under the same parent.
        ardo::ComPtr<IXMLDOMNode> parent;
        ASSERT_HR(item->get_parentNode(parent.Out()), S_OK);
        Variant before(Variant::Unknown(item.Get()));
        ASSERT_HR(parent->insertBefore(made.Get(), before.get(), added.Out()), S_OK);
      } else {
        Append(root.Get(), made.Get());
      }
    }
  }
}

// Setting attributes while walking a live list keeps the walk where it is
// (the list's elements are the same); a change to the tree does not, and
// an attribute's own children follow its value.
TEST_F(NodeListsTest, LiveListsWalkedWhileAttributesChangeStayRight) {
  auto doc = Parse("<r><g><d/></g><g><d/></g><g><d/></g></r>");
  ASSERT_TRUE(doc);
  auto drives = ByTag(doc.Get(), "d");
  auto groups = ChildrenOf(Root(doc.Get()).Get());
  ASSERT_TRUE(drives && groups);
  for (long i = 0; i < LengthOf(drives.Get()); ++i) {
    ardo::ComPtr<IXMLDOMNode> item, group;
    Variant value(Variant::I4(i));
    ASSERT_HR(drives->get_item(i, item.Out()), S_OK);
    ASSERT_HR(item.As<IXMLDOMElement>()->setAttribute(Bstr("k"), value.get()), S_OK);
    if (i >= LengthOf(groups.Get())) continue;
    ASSERT_HR(groups->get_item(i, group.Out()), S_OK);
    ASSERT_HR(group.As<IXMLDOMElement>()->setAttribute(Bstr("k"), value.get()), S_OK);
    if (i == 1) Append(group.Get(), NewElement(doc.Get(), "d").Get());  // the list grows behind item 1
  }
  EXPECT_EQ(LengthOf(drives.Get()), 4);
  EXPECT_EQ(XmlOf(Root(doc.Get()).Get()),
            "<r><g k=\"0\"><d k=\"0\"/></g><g k=\"1\"><d k=\"1\"/><d k=\"2\"/></g><g k=\"2\"><d k=\"3\"/></g></r>");
  ardo::ComPtr<IXMLDOMNode> attribute = SelectOne(doc.Get(), "/r/g[1]/@k");
  ASSERT_TRUE(attribute);
  auto text = ChildrenOf(attribute.Get());
  ASSERT_EQ(LengthOf(text.Get()), 1);
  ardo::ComPtr<IXMLDOMNode> before, after;
  ASSERT_HR(text->get_item(0, before.Out()), S_OK);
  Variant changed(Variant::Str("changed"));
  ASSERT_HR(Root(doc.Get())->setAttribute(Bstr("x"), changed.get()), S_OK);
  ASSERT_HR(SelectOne(doc.Get(), "/r/g[1]").As<IXMLDOMElement>()->setAttribute(Bstr("k"), changed.get()), S_OK);
  ASSERT_HR(text->get_item(0, after.Out()), S_OK);
  EXPECT_EQ(TextOf(after.Get()), "changed") << "the attribute's child list follows its value";
}

TEST_F(NodeListsTest, LiveListsGiveTheSameNodesWhicheverWayAndOrderTheyAreRead) {
  auto doc = Parse("<r><a n='1'><b/><a n='2'><a n='3'/></a></a>t<!--c--><c><a n='4'/><a n='5'/></c><a n='6'/></r>");
  ASSERT_TRUE(doc);
  for (auto list : {ChildrenOf(Root(doc.Get()).Get()), ByTag(doc.Get(), "a"), ByTag(doc.Get(), "*")}) {
    const long length = LengthOf(list.Get());
    std::vector<IUnknown*> forward;
    for (long i = 0; i < length; ++i) {
      ardo::ComPtr<IXMLDOMNode> item;
      ASSERT_HR(list->get_item(i, item.Out()), S_OK);
      forward.push_back(IdentityOf(item.Get()));
    }
    // Backwards, then jumping between the ends and the middle.
    std::vector<long> order;
    for (long i = length - 1; i >= 0; --i) order.push_back(i);
    for (long i = 0; i < length; ++i) order.push_back(i % 2 ? length - 1 - i / 2 : i / 2);
    for (long i : order) {
      ardo::ComPtr<IXMLDOMNode> item;
      ASSERT_HR(list->get_item(i, item.Out()), S_OK) << i;
      EXPECT_EQ(IdentityOf(item.Get()), forward[size_t(i)]) << "item " << i << " of " << length;
    }
    ardo::ComPtr<IXMLDOMNode> past;
    EXPECT_HR(list->get_item(length, past.Out()), S_FALSE);
  }
}

TEST_F(NodeListsTest, GetElementsByTagNameMatchesNamesStarAndDocumentOrder) {
  auto doc = Parse("<r><a n='1'><b/><a n='2'/></a><c><a n='3'/></c></r>");
  ASSERT_TRUE(doc);
  const struct {
    const char* tag;
    std::vector<std::string> names;
  } cases[] = {
      {"a", {"a", "a", "a"}}, {"*", {"r", "a", "b", "a", "c", "a"}}, {"missing", {}}, {"A", {}}};
  for (const auto& c : cases) EXPECT_EQ(NamesOf(ByTag(doc.Get(), c.tag).Get()), c.names) << c.tag;
  auto ordered = ByTag(doc.Get(), "a");
  for (long i = 0; i < 3; ++i) {
    ardo::ComPtr<IXMLDOMNode> item;
    ASSERT_HR(ordered->get_item(i, item.Out()), S_OK);
    EXPECT_EQ(XmlOf(item.Get()).substr(0, 8), "<a n=\"" + std::to_string(i + 1) + "\"") << "document order";
  }
}

TEST_F(NodeListsTest, ItemOutsideTheListGivesNoNodeAndNextNodeWalksOnce) {
  auto doc = Parse("<r><a/><b/><c/></r>");
  ASSERT_TRUE(doc);
  auto children = ChildrenOf(Root(doc.Get()).Get());
  auto selected = Select(doc.Get(), "/r/*");
  auto empty = Parse("<r/>");
  ASSERT_TRUE(empty);
  auto emptyChildren = ChildrenOf(Root(empty.Get()).Get());
  auto emptySelected = Select(empty.Get(), "//nothing");
  for (IXMLDOMNodeList* list : {emptyChildren.Get(), emptySelected.Get()}) {
    EXPECT_EQ(LengthOf(list), 0);
    ardo::ComPtr<IXMLDOMNode> node;
    EXPECT_HR(list->nextNode(node.Out()), S_FALSE);
    EXPECT_FALSE(node);
  }
  auto byName = ByTag(Root(doc.Get()).Get(), "*");
  for (IXMLDOMNodeList* list : {children.Get(), selected.Get(), byName.Get()}) {
    for (long bad : {-1L, 3L, 99L}) {
      ardo::ComPtr<IXMLDOMNode> item;
      EXPECT_HR(list->get_item(bad, item.Out()), S_FALSE) << bad;
      EXPECT_FALSE(item);
    }
    // A call refused for want of an out-pointer moves nothing.
    EXPECT_HR(list->nextNode(nullptr), E_INVALIDARG);
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

TEST_F(NodeListsTest, EnumeratorYieldsEveryNodeAndCanBeReset) {
  auto doc = Parse("<r><a/><b/><c/></r>");
  ASSERT_TRUE(doc);
  auto list = Select(doc.Get(), "/r/*");
  ASSERT_TRUE(list);
  ardo::ComPtr<IUnknown> unknown;
  ASSERT_HR(list->get__newEnum(unknown.Out()), S_OK);
  EXPECT_EQ(EnumeratedNames(unknown.Get()), (std::vector<std::string>{"a", "b", "c"}));
  auto enumerator = unknown.As<IEnumVARIANT>();
  ASSERT_TRUE(enumerator);
  VARIANT batch[4];
  for (VARIANT& v : batch) VariantInit(&v);
  ULONG fetched = 0;
  EXPECT_HR(enumerator->Reset(), S_OK);
  EXPECT_HR(enumerator->Next(4, batch, &fetched), S_FALSE) << "fewer than asked";
  EXPECT_EQ(fetched, 3u);
  for (VARIANT& v : batch) VariantClear(&v);
  EXPECT_HR(enumerator->Next(0, nullptr, &fetched), S_OK) << "asking for nothing is no error";
  EXPECT_EQ(fetched, 0u);
  EXPECT_HR(enumerator->Reset(), S_OK);
  EXPECT_HR(enumerator->Skip(2), S_OK);
  EXPECT_HR(enumerator->Next(1, batch, &fetched), S_OK);
  ardo::ComPtr<IXMLDOMNode> last;
  ASSERT_TRUE(batch[0].vt == VT_DISPATCH || batch[0].vt == VT_UNKNOWN);
  batch[0].punkVal->QueryInterface(IID_IXMLDOMNode, reinterpret_cast<void**>(last.Out()));
  VariantClear(&batch[0]);
  EXPECT_EQ(NameOf(last.Get()), "c");

  // Two enumerators of one live list, stepped in turn, each keep their place.
  auto children = ChildrenOf(Root(doc.Get()).Get());
  ardo::ComPtr<IUnknown> first, second;
  ASSERT_HR(children->get__newEnum(first.Out()), S_OK);
  ASSERT_HR(children->get__newEnum(second.Out()), S_OK);
  auto one = first.As<IEnumVARIANT>(), other = second.As<IEnumVARIANT>();
  ASSERT_TRUE(one && other);
  ASSERT_HR(other->Skip(1), S_OK);
  std::string order;
  for (int i = 0; i < 2; ++i) {
    for (IEnumVARIANT* e : {one.Get(), other.Get()}) {
      VARIANT item;
      VariantInit(&item);
      ASSERT_HR(e->Next(1, &item, &fetched), S_OK);
      ardo::ComPtr<IXMLDOMNode> node;
      item.punkVal->QueryInterface(IID_IXMLDOMNode, reinterpret_cast<void**>(node.Out()));
      VariantClear(&item);
      order += NameOf(node.Get());
    }
  }
  EXPECT_EQ(order, "abbc");
}

// The catalogue's pattern: an index walk over a long list. Every index must
// give the node at that position, in either direction and after edits of
// a live list.
TEST_F(NodeListsTest, IndexWalksGiveThePositionedNodeInAnyOrder) {
  std::string xml = "<r>";
  for (int i = 0; i < 500; ++i) xml += "<e i='" + std::to_string(i) + "'/>";
  auto doc = Parse((xml + "</r>").c_str());
  ASSERT_TRUE(doc);
  auto children = ChildrenOf(Root(doc.Get()).Get());
  auto selected = Select(doc.Get(), "/r/e");
  auto itemXml = [](IXMLDOMNodeList* list, long i) {
    ardo::ComPtr<IXMLDOMNode> item;
    EXPECT_HR(list->get_item(i, item.Out()), S_OK) << i;
    return XmlOf(item.Get());
  };
  for (IXMLDOMNodeList* list : {children.Get(), selected.Get()}) {
    ASSERT_EQ(LengthOf(list), 500);
    for (long i : {0L, 1L, 2L, 250L, 499L, 498L, 10L, 11L, 0L, 499L})
      EXPECT_EQ(itemXml(list, i), "<e i=\"" + std::to_string(i) + "\"/>");
  }
  ardo::ComPtr<IXMLDOMNode> item, removed;
  ASSERT_HR(children->get_item(100, item.Out()), S_OK);
  ASSERT_HR(Root(doc.Get())->removeChild(item.Get(), removed.Out()), S_OK);
  EXPECT_EQ(itemXml(children.Get(), 100), "<e i=\"101\"/>") << "a live list must not serve a stale position";
  EXPECT_EQ(itemXml(children.Get(), 99), "<e i=\"99\"/>");
}

}  // namespace
}  // namespace ardo::test
