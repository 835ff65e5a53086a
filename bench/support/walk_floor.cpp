#include "support/walk_floor.h"

namespace ardo::bench {
namespace {

class FloorObject : public FloorNode {
 public:
  explicit FloorObject(xmlNodePtr node) : node_(node) { node->_private = this; }
  virtual ~FloorObject() = default;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs_; }
  HRESULT STDMETHODCALLTYPE get_nodeType(DOMNodeType* type) override {
    *type = DOMNodeType(node_->type);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_firstChild(FloorNode** out) override {
    return HandOut<false>(node_->children, out);
  }
  HRESULT STDMETHODCALLTYPE get_nextSibling(FloorNode** out) override {
    return HandOut<false>(node_->next, out);
  }
  static void DeleteAll(xmlNodePtr node) {
    for (xmlNodePtr c = node->children; c; c = c->next) DeleteAll(c);
    delete static_cast<FloorObject*>(node->_private);
    node->_private = nullptr;
  }

 protected:
  template <bool typed>
  static HRESULT HandOut(xmlNodePtr node, FloorNode** out);
  xmlNodePtr node_;
  ULONG refs_ = 0;
};

// The typed floor's classes: the same code, one copy a node type, as a
// typed implementation's members are.
template <xmlElementType kType>
class TypedFloorObject final : public FloorObject {
 public:
  explicit TypedFloorObject(xmlNodePtr node) : FloorObject(node) {}
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs_; }
  HRESULT STDMETHODCALLTYPE get_nodeType(DOMNodeType* type) override {
    *type = DOMNodeType(node_->type);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_firstChild(FloorNode** out) override { return HandOut<true>(node_->children, out); }
  HRESULT STDMETHODCALLTYPE get_nextSibling(FloorNode** out) override { return HandOut<true>(node_->next, out); }
};

FloorObject* NewObject(xmlNodePtr node, bool typed) {
  if (!typed) return new FloorObject(node);
  switch (node->type) {
    case XML_ELEMENT_NODE: return new TypedFloorObject<XML_ELEMENT_NODE>(node);
    case XML_TEXT_NODE: return new TypedFloorObject<XML_TEXT_NODE>(node);
    default: return new TypedFloorObject<XML_DOCUMENT_NODE>(node);
  }
}

template <bool typed>
HRESULT FloorObject::HandOut(xmlNodePtr node, FloorNode** out) {
  *out = nullptr;
  if (!node) return S_FALSE;
  auto* o = static_cast<FloorObject*>(node->_private);
  if (!o) o = NewObject(node, typed);
  ++o->refs_;
  // The engine's prefetch of the walk's next steps, so that the floor
  // stays the least such a component can do.
  if (xmlNodePtr child = node->children) __builtin_prefetch(child->_private);
  if (xmlNodePtr next = node->next) __builtin_prefetch(next->_private);
  *out = o;
  return S_OK;
}

}  // namespace

FloorNode* NewFloor(xmlDocPtr doc, bool typed) {
  FloorObject* root = NewObject(reinterpret_cast<xmlNodePtr>(doc), typed);
  root->AddRef();
  return root;
}

void FreeFloor(xmlDocPtr doc) { FloorObject::DeleteAll(reinterpret_cast<xmlNodePtr>(doc)); }

}  // namespace ardo::bench
