// How the DOM sees a libxml2 tree: which nodes it exposes, their node types
// and names, and tree navigation that skips what it does not expose (DTD
// declarations, XInclude markers) and follows entity references into the
// entity's content.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include <libxml/tree.h>

#include "engine/include/xml_services.h"

namespace ardo::engine {

// The namespace URI of the data-type attribute (dt:dt) and of xmlns
// declarations seen as attributes.
inline constexpr const char* kDataTypesNamespace = "urn:schemas-microsoft-com:datatypes";
inline constexpr const char* kXmlnsNamespace = "http://www.w3.org/2000/xmlns/";

DOMNodeType DomTypeOf(const xmlNode* node);
// "element", "attribute", "text", ... as get_nodeTypeString answers.
const char* TypeString(DOMNodeType type);
// True for the node types that appear among children in the DOM.
inline bool IsExposedChild(const xmlNode* node) {
  constexpr unsigned kAlways = 1u << XML_ELEMENT_NODE | 1u << XML_TEXT_NODE |
                               1u << XML_CDATA_SECTION_NODE | 1u << XML_ENTITY_REF_NODE |
                               1u << XML_PI_NODE | 1u << XML_COMMENT_NODE;
  unsigned type = unsigned(node->type);
  if (type < 32 && (kAlways >> type & 1u)) return true;
  // The document type is a child of the document only.
  return type == XML_DTD_NODE && node->parent && node->parent->type == XML_DOCUMENT_NODE;
}

// The first exposed child from c on (c included).
inline xmlNodePtr FirstExposedFrom(xmlNodePtr c) {
  while (c && !IsExposedChild(c)) c = c->next;
  return c;
}

// Node kinds whose own children list holds their DOM children.
inline bool HoldsChildren(xmlElementType type) {
  constexpr unsigned kHolders = 1u << XML_ELEMENT_NODE | 1u << XML_DOCUMENT_NODE |
                                1u << XML_HTML_DOCUMENT_NODE | 1u << XML_DOCUMENT_FRAG_NODE |
                                1u << XML_ATTRIBUTE_NODE | 1u << XML_ENTITY_DECL;
  return unsigned(type) < 32 && (kHolders >> unsigned(type) & 1u);
}

// DomFirstChildSlow: an entity reference, whose children are its entity's.
xmlNodePtr DomFirstChildSlow(xmlNodePtr node) noexcept;
inline xmlNodePtr DomFirstChild(xmlNodePtr node) {
  if (!HoldsChildren(node->type))
    return node->type == XML_ENTITY_REF_NODE ? DomFirstChildSlow(node) : nullptr;
  return FirstExposedFrom(node->children);
}
xmlNodePtr DomLastChild(xmlNodePtr node);
inline xmlNodePtr DomNextSibling(xmlNodePtr node) {
  return IsExposedChild(node) ? FirstExposedFrom(node->next) : nullptr;
}
xmlNodePtr DomPreviousSibling(xmlNodePtr node);
xmlNodePtr DomParent(xmlNodePtr node);

// The element after `element` in document order within root's subtree
// (root included), descending into elements only; null after the last.
xmlNodePtr NextElementWithin(xmlNodePtr element, const xmlNode* root);

// Finds the element of a document's tree whose ID attribute (one the
// document type declares of type ID, or xml:id) has a value: the first in
// document order, or null. libxml2's table of IDs answers first, but lists
// only what the parse met; the rest is answered from an index of the tree
// made once per change of the document (stamp), so that a query asking
// for many IDs walks the tree once, not once an ID.
class IdIndex {
 public:
  xmlNodePtr Find(xmlDocPtr doc, uint64_t stamp, const std::string& value);

