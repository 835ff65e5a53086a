#include "engine/xslt/stylesheet_transform.h"

#include <algorithm>
#include <cmath>
#include <string_view>
#include <vector>

#include <libxml/parserInternals.h>
#include <libxml/xpathInternals.h>
#include <libxslt/extensions.h>
#include <libxslt/documents.h>
#include <libxslt/imports.h>
#include <libxslt/security.h>
#include <libxslt/templates.h>
#include <libxslt/transform.h>
#include <libxslt/xslt.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>

#include "engine/common/bstr_text.h"
#include "engine/common/error_capture.h"
#include "engine/dom/node_navigation.h"
#include "engine/dom/node_serializer.h"
#include "engine/dom/tree_edit.h"
#include "engine/xpath/ms_functions.h"

namespace ardo::engine {
namespace {

// A private copy of a document, without its XML declaration node (which
// is no node of the XSLT data model).
xmlDocPtr PrivateCopy(xmlDocPtr doc) {
  CheckCopyDepth(reinterpret_cast<xmlNodePtr>(doc));
  xmlDocPtr copy;
  {
    ScopedDeclarations declared(reinterpret_cast<xmlNodePtr>(doc));
    copy = xmlCopyDoc(doc, 1);
  }
  if (!copy) throw std::bad_alloc();
  if (xmlNodePtr decl = FindXmlDeclaration(copy)) {
    xmlUnlinkNode(decl);
    xmlFreeNode(decl);
  }
  return copy;
}

// The copy of node in copy, a document made by PrivateCopy of node's
// document, or by SubtreeCopy of the top of node's detached tree: found by
// the positions of node and its ancestors among their siblings (the
// declaration node, absent from the copy, not counted).
xmlNodePtr CounterpartIn(xmlDocPtr copy, xmlNodePtr node) {
  std::vector<int> positions;
  xmlNodePtr top = node;
  for (; top->parent; top = top->parent) {
    int position = 0;
    for (xmlNodePtr s = top->parent->children; s && s != top; s = s->next)
      if (!(s->parent->type == XML_DOCUMENT_NODE && IsXmlDeclaration(s))) ++position;
    positions.push_back(position);
  }
  // A detached top is the copy's one child; a fragment's children are the
  // copy's own.
  if (top->type != XML_DOCUMENT_NODE && top->type != XML_DOCUMENT_FRAG_NODE) positions.push_back(0);
  xmlNodePtr n = reinterpret_cast<xmlNodePtr>(copy);
  for (auto it = positions.rbegin(); n && it != positions.rend(); ++it) {
    n = n->children;
    for (int i = 0; n && i < *it; ++i) n = n->next;
  }
  return n;
}

// Declares on copy every namespace in scope at element that copy does not
// declare itself: prefixes that only expressions and patterns use (an
// embedded style sheet's "q:item") need their binding as much as names do.
void DeclareInScope(xmlNodePtr element, xmlNodePtr copy) {
  xmlNsPtr* scope = xmlGetNsList(element->doc, element);
  if (!scope) return;
  for (xmlNsPtr* ns = scope; *ns; ++ns) {
    bool declared = false;
    for (xmlNsPtr d = copy->nsDef; d && !declared; d = d->next) declared = xmlStrEqual(d->prefix, (*ns)->prefix);
    if (!declared && !xmlNewNs(copy, (*ns)->href, (*ns)->prefix)) {
      xmlFree(scope);
      throw std::bad_alloc();
    }
  }
  xmlFree(scope);
}

// The node after n's subtree in document order within root; null after
// the last.
xmlNodePtr AfterSubtree(xmlNodePtr n, const xmlNode* root) {
  while (n != root && !n->next) n = n->parent;
  return n == root ? nullptr : n->next;
}

// Puts a copy of ref's entity's content (original's entity, whose parsed
// content a copied document type does not carry) in ref's place and frees
// ref; the nodes put in, in order.
std::vector<xmlNodePtr> ExpandReference(xmlDocPtr copy, xmlDocPtr original, xmlNodePtr ref) {
  xmlEntityPtr entity = original ? xmlGetDocEntity(original, ref->name) : nullptr;
  xmlNodePtr content = nullptr;
  if (entity && entity->children) {
    if (!(content = xmlDocCopyNodeList(copy, entity->children))) throw std::bad_alloc();
  } else if (entity && entity->etype == XML_INTERNAL_PREDEFINED_ENTITY) {
    // "&amp;" made by createEntityReference: its character.
    if (!(content = xmlNewDocText(copy, entity->content))) throw std::bad_alloc();
  }
  std::vector<xmlNodePtr> added;
  while (content) {
    xmlNodePtr next = content->next;
    content->prev = content->next = nullptr;
    LinkChild(ref->parent, content, ref);
    added.push_back(content);
    content = next;
  }
  xmlUnlinkNode(ref);
  ref->children = ref->last = nullptr;  // the entity's, not the reference's
  xmlFreeNode(ref);
  return added;
}

// Shapes a private copy as the XSLT data model has a tree. Entity
// references are expanded: each one, in content and in attribute values,
// gives way to its entity's content (references within that content in
// turn); a start node that is a reference gives way to that content in
// starts too.
void ShapeAsDataModel(xmlDocPtr copy, xmlDocPtr original, xmlNodeSetPtr starts) {
  auto expand = [&](xmlNodePtr ref) {
    // Out of the set before it is freed: taking a node out reads its type.
    const bool start = starts && starts->nodeNr == 1 && starts->nodeTab[0] == ref;
    if (start) xmlXPathNodeSetDel(starts, ref);
    std::vector<xmlNodePtr> added = ExpandReference(copy, original, ref);
    if (start)
      for (xmlNodePtr n : added) xmlXPathNodeSetAdd(starts, n);
    return added.empty() ? nullptr : added.front();
  };
  xmlNodePtr root = reinterpret_cast<xmlNodePtr>(copy);
  xmlNodePtr n = root->children;
  while (n) {
    if (n->type == XML_ELEMENT_NODE) {
      for (xmlAttrPtr a = n->properties; a; a = a->next) {
        for (xmlNodePtr c = a->children; c;) {
          xmlNodePtr next = c->next;
          xmlNodePtr first = c->type == XML_ENTITY_REF_NODE ? expand(c) : nullptr;
          c = first ? first : next;
        }
      }
    }
    if (n->type != XML_ENTITY_REF_NODE) {
      n = NextWithin(n, root);
      continue;
    }
    xmlNodePtr after = AfterSubtree(n, root);
    xmlNodePtr first = expand(n);
    n = first ? first : after;
  }
  // Nor has the data model CDATA sections: theirs is text like any other
  // (libxslt would pass them by in node() patterns, and copy them as CDATA).
  for (n = root->children; n; n = NextWithin(n, root)) {
    if (n->type != XML_CDATA_SECTION_NODE) continue;
    n->type = XML_TEXT_NODE;
    n->name = xmlStringText;
  }
  // Nor two text nodes side by side: the text that a reference brought in
  // joins the text around it (where a run starts from a reference, its
  // content stays apart from its neighbours).
  auto isStart = [&](xmlNodePtr node) { return starts && xmlXPathNodeSetContains(starts, node); };
  for (n = root->children; n; n = NextWithin(n, root)) {
    while (n->type == XML_TEXT_NODE && n->next && n->next->type == XML_TEXT_NODE && n->name == n->next->name &&
           !isStart(n) && !isStart(n->next)) {
      if (!xmlTextMerge(n, n->next)) throw std::bad_alloc();
    }
  }
}

// Messages that do not end the run are the style sheet author's notes: no
// part of a result or of the reason a run fails. A private copy of a style
// sheet goes without them.
void DropNotes(xmlDocPtr styleDoc) {
  xmlNodePtr root = reinterpret_cast<xmlNodePtr>(styleDoc);
  xmlNodePtr n = root->children;
  while (n) {
    if (n->type == XML_ELEMENT_NODE && n->ns && xmlStrEqual(n->ns->href, XSLT_NAMESPACE) &&
        xmlStrEqual(n->name, Xml("message"))) {
      xmlChar* terminate = xmlGetNsProp(n, Xml("terminate"), nullptr);
      const bool note = !terminate || xmlStrEqual(terminate, Xml("no"));
      xmlFree(terminate);
      if (note) {
        xmlNodePtr after = AfterSubtree(n, root);
        xmlUnlinkNode(n);
        xmlFreeNode(n);
        n = after;
        continue;
      }
    }
    n = NextWithin(n, root);
  }
}

// A document of node's own: the document itself, or a copy of node's
// subtree as a document of its own.
xmlDocPtr SubtreeCopy(xmlNodePtr node) {
  if (node->type == XML_DOCUMENT_NODE) return PrivateCopy(reinterpret_cast<xmlDocPtr>(node));
  CheckCopyDepth(node);
  xmlDocPtr copy = xmlNewDoc(Xml("1.0"));
  if (!copy) throw std::bad_alloc();
  // Relative imports, includes and document() calls resolve against the
  // document the node comes from.
  if (node->doc && node->doc->URL && !(copy->URL = xmlStrdup(node->doc->URL))) {
    xmlFreeDoc(copy);
    throw std::bad_alloc();
  }
  xmlNodePtr top;
  {
    ScopedDeclarations declared(node);
    top = xmlDocCopyNode(node, copy, 1);
  }
  if (!top) {
    xmlFreeDoc(copy);
    throw std::bad_alloc();
  }
  if (top->type == XML_ELEMENT_NODE) {
    xmlDocSetRootElement(copy, top);
    DeclareInScope(node, top);
  } else if (top->type == XML_DOCUMENT_FRAG_NODE) {
    // A fragment's children are the document's: the fragment node is no
    // node of the XSLT data model.
    while (xmlNodePtr c = top->children) {
      xmlUnlinkNode(c);
      xmlAddChild(reinterpret_cast<xmlNodePtr>(copy), c);
    }
    xmlFreeNode(top);
  } else {
    xmlAddChild(reinterpret_cast<xmlNodePtr>(copy), top);
  }
  return copy;
}

// A transformation of a node other than a document starts at that node,
// with the whole tree around it for the style sheet to reach: a template
// for the root in a mode of its own, added to the style sheet and the mode
// the run opens in, applies the templates to the node, which the function
// below hands over.
constexpr char kStartUri[] = "urn:ardoxml:transform-start";

void StartNodeFunction(xmlXPathParserContextPtr parser, int nargs) {
  if (nargs != 0) {
    xmlXPathSetArityError(parser);
    return;
  }
  xsltTransformContextPtr ctxt = xsltXPathGetTransformContext(parser);
  auto* starts = ctxt ? static_cast<xmlNodeSetPtr>(ctxt->_private) : nullptr;
  valuePush(parser, xmlXPathWrapNodeSet(xmlXPathNodeSetMerge(nullptr, starts)));
}

// The document() function where AllowDocumentFunction is off: the run
// stops with the reason.
void RefusedDocumentFunction(xmlXPathParserContextPtr parser, int nargs) {
  for (int i = 0; i < nargs; ++i) xmlXPathFreeObject(valuePop(parser));
  xsltTransformContextPtr ctxt = xsltXPathGetTransformContext(parser);
  xsltTransformError(ctxt, nullptr, nullptr,
                     "The document() function is not allowed: the style sheet's AllowDocumentFunction is off.\n");
  if (ctxt) ctxt->state = XSLT_STATE_STOPPED;
  valuePush(parser, xmlXPathNewNodeSet(nullptr));
}

// The root of the tree that holds node: its document, or the top of a
// detached subtree or fragment.
xmlNodePtr TopOf(xmlNodePtr node) {
  while (node->parent) node = node->parent;
  return node;
}

// Puts f in the place of one of libxslt's functions (in no namespace) for
// one run.
void ReplaceFunction(xsltTransformContextPtr ctxt, const char* name, xmlXPathFunction f) {
  xmlXPathRegisterFuncNS(ctxt->xpathCtxt, Xml(name), nullptr, nullptr);
  if (xmlXPathRegisterFunc(ctxt->xpathCtxt, Xml(name), f) != 0) throw std::bad_alloc();
}

// system-property() as the platform's processor answers it: its vendor,
// XSLT 1.0, and (msxsl:version) the processor's own version.
template <int kProcessorVersion>
void SystemPropertyFunction(xmlXPathParserContextPtr parser, int nargs) {
  if (nargs != 1) {
    xmlXPathSetArityError(parser);
    return;
  }
  xmlChar* qname = xmlXPathPopString(parser);
  if (parser->error) {
    xmlFree(qname);
    return;
  }
  xmlChar* prefix = nullptr;
  xmlChar* local = xmlSplitQName2(qname, &prefix);
  const xmlChar* uri = nullptr;
  if (local) {
    uri = xmlXPathNsLookup(parser->context, prefix);
    if (!uri)
      xsltTransformError(xsltXPathGetTransformContext(parser), nullptr, nullptr,
                         "system-property(): the prefix %s is not bound.\n", prefix);
  }
  auto is = [&](const char* ns, const char* name) { return xmlStrEqual(uri, Xml(ns)) && xmlStrEqual(local, Xml(name)); };
  const char* xslt = reinterpret_cast<const char*>(XSLT_NAMESPACE);
  xmlXPathObjectPtr value;
  if (is(xslt, "version")) value = xmlXPathNewFloat(1.0);
  else if (is(xslt, "vendor")) value = xmlXPathNewString(Xml("Microsoft"));
  else if (is(xslt, "vendor-url")) value = xmlXPathNewString(Xml("http://www.microsoft.com"));
  else if (is(kMsXslNamespace, "version")) value = xmlXPathNewFloat(kProcessorVersion);
  else value = xmlXPathNewString(Xml(""));
  xmlFree(local);
  xmlFree(prefix);
  xmlFree(qname);
  valuePush(parser, value);
}

// The value of an xsl:sort attribute: its constant, else its attribute
// value template evaluated now; empty when the attribute is absent.
std::string SortAttribute(xsltTransformContextPtr ctxt, xmlNodePtr sort, const xmlChar* constant, const char* name) {
  if (constant) return reinterpret_cast<const char*>(constant);
  if (!xmlHasProp(sort, Xml(name))) return std::string();
  xmlChar* value = xsltEvalAttrValueTemplate(ctxt, sort, Xml(name), XSLT_NAMESPACE);
  std::string text = value ? reinterpret_cast<const char*>(value) : "";
  xmlFree(value);
  return text;
}

// xsl:sort as the platform's processor sorts: text in the culture-aware
// order of ms:string-compare (lower case first unless case-order says
// upper-first; libxslt would compare code points), numbers with NaN before
// all others, each key ascending or descending, and nodes that tie on every
// key in the order they came.
void PlatformSort(xsltTransformContextPtr ctxt, xmlNodePtr* sorts, int nbsorts) {
  xmlNodeSetPtr list = ctxt ? ctxt->nodeList : nullptr;
  if (!list || list->nodeNr <= 1 || !sorts || nbsorts <= 0) return;
  struct Key {
    xmlXPathObjectPtr* values = nullptr;  // one a node, or null where it could not be computed
    std::vector<CollationKey> texts;      // a text key's values, ready to compare
    bool number = false, descending = false, upperFirst = false;
  };
  const int count = list->nodeNr;
  std::vector<Key> keys;
  auto freeValues = [&] {
    for (Key& key : keys) {
      for (int i = 0; i < count; ++i) xmlXPathFreeObject(key.values[i]);
      xmlFree(key.values);
    }
  };
  try {
    keys.reserve(nbsorts);
    for (int k = 0; k < nbsorts; ++k) {
      auto* comp = sorts[k] ? static_cast<xsltStylePreCompPtr>(sorts[k]->psvi) : nullptr;
      if (!comp) break;
      Key key;
      key.number = comp->number;
      if (!comp->stype && comp->has_stype)
        key.number = SortAttribute(ctxt, sorts[k], nullptr, "data-type") == "number";
      key.descending = comp->descending;
      if (!comp->order && comp->has_order)
        key.descending = SortAttribute(ctxt, sorts[k], nullptr, "order") == "descending";
      key.upperFirst = SortAttribute(ctxt, sorts[k], comp->case_order, "case-order") == "upper-first";
      // The values are computed as text or as numbers as the key's data
      // type says at this moment.
      const int constantNumber = comp->number;
      comp->number = key.number;
      key.values = xsltComputeSortResult(ctxt, sorts[k]);
      comp->number = constantNumber;
      if (!key.values) break;
      keys.push_back(std::move(key));  // reserved: cannot fail, so the values are always freed
      if (keys.back().number) continue;
      keys.back().texts.reserve(count);
      for (int i = 0; i < count; ++i) {
        xmlXPathObjectPtr v = keys.back().values[i];
        keys.back().texts.push_back(CollationKeyOf(v && v->stringval ? View(v->stringval) : std::string_view()));
      }
    }
    auto compare = [](const Key& key, int x, int y) {
      xmlXPathObjectPtr a = key.values[x], b = key.values[y];
      if (!a || !b) return a == b ? 0 : a ? -1 : 1;  // not computed: last, whatever the order
      int c;
      if (key.number) {
        bool nanA = std::isnan(a->floatval), nanB = std::isnan(b->floatval);
        c = nanA || nanB ? int(nanB) - int(nanA) : a->floatval < b->floatval ? -1 : a->floatval > b->floatval ? 1 : 0;
      } else {
        c = CompareCollationKeys(key.texts[x], key.texts[y], false, key.upperFirst);
      }
      return key.descending ? -c : c;
    };
    // Nodes that tie on every key keep their order.
    std::vector<int> order(count);
    for (int i = 0; i < count; ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](int x, int y) {
      for (const Key& key : keys)
        if (int c = compare(key, x, y)) return c < 0;
      return x < y;
    });
    std::vector<xmlNodePtr> sorted(count);
    for (int i = 0; i < count; ++i) sorted[i] = list->nodeTab[order[i]];
    std::copy(sorted.begin(), sorted.end(), list->nodeTab);
  } catch (const std::bad_alloc&) {
    // Called from libxslt: nothing may unwind through it.
    xsltTransformError(ctxt, nullptr, nullptr, "Out of memory while sorting.\n");
    ctxt->state = XSLT_STATE_STOPPED;
  }
  freeValues();
}

// True for a node that a transformation starts at: a node other than a
// document or fragment, which a copy of the tree it is in has a
// counterpart for (not in a document type or an entity, and not the XML
// declaration).
bool StartsAtNode(xmlNodePtr node) {
  return node->type != XML_DOCUMENT_NODE && node->type != XML_DOCUMENT_FRAG_NODE && !IsXmlDeclaration(node) &&
         !IsReadOnly(node);
}

// The start node's copy in source, once xsl:strip-space has taken the
// blank text it names out of source (libxslt would do it at the start of
// the run, freeing a start node of blank text); null when the start node
// itself went.
xmlNodePtr StrippedCounterpart(xsltTransformContextPtr ctxt, xmlDocPtr source, xmlNodePtr node) {
  xmlNodePtr start = CounterpartIn(source, node);
  if (!start || !xsltNeedElemSpaceHandling(ctxt)) return start;
  xmlNodePtr parent = start->parent;
  xsltApplyStripSpaces(ctxt, xmlDocGetRootElement(source));
  // Stripping only frees nodes: an address still among the parent's
  // children is the start node.
  for (xmlNodePtr c = parent ? parent->children : nullptr; c; c = c->next)
    if (c == start) return start;
  return parent ? nullptr : start;
}

// Adds the starting template to a style sheet document; false when the style
// sheet is a literal result element, which has no room for one.
bool AddStartTemplate(xmlDocPtr styleDoc) {
  xmlNodePtr root = xmlDocGetRootElement(styleDoc);
  if (!root || !root->ns || !xmlStrEqual(root->ns->href, XSLT_NAMESPACE) ||
      !(xmlStrEqual(root->name, Xml("stylesheet")) || xmlStrEqual(root->name, Xml("transform"))))
    return false;
  xmlNodePtr templ = xmlNewChild(root, root->ns, Xml("template"), nullptr);
  xmlNodePtr apply = templ ? xmlNewChild(templ, root->ns, Xml("apply-templates"), nullptr) : nullptr;
  xmlNsPtr start = apply ? xmlNewNs(templ, Xml(kStartUri), Xml("ardo-start")) : nullptr;
  if (!start || !xmlNewProp(templ, Xml("match"), Xml("/")) ||
      !xmlNewProp(templ, Xml("mode"), Xml("ardo-start:start")) ||
      !xmlNewProp(apply, Xml("select"), Xml("ardo-start:node()")))
    throw std::bad_alloc();
  return true;
}

// Serialises a result; with forceUtf8 the bytes are UTF-8 whatever
// xsl:output names. Bytes in no encoding named are UTF-8 and say so, in
// the XML declaration as in the HTML method's meta element.
bool SaveResult(xmlDocPtr result, xsltStylesheetPtr style, bool forceUtf8, std::string* out) {
  if (!forceUtf8) {
    // libxslt writes UTF-8 under an encoding name it does not know.
    const xmlChar* encoding;
    XSLT_GET_IMPORT_PTR(encoding, style, encoding)
    xmlCharEncodingHandlerPtr handler =
        encoding ? xmlFindCharEncodingHandler(reinterpret_cast<const char*>(encoding)) : nullptr;
    if (encoding && !handler) {
      xsltTransformError(nullptr, nullptr, nullptr, "The output encoding \"%s\" is not supported.\n", encoding);
      return false;
    }
    if (handler) xmlCharEncCloseFunc(handler);
    forceUtf8 = !encoding;
  }
  xmlChar* savedEncoding = nullptr;
  if (forceUtf8) {
    savedEncoding = const_cast<xmlChar*>(style->encoding);
    style->encoding = xmlStrdup(Xml("UTF-8"));
  }
  xmlChar* buf = nullptr;
  int len = 0;
  int rc = xsltSaveResultToString(&buf, &len, result, style);
  if (forceUtf8) {
    xmlFree(const_cast<xmlChar*>(style->encoding));
    style->encoding = savedEncoding;
  }
  if (rc != 0) return false;
  if (buf) out->assign(reinterpret_cast<const char*>(buf), static_cast<size_t>(len));
  xmlFree(buf);
  return true;
}

// Whether text opens with an XML declaration (not an instruction such as
// xml-stylesheet).
bool OpensWithDeclaration(const std::string& text) {
  return text.compare(0, 5, "<?xml") == 0 && text.size() > 5 && IsXmlSpace(static_cast<unsigned char>(text[5]));
}

// The text goes into a UTF-16 string: the declaration that the XML method
// writes, or the character set of the meta element that the HTML method
// adds, says so. What the templates wrote themselves is left as it is.
void DeclareUtf16(std::string* text, xmlDocPtr result, xsltStylesheetPtr style) {
  const xmlChar* method;
  int omitDeclaration;
  XSLT_GET_IMPORT_PTR(method, style, method)
  XSLT_GET_IMPORT_INT(omitDeclaration, style, omitXmlDeclaration)
  const bool html = result->type == XML_HTML_DOCUMENT_NODE;
  if (!html && method && xmlStrEqual(method, Xml("text"))) return;
  if (!html) {
    if (omitDeclaration == 1 || !OpensWithDeclaration(*text)) return;
    size_t end = text->find("?>");
    size_t pos = text->find("encoding=\"UTF-8\"");
    if (pos != std::string::npos && pos < end) text->replace(pos, 16, "encoding=\"UTF-16\"");
    return;
  }
  static const std::string kAdded = "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\">";
  if (size_t at = text->find(kAdded); at != std::string::npos) {
    text->replace(at, kAdded.size(), "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-16\">");
    return;
  }
  static const std::string kMeta = "content=\"text/html; charset=UTF-8\"";
  size_t pos = text->find(kMeta);
  if (pos != std::string::npos) text->replace(pos, kMeta.size(), "content=\"text/html; charset=UTF-16\"");
}

// Whether the output encoding writes ASCII characters in more than a byte
// each (the tidying after the serialiser looks for ASCII text).
bool WideOutput(xsltStylesheetPtr style) {
  const xmlChar* encoding;
  XSLT_GET_IMPORT_PTR(encoding, style, encoding)
  if (!encoding) return false;
  const std::string name = FoldedEncodingName(reinterpret_cast<const char*>(encoding));
  for (const char* wide : {"utf16", "utf32", "ucs2", "ucs4", "iso10646ucs", "unicode"})
    if (name.rfind(wide, 0) == 0) return true;
  return false;
}

// The content-type element the HTML serialiser adds is written in capitals,
// as the platform writes it: hosts look for "<META" in the output.
void CapitaliseAddedMeta(std::string* text, xmlDocPtr result) {
  static const std::string kAdded = "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=";
  if (result->type != XML_HTML_DOCUMENT_NODE) return;
  if (size_t at = text->find(kAdded); at != std::string::npos) text->replace(at, 5, "<META");
}

// The XML and HTML methods' text as a host receives it: without the line
// break that the serialiser puts at the very end, nor the one after the XML
// declaration unless indent="yes" asked for layout. The text method's
// output is exactly what the templates wrote.
void TrimLayout(std::string* text, xsltStylesheetPtr style) {
  // xsl:output may stand in an imported style sheet.
  const xmlChar* method;
  int indent;
  XSLT_GET_IMPORT_PTR(method, style, method)
  XSLT_GET_IMPORT_INT(indent, style, indent)
  if (method && xmlStrEqual(method, Xml("text"))) return;
  if (indent != 1 && OpensWithDeclaration(*text)) {
    size_t end = text->find("?>");
    if (end != std::string::npos && text->compare(end + 2, 1, "\n") == 0) text->erase(end + 2, 1);
  }
  if (!text->empty() && text->back() == '\n') text->pop_back();
}

// The style sheet's msxsl:script blocks: refused where AllowXsltScript is
// off, and not served where it is on (no script engine stands behind them).
HRESULT CheckScripts(const TransformRequest& request, std::string* reason) {
  xmlNodePtr top = request.stylesheet;
  if (top->type == XML_DOCUMENT_NODE) top = xmlDocGetRootElement(reinterpret_cast<xmlDocPtr>(top));
  if (!top) return S_OK;
  for (xmlNodePtr c = top->children; c; c = c->next) {
    if (c->type != XML_ELEMENT_NODE || !c->ns || !xmlStrEqual(c->name, Xml("script")) ||
        !xmlStrEqual(c->ns->href, Xml("urn:schemas-microsoft-com:xslt")))
      continue;
    if (reason)
      *reason = request.allowScript ? "The style sheet holds an msxsl:script block; scripts cannot run in this engine."
                                    : "The style sheet holds an msxsl:script block and AllowXsltScript is off.";
    return request.allowScript ? E_NOTIMPL : E_FAIL;
  }
  return S_OK;
}

}  // namespace

