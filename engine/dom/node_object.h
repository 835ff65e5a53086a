// The node objects of the DOM engine.
//
// NodeObject is the state and behaviour that every node object shares: the
// libxml2 node it stands for, the document it belongs to, the tree that
// keeps the node alive, and the 36 IXMLDOMNode members written once over
// libxml2. NodeImpl<Impl, Itf> turns that into a COM object implementing
// Itf (IXMLDOMElement, IXMLDOMText, ...): each interface method is one line
// that takes the document lock and calls the shared member.
//
// Identity: at most one node object per libxml2 node, found again through
// the node's _private (xmlAttr and xmlNs have one too). While referenced,
// the object holds a reference on its document and on its tree (see
// tree_holder.h).
//
// Released objects are kept: when the last reference goes, the object
// gives up its references and stays in _private as a cached object;
// handing the node out again revives it without an allocation. A cached
// object counts for nothing (it keeps no document or subtree alive) and is
// deleted with its node: when its detached subtree is freed or its tree goes.
#pragma once

#include <atomic>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include <libxml/tree.h>

#include "engine/common/doc_lock.h"
#include "engine/common/engine_errors.h"
#include "engine/common/last_error.h"
#include "engine/include/xml_services.h"
#include "engine/dom/node_navigation.h"
#include "engine/dom/tree_holder.h"
#include "engine/xpath/xpath_cache.h"

namespace ardo::engine {

class AttributeMap;
class DomDocument;
class ChildNodeList;
class ElementsByTagNameList;

// A transformation's result tree waiting to become a document's tree once
// the locks of the call that made it are released (freed if it never is).
class TreeInstall {
 public:
  TreeInstall() = default;
  TreeInstall(const TreeInstall&) = delete;
  TreeInstall& operator=(const TreeInstall&) = delete;
  ~TreeInstall();
  void Set(DomDocument* target, xmlDocPtr tree);
  // Installs the tree under the target's lock alone.
  HRESULT Run();

 private:
  ComPtr<IXMLDOMNode> target_;  // keeps the document alive
  DomDocument* document_ = nullptr;
  xmlDocPtr tree_ = nullptr;
};

class NodeObject {
 public:
  NodeObject(const NodeObject&) = delete;
  NodeObject& operator=(const NodeObject&) = delete;

  xmlNodePtr Node() const { return node_; }
  // The element that declares a namespace-declaration attribute, else null.
  xmlNodePtr DeclaringElement() const { return isNamespace_ ? extras_->nsElement : nullptr; }
  bool IsNamespaceDeclaration() const { return isNamespace_; }
  xmlNsPtr Namespace() const { return reinterpret_cast<xmlNsPtr>(node_); }
  DomDocument& Document() const { return *doc_; }
  TreeHolder* Tree() const { return tree_; }
  // The object's IXMLDOMNode (no reference added).
  IXMLDOMNode* Interface() const {
    return reinterpret_cast<IXMLDOMNode*>(const_cast<char*>(reinterpret_cast<const char*>(this)) - ifaceOffset_);
  }
  using Deleter = void (*)(NodeObject*);
  // Deletes a cached object (its class's destructor, without a vtable of
  // this part of the object: see the members below).
  static void Delete(NodeObject* o) { Deleters()[o->class_](o); }

  // Our node object behind an interface pointer, or null for a foreign one.
  static NodeObject* From(IUnknown* unknown);
  static NodeObject* From(IXMLDOMNode* node);

  // Moves the object to another document and tree (its node was adopted).
  void Rehome(DomDocument* document, TreeHolder* tree);
  // A namespace declaration's object, its declaration removed, stands for
  // attr from now on: an attribute in no tree with the same name and value.
  void BecomeAttribute(xmlNodePtr attr);
  // The reverse: an attribute named xmlns:p, detached in the same tree,
  // stands for element's new declaration ns from now on (false, and
  // nothing changed, when ns has an object or the attribute cannot).
  bool BecomeDeclaration(xmlNsPtr ns, xmlNodePtr element);

