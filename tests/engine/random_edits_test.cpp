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

// The reference model: elements with ordered attributes and children, and
// text nodes. Serialises the way the engine's xml property does for this
// restricted alphabet (no characters that need escaping).
struct ModelNode {
  int id = 0;
  bool isText = false;
  std::string name;  // element name, or the text
  std::vector<std::pair<std::string, std::string>> attributes;
  std::vector<ModelNode*> children;
  ModelNode* parent = nullptr;

  std::string Xml() const {
    if (isText) return name;
    std::string s = "<" + name;
    for (const auto& a : attributes) s += " " + a.first + "=\"" + a.second + "\"";
    if (children.empty()) return s + "/>";
    s += ">";
    for (const ModelNode* c : children) s += c->Xml();
    return s + "</" + name + ">";
  }
  bool Contains(const ModelNode* other) const {
    for (const ModelNode* n = other; n; n = n->parent)
      if (n == this) return true;
    return false;
  }
  void Collect(std::vector<ModelNode*>* out) {
    out->push_back(this);
    for (ModelNode* c : children) c->Collect(out);
  }
  int CountNamed(const std::string& element) const {
    int n = !isText && name == element ? 1 : 0;
    for (const ModelNode* c : children) n += c->CountNamed(element);
    return n;
  }
};

class RandomEditsTest : public EngineTest {
 protected:
  void TearDown() override {
    handles_.clear();  // before the leak check, also when a step failed
    EngineTest::TearDown();
  }
  ModelNode* NewModel(bool isText, const std::string& name) {
    nodes_.push_back(std::make_unique<ModelNode>());
    ModelNode* n = nodes_.back().get();
    n->id = int(nodes_.size());
    n->isText = isText;
    n->name = name;
    return n;
  }
  ModelNode* CloneModel(const ModelNode* from) {
    ModelNode* copy = NewModel(from->isText, from->name);
    copy->attributes = from->attributes;
    for (const ModelNode* c : from->children) {
      ModelNode* cc = CloneModel(c);
      cc->parent = copy;
      copy->children.push_back(cc);
    }
    return copy;
  }
  static void Detach(ModelNode* n) {
    if (!n->parent) return;
    auto& siblings = n->parent->children;
    siblings.erase(std::find(siblings.begin(), siblings.end(), n));
    n->parent = nullptr;
  }

  // The engine node for a model node: a held handle, or a walk by child
  // index from the nearest ancestor that has one.
  ardo::ComPtr<IXMLDOMNode> Handle(ModelNode* n) {
    auto it = handles_.find(n);
    if (it != handles_.end()) return it->second;
    if (!n->parent) return {};
    ardo::ComPtr<IXMLDOMNode> parent = Handle(n->parent);
    if (!parent) return {};
    size_t index = size_t(std::find(n->parent->children.begin(), n->parent->children.end(), n) -
                          n->parent->children.begin());
    ardo::ComPtr<IXMLDOMNodeList> children;
    if (FAILED(parent->get_childNodes(children.Out())) || !children) return {};
    ardo::ComPtr<IXMLDOMNode> node;
    children->get_item(long(index), node.Out());
    return node;
  }
  template <typename T>
  T* Pick(std::vector<T*>& from) {
    if (from.empty()) return nullptr;
    return from[std::uniform_int_distribution<size_t>(0, from.size() - 1)(rng_)];
  }
  std::vector<ModelNode*> AttachedElements() {
    std::vector<ModelNode*> all, elements;
    root_->Collect(&all);
    for (ModelNode* n : all)
      if (!n->isText) elements.push_back(n);
    return elements;
  }

  std::mt19937 rng_{20240607u};
  std::vector<std::unique_ptr<ModelNode>> nodes_;
  std::map<ModelNode*, ardo::ComPtr<IXMLDOMNode>> handles_;
  ModelNode* root_ = nullptr;
};

