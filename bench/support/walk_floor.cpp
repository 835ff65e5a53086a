#include "support/walk_floor.h"

namespace ardo::bench {
namespace {

class FloorObject final : public FloorNode {
 public:
  explicit FloorObject(xmlNodePtr node) : node_(node) { node->_private = this; }
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
    return HandOut(node_->children, out);
  }
  HRESULT STDMETHODCALLTYPE get_nextSibling(FloorNode** out) override {
    return HandOut(node_->next, out);
  }
  static void DeleteAll(xmlNodePtr node) {
    for (xmlNodePtr c = node->children; c; c = c->next) DeleteAll(c);
    delete static_cast<FloorObject*>(node->_private);
    node->_private = nullptr;
  }

 private:
  static HRESULT HandOut(xmlNodePtr node, FloorNode** out) {
    *out = nullptr;
    if (!node) return S_FALSE;
    auto* o = static_cast<FloorObject*>(node->_private);
    if (!o) o = new FloorObject(node);
    ++o->refs_;
    // The engine's prefetch of the walk's next steps, so that the floor
    // stays the least such a component can do.
    if (xmlNodePtr child = node->children) __builtin_prefetch(child->_private);
    if (xmlNodePtr next = node->next) __builtin_prefetch(next->_private);
    *out = o;
    return S_OK;
  }
  xmlNodePtr node_;
  ULONG refs_ = 0;
};

}  // namespace

FloorNode* NewFloor(xmlDocPtr doc) {
  auto* root = new FloorObject(reinterpret_cast<xmlNodePtr>(doc));
  root->AddRef();
  return root;
}

void FreeFloor(xmlDocPtr doc) { FloorObject::DeleteAll(reinterpret_cast<xmlNodePtr>(doc)); }

}  // namespace ardo::bench
