#include "engine/dom/node_object.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstdlib>

#include <libxml/entities.h>
#include <libxml/valid.h>

#include "engine/common/bstr_text.h"
#include "engine/common/byte_stream.h"
#include "engine/common/engine_errors.h"
#include "engine/common/last_error.h"
#include "engine/dom/data_types.h"
#include "engine/dom/dom_document.h"
#include "engine/dom/named_node_maps.h"
#include "engine/dom/node_lists.h"
#include "engine/dom/node_navigation.h"
#include "engine/dom/node_serializer.h"
#include "engine/dom/text_content.h"
#include "engine/dom/tree_edit.h"
#include "engine/xslt/stylesheet_transform.h"

namespace ardo::engine {
namespace {

HRESULT ReturnFlag(bool value, VARIANT_BOOL* out) {
  if (!out) return E_INVALIDARG;
  *out = value ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

HRESULT ReturnNull(VARIANT* out) {
  VariantInit(out);
  out->vt = VT_NULL;
  return S_FALSE;
}

// The data type an element carries in its dt:dt attribute, if any.
xmlAttrPtr DataTypeAttribute(xmlNodePtr element) {
  if (element->type != XML_ELEMENT_NODE) return nullptr;
  return FindAttributeNs(element, "dt", kDataTypesNamespace);
}

bool DeclaredDataType(xmlNodePtr element, engine::DataType* type) {
  xmlAttrPtr attr = DataTypeAttribute(element);
  if (!attr) return false;
  return SUCCEEDED(ParseDataType(AttributeValue(attr).c_str(), type));
}

}  // namespace

// --- identity and lifetime -------------------------------------------------

HRESULT CheckSameThreading(const NodeObject& target, const NodeObject& moved) {
  if (target.FreeThreaded() == moved.FreeThreaded()) return S_OK;
  // An apartment document is used from one thread without a lock; a node
  // of it in a free-threaded document (or the reverse) would be reached
  // from other threads, or without the lock, all the same.
  return FailWith(E_FAIL,
                  "A node cannot move between a free-threaded document and an apartment-threaded one.");
}

void NodeObject::SetDocument(DomDocument* document) {
  doc_ = document;
  docMutex_.store(document ? document->Mutex() : nullptr, std::memory_order_release);
}

namespace {

// From the interface at the object's start to its NodeObject part: a few
// bytes (the interface's vtable pointer).
uint8_t OffsetFrom(IXMLDOMNode* iface, const NodeObject* part) {
  const ptrdiff_t offset = reinterpret_cast<const char*>(part) - reinterpret_cast<const char*>(iface);
  assert(offset > 0 && offset < 256);
  return uint8_t(offset);
}

constexpr int kMaxNodeClasses = 32;
std::array<NodeObject::Deleter, kMaxNodeClasses> g_deleters{};
std::atomic<int> g_nodeClasses{0};

}  // namespace

NodeObject::Deleter* NodeObject::Deleters() { return g_deleters.data(); }

uint8_t NodeObject::RegisterDeleter(Deleter deleter) {
  const int index = g_nodeClasses.fetch_add(1);
  if (index >= kMaxNodeClasses) std::abort();  // more node classes than the table holds
  g_deleters[index] = deleter;
  return uint8_t(index);
}

void NodeObject::SetDeclaringElement(xmlNodePtr element) {
  isNamespace_ = element != nullptr;
  if (element || extras_) Extras().nsElement = element;
}

NodeObject::NodeObject(xmlNodePtr node, IXMLDOMNode* iface) : node_(node), ifaceOffset_(OffsetFrom(iface, this)) {
  tree_ = TreeHolder::Of(node);
  SetDocument(tree_->Owner());
  node->_private = this;
  tree_->ObjectCreated(node);
}

NodeObject::NodeObject(xmlNsPtr ns, xmlNodePtr element, IXMLDOMNode* iface)
    : node_(reinterpret_cast<xmlNodePtr>(ns)), ifaceOffset_(OffsetFrom(iface, this)) {
  SetDeclaringElement(element);
  tree_ = TreeHolder::Of(element);
  SetDocument(tree_->Owner());
  ns->_private = this;
  tree_->ObjectCreated(element);
}

NodeObject::NodeObject(DocumentTag, IXMLDOMNode* iface) : isDocument_(true), ifaceOffset_(OffsetFrom(iface, this)) {}

// An unreferenced map (a referenced one would hold its element's object).
NodeObject::ObjectExtras::~ObjectExtras() { delete attributeMap; }

namespace {

// Moves a stamp on, and the lists that rest on it with it.
template <class List>
void NoteChange(uint64_t* slot, const std::vector<List*>& lists, uint64_t stamp, const xmlNode* node, int sign) {
  const uint64_t was = *slot;
  *slot = stamp;
  if (node)
    for (List* list : lists) list->Follow(was, stamp, node, sign);
}

}  // namespace

void NodeObject::NoteElementsChange(uint64_t stamp, const xmlNode* subtree, int sign) {
  if (extras_) NoteChange(&extras_->elementsStamp, extras_->elementLists, stamp, subtree, sign);
}

void NodeObject::NoteChildrenChange(uint64_t stamp, const xmlNode* child, int sign) {
  if (extras_) NoteChange(&extras_->childStamp, extras_->childLists, stamp, child, sign);
}

namespace {

template <class List>
void Forget(std::vector<List*>& lists, List* list) {
  lists.erase(std::remove(lists.begin(), lists.end(), list), lists.end());
}

}  // namespace

void NodeObject::RemoveList(ChildNodeList* list) {
  if (extras_) Forget(extras_->childLists, list);
}

void NodeObject::RemoveList(ElementsByTagNameList* list) {
  if (extras_) Forget(extras_->elementLists, list);
}

NodeObject::~NodeObject() {
  if (isDocument_) {
    if (tree_) tree_->Release();
    return;
  }
  // Only cached objects are deleted (their tree or subtree is going).
  if (isNamespace_) {
    if (Namespace()->_private == this) Namespace()->_private = nullptr;
  } else if (node_->_private == this) {
    node_->_private = nullptr;
  }
}

ULONG NodeObject::RetireOutOfLine() {
  Retire();
  return 0;
}

HRESULT ReturnNodeSlow(xmlNodePtr node, IXMLDOMNode** out) noexcept {
  auto handOut = [&] {
    NodeObject* obj = Materialize(node);
    if (!obj) return S_FALSE;
    *out = obj->Interface();
    return S_OK;
  };
  return NodeObject::Protect(handOut);
}

ULONG NodeObject::ReleaseLocked() {
  // Free-threaded: the final release and a lookup through _private must not
  // interleave. The document (whose mutex it is) is kept alive past the
  // object's own release of it; under its lock it is the object's current
  // one and alive.
  IXMLDOMNode* keep = nullptr;
  ULONG left = 0;
  for (std::recursive_mutex* m = DocMutex();;) {
    if (!m) return ReleaseObject();
    DocLock lock(m);
    std::recursive_mutex* now = DocMutex();
    if (now != m) {
      m = now;
      continue;
    }
    keep = doc_->Interface();
    keep->AddRef();
    left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) Retire();
    break;
  }
  keep->Release();
  return left;
}

void NodeObject::BecomeAttribute(xmlNodePtr attr) {
  xmlNodePtr element = DeclaringElement();
  Namespace()->_private = nullptr;
  node_ = attr;
  SetDeclaringElement(nullptr);
  attr->_private = this;
  // The object now counts in attr's detached subtree, not the element's.
  tree_->AdjustContaining(element, -1);
  tree_->AdjustContaining(attr, +1);
}

bool NodeObject::BecomeDeclaration(xmlNsPtr ns, xmlNodePtr element) {
  if (ns->_private || isNamespace_ || node_->type != XML_ATTRIBUTE_NODE || tree_ != TreeHolder::Of(element))
    return false;
  xmlNodePtr attr = node_;
  attr->_private = nullptr;
  node_ = reinterpret_cast<xmlNodePtr>(ns);
  SetDeclaringElement(element);
  ns->_private = this;
  // The object now counts where the element is, no longer in attr's
  // detached subtree (which goes once nothing else holds it).
  tree_->AdjustContaining(element, +1);
  tree_->AdjustContaining(attr, -1);
  return true;
}

void NodeObject::Rehome(DomDocument* document, TreeHolder* tree) {
  if (tree_ == tree) {
    // Only a cached object of a tree that changes documents.
    if (IsCached()) SetDocument(document);
    return;
  }
  if (IsCached()) {
    // No references to move; the new tree deletes it when it goes.
    tree_ = tree;
    SetDocument(document);
    tree->NoteCached();
    return;
  }
  TreeHolder* old = tree_;
  tree->ObjectMovedIn();
  tree_ = tree;
  SetDocument(document);
  old->ObjectMovedOut();
}

void RehomeObjects(xmlNodePtr subtree, DomDocument* document, TreeHolder* tree) {
  std::vector<xmlNodePtr> stack{subtree};
  while (!stack.empty()) {
    xmlNodePtr n = stack.back();
    stack.pop_back();
    if (n->_private) static_cast<NodeObject*>(n->_private)->Rehome(document, tree);
    if (n->type == XML_ELEMENT_NODE) {
      for (xmlNsPtr ns = n->nsDef; ns; ns = ns->next)
        if (ns->_private) static_cast<NodeObject*>(ns->_private)->Rehome(document, tree);
      for (xmlAttrPtr a = n->properties; a; a = a->next) stack.push_back(reinterpret_cast<xmlNodePtr>(a));
    }
    if (n->type == XML_ENTITY_REF_NODE) continue;
    for (xmlNodePtr c = n->children; c; c = c->next) stack.push_back(c);
  }
}

IXMLDOMNode* NodeObject::HoldDocumentOf(NodeObject* o) {
  if (!o || o->IsCached()) return nullptr;
  IXMLDOMNode* document = o->Document().Interface();
  document->AddRef();
  return document;
}

NodeObject* NodeObject::From(IUnknown* unknown) {
  return unknown ? dynamic_cast<NodeObject*>(unknown) : nullptr;
}

NodeObject* NodeObject::From(IXMLDOMNode* node) {
  return node ? dynamic_cast<NodeObject*>(node) : nullptr;
}

// --- values ------------------------------------------------------------------

std::string NodeObject::ValueText() const {
  if (isNamespace_) return std::string(View(Namespace()->href));
  switch (node_->type) {
    case XML_ATTRIBUTE_NODE:
      return AttributeValue(reinterpret_cast<xmlAttrPtr>(node_));
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE:
    case XML_PI_NODE:
      return std::string(View(node_->content));
    default:
      return std::string();
  }
}

HRESULT NodeObject::SetValueText(const std::string& text) {
  // A namespace declaration's value changes as setAttribute changes it:
  // while no name uses it.
  if (isNamespace_) return attributes::Set(*doc_, DeclaringElement(), DeclarationName(Namespace()), text);
  if (IsReadOnly(node_)) return RefuseReadOnly();
  switch (node_->type) {
    case XML_ATTRIBUTE_NODE: {
      TreeEdit edit(*doc_);
      edit.SetAttributeValue(reinterpret_cast<xmlAttrPtr>(node_), text);
      return S_OK;
    }
    case XML_PI_NODE:
      // A declaration that would not read again is refused where it is set.
      if (IsXmlDeclarationInstruction(node_))
        if (HRESULT hr = CheckXmlDeclarationData(text); FAILED(hr)) return hr;
      [[fallthrough]];
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE: {
      TreeEdit edit(*doc_);
      edit.SetContent(node_, text);
      return S_OK;
    }
    default:
      return FailWith(kInvalidTreeChange, std::string("A node of type '") + TypeString(DomTypeOf(node_)) +
                                              "' has no value to set.");
  }
}

// --- the IXMLDOMNode members -------------------------------------------------

HRESULT NodeObject::NodeName(BSTR* out) {
  if (isNamespace_) return ReturnBstr(DeclarationName(Namespace()), out);
  switch (node_->type) {
    case XML_ELEMENT_NODE:
    case XML_ATTRIBUTE_NODE:
      return ReturnBstr(QualifiedName(node_), out);
    case XML_TEXT_NODE:
      return ReturnBstr("#text", out);
    case XML_CDATA_SECTION_NODE:
      return ReturnBstr("#cdata-section", out);
    case XML_COMMENT_NODE:
      return ReturnBstr("#comment", out);
    case XML_DOCUMENT_NODE:
      return ReturnBstr("#document", out);
    case XML_DOCUMENT_FRAG_NODE:
      return ReturnBstr("#document-fragment", out);
    default:
      return ReturnBstr(node_->name, out);
  }
}

HRESULT NodeObject::NodeValue(VARIANT* out) {
  if (!out) return E_INVALIDARG;
  if (isNamespace_) return ReturnBstrVariant(ValueText(), out);
  switch (node_->type) {
    case XML_ATTRIBUTE_NODE:
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE:
    case XML_PI_NODE:
      return ReturnBstrVariant(ValueText(), out);
    default:
      return ReturnNull(out);
  }
}

HRESULT NodeObject::PutNodeValue(const VARIANT& value) {
  std::string text;
  HRESULT hr = Utf8OfVariant(value, &text);
  if (FAILED(hr)) return hr;
  return SetValueText(text);
}

HRESULT NodeObject::NodeType(DOMNodeType* out) {
  if (!out) return E_INVALIDARG;
  // Asked without the lock: a document's tree changes with every load.
  *out = isDocument_ ? NODE_DOCUMENT : DomTypeOf(node_);
  return S_OK;
}

HRESULT NodeObject::ParentNode(IXMLDOMNode** out) {
  if (isNamespace_) return ReturnNode(nullptr, out);
  xmlNodePtr parent = DomParent(node_);
  // A tree that a load has replaced is no longer the document's content:
  // its top-level nodes have no parent there.
  if (parent && parent->type == XML_DOCUMENT_NODE && doc_->CurrentTree() != tree_) parent = nullptr;
  return ReturnNode(parent, out);
}

HRESULT NodeObject::ChildNodes(IXMLDOMNodeList** out) {
  if (!out) return E_INVALIDARG;
  *out = MakeObject<ChildNodeList>(this).Detach();
  return S_OK;
}

HRESULT NodeObject::LastChild(IXMLDOMNode** out) {
  return ReturnNode(isNamespace_ ? nullptr : DomLastChild(node_), out);
}

HRESULT NodeObject::PreviousSibling(IXMLDOMNode** out) {
  return ReturnNode(isNamespace_ ? nullptr : DomPreviousSibling(node_), out);
}

HRESULT NodeObject::Attributes(IXMLDOMNamedNodeMap** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (!isNamespace_ && node_->type == XML_ELEMENT_NODE) {
    *out = AttributeMap::HandOut(this);
    return S_OK;
  }
  if (!isNamespace_ && IsXmlDeclarationInstruction(node_)) {
    *out = MakeObject<DeclarationMap>(this, DeclarationMap::Kind::XmlDeclaration).Detach();
    return S_OK;
  }
  return S_FALSE;
}

namespace {

// The node object behind a node argument that may be inserted somewhere.
HRESULT InsertableArgument(const NodeObject& target, IXMLDOMNode* node, NodeObject** out) {
  if (!node) return FailWith(E_INVALIDARG, "No node was given to insert.");
  NodeObject* o = NodeObject::From(node);
  if (!o) return FailWith(E_INVALIDARG, "The node to insert was not made by this engine.");
  if (o->IsNamespaceDeclaration())
    return FailWith(kInvalidTreeChange, "A namespace declaration cannot be inserted as a child.");
  if (HRESULT hr = CheckSameThreading(target, *o); FAILED(hr)) return hr;
  *out = o;
  return S_OK;
}

bool IsChildOf(xmlNodePtr child, xmlNodePtr parent) {
  return child->parent == parent && IsExposedChild(child);
}

HRESULT ReturnSame(NodeObject* o, IXMLDOMNode** out) {
  if (!out) return S_OK;
  *out = o->Interface();
  (*out)->AddRef();
  return S_OK;
}

// Links child (or, for a fragment, its children) under parent before ref.
void InsertInto(TreeEdit& edit, xmlNodePtr parent, xmlNodePtr child, xmlNodePtr ref) {
  if (child->type == XML_DOCUMENT_FRAG_NODE) {
    while (xmlNodePtr c = child->children) edit.Move(c, parent, ref);
  } else {
    edit.Move(child, parent, ref);
  }
}

}  // namespace

HRESULT NodeObject::InsertBefore(IXMLDOMNode* newChild, const VARIANT& refChild, IXMLDOMNode** out) {
  if (out) *out = nullptr;
  NodeObject* child;
  HRESULT hr = InsertableArgument(*this, newChild, &child);
  if (FAILED(hr)) return hr;
  if (isNamespace_) return FailWith(kInvalidTreeChange, "A namespace declaration has no children to change.");
  xmlNodePtr ref = nullptr;
  const VARIANT r = ShallowValue(refChild);
  if (r.vt == VT_UNKNOWN || r.vt == VT_DISPATCH) {
    IUnknown* unk = r.vt == VT_UNKNOWN ? r.punkVal : r.pdispVal;
    if (unk) {
      NodeObject* refObj = From(unk);
      if (!refObj || !SharesLockWith(*refObj) || refObj->isNamespace_ || !IsChildOf(refObj->node_, node_))
        return RefuseNotAChild("reference node");
      ref = refObj->node_;
    }
  } else if (r.vt != VT_EMPTY && r.vt != VT_NULL && !(r.vt == VT_ERROR && r.scode == DISP_E_PARAMNOTFOUND)) {
    return FailWith(E_INVALIDARG, "The reference node is neither a node nor empty.");
  }
  if (child->node_ == ref) return ReturnSame(child, out);
  hr = CheckInsertion(node_, child->node_, nullptr, ref);
  if (FAILED(hr)) return hr;
  {
    TreeEdit edit(*doc_);
    InsertInto(edit, node_, child->node_, ref);
  }
  return ReturnSame(child, out);
}

HRESULT NodeObject::AppendChild(IXMLDOMNode* newChild, IXMLDOMNode** out) {
  VARIANT none;
  VariantInit(&none);
  return InsertBefore(newChild, none, out);
}

HRESULT NodeObject::ReplaceChild(IXMLDOMNode* newChild, IXMLDOMNode* oldChild, IXMLDOMNode** out) {
  if (out) *out = nullptr;
  NodeObject* child;
  HRESULT hr = InsertableArgument(*this, newChild, &child);
  if (FAILED(hr)) return hr;
  NodeObject* old = From(oldChild);
  if (!old || !SharesLockWith(*old) || old->isNamespace_ || isNamespace_ || !IsChildOf(old->node_, node_))
    return RefuseNotAChild("node to replace");
  if (child == old) return ReturnSame(old, out);
  hr = CheckInsertion(node_, child->node_, old->node_, nullptr);
  if (FAILED(hr)) return hr;
  {
    TreeEdit edit(*doc_);
    InsertInto(edit, node_, child->node_, old->node_);
    edit.Detach(old->node_);
  }
  return ReturnSame(old, out);
}

HRESULT NodeObject::RemoveChild(IXMLDOMNode* childNode, IXMLDOMNode** out) {
  if (out) *out = nullptr;
  NodeObject* child = From(childNode);
  if (!child || !SharesLockWith(*child) || child->isNamespace_ || isNamespace_ || !IsChildOf(child->node_, node_))
    return RefuseNotAChild("node to remove");
  if (child->node_->type == XML_DTD_NODE) return FailWith(kInvalidTreeChange, kDocumentTypeStays);
  if (IsReadOnly(node_)) return RefuseReadOnly();
  {
    TreeEdit edit(*doc_);
    edit.Detach(child->node_);
  }
  return ReturnSame(child, out);
}

// S_FALSE (with VARIANT_FALSE) for a node without children.
HRESULT NodeObject::HasChildNodes(VARIANT_BOOL* out) {
  bool has = !isNamespace_ && DomFirstChild(node_) != nullptr;
  HRESULT hr = ReturnFlag(has, out);
  return SUCCEEDED(hr) && !has ? S_FALSE : hr;
}

HRESULT NodeObject::OwnerDocument(IXMLDOMDocument** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (isDocument_) return S_FALSE;
  *out = doc_;
  doc_->AddRef();
  return S_OK;
}

namespace {

// A copy of a document type for doc, not linked into it. libxml2 copies
// a DTD without a document; the copy and every declaration in it then join
// doc, so that they are freed as doc's nodes are.
xmlNodePtr CopyDocumentType(xmlDtdPtr dtd, xmlDocPtr doc) {
  xmlDtdPtr copy = xmlCopyDtd(dtd);
  if (!copy) return nullptr;
  std::vector<xmlNodePtr> stack{reinterpret_cast<xmlNodePtr>(copy)};
  while (!stack.empty()) {
    xmlNodePtr n = stack.back();
    stack.pop_back();
    n->doc = doc;
    if (n->type == XML_ENTITY_REF_NODE) continue;
    for (xmlNodePtr c = n->children; c; c = c->next) stack.push_back(c);
  }
  return reinterpret_cast<xmlNodePtr>(copy);
}

}  // namespace

namespace {

// The declarations of copy (made of source while `declared` lasted) that
// source did not have of its own: the ones given for the copy and any that
// libxml2 added. The copy's elements list their declarations as the
// source's do, in the same order.
std::unordered_set<xmlNsPtr> CopiedDeclarations(xmlNodePtr source, xmlNodePtr copy,
                                                const ScopedDeclarations& declared) {
  std::unordered_set<xmlNsPtr> added;
  if (copy->type != XML_ELEMENT_NODE && copy->type != XML_DOCUMENT_FRAG_NODE) return added;
  for (xmlNodePtr s = source, c = copy; s && c; s = NextWithin(s, source), c = NextWithin(c, copy)) {
    if (c->type != XML_ELEMENT_NODE) continue;
    xmlNsPtr sn = s->nsDef;
    for (xmlNsPtr cn = c->nsDef; cn; cn = cn->next, sn = sn ? sn->next : nullptr)
      if (!sn || declared.Added(sn)) added.insert(cn);
  }
  return added;
}

}  // namespace

HRESULT NodeObject::CloneNode(VARIANT_BOOL deep, IXMLDOMNode** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (deep && !isNamespace_) CheckCopyDepth(node_);
  if (isDocument_) {
    ComPtr<DomDocument> copy = doc_->CloneDocument(deep != 0);
    *out = copy.Detach();
    return S_OK;
  }
  xmlDocPtr doc = Anchor()->doc;
  xmlNodePtr copy = nullptr;
  if (isNamespace_) {
    xmlAttrPtr attr = xmlNewDocProp(doc, Xml(DeclarationName(Namespace())), nullptr);
    if (!attr) throw std::bad_alloc();
    copy = reinterpret_cast<xmlNodePtr>(attr);
    xmlNodePtr text = xmlNewDocText(doc, Namespace()->href);
    if (!text) {
      xmlFreeProp(attr);
      throw std::bad_alloc();
    }
    text->parent = copy;
    copy->children = copy->last = text;
  } else if (node_->type == XML_ATTRIBUTE_NODE) {
    auto* source = reinterpret_cast<xmlAttrPtr>(node_);
    xmlAttrPtr attr = xmlNewDocProp(doc, source->name, nullptr);
    if (!attr) throw std::bad_alloc();
    copy = reinterpret_cast<xmlNodePtr>(attr);
    if (source->children) {
      xmlNodePtr children = xmlDocCopyNodeList(doc, source->children);
      for (xmlNodePtr c = children; c; c = c->next) {
        c->parent = copy;
        copy->last = c;
      }
      copy->children = children;
    }
    if (source->ns) attr->ns = DocumentNamespace(doc, source->ns->href, source->ns->prefix);
  } else {
    switch (node_->type) {
      case XML_ELEMENT_NODE:
      case XML_TEXT_NODE:
      case XML_CDATA_SECTION_NODE:
      case XML_COMMENT_NODE:
      case XML_PI_NODE:
      case XML_ENTITY_REF_NODE:
      case XML_DOCUMENT_FRAG_NODE: {
        ScopedDeclarations declared(node_, deep != 0);
        copy = xmlDocCopyNode(node_, doc, deep ? 1 : 2);
        if (copy) CopyDeclarationPlaces(node_, copy);
        if (copy) LiftDeclarations(copy, CopiedDeclarations(node_, copy, declared));
        break;
      }
      case XML_DTD_NODE:
        // A document type is nothing without its declarations: deep or not,
        // the copy carries them all.
        copy = CopyDocumentType(reinterpret_cast<xmlDtdPtr>(node_), doc);
        break;
      default:
        // Entities and notations live in the document type's tables, not
        // as nodes of their own; the engine does not copy them one by one.
        return FailWith(E_NOTIMPL, "Copying an entity or notation declaration is not supported.");
    }
  }
  if (!copy) throw std::bad_alloc();
  TreeEdit edit(*doc_);
  edit.AdoptNew(copy);
  return ReturnNode(copy, out);
}

HRESULT NodeObject::NodeTypeString(BSTR* out) { return ReturnBstr(TypeString(DomTypeOf(node_)), out); }

HRESULT NodeObject::Text(BSTR* out) {
  if (isNamespace_) return ReturnBstr(View(Namespace()->href), out);
  if (node_->type == XML_ATTRIBUTE_NODE) {
    // The usual attribute holds one text node: its content is the value.
    xmlNodePtr t = node_->children;
    if (!t) return ReturnBstr(std::string_view(), out);
    if (!t->next && t->type == XML_TEXT_NODE) return ReturnBstr(t->content, out);
  }
  return ReturnBstr(TextOf(node_, doc_->Settings().preserveWhiteSpace), out);
}

HRESULT NodeObject::PutText(BSTR text) {
  std::string t = Utf8Of(text);
  if (isNamespace_) return SetValueText(t);
  if (IsReadOnly(node_)) return RefuseReadOnly();
  switch (node_->type) {
    case XML_ELEMENT_NODE:
    case XML_DOCUMENT_FRAG_NODE: {
      TreeEdit edit(*doc_);
      edit.ReplaceChildrenWithText(node_, t);
      return S_OK;
    }
    case XML_ATTRIBUTE_NODE:
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE:
    case XML_PI_NODE:
      return SetValueText(t);
    default:
      return FailWith(kInvalidTreeChange, std::string("The text of a node of type '") +
                                              TypeString(DomTypeOf(node_)) + "' cannot be set.");
  }
}

HRESULT NodeObject::Specified(VARIANT_BOOL* out) {
  const bool defaulted = !isNamespace_ && node_->type == XML_ATTRIBUTE_NODE &&
                         IsDefaulted(reinterpret_cast<const xmlAttr*>(node_));
  return ReturnFlag(!defaulted, out);
}

HRESULT NodeObject::Definition(IXMLDOMNode** out) {
  if (!isNamespace_ && node_->type == XML_ENTITY_REF_NODE)
    return ReturnNode(reinterpret_cast<xmlNodePtr>(ReferencedEntity(node_)), out);
  return ReturnNode(nullptr, out);
}

// The reason for a value that does not convert between a node's text and
// its data type; subject says which side failed.
static HRESULT TypedValueFailure(HRESULT hr, engine::DataType type, const char* subject) {
  const std::string name = DataTypeName(type);
  if (hr == DISP_E_OVERFLOW) return FailWith(hr, std::string(subject) + " is out of the range of type " + name + ".");
  return FailWith(hr, std::string(subject) + " is not a value of type " + name + ".");
}

HRESULT NodeObject::NodeTypedValue(VARIANT* out) {
  if (!out) return E_INVALIDARG;
  VariantInit(out);
  if (!isNamespace_ && node_->type == XML_ELEMENT_NODE) {
    std::string text = TextOf(node_, doc_->Settings().preserveWhiteSpace);
    engine::DataType type;
    if (!DeclaredDataType(node_, &type)) return ReturnBstrVariant(text, out);
    HRESULT hr = TypedValueFromText(type, text.c_str(), out);
    return FAILED(hr) ? TypedValueFailure(hr, type, "The node's text") : hr;
  }
  return NodeValue(out);
}

HRESULT NodeObject::PutNodeTypedValue(const VARIANT& value) {
  if (!isNamespace_ && node_->type == XML_ELEMENT_NODE) {
    if (IsReadOnly(node_)) return RefuseReadOnly();
    std::string text;
    engine::DataType type;
    if (!DeclaredDataType(node_, &type)) {
      HRESULT hr = Utf8OfVariant(value, &text);
      if (FAILED(hr)) return hr;
    } else {
      HRESULT hr = TextFromTypedValue(type, ShallowValue(value), &text);
      if (FAILED(hr)) return TypedValueFailure(hr, type, "The value");
    }
    TreeEdit edit(*doc_);
    edit.ReplaceChildrenWithText(node_, text);
    return S_OK;
  }
  return PutNodeValue(value);
}

HRESULT NodeObject::DataType(VARIANT* out) {
  if (!out) return E_INVALIDARG;
  VariantInit(out);
  xmlAttrPtr attr = isNamespace_ ? nullptr : DataTypeAttribute(node_);
  if (!attr) return ReturnNull(out);
  return ReturnBstrVariant(AttributeValue(attr), out);
}

HRESULT NodeObject::PutDataType(BSTR name) {
  if (isNamespace_ || node_->type != XML_ELEMENT_NODE)
    return FailWith(kInvalidTreeChange, "Only an element's data type can be set.");
  if (IsReadOnly(node_)) return RefuseReadOnly();
  std::string typeName = Utf8Of(name);
  engine::DataType type;
  HRESULT hr = ParseDataType(typeName.c_str(), &type);
  if (FAILED(hr)) return FailWith(hr, "Unknown data type \"" + typeName + "\".");
  // The current text must be a value of the new type.
  std::string text = TextOf(node_, doc_->Settings().preserveWhiteSpace);
  if (!text.empty()) {
    VARIANT probe;
    VariantInit(&probe);
    hr = TypedValueFromText(type, text.c_str(), &probe);
    VariantClear(&probe);
    if (FAILED(hr)) return TypedValueFailure(hr, type, "The node's text");
  }
  TreeEdit edit(*doc_);
  xmlAttrPtr attr = DataTypeAttribute(node_);
  if (!attr) {
    xmlNsPtr ns = EnsureNamespace(node_, Xml(kDataTypesNamespace), Xml("dt"));
    attr = xmlNewNsProp(node_, ns, Xml("dt"), nullptr);
    if (!attr) throw std::bad_alloc();
  }
  edit.SetAttributeValue(attr, DataTypeName(type));
  return S_OK;
}

HRESULT NodeObject::Serialized(BSTR* out) {
  if (!out) return E_INVALIDARG;
  return ReturnBstr(SerializeNode(node_), out);
}

namespace {

// The style sheet of a request, and what its document allows: the XSLT
// document() function is the style sheet's to use, so its document's
// AllowDocumentFunction decides.
constexpr char kOutputKinds[] = "The output of a transformation goes into a DOM document or an IStream.";

HRESULT StylesheetOf(IXMLDOMNode* stylesheet, TransformRequest* request) {
  NodeObject* style = NodeObject::From(stylesheet);
  if (!style || style->IsNamespaceDeclaration())
    return FailWith(E_INVALIDARG, stylesheet ? "The style sheet must be a document or element of this engine."
                                             : "No style sheet was given.");
  request->stylesheet = style->Node();
  request->allowDocumentFunction = style->Document().Settings().allowDocumentFunction;
  request->allowScript = style->Document().Settings().allowXsltScript;
  request->processorVersion = style->Document().Flavor().version40 ? 4 : 3;
  return S_OK;
}

}  // namespace

HRESULT NodeObject::TransformNode(IXMLDOMNode* stylesheet, BSTR* out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  TransformRequest request;
  HRESULT hr = StylesheetOf(stylesheet, &request);
  if (FAILED(hr)) return hr;
  request.source = Anchor();
  std::string text, reason;
  hr = Transform(request, TransformTarget::Text, &text, nullptr, &reason);
  if (FAILED(hr)) return FailWith(hr, reason);
  return ReturnBstr(text, out);
}

namespace {

// A document holds one element at most and no text outside it; a result
// tree (text output, or several top-level elements) may hold either.
// Blank top-level text is dropped as loading drops it.
bool WellFormedResult(xmlDocPtr tree) {
  int elements = 0;
  for (xmlNodePtr c = tree->children, next; c; c = next) {
    next = c->next;
    if (c->type == XML_ELEMENT_NODE) {
      ++elements;
    } else if (c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE) {
      for (const xmlChar* p = c->content; p && *p; ++p)
        if (!IsXmlSpace(*p)) return false;
      xmlUnlinkNode(c);
      xmlFreeNode(c);
    } else if (c->type == XML_ENTITY_REF_NODE) {
      return false;
    }
  }
  return elements <= 1;
}

}  // namespace

TreeInstall::~TreeInstall() {
  if (tree_) xmlFreeDoc(tree_);
}

void TreeInstall::Set(DomDocument* target, xmlDocPtr tree) {
  target_ = ComPtr<IXMLDOMNode>(target->Interface());
  document_ = target;
  tree_ = tree;
}

HRESULT TreeInstall::Run() {
  if (!tree_) return S_OK;
  DocLock lock(document_->Mutex());
  auto install = [&] {
    document_->InstallTree(tree_);
    tree_ = nullptr;
    return S_OK;
  };
  return NodeObject::Protect(install);
}

HRESULT NodeObject::TransformNodeToObject(IXMLDOMNode* stylesheet, const VARIANT& output, TreeInstall* install) {
  TransformRequest request;
  HRESULT hr = StylesheetOf(stylesheet, &request);
  if (FAILED(hr)) return hr;
  request.source = Anchor();
  const VARIANT v = ShallowValue(output);
  IUnknown* target = v.vt == VT_UNKNOWN ? v.punkVal : v.vt == VT_DISPATCH ? v.pdispVal : nullptr;
  if (!target) return FailWith(E_INVALIDARG, kOutputKinds);
  std::string reason;
  if (auto* targetDoc = dynamic_cast<DomDocument*>(target)) {
    xmlDocPtr tree = nullptr;
    hr = Transform(request, TransformTarget::Tree, nullptr, &tree, &reason);
    if (FAILED(hr)) return FailWith(hr, reason);
    if (!WellFormedResult(tree)) {
      xmlFreeDoc(tree);
      return FailWith(E_FAIL, "The transformation's output is not a well-formed document: it has text or more "
                              "than one element at the top level.");
    }
    // Installed once this call's locks are given up: taking the target's
    // lock under them could deadlock with a transformation the other way.
    install->Set(targetDoc, tree);
    return S_OK;
  }
  if (ComPtr<ISequentialStream> stream = ByteStreamOf(target)) {
    std::string bytes;
    hr = Transform(request, TransformTarget::Bytes, &bytes, nullptr, &reason);
    if (FAILED(hr)) return FailWith(hr, reason);
    hr = WriteAll(stream.Get(), bytes.data(), bytes.size());
    return FAILED(hr) ? FailWith(hr, "The stream refused the output.") : S_OK;
  }
  ComPtr<IXMLDOMDocument> foreign;
  if (SUCCEEDED(target->QueryInterface(IXMLDOMDocument::kIID, reinterpret_cast<void**>(foreign.Out())))) {
    std::string text;
    hr = Transform(request, TransformTarget::Text, &text, nullptr, &reason);
    if (FAILED(hr)) return FailWith(hr, reason);
    BSTR b = AllocBstr(text);
    if (!b) return E_OUTOFMEMORY;
    VARIANT_BOOL ok = VARIANT_FALSE;
    hr = foreign->loadXML(b, &ok);
    SysFreeString(b);
    if (FAILED(hr)) return hr;
    return ok == VARIANT_TRUE ? S_OK : FailWith(E_FAIL, "The transformation's output is not a well-formed document.");
  }
  return FailWith(E_INVALIDARG, kOutputKinds);
}

HRESULT NodeObject::SelectNodes(BSTR query, IXMLDOMNodeList** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  std::string q = Utf8Of(query);
  SharedSnapshot nodes;
  HRESULT hr = RunQuery(q, &nodes);
  if (FAILED(hr)) return hr;
  const DocumentSettings& settings = doc_->Settings();
  *out = MakeObject<SelectionList>(doc_, std::move(q), this, std::move(nodes), settings.namespaces,
                                   settings.selectionLanguage)
             .Detach();
  return S_OK;
}

HRESULT NodeObject::SelectSingleNode(BSTR query, IXMLDOMNode** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  SharedSnapshot nodes;
  HRESULT hr = RunQuery(Utf8Of(query), &nodes);
  if (FAILED(hr)) return hr;
  return ReturnNode(nodes->empty() ? nullptr : nodes->front(), out);
}

HRESULT NodeObject::RunQuery(const std::string& query, SharedSnapshot* nodes) {
  xmlNodePtr context = Anchor();
  std::string reason;
  HRESULT hr = doc_->Queries().Select(query, context, doc_->Settings().namespaces, doc_->Stamp(),
                                      nodes, &reason);
  return FAILED(hr) ? FailWith(hr, reason) : hr;
}

HRESULT NodeObject::Parsed(VARIANT_BOOL* out) { return ReturnFlag(true, out); }

HRESULT NodeObject::NamespaceUri(BSTR* out) {
  // An attribute named xmlns or xmlns:p is a declaration, in the tree or not.
  if (isNamespace_ || (node_->type == XML_ATTRIBUTE_NODE && !node_->ns && IsDeclarationName(View(node_->name))))
    return ReturnBstr(kXmlnsNamespace, out);
  if ((node_->type == XML_ELEMENT_NODE || node_->type == XML_ATTRIBUTE_NODE) && node_->ns)
    return ReturnBstr(node_->ns->href, out);
  return ReturnBstr("", out);
}

HRESULT NodeObject::Prefix(BSTR* out) {
  if (isNamespace_) return ReturnBstr(Namespace()->prefix ? "xmlns" : "", out);
  if (node_->type == XML_ELEMENT_NODE || node_->type == XML_ATTRIBUTE_NODE) {
    if (node_->ns && node_->ns->prefix) return ReturnBstr(node_->ns->prefix, out);
    std::string_view prefix, local;
    SplitQName(View(node_->name), &prefix, &local);
    return ReturnBstr(prefix, out);
  }
  return ReturnBstr("", out);
}

HRESULT NodeObject::BaseName(BSTR* out) {
  if (isNamespace_) return ReturnBstr(Namespace()->prefix ? View(Namespace()->prefix) : "xmlns", out);
  switch (node_->type) {
    case XML_ELEMENT_NODE:
    case XML_ATTRIBUTE_NODE: {
      if (node_->ns) return ReturnBstr(node_->name, out);
      std::string_view prefix, local;
      SplitQName(View(node_->name), &prefix, &local);
      return ReturnBstr(local, out);
    }
    case XML_PI_NODE:
    case XML_ENTITY_REF_NODE:
    case XML_ENTITY_DECL:
    case XML_NOTATION_NODE:
    case XML_DTD_NODE:
      return ReturnBstr(node_->name, out);
    default:
      return ReturnBstr("", out);
  }
}

}  // namespace ardo::engine