 private:
  xmlDocPtr doc_ = nullptr;
  uint64_t stamp_ = 0;
  std::unordered_map<std::string, xmlNodePtr> elements_;
};

// Attributes that the document type supplied by default rather than the
// document: marked at load, unmarked when their value is set.
void MarkDefaulted(xmlAttrPtr attr);
void MarkSpecified(xmlAttrPtr attr);
bool IsDefaulted(const xmlAttr* attr);
// Attributes that stand in for what is not a node of libxml2 (the XML
// declaration's pseudo-attributes): read-only.
void MarkReadOnlyStandIn(xmlAttrPtr attr);

// Namespace declarations that a start tag writes after attributes keep
// their place among them. libxml2 holds declarations apart from
// attributes; a declaration's `context` field, which libxml2 leaves to its
// users, names the attribute it follows (none: it goes before them all).
// Declarations made later go first.
void PlaceDeclarationAfter(xmlNsPtr ns, xmlAttrPtr attr);
// Before attr leaves element: what followed it follows the one before it.
void AttributeLeaving(xmlNodePtr element, xmlAttrPtr attr);
// The declarations of element that follow attr (to follow its replacement).
std::vector<xmlNsPtr> DeclarationsFollowing(const xmlNode* element, const xmlAttr* attr);
// Gives a copy's declarations the places the original's have; `to` was
// copied from `from` just now (the same elements, declarations and
// attributes in the same order).
void CopyDeclarationPlaces(const xmlNode* from, xmlNode* to);
// Each declaration of element with the attribute it follows (null: none),
// in the element's order of declarations; empty when none follows one.
std::vector<std::pair<xmlNsPtr, xmlAttrPtr>> DeclarationPlaces(const xmlNode* element);
// Calls f(ns, nullptr) for each declaration and f(nullptr, attr) for each
// attribute of element, in their order.
template <class F>
void ForEachDeclarationAndAttribute(const xmlNode* element, F f) {
  const std::vector<std::pair<xmlNsPtr, xmlAttrPtr>> places = DeclarationPlaces(element);
  if (places.empty()) {
    for (xmlNsPtr ns = element->nsDef; ns; ns = ns->next) f(ns, nullptr);
    for (xmlAttrPtr a = element->properties; a; a = a->next) f(nullptr, a);
    return;
  }
  // Declarations after an attribute come in the order of the attributes.
  std::unordered_map<const xmlAttr*, std::vector<xmlNsPtr>> after;
  for (const auto& [ns, a] : places)
    if (a) after[a].push_back(ns);
  for (const auto& [ns, a] : places)
    if (!a) f(ns, nullptr);
  for (xmlAttrPtr a = element->properties; a; a = a->next) {
    f(nullptr, a);
    auto it = after.find(a);
    if (it != after.end())
      for (xmlNsPtr ns : it->second) f(ns, nullptr);
  }
}

// libxml2 copies a tree recursively, a few stack frames per level. Parsing
// stops long before that matters (MaxElementDepth), but edits can nest
// deeper; such a tree is refused rather than copied.
inline constexpr long kMaxCopyDepth = 5000;
bool DeeperThan(const xmlNode* root, long levels);

// The node after n in document order within root's subtree, going down into
// root and into elements only (an entity reference's nodes are its
// entity's); null after the last. root is an element, a document or a
// document fragment, and n lies in its subtree.
xmlNodePtr NextWithin(xmlNodePtr n, const xmlNode* root);
// Throws EngineFailure (E_FAIL) when root is too deep to copy.
void CheckCopyDepth(const xmlNode* root);

// Inside an entity's content or a DTD: no change allowed.
bool IsReadOnly(xmlNodePtr node);
// True when ancestor is node or one of its ancestors (through attributes).
bool IsAncestorOrSelf(xmlNodePtr ancestor, xmlNodePtr node);

// prefix:name of an element or attribute; the plain name otherwise.
std::string QualifiedName(const xmlNode* node);
bool HasQualifiedName(const xmlNode* node, std::string_view qname);
// Splits "p:local" into its parts ("" prefix when there is none).
void SplitQName(std::string_view qname, std::string_view* prefix, std::string_view* local);

// The attribute of element with that qualified name, or null.
xmlAttrPtr FindAttribute(xmlNodePtr element, std::string_view qname);
// The attribute with that local name and namespace URI ("" for none).
xmlAttrPtr FindAttributeNs(xmlNodePtr element, std::string_view local, std::string_view uri);
// The namespace declaration that the attribute name "xmlns" or "xmlns:p"
// stands for on element, or null (also for any other name).
xmlNsPtr FindNamespaceDeclaration(xmlNodePtr element, std::string_view qname);
// Whether a qualified name is that of a namespace declaration (xmlns or xmlns:p).
inline bool IsDeclarationName(std::string_view qname) {
  return qname == "xmlns" || qname.substr(0, 6) == "xmlns:";
}
// "xmlns" or "xmlns:p" for a declaration.
std::string DeclarationName(const xmlNs* ns);

// The reserved bindings: the xml prefix belongs to its namespace and that
// namespace to it alone; xmlns and its namespace are for declarations only.
// S_OK, or E_FAIL with a reason for a binding that breaks them.
HRESULT CheckReservedBinding(std::string_view prefix, std::string_view uri);
// The namespace a prefix stands for on element: its own declaration, else
// the namespace its name or one of its attributes (other than ignore) uses
// under that prefix, else the declaration in scope; null when none.
xmlNsPtr BoundOn(xmlNodePtr element, const xmlChar* prefix, const xmlNs* ignore = nullptr);
// A namespace binding uri that element can use, declaring one on element
// when none is bound (with the preferred prefix, or a free variant of it).
// ignore: the namespace of the attribute being placed, not yet bound there.
xmlNsPtr EnsureNamespace(xmlNodePtr element, const xmlChar* uri, const xmlChar* preferredPrefix,
                         const xmlNs* ignore = nullptr);
// A namespace kept by the document itself, declared by no element (for
// created elements and attributes).
xmlNsPtr DocumentNamespace(xmlDocPtr doc, const xmlChar* uri, const xmlChar* prefix);
// Adds a namespace no element declares any longer to the document's own.
void KeepWithDocument(xmlDocPtr doc, xmlNsPtr ns);
// The namespace an attribute in ns takes on element: what ns's prefix
// stands for there (BoundOn) when that is ns's URI, the document's own when the
// element itself leaves the prefix free (the name stays as it is, and an
// ancestor's other binding is declared over where the element is written),
// and otherwise (the element's own name, attributes or declarations take
// the prefix) one that stands for the URI there, or the document's own
// under a free variant of the prefix: no declaration joins the element.
xmlNsPtr AttributeNamespace(xmlNodePtr element, xmlNsPtr ns);

// The entity an entity reference refers to, or null.
xmlEntityPtr ReferencedEntity(xmlNodePtr ref);

}  // namespace ardo::engine
