#include "engine/dom/node_types.h"

#include <algorithm>
#include <string>

#include <libxml/entities.h>
#include <libxml/valid.h>

#include "engine/common/bstr_text.h"
#include "engine/common/engine_errors.h"
#include "engine/common/last_error.h"
#include "engine/dom/dom_document.h"
#include "engine/dom/named_node_maps.h"
#include "engine/dom/node_lists.h"
#include "engine/dom/node_navigation.h"
#include "engine/dom/tree_edit.h"

namespace ardo::engine {
namespace {

// A handed-out node's object takes one 64-byte block of the allocator (56
// bytes and its header): keep it so as members come and go.
static_assert(sizeof(DomElement) <= 56 && sizeof(DomText) <= 56 && sizeof(DomAttribute) <= 56,
              "node objects outgrew one cache line");

template <class T, class... Args>
NodeObject* NewObject(Args... args) {
  return MakeObject<T>(args...).Detach();
}

HRESULT ReturnIdentifier(const xmlChar* id, VARIANT* out) {
  if (!out) return E_INVALIDARG;
  VariantInit(out);
  if (!id) {
    out->vt = VT_NULL;
    return S_FALSE;
  }
  return ReturnBstrVariant(View(id), out);
}

// Offsets into character data count UTF-16 units.
bool InRange(long offset, size_t length) { return offset >= 0 && static_cast<size_t>(offset) <= length; }

// An edit of character data may not cut between the two halves of a
// surrogate pair: the text is kept as UTF-8, which has no half characters.
bool SplitsPair(const std::u16string& s, size_t at) {
  return at > 0 && at < s.size() && s[at - 1] >= 0xD800 && s[at - 1] <= 0xDBFF && s[at] >= 0xDC00 &&
         s[at] <= 0xDFFF;
}

// E_INVALIDARG, with the reason, for an offset outside the text or a
// negative count.
HRESULT CheckRange(const std::u16string& s, long offset, long count) {
  if (count < 0) return FailWith(E_INVALIDARG, "The count of characters is negative.");
  if (InRange(offset, s.size())) return S_OK;
  return FailWith(E_INVALIDARG, "The offset " + std::to_string(offset) + " is outside the text, which has " +
                                    std::to_string(s.size()) + " characters.");
}

// Checks the units [offset, offset + count) of s for an edit: E_INVALIDARG
// for an offset outside the text, a negative count or an end inside a pair.
HRESULT CheckEdit(const std::u16string& s, long offset, long count = 0) {
  if (HRESULT hr = CheckRange(s, offset, count); FAILED(hr)) return hr;
  size_t end = std::min(s.size(), static_cast<size_t>(offset) + static_cast<size_t>(count));
  if (SplitsPair(s, static_cast<size_t>(offset)) || SplitsPair(s, end))
    return FailWith(E_INVALIDARG, "The edit would cut a character in two (an offset inside a surrogate pair).");
  return S_OK;
}

std::string Utf8OfUnits(const std::u16string& s) {
  std::string out;
  AppendUtf8(&out, s.data(), s.size());
  return out;
}

}  // namespace

NodeObject* MaterializeSlow(xmlNodePtr node) {
  TreeHolder* holder = node->doc ? TreeHolder::Of(node) : nullptr;
  if (holder && !holder->Alive()) {
    // A list's node in a tree its document let go (reloaded or released):
    // the tree comes back under a new document, held here until the node's
    // object holds it.
    ComPtr<DomDocument> revived = DomDocument::ForDeferredTree(holder);
    if (!revived && !holder->Alive()) return nullptr;
    return Materialize(node);
  }
  // No tree, or one whose document is going (another thread lets go of it).
  if (!holder || !holder->Owner()) return nullptr;
  if (node->type == XML_DOCUMENT_NODE) {
    DomDocument* doc = holder->Owner();
    doc->Interface()->AddRef();
    return doc;
  }
  // Materialize handled nodes that have an object already.
  switch (node->type) {
    case XML_ELEMENT_NODE:
      return NewObject<DomElement>(node);
    case XML_ATTRIBUTE_NODE:
      return NewObject<DomAttribute>(node);
    case XML_TEXT_NODE:
      return NewObject<DomText>(node);
    case XML_CDATA_SECTION_NODE:
      return NewObject<DomCDataSection>(node);
    case XML_COMMENT_NODE:
      return NewObject<DomComment>(node);
    case XML_PI_NODE:
      return NewObject<DomProcessingInstruction>(node);
    case XML_DTD_NODE:
      return NewObject<DomDocumentType>(node);
    case XML_DOCUMENT_FRAG_NODE:
      return NewObject<DomDocumentFragment>(node);
    case XML_ENTITY_DECL:
      return NewObject<DomEntity>(node);
    case XML_ENTITY_REF_NODE:
      return NewObject<DomEntityReference>(node);
    case XML_NOTATION_NODE:
      return NewObject<DomNotation>(node);
    default:
      return nullptr;
  }
}

NodeObject* MaterializeNamespace(xmlNsPtr ns, xmlNodePtr element) {
  // As MaterializeSlow: held until the object holds it.
  TreeHolder* holder = TreeHolder::Of(element);
  ComPtr<DomDocument> revived;
  if (!holder->Alive()) revived = DomDocument::ForDeferredTree(holder);
  if (!holder->Alive()) return nullptr;
  if (ns->_private) {
    auto* o = static_cast<NodeObject*>(ns->_private);
    if (o->IsCached()) {
      o->Revive();
    } else {
      o->AddRefObject();
    }
    return o;
  }
  return MakeObject<DomAttribute>(ns, element).Detach();
}

// --- element -------------------------------------------------------------------

HRESULT DomElement::get_tagName(BSTR* name) { return Call([&] { return NodeName(name); }); }

HRESULT DomElement::getAttribute(BSTR name, VARIANT* value) {
  return Call([&] { return attributes::Value(node_, Utf8Of(name), value); });
}

HRESULT DomElement::setAttribute(BSTR name, VARIANT value) {
  return Call([&] {
    std::string text;
    HRESULT hr = Utf8OfVariant(value, &text);
    if (FAILED(hr)) return hr;
    return attributes::Set(Document(), node_, Utf8Of(name), text);
  });
}

HRESULT DomElement::removeAttribute(BSTR name) {
  return Call([&] {
    std::string qname = Utf8Of(name);
    if (xmlNsPtr ns = FindNamespaceDeclaration(node_, qname))
      return attributes::RemoveDeclaration(Document(), node_, ns, nullptr);
    xmlAttrPtr attr = FindAttribute(node_, qname);
    if (!attr) return S_FALSE;
    return attributes::Remove(Document(), node_, attr, nullptr);
  });
}

HRESULT DomElement::getAttributeNode(BSTR name, IXMLDOMAttribute** attr) {
  return Call([&] {
    if (!attr) return E_INVALIDARG;
    *attr = nullptr;
    ComPtr<IXMLDOMNode> node;
    HRESULT hr = attributes::Get(node_, Utf8Of(name), node.Out());
    if (hr != S_OK) return hr;
    return node.QueryTo(attr);
  });
}

HRESULT DomElement::setAttributeNode(IXMLDOMAttribute* attr, IXMLDOMAttribute** replaced) {
  return Call2(attr, [&] {
    if (replaced) *replaced = nullptr;
    ComPtr<IXMLDOMNode> old;
    HRESULT hr = attributes::SetNode(Document(), node_, NodeObject::From(attr), replaced ? old.Out() : nullptr);
    if (FAILED(hr) || !replaced || !old) return hr;
    return old.QueryTo(replaced);
  });
}

constexpr char kNotThisElementsAttribute[] = "The node is not an attribute of this element.";

HRESULT DomElement::removeAttributeNode(IXMLDOMAttribute* attr, IXMLDOMAttribute** removed) {
  return Call([&] {
    if (removed) *removed = nullptr;
    NodeObject* o = NodeObject::From(attr);
    if (!o || !SharesLockWith(*o)) return FailWith(E_INVALIDARG, kNotThisElementsAttribute);
    HRESULT hr;
    if (o->IsNamespaceDeclaration()) {
      if (o->DeclaringElement() != node_) return FailWith(E_INVALIDARG, kNotThisElementsAttribute);
      hr = attributes::RemoveDeclaration(Document(), node_, o->Namespace(), nullptr);
    } else {
      if (o->Node()->type != XML_ATTRIBUTE_NODE || o->Node()->parent != node_)
        return FailWith(E_INVALIDARG, kNotThisElementsAttribute);
      hr = attributes::Remove(Document(), node_, reinterpret_cast<xmlAttrPtr>(o->Node()), nullptr);
    }
    if (FAILED(hr) || !removed) return hr;
    *removed = attr;
    attr->AddRef();
    return S_OK;
  });
}

HRESULT DomElement::getElementsByTagName(BSTR name, IXMLDOMNodeList** list) {
  return Call([&] {
    if (!list) return E_INVALIDARG;
    *list = MakeObject<ElementsByTagNameList>(this, Utf8Of(name)).Detach();
    return S_OK;
  });
}

HRESULT DomElement::normalize() {
  return Call([&] {
    if (IsReadOnly(node_)) return RefuseReadOnly();
    TreeEdit edit(Document());
    std::vector<xmlNodePtr> elements{node_};
    while (!elements.empty()) {
      xmlNodePtr e = elements.back();
      elements.pop_back();
      for (xmlNodePtr c = e->children; c;) {
        xmlNodePtr next = c->next;
        if (c->type == XML_TEXT_NODE) {
          if (next && next->type == XML_TEXT_NODE) {
            std::string merged(View(c->content));
            while (next && next->type == XML_TEXT_NODE) {
              merged += View(next->content);
              xmlNodePtr after = next->next;
              edit.Detach(next);
              next = after;
            }
            edit.SetContent(c, merged);
          }
          if (!c->content || !*c->content) edit.Detach(c);
        } else if (c->type == XML_ELEMENT_NODE) {
          elements.push_back(c);
        }
        c = next;
      }
    }
    return S_OK;
  });
}

// --- attribute -------------------------------------------------------------------

HRESULT DomAttribute::get_name(BSTR* name) { return Call([&] { return NodeName(name); }); }
HRESULT DomAttribute::get_value(VARIANT* value) { return Call([&] { return NodeValue(value); }); }
HRESULT DomAttribute::put_value(VARIANT value) { return Call([&] { return PutNodeValue(value); }); }

// --- character data ----------------------------------------------------------------

template <class Impl, class Itf>
HRESULT CharacterDataImpl<Impl, Itf>::get_data(BSTR* data) {
  return this->Call([&] { return ReturnBstr(this->ValueText(), data); });
}

template <class Impl, class Itf>
HRESULT CharacterDataImpl<Impl, Itf>::put_data(BSTR data) {
  return this->Call([&] { return this->SetValueText(Utf8Of(data)); });
}

template <class Impl, class Itf>
HRESULT CharacterDataImpl<Impl, Itf>::get_length(long* length) {
  return this->Call([&] {
    if (!length) return E_INVALIDARG;
    *length = Utf16Length(this->ValueText());
    return S_OK;
  });
}

template <class Impl, class Itf>
HRESULT CharacterDataImpl<Impl, Itf>::substringData(long offset, long count, BSTR* data) {
  return this->Call([&] {
    if (!data) return E_INVALIDARG;
    *data = nullptr;
    std::u16string s = Utf16Of(this->ValueText());
    if (HRESULT hr = CheckRange(s, offset, count); FAILED(hr)) return hr;
    std::u16string part = s.substr(static_cast<size_t>(offset), static_cast<size_t>(count));
    *data = SysAllocStringLen(part.data(), static_cast<UINT>(part.size()));
    return *data ? S_OK : E_OUTOFMEMORY;
  });
}

template <class Impl, class Itf>
HRESULT CharacterDataImpl<Impl, Itf>::appendData(BSTR data) {
  return this->Call([&] { return this->SetValueText(this->ValueText() + Utf8Of(data)); });
}

template <class Impl, class Itf>
HRESULT CharacterDataImpl<Impl, Itf>::insertData(long offset, BSTR data) {
  return this->Call([&] {
    std::u16string s = Utf16Of(this->ValueText());
    if (HRESULT hr = CheckEdit(s, offset); FAILED(hr)) return hr;
    s.insert(static_cast<size_t>(offset), Utf16Of(Utf8Of(data)));
    return this->SetValueText(Utf8OfUnits(s));
  });
}

template <class Impl, class Itf>
HRESULT CharacterDataImpl<Impl, Itf>::deleteData(long offset, long count) {
  return this->Call([&] {
    std::u16string s = Utf16Of(this->ValueText());
    if (HRESULT hr = CheckEdit(s, offset, count); FAILED(hr)) return hr;
    s.erase(static_cast<size_t>(offset), static_cast<size_t>(count));
    return this->SetValueText(Utf8OfUnits(s));
  });
}

template <class Impl, class Itf>
HRESULT CharacterDataImpl<Impl, Itf>::replaceData(long offset, long count, BSTR data) {
  return this->Call([&] {
    std::u16string s = Utf16Of(this->ValueText());
    if (HRESULT hr = CheckEdit(s, offset, count); FAILED(hr)) return hr;
    s.replace(static_cast<size_t>(offset), static_cast<size_t>(count), Utf16Of(Utf8Of(data)));
    return this->SetValueText(Utf8OfUnits(s));
  });
}

template class CharacterDataImpl<DomText, IXMLDOMText>;
template class CharacterDataImpl<DomCDataSection, IXMLDOMCDATASection>;
template class CharacterDataImpl<DomComment, IXMLDOMComment>;

namespace {

// Splits a text or CDATA node: it keeps the first offset units, a new node
// of its type after it takes the rest.
HRESULT SplitCharacterData(NodeObject& self, long offset, IXMLDOMText** right) {
  if (!right) return E_INVALIDARG;
  *right = nullptr;
  xmlNodePtr node = self.Node();
  if (IsReadOnly(node)) return RefuseReadOnly();
  std::u16string s = Utf16Of(View(node->content));
  if (HRESULT hr = CheckEdit(s, offset); FAILED(hr)) return hr;
  std::string left = Utf8OfUnits(s.substr(0, static_cast<size_t>(offset)));
  std::string rest = Utf8OfUnits(s.substr(static_cast<size_t>(offset)));
  xmlNodePtr split = node->type == XML_CDATA_SECTION_NODE
                         ? xmlNewCDataBlock(node->doc, Xml(rest), static_cast<int>(rest.size()))
                         : xmlNewDocTextLen(node->doc, Xml(rest), static_cast<int>(rest.size()));
  if (!split) throw std::bad_alloc();
  // The new node is handed out before the edit ends: a detached one would
  // otherwise be swept as unreferenced.
  TreeEdit edit(self.Document());
  edit.SetContent(node, left);
  edit.AdoptNew(split);
  if (node->parent) edit.Attach(split, node->parent, node->next);
  return ReturnNodeAs(split, right);
}

}  // namespace

HRESULT DomText::splitText(long offset, IXMLDOMText** right) {
  return Call([&] { return SplitCharacterData(*this, offset, right); });
}

HRESULT DomCDataSection::splitText(long offset, IXMLDOMText** right) {
  return Call([&] { return SplitCharacterData(*this, offset, right); });
}

// --- processing instruction --------------------------------------------------------

HRESULT DomProcessingInstruction::get_target(BSTR* name) { return Call([&] { return ReturnBstr(node_->name, name); }); }
HRESULT DomProcessingInstruction::get_data(BSTR* value) { return Call([&] { return ReturnBstr(ValueText(), value); }); }
HRESULT DomProcessingInstruction::put_data(BSTR value) { return Call([&] { return SetValueText(Utf8Of(value)); }); }

// --- document type, entity, notation -----------------------------------------------

HRESULT DomDocumentType::get_name(BSTR* name) { return Call([&] { return ReturnBstr(node_->name, name); }); }

HRESULT DomDocumentType::get_entities(IXMLDOMNamedNodeMap** map) {
  return Call([&] {
    if (!map) return E_INVALIDARG;
    *map = MakeObject<DeclarationMap>(this, DeclarationMap::Kind::Entities).Detach();
    return S_OK;
  });
}

HRESULT DomDocumentType::get_notations(IXMLDOMNamedNodeMap** map) {
  return Call([&] {
    if (!map) return E_INVALIDARG;
    *map = MakeObject<DeclarationMap>(this, DeclarationMap::Kind::Notations).Detach();
    return S_OK;
  });
}

HRESULT DomEntity::get_publicId(VARIANT* id) {
  return Call([&] { return ReturnIdentifier(reinterpret_cast<xmlEntityPtr>(node_)->ExternalID, id); });
}

HRESULT DomEntity::get_systemId(VARIANT* id) {
  return Call([&] { return ReturnIdentifier(reinterpret_cast<xmlEntityPtr>(node_)->SystemID, id); });
}

HRESULT DomEntity::get_notationName(BSTR* name) {
  return Call([&] {
    auto* ent = reinterpret_cast<xmlEntityPtr>(node_);
    // libxml2 keeps an unparsed entity's notation name as its content.
    bool unparsed = ent->etype == XML_EXTERNAL_GENERAL_UNPARSED_ENTITY;
    return ReturnBstr(unparsed ? View(ent->content) : std::string_view(), name);
  });
}

namespace {

xmlNotationPtr NotationOf(xmlNodePtr node) {
  if (!node->parent || node->parent->type != XML_DTD_NODE) return nullptr;
  return xmlGetDtdNotationDesc(reinterpret_cast<xmlDtdPtr>(node->parent), node->name);
}

}  // namespace

HRESULT DomNotation::get_publicId(VARIANT* id) {
  return Call([&] {
    xmlNotationPtr n = NotationOf(node_);
    return ReturnIdentifier(n ? n->PublicID : nullptr, id);
  });
}

HRESULT DomNotation::get_systemId(VARIANT* id) {
  return Call([&] {
    xmlNotationPtr n = NotationOf(node_);
    return ReturnIdentifier(n ? n->SystemID : nullptr, id);
  });
}

}  // namespace ardo::engine
