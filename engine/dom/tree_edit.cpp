#include "engine/dom/tree_edit.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include <libxml/entities.h>
#include <libxml/valid.h>

#include "engine/common/bstr_text.h"
#include "engine/common/engine_errors.h"
#include "engine/common/last_error.h"
#include "engine/dom/dom_document.h"
#include "engine/dom/node_navigation.h"
#include "engine/dom/node_object.h"
#include "engine/dom/node_serializer.h"
#include "engine/dom/text_content.h"

namespace ardo::engine {

void LinkChild(xmlNodePtr parent, xmlNodePtr node, xmlNodePtr before) {
  node->parent = parent;
  if (before) {
    node->next = before;
    node->prev = before->prev;
    if (before->prev) {
      before->prev->next = node;
    } else {
      parent->children = node;
    }
    before->prev = node;
  } else {
    node->next = nullptr;
    node->prev = parent->last;
    if (parent->last) {
      parent->last->next = node;
    } else {
      parent->children = node;
    }
    parent->last = node;
  }
}

namespace {

// An entity reference's name may be a string of its document's dictionary,
// and libxml2's adoption leaves it there: the node would then free it into
// the other document, or outlive it. Such names get a copy of their own
// before a subtree moves (attribute values may hold references too).
void OwnEntityReferenceNames(xmlNodePtr node, xmlDictPtr dict) {
  if (node->type == XML_ENTITY_REF_NODE) {
    if (node->name && xmlDictOwns(dict, node->name) == 1) {
      const xmlChar* copy = xmlStrdup(node->name);
      if (!copy) throw std::bad_alloc();
      node->name = copy;
    }
    return;  // its children are the entity's
  }
  if (node->type == XML_ELEMENT_NODE)
    for (xmlAttrPtr a = node->properties; a; a = a->next)
      OwnEntityReferenceNames(reinterpret_cast<xmlNodePtr>(a), dict);
  if (node->type == XML_ELEMENT_NODE || node->type == XML_ATTRIBUTE_NODE || node->type == XML_DOCUMENT_FRAG_NODE)
    for (xmlNodePtr c = node->children; c; c = c->next) OwnEntityReferenceNames(c, dict);
}

void LinkAttribute(xmlNodePtr element, xmlAttrPtr attr, xmlAttrPtr before) {
  attr->parent = element;
  if (before) {
    attr->next = before;
    attr->prev = before->prev;
    if (before->prev) {
      before->prev->next = attr;
    } else {
      element->properties = attr;
    }
    before->prev = attr;
    return;
  }
  attr->next = nullptr;
  xmlAttrPtr last = element->properties;
  while (last && last->next) last = last->next;
  attr->prev = last;
  if (last) {
    last->next = attr;
  } else {
    element->properties = attr;
  }
}

// The namespace declarations of the elements in an element's subtree.
std::unordered_set<xmlNsPtr> DeclarationsIn(xmlNodePtr root) {
  std::unordered_set<xmlNsPtr> found;
  for (xmlNodePtr n = root; n; n = NextWithin(n, root))
    if (n->type == XML_ELEMENT_NODE)
      for (xmlNsPtr ns = n->nsDef; ns; ns = ns->next) found.insert(ns);
  return found;
}

// The namespaces that a subtree about to leave its ancestors uses from them
// become the document's own, so that it refers to nothing outside itself
// and shows no declarations it did not have. (libxml2's
// xmlDOMWrapRemoveNode means to do this, but passes over the children of
// any element with attributes.)
void OwnOutsideNamespaces(xmlNodePtr root) {
  const std::unordered_set<xmlNsPtr> inside =
      root->type == XML_ELEMENT_NODE ? DeclarationsIn(root) : std::unordered_set<xmlNsPtr>();
  std::unordered_map<xmlNsPtr, xmlNsPtr> owned;
  auto own = [&](xmlNsPtr ns) {
    if (!ns || inside.count(ns)) return ns;
    xmlNsPtr& mine = owned[ns];
    if (!mine) mine = DocumentNamespace(root->doc, ns->href, ns->prefix);
    if (!mine) throw std::bad_alloc();
    return mine;
  };
  if (root->type == XML_ATTRIBUTE_NODE) {
    root->ns = own(root->ns);
    return;
  }
  for (xmlNodePtr n = root; n; n = NextWithin(n, root)) {
    if (n->type != XML_ELEMENT_NODE) continue;
    n->ns = own(n->ns);
    for (xmlAttrPtr a = n->properties; a; a = a->next) a->ns = own(a->ns);
  }
}

// Adopts a detached node into doc. libxml2's adoption of an attribute
// follows an entity reference in its value into the new document's entity
// and walks off the entity's end: an attribute's references are adopted
// one by one, apart from it, and put back in their places.
void AdoptInto(xmlNodePtr node, xmlDocPtr doc, xmlNodePtr parent) {
  // A list of a third document may be asking which document a node here
  // is in.
  std::lock_guard<std::mutex> moving(NodeMoveMutex());
  xmlDocPtr from = node->doc;
  std::vector<xmlNodePtr> values;
  bool references = false;
  if (node->type == XML_ATTRIBUTE_NODE)
    for (xmlNodePtr c = node->children; c; c = c->next) {
      values.push_back(c);
      references = references || c->type == XML_ENTITY_REF_NODE;
    }
  // An ID attribute leaves its document's table of IDs, which would
  // otherwise name it after it is freed in another document.
  if (node->type == XML_ATTRIBUTE_NODE && reinterpret_cast<xmlAttrPtr>(node)->atype == XML_ATTRIBUTE_ID && from)
    xmlRemoveID(from, reinterpret_cast<xmlAttrPtr>(node));
  if (!references) {
    xmlDOMWrapAdoptNode(nullptr, from, node, doc, parent, 0);
    return;
  }
  for (xmlNodePtr c : values)
    if (c->type == XML_ENTITY_REF_NODE) xmlUnlinkNode(c);
  xmlDOMWrapAdoptNode(nullptr, from, node, doc, parent, 0);
  node->children = node->last = nullptr;
  for (xmlNodePtr c : values) {
    if (c->type == XML_ENTITY_REF_NODE) xmlDOMWrapAdoptNode(nullptr, from, c, doc, nullptr, 0);
    LinkChild(node, c, nullptr);
  }
}

bool MayHoldChild(xmlElementType parent, xmlElementType child) {
  switch (parent) {
    case XML_ELEMENT_NODE:
    case XML_DOCUMENT_FRAG_NODE:
      return child == XML_ELEMENT_NODE || child == XML_TEXT_NODE || child == XML_CDATA_SECTION_NODE ||
             child == XML_COMMENT_NODE || child == XML_PI_NODE || child == XML_ENTITY_REF_NODE;
    case XML_DOCUMENT_NODE:
      return child == XML_ELEMENT_NODE || child == XML_COMMENT_NODE || child == XML_PI_NODE;
    case XML_ATTRIBUTE_NODE:
      return child == XML_TEXT_NODE || child == XML_ENTITY_REF_NODE;
    default:
      return false;
  }
}

}  // namespace

void LiftDeclarations(xmlNodePtr root, const std::unordered_set<xmlNsPtr>& added) {
  if (added.empty()) return;
  std::vector<std::pair<xmlNsPtr, xmlNsPtr>> lifted;  // added, the document's
  for (xmlNodePtr n = root; n; n = NextWithin(n, root)) {
    if (n->type != XML_ELEMENT_NODE) continue;
    for (xmlNsPtr* link = &n->nsDef; *link;) {
      xmlNsPtr ns = *link;
      if (!added.count(ns)) {
        link = &ns->next;
        continue;
      }
      *link = ns->next;
      ns->next = nullptr;
      lifted.emplace_back(ns, nullptr);
    }
  }
  // The document's namespace is looked up for the ones in use only.
  auto replacement = [&](xmlNsPtr ns) {
    for (auto& [from, to] : lifted) {
      if (ns != from) continue;
      if (!to) to = DocumentNamespace(root->doc, from->href, from->prefix);
      if (!to) throw std::bad_alloc();
      return to;
    }
    return ns;
  };
  for (xmlNodePtr n = root; n; n = NextWithin(n, root)) {
    if (n->type != XML_ELEMENT_NODE) continue;
    if (n->ns) n->ns = replacement(n->ns);
    for (xmlAttrPtr a = n->properties; a; a = a->next)
      if (a->ns) a->ns = replacement(a->ns);
  }
  for (auto& [from, to] : lifted) xmlFreeNs(from);
}

TreeEdit::TreeEdit(DomDocument& document) {
  Touch(document);
  Track(document.CurrentTree());
}

TreeEdit::~TreeEdit() {
  // ID values changed inside their attributes go back into the table.
  for (xmlAttrPtr attr : ids_) {
    std::string value = AttributeValue(attr);
    if (!value.empty() && attr->doc) xmlAddID(nullptr, attr->doc, Xml(value), attr);
    // Still of type ID when its value is another's for now (the table
    // keeps the first): a later edit is noted as this one was.
    attr->atype = XML_ATTRIBUTE_ID;
  }
  for (auto& tree : trees_) tree->Sweep();
}

void TreeEdit::NoteValueEdit(xmlNodePtr node) {
  if (!node || node->type != XML_ATTRIBUTE_NODE) return;
  auto* attr = reinterpret_cast<xmlAttrPtr>(node);
  if (attr->atype != XML_ATTRIBUTE_ID || !attr->doc) return;
  if (std::find(ids_.begin(), ids_.end(), attr) != ids_.end()) return;
  xmlRemoveID(attr->doc, attr);
  ids_.push_back(attr);
}

void TreeEdit::Track(TreeHolder* holder) {
  for (auto& t : trees_)
    if (t.Get() == holder) return;
  trees_.emplace_back(holder);
  if (holder->Owner()) Touch(*holder->Owner());
}

void TreeEdit::Touch(DomDocument& document) {
  document.Touch();
  if (std::find(documents_.begin(), documents_.end(), &document) == documents_.end())
    documents_.push_back(&document);
}

namespace {

// The object that live lists over n rest on, if n has one.
NodeObject* ListedObject(xmlNodePtr n) {
  if (n->type != XML_DOCUMENT_NODE) return static_cast<NodeObject*>(n->_private);
  auto* holder = static_cast<TreeHolder*>(n->_private);
  DomDocument* owner = holder ? holder->Owner() : nullptr;
  return owner && owner->CurrentTree() == holder ? owner : nullptr;
}

// Marks a change to parent's children (child going in or out) on the
// objects that live lists rest on: parent's, and where an element came or
// went, its ancestors' too. Attributes' children are their values, which
// the lists over attributes follow by the document's stamp.
// `sign`: +1 for a child come in, -1 for one about to go.
void MarkShapeChange(xmlNodePtr parent, const xmlNode* child, int sign) {
  if (parent->type == XML_ATTRIBUTE_NODE) return;
  const uint64_t stamp = NextStamp();
  if (NodeObject* o = ListedObject(parent)) o->NoteChildrenChange(stamp, child, sign);
  if (child->type != XML_ELEMENT_NODE) return;
  for (xmlNodePtr n = parent; n; n = n->parent)
    if (NodeObject* o = ListedObject(n)) o->NoteElementsChange(stamp, child, sign);
}

}  // namespace

void TreeEdit::Unlink(xmlNodePtr node) {
  if (node->type == XML_ATTRIBUTE_NODE || node->type == XML_ELEMENT_NODE) OwnOutsideNamespaces(node);
  xmlUnlinkNode(node);
}

void TreeEdit::Detach(xmlNodePtr node) {
  if (!node->parent) return;
  NoteValueEdit(node->parent);
  TreeHolder* holder = TreeHolder::Of(node);
  Track(holder);
  long live = TreeHolder::CountObjects(node);
  holder->AdjustContaining(node, -live);
  if (node->type == XML_ATTRIBUTE_NODE)
    AttributeLeaving(node->parent, reinterpret_cast<xmlAttrPtr>(node));
  else
    MarkShapeChange(node->parent, node, -1);
  Unlink(node);
  holder->AddRoot(node, live);
}

void TreeEdit::Attach(xmlNodePtr node, xmlNodePtr parent, xmlNodePtr before) {
  TreeHolder* source = TreeHolder::Of(node);
  TreeHolder* target = TreeHolder::Of(parent);
  Track(source);
  Track(target);
  long live = source->TakeRoot(node);
  if (node->doc != parent->doc) {
    target->NoteForeignNodes(*source, node);
    if (node->doc->dict) OwnEntityReferenceNames(node, node->doc->dict);
    // The namespaces the subtree uses from outside are declared on it for
    // the adoption, which would otherwise bind them to any declaration of
    // the same URI in the new document, renaming the nodes; afterwards they
    // become the new document's own.
    const bool element = node->type == XML_ELEMENT_NODE;
    const std::unordered_set<xmlNsPtr> had = element ? DeclarationsIn(node) : std::unordered_set<xmlNsPtr>();
    if (element) xmlDOMWrapReconcileNamespaces(nullptr, node, 0);
    // An attribute's namespace goes to the document, not onto the element
    // (where it could rebind the element's own prefix): AttributeNamespace
    // below places it.
    AdoptInto(node, parent->doc, element ? parent : nullptr);
    if (element) {
      std::unordered_set<xmlNsPtr> added = DeclarationsIn(node);
      for (xmlNsPtr ns : had) added.erase(ns);
      LiftDeclarations(node, added);
    }
    RehomeObjects(node, target->Owner(), target);
  }
  NoteValueEdit(parent);
  if (node->type == XML_ATTRIBUTE_NODE) {
    auto* attr = reinterpret_cast<xmlAttrPtr>(node);
    LinkAttribute(parent, attr, reinterpret_cast<xmlAttrPtr>(before));
    if (attr->ns) attr->ns = AttributeNamespace(parent, attr->ns);
  } else {
    LinkChild(parent, node, before);
    MarkShapeChange(parent, node, +1);
  }
  target->AdjustContaining(parent, live);
}

void TreeEdit::Move(xmlNodePtr node, xmlNodePtr parent, xmlNodePtr before) {
  if (node->parent) Detach(node);
  Attach(node, parent, before);
}

void TreeEdit::AdoptNew(xmlNodePtr node) {
  TreeHolder* holder = TreeHolder::Of(node);
  Track(holder);
  holder->AddRoot(node, 0);
}

void TreeEdit::ReplaceChildrenWithText(xmlNodePtr node, std::string_view text) {
  NoteValueEdit(node);
  while (node->children) Detach(node->children);
  if (text.empty()) return;
  xmlNodePtr t = xmlNewDocTextLen(node->doc, Xml(std::string(text)), static_cast<int>(text.size()));
  if (!t) throw std::bad_alloc();
  LinkChild(node, t, nullptr);
  MarkShapeChange(node, t, +1);
}

void TreeEdit::SetAttributeValue(xmlAttrPtr attr, std::string_view text) {
  MarkSpecified(attr);
  ReplaceChildrenWithText(reinterpret_cast<xmlNodePtr>(attr), text);
}

void TreeEdit::SetContent(xmlNodePtr node, std::string_view text) {
  NoteValueEdit(node->parent);
  xmlNodeSetContentLen(node, Xml(std::string(text)), static_cast<int>(text.size()));
}

namespace {

// The XML declaration is the document's first node and its only one: a
// processing instruction named "xml" goes nowhere else, and nothing goes
// in front of it.
HRESULT CheckDeclarationPlace(xmlNodePtr parent, xmlNodePtr child, xmlNodePtr replacing, xmlNodePtr before) {
  static const char kReason[] = "The XML declaration can only be the first node of a document.";
  xmlNodePtr at = replacing ? replacing : before;
  bool first = true;
  for (xmlNodePtr n = child->type == XML_DOCUMENT_FRAG_NODE ? child->children : child; n;
       n = child->type == XML_DOCUMENT_FRAG_NODE ? n->next : nullptr) {
    if (IsXmlDeclarationInstruction(n)) {
      if (parent->type != XML_DOCUMENT_NODE || !first) return FailWith(kInvalidTreeChange, kReason);
      for (xmlNodePtr c = parent->children; c; c = c->next) {
        if (c == at) break;
        if (c == child) continue;
        if (IsExposedChild(c)) return FailWith(kInvalidTreeChange, kReason);
      }
      for (xmlNodePtr c = parent->children; c; c = c->next)
        if (c != child && c != replacing && IsXmlDeclarationInstruction(c))
          return FailWith(kInvalidTreeChange, "A document has one XML declaration only.");
    }
    first = false;
  }
  if (at && at != replacing && at != child && IsXmlDeclarationInstruction(at))
    return FailWith(kInvalidTreeChange, kReason);
  return S_OK;
}

// The document element comes after the document type: an element goes in
// after it (or where it is replaced), never before it.
HRESULT CheckElementPlace(xmlNodePtr document, xmlNodePtr at) {
  for (xmlNodePtr c = document->children; c && c != at; c = c->next)
    if (c->type == XML_DTD_NODE) return S_OK;
  for (xmlNodePtr c = at; c; c = c->next)
    if (c->type == XML_DTD_NODE)
      return FailWith(kInvalidTreeChange, "The document element cannot come before the document type.");
  return S_OK;
}

// Whether a reference's entity may stand in an attribute value: internal
// entities whose content is text (references to such included). Markup or
// an external entity there would not read again.
bool FitsAttribute(const xmlDoc* doc, const xmlChar* name, int depth = 0) {
  xmlEntityPtr entity = xmlGetDocEntity(doc, name);
  if (!entity || entity->etype == XML_INTERNAL_PREDEFINED_ENTITY) return true;
  if (entity->etype != XML_INTERNAL_GENERAL_ENTITY || depth > 16) return false;
  if (!entity->children) return !entity->content || !xmlStrchr(entity->content, '<');
  for (const xmlNode* c = entity->children; c; c = c->next)
    if (c->type != XML_TEXT_NODE && !(c->type == XML_ENTITY_REF_NODE && FitsAttribute(doc, c->name, depth + 1)))
      return false;
  return true;
}

HRESULT CheckAttributeContent(xmlNodePtr parent, xmlNodePtr child) {
  if (parent->type != XML_ATTRIBUTE_NODE) return S_OK;
  xmlNodePtr first = child->type == XML_DOCUMENT_FRAG_NODE ? child->children : child;
  for (xmlNodePtr c = first; c; c = c == child ? nullptr : c->next)
    if (c->type == XML_ENTITY_REF_NODE && !FitsAttribute(parent->doc, c->name))
      return FailWith(kInvalidTreeChange, "The entity \"" + std::string(View(c->name)) +
                                              "\" holds markup or is external: it cannot stand in an attribute value.");
  return S_OK;
}

}  // namespace

HRESULT RefuseReadOnly() {
  return FailWith(kInvalidTreeChange,
                  "The node is read-only: it belongs to the content of an entity, an entity reference or the "
                  "document type.");
}

HRESULT RefuseNotAChild(const char* role) {
  return FailWith(E_INVALIDARG, std::string("The ") + role + " is not a child of this node.");
}

namespace {

HRESULT RefuseChildType(xmlNodePtr parent, const xmlNode* child) {
  return FailWith(kInvalidTreeChange, std::string("A node of type '") + TypeString(DomTypeOf(child)) +
                                          "' cannot be a child of a node of type '" +
                                          TypeString(DomTypeOf(parent)) + "'.");
}

}  // namespace

HRESULT CheckInsertion(xmlNodePtr parent, xmlNodePtr child, xmlNodePtr replacing, xmlNodePtr before) {
  if (IsReadOnly(parent) || IsReadOnly(child)) return RefuseReadOnly();
  if (replacing && replacing->type == XML_DTD_NODE) return FailWith(kInvalidTreeChange, kDocumentTypeStays);
  if (IsAncestorOrSelf(child, parent))
    return FailWith(kInvalidTreeChange, "A node cannot be inserted into itself or into one of its descendants.");
  int newElements = 0;
  if (child->type == XML_DOCUMENT_FRAG_NODE) {
    // Even an empty fragment goes only where children may.
    if (!MayHoldChild(parent->type, XML_TEXT_NODE) && !MayHoldChild(parent->type, XML_ELEMENT_NODE))
      return RefuseChildType(parent, child);
    for (xmlNodePtr c = child->children; c; c = c->next) {
      if (!MayHoldChild(parent->type, c->type)) return RefuseChildType(parent, c);
      if (c->type == XML_ELEMENT_NODE) ++newElements;
    }
  } else {
    if (!MayHoldChild(parent->type, child->type)) return RefuseChildType(parent, child);
    if (child->type == XML_ELEMENT_NODE) newElements = 1;
  }
  if (HRESULT hr = CheckAttributeContent(parent, child); FAILED(hr)) return hr;
  if (parent->type == XML_DOCUMENT_NODE && newElements > 0) {
    int existing = 0;
    for (xmlNodePtr c = parent->children; c; c = c->next)
      if (c->type == XML_ELEMENT_NODE && c != replacing && c != child) ++existing;
    if (existing + newElements > 1)
      return FailWith(kInvalidTreeChange, "Only one top-level element is allowed in a document.");
    if (HRESULT hr = CheckElementPlace(parent, replacing ? replacing : before); FAILED(hr)) return hr;
  }
  return CheckDeclarationPlace(parent, child, replacing, before);
}

}  // namespace ardo::engine
