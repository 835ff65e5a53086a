#include "engine/dom/node_serializer.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <unordered_map>
#include <utility>
#include <vector>

#include <iconv.h>

#include <libxml/xmlIO.h>
#include <libxml/valid.h>
#include <libxml/entities.h>
#include <libxml/hash.h>
#include <libxml/xmlsave.h>

#include "engine/common/bstr_text.h"
#include "engine/common/error_capture.h"
#include "engine/common/last_error.h"
#include "engine/dom/document_loader.h"
#include "engine/dom/node_navigation.h"
#include "engine/dom/text_content.h"

namespace ardo::engine {
namespace {

// Finds name="value" / name='value' in declaration data; returns the
// position of the name and the extent of the whole pseudo-attribute.
bool FindPseudoAttribute(const std::string& data, const char* name, size_t* begin, size_t* end,
                         std::string* value) {
  std::string key(name);
  for (size_t pos = data.find(key); pos != std::string::npos; pos = data.find(key, pos + 1)) {
    if (pos > 0 && !IsXmlSpace(static_cast<unsigned char>(data[pos - 1]))) continue;
    size_t i = pos + key.size();
    while (i < data.size() && IsXmlSpace(static_cast<unsigned char>(data[i]))) ++i;
    if (i >= data.size() || data[i] != '=') continue;
    ++i;
    while (i < data.size() && IsXmlSpace(static_cast<unsigned char>(data[i]))) ++i;
    if (i >= data.size() || (data[i] != '"' && data[i] != '\'')) continue;
    char quote = data[i];
    size_t close = data.find(quote, i + 1);
    if (close == std::string::npos) continue;
    *begin = pos;
    *end = close + 1;
    if (value) *value = data.substr(i + 1, close - i - 1);
    return true;
  }
  return false;
}

void DumpInto(xmlBufferPtr buf, xmlNodePtr node, std::string* out) {
  xmlBufferEmpty(buf);
  xmlNodeDump(buf, node->doc, node, 0, 0);
  out->append(reinterpret_cast<const char*>(xmlBufferContent(buf)), xmlBufferLength(buf));
}

// An attribute value escaped as libxml2 escapes values in double quotes;
// characters beyond ASCII stay as they are.
std::string EscapedAttributeText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '&': out += "&amp;"; break;
      case '"': out += "&quot;"; break;
      case '\n': out += "&#10;"; break;
      case '\r': out += "&#13;"; break;
      case '\t': out += "&#9;"; break;
      default: out += c; break;
    }
  }
  return out;
}

std::string QuotedAttributeText(std::string_view text) { return "\"" + EscapedAttributeText(text) + "\""; }

// Calls change(element) for each element of root's subtree (nothing below
// other nodes declares a namespace); undo() runs before what it throws
// goes on.
template <class Change, class Undo>
void ChangeElementsWithin(xmlNodePtr root, Change change, Undo undo) {
  if (root->type != XML_ELEMENT_NODE && root->type != XML_DOCUMENT_NODE && root->type != XML_DOCUMENT_FRAG_NODE)
    return;
  try {
    for (xmlNodePtr n = root; n; n = NextWithin(n, root))
      if (n->type == XML_ELEMENT_NODE) change(n);
  } catch (...) {
    undo();
    throw;
  }
}

// libxml2 writes a namespace declaration's name with only its quotes
// looked after. For the length of a serialisation, the declarations in a
// subtree whose names hold markup characters carry them escaped.
class EscapedNamespaceNames {
 public:
  explicit EscapedNamespaceNames(xmlNodePtr root) {
    ChangeElementsWithin(
        root, [this](xmlNodePtr e) {
          for (xmlNsPtr ns = e->nsDef; ns; ns = ns->next) Escape(ns);
        },
        [this] { Restore(); });
  }
  EscapedNamespaceNames(const EscapedNamespaceNames&) = delete;
  EscapedNamespaceNames& operator=(const EscapedNamespaceNames&) = delete;
  ~EscapedNamespaceNames() { Restore(); }
  bool Changed() const { return !swapped_.empty(); }

 private:
  void Escape(xmlNsPtr ns) {
    std::string_view href = View(ns->href);
    if (href.find_first_of("<>&\"\n\r\t") == std::string_view::npos) return;
    xmlChar* escaped = xmlStrdup(Xml(EscapedAttributeText(href)));
    if (!escaped) throw std::bad_alloc();
    swapped_.emplace_back(ns, ns->href);
    ns->href = escaped;
  }
  void Restore() {
    for (auto& [ns, original] : swapped_) {
      xmlFree(const_cast<xmlChar*>(ns->href));
      ns->href = original;
    }
    swapped_.clear();
  }
  std::vector<std::pair<xmlNsPtr, const xmlChar*>> swapped_;
};

