#include "engine/dom/named_node_maps.h"

#include <algorithm>
#include <set>

#include <libxml/entities.h>
#include <libxml/hash.h>
#include <libxml/valid.h>

#include "engine/common/bstr_text.h"
#include "engine/common/engine_errors.h"
#include "engine/dom/dom_document.h"
#include "engine/dom/item_enumerator.h"
#include "engine/dom/node_lists.h"
#include "engine/dom/node_navigation.h"
#include "engine/dom/node_serializer.h"
#include "engine/dom/text_content.h"
#include "engine/dom/tree_edit.h"

namespace ardo::engine {
namespace attributes {

HRESULT Get(xmlNodePtr element, std::string_view qname, IXMLDOMNode** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (xmlNsPtr ns = FindNamespaceDeclaration(element, qname)) {
    NodeObject* o = MaterializeNamespace(ns, element);
    if (!o) return S_FALSE;
    *out = o->Interface();
    return S_OK;
  }
  return ReturnNode(reinterpret_cast<xmlNodePtr>(FindAttribute(element, qname)), out);
}

HRESULT Value(xmlNodePtr element, std::string_view qname, VARIANT* out) {
  if (!out) return E_INVALIDARG;
  VariantInit(out);
  if (xmlNsPtr ns = FindNamespaceDeclaration(element, qname)) return ReturnBstrVariant(View(ns->href), out);
  xmlAttrPtr attr = FindAttribute(element, qname);
  if (!attr) {
    out->vt = VT_NULL;
    return S_FALSE;
  }
  return ReturnBstrVariant(AttributeValue(attr), out);
}

namespace {

// Whether a name at or below element (an entity's content included) is
// bound by the declaration ns.
bool UsesNamespace(xmlNodePtr element, const xmlNs* ns) {
  std::vector<xmlNodePtr> pending{element};
  while (!pending.empty()) {
    xmlNodePtr n = pending.back();
    pending.pop_back();
    for (; n; n = n->next) {
      if (n->type == XML_ELEMENT_NODE) {
        if (n->ns == ns) return true;
        for (xmlAttrPtr a = n->properties; a; a = a->next)
          if (a->ns == ns) return true;
      }
      if (n->type == XML_ENTITY_REF_NODE) {
        if (n->children && n->children->children) pending.push_back(n->children->children);
      } else if (n->children && (n->type == XML_ELEMENT_NODE)) {
        pending.push_back(n->children);
      }
      if (n == element) break;  // the element's own siblings are not below it
    }
  }
  return false;
}

// Whether a declaration of prefix on element would bind the element's own
// name, or one of its attributes' names, to uri while it is in another
// namespace. (Names below keep their namespaces: the text written declares
// theirs again where it differs. An unprefixed attribute is in no
// namespace whatever the default namespace.)
bool MovesOwnName(xmlNodePtr element, const std::string& prefix, std::string_view uri) {
  auto moves = [&](const xmlNs* ns, const xmlChar* name, bool isElement) {
    std::string_view used;
    if (ns && ns->prefix) {
      used = View(ns->prefix);
    } else if (!ns) {
      // A name made with a prefix bound to nothing keeps it in its text.
      std::string_view text = View(name);
      if (size_t colon = text.find(':'); colon != std::string_view::npos) used = text.substr(0, colon);
    }
    if (used != prefix || (used.empty() && !isElement)) return false;
    return (ns ? View(ns->href) : std::string_view()) != uri;
  };
  if (moves(element->ns, element->name, true)) return true;
  for (xmlAttrPtr a = element->properties; a; a = a->next)
    if (moves(a->ns, a->name, false)) return true;
  return false;
}

// setAttribute("xmlns:p", uri) declares p; a declaration that is there
// already changes only while no name uses it.
HRESULT SetDeclaration(xmlNodePtr element, std::string_view qname, std::string_view value) {
  std::string prefix = qname == "xmlns" ? std::string() : std::string(qname.substr(6));
  // xml is bound to its namespace already; the other reserved bindings are
  // refused.
  if (prefix == "xml" && value == reinterpret_cast<const char*>(XML_XML_NAMESPACE)) return S_OK;
  if (HRESULT hr = CheckReservedBinding(prefix, value); FAILED(hr)) return hr;
  if (!prefix.empty() && value.empty())
    return FailWith(kInvalidTreeChange, "The prefix \"" + prefix + "\" cannot be declared for no namespace.");
  xmlNsPtr existing = FindNamespaceDeclaration(element, qname);
  if (existing && View(existing->href) == value) return S_OK;
  if (existing && UsesNamespace(element, existing))
    return FailWith(kInvalidTreeChange, "\"" + std::string(qname) + "\" is declared as \"" +
                                            std::string(View(existing->href)) +
                                            "\" here already and names use it, so it does not change.");
  // Nor may it, new or changed, give the element's names another meaning:
  // they are in their namespaces whatever a declaration says, and the
  // text written would put them elsewhere.
  if (MovesOwnName(element, prefix, value)) {
    if (prefix.empty() && !element->ns)
      return FailWith(kInvalidTreeChange, "The default namespace \"" + std::string(value) +
                                              "\" would put the element, which is in no namespace, into it.");
    return FailWith(kInvalidTreeChange, "The declaration of \"" + std::string(qname) +
                                            "\" would change the namespace of a name the element uses.");
  }
  if (existing) {
    xmlChar* href = xmlStrdup(Xml(std::string(value)));
    if (!href) throw std::bad_alloc();
    xmlFree(const_cast<xmlChar*>(existing->href));
    existing->href = href;
    return S_OK;
  }
  xmlNsPtr ns = xmlNewNs(element, Xml(std::string(value)), prefix.empty() ? nullptr : Xml(prefix));
  if (!ns) throw std::bad_alloc();  // the prefix was checked free above
  return S_OK;
}

}  // namespace

HRESULT Set(DomDocument& doc, xmlNodePtr element, std::string_view qname, std::string_view value) {
  if (IsReadOnly(element)) return RefuseReadOnly();
  if (qname.empty() || xmlValidateQName(Xml(std::string(qname)), 0) != 0)
    return FailWith(E_INVALIDARG, "\"" + std::string(qname) + "\" is not a valid attribute name.");
  TreeEdit edit(doc);  // a new declaration changes what queries see too
  if (IsDeclarationName(qname)) return SetDeclaration(element, qname, value);
  if (xmlAttrPtr attr = FindAttribute(element, qname)) {
    edit.SetAttributeValue(attr, value);
    return S_OK;
  }
  std::string_view prefix, local;
  SplitQName(qname, &prefix, &local);
  xmlNsPtr ns = prefix.empty() ? nullptr : BoundOn(element, Xml(std::string(prefix)));
  xmlAttrPtr attr = ns ? xmlNewNsProp(element, ns, Xml(std::string(local)), nullptr)
                       : xmlNewNsProp(element, nullptr, Xml(std::string(qname)), nullptr);
  if (!attr) throw std::bad_alloc();
  edit.SetAttributeValue(attr, value);
  return S_OK;
}

namespace {

// The value the document type gives the attribute by default, if any.
const xmlChar* DeclaredDefault(xmlNodePtr element, const xmlChar* name, const xmlChar* prefix) {
  std::string elementName = QualifiedName(element);
  for (xmlDtdPtr dtd : {element->doc->intSubset, element->doc->extSubset}) {
    if (!dtd) continue;
    xmlAttributePtr decl = xmlGetDtdQAttrDesc(dtd, Xml(elementName), name, prefix);
    if (decl && decl->defaultValue) return decl->defaultValue;
  }
  return nullptr;
}

}  // namespace

namespace {

// The names that use ns, a declaration leaving element, turn to the
// document's own namespace of the same prefix and URI, and ns is freed.
// Such names stand below element only (a subtree that leaves its ancestors
// takes their namespaces' document copies with it; a copy or an adoption
// declares anew), and in entity content, which libxml2 parses in the scope
// of the first reference to it. Without the document's copy (no memory),
// ns stays with the document instead.
void RetireDeclaration(xmlNodePtr element, xmlNsPtr ns) {
  xmlDocPtr doc = element->doc;
  xmlNsPtr kept = nullptr;
  bool unmoved = false;  // a name still on ns (no memory for the copy)
  auto retarget = [&](xmlNsPtr* slot) {
    if (*slot != ns) return;
    if (!kept && !unmoved) kept = DocumentNamespace(doc, ns->href, ns->prefix);
    unmoved = !kept;
    if (kept) *slot = kept;
  };
  auto retargetWithin = [&](xmlNodePtr root) {
    for (xmlNodePtr n = root; n; n = NextWithin(n, root)) {
      if (n->type != XML_ELEMENT_NODE) continue;
      retarget(&n->ns);
      for (xmlAttrPtr a = n->properties; a; a = a->next) retarget(&a->ns);
    }
  };
  retargetWithin(element);
  for (xmlDtdPtr dtd : {doc->intSubset, doc->extSubset})
    if (dtd && dtd->entities)
      xmlHashScan(
          static_cast<xmlHashTablePtr>(dtd->entities),
          [](void* entity, void* within, const xmlChar*) {
            (*static_cast<decltype(retargetWithin)*>(within))(static_cast<xmlNodePtr>(entity));
          },
          &retargetWithin);
  if (unmoved) return KeepWithDocument(doc, ns);
  xmlFreeNs(ns);
}

}  // namespace

// An attribute the document type gives a default comes back at once with
// that value, as one the document did not specify.
// The names that used the declaration keep their namespace, now one kept by
// the document; serialisations declare it where needed.
// A declaration whose attribute node the host holds stays (that node
// stands on it).
HRESULT RemoveDeclaration(DomDocument& doc, xmlNodePtr element, xmlNsPtr ns, IXMLDOMNode** out) {
  if (IsReadOnly(element)) return RefuseReadOnly();
  auto* held = static_cast<NodeObject*>(ns->_private);
  if (held && held->IsCached()) held = nullptr;
  ComPtr<IXMLDOMNode> removed;
  if (held || out) {
    // What is removed is an attribute in no tree with the same name and
    // value: the node the host holds becomes it, or the caller gets a new one.
    xmlAttrPtr copy = xmlNewDocProp(element->doc, Xml(DeclarationName(ns)), ns->href);
    if (!copy) throw std::bad_alloc();
    TreeEdit edit(doc);
    edit.AdoptNew(reinterpret_cast<xmlNodePtr>(copy));
    if (held) {
      held->BecomeAttribute(reinterpret_cast<xmlNodePtr>(copy));
      if (out) removed = ComPtr<IXMLDOMNode>(held->Interface());
    } else {
      HRESULT hr = ReturnNode(reinterpret_cast<xmlNodePtr>(copy), removed.Out());
      if (FAILED(hr)) return hr;
    }
  }
  {
    TreeEdit edit(doc);
    if (!held) TreeHolder::DeleteCached(ns->_private);
    ns->_private = nullptr;
    for (xmlNsPtr* link = &element->nsDef; *link; link = &(*link)->next) {
      if (*link == ns) {
        *link = ns->next;
        break;
      }
    }
    ns->next = nullptr;
    RetireDeclaration(element, ns);
  }
  if (out) *out = removed.Detach();
  return S_OK;
}

HRESULT Remove(DomDocument& doc, xmlNodePtr element, xmlAttrPtr attr, IXMLDOMNode** out) {
  if (IsReadOnly(element)) return RefuseReadOnly();
  ComPtr<IXMLDOMNode> removed;
  if (out) {
    HRESULT hr = ReturnNode(reinterpret_cast<xmlNodePtr>(attr), removed.Out());
    if (FAILED(hr)) return hr;
  }
  {
    TreeEdit edit(doc);
    std::string name(View(attr->name));
    xmlNsPtr ns = attr->ns;
    const xmlChar* fallback = DeclaredDefault(element, attr->name, ns ? ns->prefix : nullptr);
    std::string value = fallback ? std::string(View(fallback)) : std::string();
    edit.Detach(reinterpret_cast<xmlNodePtr>(attr));
    if (fallback) {
      xmlNsPtr scoped = ns ? BoundOn(element, ns->prefix) : nullptr;
      if (!ns || scoped) {
        xmlAttrPtr restored = xmlNewNsProp(element, scoped, Xml(name), nullptr);
        if (!restored) throw std::bad_alloc();
        edit.SetAttributeValue(restored, value);
        MarkDefaulted(restored);
      }
    }
  }
  if (out) *out = removed.Detach();
  return S_OK;
}

constexpr char kInUseElsewhere[] = "The attribute belongs to another element; remove it there or clone it first.";

HRESULT SetNode(DomDocument& doc, xmlNodePtr element, NodeObject* attrObject, IXMLDOMNode** replaced) {
  if (replaced) *replaced = nullptr;
  if (!attrObject) return E_INVALIDARG;
  // A declaration is an attribute on its element: set there again it stays,
  // elsewhere it is refused as any attribute in use.
  if (attrObject->IsNamespaceDeclaration()) {
    if (attrObject->DeclaringElement() == element) return S_OK;
    return FailWith(kInvalidTreeChange, kInUseElsewhere);
  }
  xmlNodePtr node = attrObject->Node();
  if (node->type != XML_ATTRIBUTE_NODE) return FailWith(E_INVALIDARG, "Only an attribute can be set on an element.");
  if (IsReadOnly(element)) return RefuseReadOnly();
  // A pseudo-attribute of the XML declaration stays there.
  if (IsReadOnly(node)) return FailWith(kInvalidTreeChange, "The attribute is read-only and cannot be set on an element.");
  if (node->parent == element) return S_OK;
  // An attribute belongs to one element at a time.
  if (node->parent) return FailWith(kInvalidTreeChange, kInUseElsewhere);
  if (HRESULT hr = CheckSameThreading(doc, *attrObject); FAILED(hr)) return hr;
  auto* attr = reinterpret_cast<xmlAttrPtr>(node);
  // An attribute named xmlns or xmlns:p is a namespace declaration: it
  // declares on the element as setAttribute would.
  const std::string qname = QualifiedName(node);
  if (IsDeclarationName(qname)) {
    HRESULT hr = Set(doc, element, qname, AttributeValue(attr));
    xmlNsPtr declared = hr == S_OK ? FindNamespaceDeclaration(element, qname) : nullptr;
    if (!declared) return hr;
    // The node given is the declaration from now on, as any attribute set
    // is the attribute in the tree; one of another document comes over
    // first, as such an attribute would.
    if (attrObject->Tree() != TreeHolder::Of(element)) {
      TreeEdit edit(doc);
      edit.Attach(node, element, nullptr);
      edit.Detach(node);
    }
    attrObject->BecomeDeclaration(declared, element);
    return hr;
  }
  xmlAttrPtr old = attr->ns ? FindAttributeNs(element, View(attr->name), View(attr->ns->href))
                            : FindAttribute(element, QualifiedName(node));
  ComPtr<IXMLDOMNode> oldObject;
  if (old && replaced) {
    HRESULT hr = ReturnNode(reinterpret_cast<xmlNodePtr>(old), oldObject.Out());
    if (FAILED(hr)) return hr;
  }
  {
    TreeEdit edit(doc);
    xmlAttrPtr before = old ? old->next : nullptr;
    // The replacement takes the old attribute's place among declarations too.
    const std::vector<xmlNsPtr> following = old ? DeclarationsFollowing(element, old) : std::vector<xmlNsPtr>();
    if (old) edit.Detach(reinterpret_cast<xmlNodePtr>(old));
    edit.Attach(node, element, reinterpret_cast<xmlNodePtr>(before));
    for (xmlNsPtr ns : following) PlaceDeclarationAfter(ns, attr);
  }
  if (replaced) *replaced = oldObject.Detach();
  return S_OK;
}

}  // namespace attributes

// --- AttributeMap --------------------------------------------------------------

AttributeMap::AttributeMap(NodeObject* element) : element_(element) {}

AttributeMap* AttributeMap::HandOut(NodeObject* element) {
  AttributeMap*& map = element->Extras().attributeMap;
  if (!map) map = new AttributeMap(element);
  ULONG before;
  if (!element->DocMutex()) {
    before = map->uses_.load(std::memory_order_relaxed);
    map->uses_.store(before + 1, std::memory_order_relaxed);
  } else {
    before = map->uses_.fetch_add(1, std::memory_order_acq_rel);
  }
  if (before == 0) {
    // Handed out afresh: it starts at the first attribute and holds the element.
    map->position_ = 0;
    element->AddRefObject();
  }
  return map;
}

ULONG AttributeMap::AddRef() {
  // Only a holder of a reference adds one: the count is above zero.
  if (!element_->DocMutex()) {
    ULONG n = uses_.load(std::memory_order_relaxed) + 1;
    uses_.store(n, std::memory_order_relaxed);
    return n;
  }
  return uses_.fetch_add(1, std::memory_order_relaxed) + 1;
}

ULONG AttributeMap::Release() {
  NodeObject* element = element_;
  ULONG left;
  if (!element->DocMutex()) {
    left = uses_.load(std::memory_order_relaxed) - 1;
    uses_.store(left, std::memory_order_relaxed);
  } else {
    left = uses_.fetch_sub(1, std::memory_order_acq_rel) - 1;
  }
  // The element's release may delete its object and this map with it.
  if (left == 0) element->Interface()->Release();
  return left;
}

const std::vector<AttributeMap::Entry>& AttributeMap::Entries() {
  const uint64_t stamp = element_->Document().Stamp();
  if (entriesStamp_ == stamp && entriesStamp_ != 0) return entries_;
  entries_.clear();
  ForEachDeclarationAndAttribute(element_->Node(), [&](xmlNsPtr ns, xmlAttrPtr a) { entries_.push_back({ns, a}); });
  entriesStamp_ = stamp;
  return entries_;
}

HRESULT AttributeMap::ItemAt(long index, IXMLDOMNode** item) {
  if (!item) return E_INVALIDARG;
  *item = nullptr;
  const std::vector<Entry>& entries = Entries();
  if (index < 0 || static_cast<size_t>(index) >= entries.size()) return S_FALSE;
  const Entry& entry = entries[static_cast<size_t>(index)];
  if (entry.attr) return ReturnNode(reinterpret_cast<xmlNodePtr>(entry.attr), item);
  NodeObject* o = MaterializeNamespace(entry.ns, element_->Node());
  if (!o) return S_FALSE;
  *item = o->Interface();
  return S_OK;
}

HRESULT AttributeMap::getNamedItem(BSTR name, IXMLDOMNode** item) {
  return element_->Call([&] {
    Utf8Name qname(name);
    return attributes::Get(element_->Node(), qname.View(), item);
  });
}

HRESULT AttributeMap::setNamedItem(IXMLDOMNode* newItem, IXMLDOMNode** item) {
  return element_->Call2(newItem, [&] {
    if (item) *item = nullptr;
    NodeObject* attr = NodeObject::From(newItem);
    HRESULT hr = attributes::SetNode(element_->Document(), element_->Node(), attr, nullptr);
    if (FAILED(hr) || !item) return hr;
    *item = attr->Interface();
    (*item)->AddRef();
    return S_OK;
  });
}

HRESULT AttributeMap::removeNamedItem(BSTR name, IXMLDOMNode** item) {
  return element_->Call([&] {
    if (item) *item = nullptr;
    std::string qname = Utf8Of(name);
    if (xmlNsPtr ns = FindNamespaceDeclaration(element_->Node(), qname))
      return attributes::RemoveDeclaration(element_->Document(), element_->Node(), ns, item);
    xmlAttrPtr attr = FindAttribute(element_->Node(), qname);
    if (!attr) return S_FALSE;
    return attributes::Remove(element_->Document(), element_->Node(), attr, item);
  });
}

HRESULT AttributeMap::get_item(long index, IXMLDOMNode** item) {
  return element_->Call([&] { return ItemAt(index, item); });
}

HRESULT AttributeMap::get_length(long* length) {
  return element_->Call([&] {
    if (!length) return E_INVALIDARG;
    *length = static_cast<long>(Entries().size());
    return S_OK;
  });
}

HRESULT AttributeMap::getQualifiedItem(BSTR baseName, BSTR namespaceURI, IXMLDOMNode** item) {
  return element_->Call([&] {
    if (!item) return E_INVALIDARG;
    *item = nullptr;
    std::string local = Utf8Of(baseName), uri = Utf8Of(namespaceURI);
    xmlNodePtr e = element_->Node();
    if (uri == kXmlnsNamespace) {
      std::string qname = local == "xmlns" ? local : "xmlns:" + local;
      return attributes::Get(e, qname, item);
    }
    return ReturnNode(reinterpret_cast<xmlNodePtr>(FindAttributeNs(e, local, uri)), item);
  });
}

HRESULT AttributeMap::removeQualifiedItem(BSTR baseName, BSTR namespaceURI, IXMLDOMNode** item) {
  return element_->Call([&] {
    if (item) *item = nullptr;
    std::string local = Utf8Of(baseName), uri = Utf8Of(namespaceURI);
    if (uri == kXmlnsNamespace) {
      xmlNsPtr ns = FindNamespaceDeclaration(element_->Node(), local == "xmlns" ? local : "xmlns:" + local);
      if (!ns) return S_FALSE;
      return attributes::RemoveDeclaration(element_->Document(), element_->Node(), ns, item);
    }
    xmlAttrPtr attr = FindAttributeNs(element_->Node(), local, uri);
    if (!attr) return S_FALSE;
    return attributes::Remove(element_->Document(), element_->Node(), attr, item);
  });
}

HRESULT AttributeMap::nextNode(IXMLDOMNode** item) {
  return element_->Call([&] {
    HRESULT hr = ItemAt(position_, item);
    if (hr == S_OK) ++position_;
    return hr;
  });
}

HRESULT AttributeMap::reset() {
  return element_->Call([&] {
    position_ = 0;
    return S_OK;
  });
}

HRESULT AttributeMap::get__newEnum(IUnknown** out) {
  return ItemEnumerator::HandOut(NodesOf(this), out);
}

// --- DeclarationMap --------------------------------------------------------------

DeclarationMap::DeclarationMap(NodeObject* doctype, Kind kind)
    : hold_(doctype->Interface()), doctype_(doctype), kind_(kind) {}

namespace {

void CollectNotationName(void* payload, void* data, const xmlChar* name) {
  static_cast<std::vector<std::string>*>(data)->emplace_back(reinterpret_cast<const char*>(name));
}

}  // namespace

const std::vector<xmlNodePtr>& DeclarationMap::Items() {
  const uint64_t stamp = doctype_->Document().Stamp();
  if (itemsStamp_ == stamp && itemsStamp_ != 0) return items_;
  itemsStamp_ = 0;
  std::vector<xmlNodePtr>& items = items_;
  items.clear();
  if (kind_ == Kind::XmlDeclaration) {
    std::string data(View(doctype_->Node()->content));
    std::string value;
    for (const char* name : {"version", "encoding", "standalone"})
      if (HasPseudoAttribute(data, name, &value)) items.push_back(doctype_->Tree()->DeclarationPart(Xml(name), value));
    itemsStamp_ = stamp;
    return items;
  }
  auto* dtd = reinterpret_cast<xmlDtdPtr>(doctype_->Node());
  xmlDocPtr doc = dtd->doc;
  std::vector<xmlDtdPtr> subsets{dtd};
  if (doc && doc->extSubset && doc->extSubset != dtd) subsets.push_back(doc->extSubset);
  // A name declared in both subsets is the internal subset's (the first
  // declaration binds): one node a name.
  std::set<std::string> seen;
  auto add = [&](xmlNodePtr node) {
    if (seen.insert(std::string(View(node->name))).second) items.push_back(node);
  };
  for (xmlDtdPtr d : subsets) {
    if (kind_ == Kind::Entities) {
      // General entities only: parameter entities serve the DTD itself.
      for (xmlNodePtr c = d->children; c; c = c->next) {
        if (c->type != XML_ENTITY_DECL) continue;
        auto etype = reinterpret_cast<xmlEntityPtr>(c)->etype;
        if (etype != XML_INTERNAL_PARAMETER_ENTITY && etype != XML_EXTERNAL_PARAMETER_ENTITY) add(c);
      }
    } else if (d->notations) {
      std::vector<std::string> names;
      xmlHashScan(static_cast<xmlHashTablePtr>(d->notations), CollectNotationName, &names);
      std::sort(names.begin(), names.end());
      for (const auto& n : names)
        if (xmlNodePtr node = doctype_->Tree()->NotationNode(d, Xml(n))) add(node);
    }
  }
  itemsStamp_ = stamp;
  return items;
}

namespace {

// The entities, notations and pseudo-attributes of the XML declaration
// change only with the text they were read from. (Refused without the
// document's call wrapper: the reason is concluded here.)
HRESULT RefuseDeclarationChange() {
  return ConcludeFailure(FailWith(kInvalidTreeChange, "The map is read-only: its items come from the declarations."));
}

}  // namespace

HRESULT DeclarationMap::getNamedItem(BSTR name, IXMLDOMNode** item) {
  return doctype_->Call([&] {
    if (!item) return E_INVALIDARG;
    *item = nullptr;
    std::string n = Utf8Of(name);
    for (xmlNodePtr c : Items())
      if (View(c->name) == n) return ReturnNode(c, item);
    return S_FALSE;
  });
}

HRESULT DeclarationMap::setNamedItem(IXMLDOMNode*, IXMLDOMNode** item) {
  if (item) *item = nullptr;
  return RefuseDeclarationChange();
}

HRESULT DeclarationMap::removeNamedItem(BSTR, IXMLDOMNode** item) {
  if (item) *item = nullptr;
  return RefuseDeclarationChange();
}

HRESULT DeclarationMap::get_item(long index, IXMLDOMNode** item) {
  return doctype_->Call([&] {
    if (!item) return E_INVALIDARG;
    *item = nullptr;
    const std::vector<xmlNodePtr>& items = Items();
    if (index < 0 || index >= static_cast<long>(items.size())) return S_FALSE;
    return ReturnNode(items[index], item);
  });
}

HRESULT DeclarationMap::get_length(long* length) {
  return doctype_->Call([&] {
    if (!length) return E_INVALIDARG;
    *length = static_cast<long>(Items().size());
    return S_OK;
  });
}

HRESULT DeclarationMap::getQualifiedItem(BSTR baseName, BSTR namespaceURI, IXMLDOMNode** item) {
  // Declarations have no namespace: only the empty URI finds them.
  if (SysStringLen(namespaceURI) != 0) {
    if (!item) return E_INVALIDARG;
    *item = nullptr;
    return S_FALSE;
  }
  return getNamedItem(baseName, item);
}

HRESULT DeclarationMap::removeQualifiedItem(BSTR, BSTR, IXMLDOMNode** item) {
  if (item) *item = nullptr;
  return RefuseDeclarationChange();
}

HRESULT DeclarationMap::nextNode(IXMLDOMNode** item) {
  return doctype_->Call([&] {
    HRESULT hr = get_item(position_, item);
    if (hr == S_OK) ++position_;
    return hr;
  });
}

HRESULT DeclarationMap::reset() {
  position_ = 0;
  return S_OK;
}

HRESULT DeclarationMap::get__newEnum(IUnknown** out) {
  return ItemEnumerator::HandOut(NodesOf(this), out);
}

}  // namespace ardo::engine
