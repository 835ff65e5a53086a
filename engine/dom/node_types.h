// The node object classes, one per DOM node type. Each adds the members of
// its own interface to the shared node members of NodeImpl.
#pragma once

#include "engine/dom/node_object.h"

namespace ardo::engine {

class DomElement final : public NodeImpl<DomElement, IXMLDOMElement> {
 public:
  explicit DomElement(xmlNodePtr node) : NodeImpl(node) {}

  HRESULT get_tagName(BSTR* name) override;
  HRESULT getAttribute(BSTR name, VARIANT* value) override;
  HRESULT setAttribute(BSTR name, VARIANT value) override;
  HRESULT removeAttribute(BSTR name) override;
  HRESULT getAttributeNode(BSTR name, IXMLDOMAttribute** attr) override;
  HRESULT setAttributeNode(IXMLDOMAttribute* attr, IXMLDOMAttribute** replaced) override;
  HRESULT removeAttributeNode(IXMLDOMAttribute* attr, IXMLDOMAttribute** removed) override;
  HRESULT getElementsByTagName(BSTR name, IXMLDOMNodeList** list) override;
  HRESULT normalize() override;
};

// An attribute node, or a namespace declaration seen as an xmlns attribute.
class DomAttribute final : public NodeImpl<DomAttribute, IXMLDOMAttribute> {
 public:
  explicit DomAttribute(xmlNodePtr node) : NodeImpl(node) {}
  DomAttribute(xmlNsPtr ns, xmlNodePtr element) : NodeImpl(ns, element) {}

  HRESULT get_name(BSTR* name) override;
  HRESULT get_value(VARIANT* value) override;
  HRESULT put_value(VARIANT value) override;
};

// The character-data members, shared by text, CDATA and comment nodes.
// Offsets and counts are in UTF-16 code units.
template <class Impl, class Itf>
class CharacterDataImpl : public NodeImpl<Impl, Itf> {
 public:
  HRESULT get_data(BSTR* data) override;
  HRESULT put_data(BSTR data) override;
  HRESULT get_length(long* length) override;
  HRESULT substringData(long offset, long count, BSTR* data) override;
  HRESULT appendData(BSTR data) override;
  HRESULT insertData(long offset, BSTR data) override;
  HRESULT deleteData(long offset, long count) override;
  HRESULT replaceData(long offset, long count, BSTR data) override;

 protected:
  using NodeImpl<Impl, Itf>::NodeImpl;
};

class DomText final : public CharacterDataImpl<DomText, IXMLDOMText> {
 public:
  explicit DomText(xmlNodePtr node) : CharacterDataImpl(node) {}
  HRESULT splitText(long offset, IXMLDOMText** right) override;
};

class DomCDataSection final : public CharacterDataImpl<DomCDataSection, IXMLDOMCDATASection> {
 public:
  explicit DomCDataSection(xmlNodePtr node) : CharacterDataImpl(node) {}
  HRESULT splitText(long offset, IXMLDOMText** right) override;
};

class DomComment final : public CharacterDataImpl<DomComment, IXMLDOMComment> {
 public:
  explicit DomComment(xmlNodePtr node) : CharacterDataImpl(node) {}
};

class DomProcessingInstruction final
    : public NodeImpl<DomProcessingInstruction, IXMLDOMProcessingInstruction> {
 public:
  explicit DomProcessingInstruction(xmlNodePtr node) : NodeImpl(node) {}
  HRESULT get_target(BSTR* name) override;
  HRESULT get_data(BSTR* value) override;
  HRESULT put_data(BSTR value) override;
};

class DomDocumentType final : public NodeImpl<DomDocumentType, IXMLDOMDocumentType> {
 public:
  explicit DomDocumentType(xmlNodePtr node) : NodeImpl(node) {}
  HRESULT get_name(BSTR* name) override;
  HRESULT get_entities(IXMLDOMNamedNodeMap** map) override;
  HRESULT get_notations(IXMLDOMNamedNodeMap** map) override;
};

class DomDocumentFragment final : public NodeImpl<DomDocumentFragment, IXMLDOMDocumentFragment> {
 public:
  explicit DomDocumentFragment(xmlNodePtr node) : NodeImpl(node) {}
};

class DomEntity final : public NodeImpl<DomEntity, IXMLDOMEntity> {
 public:
  explicit DomEntity(xmlNodePtr node) : NodeImpl(node) {}
  HRESULT get_publicId(VARIANT* id) override;
  HRESULT get_systemId(VARIANT* id) override;
  HRESULT get_notationName(BSTR* name) override;
};

class DomEntityReference final : public NodeImpl<DomEntityReference, IXMLDOMEntityReference> {
 public:
  explicit DomEntityReference(xmlNodePtr node) : NodeImpl(node) {}
};

class DomNotation final : public NodeImpl<DomNotation, IXMLDOMNotation> {
 public:
  explicit DomNotation(xmlNodePtr node) : NodeImpl(node) {}
  HRESULT get_publicId(VARIANT* id) override;
  HRESULT get_systemId(VARIANT* id) override;
};

}  // namespace ardo::engine