// libxml2 writes an element's declarations before its attributes. For the
// length of a serialisation, a declaration placed after attributes (see
// PlaceDeclarationAfter) leaves the element's declarations and stands at
// its place as an attribute of its name and value.
class PlacedDeclarations {
 public:
  explicit PlacedDeclarations(xmlNodePtr root) {
    ChangeElementsWithin(
        root, [this](xmlNodePtr e) {
          if (e->nsDef && e->properties) Place(e);
        },
        [this] { Restore(); });
  }
  PlacedDeclarations(const PlacedDeclarations&) = delete;
  PlacedDeclarations& operator=(const PlacedDeclarations&) = delete;
  ~PlacedDeclarations() { Restore(); }
  bool Changed() const { return !placed_.empty(); }

 private:
  struct Placed {
    xmlNodePtr element;
    std::vector<xmlNsPtr> declarations;  // as the element had them
    std::vector<xmlAttrPtr> standIns;
  };

  void Place(xmlNodePtr element) {
    const auto places = DeclarationPlaces(element);
    if (places.empty()) return;
    placed_.push_back(Placed{element, {}, {}});
    Placed& p = placed_.back();
    for (const auto& place : places) p.declarations.push_back(place.first);
    p.standIns.reserve(places.size());
    // Where the next declaration after an attribute goes: after the
    // attribute, or after the declarations placed there before it.
    std::unordered_map<const xmlAttr*, xmlAttrPtr> lastAfter;
    xmlNsPtr* link = &element->nsDef;
    for (const auto& [ns, follows] : places) {
      if (!follows) {
        *link = ns;
        link = &ns->next;
        continue;
      }
      xmlAttrPtr& at = lastAfter[follows];
      xmlAttrPtr after = at ? at : follows;
      xmlAttrPtr standIn = NewStandIn(element->doc, ns);
      standIn->parent = element;
      standIn->prev = after;
      standIn->next = after->next;
      if (after->next) after->next->prev = standIn;
      after->next = standIn;
      p.standIns.push_back(standIn);
      at = standIn;
    }
    *link = nullptr;
  }

  static xmlAttrPtr NewStandIn(xmlDocPtr doc, const xmlNs* ns) {
    xmlAttrPtr attr = xmlNewDocProp(doc, Xml(DeclarationName(ns)), nullptr);
    if (!attr) throw std::bad_alloc();
    xmlNodePtr text = xmlNewDocText(doc, ns->href);
    if (!text) {
      xmlFreeProp(attr);
      throw std::bad_alloc();
    }
    text->parent = reinterpret_cast<xmlNodePtr>(attr);
    attr->children = attr->last = text;
    return attr;
  }

  void Restore() {
    for (auto it = placed_.rbegin(); it != placed_.rend(); ++it) {
      for (xmlAttrPtr a : it->standIns) {
        if (a->prev) a->prev->next = a->next;
        if (a->next) a->next->prev = a->prev;
        a->parent = nullptr;
        a->prev = a->next = nullptr;
        xmlFreeProp(a);
      }
      xmlNsPtr* link = &it->element->nsDef;
      for (xmlNsPtr ns : it->declarations) {
        *link = ns;
        link = &ns->next;
      }
      *link = nullptr;
    }
    placed_.clear();
  }

  std::vector<Placed> placed_;
};

// A public or system literal, in the quotes its text allows.
std::string Literal(const xmlChar* text) {
  std::string_view t = View(text);
  const char quote = t.find('"') == std::string_view::npos ? '"' : '\'';
  return " " + std::string(1, quote) + std::string(t) + std::string(1, quote);
}

std::string NotationText(xmlNodePtr node) {
  std::string out = "<!NOTATION " + std::string(View(node->name));
  xmlNotationPtr n = nullptr;
  if (node->parent && node->parent->type == XML_DTD_NODE)
    n = xmlGetDtdNotationDesc(reinterpret_cast<xmlDtdPtr>(node->parent), node->name);
  if (n && n->PublicID) {
    out += " PUBLIC" + Literal(n->PublicID);
    if (n->SystemID) out += Literal(n->SystemID);
  } else if (n && n->SystemID) {
    out += " SYSTEM" + Literal(n->SystemID);
  }
  return out + ">";
}

