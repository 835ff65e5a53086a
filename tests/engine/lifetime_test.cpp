// Object identity and lifetime: one COM object per node, nodes that outlive
// their document references, detached subtrees freed with their last
// reference, and one free-threaded document driven from two threads.
#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <set>
#include <thread>

#include "tests/engine/engine_test_fixture.h"

namespace ardo::test {
namespace {

class LifetimeTest : public EngineTest {};

TEST_F(LifetimeTest, EveryRouteToANodeGivesTheSameObject) {
  auto doc = Parse("<r a='1'><x/><y/></r>");
  ASSERT_TRUE(doc);
  auto root = Root(doc.Get());
  auto y = SelectOne(doc.Get(), "/r/y");
  ardo::ComPtr<IXMLDOMNode> first, parentOfY;
  ASSERT_HR(doc->get_firstChild(first.Out()), S_OK);
  ASSERT_HR(y->get_parentNode(parentOfY.Out()), S_OK);
  IUnknown* id = IdentityOf(root.Get());
  for (IUnknown* route : {IdentityOf(Root(doc.Get()).Get()), IdentityOf(SelectOne(doc.Get(), "/r").Get()),
                          IdentityOf(first.Get()), IdentityOf(parentOfY.Get())})
    EXPECT_EQ(route, id);
  ardo::ComPtr<IXMLDOMAttribute> a1, a2;
  ASSERT_HR(root->getAttributeNode(Bstr("a"), a1.Out()), S_OK);
  ASSERT_HR(root->getAttributeNode(Bstr("a"), a2.Out()), S_OK);
  EXPECT_EQ(IdentityOf(a1.Get()), IdentityOf(a2.Get()));
  EXPECT_EQ(IdentityOf(a1.Get()), IdentityOf(SelectOne(doc.Get(), "/r/@a").Get()));

  // Mark a node through its object, let go of every handout, find it again.
  ASSERT_HR(y->put_text(Bstr("marked")), S_OK);
  y = nullptr;
  EXPECT_EQ(TextOf(SelectOne(doc.Get(), "/r/y").Get()), "marked");
}

TEST_F(LifetimeTest, ANodeKeepsItsDocumentAlive) {
  ardo::ComPtr<IXMLDOMNode> title;
  {
    auto doc = Parse("<r><title>kept</title></r>");
    ASSERT_TRUE(doc);
    title = SelectOne(doc.Get(), "/r/title");
  }
  ASSERT_TRUE(title);
  ardo::ComPtr<IXMLDOMNode> parent;
  ASSERT_HR(title->get_parentNode(parent.Out()), S_OK);
  ardo::ComPtr<IXMLDOMDocument> owner;
  ASSERT_HR(title->get_ownerDocument(owner.Out()), S_OK);
  ASSERT_TRUE(owner);
  Append(parent.Get(), NewElement(owner.Get(), "extra").Get());
  EXPECT_EQ(XmlOf(Root(owner.Get()).Get()), "<r><title>kept</title><extra/></r>");
}

TEST_F(LifetimeTest, RemovedSubtreeIsFreedWithItsLastReference) {
  auto doc = Parse("<r><a><b><c/></b></a><keep/></r>");
  ASSERT_TRUE(doc);
  auto root = Root(doc.Get());
  const long baseline = ardo::LiveObjectCount();
  {
    auto c = SelectOne(doc.Get(), "/r/a/b/c");
    ardo::ComPtr<IXMLDOMNode> removed, b, a, top;
    ASSERT_HR(root->removeChild(SelectOne(doc.Get(), "/r/a").Get(), removed.Out()), S_OK);
    removed = nullptr;
    // The innermost node keeps the detached subtree alive.
    ASSERT_HR(c->get_parentNode(b.Out()), S_OK);
    EXPECT_EQ(XmlOf(b.Get()), "<b><c/></b>");
    ASSERT_HR(b->get_parentNode(a.Out()), S_OK);
    EXPECT_EQ(NameOf(a.Get()), "a");
    EXPECT_HR(a->get_parentNode(top.Out()), S_FALSE) << "detached";
  }
  EXPECT_EQ(ardo::LiveObjectCount(), baseline) << "every node object of the subtree is gone";
  EXPECT_EQ(XmlOf(root.Get()), "<r><keep/></r>");
  for (int i = 0; i < 100; ++i) {
    auto e = NewElement(doc.Get(), "orphan");
    ardo::ComPtr<IXMLDOMText> t;
    ASSERT_HR(doc->createTextNode(Bstr("text"), t.Out()), S_OK);
    Append(e.Get(), t.Get());
  }
  EXPECT_EQ(ardo::LiveObjectCount(), baseline) << "nodes never inserted are freed";
}

// A query result holds raw nodes: while it lives, removed nodes of its own
// tree stay (they may be among its items), but other documents free theirs.
TEST_F(LifetimeTest, AQueryResultHoldsBackOnlyTheNodesItLists) {
  auto held = Parse("<r><x/><y/></r>");
  auto other = Parse("<r/>");
  ASSERT_TRUE(held && other);
  auto list = Select(held.Get(), "/r/*");
  ASSERT_EQ(LengthOf(list.Get()), 2);
  auto heldRoot = Root(held.Get()), otherRoot = Root(other.Get());
  const long baseline = ardo::LiveObjectCount();
  auto churn = [&](IXMLDOMDocument2* doc) {
    auto root = doc == held.Get() ? heldRoot : otherRoot;
    for (int i = 0; i < 50; ++i) {
      auto e = NewElement(doc, "tmp");
      ardo::ComPtr<IXMLDOMNode> out;
      Append(root.Get(), e.Get());
      ASSERT_HR(root->removeChild(e.Get(), out.Out()), S_OK);
    }
  };
  churn(other.Get());
  EXPECT_EQ(ardo::LiveObjectCount(), baseline) << "the other document frees what it removed";

  ardo::ComPtr<IXMLDOMNode> x, removed;
  ASSERT_HR(list->get_item(0, x.Out()), S_OK);
  ASSERT_HR(heldRoot->removeChild(x.Get(), removed.Out()), S_OK);
  x = nullptr;
  removed = nullptr;
  churn(held.Get());
  EXPECT_EQ(ardo::LiveObjectCount(), baseline + 1) << "its document keeps the listed node it removed, no other";
  ardo::ComPtr<IXMLDOMNode> copy;
  ASSERT_HR(heldRoot->cloneNode(VARIANT_TRUE, copy.Out()), S_OK);
  copy = nullptr;
  EXPECT_EQ(ardo::LiveObjectCount(), baseline + 1) << "nor a copy let go";
  ardo::ComPtr<IXMLDOMNode> again;
  ASSERT_HR(list->get_item(0, again.Out()), S_OK) << "the removed item is still there to hand out";
  EXPECT_EQ(XmlOf(again.Get()), "<x/>");
  again = nullptr;
  list = nullptr;
  EXPECT_EQ(ardo::LiveObjectCount(), baseline - 1) << "what waited goes with the list";
  churn(held.Get());
  EXPECT_EQ(ardo::LiveObjectCount(), baseline - 1);
}

TEST_F(LifetimeTest, AListedNodeMovedIntoADocumentThatLetsGoOfItStaysListed) {
  auto source = Parse("<r><a>1</a><a>2</a></r>");
  ASSERT_TRUE(source);
  auto list = Select(source.Get(), "//a");
  ASSERT_EQ(LengthOf(list.Get()), 2);
  for (bool reload : {true, false}) {
    SCOPED_TRACE(reload ? "the receiving document reloads" : "the receiving document is released");
    auto target = Parse("<s/>");
    ASSERT_TRUE(target);
    {
      ardo::ComPtr<IXMLDOMNode> first;
      ASSERT_HR(list->get_item(0, first.Out()), S_OK);
      Append(Root(target.Get()).Get(), first.Get());
    }
    if (reload)
      ASSERT_HR(LoadXml(target.Get(), "<other/>"), S_OK);
    else
      target = nullptr;
    ardo::ComPtr<IXMLDOMNode> item, next;
    ASSERT_HR(list->get_item(0, item.Out()), S_OK);
    EXPECT_EQ(XmlOf(item.Get()), "<a>1</a>");
    ardo::ComPtr<IXMLDOMDocument> owner;
    EXPECT_HR(item->get_ownerDocument(owner.Out()), S_OK);
    EXPECT_TRUE(owner);
    ASSERT_HR(list->reset(), S_OK);
    int walked = 0;
    while (list->nextNode(next.Out()) == S_OK) ++walked;
    EXPECT_EQ(walked, 2);
    // Back where it came from for the next round.
    ardo::ComPtr<IXMLDOMNode> back;
    ASSERT_HR(Root(source.Get())->insertBefore(item.Get(), Variant().get(), back.Out()), S_OK);
  }
}

TEST_F(LifetimeTest, ASelectionRemovesNodesFromATreeNoDocumentHolds) {
  for (const CLSID* clsid : {&CLSID_DOMDocument40, &CLSID_FreeThreadedDOMDocument40}) {
    for (bool reload : {true, false}) {
      SCOPED_TRACE(reload ? "the receiving document reloads" : "the receiving document is released");
      auto source = Parse("<r><n/><k/></r>", *clsid);
      ASSERT_TRUE(source);
      ardo::ComPtr<IXMLDOMSelection> selection;
      ASSERT_HR(Select(source.Get(), "/r/n")->QueryInterface(IID_IXMLDOMSelection,
                                                              reinterpret_cast<void**>(selection.Out())),
                S_OK);
      auto target = Parse("<s/>", *clsid);
      ASSERT_TRUE(target);
      Append(Root(target.Get()).Get(), SelectOne(source.Get(), "/r/n").Get());
      if (reload)
        ASSERT_HR(LoadXml(target.Get(), "<other/>"), S_OK);
      else
        target = nullptr;
      EXPECT_HR(selection->removeAll(), S_OK);
      EXPECT_EQ(LengthOf(selection.Get()), 0);
      EXPECT_EQ(XmlOf(source.Get()), "<r><k/></r>\r\n");
    }
  }
}

// A tree that took nodes from another waits, once let go, only for the
// lists over that other tree: a list over an unrelated document keeps
// nothing back.
TEST_F(LifetimeTest, ATreeThatTookNodesWaitsOnlyForListsThatMayHoldThem) {
  auto trees = [] {
    auto live = ardo::LiveObjectsByClass();
    auto it = live.find("ardo::engine::TreeHolder");
    return it == live.end() ? 0L : it->second;
  };
  auto keeper = Parse("<k><x/></k>");
  ASSERT_TRUE(keeper);
  auto unrelated = Select(keeper.Get(), "//x");
  const long before = trees();
  ASSERT_GT(before, 0);
  for (int i = 0; i < 20; ++i) {
    auto target = Parse("<r/>");
    auto source = Parse("<s><m/></s>");
    ASSERT_TRUE(target && source);
    Append(Root(target.Get()).Get(), SelectOne(source.Get(), "/s/m").Get());
  }
  EXPECT_EQ(trees(), before);
  // A list over the tree the nodes came from keeps the tree they went to.
  {
    auto target = Parse("<r/>");
    ASSERT_TRUE(target);
    Append(Root(target.Get()).Get(), SelectOne(keeper.Get(), "/k/x").Get());
  }
  EXPECT_EQ(trees(), before + 1);
  {
    ardo::ComPtr<IXMLDOMNode> moved;
    ASSERT_HR(unrelated->get_item(0, moved.Out()), S_OK);
    EXPECT_EQ(XmlOf(moved.Get()), "<x/>");
  }
  // Copies of a listed tree's nodes are no listed nodes: the trees they go
  // to go when let go.
  auto templ = Parse("<t><proto a='1'/></t>");
  ASSERT_TRUE(templ);
  auto listed = Select(templ.Get(), "/t/proto");
  auto proto = SelectOne(templ.Get(), "/t/proto");
  for (int i = 0; i < 5; ++i) {
    auto request = Parse("<q/>");
    ASSERT_TRUE(request);
    ardo::ComPtr<IXMLDOMNode> copy;
    ASSERT_HR(proto->cloneNode(VARIANT_TRUE, copy.Out()), S_OK);
    Append(Root(request.Get()).Get(), copy.Get());
  }
  EXPECT_EQ(trees(), before + 2) << "the listed tree's and the one that took x";
  unrelated = nullptr;
  EXPECT_EQ(trees(), before + 1);
}

TEST_F(LifetimeTest, OldNodesListsAndMapsOutliveTheDocumentContent) {
  ardo::ComPtr<IXMLDOMNodeList> children;
  ardo::ComPtr<IXMLDOMNamedNodeMap> attributes;
  {
    auto doc = Parse("<r k='v'><a/><b>text</b></r>");
    ASSERT_TRUE(doc);
    auto root = Root(doc.Get());
    ASSERT_HR(root->get_childNodes(children.Out()), S_OK);
    ASSERT_HR(root->get_attributes(attributes.Out()), S_OK);
    auto b = SelectOne(doc.Get(), "/r/b");
    ASSERT_HR(LoadXml(doc.Get(), "<new/>"), S_OK);
    EXPECT_EQ(XmlOf(b.Get()), "<b>text</b>") << "a node of the old tree stays valid";
    ardo::ComPtr<IXMLDOMNode> parent;
    EXPECT_HR(root->get_parentNode(parent.Out()), S_FALSE) << "the old root is no longer the document's";
    EXPECT_FALSE(parent);
    EXPECT_EQ(XmlOf(Root(doc.Get()).Get()), "<new/>");
    EXPECT_EQ(LengthOf(Select(doc.Get(), "//b").Get()), 0);
  }
  EXPECT_EQ(NamesOf(children.Get()), (std::vector<std::string>{"a", "b"}));
  ardo::ComPtr<IXMLDOMNode> k;
  ASSERT_HR(attributes->getNamedItem(Bstr("k"), k.Out()), S_OK);
  EXPECT_EQ(TextOf(k.Get()), "v");
}

// --- two threads on one free-threaded document ---

class FreeThreadedTest : public EngineTest {
 protected:
  // Runs body(t, failures) on `count` threads, each in its own initialised
  // apartment; the failures they counted.
  int OnThreads(int count, const std::function<void(int, std::atomic<int>&)>& body) {
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < count; ++t)
      threads.emplace_back([&, t] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        body(t, failures);
        CoUninitialize();
      });
    for (auto& thread : threads) thread.join();
    return failures.load();
  }
};