  // Reference counting of node objects (the document object counts as any
  // COM object). Objects of an apartment-threaded document are used from
  // one thread only: their count needs no atomic read-modify-write.
  [[gnu::always_inline]] ULONG AddRefObject() {
    if (!FreeThreaded()) {
      ULONG n = refs_.load(std::memory_order_relaxed) + 1;
      refs_.store(n, std::memory_order_relaxed);
      return n;
    }
    return refs_.fetch_add(1, std::memory_order_relaxed) + 1;
  }
  [[gnu::always_inline]] ULONG ReleaseObject() {
    if (!FreeThreaded()) {
      ULONG left = refs_.load(std::memory_order_relaxed) - 1;
      refs_.store(left, std::memory_order_relaxed);
      if (left != 0) return left;
      // A walk retires an object at every step: the common case without a
      // call, so that Release needs no stack frame.
      if (!tree_->QuickObjectDestroyed()) return RetireOutOfLine();
      return 0;
    }
    return ReleaseLocked();
  }
  // Stamps (of the documents' common count) of the last change to the
  // node's children and to the elements below it: what the live lists over
  // the node rest on, so that an edit elsewhere leaves them where they are.
  // Only a node that a live list rests on keeps them (TrackChanges): other
  // nodes' objects stay small, and a walk touches less memory.
  void TrackChanges() { Extras(); }
  uint64_t ChildStamp() const { return extras_ ? extras_->childStamp : 0; }
  uint64_t ElementsStamp() const { return extras_ ? extras_->elementsStamp : 0; }
  // A child came in (+1) or is about to go (-1), or (no child) the
  // children changed as a whole: the child lists over the node that were
  // current count the change in.
  void NoteChildrenChange(uint64_t stamp, const xmlNode* child = nullptr, int sign = 0);
  // An element subtree came in (+1) or is about to go (-1) below the node,
  // or (no subtree) the node's content changed as a whole: the element
  // lists over the node that were current count the change in.
  void NoteElementsChange(uint64_t stamp, const xmlNode* subtree = nullptr, int sign = 0);
  // The live lists (childNodes, getElementsByTagName) over the node.
  void AddList(ChildNodeList* list) { Extras().childLists.push_back(list); }
  void AddList(ElementsByTagNameList* list) { Extras().elementLists.push_back(list); }
  void RemoveList(ChildNodeList* list);
  void RemoveList(ElementsByTagNameList* list);

  // A cached object is one without references: the count says it (a
  // handout or last release happens under the document lock where there
  // is one, and a host adds references only to objects it holds).
  bool IsCached() const { return refs_.load(std::memory_order_relaxed) == 0; }
  // Adds a reference to a referenced object, or revives a cached one when
  // the tree needs no more than a count; false otherwise (Materialize).
  [[gnu::always_inline]] bool QuickHandOut() {
    if (!IsCached()) {
      AddRefObject();
      return true;
    }
    if (!tree_->QuickObjectCreated()) return false;
    refs_.store(1, std::memory_order_relaxed);
    return true;
  }
  // Brings a cached object back with one reference (Materialize). A cached
  // object keeps its tree and document current (Rehome), so it comes back
  // into them as it is.
  [[gnu::always_inline]] void Revive() {
    refs_.store(1, std::memory_order_relaxed);
    tree_->ObjectCreated(Anchor());
  }

  // The lock of the object's document (null for apartment documents). It
  // changes when another thread moves the node to another document: it is
  // read again once taken (see TakeDocumentMutex).
  std::recursive_mutex* DocMutex() const { return docMutex_.load(std::memory_order_acquire); }
  // Whether a call under this object's document lock may read o's node: o
  // belongs to the same lock (or neither takes one). A node of another
  // free-threaded document may be changing on another thread, and is no
  // child or attribute here anyway.
  bool SharesLockWith(const NodeObject& o) const { return o.DocMutex() == DocMutex(); }
  // Whether the object's calls take a lock at all (an object moves between
  // documents of one kind; the flag is read without ordering).
  bool FreeThreaded() const { return docMutex_.load(std::memory_order_relaxed) != nullptr; }