namespace {

xsltDocLoaderFunc g_defaultLoader = nullptr;

// Style sheets that libxslt reads itself (imports and includes) lose their
// notes as the one handed over does.
xmlDocPtr NoteDroppingLoader(const xmlChar* uri, xmlDictPtr dict, int options, void* ctxt, xsltLoadType type) {
  xmlDocPtr doc = g_defaultLoader(uri, dict, options, ctxt, type);
  if (doc && type == XSLT_LOAD_STYLESHEET) DropNotes(doc);
  return doc;
}

}  // namespace

void InitTransforms() {
  RegisterMsXslFunctionsForXslt();
  g_defaultLoader = xsltDocDefaultLoader;
  xsltSetLoaderFunc(NoteDroppingLoader);
}

HRESULT Transform(const TransformRequest& request, TransformTarget target, std::string* output,
                  xmlDocPtr* tree, std::string* reason) {
  if (tree) *tree = nullptr;
  // Attributes, the document type and its declarations are no trees of
  // the XSLT data model.
  auto transformable = [](xmlNodePtr n) {
    switch (n->type) {
      case XML_DOCUMENT_NODE: case XML_ELEMENT_NODE: case XML_TEXT_NODE: case XML_CDATA_SECTION_NODE:
      case XML_COMMENT_NODE: case XML_PI_NODE: case XML_ENTITY_REF_NODE: case XML_DOCUMENT_FRAG_NODE:
        return true;
      default:
        return false;
    }
  };
  auto insideAttribute = [](xmlNodePtr n) {
    for (xmlNodePtr p = n->parent; p; p = p->parent)
      if (p->type == XML_ATTRIBUTE_NODE) return true;
    return false;
  };
  if (!transformable(request.stylesheet) || !transformable(request.source) || insideAttribute(request.source) ||
      insideAttribute(request.stylesheet)) {
    if (reason)
      *reason = "Attributes and their text, document types and their declarations cannot be transformed or used as style sheets.";
    return E_INVALIDARG;
  }
  if (HRESULT scripts = CheckScripts(request, reason); FAILED(scripts)) return scripts;
  ErrorCapture capture;
  xmlDocPtr styleDoc = SubtreeCopy(request.stylesheet);
  DropNotes(styleDoc);
  // Otherwise (a document, a fragment, a literal-result style sheet) the
  // node is transformed as the root of a document of its own.
  const bool fromNode = StartsAtNode(request.source);
  bool started = false;
  try {
    started = fromNode && AddStartTemplate(styleDoc);
  } catch (...) {
    xmlFreeDoc(styleDoc);
    throw;
  }
  xsltStylesheetPtr style = xsltParseStylesheetDoc(styleDoc);
  // libxslt lets an unknown instruction pass with a warning; a 1.0 style
  // sheet with one does not compile (a later version's, read forwards-
  // compatibly, may hold one). Its other warnings (a later version, an
  // attribute it does not implement) leave the style sheet usable.
  const bool unknownInstruction = style && !style->forwards_compatible &&
                                  capture.HasMessageStartingWith("xsltStylePreCompute: unknown");
  if (!style || style->errors > 0 || unknownInstruction) {
    if (style) {
      xsltFreeStylesheet(style);
    } else {
      xmlFreeDoc(styleDoc);
    }
    if (reason) *reason = capture.Joined("The style sheet does not compile.");
    return E_FAIL;
  }
  xmlDocPtr source = nullptr;
  xsltTransformContextPtr ctxt = nullptr;
  xsltSecurityPrefsPtr security = nullptr;
  xmlDocPtr result = nullptr;
  xmlNodeSetPtr starts = nullptr;  // where a run from a node starts
  HRESULT hr = S_OK;
  try {
    // A detached node starts in a copy of its own tree, whose root stands
    // for the top of that tree.
    source = SubtreeCopy(started ? TopOf(request.source) : request.source);
    ctxt = xsltNewTransformContext(style, source);
    security = xsltNewSecurityPrefs();
    if (!ctxt || !security) throw std::bad_alloc();
    if (started) {
      if (!(starts = xmlXPathNodeSetCreate(StrippedCounterpart(ctxt, source, request.source))))
        throw std::bad_alloc();
      ctxt->_private = starts;
      if (xsltRegisterExtFunction(ctxt, Xml("node"), Xml(kStartUri), StartNodeFunction) != 0)
        throw std::bad_alloc();
      // The run opens in the start template's own mode, so that the root
      // reached later ("/" selected by the style sheet) meets the style
      // sheet's own templates. (Modes are compared as the style sheet's
      // dictionary strings.)
      ctxt->mode = xmlDictLookup(style->dict, Xml("start"), -1);
      ctxt->modeURI = xmlDictLookup(style->dict, Xml(kStartUri), -1);
      if (!ctxt->mode || !ctxt->modeURI) throw std::bad_alloc();
    }
    ShapeAsDataModel(source, request.source->doc, starts);
    xsltSetSecurityPrefs(security, XSLT_SECPREF_WRITE_FILE, xsltSecurityForbid);
    xsltSetSecurityPrefs(security, XSLT_SECPREF_CREATE_DIRECTORY, xsltSecurityForbid);
    xsltSetSecurityPrefs(security, XSLT_SECPREF_WRITE_NETWORK, xsltSecurityForbid);
    xsltSetSecurityPrefs(security, XSLT_SECPREF_READ_NETWORK, xsltSecurityForbid);
    if (!request.allowDocumentFunction) {
      xsltSetSecurityPrefs(security, XSLT_SECPREF_READ_FILE, xsltSecurityForbid);
      // document('') reads no file, but is the document() function all the same.
      ReplaceFunction(ctxt, "document", RefusedDocumentFunction);
    }
    ReplaceFunction(ctxt, "system-property",
                    request.processorVersion == 4 ? SystemPropertyFunction<4> : SystemPropertyFunction<3>);
    xsltSetCtxtSortFunc(ctxt, PlatformSort);
    xsltSetCtxtSecurityPrefs(security, ctxt);
    xsltSetTransformErrorFunc(ctxt, nullptr, ErrorCapture::GenericMessage);
    result = xsltApplyStylesheetUser(style, source, nullptr, nullptr, nullptr, ctxt);
    if (!result || ctxt->state == XSLT_STATE_ERROR || ctxt->state == XSLT_STATE_STOPPED ||
        capture.HasMessageStartingWith("runtime error")) {
      if (reason) *reason = capture.Joined("The transformation failed.");
      hr = E_FAIL;
    } else if (target == TransformTarget::Tree) {
      // An HTML result is a tree of the same shape; the DOM takes it as XML.
      if (result->type == XML_HTML_DOCUMENT_NODE) result->type = XML_DOCUMENT_NODE;
      // Escaping is the serialiser's to disable: a tree handed back holds
      // ordinary text.
      for (xmlNodePtr n = reinterpret_cast<xmlNodePtr>(result); n; n = NextWithin(n, reinterpret_cast<xmlNodePtr>(result)))
        if (n->type == XML_TEXT_NODE && n->name == xmlStringTextNoenc) n->name = xmlStringText;
      *tree = result;
      result = nullptr;
    } else if (!SaveResult(result, style, target == TransformTarget::Text, output)) {
      if (reason) *reason = capture.Joined("The transformation output could not be written.");
      hr = E_FAIL;
    } else if (target == TransformTarget::Text || !WideOutput(style)) {
      if (target == TransformTarget::Text) DeclareUtf16(output, result, style);
      CapitaliseAddedMeta(output, result);
      TrimLayout(output, style);
    }
  } catch (...) {
    if (result) xmlFreeDoc(result);
    if (ctxt) xsltFreeTransformContext(ctxt);
    if (security) xsltFreeSecurityPrefs(security);
    // The start nodes first: freeing the set reads their types, and they
    // are nodes of source.
    xmlXPathFreeNodeSet(starts);
    if (source) xmlFreeDoc(source);
    xsltFreeStylesheet(style);
    throw;
  }
  if (result) xmlFreeDoc(result);
  xsltFreeTransformContext(ctxt);
  xsltFreeSecurityPrefs(security);
  xmlXPathFreeNodeSet(starts);
  xmlFreeDoc(source);
  xsltFreeStylesheet(style);
  return hr;
}

}  // namespace ardo::engine
