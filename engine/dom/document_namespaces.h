// The namespace collection of a document (IXMLDOMDocument2::get_namespaces):
// the namespace URIs that the document uses, in document order, each once.
// It is a snapshot taken when it is asked for, and read-only: no schemas
// stand behind a document's namespaces, so get answers "no schema" for
// each, and add, remove and addCollection are refused.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <libxml/tree.h>

#include "engine/include/xml_services.h"

namespace ardo::engine {

using NamespaceUris = std::shared_ptr<const std::vector<std::string>>;

class DocumentNamespaces final : public ComObject<DocumentNamespaces, IXMLDOMSchemaCollection> {
 public:
  explicit DocumentNamespaces(xmlDocPtr doc);

  HRESULT add(BSTR namespaceURI, VARIANT schema) override;
  HRESULT get(BSTR namespaceURI, IXMLDOMNode** schemaNode) override;
  HRESULT remove(BSTR namespaceURI) override;
  HRESULT get_length(long* length) override;
  HRESULT get_namespaceURI(long index, BSTR* uri) override;
  HRESULT addCollection(IXMLDOMSchemaCollection* other) override;
  HRESULT get__newEnum(IUnknown** out) override;

 private:
  NamespaceUris uris_;
};

}  // namespace ardo::engine