// libxml2 writes the characters of attribute values that are not ASCII as
// character references when the document names no encoding (text it writes
// as it is). For the length of a serialisation the document names the
// encoding being written, so attribute values and text come out alike; the
// output buffer's encoder turns what the encoding cannot hold into
// references.
class OutputEncoding {
 public:
  OutputEncoding(xmlDocPtr doc, const char* encoding) : doc_(doc) {
    if (!doc_) return;
    saved_ = doc_->encoding;
    doc_->encoding = Xml(encoding);
  }
  OutputEncoding(const OutputEncoding&) = delete;
  OutputEncoding& operator=(const OutputEncoding&) = delete;
  ~OutputEncoding() {
    if (doc_) doc_->encoding = saved_;
  }

 private:
  xmlDocPtr doc_;
  const xmlChar* saved_ = nullptr;
};

}  // namespace

ScopedDeclarations::ScopedDeclarations(xmlNodePtr root, bool subtree) : subtree_(subtree) {
  try {
    if (root->type == XML_ELEMENT_NODE) {
      Walk(root);
    } else if (root->type == XML_DOCUMENT_NODE || root->type == XML_DOCUMENT_FRAG_NODE) {
      for (xmlNodePtr c = root->children; c; c = c->next)
        if (c->type == XML_ELEMENT_NODE && subtree_) Walk(c);
    }
  } catch (...) {
    Restore();
    throw;
  }
}

ScopedDeclarations::~ScopedDeclarations() { Restore(); }

bool ScopedDeclarations::Added(const xmlNs* ns) const {
  return std::any_of(added_.begin(), added_.end(), [&](const auto& a) { return a.second == ns; });
}

void ScopedDeclarations::Restore() {
  for (auto it = added_.rbegin(); it != added_.rend(); ++it) {
    for (xmlNsPtr* link = &it->first->nsDef; *link; link = &(*link)->next) {
      if (*link == it->second) {
        *link = it->second->next;
        break;
      }
    }
    xmlFreeNs(it->second);
  }
  added_.clear();
}

// Preorder over the elements of top, the declarations in scope kept as a
// stack.
void ScopedDeclarations::Walk(xmlNodePtr top) {
  std::vector<size_t> marks;
  xmlNodePtr n = top;
  for (;;) {
    if (n->type == XML_ELEMENT_NODE) {
      marks.push_back(scope_.size());
      Visit(n);
      if (n->children && subtree_) {
        n = n->children;
        continue;
      }
    }
    for (;;) {
      if (n->type == XML_ELEMENT_NODE) {
        scope_.resize(marks.back());
        marks.pop_back();
      }
      if (n == top) return;
      if (n->next) {
        n = n->next;
        break;
      }
      n = n->parent;
    }
  }
}

void ScopedDeclarations::Visit(xmlNodePtr element) {
  for (xmlNsPtr ns = element->nsDef; ns; ns = ns->next) scope_.emplace_back(ns->prefix, ns->href);
  if (element->ns) {
    Need(element, element->ns->prefix, element->ns->href);
  } else {
    const xmlChar* inherited = InScope(nullptr);
    if (inherited && *inherited) Need(element, nullptr, Xml(""));
  }
  for (xmlAttrPtr a = element->properties; a; a = a->next)
    if (a->ns && a->ns->prefix) Need(element, a->ns->prefix, a->ns->href);
}

const xmlChar* ScopedDeclarations::InScope(const xmlChar* prefix) const {
  for (auto it = scope_.rbegin(); it != scope_.rend(); ++it)
    if (xmlStrEqual(it->first, prefix)) return it->second;
  return nullptr;
}

void ScopedDeclarations::Need(xmlNodePtr element, const xmlChar* prefix, const xmlChar* href) {
  if (prefix && xmlStrEqual(prefix, Xml("xml"))) return;
  const xmlChar* current = InScope(prefix);
  if (xmlStrEqual(current ? current : Xml(""), href ? href : Xml(""))) return;
  // Null when the element declares the prefix otherwise already: its own
  // declaration stands.
  xmlNsPtr ns = xmlNewNs(element, href, prefix);
  if (!ns) return;
  added_.emplace_back(element, ns);
  scope_.emplace_back(ns->prefix, ns->href);
}

bool IsXmlDeclarationInstruction(const xmlNode* node) {
  return node->type == XML_PI_NODE && xmlStrEqual(node->name, Xml("xml"));
}

bool IsXmlDeclaration(const xmlNode* node) {
  return node && IsXmlDeclarationInstruction(node) && node->parent && node->parent->type == XML_DOCUMENT_NODE;
}

xmlNodePtr FindXmlDeclaration(xmlDocPtr doc) {
  for (xmlNodePtr c = doc->children; c; c = c->next)
    if (IsXmlDeclaration(c)) return c;
  return nullptr;
}

bool HasPseudoAttribute(const std::string& data, const char* name, std::string* value) {
  size_t b, e;
  return FindPseudoAttribute(data, name, &b, &e, value);
}