  // Runs f under the document lock, turning allocation failure into
  // E_OUTOFMEMORY.
  template <class F>
  [[gnu::always_inline]] HRESULT Call(F&& f) {
    std::recursive_mutex* m = DocMutex();
    if (!m) return Protect(f);
    return CallLocked(m, f);
  }
  // Call's free-threaded path, kept out of line so that an apartment
  // document's calls stay small (f by value: a lambda of two references
  // then travels in registers).
  template <class F>
  [[gnu::noinline]] HRESULT CallLocked(std::recursive_mutex* m, F f) {
    for (;;) {
      if (!m) return Protect(f);
      DocLock lock(m);
      std::recursive_mutex* now = DocMutex();
      if (now == m) return Protect(f);
      m = now;  // moved meanwhile: the current document's lock instead
    }
  }
  // The same with the lock of a second object's document (a node argument).
  // That document is held for the call: a node moved out of it may have
  // been its last reference. With `exposed`, *exposed names the locks
  // while f runs (a load gives them up while handlers run).
  template <class F>
  HRESULT Call2(IUnknown* other, F&& f, DocLockPair** exposed = nullptr) {
    NodeObject* o = From(other);
    std::recursive_mutex* a = DocMutex();
    std::recursive_mutex* b = o ? o->DocMutex() : nullptr;
    for (;;) {
      IXMLDOMNode* held = nullptr;
      HRESULT hr;
      {
        DocLockPair lock(a, b);
        std::recursive_mutex* nowA = DocMutex();
        std::recursive_mutex* nowB = o ? o->DocMutex() : nullptr;
        if (nowA != a || nowB != b) {
          a = nowA;
          b = nowB;
          continue;
        }
        held = HoldDocumentOf(o);
        ExposedLocks named(exposed, &lock);
        hr = Protect(f);
      }
      if (held) held->Release();
      return hr;
    }
  }
  // The document of a referenced node object with a reference added for
  // the caller, else null.
  static IXMLDOMNode* HoldDocumentOf(NodeObject* o);
  template <class F>
  [[gnu::always_inline]] static HRESULT Protect(F& f) {
    HRESULT hr;
    try {
      hr = f();
    } catch (const std::bad_alloc&) {
      hr = E_OUTOFMEMORY;
    } catch (const EngineFailure& failure) {
      hr = FailWith(failure.hr, failure.reason);
    }
    return FAILED(hr) ? ConcludeFailure(hr) : hr;
  }

  // The IXMLDOMNode members.
  HRESULT NodeName(BSTR* out);
  HRESULT NodeValue(VARIANT* out);
  HRESULT PutNodeValue(const VARIANT& value);
  HRESULT NodeType(DOMNodeType* out);
  HRESULT ParentNode(IXMLDOMNode** out);
  HRESULT ChildNodes(IXMLDOMNodeList** out);
  // The two steps of a walk are inline (see ReturnNode below).
  inline HRESULT FirstChild(IXMLDOMNode** out);
  HRESULT LastChild(IXMLDOMNode** out);
  HRESULT PreviousSibling(IXMLDOMNode** out);
  inline HRESULT NextSibling(IXMLDOMNode** out);
  HRESULT Attributes(IXMLDOMNamedNodeMap** out);
  HRESULT InsertBefore(IXMLDOMNode* newChild, const VARIANT& refChild, IXMLDOMNode** out);
  HRESULT ReplaceChild(IXMLDOMNode* newChild, IXMLDOMNode* oldChild, IXMLDOMNode** out);
  HRESULT RemoveChild(IXMLDOMNode* child, IXMLDOMNode** out);
  HRESULT AppendChild(IXMLDOMNode* newChild, IXMLDOMNode** out);
  HRESULT HasChildNodes(VARIANT_BOOL* out);
  HRESULT OwnerDocument(IXMLDOMDocument** out);
  HRESULT CloneNode(VARIANT_BOOL deep, IXMLDOMNode** out);
  HRESULT NodeTypeString(BSTR* out);
  HRESULT Text(BSTR* out);
  HRESULT PutText(BSTR text);
  HRESULT Specified(VARIANT_BOOL* out);
  HRESULT Definition(IXMLDOMNode** out);
  HRESULT NodeTypedValue(VARIANT* out);
  HRESULT PutNodeTypedValue(const VARIANT& value);
  HRESULT DataType(VARIANT* out);
  HRESULT PutDataType(BSTR name);
  HRESULT Serialized(BSTR* out);
  HRESULT TransformNode(IXMLDOMNode* stylesheet, BSTR* out);
  HRESULT SelectNodes(BSTR query, IXMLDOMNodeList** out);
  HRESULT SelectSingleNode(BSTR query, IXMLDOMNode** out);
  // Evaluates query from this node through the document's query cache.
  HRESULT RunQuery(const std::string& query, SharedSnapshot* nodes);
  HRESULT Parsed(VARIANT_BOOL* out);
  HRESULT NamespaceUri(BSTR* out);
  HRESULT Prefix(BSTR* out);
  HRESULT BaseName(BSTR* out);
  HRESULT TransformNodeToObject(IXMLDOMNode* stylesheet, const VARIANT& output, TreeInstall* install);

