// A seeded, reproducible random sequence of tree edits, clones, queries and
// releases, checked step by step against a small reference model of the
// tree and its serialised form.
#include <algorithm>
#include <map>
#include <memory>
#include <random>

#include "tests/engine/engine_test_fixture.h"

namespace ardo::test {
namespace {

// Elements with ordered attributes and children, and text nodes; serialises
// the way the xml property does for this alphabet (nothing to escape).
struct ModelNode {
  bool isText = false;
  std::string name;  // element name, or the text
  std::vector<std::pair<std::string, std::string>> attributes;
  std::vector<ModelNode*> children;
  ModelNode* parent = nullptr;

  std::string Xml() const {
    if (isText) return name;
    std::string s = "<" + name;
    for (const auto& [key, value] : attributes) s += " " + key + "=\"" + value + "\"";
    if (children.empty()) return s + "/>";
    s += ">";
    for (const ModelNode* c : children) s += c->Xml();
    return s + "</" + name + ">";
  }
  // This node and those below it in document order: all of them, or the
  // elements, or the elements with the name.
  void Collect(bool elementsOnly, const std::string& only, std::vector<ModelNode*>* out) {
    if ((!elementsOnly || !isText) && (only.empty() || name == only)) out->push_back(this);
    for (ModelNode* c : children) c->Collect(elementsOnly, only, out);
  }
  std::vector<ModelNode*> Nodes(bool elementsOnly, const std::string& only = "") {
    std::vector<ModelNode*> out;
    Collect(elementsOnly, only, &out);
    return out;
  }
};

class RandomEditsTest : public EngineTest {
 protected:
  void TearDown() override {
    handles_.clear();  // before the leak check, also when a step failed
    EngineTest::TearDown();
  }
  ModelNode* NewModel(bool isText, const std::string& name, ModelNode* parent = nullptr) {
    ModelNode* n = nodes_.emplace_back(std::make_unique<ModelNode>()).get();
    n->isText = isText;
    n->name = name;
    if (parent) Adopt(parent, n, parent->children.end());
    return n;
  }
  static void Adopt(ModelNode* parent, ModelNode* child, std::vector<ModelNode*>::iterator at) {
    child->parent = parent;
    parent->children.insert(at, child);
  }
  ModelNode* CloneModel(const ModelNode* from, ModelNode* parent = nullptr) {
    ModelNode* copy = NewModel(from->isText, from->name, parent);
    copy->attributes = from->attributes;
    for (const ModelNode* c : from->children) CloneModel(c, copy);
    return copy;
  }
  // The engine node for a model node: a held handle, or a walk by child
  // index from the nearest ancestor that has one.
  ardo::ComPtr<IXMLDOMNode> Handle(ModelNode* n) {
    if (auto it = handles_.find(n); it != handles_.end()) return it->second;
    ardo::ComPtr<IXMLDOMNodeList> children;
    ardo::ComPtr<IXMLDOMNode> node;
    ardo::ComPtr<IXMLDOMNode> parent = n->parent ? Handle(n->parent) : nullptr;
    if (!parent || FAILED(parent->get_childNodes(children.Out()))) return {};
    auto& siblings = n->parent->children;
    children->get_item(long(std::find(siblings.begin(), siblings.end(), n) - siblings.begin()), node.Out());
    return node;
  }
  template <typename T>
  T* Pick(std::vector<T*>& from) {
    return from.empty() ? nullptr : from[std::uniform_int_distribution<size_t>(0, from.size() - 1)(rng_)];
  }
  // A live list held across the edits must agree with a fresh walk of the
  // model at every step: childNodes of a node, or its elements named "a".
  struct HeldList {
    ModelNode* node;
    bool byName;
    ardo::ComPtr<IXMLDOMNodeList> list;
  };
  void CheckHeldList(const HeldList& held) {
    std::vector<ModelNode*> expected = held.byName ? held.node->Nodes(true, "a") : held.node->children;
    if (held.byName && !expected.empty() && expected[0] == held.node) expected.erase(expected.begin());  // below it
    ASSERT_EQ(LengthOf(held.list.Get()), long(expected.size())) << (held.byName ? "by name" : "children");
    // Read in a random direction, as hosts walking back from the end do.
    const bool backwards = rng_() % 2;
    for (size_t k = 0; k < expected.size(); ++k) {
      size_t i = backwards ? expected.size() - 1 - k : k;
      ardo::ComPtr<IXMLDOMNode> item, want = Handle(expected[i]);
      ASSERT_HR(held.list->get_item(long(i), item.Out()), S_OK);
      ASSERT_TRUE(want);
      ASSERT_EQ(IdentityOf(item.Get()), IdentityOf(want.Get())) << i;
    }
  }
  bool Reachable(ModelNode* n) {
    for (; n; n = n->parent)
      if (handles_.count(n)) return true;
    return false;
  }
  void ForgetInside(ModelNode* top, bool sometimes) {
    for (ModelNode* n : top->Nodes(false))
      if (n != top && (!sometimes || rng_() % 2)) handles_.erase(n);
  }

