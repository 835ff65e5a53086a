#include "engine/dom/node_navigation.h"

#include <cstring>
#include <unordered_set>

#include <libxml/entities.h>
#include <libxml/valid.h>

#include "engine/common/bstr_text.h"
#include "engine/common/engine_errors.h"
#include "engine/common/last_error.h"
#include "engine/dom/text_content.h"
#include "engine/dom/tree_holder.h"

namespace ardo::engine {

DOMNodeType DomTypeOf(const xmlNode* node) {
  switch (node->type) {
    case XML_ELEMENT_NODE:
      return NODE_ELEMENT;
    case XML_ATTRIBUTE_NODE:
    case XML_NAMESPACE_DECL:
      return NODE_ATTRIBUTE;
    case XML_TEXT_NODE:
      return NODE_TEXT;
    case XML_CDATA_SECTION_NODE:
      return NODE_CDATA_SECTION;
    case XML_ENTITY_REF_NODE:
      return NODE_ENTITY_REFERENCE;
    case XML_ENTITY_DECL:
    case XML_ENTITY_NODE:
      return NODE_ENTITY;
    case XML_PI_NODE:
      return NODE_PROCESSING_INSTRUCTION;
    case XML_COMMENT_NODE:
      return NODE_COMMENT;
    case XML_DOCUMENT_NODE:
    case XML_HTML_DOCUMENT_NODE:
      return NODE_DOCUMENT;
    case XML_DTD_NODE:
    case XML_DOCUMENT_TYPE_NODE:
      return NODE_DOCUMENT_TYPE;
    case XML_DOCUMENT_FRAG_NODE:
      return NODE_DOCUMENT_FRAGMENT;
    case XML_NOTATION_NODE:
      return NODE_NOTATION;
    default:
      return NODE_INVALID;
  }
}

const char* TypeString(DOMNodeType type) {
  switch (type) {
    case NODE_ELEMENT:
      return "element";
    case NODE_ATTRIBUTE:
      return "attribute";
    case NODE_TEXT:
      return "text";
    case NODE_CDATA_SECTION:
      return "cdatasection";
    case NODE_ENTITY_REFERENCE:
      return "entityreference";
    case NODE_ENTITY:
      return "entity";
    case NODE_PROCESSING_INSTRUCTION:
      return "processinginstruction";
    case NODE_COMMENT:
      return "comment";
    case NODE_DOCUMENT:
      return "document";
    case NODE_DOCUMENT_TYPE:
      return "documenttype";
    case NODE_DOCUMENT_FRAGMENT:
      return "documentfragment";
    case NODE_NOTATION:
      return "notation";
    default:
      return "";
  }
}

xmlEntityPtr ReferencedEntity(xmlNodePtr ref) {
  if (ref->type != XML_ENTITY_REF_NODE) return nullptr;
  xmlNodePtr c = ref->children;
  if (c && c->type == XML_ENTITY_DECL) return reinterpret_cast<xmlEntityPtr>(c);
  if (ref->doc) return xmlGetDocEntity(ref->doc, ref->name);
  return nullptr;
}

namespace {

// The first of a node's raw children, following an entity reference into
// the entity's content.
xmlNodePtr RawChildren(xmlNodePtr node, bool last) {
  if (HoldsChildren(node->type)) return last ? node->last : node->children;
  if (node->type != XML_ENTITY_REF_NODE) return nullptr;
  xmlEntityPtr ent = ReferencedEntity(node);
  if (!ent) return nullptr;
  return last ? ent->last : ent->children;
}

}  // namespace

xmlNodePtr DomFirstChildSlow(xmlNodePtr node) noexcept {
  xmlNodePtr c = RawChildren(node, false);
  while (c && !IsExposedChild(c)) c = c->next;
  return c;
}

xmlNodePtr NextElementWithin(xmlNodePtr element, const xmlNode* root) {
  auto firstElement = [](xmlNodePtr c) {
    while (c && c->type != XML_ELEMENT_NODE) c = c->next;
    return c;
  };
  if (xmlNodePtr child = firstElement(element->children)) return child;
  for (xmlNodePtr n = element; n && n != root; n = n->parent)
    if (xmlNodePtr sibling = firstElement(n->next)) return sibling;
  return nullptr;
}

xmlNodePtr DomLastChild(xmlNodePtr node) {
  xmlNodePtr c = RawChildren(node, true);
  while (c && !IsExposedChild(c)) c = c->prev;
  return c;
}

xmlNodePtr DomPreviousSibling(xmlNodePtr node) {
  if (!IsExposedChild(node)) return nullptr;
  xmlNodePtr c = node->prev;
  while (c && !IsExposedChild(c)) c = c->prev;
  return c;
}

xmlNodePtr DomParent(xmlNodePtr node) {
  switch (node->type) {
    case XML_ATTRIBUTE_NODE:
    case XML_NAMESPACE_DECL:
    case XML_DOCUMENT_NODE:
    case XML_HTML_DOCUMENT_NODE:
    case XML_DOCUMENT_FRAG_NODE:
    case XML_ENTITY_DECL:
    case XML_NOTATION_NODE:
      return nullptr;
    default:
      break;
  }
  xmlNodePtr p = node->parent;
  return p && HoldsChildren(p->type) ? p : nullptr;
}

namespace {
// The marks live in the attribute's type-information slot, which nothing
// else in the engine uses.
char g_defaultedMark;
char g_standInMark;
}  // namespace

namespace {

bool InTree(xmlNodePtr node, xmlDocPtr doc) { return TreeHolder::TopOf(node) == reinterpret_cast<xmlNodePtr>(doc); }

}  // namespace

xmlNodePtr IdIndex::Find(xmlDocPtr doc, uint64_t stamp, const std::string& value) {
  if (!doc) return nullptr;
  xmlAttrPtr listed = xmlGetID(doc, Xml(value));
  if (listed && listed->parent && InTree(listed->parent, doc) && AttributeValue(listed) == value)
    return listed->parent;
  if (doc != doc_ || stamp != stamp_) {
    elements_.clear();
    doc_ = nullptr;
    xmlNodePtr root = xmlDocGetRootElement(doc);
    for (xmlNodePtr n = root; n; n = NextElementWithin(n, root))
      for (xmlAttrPtr a = n->properties; a; a = a->next)
        if (a->atype == XML_ATTRIBUTE_ID || xmlIsID(doc, n, a)) elements_.emplace(AttributeValue(a), n);
    doc_ = doc;
    stamp_ = stamp;
  }
  auto it = elements_.find(value);
  return it == elements_.end() ? nullptr : it->second;
}

void MarkDefaulted(xmlAttrPtr attr) { attr->psvi = &g_defaultedMark; }
void MarkSpecified(xmlAttrPtr attr) {
  if (attr->psvi == &g_defaultedMark) attr->psvi = nullptr;
}
bool IsDefaulted(const xmlAttr* attr) { return attr->psvi == &g_defaultedMark; }
void MarkReadOnlyStandIn(xmlAttrPtr attr) { attr->psvi = &g_standInMark; }

void PlaceDeclarationAfter(xmlNsPtr ns, xmlAttrPtr attr) { ns->context = reinterpret_cast<xmlDocPtr>(attr); }

std::vector<std::pair<xmlNsPtr, xmlAttrPtr>> DeclarationPlaces(const xmlNode* element) {
  std::vector<std::pair<xmlNsPtr, xmlAttrPtr>> places;
  bool any = false;
  for (xmlNsPtr ns = element->nsDef; ns && !any; ns = ns->next) any = ns->context != nullptr;
  if (!any || !element->properties) return places;
  // Only attributes the element still has count: one named may be gone.
  std::unordered_set<const void*> attributes;
  for (xmlAttrPtr a = element->properties; a; a = a->next) attributes.insert(a);
  bool placed = false;
  for (xmlNsPtr ns = element->nsDef; ns; ns = ns->next) {
    xmlAttrPtr a = ns->context && attributes.count(ns->context) ? reinterpret_cast<xmlAttrPtr>(ns->context) : nullptr;
    placed = placed || a;
    places.emplace_back(ns, a);
  }
  if (!placed) places.clear();
  return places;
}

std::vector<xmlNsPtr> DeclarationsFollowing(const xmlNode* element, const xmlAttr* attr) {
  std::vector<xmlNsPtr> following;
  for (xmlNsPtr ns = element->nsDef; ns; ns = ns->next)
    if (ns->context == reinterpret_cast<const xmlDoc*>(attr)) following.push_back(ns);
  return following;
}

void AttributeLeaving(xmlNodePtr element, xmlAttrPtr attr) {
  for (xmlNsPtr ns : DeclarationsFollowing(element, attr)) PlaceDeclarationAfter(ns, attr->prev);
}

void CopyDeclarationPlaces(const xmlNode* from, xmlNode* to) {
  // (An entity reference's children are its entity's, below another parent.)
  if (from->type != XML_ELEMENT_NODE && from->type != XML_DOCUMENT_NODE && from->type != XML_DOCUMENT_FRAG_NODE)
    return;
  auto* a = const_cast<xmlNodePtr>(from);
  xmlNodePtr b = to;
  for (; a && b && a->type == b->type; a = NextWithin(a, from), b = NextWithin(b, to)) {
    if (a->type != XML_ELEMENT_NODE) continue;
    const auto places = DeclarationPlaces(a);
    if (places.empty()) continue;
    // The copy's attributes stand where the original's do.
    std::unordered_map<const xmlAttr*, xmlAttrPtr> same;
    for (xmlAttrPtr o = a->properties, c = b->properties; o && c; o = o->next, c = c->next) same[o] = c;
    xmlNsPtr copied = b->nsDef;
    for (const auto& [ns, after] : places) {
      if (!copied) break;
      auto it = after ? same.find(after) : same.end();
      if (it != same.end()) PlaceDeclarationAfter(copied, it->second);
      copied = copied->next;
    }
  }
}

xmlNodePtr NextWithin(xmlNodePtr n, const xmlNode* root) {
  if (n->children && (n == root || n->type == XML_ELEMENT_NODE)) return n->children;
  while (n != root && !n->next) n = n->parent;
  return n == root ? nullptr : n->next;
}

bool DeeperThan(const xmlNode* root, long levels) {
  // Down the first child, along the siblings, back up through parents: no
  // recursion, so any depth can be measured.
  const xmlNode* n = root;
  long depth = 0;
  while (n) {
    if (n->children && n->type != XML_ENTITY_REF_NODE && n->type != XML_ATTRIBUTE_NODE) {
      n = n->children;
      if (++depth > levels) return true;
      continue;
    }
    while (n && n != root && !n->next) {
      n = n->parent;
      --depth;
    }
    if (!n || n == root) break;
    n = n->next;
  }
  return false;
}

void CheckCopyDepth(const xmlNode* root) {
  if (DeeperThan(root, kMaxCopyDepth))
    throw EngineFailure{E_FAIL, "The tree is nested more than " + std::to_string(kMaxCopyDepth) +
                                    " levels deep and cannot be copied."};
}

bool IsReadOnly(xmlNodePtr node) {
  if (node->type == XML_ATTRIBUTE_NODE && reinterpret_cast<xmlAttrPtr>(node)->psvi == &g_standInMark) return true;
  for (xmlNodePtr p = node; p; p = p->parent) {
    switch (p->type) {
      case XML_ENTITY_DECL:
      case XML_DTD_NODE:
      case XML_NOTATION_NODE:
      case XML_ELEMENT_DECL:
      case XML_ATTRIBUTE_DECL:
        return true;
      default:
        break;
    }
  }
  return false;
}

bool IsAncestorOrSelf(xmlNodePtr ancestor, xmlNodePtr node) {
  for (xmlNodePtr p = node; p; p = p->parent)
    if (p == ancestor) return true;
  return false;
}

std::string QualifiedName(const xmlNode* node) {
  if ((node->type == XML_ELEMENT_NODE || node->type == XML_ATTRIBUTE_NODE) && node->ns &&
      node->ns->prefix) {
    std::string q(reinterpret_cast<const char*>(node->ns->prefix));
    q += ':';
    q += reinterpret_cast<const char*>(node->name);
    return q;
  }
  return node->name ? std::string(reinterpret_cast<const char*>(node->name)) : std::string();
}

bool HasQualifiedName(const xmlNode* node, std::string_view qname) {
  if (!(node->ns && node->ns->prefix)) {
    // Compared as it is read: no length of the name first.
    const char* name = reinterpret_cast<const char*>(node->name);
    if (!name) return qname.empty();
    const size_t n = qname.size();
    for (size_t i = 0; i < n; ++i)
      if (name[i] != qname[i] || name[i] == '\0') return false;
    return name[n] == '\0';
  }
  std::string_view name = View(node->name);
  std::string_view prefix = View(node->ns->prefix);
  return qname.size() == prefix.size() + 1 + name.size() && qname.substr(0, prefix.size()) == prefix &&
         qname[prefix.size()] == ':' && qname.substr(prefix.size() + 1) == name;
}

void SplitQName(std::string_view qname, std::string_view* prefix, std::string_view* local) {
  size_t colon = qname.find(':');
  if (colon == std::string_view::npos || colon == 0 || colon + 1 == qname.size()) {
    *prefix = std::string_view();
    *local = qname;
  } else {
    *prefix = qname.substr(0, colon);
    *local = qname.substr(colon + 1);
  }
}

xmlAttrPtr FindAttribute(xmlNodePtr element, std::string_view qname) {
  if (element->type != XML_ELEMENT_NODE) return nullptr;
  const char first = qname.empty() ? '\0' : qname[0];
  for (xmlAttrPtr a = element->properties; a; a = a->next) {
    // Most names differ in their first character (a prefixed name starts
    // with its prefix).
    const bool prefixed = a->ns && a->ns->prefix;
    const xmlChar* start = prefixed ? a->ns->prefix : a->name;
    if (start && static_cast<char>(start[0]) != first) continue;
    if (!prefixed && start) {
      // The name alone: compared as it is read.
      const char* name = reinterpret_cast<const char*>(start);
      size_t i = 0;
      while (i < qname.size() && name[i] == qname[i] && name[i] != '\0') ++i;
      if (i == qname.size() && name[i] == '\0') return a;
      continue;
    }
    if (HasQualifiedName(reinterpret_cast<xmlNodePtr>(a), qname)) return a;
  }
  return nullptr;
}

xmlAttrPtr FindAttributeNs(xmlNodePtr element, std::string_view local, std::string_view uri) {
  if (element->type != XML_ELEMENT_NODE) return nullptr;
  for (xmlAttrPtr a = element->properties; a; a = a->next) {
    if (View(a->name) != local) continue;
    std::string_view href = a->ns ? View(a->ns->href) : std::string_view();
    if (href == uri) return a;
  }
  return nullptr;
}

xmlNsPtr FindNamespaceDeclaration(xmlNodePtr element, std::string_view qname) {
  if (element->type != XML_ELEMENT_NODE) return nullptr;
  if (qname.size() < 5 || qname[0] != 'x') return nullptr;  // the common case: no declaration's name
  if (!IsDeclarationName(qname)) return nullptr;
  bool isDefault = qname == "xmlns";
  std::string_view prefix = isDefault ? std::string_view() : qname.substr(6);
  for (xmlNsPtr ns = element->nsDef; ns; ns = ns->next) {
    if (isDefault ? ns->prefix == nullptr : (ns->prefix && View(ns->prefix) == prefix)) return ns;
  }
  return nullptr;
}

std::string DeclarationName(const xmlNs* ns) {
  if (!ns->prefix) return "xmlns";
  return "xmlns:" + std::string(reinterpret_cast<const char*>(ns->prefix));
}

HRESULT CheckReservedBinding(std::string_view prefix, std::string_view uri) {
  const bool xmlUri = uri == reinterpret_cast<const char*>(XML_XML_NAMESPACE);
  if (prefix == "xml" ? xmlUri : !xmlUri && prefix != "xmlns" && uri != kXmlnsNamespace) return S_OK;
  return FailWith(E_FAIL, "The prefix \"" + std::string(prefix) + "\" cannot stand for \"" + std::string(uri) +
                              "\": the xml and xmlns names and namespaces are reserved.");
}

namespace {

// What prefix stands for on element itself, leaving its ancestors aside.
xmlNsPtr BoundHere(xmlNodePtr element, const xmlChar* prefix, const xmlNs* ignore) {
  for (xmlNsPtr d = element->nsDef; d; d = d->next)
    if (xmlStrEqual(d->prefix, prefix)) return d;
  // The element's name and attributes may hold namespaces of the document's
  // own, declared by no element: they bind their prefixes all the same.
  auto binds = [&](xmlNsPtr ns) { return ns && ns != ignore && xmlStrEqual(ns->prefix, prefix); };
  if (binds(element->ns)) return element->ns;
  for (xmlAttrPtr a = element->properties; a; a = a->next)
    if (binds(a->ns)) return a->ns;
  return nullptr;
}

}  // namespace

xmlNsPtr BoundOn(xmlNodePtr element, const xmlChar* prefix, const xmlNs* ignore) {
  if (xmlNsPtr here = BoundHere(element, prefix, ignore)) return here;
  return xmlSearchNs(element->doc, element, prefix);
}

xmlNsPtr EnsureNamespace(xmlNodePtr element, const xmlChar* uri, const xmlChar* preferredPrefix,
                         const xmlNs* ignore) {
  // The preferred prefix wins where it binds that URI already, then any
  // prefix that does (attributes cannot use the default namespace).
  if (preferredPrefix) {
    xmlNsPtr ns = BoundOn(element, preferredPrefix, ignore);
    if (ns && xmlStrEqual(ns->href, uri)) return ns;
  }
  if (xmlNsPtr ns = xmlSearchNsByHref(element->doc, element, uri); ns && ns->prefix) {
    xmlNsPtr bound = BoundOn(element, ns->prefix, ignore);
    if (bound && xmlStrEqual(bound->href, uri)) return bound;
  }
  auto taken = [&](const std::string& prefix) { return BoundOn(element, Xml(prefix), ignore) != nullptr; };
  std::string base = preferredPrefix ? reinterpret_cast<const char*>(preferredPrefix) : "ns";
  std::string prefix = base;
  for (int i = 1; taken(prefix); ++i) prefix = base + std::to_string(i);
  return xmlNewNs(element, uri, Xml(prefix));
}

xmlNsPtr AttributeNamespace(xmlNodePtr element, xmlNsPtr ns) {
  auto own = [&](const xmlChar* prefix) {
    xmlNsPtr kept = DocumentNamespace(element->doc, ns->href, prefix);
    if (!kept) throw std::bad_alloc();
    return kept;
  };
  if (ns->prefix) {
    xmlNsPtr bound = BoundOn(element, ns->prefix, ns);
    if (bound && xmlStrEqual(bound->href, ns->href)) return bound;
    // Free on the element itself (an ancestor may bind it otherwise): the
    // name stays, and what is written declares the prefix again there.
    if (!bound || !BoundHere(element, ns->prefix, ns)) return own(ns->prefix);
  }
  // Taken on the element: a prefix that stands for the URI there already,
  // else a free variant of the name's own, of the document's (no
  // declaration joins the element's attributes; what is written declares it).
  if (xmlNsPtr inScope = xmlSearchNsByHref(element->doc, element, ns->href); inScope && inScope->prefix) {
    xmlNsPtr bound = BoundOn(element, inScope->prefix, ns);
    if (bound && xmlStrEqual(bound->href, ns->href)) return bound;
  }
  const std::string base = ns->prefix ? reinterpret_cast<const char*>(ns->prefix) : "ns";
  std::string prefix = base;
  for (int i = 1; BoundOn(element, Xml(prefix), ns); ++i) prefix = base + std::to_string(i);
  return own(Xml(prefix));
}

void KeepWithDocument(xmlDocPtr doc, xmlNsPtr ns) { TreeHolder::Of(reinterpret_cast<xmlNodePtr>(doc))->Keep(ns); }

xmlNsPtr DocumentNamespace(xmlDocPtr doc, const xmlChar* uri, const xmlChar* prefix) {
  // The xml prefix is predeclared: libxml2 keeps its one binding.
  if (xmlStrEqual(prefix, Xml("xml"))) return xmlSearchNs(doc, reinterpret_cast<xmlNodePtr>(doc), prefix);
  TreeHolder* tree = TreeHolder::Of(reinterpret_cast<xmlNodePtr>(doc));
  if (xmlNsPtr kept = tree->KeptNamespace(uri, prefix)) return kept;
  xmlNsPtr ns = xmlNewNs(nullptr, uri, prefix);
  if (ns) tree->Keep(ns);
  return ns;
}

}  // namespace ardo::engine
