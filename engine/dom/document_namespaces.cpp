#include "engine/dom/document_namespaces.h"

#include <unordered_set>

#include "engine/common/bstr_text.h"
#include "engine/common/last_error.h"
#include "engine/dom/item_enumerator.h"

namespace ardo::engine {
namespace {

constexpr char kReadOnly[] = "The namespace collection of a document is read-only.";

// Every namespace that an element declares or that an element or attribute
// is in, in document order.
NamespaceUris CollectUris(xmlDocPtr doc) {
  auto uris = std::make_shared<std::vector<std::string>>();
  std::unordered_set<std::string> seen;
  auto note = [&](const xmlNs* ns) {
    if (!ns || !ns->href || !ns->href[0] || xmlStrEqual(ns->href, XML_XML_NAMESPACE)) return;
    std::string uri(reinterpret_cast<const char*>(ns->href));
    if (seen.insert(uri).second) uris->push_back(std::move(uri));
  };
  std::vector<xmlNodePtr> stack;
  for (xmlNodePtr c = doc ? doc->last : nullptr; c; c = c->prev) stack.push_back(c);
  while (!stack.empty()) {
    xmlNodePtr n = stack.back();
    stack.pop_back();
    if (n->type != XML_ELEMENT_NODE) continue;
    for (const xmlNs* ns = n->nsDef; ns; ns = ns->next) note(ns);
    note(n->ns);
    for (xmlAttrPtr a = n->properties; a; a = a->next) note(a->ns);
    for (xmlNodePtr c = n->last; c; c = c->prev) stack.push_back(c);
  }
  return uris;
}

}  // namespace

DocumentNamespaces::DocumentNamespaces(xmlDocPtr doc) : uris_(CollectUris(doc)) {}

HRESULT DocumentNamespaces::add(BSTR, VARIANT) { return FailWith(E_ACCESSDENIED, kReadOnly); }
HRESULT DocumentNamespaces::remove(BSTR) { return FailWith(E_ACCESSDENIED, kReadOnly); }
HRESULT DocumentNamespaces::addCollection(IXMLDOMSchemaCollection*) {
  return FailWith(E_ACCESSDENIED, kReadOnly);
}

HRESULT DocumentNamespaces::get(BSTR, IXMLDOMNode** schemaNode) {
  if (!schemaNode) return E_INVALIDARG;
  *schemaNode = nullptr;
  return S_FALSE;
}

HRESULT DocumentNamespaces::get_length(long* length) {
  if (!length) return E_INVALIDARG;
  *length = static_cast<long>(uris_->size());
  return S_OK;
}

HRESULT DocumentNamespaces::get_namespaceURI(long index, BSTR* uri) {
  if (!uri) return E_INVALIDARG;
  *uri = nullptr;
  if (index < 0 || static_cast<size_t>(index) >= uris_->size())
    return FailWith(E_INVALIDARG, "The index " + std::to_string(index) + " is outside the namespace collection.");
  return ReturnBstr((*uris_)[static_cast<size_t>(index)], uri);
}

HRESULT DocumentNamespaces::get__newEnum(IUnknown** out) {
  ItemSource items;  // the URIs are shared: no need to hold the collection
  NamespaceUris uris = uris_;
  items.item = [uris](long index, VARIANT* item) {
    if (index < 0 || static_cast<size_t>(index) >= uris->size()) return S_FALSE;
    return ReturnBstrVariant((*uris)[static_cast<size_t>(index)], item);
  };
  items.count = [uris](long* count) {
    *count = static_cast<long>(uris->size());
    return S_OK;
  };
  return ItemEnumerator::HandOut(std::move(items), out);
}

}  // namespace ardo::engine