  std::mt19937 rng_{20240607u};
  std::vector<std::unique_ptr<ModelNode>> nodes_;
  std::map<ModelNode*, ardo::ComPtr<IXMLDOMNode>> handles_;
};

TEST_F(RandomEditsTest, ThousandsOfStepsAgreeWithTheReferenceModel) {
  auto doc = Parse("<root/>");
  ASSERT_TRUE(doc);
  ModelNode* root = NewModel(false, "root");
  handles_[root] = ardo::ComPtr<IXMLDOMNode>(Root(doc.Get()).Get());
  std::vector<ModelNode*> detached;  // removed subtrees we still hold
  std::vector<HeldList> lists;       // live lists held across the edits
  auto pickName = [&] { return std::string(1, "abcd"[rng_() % 4]); };
  const int kSteps = 3000;

  for (int step = 0; step < kSteps; ++step) {
    SCOPED_TRACE(::testing::Message() << "step " << step);
    std::vector<ModelNode*> elements = root->Nodes(true);
    ModelNode* e = Pick(elements);
    ardo::ComPtr<IXMLDOMNode> out;
    switch (std::uniform_int_distribution<int>(0, 12)(rng_)) {
      case 0:
      case 1: {  // append a new element
        ModelNode* child = NewModel(false, pickName(), e);
        ASSERT_HR(Handle(e)->appendChild(NewElement(doc.Get(), child->name.c_str()).Get(), out.Out()), S_OK);
        if (rng_() % 2) handles_[child] = out;
        break;
      }
      case 2: {  // insert text before a random child (or append)
        ModelNode* before = Pick(e->children);
        ardo::ComPtr<IXMLDOMText> t;
        const std::string data = "t" + std::to_string(step);
        ASSERT_HR(doc->createTextNode(Bstr(data), t.Out()), S_OK);
        Variant ref(before ? Variant::Unknown(Handle(before).Get()) : VARIANT{});
        ASSERT_HR(Handle(e)->insertBefore(t.Get(), ref.get(), out.Out()), S_OK);
        Adopt(e, NewModel(true, data), std::find(e->children.begin(), e->children.end(), before));
        break;
      }
      case 3: {  // remove a node, keeping it or releasing it (and handles inside it) at random
        std::vector<ModelNode*> all = root->Nodes(false);
        all.erase(all.begin());  // never the root
        ModelNode* victim = Pick(all);
        if (!victim) break;
        ASSERT_HR(Handle(victim->parent)->removeChild(Handle(victim).Get(), out.Out()), S_OK);
        auto& siblings = victim->parent->children;
        siblings.erase(std::find(siblings.begin(), siblings.end(), victim));
        victim->parent = nullptr;
        ForgetInside(victim, true);
        if (rng_() % 2) {
          handles_[victim] = out;
          detached.push_back(victim);
        } else {
          ForgetInside(victim, false);
          handles_.erase(victim);
        }
        break;
      }
      case 4: {  // re-attach a held detached subtree
        ModelNode* subtree = Pick(detached);
        if (!subtree) break;
        ASSERT_HR(Handle(e)->appendChild(handles_[subtree].Get(), out.Out()), S_OK);
        detached.erase(std::find(detached.begin(), detached.end(), subtree));
        Adopt(e, subtree, e->children.end());
        break;
      }
      case 5: {  // set an attribute
        std::string name(1, "xyz"[rng_() % 3]), value = std::to_string(rng_() % 1000);
        Variant v(Variant::Str(value.c_str()));
        ASSERT_HR(Handle(e).As<IXMLDOMElement>()->setAttribute(Bstr(name), v.get()), S_OK);
        auto it = std::find_if(e->attributes.begin(), e->attributes.end(), [&](auto& a) { return a.first == name; });
        (it != e->attributes.end() ? it->second : e->attributes.emplace_back(name, "").second) = value;
        break;
      }
      case 6: {  // remove an attribute
        if (e->attributes.empty()) break;
        auto k = e->attributes.begin() + long(rng_() % e->attributes.size());
        ASSERT_HR(Handle(e).As<IXMLDOMElement>()->removeAttribute(Bstr(k->first)), S_OK);
        e->attributes.erase(k);
        break;
      }
      case 7: {  // deep clone a small subtree (the tree must not keep doubling) and append the copy elsewhere
        if (e == root || e->Nodes(false).size() > 40) break;
        ardo::ComPtr<IXMLDOMNode> copy;
        ASSERT_HR(Handle(e)->cloneNode(VARIANT_TRUE, copy.Out()), S_OK);
        ModelNode* parent = Pick(elements);
        ASSERT_HR(Handle(parent)->appendChild(copy.Get(), out.Out()), S_OK);
        Adopt(parent, CloneModel(e), parent->children.end());  // copied before it is attached
        break;
      }
      case 8: {  // query and compare counts; every hit's xml is in the tree
        std::string name = pickName();
        auto list = Select(doc.Get(), ("//" + name).c_str());
        ASSERT_TRUE(list);
        ASSERT_EQ(LengthOf(list.Get()), long(root->Nodes(true, name).size())) << "//" << name;
        const std::string whole = root->Xml();
        while (list->nextNode(out.Out()) == S_OK && out) ASSERT_NE(whole.find(XmlOf(out.Get())), std::string::npos);
        break;
      }
      case 9: {  // drop a held reference
        auto it = std::next(handles_.begin(), long(rng_() % handles_.size()));
        if (it->first == root) break;
        auto held = std::find(detached.begin(), detached.end(), it->first);
        if (held != detached.end()) detached.erase(held);
        handles_.erase(it);
        break;
      }
      case 10:  // child counts agree with childNodes
        ASSERT_EQ(ChildCount(Handle(e).Get()), long(e->children.size()));
        break;
      case 11: {  // replace an element's content with text
        if (e == root || rng_() % 4 != 0) break;
        std::string text = "r" + std::to_string(step);
        ASSERT_HR(Handle(e)->put_text(Bstr(text)), S_OK);
        ForgetInside(e, false);
        for (ModelNode* c : e->children) c->parent = nullptr;
        e->children.clear();
        NewModel(true, text, e);
        break;
      }
      case 12: {  // hold a live list of an element's children or of its elements named "a"
        if (lists.size() >= 6) lists.erase(lists.begin());
        HeldList held{e, rng_() % 2 == 0, {}};
        ASSERT_HR(held.byName ? Handle(e).As<IXMLDOMElement>()->getElementsByTagName(Bstr("a"), held.list.Out())
                              : Handle(e)->get_childNodes(held.list.Out()),
                  S_OK);
        lists.push_back(std::move(held));
        break;
      }
    }
    // Lists whose node the test can no longer reach are let go.
    lists.erase(std::remove_if(lists.begin(), lists.end(), [&](const HeldList& l) { return !Reachable(l.node); }),
                lists.end());
    if (!lists.empty()) {
      ASSERT_NO_FATAL_FAILURE(CheckHeldList(lists[rng_() % lists.size()]));
    }
    if (step % 25 == 0 || step == kSteps - 1) {
      ASSERT_EQ(XmlOf(Root(doc.Get()).Get()), root->Xml());
      for (ModelNode* d : detached) ASSERT_EQ(XmlOf(handles_[d].Get()), d->Xml());
    }
  }
  auto again = Parse(XmlOf(doc.Get()).c_str());
  ASSERT_TRUE(again);
  EXPECT_EQ(XmlOf(Root(again.Get()).Get()), root->Xml()) << "the final tree re-parses to itself";
}

}  // namespace
}  // namespace ardo::test