// Two selections, each turned between the roots of two free-threaded
// documents by its own thread, and a type read while a load replaces the
// tree: no lock taken out of order, no read of a tree being replaced.
TEST_F(FreeThreadedTest, SelectionContextsCrossDocumentsAndTypesReadDuringALoad) {
  auto a = Parse("<r><a/><b/></r>", CLSID_FreeThreadedDOMDocument40);
  auto b = Parse("<r><a/><b/></r>", CLSID_FreeThreadedDOMDocument40);
  ASSERT_TRUE(a && b);
  auto ra = Root(a.Get()), rb = Root(b.Get());
  ardo::ComPtr<IXMLDOMSelection> sa, sb;
  ASSERT_HR(Select(ra.Get(), "*")->QueryInterface(IID_IXMLDOMSelection, reinterpret_cast<void**>(sa.Out())), S_OK);
  ASSERT_HR(Select(rb.Get(), "*")->QueryInterface(IID_IXMLDOMSelection, reinterpret_cast<void**>(sb.Out())), S_OK);
  std::atomic<int> failures{0};
  auto turn = [&](IXMLDOMSelection* s, IXMLDOMNode* there, IXMLDOMNode* back) {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    for (int i = 0; i < 200; ++i)
      if (FAILED(s->putref_context(there)) || FAILED(s->putref_context(back))) ++failures;
    CoUninitialize();
  };
  std::thread first(turn, sa.Get(), rb.Get(), ra.Get()), second(turn, sb.Get(), ra.Get(), rb.Get());
  first.join();
  second.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(LengthOf(sa.Get()), 2);
  // A copy of a selection whose context is a document another thread
  // reloads reads that context's tree under its lock.
  ASSERT_HR(sa->putref_context(b.Get()), S_OK);
  // step runs on this thread while another reloads doc `loads` times.
  auto whileReloading = [&](IXMLDOMDocument2* doc, const char* xml, int loads, const std::function<void()>& step) {
    std::atomic<bool> reloading{true};
    std::thread reloader([&] {
      CoInitializeEx(nullptr, COINIT_MULTITHREADED);
      for (int i = 0; i < loads; ++i)
        if (LoadXml(doc, xml) != S_OK) ++failures;
      reloading = false;
      CoUninitialize();
    });
    while (reloading) step();
    reloader.join();
  };
  whileReloading(b.Get(), "<r><a/></r>", 300, [&] {
    ardo::ComPtr<IXMLDOMSelection> copy;
    if (FAILED(sa->clone(copy.Out()))) ++failures;
  });
  EXPECT_EQ(failures.load(), 0);
  whileReloading(a.Get(), "<r/>", 200, [&] {
    DOMNodeType type = NODE_INVALID;
    if (FAILED(a->get_nodeType(&type)) || type != NODE_DOCUMENT) ++failures;
  });
  EXPECT_EQ(failures.load(), 0);
}

