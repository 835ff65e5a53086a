// Named node maps: the attributes of an element (namespace declarations
// first, as xmlns attributes, then the attributes in document order), and
// the entities or notations of a document type (read-only).
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include <libxml/tree.h>

#include "engine/dom/node_object.h"

namespace ardo::engine {

// An element has one attribute map, kept with its node object: handing it
// out again costs no allocation. While referenced, the map holds a
// reference on the element; when the last reference goes it lets go of the
// element and waits, unreferenced, to be handed out again (its position
// back at the start) or to be deleted with the element's object.
class AttributeMap final : public ComObject<AttributeMap, IXMLDOMNamedNodeMap> {
 public:
  // The element's map with one reference for the caller; called under the
  // element's document lock.
  static AttributeMap* HandOut(NodeObject* element);

  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT getNamedItem(BSTR name, IXMLDOMNode** item) override;
  HRESULT setNamedItem(IXMLDOMNode* newItem, IXMLDOMNode** item) override;
  HRESULT removeNamedItem(BSTR name, IXMLDOMNode** item) override;
  HRESULT get_item(long index, IXMLDOMNode** item) override;
  HRESULT get_length(long* length) override;
  HRESULT getQualifiedItem(BSTR baseName, BSTR namespaceURI, IXMLDOMNode** item) override;
  HRESULT removeQualifiedItem(BSTR baseName, BSTR namespaceURI, IXMLDOMNode** item) override;
  HRESULT nextNode(IXMLDOMNode** item) override;
  HRESULT reset() override;
  HRESULT get__newEnum(IUnknown** out) override;

 private:
  explicit AttributeMap(NodeObject* element);
  HRESULT ItemAt(long index, IXMLDOMNode** item);
  // The element's declarations then attributes, listed once per change of
  // its document, so that a walk by index costs linear time.
  struct Entry {
    xmlNsPtr ns;
    xmlAttrPtr attr;
  };
  const std::vector<Entry>& Entries();

  NodeObject* element_;
  std::atomic<ULONG> uses_{0};
  long position_ = 0;
  std::vector<Entry> entries_;
  uint64_t entriesStamp_ = 0;  // 0: not listed yet (stamps start above it)
};

class DeclarationMap final : public ComObject<DeclarationMap, IXMLDOMNamedNodeMap> {
 public:
  // A document type's entities or notations, or the pseudo-attributes of
  // the XML declaration (version, encoding, standalone).
  enum class Kind { Entities, Notations, XmlDeclaration };
  DeclarationMap(NodeObject* owner, Kind kind);

  HRESULT getNamedItem(BSTR name, IXMLDOMNode** item) override;
  HRESULT setNamedItem(IXMLDOMNode* newItem, IXMLDOMNode** item) override;
  HRESULT removeNamedItem(BSTR name, IXMLDOMNode** item) override;
  HRESULT get_item(long index, IXMLDOMNode** item) override;
  HRESULT get_length(long* length) override;
  HRESULT getQualifiedItem(BSTR baseName, BSTR namespaceURI, IXMLDOMNode** item) override;
  HRESULT removeQualifiedItem(BSTR baseName, BSTR namespaceURI, IXMLDOMNode** item) override;
  HRESULT nextNode(IXMLDOMNode** item) override;
  HRESULT reset() override;
  HRESULT get__newEnum(IUnknown** out) override;

 private:
  // Listed once per change of the document, so that a walk by index
  // costs linear time.
  const std::vector<xmlNodePtr>& Items();

  ComPtr<IXMLDOMNode> hold_;
  NodeObject* doctype_;
  Kind kind_;
  long position_ = 0;
  std::vector<xmlNodePtr> items_;
  uint64_t itemsStamp_ = 0;  // 0: not listed yet
};

// Attribute operations shared by the element and its attribute map.
namespace attributes {

// The attribute (or namespace declaration) named qname, or S_FALSE and null.
HRESULT Get(xmlNodePtr element, std::string_view qname, IXMLDOMNode** out);
// getAttribute: VT_BSTR value, or VT_NULL and S_FALSE.
HRESULT Value(xmlNodePtr element, std::string_view qname, VARIANT* out);
// setAttribute.
HRESULT Set(DomDocument& doc, xmlNodePtr element, std::string_view qname, std::string_view value);
// removeAttribute / removeNamedItem; the removed node goes to *out when given.
HRESULT Remove(DomDocument& doc, xmlNodePtr element, xmlAttrPtr attr, IXMLDOMNode** out);
// removeAttribute / removeNamedItem of a namespace declaration; *out (when
// given) receives a copy of it as an attribute in no tree.
HRESULT RemoveDeclaration(DomDocument& doc, xmlNodePtr element, xmlNsPtr ns, IXMLDOMNode** out);
// setAttributeNode / setNamedItem: *replaced receives an attribute of the
// same name that attr displaced (null when none).
HRESULT SetNode(DomDocument& doc, xmlNodePtr element, NodeObject* attr, IXMLDOMNode** replaced);

}  // namespace attributes

}  // namespace ardo::engine
