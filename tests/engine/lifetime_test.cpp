// Object identity and lifetime: one COM object per node, nodes that outlive
// their document references, detached subtrees freed with their last
// reference, and free-threaded documents used from several threads.
#include <atomic>
#include <chrono>
#include <functional>
#include <future>
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

// Listed nodes moved into a document that then reloads or is released live
// on in a tree no document holds: the list still hands them out, walks
// them, and a selection removes them from where they are.
TEST_F(LifetimeTest, ListedNodesInATreeNoDocumentHoldsStayListedAndRemovable) {
  for (const CLSID* clsid : {&CLSID_DOMDocument40, &CLSID_FreeThreadedDOMDocument40}) {
    for (bool reload : {true, false}) {
      SCOPED_TRACE(reload ? "the receiving document reloads" : "the receiving document is released");
      auto source = Parse("<r><a>1</a><a>2</a><k/></r>", *clsid), target = Parse("<s/>", *clsid);
      ASSERT_TRUE(source && target);
      auto list = Select(source.Get(), "/r/a").As<IXMLDOMSelection>();
      ASSERT_TRUE(list);
      Append(Root(target.Get()).Get(), SelectOne(source.Get(), "/r/a").Get());
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
      EXPECT_HR(list->removeAll(), S_OK);
      EXPECT_EQ(LengthOf(list.Get()), 0);
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

// Nodes, lists and maps of a document's old content outlive a reload; a
// node keeps its document alive once every other reference is gone.
TEST_F(LifetimeTest, NodesListsAndMapsOutliveTheDocumentsContentAndReference) {
  ardo::ComPtr<IXMLDOMNodeList> children;
  ardo::ComPtr<IXMLDOMNamedNodeMap> attributes;
  ardo::ComPtr<IXMLDOMNode> title;
  {
    auto doc = Parse("<r k='v'><a/><b>text</b></r>");
    ASSERT_TRUE(doc);
    auto root = Root(doc.Get());
    ASSERT_HR(root->get_childNodes(children.Out()), S_OK);
    ASSERT_HR(root->get_attributes(attributes.Out()), S_OK);
    auto b = SelectOne(doc.Get(), "/r/b");
    ASSERT_HR(LoadXml(doc.Get(), "<new><title>kept</title></new>"), S_OK);
    EXPECT_EQ(XmlOf(b.Get()), "<b>text</b>") << "a node of the old tree stays valid";
    ardo::ComPtr<IXMLDOMNode> parent;
    EXPECT_HR(root->get_parentNode(parent.Out()), S_FALSE) << "the old root is no longer the document's";
    EXPECT_FALSE(parent);
    EXPECT_EQ(LengthOf(Select(doc.Get(), "//b").Get()), 0);
    title = SelectOne(doc.Get(), "/new/title");
  }
  EXPECT_EQ(NamesOf(children.Get()), (std::vector<std::string>{"a", "b"}));
  ardo::ComPtr<IXMLDOMNode> k, parent;
  ASSERT_HR(attributes->getNamedItem(Bstr("k"), k.Out()), S_OK);
  EXPECT_EQ(TextOf(k.Get()), "v");
  ASSERT_TRUE(title);
  ASSERT_HR(title->get_parentNode(parent.Out()), S_OK);
  ardo::ComPtr<IXMLDOMDocument> owner;
  ASSERT_HR(title->get_ownerDocument(owner.Out()), S_OK);
  ASSERT_TRUE(owner);
  Append(parent.Get(), NewElement(owner.Get(), "extra").Get());
  EXPECT_EQ(XmlOf(Root(owner.Get()).Get()), "<new><title>kept</title><extra/></new>");
}

// --- threads on free-threaded documents ---

class FreeThreadedTest : public EngineTest {
 protected:
  ardo::ComPtr<IXMLDOMDocument2> Shared(const char* xml) { return Parse(xml, CLSID_FreeThreadedDOMDocument40); }
  // Runs step(t, i) for i = 0, 1, ... on `count` threads, each in its own
  // apartment: the first `workers` threads `rounds` times, the others over
  // and over (at least once) until those are done. Expects no step to fail.
  static void Race(int count, int workers, int rounds, const std::function<bool(int, int)>& step) {
    std::atomic<int> failures{0}, working{workers};
    std::vector<std::thread> threads;
    for (int t = 0; t < count; ++t)
      threads.emplace_back([&, t] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        for (int i = 0; t < workers ? i < rounds : i == 0 || working > 0; ++i)
          if (!step(t, i)) ++failures;
        if (t < workers) --working;
        CoUninitialize();
      });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0) << "steps that failed";
  }
};

// Two selections, each turned between the roots of two free-threaded
// documents by its own thread, and a type read while a load replaces the
// tree: no lock taken out of order, no read of a tree being replaced.
TEST_F(FreeThreadedTest, SelectionContextsCrossDocumentsAndTypesReadDuringALoad) {
  auto a = Shared("<r><a/><b/></r>"), b = Shared("<r><a/><b/></r>");
  ASSERT_TRUE(a && b);
  auto ra = Root(a.Get()), rb = Root(b.Get());
  auto sa = Select(ra.Get(), "*").As<IXMLDOMSelection>(), sb = Select(rb.Get(), "*").As<IXMLDOMSelection>();
  ASSERT_TRUE(sa && sb);
  Race(2, 2, 200, [&](int t, int) {
    IXMLDOMSelection* s = t ? sb.Get() : sa.Get();
    return SUCCEEDED(s->putref_context(t ? ra.Get() : rb.Get())) &&
           SUCCEEDED(s->putref_context(t ? rb.Get() : ra.Get()));
  });
  EXPECT_EQ(LengthOf(sa.Get()), 2);
  // A copy of a selection whose context is a document another thread
  // reloads reads that context's tree under its lock.
  ASSERT_HR(sa->putref_context(b.Get()), S_OK);
  Race(2, 1, 300, [&](int t, int) {
    ardo::ComPtr<IXMLDOMSelection> copy;
    return t == 0 ? LoadXml(b.Get(), "<r><a/></r>") == S_OK : SUCCEEDED(sa->clone(copy.Out()));
  });
  Race(2, 1, 200, [&](int t, int) {
    DOMNodeType type = NODE_INVALID;
    if (t == 0) return LoadXml(a.Get(), "<r/>") == S_OK;
    return SUCCEEDED(a->get_nodeType(&type)) && type == NODE_DOCUMENT;
  });
}

// A writer appends (and adds and removes a short-lived extra node) while a
// reader queries: the reader's list never shrinks and its last item is the
// last appended.
TEST_F(FreeThreadedTest, TwoThreadsEditAndQueryOneDocument) {
  for (const DocumentClass& c : AllDocumentClasses()) {
    if (!c.freeThreaded) continue;
    SCOPED_TRACE(c.name);
    auto doc = Parse("<r/>", *c.clsid);
    ASSERT_TRUE(doc);
    auto root = Root(doc.Get());
    const int kEdits = 300;
    long last = 0;
    Race(2, 1, kEdits, [&](int t, int i) {
      ardo::ComPtr<IXMLDOMElement> e, tmp;
      ardo::ComPtr<IXMLDOMNode> in, out;
      if (t == 0) {
        Variant value(Variant::I4(i));
        const bool ok = SUCCEEDED(doc->createElement(Bstr("t"), e.Out())) &&
                        SUCCEEDED(e->setAttribute(Bstr("i"), value.get())) &&
                        SUCCEEDED(root->appendChild(e.Get(), in.Out()));
        return ok && (i % 3 != 0 || (SUCCEEDED(doc->createElement(Bstr("tmp"), tmp.Out())) &&
                                     SUCCEEDED(root->appendChild(tmp.Get(), in.Out())) &&
                                     SUCCEEDED(root->removeChild(tmp.Get(), out.Out()))));
      }
      ardo::ComPtr<IXMLDOMNodeList> list;
      Bstr xml;
      if (FAILED(doc->selectNodes(Bstr("/r/t"), list.Out())) || !list) return false;
      const long n = LengthOf(list.Get());
      const bool grew = n >= last;
      last = n;
      return grew && SUCCEEDED(doc->get_xml(xml.Out())) &&
             (n == 0 || (list->get_item(n - 1, in.Out()) == S_OK &&
                         XmlOf(in.Get()) == "<t i=\"" + std::to_string(n - 1) + "\"/>"));
    });
    std::string expected = "<r>";
    for (int i = 0; i < kEdits; ++i) expected += "<t i=\"" + std::to_string(i) + "\"/>";
    EXPECT_EQ(XmlOf(root.Get()), expected + "</r>");
  }
}

// Lists of four documents hold nodes that moved into a fifth, released
// since: four threads hand them out (the tree comes back under a new
// document), edit through them and let them go (it goes again), together.
TEST_F(FreeThreadedTest, ThreadsBringBackAndLetGoOfATreeTheirListsHold) {
  constexpr int kThreads = 4;
  ardo::ComPtr<IXMLDOMNodeList> lists[kThreads];
  ardo::ComPtr<IXMLDOMDocument2> sources[kThreads];
  {
    auto target = Shared("<s/>");
    ASSERT_TRUE(target);
    for (int i = 0; i < kThreads; ++i) {
      sources[i] = Shared("<r><x a='1'><y/>t</x><z/></r>");
      ASSERT_TRUE(sources[i]);
      lists[i] = Select(sources[i].Get(), "//x | //x/node() | //x/@a");
      ASSERT_EQ(LengthOf(lists[i].Get()), 4);
      Append(Root(target.Get()).Get(), SelectOne(sources[i].Get(), "//x").Get());
    }
  }
  Race(kThreads, kThreads, 200, [&](int t, int i) {
    ardo::ComPtr<IXMLDOMNode> node, other, parent, added;
    ardo::ComPtr<IXMLDOMDocument> owner;
    ardo::ComPtr<IXMLDOMElement> e;
    const long index = (i + t) % 4;
    if (lists[t]->get_item(index, node.Out()) != S_OK || !node || node->get_ownerDocument(owner.Out()) != S_OK ||
        !owner)
      return false;
    if (i % 2 == 0 && owner->createElement(Bstr("q"), e.Out()) == S_OK && node->get_parentNode(parent.Out()) == S_OK &&
        parent)
      parent->appendChild(e.Get(), added.Out());
    return lists[(t + 1) % kThreads]->get_item(index, other.Out()) == S_OK && other;
  });
}

// A node that one thread moves back and forth between two free-threaded
// documents while others use it: reading and editing it runs under the lock
// of the document it is in at the time, and a third document refuses it as
// the reference, the node to replace or to remove (it is no child there)
// without reading it unlocked. Threads sharing one enumerator of a list
// share its position as they share the list.
TEST_F(FreeThreadedTest, ANodeMovingBetweenDocumentsIsUsedUnderTheRightLock) {
  auto a = Shared("<a><x><y>1</y></x></a>"), b = Shared("<b/>"), c = Shared("<c><k/><l/><m/></c>");
  ASSERT_TRUE(a && b && c);
  auto x = SelectOne(a.Get(), "/a/x");
  auto rootA = Root(a.Get()), rootB = Root(b.Get()), rootC = Root(c.Get());
  ASSERT_TRUE(x && rootA && rootB && rootC);
  Race(3, 1, 20000, [&](int t, int i) {
    ardo::ComPtr<IXMLDOMNode> in, out;
    ardo::ComPtr<IXMLDOMElement> extra;
    if (t == 0) return SUCCEEDED((i % 2 ? rootA : rootB)->appendChild(x.Get(), in.Out()));
    if (t == 2) {
      Variant ref(Variant::Unknown(x.Get()));
      if (FAILED(c->createElement(Bstr("n"), extra.Out()))) return false;
      HRESULT hr = i % 3 == 0   ? rootC->insertBefore(extra.Get(), ref.get(), out.Out())
                   : i % 3 == 1 ? rootC->replaceChild(extra.Get(), x.Get(), out.Out())
                                : rootC->removeChild(x.Get(), out.Out());
      return hr == E_INVALIDARG;
    }
    ardo::ComPtr<IXMLDOMDocument> owner;
    Bstr xml;
    return SUCCEEDED(x->get_ownerDocument(owner.Out())) && owner &&
           SUCCEEDED(owner->createElement(Bstr("n"), extra.Out())) &&
           SUCCEEDED(x->appendChild(extra.Get(), in.Out())) && SUCCEEDED(x->removeChild(extra.Get(), out.Out())) &&
           SUCCEEDED(x->get_xml(xml.Out())) && xml.Utf8() == "<x><y>1</y></x>";
  });
  EXPECT_EQ(XmlOf(a.Get()), "<a><x><y>1</y></x></a>\r\n") << "the last move brought it back";
  EXPECT_EQ(XmlOf(b.Get()), "<b/>\r\n");
  EXPECT_EQ(XmlOf(c.Get()), "<c><k/><l/><m/></c>\r\n");

  ardo::ComPtr<IXMLDOMNodeList> children;
  ASSERT_HR(rootC->get_childNodes(children.Out()), S_OK);
  ardo::ComPtr<IUnknown> unknown;
  ASSERT_HR(children->get__newEnum(unknown.Out()), S_OK);
  auto shared = unknown.As<IEnumVARIANT>();
  ASSERT_TRUE(shared);
  std::atomic<long> fetchedTotal{0};
  Race(2, 2, 2000, [&](int, int) {
    Variant item;
    ULONG fetched = 0;
    HRESULT hr = shared->Next(1, item.Out(), &fetched);
    if (hr == S_OK) fetchedTotal += long(fetched);
    return hr == S_OK || hr == S_FALSE;
  });
  EXPECT_EQ(fetchedTotal.load(), 3) << "each item handed out once between the two";
}

// Selections of one document over another's tree: one queries it (its
// context an element there) while a thread edits it, another is copied and
// a third pointed into it while two threads walk it. Each reads that tree
// under its own document's lock, or keeps it without taking the lock.
TEST_F(FreeThreadedTest, SelectionsOverAnotherDocumentsTreeUseItUnderItsLock) {
  auto a = Shared("<r><a/><a/></r>"), b = Shared("<b><x><y/></x><x/><x/></b>");
  ASSERT_TRUE(a && b);
  auto query = Select(a.Get(), "//a").As<IXMLDOMSelection>(), over = Select(a.Get(), "//a").As<IXMLDOMSelection>();
  auto x = SelectOne(b.Get(), "/b/x");
  ASSERT_TRUE(query && over && x);
  ASSERT_HR(query->putref_context(x.Get()), S_OK);
  ASSERT_HR(query->put_expr(Bstr("y")), S_OK);
  EXPECT_EQ(LengthOf(query.Get()), 1);
  ASSERT_HR(over->putref_context(Root(b.Get()).Get()), S_OK);
  Race(6, 1, 3000, [&](int t, int) {
    ardo::ComPtr<IXMLDOMNode> in, out, n;
    ardo::ComPtr<IXMLDOMElement> extra;
    ardo::ComPtr<IXMLDOMSelection> copy;
    if (t == 0)
      return SUCCEEDED(b->createElement(Bstr("y"), extra.Out())) && SUCCEEDED(x->appendChild(extra.Get(), in.Out())) &&
             SUCCEEDED(x->removeChild(extra.Get(), out.Out()));
    if (t == 1) return SUCCEEDED(query->put_expr(Bstr("y | ../x/y"))) && query->matches(x.Get(), out.Out()) == S_FALSE;
    if (t == 2) return SUCCEEDED(over->clone(copy.Out()));
    if (t == 3) {
      auto own = Select(a.Get(), "//a").As<IXMLDOMSelection>();
      return own && SUCCEEDED(own->putref_context(x.Get()));
    }
    long nodes = 0;
    for (b->get_firstChild(n.Out()); n; ++nodes) {
      ardo::ComPtr<IXMLDOMNode> next;
      n->get_firstChild(next.Out());
      if (!next) n->get_nextSibling(next.Out());
      n = std::move(next);
    }
    return nodes >= 3;
  });
  EXPECT_EQ(XmlOf(Root(b.Get()).Get()), "<b><x><y/></x><x/><x/></b>");
}

// An apartment document is used from one thread without a lock: nodes do
// not move between it and a free-threaded one.
TEST_F(FreeThreadedTest, NodesDoNotMoveBetweenFreeThreadedAndApartmentDocuments) {
  auto shared = Shared("<r a='1'><x/></r>");
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

// Two threads transforming each into the other's free-threaded document:
// the result goes in after the source's lock is given up, so neither waits
// for the other's lock while holding its own.
TEST_F(FreeThreadedTest, TransformsIntoEachOthersDocumentsDoNotDeadlock) {
  const char kSheet[] =
      "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
      "<xsl:template match='/'><out><xsl:value-of select='count(//*)'/></out></xsl:template></xsl:stylesheet>";
  ardo::ComPtr<IXMLDOMDocument2> docs[] = {Shared("<a><x/></a>"), Shared("<b/>")};
  ardo::ComPtr<IXMLDOMDocument2> sheets[] = {Shared(kSheet), Shared(kSheet)};
  ASSERT_TRUE(docs[0] && docs[1] && sheets[0] && sheets[1]);
  Race(2, 2, 300, [&](int t, int) {
    Variant into(Variant::Dispatch(docs[1 - t].Get()));
    return SUCCEEDED(docs[t]->transformNodeToObject(sheets[t].Get(), into.get()));
  });
  EXPECT_EQ(NameOf(Root(docs[0].Get()).Get()), "out");
  EXPECT_EQ(NameOf(Root(docs[1].Get()).Get()), "out");
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

// A handler that breaks the rules and throws: the load fails with the
// document's lock given back once, and another thread loads it after.
class ThrowingHandler : public ardo::ComObject<ThrowingHandler, IDispatch> {
 public:
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    throw std::bad_alloc();
  }
};

TEST_F(FreeThreadedTest, HandlersThatReadEachOthersDocumentsOrThrowLeaveTheLocksFree) {
  auto a = Shared("<a/>"), b = Shared("<b/>");
  ASSERT_TRUE(a && b);
  std::atomic<int> meeting{0};
  auto onA = ardo::MakeObject<CrossReader>(b.Get(), &meeting);
  auto onB = ardo::MakeObject<CrossReader>(a.Get(), &meeting);
  Variant handlerA(Variant::Dispatch(onA.Get())), handlerB(Variant::Dispatch(onB.Get())), none;
  ASSERT_HR(a->put_onreadystatechange(handlerA.get()), S_OK);
  ASSERT_HR(b->put_onreadystatechange(handlerB.get()), S_OK);
  Race(2, 2, 1, [&](int t, int) { return LoadXml(t ? b.Get() : a.Get(), t ? "<b2/>" : "<a2/>") == S_OK; });
  EXPECT_TRUE(onA->readIt) << "a's handler could not read b";
  EXPECT_TRUE(onB->readIt) << "b's handler could not read a";
  a->put_onreadystatechange(none.get());
  b->put_onreadystatechange(none.get());
  EXPECT_EQ(XmlOf(a.Get()), "<a2/>\r\n");
  EXPECT_EQ(XmlOf(b.Get()), "<b2/>\r\n");

  auto thrower = ardo::MakeObject<ThrowingHandler>();
  Variant throws(Variant::Dispatch(thrower.Get()));
  ASSERT_HR(a->put_onreadystatechange(throws.get()), S_OK);
  EXPECT_HR(LoadXml(a.Get(), "<b/>"), E_OUTOFMEMORY);
  ASSERT_HR(a->put_onreadystatechange(none.get()), S_OK);
  Race(1, 1, 1, [&](int, int) { return LoadXml(a.Get(), "<c/>") == S_OK; });
  EXPECT_EQ(XmlOf(a.Get()), "<c/>\r\n");
}

// A list whose nodes other threads move: one between two other documents,
// one through new documents each let go of as soon as it has moved on (its
// tree freed). Handing them out, copying the list and taking every node out
// meanwhile read each node's document under the lock of the one it is in.
TEST_F(FreeThreadedTest, AListsMovingNodesAreUsedUnderTheLocksOfTheDocumentsTheyAreIn) {
  auto a = Shared("<a><x/><y/></a>"), b = Shared("<b/>"), c = Shared("<c/>");
  ASSERT_TRUE(a && b && c);
  auto list = Select(a.Get(), "/a/*").As<IXMLDOMSelection>();
  auto x = SelectOne(a.Get(), "/a/x"), y = SelectOne(a.Get(), "/a/y");
  auto rootB = Root(b.Get()), rootC = Root(c.Get());
  ASSERT_TRUE(list && x && y && rootB && rootC);
  Race(4, 2, 2000, [&](int t, int i) {
    ardo::ComPtr<IXMLDOMNode> item;
    ardo::ComPtr<IXMLDOMSelection> copy;
    if (t == 0) return SUCCEEDED((i % 2 ? rootC : rootB)->appendChild(x.Get(), item.Out()));
    if (t == 1) {
      auto next = Shared("<t/>");  // the last one goes here
      return next && SUCCEEDED(Root(next.Get())->appendChild(y.Get(), item.Out()));
    }
    if (t == 2 && (list->get_item(i % 2, item.Out()) != S_OK || NameOf(item.Get()) != (i % 2 ? "y" : "x")))
      return false;
    return (t == 2 && i % 50 != 0) ||
           (SUCCEEDED(list->clone(copy.Out())) && SUCCEEDED(copy->removeAll()) && LengthOf(copy.Get()) == 0);
  });
  EXPECT_HR(list->removeAll(), S_OK);
  EXPECT_EQ(LengthOf(list.Get()), 0);
  EXPECT_EQ(XmlOf(rootB.Get()) + XmlOf(rootC.Get()), "<b/><c/>");
  for (IXMLDOMNode* node : {x.Get(), y.Get()}) {
    ardo::ComPtr<IXMLDOMNode> parent;
    EXPECT_HR(node->get_parentNode(parent.Out()), S_FALSE);
  }
}

}  // namespace
}  // namespace ardo::test