TEST_F(FreeThreadedTest, TwoThreadsEditAndQueryOneDocument) {
  for (const DocumentClass& c : AllDocumentClasses()) {
    if (!c.freeThreaded) continue;
    SCOPED_TRACE(c.name);
    auto doc = Parse("<r/>", *c.clsid);
    ASSERT_TRUE(doc);
    const int kEdits = 300;
    std::atomic<bool> writerDone{false};
    std::atomic<int> failures{0}, nonMonotonic{0};
    IXMLDOMDocument2* shared = doc.Get();
    auto check = [&](HRESULT hr) { if (FAILED(hr)) ++failures; };

    std::thread writer([&] {
      CoInitializeEx(nullptr, COINIT_MULTITHREADED);
      {
        ardo::ComPtr<IXMLDOMElement> root;
        check(shared->get_documentElement(root.Out()));
        for (int i = 0; i < kEdits && root; ++i) {
          ardo::ComPtr<IXMLDOMElement> e, tmp;
          ardo::ComPtr<IXMLDOMNode> in, out;
          Variant value(Variant::I4(i));
          check(shared->createElement(Bstr("t"), e.Out()));
          if (!e) continue;
          check(e->setAttribute(Bstr("i"), value.get()));
          check(root->appendChild(e.Get(), in.Out()));
          if (i % 3 != 0) continue;  // a short-lived extra node, removed again
          check(shared->createElement(Bstr("tmp"), tmp.Out()));
          check(root->appendChild(tmp.Get(), in.Out()));
          check(root->removeChild(tmp.Get(), out.Out()));
        }
      }
      writerDone = true;
      CoUninitialize();
    });

    std::thread reader([&] {
      CoInitializeEx(nullptr, COINIT_MULTITHREADED);
      {
        long last = 0;
        for (int rounds = 0; !writerDone || rounds < 5; ++rounds) {
          ardo::ComPtr<IXMLDOMNodeList> list;
          check(shared->selectNodes(Bstr("/r/t"), list.Out()));
          if (!list) { ++failures; break; }
          long n = LengthOf(list.Get());
          if (n < last) ++nonMonotonic;
          last = n;
          ardo::ComPtr<IXMLDOMNode> item;
          if (n > 0 && (FAILED(list->get_item(n - 1, item.Out())) ||
                        XmlOf(item.Get()) != "<t i=\"" + std::to_string(n - 1) + "\"/>"))
            ++failures;
          Bstr xml;
          check(shared->get_xml(xml.Out()));
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

// A node that one thread moves back and forth between two free-threaded
// documents while another reads and edits it: each call runs under the lock
// of the document the node is in when the call runs.
TEST_F(FreeThreadedTest, ANodeMovingBetweenDocumentsIsUsedUnderTheRightLock) {
  auto a = Parse("<a><x><y>1</y></x></a>", CLSID_FreeThreadedDOMDocument40);
  auto b = Parse("<b/>", CLSID_FreeThreadedDOMDocument40);
  ASSERT_TRUE(a && b);
  auto x = SelectOne(a.Get(), "/a/x");
  auto rootA = Root(a.Get()), rootB = Root(b.Get());
  ASSERT_TRUE(x && rootA && rootB);
  const int kMoves = 20000;
  std::atomic<bool> done{false};
  std::atomic<int> failures{0};
  std::thread mover([&] {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    for (int i = 0; i < kMoves; ++i) {
      ardo::ComPtr<IXMLDOMNode> moved;
      if (FAILED((i % 2 ? rootA : rootB)->appendChild(x.Get(), moved.Out()))) ++failures;
    }
    done = true;
    CoUninitialize();
  });
  std::thread user([&] {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    while (!done) {
      ardo::ComPtr<IXMLDOMDocument> owner;
      ardo::ComPtr<IXMLDOMElement> extra;
      ardo::ComPtr<IXMLDOMNode> in, out;
      Bstr xml;
      if (FAILED(x->get_ownerDocument(owner.Out())) || !owner || FAILED(owner->createElement(Bstr("n"), extra.Out())) ||
          FAILED(x->appendChild(extra.Get(), in.Out())) || FAILED(x->removeChild(extra.Get(), out.Out())) ||
          FAILED(x->get_xml(xml.Out())) || xml.Utf8() != "<x><y>1</y></x>")
        ++failures;
    }
    CoUninitialize();
  });
  mover.join();
  user.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(XmlOf(a.Get()), "<a><x><y>1</y></x></a>\r\n") << "the last move brought it back";
  EXPECT_EQ(XmlOf(b.Get()), "<b/>\r\n");
}

// A node of a third document given as the reference, the node to replace
// or remove is no child here: it is refused without reading a node that
// its own document's thread is moving meanwhile. Threads sharing one
// enumerator of a list share its position as they share the list.
TEST_F(FreeThreadedTest, ArgumentsFromOtherDocumentsAndSharedEnumeratorsAreUsedUnderLocks) {
  auto a = Parse("<a><k/></a>", CLSID_FreeThreadedDOMDocument40);
  auto c = Parse("<c><p/><q/></c>", CLSID_FreeThreadedDOMDocument40);
  ASSERT_TRUE(a && c);
  auto rootA = Root(a.Get()), rootC = Root(c.Get());
  auto p = SelectOne(c.Get(), "/c/p"), q = SelectOne(c.Get(), "/c/q");
  ASSERT_TRUE(rootA && rootC && p && q);
  std::atomic<bool> done{false};
  std::atomic<int> wrong{0};
  std::thread mover([&] {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    for (int i = 0; i < 3000; ++i) {
      ardo::ComPtr<IXMLDOMNode> moved;
      if (FAILED((i % 2 ? rootC.Get() : q.Get())->appendChild(p.Get(), moved.Out()))) ++wrong;
    }
    done = true;
    CoUninitialize();
  });
  std::thread asker([&] {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    for (int i = 0; !done; ++i) {
      ardo::ComPtr<IXMLDOMElement> e;
      ardo::ComPtr<IXMLDOMNode> out;
      if (FAILED(a->createElement(Bstr("n"), e.Out()))) ++wrong;
      Variant ref(Variant::Unknown(p.Get()));
      HRESULT hr = i % 3 == 0 ? rootA->insertBefore(e.Get(), ref.get(), out.Out())
                   : i % 3 == 1 ? rootA->replaceChild(e.Get(), p.Get(), out.Out())
                                : rootA->removeChild(p.Get(), out.Out());
      if (hr != E_INVALIDARG) ++wrong;
    }
    CoUninitialize();
  });
  mover.join();
  asker.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(XmlOf(rootA.Get()), "<a><k/></a>");

  ardo::ComPtr<IXMLDOMNodeList> children;
  ASSERT_HR(rootC->get_childNodes(children.Out()), S_OK);
  ardo::ComPtr<IUnknown> unknown;
  ASSERT_HR(children->get__newEnum(unknown.Out()), S_OK);
  auto shared = unknown.As<IEnumVARIANT>();
  ASSERT_TRUE(shared);
  std::atomic<long> fetchedTotal{0};
  auto reader = [&] {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    for (int i = 0; i < 2000; ++i) {
      Variant item;
      ULONG fetched = 0;
      if (shared->Next(1, item.Out(), &fetched) == S_OK) fetchedTotal += long(fetched);
    }
    CoUninitialize();
  };
  std::thread one(reader), two(reader);
  one.join();
  two.join();
  EXPECT_EQ(fetchedTotal.load(), LengthOf(children.Get())) << "each item handed out once between the two";
}

// A selection whose context is in another free-threaded document queries
// that document under its lock, while another thread edits it.
TEST_F(FreeThreadedTest, ASelectionQueriesItsContextsDocumentUnderThatDocumentsLock) {
  auto a = Parse("<a/>", CLSID_FreeThreadedDOMDocument40);
  auto b = Parse("<b><x><y/></x></b>", CLSID_FreeThreadedDOMDocument40);
  ASSERT_TRUE(a && b);
  auto selection = Select(a.Get(), "/a").As<IXMLDOMSelection>();
  auto x = SelectOne(b.Get(), "/b/x");
  ASSERT_TRUE(selection && x);
  ASSERT_HR(selection->putref_context(x.Get()), S_OK);
  ASSERT_HR(selection->put_expr(Bstr("y")), S_OK);
  long length = 0;
  ASSERT_HR(selection->get_length(&length), S_OK);
  EXPECT_EQ(length, 1);
  std::atomic<bool> done{false};
  std::atomic<int> failures{0};
  std::thread editor([&] {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    for (int i = 0; i < 3000; ++i) {
      ardo::ComPtr<IXMLDOMElement> extra;
      ardo::ComPtr<IXMLDOMNode> in, out;
      if (FAILED(b->createElement(Bstr("y"), extra.Out())) || FAILED(x->appendChild(extra.Get(), in.Out())) ||
          FAILED(x->removeChild(extra.Get(), out.Out())))
        ++failures;
    }
    done = true;
    CoUninitialize();
  });
  std::thread querier([&] {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    while (!done) {
      ardo::ComPtr<IXMLDOMNode> context;
      if (FAILED(selection->put_expr(Bstr("y | ../x/y"))) || selection->matches(x.Get(), context.Out()) != S_FALSE)
        ++failures;
    }
    CoUninitialize();
  });
  editor.join();
  querier.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(XmlOf(Root(b.Get()).Get()), "<b><x><y/></x></b>");
}

// Two threads transforming each into the other's free-threaded document:
// the result goes in after the source's lock is given up, so neither waits
// for the other's lock while holding its own.
// Lists of four documents hold nodes that moved into a fifth, released
// since: four threads hand them out (the tree comes back under a new
// document), edit through them and let them go (it goes again), together.
TEST_F(FreeThreadedTest, ThreadsBringBackAndLetGoOfATreeTheirListsHold) {
  constexpr int kThreads = 4;
  ardo::ComPtr<IXMLDOMNodeList> lists[kThreads];
  ardo::ComPtr<IXMLDOMDocument2> sources[kThreads];
  {
    auto target = Parse("<s/>", CLSID_FreeThreadedDOMDocument40);
    ASSERT_TRUE(target);
    auto s = Root(target.Get());
    for (int i = 0; i < kThreads; ++i) {
      sources[i] = Parse("<r><x a='1'><y/>t</x><z/></r>", CLSID_FreeThreadedDOMDocument40);
      ASSERT_TRUE(sources[i]);
      lists[i] = Select(sources[i].Get(), "//x | //x/node() | //x/@a");
      ASSERT_EQ(LengthOf(lists[i].Get()), 4);
      Append(s.Get(), SelectOne(sources[i].Get(), "//x").Get());
    }
  }
  EXPECT_EQ(OnThreads(kThreads, [&](int t, std::atomic<int>& failures) {
      for (int i = 0; i < 200; ++i) {
        ardo::ComPtr<IXMLDOMNode> node, other, parent, added;
        ardo::ComPtr<IXMLDOMDocument> owner;
        ardo::ComPtr<IXMLDOMElement> e;
        long index = (i + t) % 4;
        if (lists[t]->get_item(index, node.Out()) != S_OK || !node ||
            node->get_ownerDocument(owner.Out()) != S_OK || !owner) {
          ++failures;
          continue;
        }
        if (i % 2 == 0 && owner->createElement(Bstr("q"), e.Out()) == S_OK &&
            node->get_parentNode(parent.Out()) == S_OK && parent)
          parent->appendChild(e.Get(), added.Out());
        if (lists[(t + 1) % kThreads]->get_item(index, other.Out()) != S_OK || !other) ++failures;
      }
    }),
    0);
}

// A selection of one document over another's tree: cloning it and
// pointing it elsewhere from two threads while two more walk that tree.
TEST_F(FreeThreadedTest, ASelectionOverAnotherDocumentsTreeKeepsItWithoutItsLock) {
  auto a = Parse("<r><a/><a/></r>", CLSID_FreeThreadedDOMDocument40);
  auto b = Parse("<r><x><y/></x><x/><x/><x/></r>", CLSID_FreeThreadedDOMDocument40);
  ASSERT_TRUE(a && b);
  auto selection = Select(a.Get(), "//a").As<IXMLDOMSelection>();
  ASSERT_TRUE(selection);
  ASSERT_HR(selection->putref_context(SelectOne(b.Get(), "/r").Get()), S_OK);
  EXPECT_EQ(OnThreads(4, [&](int t, std::atomic<int>& failures) {
      for (int i = 0; i < 300; ++i) {
        if (t == 0) {
          ardo::ComPtr<IXMLDOMSelection> copy;
          if (FAILED(selection->clone(copy.Out()))) ++failures;
        } else if (t == 1) {
          auto own = Select(a.Get(), "//a").As<IXMLDOMSelection>();
          auto x = SelectOne(b.Get(), "/r/x");
          if (!own || !x || FAILED(own->putref_context(x.Get()))) ++failures;
        } else {
          long nodes = 0;
          ardo::ComPtr<IXMLDOMNode> n;
          b->get_firstChild(n.Out());
          while (n) {
            ++nodes;
            ardo::ComPtr<IXMLDOMNode> next;
            n->get_firstChild(next.Out());
            if (!next) n->get_nextSibling(next.Out());
            n = std::move(next);
          }
          if (nodes < 3) ++failures;
        }
      }
    }),
    0);
}

// An apartment document is used from one thread without a lock: nodes do
// not move between it and a free-threaded one.
TEST_F(FreeThreadedTest, NodesDoNotMoveBetweenFreeThreadedAndApartmentDocuments) {
  auto shared = Parse("<r a='1'><x/></r>", CLSID_FreeThreadedDOMDocument40);
  auto single = Parse("<s/>", CLSID_DOMDocument40);
  ASSERT_TRUE(shared && single);
  for (auto [from, to] : {std::pair(shared.Get(), single.Get()), std::pair(single.Get(), shared.Get())}) {
    auto moving = NewElement(from, "m");
    ardo::ComPtr<IXMLDOMNode> out;
    EXPECT_HR(Root(to)->appendChild(moving.Get(), out.Out()), E_FAIL);
    EXPECT_NE(LastReason().find("free-threaded"), std::string::npos);
    EXPECT_HR(to->putref_documentElement(moving.As<IXMLDOMElement>().Get()), E_FAIL);
    ardo::ComPtr<IXMLDOMAttribute> attr, replaced;
    ASSERT_HR(from->createAttribute(Bstr("n"), attr.Out()), S_OK);
    EXPECT_HR(Root(to)->setAttributeNode(attr.Get(), replaced.Out()), E_FAIL);
  }
  EXPECT_EQ(XmlOf(shared.Get()), "<r a=\"1\"><x/></r>\r\n");
  EXPECT_EQ(XmlOf(single.Get()), "<s/>\r\n");
}

TEST_F(FreeThreadedTest, TransformsIntoEachOthersDocumentsDoNotDeadlock) {
  const char kSheet[] =
      "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
      "<xsl:template match='/'><out><xsl:value-of select='count(//*)'/></out></xsl:template></xsl:stylesheet>";
  auto a = Parse("<a><x/></a>", CLSID_FreeThreadedDOMDocument40);
  auto b = Parse("<b/>", CLSID_FreeThreadedDOMDocument40);
  auto sheetA = Parse(kSheet, CLSID_FreeThreadedDOMDocument40);
  auto sheetB = Parse(kSheet, CLSID_FreeThreadedDOMDocument40);
  ASSERT_TRUE(a && b && sheetA && sheetB);
  std::atomic<int> failures{0};
  auto run = [&](IXMLDOMDocument2* from, IXMLDOMDocument2* sheet, IXMLDOMDocument2* into) {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    Variant target(Variant::Dispatch(into));
    for (int i = 0; i < 300; ++i)
      if (FAILED(from->transformNodeToObject(sheet, target.get()))) ++failures;
    CoUninitialize();
  };
  std::thread one(run, a.Get(), sheetA.Get(), b.Get());
  std::thread two(run, b.Get(), sheetB.Get(), a.Get());
  one.join();
  two.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(NameOf(Root(a.Get()).Get()), "out");
  EXPECT_EQ(NameOf(Root(b.Get()).Get()), "out");
}

// A readystatechange handler of one free-threaded document that reads
// another whose own handler, on another thread, reads the first. The first
// time each runs it waits for the other to be in its handler too, then
// reads the other document from a helper thread, for at most a few seconds:
// a handler called under its document's lock would wait for ever.
class CrossReader : public ardo::ComObject<CrossReader, IDispatch> {
 public:
  CrossReader(IXMLDOMDocument* other, std::atomic<int>* meeting) : other_(other), meeting_(meeting) {}
  ~CrossReader() override {
    if (reader_.joinable()) reader_.join();
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    if (reader_.joinable()) return S_OK;  // once only
    ++*meeting_;
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (*meeting_ < 2 && std::chrono::steady_clock::now() < until) std::this_thread::yield();
    std::promise<void> read;
    auto done = read.get_future();
    reader_ = std::thread([this, read = std::move(read)]() mutable {
      CoInitializeEx(nullptr, COINIT_MULTITHREADED);
      long state = 0;
      other_->get_readyState(&state);
      read.set_value();
      CoUninitialize();
    });
    readIt = done.wait_for(std::chrono::seconds(3)) == std::future_status::ready;
    return S_OK;
  }
  bool readIt = false;

 private:
  IXMLDOMDocument* other_;
  std::atomic<int>* meeting_;
  std::thread reader_;
};

TEST_F(FreeThreadedTest, HandlersOfTwoDocumentsReadingEachOtherDoNotDeadlock) {
  auto a = Parse("<a/>", CLSID_FreeThreadedDOMDocument40);
  auto b = Parse("<b/>", CLSID_FreeThreadedDOMDocument40);
  ASSERT_TRUE(a && b);
  std::atomic<int> meeting{0};
  auto onA = ardo::MakeObject<CrossReader>(b.Get(), &meeting);
  auto onB = ardo::MakeObject<CrossReader>(a.Get(), &meeting);
  Variant handlerA(Variant::Dispatch(onA.Get())), handlerB(Variant::Dispatch(onB.Get()));
  ASSERT_HR(a->put_onreadystatechange(handlerA.get()), S_OK);
  ASSERT_HR(b->put_onreadystatechange(handlerB.get()), S_OK);
  EXPECT_EQ(OnThreads(2, [&](int t, std::atomic<int>& failures) {
      if (LoadXml(t == 0 ? a.Get() : b.Get(), t == 0 ? "<a2/>" : "<b2/>") != S_OK) ++failures;
    }),
    0);
  EXPECT_TRUE(onA->readIt) << "a's handler could not read b";
  EXPECT_TRUE(onB->readIt) << "b's handler could not read a";
  Variant none;
  a->put_onreadystatechange(none.get());
  b->put_onreadystatechange(none.get());
  EXPECT_EQ(XmlOf(a.Get()), "<a2/>\r\n");
  EXPECT_EQ(XmlOf(b.Get()), "<b2/>\r\n");
}

// A list whose nodes another thread moves between two other documents:
// handing them out, copying the list and taking every node out meanwhile
// read each node's document under the lock of the document it is in.
TEST_F(FreeThreadedTest, AListsNodesMovingBetweenTwoOtherDocumentsAreUsedUnderTheirLocks) {
  auto a = Parse("<a><x/><y/></a>", CLSID_FreeThreadedDOMDocument40);
  auto b = Parse("<b/>", CLSID_FreeThreadedDOMDocument40);
  auto c = Parse("<c/>", CLSID_FreeThreadedDOMDocument40);
  ASSERT_TRUE(a && b && c);
  auto list = Select(a.Get(), "/a/*").As<IXMLDOMSelection>();
  auto x = SelectOne(a.Get(), "/a/x"), y = SelectOne(a.Get(), "/a/y");
  auto rootB = Root(b.Get()), rootC = Root(c.Get());
  ASSERT_TRUE(list && x && y && rootB && rootC);
  std::atomic<bool> moving{true};
  EXPECT_EQ(OnThreads(2, [&](int t, std::atomic<int>& failures) {
      if (t == 0) {
        for (int i = 0; i < 2000; ++i) {
          ardo::ComPtr<IXMLDOMNode> moved;
          IXMLDOMNode* to = i % 2 ? rootC.Get() : rootB.Get();
          if (FAILED(to->appendChild(x.Get(), moved.Out())) || FAILED(to->appendChild(y.Get(), moved.Out())))
            ++failures;
        }
        moving = false;
        return;
      }
      for (int i = 0; moving; ++i) {
        ardo::ComPtr<IXMLDOMNode> item;
        if (list->get_item(i % 2, item.Out()) != S_OK || NameOf(item.Get()) != (i % 2 ? "y" : "x")) ++failures;
        if (i % 50 != 0) continue;
        ardo::ComPtr<IXMLDOMSelection> copy;
        if (FAILED(list->clone(copy.Out())) || FAILED(copy->removeAll()) || LengthOf(copy.Get()) != 0)
          ++failures;
      }
    }),
    0);
  EXPECT_HR(list->removeAll(), S_OK);
  EXPECT_EQ(LengthOf(list.Get()), 0);
  EXPECT_EQ(XmlOf(rootB.Get()) + XmlOf(rootC.Get()), "<b/><c/>");
  ardo::ComPtr<IXMLDOMNode> parent;
  EXPECT_HR(x->get_parentNode(parent.Out()), S_FALSE);
}

// A handler that breaks the rules and throws: the load fails with the
// document's lock given back once, and another thread loads it after.
class ThrowingHandler : public ardo::ComObject<ThrowingHandler, IDispatch> {
 public:
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    throw std::bad_alloc();
  }
};

TEST_F(FreeThreadedTest, AHandlerThatThrowsLeavesTheDocumentsLockAsItWas) {
  auto doc = Parse("<a/>", CLSID_FreeThreadedDOMDocument40);
  ASSERT_TRUE(doc);
  auto handler = ardo::MakeObject<ThrowingHandler>();
  Variant on(Variant::Dispatch(handler.Get())), none;
  ASSERT_HR(doc->put_onreadystatechange(on.get()), S_OK);
  EXPECT_HR(LoadXml(doc.Get(), "<b/>"), E_OUTOFMEMORY);
  ASSERT_HR(doc->put_onreadystatechange(none.get()), S_OK);
  EXPECT_EQ(OnThreads(1, [&](int, std::atomic<int>& failures) {
      if (LoadXml(doc.Get(), "<c/>") != S_OK) ++failures;
    }),
    0);
  EXPECT_EQ(XmlOf(doc.Get()), "<c/>\r\n");
}

// Listed nodes that two threads keep moving into new documents, each let
// go of as soon as the nodes have moved on (its tree freed), while two more
// threads take every node out through copies of the list.
TEST_F(FreeThreadedTest, ListedNodesMovingThroughShortLivedDocumentsAreTakenOutSafely) {
  auto a = Parse("<a><x/><y/></a>", CLSID_FreeThreadedDOMDocument40);
  ASSERT_TRUE(a);
  auto list = Select(a.Get(), "/a/*").As<IXMLDOMSelection>();
  ardo::ComPtr<IXMLDOMNode> nodes[] = {SelectOne(a.Get(), "/a/x"), SelectOne(a.Get(), "/a/y")};
  ASSERT_TRUE(list && nodes[0] && nodes[1]);
  std::atomic<int> moving{2};
  EXPECT_EQ(OnThreads(4, [&](int t, std::atomic<int>& failures) {
      if (t < 2) {
        for (int i = 0; i < 1500; ++i) {
          auto next = Parse("<t/>", CLSID_FreeThreadedDOMDocument40);  // the last one goes here
          ardo::ComPtr<IXMLDOMNode> moved;
          if (!next || FAILED(Root(next.Get())->appendChild(nodes[t].Get(), moved.Out()))) ++failures;
        }
        --moving;
        return;
      }
      while (moving > 0) {
        ardo::ComPtr<IXMLDOMSelection> copy;
        if (FAILED(list->clone(copy.Out())) || FAILED(copy->removeAll()) || LengthOf(copy.Get()) != 0) ++failures;
      }
    }),
    0);
  EXPECT_HR(list->removeAll(), S_OK);
  ardo::ComPtr<IXMLDOMNode> parent;
  EXPECT_HR(nodes[0]->get_parentNode(parent.Out()), S_FALSE);
}

}  // namespace
}  // namespace ardo::test