TEST_F(RandomEditsTest, ThousandsOfStepsAgreeWithTheReferenceModel) {
  auto doc = Parse("<root/>");
  ASSERT_TRUE(doc);
  root_ = NewModel(false, "root");
  handles_[root_] = ardo::ComPtr<IXMLDOMNode>(Root(doc.Get()).Get());
  std::vector<ModelNode*> detached;  // removed subtrees we still hold
  const char* names[] = {"a", "b", "c", "d"};
  const char* attrNames[] = {"x", "y", "z"};
  auto pickName = [&] { return std::string(names[std::uniform_int_distribution<int>(0, 3)(rng_)]); };
  const int kSteps = 3000;

  for (int step = 0; step < kSteps; ++step) {
    SCOPED_TRACE(::testing::Message() << "step " << step);
    std::vector<ModelNode*> elements = AttachedElements();
    int op = std::uniform_int_distribution<int>(0, 11)(rng_);
    switch (op) {
      case 0:
      case 1: {  // append a new element
        ModelNode* parent = Pick(elements);
        ModelNode* child = NewModel(false, pickName());
        ardo::ComPtr<IXMLDOMElement> e;
        Bstr name(child->name);
        ASSERT_HR(doc->createElement(name, e.Out()), S_OK);
        ardo::ComPtr<IXMLDOMNode> added;
        ASSERT_HR(Handle(parent)->appendChild(e.Get(), added.Out()), S_OK);
        child->parent = parent;
        parent->children.push_back(child);
        if (rng_() % 2) handles_[child] = ardo::ComPtr<IXMLDOMNode>(added.Get());
        break;
      }
      case 2: {  // insert text before a random child (or append)
        ModelNode* parent = Pick(elements);
        ModelNode* text = NewModel(true, "t" + std::to_string(step));
        ardo::ComPtr<IXMLDOMText> t;
        Bstr data(text->name);
        ASSERT_HR(doc->createTextNode(data, t.Out()), S_OK);
        ModelNode* before = parent->children.empty() ? nullptr : Pick(parent->children);
        Variant ref;
        if (before) ref.get() = Variant::Unknown(Handle(before).Get());
        ardo::ComPtr<IXMLDOMNode> added;
        ASSERT_HR(Handle(parent)->insertBefore(t.Get(), ref.get(), added.Out()), S_OK);
        text->parent = parent;
        auto at = before ? std::find(parent->children.begin(), parent->children.end(), before)
                         : parent->children.end();
        parent->children.insert(at, text);
        break;
      }
      case 3: {  // remove a node, sometimes keeping it
        std::vector<ModelNode*> all;
        root_->Collect(&all);
        all.erase(all.begin());  // never the root
        ModelNode* victim = Pick(all);
        if (!victim) break;
        ardo::ComPtr<IXMLDOMNode> node = Handle(victim);
        ardo::ComPtr<IXMLDOMNode> removed;
        ASSERT_HR(Handle(victim->parent)->removeChild(node.Get(), removed.Out()), S_OK);
        Detach(victim);
        // Handles inside the removed subtree are released or kept at random.
        std::vector<ModelNode*> inside;
        victim->Collect(&inside);
        for (ModelNode* n : inside)
          if (n != victim && rng_() % 2) handles_.erase(n);
        if (rng_() % 2) {
          handles_[victim] = removed;
          detached.push_back(victim);
        } else {
          for (ModelNode* n : inside) handles_.erase(n);
        }
        break;
      }
      case 4: {  // re-attach a held detached subtree
        ModelNode* subtree = Pick(detached);
        if (!subtree) break;
        ModelNode* parent = Pick(elements);
        ardo::ComPtr<IXMLDOMNode> added;
        ASSERT_HR(Handle(parent)->appendChild(handles_[subtree].Get(), added.Out()), S_OK);
        detached.erase(std::find(detached.begin(), detached.end(), subtree));
        subtree->parent = parent;
        parent->children.push_back(subtree);
        break;
      }
      case 5: {  // set an attribute
        ModelNode* e = Pick(elements);
        std::string name = attrNames[rng_() % 3];
        std::string value = std::to_string(rng_() % 1000);
        ardo::ComPtr<IXMLDOMElement> element = Handle(e).As<IXMLDOMElement>();
        ASSERT_TRUE(element);
        Bstr n(name);
        Variant v(Variant::Str(value.c_str()));
        ASSERT_HR(element->setAttribute(n, v.get()), S_OK);
        auto it = std::find_if(e->attributes.begin(), e->attributes.end(),
                               [&](const auto& a) { return a.first == name; });
        if (it != e->attributes.end()) it->second = value;
        else e->attributes.emplace_back(name, value);
        break;
      }
      case 6: {  // remove an attribute
        ModelNode* e = Pick(elements);
        if (e->attributes.empty()) break;
        size_t k = rng_() % e->attributes.size();
        Bstr n(e->attributes[k].first);
        ASSERT_HR(Handle(e).As<IXMLDOMElement>()->removeAttribute(n), S_OK);
        e->attributes.erase(e->attributes.begin() + long(k));
        break;
      }
      case 7: {  // deep clone and append the copy elsewhere
        if (elements.size() < 2) break;
        ModelNode* original = Pick(elements);
        if (original == root_) break;
        std::vector<ModelNode*> subtree;
        original->Collect(&subtree);
        if (subtree.size() > 40) break;  // keeps the tree from doubling
        ardo::ComPtr<IXMLDOMNode> copy;
        ASSERT_HR(Handle(original)->cloneNode(VARIANT_TRUE, copy.Out()), S_OK);
        ModelNode* parent = Pick(elements);
        ModelNode* copyModel = CloneModel(original);
        ardo::ComPtr<IXMLDOMNode> added;
        ASSERT_HR(Handle(parent)->appendChild(copy.Get(), added.Out()), S_OK);
        copyModel->parent = parent;
        parent->children.push_back(copyModel);
        break;
      }
      case 8: {  // query and compare counts; every hit's xml is in the tree
        std::string name = pickName();
        auto list = Select(doc.Get(), ("//" + name).c_str());
        ASSERT_TRUE(list);
        ASSERT_EQ(LengthOf(list.Get()), root_->CountNamed(name)) << "//" << name;
        const std::string whole = root_->Xml();
        ardo::ComPtr<IXMLDOMNode> hit;
        while (list->nextNode(hit.Out()) == S_OK && hit)
          ASSERT_NE(whole.find(XmlOf(hit.Get())), std::string::npos);
        break;
      }
      case 9: {  // drop a held reference
        if (handles_.size() <= 1) break;
        auto it = handles_.begin();
        std::advance(it, long(rng_() % handles_.size()));
        if (it->first == root_) break;
        if (std::find(detached.begin(), detached.end(), it->first) != detached.end())
          detached.erase(std::find(detached.begin(), detached.end(), it->first));
        handles_.erase(it);
        break;
      }
      case 10: {  // child counts agree with childNodes
        ModelNode* e = Pick(elements);
        ASSERT_EQ(ChildCount(Handle(e).Get()), long(e->children.size()));
        break;
      }
      case 11: {  // replace an element's content with text
        ModelNode* e = Pick(elements);
        if (e == root_ || rng_() % 4 != 0) break;
        std::string text = "r" + std::to_string(step);
        Bstr b(text);
        ASSERT_HR(Handle(e)->put_text(b), S_OK);
        std::vector<ModelNode*> inside;
        e->Collect(&inside);
        for (ModelNode* n : inside)
          if (n != e) handles_.erase(n);
        for (ModelNode* c : e->children) c->parent = nullptr;
        e->children.clear();
        ModelNode* t = NewModel(true, text);
        t->parent = e;
        e->children.push_back(t);
        break;
      }
    }
    if (step % 25 == 0 || step == kSteps - 1) {
      ASSERT_EQ(XmlOf(Root(doc.Get()).Get()), root_->Xml());
      for (ModelNode* d : detached) ASSERT_EQ(XmlOf(handles_[d].Get()), d->Xml());
    }
  }
  // The final tree re-parses to itself.
  const std::string final = XmlOf(doc.Get());
  auto again = Parse(final.c_str());
  ASSERT_TRUE(again);
  EXPECT_EQ(XmlOf(Root(again.Get()).Get()), root_->Xml());
  handles_.clear();
}

}  // namespace
}  // namespace ardo::test