std::string PseudoAttribute(const std::string& data, const char* name) {
  size_t b, e;
  std::string value;
  return FindPseudoAttribute(data, name, &b, &e, &value) ? value : std::string();
}

std::string WithoutEncoding(const std::string& data) {
  size_t b, e;
  if (!FindPseudoAttribute(data, "encoding", &b, &e, nullptr)) return data;
  while (b > 0 && IsXmlSpace(static_cast<unsigned char>(data[b - 1]))) --b;
  return data.substr(0, b) + data.substr(e);
}

// The text is kept as a parameter entity of the document type that is in
// its table but in none of its lists of declarations: libxml2 copies the
// table with the document type and frees it with it, writes and validates
// from the lists, and no reference can name it (names hold no spaces).
namespace {
const xmlChar* const kWrittenDoctypeName = reinterpret_cast<const xmlChar*>("doctype as written");
}  // namespace

void KeepWrittenDoctype(xmlDtdPtr dtd, const std::string& text) {
  if (!dtd->pentities) {
    dtd->pentities = xmlHashCreateDict(0, dtd->doc ? dtd->doc->dict : nullptr);
    if (!dtd->pentities) throw std::bad_alloc();
  }
  auto* table = static_cast<xmlHashTablePtr>(dtd->pentities);
  if (xmlHashLookup(table, kWrittenDoctypeName)) return;
  xmlEntityPtr kept =
      xmlNewEntity(nullptr, kWrittenDoctypeName, XML_INTERNAL_PARAMETER_ENTITY, nullptr, nullptr, Xml(text));
  if (!kept) throw std::bad_alloc();
  if (xmlHashAddEntry(table, kWrittenDoctypeName, kept) != 0) {
    // What libxml2 would free of an entity made without a document.
    xmlFree(const_cast<xmlChar*>(kept->name));
    xmlFree(kept->content);
    xmlFree(kept);
    throw std::bad_alloc();
  }
}

namespace {

// The kept text of a document type node, or null.
const xmlChar* WrittenDoctype(const xmlNode* node) {
  if (!node || node->type != XML_DTD_NODE) return nullptr;
  const auto* dtd = reinterpret_cast<const xmlDtd*>(node);
  if (!dtd->pentities) return nullptr;
  auto* kept = static_cast<xmlEntityPtr>(xmlHashLookup(static_cast<xmlHashTablePtr>(dtd->pentities), kWrittenDoctypeName));
  return kept ? kept->content : nullptr;
}

// A document type as written, where it was kept.
bool AppendWrittenDoctype(const xmlNode* node, std::string* out) {
  const xmlChar* text = WrittenDoctype(node);
  if (!text) return false;
  out->append(reinterpret_cast<const char*>(text));
  return true;
}

}  // namespace

std::string SerializeNode(xmlNodePtr node) {
  std::string out;
  switch (node->type) {
    case XML_NAMESPACE_DECL: {
      auto* ns = reinterpret_cast<xmlNsPtr>(node);
      return DeclarationName(ns) + "=" + QuotedAttributeText(View(ns->href));
    }
    case XML_NOTATION_NODE:
      return NotationText(node);
    default:
      break;
  }
  // The text is UTF-8 (UTF-16 once it is a BSTR): every character stays as
  // it is.
  OutputEncoding utf8(node->doc, "UTF-8");
  ScopedDeclarations namespaces(node);
  PlacedDeclarations placed(node);
  EscapedNamespaceNames escaped(node);
  xmlBufferPtr buf = xmlBufferCreate();
  if (!buf) throw std::bad_alloc();
  if (node->type == XML_DOCUMENT_NODE) {
    for (xmlNodePtr c = node->children; c; c = c->next) {
      if (!IsExposedChild(c)) continue;
      if (IsXmlDeclaration(c)) {
        out += "<?xml " + WithoutEncoding(std::string(View(c->content))) + "?>";
      } else if (!AppendWrittenDoctype(c, &out)) {
        DumpInto(buf, c, &out);
      }
      out += "\r\n";
    }
  } else if (IsXmlDeclaration(node)) {
    // As the document writes it: the text is no longer in that encoding.
    out = "<?xml " + WithoutEncoding(std::string(View(node->content))) + "?>";
  } else if (AppendWrittenDoctype(node, &out)) {
    // as the document wrote it
  } else if (node->type == XML_DTD_NODE && node->doc && node->doc->intSubset != reinterpret_cast<xmlDtdPtr>(node)) {
    // libxml2 writes a document type's notations for the document's own
    // internal subset only: a copy standing apart is written as if it were.
    xmlDtdPtr own = node->doc->intSubset;
    node->doc->intSubset = reinterpret_cast<xmlDtdPtr>(node);
    try {
      DumpInto(buf, node, &out);
    } catch (...) {
      node->doc->intSubset = own;
      xmlBufferFree(buf);
      throw;
    }
    node->doc->intSubset = own;
  } else {
    DumpInto(buf, node, &out);
    // libxml2 writes an attribute as it appears in a start tag, after a
    // space, and an entity declaration as a line of the document type.
    if (node->type == XML_ATTRIBUTE_NODE && !out.empty() && out[0] == ' ') out.erase(0, 1);
    if (node->type == XML_ENTITY_DECL && !out.empty() && out.back() == '\n') out.pop_back();
  }
  xmlBufferFree(buf);
  return out;
}