 protected:
  struct DocumentTag {};
  // A node object for node (any type but the document and namespace
  // declarations); it registers itself in node->_private.
  NodeObject(xmlNodePtr node, IXMLDOMNode* iface);
  // A namespace-declaration attribute of element.
  NodeObject(xmlNsPtr ns, xmlNodePtr element, IXMLDOMNode* iface);
  // The document object itself; DomDocument sets node_ and tree_.
  NodeObject(DocumentTag, IXMLDOMNode* iface);
  // Not virtual: the object's one vtable is its interface's (Delete).
  ~NodeObject();

  // The node whose tree counts the object: a namespace declaration's
  // element, else the node.
  xmlNodePtr Anchor() const { return isNamespace_ ? extras_->nsElement : node_; }
  void SetDeclaringElement(xmlNodePtr element);

  // Each node class's deleter, by the index the class registered under.
  static Deleter* Deleters();
  static uint8_t RegisterDeleter(Deleter deleter);
  template <class Impl>
  void SetClass() {
    static const uint8_t index = RegisterDeleter([](NodeObject* o) { delete static_cast<Impl*>(o); });
    class_ = index;
  }

  // The UTF-8 text value of an attribute, text, CDATA, comment or PI.
  std::string ValueText() const;
  // Sets that value; E_FAIL where the node type has none.
  HRESULT SetValueText(const std::string& text);

  // The last reference went: give up the references and stay cached.
  [[gnu::always_inline]] void Retire() {
    // May delete this object (its subtree or its tree goes): nothing of it
    // is touched afterwards.
    tree_->ObjectDestroyed(Anchor());
  }
  // ReleaseObject for a free-threaded document.
  ULONG ReleaseLocked();
  // Retire, returning the count left (none).
  [[gnu::noinline]] ULONG RetireOutOfLine();
  // Sets the document (and with it the lock the object's calls take).
  void SetDocument(DomDocument* document);

  // A walk reads an object at every step, and a large document has many:
  // with its interface's vtable pointer, an object is 56 bytes, which the
  // allocator rounds to one cache line. What few objects need lives in
  // extras_; the flags share the count's word; the interface is found
  // from its offset, and deletion through a class index, so that this
  // part of the object needs no vtable pointer of its own.
  xmlNodePtr node_ = nullptr;
  std::atomic<ULONG> refs_{1};
  bool isDocument_ = false;
  bool isNamespace_ = false;  // node_ is an xmlNs; extras_->nsElement declares it
  uint8_t ifaceOffset_ = 0;   // from the interface to this part of the object
  uint8_t class_ = 0;         // the index of the class's deleter
  // doc_'s lock, kept here so that a call need not reach the document.
  std::atomic<std::recursive_mutex*> docMutex_{nullptr};
  TreeHolder* tree_ = nullptr;
  // Held while the object is referenced (the document holds no reference
  // on itself); a cached object keeps only the tree whose cache list it is on.
  DomDocument* doc_ = nullptr;
  // What few objects need, made on first use and kept with the object.
  struct ObjectExtras {
    ~ObjectExtras();
    // A namespace declaration's element.
    xmlNodePtr nsElement = nullptr;
    // An element's attribute map (see AttributeMap::HandOut).
    AttributeMap* attributeMap = nullptr;
    uint64_t childStamp = 0;
    uint64_t elementsStamp = 0;
    std::vector<ChildNodeList*> childLists;
    std::vector<ElementsByTagNameList*> elementLists;
  };
  ObjectExtras& Extras() {
    if (!extras_) extras_ = std::make_unique<ObjectExtras>();
    return *extras_;
  }
  std::unique_ptr<ObjectExtras> extras_;

