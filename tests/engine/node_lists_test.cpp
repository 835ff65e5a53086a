// Node lists: childNodes and getElementsByTagName follow the tree; a list
// from selectNodes is a snapshot of the moment it was made.
#include "tests/engine/engine_test_fixture.h"

namespace ardo::test {
namespace {

// The n attribute of an element ("" for other nodes or without one).
std::string NOf(IXMLDOMNode* node) {
  auto element = ardo::ComPtr<IXMLDOMNode>::Share(node).As<IXMLDOMElement>();
  Variant n;
  if (element) element->getAttribute(Bstr("n"), n.Out());
  return n.Utf8();
}

// The name of the next node an enumerator hands out, or
// "(none)" when it hands out no node.
std::string NextOf(IEnumVARIANT* enumerator) {
  Variant item;
  ULONG fetched = 0;
  ardo::ComPtr<IXMLDOMNode> node;
  if (enumerator->Next(1, item.Out(), &fetched) != S_OK || fetched != 1 ||
      (item.vt() != VT_DISPATCH && item.vt() != VT_UNKNOWN) ||
      FAILED(item.get().punkVal->QueryInterface(IID_IXMLDOMNode, reinterpret_cast<void**>(node.Out()))))
    return "(none)";
  return NameOf(node.Get());
}

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
  // Item i of a list, which must be there.
  static ardo::ComPtr<IXMLDOMNode> Item(IXMLDOMNodeList* list, long i) {
    ardo::ComPtr<IXMLDOMNode> item;
    EXPECT_HR(list->get_item(i, item.Out()), S_OK) << "item " << i;
    return item;
  }
  // Each node of a list by name and n attribute: "a1 b a2 ".
  static std::string Describe(IXMLDOMNodeList* list) {
    std::string s;
    for (long i = 0; i < LengthOf(list); ++i) s += NameOf(Item(list, i).Get()) + NOf(Item(list, i).Get()) + " ";
    return s;
  }
  static ardo::ComPtr<IEnumVARIANT> EnumeratorOf(IXMLDOMNodeList* list) {
    ardo::ComPtr<IUnknown> unknown;
    EXPECT_HR(list->get__newEnum(unknown.Out()), S_OK);
    return unknown.As<IEnumVARIANT>();
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

// A host reads a live list (by name or a node's children) with item(i),
// asking the length each time, while it empties it by taking out item(0),
// the last item or one in the middle, or while it adds to it (at the end,
// or just before the item it read): at every step the list agrees with a
// fresh query, and every item comes out once, with the items inside it.
TEST_F(NodeListsTest, LiveListsReadWhileTheyShrinkOrGrowAgreeWithAFreshQueryAtEachStep) {
  std::string xml = "<r>";
  for (int i = 0; i < 12; ++i) {
    const std::string n = std::to_string(i);
    xml += i % 4 == 3 ? "<b><t n='" + n + "'><t n='" + n + "x'/></t></b>" : "<b><x/><t n='" + n + "'/><y/></b>";
    if (i % 5 == 0) xml += "<!--c-->";
    if (i % 3 == 0) xml += "text";
  }
  xml += "</r>";
  for (int mode = 0; mode < 8; ++mode) {  // first, last, middle, grow; by name, then children
    const bool children = mode >= 4, grow = mode % 4 == 3;
    SCOPED_TRACE(mode);
    auto doc = Parse(xml.c_str());
    ASSERT_TRUE(doc);
    auto root = Root(doc.Get());
    auto items = children ? ChildrenOf(root.Get()) : ByTag(doc.Get(), "t");
    ASSERT_TRUE(items);
    std::string order;
    for (long i = 0, length; (length = LengthOf(items.Get())) > (grow ? i : 0) && i < 40; ++i) {
      const long at = grow ? i : mode % 4 == 0 ? 0 : mode % 4 == 1 ? length - 1 : length / 2;
      auto fresh = Select(doc.Get(), children ? "/r/node()" : "//t");
      ASSERT_EQ(length, LengthOf(fresh.Get())) << order;
      auto item = Item(items.Get(), at);
      ASSERT_TRUE(item && item == Item(fresh.Get(), at)) << order << "item " << at;
      ardo::ComPtr<IXMLDOMNode> parent, changed;
      order += (children ? NameOf(item.Get()) : NOf(item.Get())) + " ";
      ASSERT_HR(item->get_parentNode(parent.Out()), S_OK);
      if (!grow) {
        ASSERT_HR(parent->removeChild(item.Get(), changed.Out()), S_OK);
      } else if (i % 3 == 1) {
        Variant before(Variant::Unknown(item.Get()));
        ASSERT_HR(parent->insertBefore(NewElement(doc.Get(), "t").Get(), before.get(), changed.Out()), S_OK);
      } else {
        Append(root.Get(), NewElement(doc.Get(), "t").Get());
      }
    }
    if (grow) continue;
    EXPECT_EQ(LengthOf(items.Get()), 0);
    const char* const kOrders[] = {"0 1 2 3 4 5 6 7 8 9 10 11 ", "11x 11 10 9 8 7x 7 6 5 4 3x 3 2 1 0 "};
    if (mode < 2) {
      EXPECT_EQ(order, kOrders[mode]);
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
    Variant value(Variant::I4(i));
    ASSERT_HR(Item(drives.Get(), i).As<IXMLDOMElement>()->setAttribute(Bstr("k"), value.get()), S_OK);
    if (i >= LengthOf(groups.Get())) continue;
    auto group = Item(groups.Get(), i);
    ASSERT_HR(group.As<IXMLDOMElement>()->setAttribute(Bstr("k"), value.get()), S_OK);
    if (i == 1) Append(group.Get(), NewElement(doc.Get(), "d").Get());  // the list grows behind item 1
  }
  EXPECT_EQ(LengthOf(drives.Get()), 4);
  EXPECT_EQ(XmlOf(Root(doc.Get()).Get()),
            "<r><g k=\"0\"><d k=\"0\"/></g><g k=\"1\"><d k=\"1\"/><d k=\"2\"/></g><g k=\"2\"><d k=\"3\"/></g></r>");
  auto text = ChildrenOf(SelectOne(doc.Get(), "/r/g[1]/@k").Get());
  ASSERT_EQ(LengthOf(text.Get()), 1);
  Variant changed(Variant::Str("changed"));
  ASSERT_HR(Root(doc.Get())->setAttribute(Bstr("x"), changed.get()), S_OK);
  ASSERT_HR(SelectOne(doc.Get(), "/r/g[1]").As<IXMLDOMElement>()->setAttribute(Bstr("k"), changed.get()), S_OK);
  EXPECT_EQ(TextOf(Item(text.Get(), 0).Get()), "changed") << "the attribute's child list follows its value";
}

// getElementsByTagName matches a name exactly, or every element for "*", in
// document order. Any list, short or long (the catalogue's pattern: an index
// walk over hundreds of items), gives the node at each index whichever order
// the indexes are read in, and a live one no stale position after an edit.
TEST_F(NodeListsTest, ListsGiveThePositionedNodeInAnyReadingOrder) {
  auto doc = Parse("<r><a n='1'><b/><a n='2'><a n='3'/></a></a>t<!--c--><c><a n='4'/><a n='5'/></c><a n='6'/></r>");
  std::string xml = "<r>", walk;
  for (int i = 0; i < 500; ++i) {
    xml += "<e n='" + std::to_string(i) + "'/>";
    walk += "e" + std::to_string(i) + " ";
  }
  auto big = Parse((xml + "</r>").c_str());
  ASSERT_TRUE(doc && big);
  const struct {
    ardo::ComPtr<IXMLDOMNodeList> list;
    const char* nodes;
  } cases[] = {{ByTag(doc.Get(), "a"), "a1 a2 a3 a4 a5 a6 "},
               {ByTag(doc.Get(), "*"), "r a1 b a2 a3 c a4 a5 a6 "},
               {ByTag(doc.Get(), "missing"), ""},
               {ByTag(doc.Get(), "A"), ""},
               {ChildrenOf(Root(doc.Get()).Get()), "a1 #text #comment c a6 "},
               {ChildrenOf(Root(big.Get()).Get()), walk.c_str()},
               {Select(big.Get(), "/r/e"), walk.c_str()}};
  for (const auto& c : cases) {
    const long length = LengthOf(c.list.Get());
    EXPECT_EQ(Describe(c.list.Get()), c.nodes) << length;
    std::vector<IUnknown*> forward;
    for (long i = 0; i < length; ++i) forward.push_back(IdentityOf(Item(c.list.Get(), i).Get()));
    // Backwards, then jumping between the ends and the middle.
    std::vector<long> order;
    for (long i = length - 1; i >= 0; --i) order.push_back(i);
    for (long i = 0; i < length; ++i) order.push_back(i % 2 ? length - 1 - i / 2 : i / 2);
    for (long i : order)
      ASSERT_EQ(IdentityOf(Item(c.list.Get(), i).Get()), forward[size_t(i)]) << "item " << i << " of " << length;
    ardo::ComPtr<IXMLDOMNode> past;
    EXPECT_HR(c.list->get_item(length, past.Out()), S_FALSE);
  }
  ardo::ComPtr<IXMLDOMNode> removed;
  ASSERT_HR(Root(big.Get())->removeChild(Item(cases[5].list.Get(), 100).Get(), removed.Out()), S_OK);
  EXPECT_EQ(NOf(Item(cases[5].list.Get(), 100).Get()), "101") << "a live list must not serve a stale position";
  EXPECT_EQ(NOf(Item(cases[5].list.Get(), 99).Get()), "99");
  // Read out of order again (reads from both ends index the list): each
  // node after the edit, none from before it.
  for (long i = 0; i < 499; ++i) {
    const long at = i % 2 ? 498 - i / 2 : i / 2;
    ASSERT_EQ(NOf(Item(cases[5].list.Get(), at).Get()), std::to_string(at < 100 ? at : at + 1)) << at;
  }
  // Children taken from the front or the back while the middle is read:
  // each read agrees with a fresh query.
  auto bigRoot = Root(big.Get());
  for (int step = 0; step < 40; ++step) {
    const long middle = LengthOf(cases[5].list.Get()) / 2;
    ASSERT_EQ(IdentityOf(Item(cases[5].list.Get(), middle).Get()),
              IdentityOf(Item(Select(big.Get(), "/r/e").Get(), middle).Get()))
        << step;
    ardo::ComPtr<IXMLDOMNode> end, out;
    ASSERT_HR(step % 3 ? bigRoot->get_firstChild(end.Out()) : bigRoot->get_lastChild(end.Out()), S_OK);
    ASSERT_HR(bigRoot->removeChild(end.Get(), out.Out()), S_OK);
  }
}

// Every kind of list: item() outside it gives no node, nextNode and an
// enumerator each walk it once and start again on reset.
TEST_F(NodeListsTest, ItemOutsideTheListGivesNoNodeAndNextNodeAndEnumeratorsWalkOnce) {
  auto doc = Parse("<r><a/><b/><c/></r>"), empty = Parse("<r/>");
  ASSERT_TRUE(doc && empty);
  for (auto list : {ChildrenOf(Root(empty.Get()).Get()), Select(empty.Get(), "//nothing")}) {
    EXPECT_EQ(LengthOf(list.Get()), 0);
    ardo::ComPtr<IXMLDOMNode> node;
    EXPECT_HR(list->nextNode(node.Out()), S_FALSE);
    EXPECT_FALSE(node);
  }
  for (auto list : {ChildrenOf(Root(doc.Get()).Get()), Select(doc.Get(), "/r/*"), ByTag(Root(doc.Get()).Get(), "*")}) {
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

    auto enumerator = EnumeratorOf(list.Get());
    ASSERT_TRUE(enumerator);
    EXPECT_EQ(EnumeratedNames(enumerator.Get()), (std::vector<std::string>{"a", "b", "c"}));
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
    EXPECT_EQ(NextOf(enumerator.Get()), "c");
  }
  // Two enumerators of one live list, stepped in turn, each keep their place.
  auto children = ChildrenOf(Root(doc.Get()).Get());
  auto one = EnumeratorOf(children.Get()), other = EnumeratorOf(children.Get());
  ASSERT_TRUE(one && other);
  ASSERT_HR(other->Skip(1), S_OK);
  std::string order;
  for (int i = 0; i < 2; ++i) order += NextOf(one.Get()) + NextOf(other.Get());
  EXPECT_EQ(order, "abbc");
}

}  // namespace
}  // namespace ardo::test