namespace {

struct WriteContext {
  const std::function<bool(const char*, size_t)>* write;
  bool failed = false;
};

int WriteCallback(void* ctx, const char* buffer, int len) {
  auto* c = static_cast<WriteContext*>(ctx);
  if (c->failed || !(*c->write)(buffer, static_cast<size_t>(len))) {
    c->failed = true;
    return -1;
  }
  return len;
}

int CloseCallback(void*) { return 0; }

}  // namespace

namespace {

// Whether libxml2's converter for the output encoding, the one a save
// writes with, takes every character of a UTF-8 text.
class Converter {
 public:
  explicit Converter(xmlCharEncodingHandlerPtr handler) : handler_(handler) {}
  bool Takes(std::string_view text) const {
    if (std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
      return true;
    std::string out(text.size() * 8 + 64, '\0');
    if (handler_->output) {
      const auto* in = reinterpret_cast<const unsigned char*>(text.data());
      int left = static_cast<int>(text.size());
      while (left > 0) {
        int inLen = left, outLen = static_cast<int>(out.size());
        int rc = handler_->output(reinterpret_cast<unsigned char*>(out.data()), &outLen, in, &inLen);
        if (rc < 0 || inLen <= 0) return false;
        in += inLen;
        left -= inLen;
      }
      return true;
    }
    if (handler_->iconv_out) {
      std::string in(text);
      char* inp = in.data();
      char* outp = out.data();
      size_t inLeft = in.size(), outLeft = out.size();
      iconv(handler_->iconv_out, nullptr, nullptr, nullptr, nullptr);
      return iconv(handler_->iconv_out, &inp, &inLeft, &outp, &outLeft) != static_cast<size_t>(-1);
    }
    if (handler_->uconv_out) {
      // Names repeat: each is asked once.
      auto [it, fresh] = asked_.try_emplace(std::string(text), false);
      if (fresh) it->second = RoundTrips(text);
      return it->second;
    }
    return false;  // a converter that cannot be asked is not trusted with anything
  }
  // libxml2 writes a character the encoding lacks as a character reference
  // through its own converters, but garbles the text around it through
  // ICU's: there, text and attribute values are asked as names are.
  bool OnlyThroughIcu() const { return !handler_->output && !handler_->iconv_out && handler_->uconv_out; }

 private:
  // ICU's converters are asked through libxml2's buffers: written with a
  // fresh converter (they keep state) and read back, the text is the same
  // when the encoding holds it ("&", which libxml2 writes a character it
  // lacks with, is left out of the probe).
  bool RoundTrips(std::string_view text) const {
    std::string probe(text);
    std::replace(probe.begin(), probe.end(), '&', '?');
    xmlCharEncodingHandlerPtr fresh = xmlFindCharEncodingHandler(handler_->name);
    xmlBufferPtr in = xmlBufferCreate(), encoded = xmlBufferCreate(), back = xmlBufferCreate();
    bool same = fresh && in && encoded && back && xmlBufferAdd(in, Xml(probe), static_cast<int>(probe.size())) == 0 &&
                xmlCharEncOutFunc(fresh, encoded, in) >= 0;
    // Read back in one step into room for all of it: libxml2 hands ICU no
    // more room than twice the bytes read, and what does not fit is lost.
    same = same && xmlBufferGrow(back, static_cast<unsigned>(probe.size()) + 64) >= 0 &&
           xmlCharEncInFunc(fresh, back, encoded) >= 0 && xmlBufferLength(encoded) == 0;
    same = same && static_cast<size_t>(xmlBufferLength(back)) == probe.size() &&
           std::memcmp(xmlBufferContent(back), probe.data(), probe.size()) == 0;
    for (xmlBufferPtr b : {in, encoded, back})
      if (b) xmlBufferFree(b);
    if (fresh) xmlCharEncCloseFunc(fresh);
    return same;
  }

  xmlCharEncodingHandlerPtr handler_;
  mutable std::unordered_map<std::string, bool> asked_;
};

// Names, system and public identifiers and the tokens of content models
// and enumerations in the document type's declarations: none of them takes
// a character reference. The first that the converter refuses, else "".
std::string UnwritableContent(const xmlElementContent* c, const Converter& converter) {
  for (; c; c = c->c2) {
    if (c->name && !converter.Takes(View(c->name))) return std::string(View(c->name));
    if (c->prefix && !converter.Takes(View(c->prefix))) return std::string(View(c->prefix));
    std::string inner = UnwritableContent(c->c1, converter);
    if (!inner.empty()) return inner;
  }
  return std::string();
}

std::string UnwritableDeclaration(xmlNodePtr n, const Converter& converter) {
  std::vector<const xmlChar*> texts;
  std::string found;
  switch (n->type) {
    case XML_DTD_NODE: {
      auto* dtd = reinterpret_cast<xmlDtdPtr>(n);
      texts = {dtd->name, dtd->ExternalID, dtd->SystemID};
      if (dtd->notations) {
        std::pair<const Converter*, std::string*> scan{&converter, &found};
        xmlHashScan(static_cast<xmlNotationTablePtr>(dtd->notations),
                    [](void* payload, void* data, const xmlChar*) {
                      auto* s = static_cast<std::pair<const Converter*, std::string*>*>(data);
                      auto* notation = static_cast<xmlNotationPtr>(payload);
                      for (const xmlChar* t : {notation->name, notation->PublicID, notation->SystemID})
                        if (t && s->second->empty() && !s->first->Takes(View(t))) *s->second = std::string(View(t));
                    },
                    &scan);
      }
      break;
    }
    case XML_ENTITY_DECL: {
      auto* entity = reinterpret_cast<xmlEntityPtr>(n);
      texts = {entity->name, entity->ExternalID, entity->SystemID};
      break;
    }
    case XML_ELEMENT_DECL: {
      auto* element = reinterpret_cast<xmlElementPtr>(n);
      texts = {element->name, element->prefix};
      found = UnwritableContent(element->content, converter);
      break;
    }
    case XML_ATTRIBUTE_DECL: {
      auto* attribute = reinterpret_cast<xmlAttributePtr>(n);
      texts = {attribute->elem, attribute->name, attribute->prefix};
      for (xmlEnumerationPtr e = attribute->tree; e; e = e->next) texts.push_back(e->name);
      break;
    }
    default:
      break;
  }
  for (const xmlChar* t : texts)
    if (found.empty() && t && !converter.Takes(View(t))) found = std::string(View(t));
  return found;
}

// Text and attribute values take a character the encoding lacks as a
// character reference; names (of elements, attributes, namespace prefixes,
// entities and the document type's declarations), identifiers, comments,
// processing instructions and CDATA sections cannot. The first such text,
// or "" when everything can be written.
std::string Unwritable(xmlDocPtr doc, const Converter& converter) {
  auto writable = [&](std::string_view text) { return converter.Takes(text); };
  std::string found;
  for (xmlNodePtr top = doc->children; top && found.empty(); top = top->next) {
    for (xmlNodePtr n = top; n && found.empty();) {
      switch (n->type) {
        case XML_ELEMENT_NODE:
          if (!writable(QualifiedName(n))) found = QualifiedName(n);
          for (xmlNsPtr ns = n->nsDef; ns && found.empty(); ns = ns->next)
            if (ns->prefix && !writable(View(ns->prefix))) found = std::string(View(ns->prefix));
          for (xmlAttrPtr a = n->properties; a && found.empty(); a = a->next) {
            if (!writable(QualifiedName(reinterpret_cast<xmlNodePtr>(a)))) found = QualifiedName(reinterpret_cast<xmlNodePtr>(a));
            else if (converter.OnlyThroughIcu() && !writable(AttributeValue(a))) found = AttributeValue(a);
          }
          break;
        case XML_TEXT_NODE:
          if (converter.OnlyThroughIcu() && !writable(View(n->content))) found = std::string(View(n->content));
          break;
        case XML_COMMENT_NODE:
        case XML_CDATA_SECTION_NODE:
        case XML_PI_NODE:
          if (!writable(View(n->name))) found = std::string(View(n->name));
          else if (!writable(View(n->content))) found = std::string(View(n->content));
          break;
        case XML_ENTITY_REF_NODE:
          if (!writable(View(n->name))) found = std::string(View(n->name));
          break;
        case XML_DTD_NODE:
        case XML_ENTITY_DECL:
        case XML_ELEMENT_DECL:
        case XML_ATTRIBUTE_DECL:
          found = UnwritableDeclaration(n, converter);
          break;
        default:
          break;
      }
      // Document order within top: elements' children, and the comments
      // and instructions among the document type's declarations.
      if ((n->type == XML_ELEMENT_NODE || n->type == XML_DTD_NODE) && n->children) {
        n = n->children;
        continue;
      }
      while (n && n != top && !n->next) n = n->parent;
      n = n && n != top ? n->next : nullptr;
    }
  }
  return found;
}

}  // namespace

bool XmlDeclarationReads(std::string_view data) {
  const std::string probe = "<?xml " + std::string(data) + "?><x/>";
  ErrorCapture quiet;
  xmlDocPtr parsed = xmlReadMemory(probe.data(), static_cast<int>(probe.size()), nullptr, nullptr,
                                   XML_PARSE_NONET | XML_PARSE_IGNORE_ENC | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  if (!parsed) return false;
  xmlFreeDoc(parsed);
  return true;
}

HRESULT CheckXmlDeclarationData(const std::string& data) {
  if (XmlDeclarationReads(data)) return S_OK;
  return FailWith(E_FAIL, "\"" + data.substr(0, 64) + "\" is not the data of an XML declaration.");
}

namespace {

std::string DeclaredEncoding(xmlDocPtr doc) {
  xmlNodePtr decl = FindXmlDeclaration(doc);
  return decl ? PseudoAttribute(std::string(View(decl->content)), "encoding") : "";
}

bool IsUtf8(const std::string& encoding) {
  return encoding.empty() || xmlStrcasecmp(Xml(encoding), Xml("UTF-8")) == 0;
}

// Whether the document's XML declaration (its data as set, if set by the
// host) reads as one: a document saved with it must load again.
bool DeclarationReads(xmlDocPtr doc) {
  xmlNodePtr decl = FindXmlDeclaration(doc);
  return !decl || XmlDeclarationReads(View(decl->content));
}

// Whether a small document written in the encoding, as a save writes it
// (a byte-order mark where the converter starts with one), loads again:
// UTF-7 writes "<" as "+ADw-", UCS-4 aliases write what a load takes for
// UTF-16, and neither reads back.
bool LoadsBack(const std::string& encoding) {
  const std::string probe = "<?xml version=\"1.0\" encoding=\"" + encoding + "\"?><r a=\"v\">t</r>";
  xmlCharEncodingHandlerPtr fresh = xmlFindCharEncodingHandler(encoding.c_str());
  xmlBufferPtr in = xmlBufferCreate(), out = xmlBufferCreate();
  bool written = fresh && in && out && xmlCharEncOutFunc(fresh, out, nullptr) >= 0 &&
                 xmlBufferAdd(in, Xml(probe), static_cast<int>(probe.size())) == 0 &&
                 xmlCharEncOutFunc(fresh, out, in) >= 0;
  std::string bytes;
  if (written) bytes.assign(reinterpret_cast<const char*>(xmlBufferContent(out)), xmlBufferLength(out));
  for (xmlBufferPtr b : {in, out})
    if (b) xmlBufferFree(b);
  if (fresh) xmlCharEncCloseFunc(fresh);
  if (!written) return false;
  LoadOptions options;
  options.validateOnParse = false;
  ParseOutcome back = ParseBytes(bytes.data(), bytes.size(), std::string(), options);
  if (!back.doc) return false;
  xmlNodePtr root = xmlDocGetRootElement(back.doc);
  xmlChar* text = root ? xmlNodeGetContent(root) : nullptr;
  const bool same = root && xmlStrEqual(root->name, Xml("r")) && xmlStrEqual(text, Xml("t"));
  xmlFree(text);
  xmlFreeDoc(back.doc);
  return same;
}

// The encoding a save writes (as the declaration names it; "" for UTF-8)
// and libxml2's converter for it (null for UTF-8, else the caller's to
// close). E_FAIL with a reason for an encoding that cannot be written, or
// whose output a load would not read back.
HRESULT OutputConverter(xmlDocPtr doc, std::string* encoding, xmlCharEncodingHandlerPtr* handler,
                        std::string* reason) {
  *handler = nullptr;
  *encoding = DeclaredEncoding(doc);
  auto fail = [&](const std::string& why) {
    if (reason) *reason = why;
    if (*handler) xmlCharEncCloseFunc(*handler);
    *handler = nullptr;
    return E_FAIL;
  };
  if (encoding->empty()) {
    xmlNodePtr decl = FindXmlDeclaration(doc);
    std::string value;
    if (decl && HasPseudoAttribute(std::string(View(decl->content)), "encoding", &value))
      return fail("The XML declaration names an empty encoding.");
  }
  if (!DeclarationReads(doc)) return fail("The XML declaration is not well formed, so the output would not load.");
  if (IsUtf8(*encoding)) return S_OK;
  *handler = xmlFindCharEncodingHandler(encoding->c_str());
  if (!*handler) return fail("The encoding \"" + *encoding + "\" is not supported.");
  // libxml2 writes "HTML" (named entities) but cannot read it; iconv's
  // UTF-32 opens with a byte-order mark that a load takes for UTF-16.
  const bool readable = (*handler)->input || (*handler)->iconv_in || (*handler)->uconv_in;
  if (!readable || !LoadsBack(*encoding))
    return fail("A document saved in the encoding \"" + *encoding + "\" could not be loaded again.");
  return S_OK;
}

}  // namespace

std::string FoldedEncodingName(const std::string& name) {
  std::string folded;
  for (unsigned char c : name)
    if (std::isalnum(c)) folded.push_back(static_cast<char>(std::tolower(c)));
  return folded;
}

HRESULT CheckWritable(xmlDocPtr doc, std::string* reason) {
  std::string encoding;
  xmlCharEncodingHandlerPtr handler = nullptr;
  HRESULT hr = OutputConverter(doc, &encoding, &handler, reason);
  if (FAILED(hr) || !handler) return hr;
  std::string unwritable;
  const Converter converter(handler);
  const bool icu = converter.OnlyThroughIcu();
  try {
    unwritable = Unwritable(doc, converter);
  } catch (...) {
    xmlCharEncCloseFunc(handler);
    throw;
  }
  xmlCharEncCloseFunc(handler);
  if (unwritable.empty()) return S_OK;
  if (reason)
    *reason = "\"" + unwritable.substr(0, 64) + "\" holds a character that " + encoding +
              " cannot hold in a name, identifier, comment, processing instruction or CDATA section" +
              (icu ? std::string(" (nor, written through ICU, in text).") : std::string("."));
  return E_FAIL;
}

HRESULT WriteDocument(xmlDocPtr doc, const std::function<bool(const char*, size_t)>& write,
                      std::string* reason) {
  std::string encoding;
  xmlCharEncodingHandlerPtr handler = nullptr;
  HRESULT hr = OutputConverter(doc, &encoding, &handler, reason);
  if (FAILED(hr)) return hr;
  ErrorCapture capture;
  // While the tree is changed for libxml2 (see the classes above), the
  // writer (the host's stream, which may read the tree) gets nothing: the
  // output waits until the tree is as it was.
  std::string held;
  const std::function<bool(const char*, size_t)> hold = [&held](const char* data, size_t n) {
    held.append(data, n);
    return true;
  };
  WriteContext ctx{&write};
  xmlOutputBufferPtr out = xmlOutputBufferCreateIO(WriteCallback, CloseCallback, &ctx, handler);
  if (!out) {
    if (handler) xmlCharEncCloseFunc(handler);
    throw std::bad_alloc();
  }
  const char* encName = encoding.empty() ? nullptr : encoding.c_str();
  int rc = 0;
  bool holding = false;
  {
    OutputEncoding declared(doc, encName ? encName : "UTF-8");
    ScopedDeclarations namespaces(reinterpret_cast<xmlNodePtr>(doc));
    PlacedDeclarations placed(reinterpret_cast<xmlNodePtr>(doc));
    EscapedNamespaceNames escaped(reinterpret_cast<xmlNodePtr>(doc));
    holding = namespaces.Changed() || placed.Changed() || escaped.Changed();
    if (holding) ctx.write = &hold;
    for (xmlNodePtr c = doc->children; c && !ctx.failed; c = c->next) {
      if (!IsExposedChild(c)) continue;
      if (IsXmlDeclaration(c)) {
        std::string text = "<?xml " + std::string(View(c->content)) + "?>";
        xmlOutputBufferWriteString(out, text.c_str());
      } else if (const xmlChar* doctype = WrittenDoctype(c)) {
        xmlOutputBufferWriteString(out, reinterpret_cast<const char*>(doctype));
      } else {
        xmlNodeDumpOutput(out, doc, c, 0, 0, encName);
      }
      xmlOutputBufferWriteString(out, "\r\n");
    }
    rc = xmlOutputBufferClose(out);
  }
  if (holding && !ctx.failed && rc >= 0 && !held.empty() && !write(held.data(), held.size())) ctx.failed = true;
  if (ctx.failed || rc < 0) {
    if (reason) *reason = ctx.failed ? "The output could not be written." : capture.Reason("The document could not be serialised.");
    return E_FAIL;
  }
  return S_OK;
}

}  // namespace ardo::engine
