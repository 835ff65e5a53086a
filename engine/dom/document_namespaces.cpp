#include "engine/dom/document_namespaces.h"

#include <unordered_set>

#include "engine/common/bstr_text.h"
#include "engine/common/last_error.h"

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
  if (!out) return E_INVALIDARG;
  *out = static_cast<IEnumVARIANT*>(MakeObject<NamespaceEnumerator>(uris_, 0).Detach());
  return S_OK;
}

HRESULT NamespaceEnumerator::Next(ULONG celt, VARIANT* rgVar, ULONG* fetched) {
  if (!rgVar || (celt > 1 && !fetched)) return E_INVALIDARG;
  ULONG got = 0;
  for (; got < celt && position_ < uris_->size(); ++got, ++position_) {
    HRESULT hr = ReturnBstrVariant((*uris_)[position_], &rgVar[got]);
    if (FAILED(hr)) {
      for (ULONG i = 0; i < got; ++i) VariantClear(&rgVar[i]);
      position_ -= got;
      if (fetched) *fetched = 0;
      return hr;
    }
  }
  if (fetched) *fetched = got;
  return got == celt ? S_OK : S_FALSE;
}

HRESULT NamespaceEnumerator::Skip(ULONG celt) {
  size_t left = uris_->size() - position_;
  position_ += std::min<size_t>(celt, left);
  return celt <= left ? S_OK : S_FALSE;
}

HRESULT NamespaceEnumerator::Reset() {
  position_ = 0;
  return S_OK;
}

HRESULT NamespaceEnumerator::Clone(IEnumVARIANT** copy) {
  if (!copy) return E_INVALIDARG;
  *copy = MakeObject<NamespaceEnumerator>(uris_, position_).Detach();
  return S_OK;
}

}  // namespace ardo::engine
