// Object identity and lifetime: one COM object per node, nodes that outlive
// their document references, detached subtrees freed with their last
// reference, and one free-threaded document driven from two threads.
#include <atomic>
#include <set>
#include <thread>

#include "tests/engine/engine_test_fixture.h"

namespace ardo::test {
namespace {

class LifetimeTest : public EngineTest {};

TEST_F(LifetimeTest, EveryRouteToANodeGivesTheSameObject) {
  auto doc = Parse("<r a='1'><x/><y/></r>");
  ASSERT_TRUE(doc);
  auto root1 = Root(doc.Get());
  auto root2 = Root(doc.Get());
  auto root3 = SelectOne(doc.Get(), "/r");
  ardo::ComPtr<IXMLDOMNode> root4;
  ASSERT_HR(doc->get_firstChild(root4.Out()), S_OK);
  ASSERT_TRUE(root1 && root2 && root3 && root4);
  IUnknown* id = IdentityOf(root1.Get());
  EXPECT_EQ(IdentityOf(root2.Get()), id);
  EXPECT_EQ(IdentityOf(root3.Get()), id);
  EXPECT_EQ(IdentityOf(root4.Get()), id);

  ardo::ComPtr<IXMLDOMNode> parentOfY;
  auto y = SelectOne(doc.Get(), "/r/y");
  ASSERT_HR(y->get_parentNode(parentOfY.Out()), S_OK);
  EXPECT_EQ(IdentityOf(parentOfY.Get()), id);

  ardo::ComPtr<IXMLDOMAttribute> a1, a2;
  Bstr a("a");
  ASSERT_HR(root1->getAttributeNode(a, a1.Out()), S_OK);
  ASSERT_HR(root1->getAttributeNode(a, a2.Out()), S_OK);
  EXPECT_EQ(IdentityOf(a1.Get()), IdentityOf(a2.Get()));
  EXPECT_EQ(IdentityOf(a1.Get()), IdentityOf(SelectOne(doc.Get(), "/r/@a").Get()));

  ardo::ComPtr<IXMLDOMDocument> owner;
  ASSERT_HR(y->get_ownerDocument(owner.Out()), S_OK);
  EXPECT_EQ(IdentityOf(owner.Get()), IdentityOf(doc.Get()));
}

TEST_F(LifetimeTest, IdentityHoldsAfterEveryHandoutWasReleased) {
  auto doc = Parse("<r><x/></r>");
  ASSERT_TRUE(doc);
  // Mark the node's object through its text, let go of it, then find it
  // again: whatever object comes back must show the same node.
  {
    auto x = SelectOne(doc.Get(), "/r/x");
    ASSERT_TRUE(x);
    Bstr marked("marked");
    ASSERT_HR(x->put_text(marked), S_OK);
  }
  auto again = SelectOne(doc.Get(), "/r/x");
  ASSERT_TRUE(again);
  EXPECT_EQ(TextOf(again.Get()), "marked");
}

TEST_F(LifetimeTest, ANodeKeepsItsDocumentAlive) {
  ardo::ComPtr<IXMLDOMNode> title;
  {
    auto doc = Parse("<r><title>kept</title></r>");
    ASSERT_TRUE(doc);
    title = SelectOne(doc.Get(), "/r/title");
    ASSERT_TRUE(title);
  }
  EXPECT_EQ(XmlOf(title.Get()), "<title>kept</title>");
  ardo::ComPtr<IXMLDOMNode> parent;
  ASSERT_HR(title->get_parentNode(parent.Out()), S_OK);
  EXPECT_EQ(NameOf(parent.Get()), "r");
  ardo::ComPtr<IXMLDOMDocument> owner;
  ASSERT_HR(title->get_ownerDocument(owner.Out()), S_OK);
  ASSERT_TRUE(owner);
  EXPECT_NE(XmlOf(owner.Get()).find("<r><title>kept</title></r>"), std::string::npos);
  // The document still works as a factory and a tree.
  ardo::ComPtr<IXMLDOMElement> extra;
  Bstr name("extra");
  ASSERT_HR(owner->createElement(name, extra.Out()), S_OK);
  ardo::ComPtr<IXMLDOMNode> added;
  ASSERT_HR(parent->appendChild(extra.Get(), added.Out()), S_OK);
  EXPECT_EQ(XmlOf(parent.Get()), "<r><title>kept</title><extra/></r>");
}

TEST_F(LifetimeTest, RemovedSubtreeIsFreedWithItsLastReference) {
  auto doc = Parse("<r><a><b><c/></b></a><keep/></r>");
  ASSERT_TRUE(doc);
  auto root = Root(doc.Get());
  const long baseline = ardo::LiveObjectCount();
  {
    auto a = SelectOne(doc.Get(), "/r/a");
    auto c = SelectOne(doc.Get(), "/r/a/b/c");
    ASSERT_TRUE(a && c);
    ardo::ComPtr<IXMLDOMNode> removed;
    ASSERT_HR(root->removeChild(a.Get(), removed.Out()), S_OK);
    a = nullptr;
    removed = nullptr;
    // The innermost node keeps the detached subtree alive.
    ardo::ComPtr<IXMLDOMNode> b;
    ASSERT_HR(c->get_parentNode(b.Out()), S_OK);
    EXPECT_EQ(XmlOf(b.Get()), "<b><c/></b>");
    ardo::ComPtr<IXMLDOMNode> aAgain;
    ASSERT_HR(b->get_parentNode(aAgain.Out()), S_OK);
    EXPECT_EQ(NameOf(aAgain.Get()), "a");
    ardo::ComPtr<IXMLDOMNode> top;
    EXPECT_HR(aAgain->get_parentNode(top.Out()), S_FALSE) << "detached";
  }
  EXPECT_EQ(ardo::LiveObjectCount(), baseline) << "every node object of the subtree is gone";
  EXPECT_EQ(XmlOf(root.Get()), "<r><keep/></r>");
}

TEST_F(LifetimeTest, NodesNeverInsertedAreFreedAndInsertedOnesOutliveTheirHandles) {
  auto doc = Parse("<r/>");
  ASSERT_TRUE(doc);
  const long baseline = ardo::LiveObjectCount();
  for (int i = 0; i < 100; ++i) {
    ardo::ComPtr<IXMLDOMElement> e;
    Bstr name("orphan");
    ASSERT_HR(doc->createElement(name, e.Out()), S_OK);
    ardo::ComPtr<IXMLDOMText> t;
    Bstr data("text");
    ASSERT_HR(doc->createTextNode(data, t.Out()), S_OK);
    ardo::ComPtr<IXMLDOMNode> added;
    ASSERT_HR(e->appendChild(t.Get(), added.Out()), S_OK);
  }
  EXPECT_EQ(ardo::LiveObjectCount(), baseline);
  auto root = Root(doc.Get());
  for (int i = 0; i < 10; ++i) {
    ardo::ComPtr<IXMLDOMElement> e;
    Bstr name("kept");
    ASSERT_HR(doc->createElement(name, e.Out()), S_OK);
    ardo::ComPtr<IXMLDOMNode> added;
    ASSERT_HR(root->appendChild(e.Get(), added.Out()), S_OK);
  }
  EXPECT_EQ(LengthOf(Select(doc.Get(), "/r/kept").Get()), 10);
}

TEST_F(LifetimeTest, ReplacingTheDocumentContentKeepsOldNodesUsable) {
  auto doc = Parse("<old><child>text</child></old>");
  ASSERT_TRUE(doc);
  auto child = SelectOne(doc.Get(), "/old/child");
  ASSERT_TRUE(child);
  VARIANT_BOOL ok;
  ASSERT_HR(LoadXml(doc.Get(), "<new/>", &ok), S_OK);
  EXPECT_EQ(XmlOf(child.Get()), "<child>text</child>") << "a node of the old tree stays valid";
  EXPECT_EQ(XmlOf(Root(doc.Get()).Get()), "<new/>");
  ardo::ComPtr<IXMLDOMNode> none;
  EXPECT_EQ(LengthOf(Select(doc.Get(), "//child").Get()), 0);
}

TEST_F(LifetimeTest, NodeListsAndMapsKeepTheirNodesAlive) {
  ardo::ComPtr<IXMLDOMNodeList> children;
  ardo::ComPtr<IXMLDOMNamedNodeMap> attributes;
  {
    auto doc = Parse("<r k='v'><a/><b/></r>");
    ASSERT_TRUE(doc);
    auto root = Root(doc.Get());
    ASSERT_HR(root->get_childNodes(children.Out()), S_OK);
    ASSERT_HR(root->get_attributes(attributes.Out()), S_OK);
  }
  EXPECT_EQ(NamesOf(children.Get()), (std::vector<std::string>{"a", "b"}));
  ardo::ComPtr<IXMLDOMNode> k;
  Bstr name("k");
  ASSERT_HR(attributes->getNamedItem(name, k.Out()), S_OK);
  EXPECT_EQ(TextOf(k.Get()), "v");
}

// --- two threads on one free-threaded document ---

class FreeThreadedTest : public EngineTest {};

TEST_F(FreeThreadedTest, TwoThreadsEditAndQueryOneDocument) {
  for (const DocumentClass& c : AllDocumentClasses()) {
    if (!c.freeThreaded) continue;
    SCOPED_TRACE(c.name);
    auto doc = Parse("<r/>", *c.clsid);
    ASSERT_TRUE(doc);
    const int kEdits = 300;
    std::atomic<bool> writerDone{false};
    std::atomic<int> failures{0};
    std::atomic<int> nonMonotonic{0};
    IXMLDOMDocument2* shared = doc.Get();

    std::thread writer([&] {
      CoInitializeEx(nullptr, COINIT_MULTITHREADED);
      {
        ardo::ComPtr<IXMLDOMElement> root;
        if (FAILED(shared->get_documentElement(root.Out()))) ++failures;
        for (int i = 0; i < kEdits && root; ++i) {
          ardo::ComPtr<IXMLDOMElement> e;
          Bstr name("t");
          if (FAILED(shared->createElement(name, e.Out()))) { ++failures; continue; }
          Bstr attr("i");
          Variant value(Variant::I4(i));
          if (FAILED(e->setAttribute(attr, value.get()))) ++failures;
          ardo::ComPtr<IXMLDOMNode> added;
          if (FAILED(root->appendChild(e.Get(), added.Out()))) ++failures;
          if (i % 3 == 0) {
            // A short-lived extra node, removed again.
            ardo::ComPtr<IXMLDOMElement> tmp;
            Bstr tmpName("tmp");
            shared->createElement(tmpName, tmp.Out());
            ardo::ComPtr<IXMLDOMNode> in, out;
            if (FAILED(root->appendChild(tmp.Get(), in.Out())) ||
                FAILED(root->removeChild(tmp.Get(), out.Out())))
              ++failures;
          }
        }
      }
      writerDone = true;
      CoUninitialize();
    });

    std::thread reader([&] {
      CoInitializeEx(nullptr, COINIT_MULTITHREADED);
      {
        long last = 0;
        int rounds = 0;
        while (!writerDone || rounds < 5) {
          ++rounds;
          ardo::ComPtr<IXMLDOMNodeList> list;
          Bstr query("/r/t");
          if (FAILED(shared->selectNodes(query, list.Out())) || !list) { ++failures; break; }
          long n = LengthOf(list.Get());
          if (n < last) ++nonMonotonic;
          last = n;
          if (n > 0) {
            ardo::ComPtr<IXMLDOMNode> item;
            if (FAILED(list->get_item(n - 1, item.Out())) || !item) ++failures;
            else if (XmlOf(item.Get()) != "<t i=\"" + std::to_string(n - 1) + "\"/>") ++failures;
          }
          Bstr xml;
          if (FAILED(shared->get_xml(xml.Out()))) ++failures;
        }
      }
      CoUninitialize();
    });
    writer.join();
    reader.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(nonMonotonic.load(), 0) << "the writer only appends";
    auto all = Select(doc.Get(), "/r/t");
    ASSERT_EQ(LengthOf(all.Get()), kEdits);
    std::set<std::string> seen;
    for (long i = 0; i < kEdits; ++i) {
      ardo::ComPtr<IXMLDOMNode> item;
      all->get_item(i, item.Out());
      seen.insert(XmlOf(item.Get()));
    }
    EXPECT_EQ(seen.size(), size_t(kEdits));
    EXPECT_EQ(LengthOf(Select(doc.Get(), "/r/tmp").Get()), 0);
  }
}

}  // namespace
}  // namespace ardo::test