  friend class AttributeMap;
  friend class DomDocument;
  friend class TreeHolder;  // deletes cached objects
};

// E_FAIL (with a reason) when moved would go between a free-threaded and an
// apartment-threaded document.
HRESULT CheckSameThreading(const NodeObject& target, const NodeObject& moved);

// Moves every node object inside subtree to another document and tree.
void RehomeObjects(xmlNodePtr subtree, DomDocument* document, TreeHolder* tree);

// The node object for a libxml2 node, created on first use, with one
// reference for the caller. Null for a node that the DOM does not expose.
// MaterializeSlow: the document node and nodes without an object yet.
NodeObject* MaterializeSlow(xmlNodePtr node);
[[gnu::always_inline]] inline NodeObject* Materialize(xmlNodePtr node) {
  // The common case: the node's object is referenced already.
  if (node->type != XML_DOCUMENT_NODE && node->_private) {
    auto* o = static_cast<NodeObject*>(node->_private);
    if (o->QuickHandOut()) return o;
    // Released before, and the first of its tree to come back: the cached
    // object returns with the tree's references (a tree that went waits
    // for MaterializeSlow to bring it back).
    if (!o->Tree()->Alive() || !o->Tree()->Owner()) return MaterializeSlow(node);
    o->Revive();
    return o;
  }
  return MaterializeSlow(node);
}
NodeObject* MaterializeNamespace(xmlNsPtr ns, xmlNodePtr element);

// Out-parameter helpers: null node gives S_FALSE and a null pointer.
// ReturnNodeSlow: nodes without an object yet, the document node, and
// objects whose revival has the tree to update. It catches what it throws,
// so that the fast path around it needs no unwinding.
HRESULT ReturnNodeSlow(xmlNodePtr node, IXMLDOMNode** out) noexcept;
// kWalkStep: the node is a step of a walk (a first child or next
// sibling), whose next step is likely the node's own first child or next
// sibling: their objects start on their way into the cache now, while the
// host is busy with this node, not when it asks for them. (A list's items
// are not walked that way; for them it would be memory read for nothing.)
enum HandOutKind { kItem, kWalkStep };
template <HandOutKind kind = kItem>
[[gnu::always_inline]] inline HRESULT ReturnNode(xmlNodePtr node, IXMLDOMNode** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (!node) return S_FALSE;
  // The common case of a walk without a call: the node's object is there,
  // referenced or cached on a tree with other referenced objects. (The
  // document node's _private is its tree holder; a walk's step, a child or
  // a sibling, is never the document.)
  if ((kind == kWalkStep || node->type != XML_DOCUMENT_NODE) && node->_private) {
    auto* o = static_cast<NodeObject*>(node->_private);
    if (o->QuickHandOut()) {
      if constexpr (kind == kWalkStep) {
        if (xmlNodePtr child = node->children) __builtin_prefetch(child->_private);
        if (xmlNodePtr next = node->next) __builtin_prefetch(next->_private);
      }
      *out = o->Interface();
      return S_OK;
    }
  }
  return ReturnNodeSlow(node, out);
}
[[gnu::always_inline]] inline HRESULT NodeObject::FirstChild(IXMLDOMNode** out) {
  return ReturnNode<kWalkStep>(isNamespace_ ? nullptr : DomFirstChild(node_), out);
}
[[gnu::always_inline]] inline HRESULT NodeObject::NextSibling(IXMLDOMNode** out) {
  return ReturnNode<kWalkStep>(isNamespace_ ? nullptr : DomNextSibling(node_), out);
}
template <class T>
HRESULT ReturnNodeAs(xmlNodePtr node, T** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (!node) return S_FALSE;
  NodeObject* obj = Materialize(node);
  if (!obj) return S_FALSE;
  HRESULT hr = obj->Interface()->QueryInterface(T::kIID, reinterpret_cast<void**>(out));
  obj->Interface()->Release();
  return hr;
}

// What a node object's interface tells of its node without looking at it:
// its DOM type, whether it can have children, and whether it is always an
// exposed child (never a namespace declaration, a document or a
// declaration inside the document type). The walk's calls use it.
template <class Itf>
struct NodeKind {
  static constexpr DOMNodeType kType = NODE_INVALID;  // look at the node
  static constexpr bool kLeaf = false;
  static constexpr bool kExposedChild = false;
};
template <DOMNodeType type, bool leaf>
struct KnownNodeKind {
  static constexpr DOMNodeType kType = type;
  static constexpr bool kLeaf = leaf;
  static constexpr bool kExposedChild = true;
};
template <>
struct NodeKind<IXMLDOMElement> : KnownNodeKind<NODE_ELEMENT, false> {};
template <>
struct NodeKind<IXMLDOMText> : KnownNodeKind<NODE_TEXT, true> {};
template <>
struct NodeKind<IXMLDOMCDATASection> : KnownNodeKind<NODE_CDATA_SECTION, true> {};
template <>
struct NodeKind<IXMLDOMComment> : KnownNodeKind<NODE_COMMENT, true> {};
template <>
struct NodeKind<IXMLDOMProcessingInstruction> : KnownNodeKind<NODE_PROCESSING_INSTRUCTION, true> {};

template <class Impl, class Itf>
class NodeImpl : public ComObjectBase<Impl, Itf>, public NodeObject {
  using Kind = NodeKind<Itf>;

