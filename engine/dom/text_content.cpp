#include "engine/dom/text_content.h"

#include <vector>

#include "engine/common/bstr_text.h"
#include "engine/dom/node_navigation.h"

namespace ardo::engine {
int DeclaredSpace(xmlNodePtr element) {
  for (xmlAttrPtr a = element->properties; a; a = a->next) {
    if (!a->ns || !xmlStrEqual(a->name, Xml("space")) || !xmlStrEqual(a->ns->href, XML_XML_NAMESPACE))
      continue;
    xmlNodePtr t = a->children;
    std::string_view v = (t && !t->next && t->type == XML_TEXT_NODE) ? View(t->content) : "";
    if (v == "preserve") return 1;
    if (v == "default") return 0;
  }
  return -1;
}

namespace {

class TextBuilder {
 public:
  void AddRaw(std::string_view s) {
    if (s.empty()) return;
    FlushSpace();
    out_.append(s);
  }
  // Text whose white space at both ends is normalised.
  void AddNormalised(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && IsXmlSpace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && IsXmlSpace(static_cast<unsigned char>(s[e - 1]))) --e;
    if (b == e) {
      if (!s.empty()) pendingSpace_ = true;
      return;
    }
    if (b > 0) pendingSpace_ = true;
    FlushSpace();
    out_.append(s.substr(b, e - b));
    if (e < s.size()) pendingSpace_ = true;
  }
  std::string Take() { return std::move(out_); }

 private:
  void FlushSpace() {
    if (pendingSpace_ && !out_.empty()) out_.push_back(' ');
    pendingSpace_ = false;
  }
  std::string out_;
  bool pendingSpace_ = false;
};

void CollectText(xmlNodePtr root, bool docPreserve, bool preserve, TextBuilder* out) {
  struct Frame {
    xmlNodePtr node;
    bool preserve;
  };
  std::vector<Frame> stack;
  auto pushChildren = [&](xmlNodePtr parent, bool keep) {
    xmlNodePtr last = DomLastChild(parent);
    for (xmlNodePtr c = last; c; c = DomPreviousSibling(c)) stack.push_back({c, keep});
  };
  pushChildren(root, preserve);
  while (!stack.empty()) {
    Frame f = stack.back();
    stack.pop_back();
    switch (f.node->type) {
      case XML_TEXT_NODE:
        if (f.preserve) {
          out->AddRaw(View(f.node->content));
        } else {
          out->AddNormalised(View(f.node->content));
        }
        break;
      case XML_CDATA_SECTION_NODE:
        out->AddRaw(View(f.node->content));
        break;
      case XML_ELEMENT_NODE: {
        int declared = DeclaredSpace(f.node);
        bool keep = docPreserve || (declared < 0 ? f.preserve : declared == 1);
        pushChildren(f.node, keep);
        break;
      }
      case XML_ENTITY_REF_NODE:
        if (const xmlChar* text = PredefinedText(f.node)) {
          out->AddRaw(View(text));
        } else {
          pushChildren(f.node, f.preserve);
        }
        break;
      default:
        break;
    }
  }
}

}  // namespace

bool SpacePreservedAt(xmlNodePtr node) {
  for (xmlNodePtr p = node; p; p = p->parent) {
    if (p->type != XML_ELEMENT_NODE) continue;
    int declared = DeclaredSpace(p);
    if (declared >= 0) return declared == 1;
  }
  return false;
}

const xmlChar* PredefinedText(xmlNodePtr ref) {
  if (ref->type != XML_ENTITY_REF_NODE || DomFirstChild(ref)) return nullptr;
  xmlEntityPtr predefined = xmlGetPredefinedEntity(ref->name);
  return predefined ? predefined->content : nullptr;
}

std::string AttributeValue(xmlAttrPtr attr) {
  xmlNodePtr t = attr->children;
  if (!t) return std::string();
  if (!t->next && t->type == XML_TEXT_NODE) return std::string(View(t->content));
  // Text and references (a predefined one, such as a created &amp;, has no
  // content nodes: its character is its value).
  std::string s;
  for (; t; t = t->next) {
    if (t->type == XML_TEXT_NODE) {
      s += View(t->content);
    } else if (const xmlChar* text = PredefinedText(t)) {
      s += View(text);
    } else if (t->type == XML_ENTITY_REF_NODE) {
      s += TextOf(t, true);
    }
  }
  return s;
}

std::string TextOf(xmlNodePtr node, bool docPreserve) {
  if (const xmlChar* text = PredefinedText(node)) return std::string(View(text));
  switch (node->type) {
    case XML_ATTRIBUTE_NODE:
      return AttributeValue(reinterpret_cast<xmlAttrPtr>(node));
    case XML_NAMESPACE_DECL:
      return std::string(View(reinterpret_cast<xmlNsPtr>(node)->href));
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE:
    case XML_PI_NODE:
      return std::string(View(node->content));
    case XML_TEXT_NODE: {
      if (docPreserve || (node->parent && SpacePreservedAt(node->parent)))
        return std::string(View(node->content));
      TextBuilder b;
      b.AddNormalised(View(node->content));
      return b.Take();
    }
    case XML_ELEMENT_NODE:
    case XML_DOCUMENT_NODE:
    case XML_HTML_DOCUMENT_NODE:
    case XML_DOCUMENT_FRAG_NODE:
    case XML_ENTITY_REF_NODE:
    case XML_ENTITY_DECL: {
      bool preserve = docPreserve;
      if (!preserve) {
        xmlNodePtr scope = node->type == XML_ELEMENT_NODE ? node : node->parent;
        if (scope) preserve = SpacePreservedAt(scope);
      }
      TextBuilder b;
      CollectText(node, docPreserve, preserve, &b);
      return b.Take();
    }
    default:
      return std::string();
  }
}

}  // namespace ardo::engine