 public:
  // The document object counts as any COM object (DomDocument overrides).
  ULONG STDMETHODCALLTYPE AddRef() override { return AddRefObject(); }
  ULONG STDMETHODCALLTYPE Release() override { return ReleaseObject(); }

  HRESULT get_nodeName(BSTR* p) override { return Call([&] { return NodeName(p); }); }
  HRESULT get_nodeValue(VARIANT* p) override { return Call([&] { return NodeValue(p); }); }
  HRESULT put_nodeValue(VARIANT v) override { return Call([&] { return PutNodeValue(v); }); }
  // A node's type never changes: no lock to take.
  HRESULT get_nodeType(DOMNodeType* p) override {
    if constexpr (Kind::kType == NODE_INVALID) {
      return NodeType(p);
    } else {
      if (!p) return E_INVALIDARG;
      *p = Kind::kType;
      return S_OK;
    }
  }
  HRESULT get_parentNode(IXMLDOMNode** p) override { return Call([this, p] { return ParentNode(p); }); }
  HRESULT get_childNodes(IXMLDOMNodeList** p) override { return Call([&] { return ChildNodes(p); }); }
  // A leaf's answer never changes: no lock to take.
  HRESULT get_firstChild(IXMLDOMNode** p) override {
    if constexpr (Kind::kLeaf) return ReturnNode(nullptr, p);
    if constexpr (Kind::kType == NODE_ELEMENT)
      return Call([this, p] { return ReturnNode<kWalkStep>(FirstExposedFrom(node_->children), p); });
    return Call([this, p] { return FirstChild(p); });
  }
  HRESULT get_lastChild(IXMLDOMNode** p) override { return Call([this, p] { return LastChild(p); }); }
  HRESULT get_previousSibling(IXMLDOMNode** p) override {
    return Call([this, p] { return PreviousSibling(p); });
  }
  HRESULT get_nextSibling(IXMLDOMNode** p) override {
    if constexpr (Kind::kExposedChild)
      return Call([this, p] { return ReturnNode<kWalkStep>(FirstExposedFrom(node_->next), p); });
    return Call([this, p] { return NextSibling(p); });
  }
  HRESULT get_attributes(IXMLDOMNamedNodeMap** p) override {
    return Call([&] { return Attributes(p); });
  }
  HRESULT insertBefore(IXMLDOMNode* n, VARIANT ref, IXMLDOMNode** p) override {
    return Call2(n, [&] { return InsertBefore(n, ref, p); });
  }
  HRESULT replaceChild(IXMLDOMNode* n, IXMLDOMNode* old, IXMLDOMNode** p) override {
    return Call2(n, [&] { return ReplaceChild(n, old, p); });
  }
  HRESULT removeChild(IXMLDOMNode* c, IXMLDOMNode** p) override {
    return Call([&] { return RemoveChild(c, p); });
  }
  HRESULT appendChild(IXMLDOMNode* n, IXMLDOMNode** p) override {
    return Call2(n, [&] { return AppendChild(n, p); });
  }
  HRESULT hasChildNodes(VARIANT_BOOL* p) override { return Call([&] { return HasChildNodes(p); }); }
  HRESULT get_ownerDocument(IXMLDOMDocument** p) override {
    return Call([&] { return OwnerDocument(p); });
  }
  HRESULT cloneNode(VARIANT_BOOL deep, IXMLDOMNode** p) override {
    return Call([&] { return CloneNode(deep, p); });
  }
  HRESULT get_nodeTypeString(BSTR* p) override { return Call([&] { return NodeTypeString(p); }); }
  HRESULT get_text(BSTR* p) override { return Call([&] { return Text(p); }); }
  HRESULT put_text(BSTR t) override { return Call([&] { return PutText(t); }); }
  HRESULT get_specified(VARIANT_BOOL* p) override { return Call([&] { return Specified(p); }); }
  HRESULT get_definition(IXMLDOMNode** p) override { return Call([&] { return Definition(p); }); }
  HRESULT get_nodeTypedValue(VARIANT* p) override { return Call([&] { return NodeTypedValue(p); }); }
  HRESULT put_nodeTypedValue(VARIANT v) override { return Call([&] { return PutNodeTypedValue(v); }); }
  HRESULT get_dataType(VARIANT* p) override { return Call([&] { return DataType(p); }); }
  HRESULT put_dataType(BSTR name) override { return Call([&] { return PutDataType(name); }); }
  HRESULT get_xml(BSTR* p) override { return Call([&] { return Serialized(p); }); }
  HRESULT transformNode(IXMLDOMNode* s, BSTR* p) override {
    return Call2(s, [&] { return TransformNode(s, p); });
  }
  HRESULT selectNodes(BSTR q, IXMLDOMNodeList** p) override {
    return Call([&] { return SelectNodes(q, p); });
  }
  HRESULT selectSingleNode(BSTR q, IXMLDOMNode** p) override {
    return Call([&] { return SelectSingleNode(q, p); });
  }
  HRESULT get_parsed(VARIANT_BOOL* p) override { return Call([&] { return Parsed(p); }); }
  HRESULT get_namespaceURI(BSTR* p) override { return Call([&] { return NamespaceUri(p); }); }
  HRESULT get_prefix(BSTR* p) override { return Call([&] { return Prefix(p); }); }
  HRESULT get_baseName(BSTR* p) override { return Call([&] { return BaseName(p); }); }
  HRESULT transformNodeToObject(IXMLDOMNode* s, VARIANT out) override {
    TreeInstall install;
    HRESULT hr = Call2(s, [&] { return TransformNodeToObject(s, out, &install); });
    return SUCCEEDED(hr) ? install.Run() : hr;
  }

 protected:
  explicit NodeImpl(xmlNodePtr node) : NodeObject(node, static_cast<Itf*>(this)) { SetClass<Impl>(); }
  NodeImpl(xmlNsPtr ns, xmlNodePtr element) : NodeObject(ns, element, static_cast<Itf*>(this)) {
    SetClass<Impl>();
  }
  explicit NodeImpl(DocumentTag tag) : NodeObject(tag, static_cast<Itf*>(this)) { SetClass<Impl>(); }
};

}  // namespace ardo::engine
