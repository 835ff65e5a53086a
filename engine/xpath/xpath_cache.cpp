#include "engine/xpath/xpath_cache.h"

#include <algorithm>
#include <functional>
#include <new>
#include <tuple>

#include <libxml/xpathInternals.h>

#include "engine/common/bstr_text.h"
#include "engine/common/error_capture.h"
#include "engine/dom/node_navigation.h"
#include "engine/dom/tree_holder.h"
#include "engine/xpath/ms_functions.h"
#include "engine/xpath/query_check.h"

namespace ardo::engine {
namespace {

// Bounds on what one document keeps: a program that builds queries from
// data must not grow the caches without limit.
constexpr size_t kMaxCompiled = 256;
constexpr size_t kMaxResults = 64;
// and at most this many nodes in them all, so that on a large document the
// cache stays small beside the document itself.
constexpr size_t kMaxResultNodes = size_t(1) << 20;

// The element whose declarations are in scope where a query starts: the
// context element, an attribute's or other node's parent, or the document
// element of a document or fragment.
xmlNodePtr ScopeElement(xmlNodePtr context) {
  xmlNodePtr n = context;
  if (n->type == XML_DOCUMENT_NODE || n->type == XML_DOCUMENT_FRAG_NODE) {
    n = n->children;
    while (n && n->type != XML_ELEMENT_NODE) n = n->next;
  } else if (n->type != XML_ELEMENT_NODE) {
    n = n->parent;
  }
  return n && n->type == XML_ELEMENT_NODE ? n : nullptr;
}

// XPath's id(), answered as nodeFromID answers: libxml2's own reads its
// table of IDs alone, which lists what the parse met and nothing the host
// has done since.
void IdFunction(xmlXPathParserContextPtr ctxt, int nargs) {
  CHECK_ARITY(1);
  xmlXPathObjectPtr arg = valuePop(ctxt);
  std::string tokens;
  if (arg && (arg->type == XPATH_NODESET || arg->type == XPATH_XSLT_TREE)) {
    for (int i = 0; arg->nodesetval && i < arg->nodesetval->nodeNr; ++i) {
      xmlChar* value = xmlXPathCastNodeToString(arg->nodesetval->nodeTab[i]);
      if (value) tokens.append(reinterpret_cast<const char*>(value)).push_back(' ');
      xmlFree(value);
    }
  } else if (arg) {
    xmlChar* value = xmlXPathCastToString(arg);
    if (value) tokens = reinterpret_cast<const char*>(value);
    xmlFree(value);
  }
  xmlXPathFreeObject(arg);
  xmlNodeSetPtr found = xmlXPathNodeSetCreate(nullptr);
  if (!found) return xmlXPathErr(ctxt, XPATH_MEMORY_ERROR);
  for (size_t i = 0, n = tokens.size(); i < n;) {
    while (i < n && IsXmlSpace(static_cast<unsigned char>(tokens[i]))) ++i;
    size_t start = i;
    while (i < n && !IsXmlSpace(static_cast<unsigned char>(tokens[i]))) ++i;
    if (i == start) continue;
    auto* cache = static_cast<XPathCache*>(ctxt->context->userData);
    if (xmlNodePtr element = cache->ElementById(ctxt->context->doc, cache->EvaluationStamp(),
                                                tokens.substr(start, i - start)))
      xmlXPathNodeSetAdd(found, element);
  }
  xmlXPathNodeSetSort(found);
  valuePush(ctxt, xmlXPathWrapNodeSet(found));
}

// libxml2's following and preceding axes step into an entity reference's
// content (the entity's own nodes, in the document type) and from there
// back into the tree, round and round; the preceding axis steps into the
// document type too. For such a query the references below the top hide
// their content, which XPath does not look into anyway (a node's string
// value reads the entity itself), and the document hides its type.
class HiddenEntityContent {
 public:
  // top: the context's parentless ancestor-or-self; documentOrderAxis:
  // whether the query steps along following or preceding.
  HiddenEntityContent(bool documentOrderAxis, xmlDocPtr doc, xmlNodePtr top) {
    if (!doc || (!doc->intSubset && !doc->extSubset) || !documentOrderAxis) return;
    // The document's tree as well as the context's own: "/" reaches it
    // from a node outside it.
    std::vector<xmlNodePtr> stack{reinterpret_cast<xmlNodePtr>(doc)};
    if (top != reinterpret_cast<xmlNodePtr>(doc)) stack.push_back(top);
    if (doc->extSubset) stack.push_back(reinterpret_cast<xmlNodePtr>(doc->extSubset));
    while (!stack.empty()) {
      xmlNodePtr n = stack.back();
      stack.pop_back();
      if (n->type == XML_ENTITY_REF_NODE) {
        if (n->children) hidden_.emplace_back(n, n->children, n->last);
        continue;
      }
      // Attribute values and the document type too: references stand
      // there as well, and entities refer to each other.
      if (n->type == XML_ELEMENT_NODE)
        for (xmlAttrPtr a = n->properties; a; a = a->next) stack.push_back(reinterpret_cast<xmlNodePtr>(a));
      for (xmlNodePtr c = n->children; c; c = c->next) stack.push_back(c);
    }
    for (auto& [ref, first, last] : hidden_) ref->children = ref->last = nullptr;
    auto* root = reinterpret_cast<xmlNodePtr>(doc);
    if (doc->intSubset && doc->intSubset->parent == doc) {
      dtd_ = reinterpret_cast<xmlNodePtr>(doc->intSubset);
      (dtd_->prev ? dtd_->prev->next : root->children) = dtd_->next;
      (dtd_->next ? dtd_->next->prev : root->last) = dtd_->prev;
    }
  }
  ~HiddenEntityContent() {
    if (dtd_) {
      (dtd_->prev ? dtd_->prev->next : dtd_->parent->children) = dtd_;
      (dtd_->next ? dtd_->next->prev : dtd_->parent->last) = dtd_;
    }
    for (auto& [ref, first, last] : hidden_) {
      ref->children = first;
      ref->last = last;
    }
  }
  HiddenEntityContent(const HiddenEntityContent&) = delete;
  HiddenEntityContent& operator=(const HiddenEntityContent&) = delete;

 private:
  std::vector<std::tuple<xmlNodePtr, xmlNodePtr, xmlNodePtr>> hidden_;
  xmlNodePtr dtd_ = nullptr;
};

}  // namespace

bool ParseSelectionNamespaces(const std::string& text,
                              std::vector<std::pair<std::string, std::string>>* out) {
  std::vector<std::pair<std::string, std::string>> bindings;
  size_t i = 0, n = text.size();
  auto skipSpace = [&] {
    while (i < n && IsXmlSpace(static_cast<unsigned char>(text[i]))) ++i;
  };
  skipSpace();
  while (i < n) {
    if (text.compare(i, 5, "xmlns") != 0) return false;
    i += 5;
    std::string prefix;
    bool isDefault = true;
    if (i < n && text[i] == ':') {
      isDefault = false;
      size_t start = ++i;
      while (i < n && text[i] != '=' && !IsXmlSpace(static_cast<unsigned char>(text[i]))) ++i;
      prefix = text.substr(start, i - start);
      if (prefix.empty() || xmlValidateNCName(Xml(prefix), 0) != 0) return false;
    }
    skipSpace();
    if (i >= n || text[i] != '=') return false;
    ++i;
    skipSpace();
    if (i >= n || (text[i] != '\'' && text[i] != '"')) return false;
    char quote = text[i++];
    size_t close = text.find(quote, i);
    if (close == std::string::npos) return false;
    std::string uri = text.substr(i, close - i);
    i = close + 1;
    if (i < n && !IsXmlSpace(static_cast<unsigned char>(text[i]))) return false;
    skipSpace();
    if (isDefault) continue;
    // What XML namespaces forbid in a declaration: a prefix bound to no
    // namespace, xml bound elsewhere, xmlns declared, a prefix twice.
    static const std::string kXmlNamespace = "http://www.w3.org/XML/1998/namespace";
    if (uri.empty() || prefix == "xmlns" || (prefix == "xml") != (uri == kXmlNamespace)) return false;
    for (const auto& [earlier, unused] : bindings)
      if (earlier == prefix) return false;
    bindings.emplace_back(std::move(prefix), std::move(uri));
  }
  out->swap(bindings);
  return true;
}

size_t XPathCache::ResultKeyHash::operator()(const ResultKey& k) const {
  size_t h = std::hash<std::string>()(k.query);
  h ^= std::hash<const void*>()(k.context) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
  h ^= std::hash<uint64_t>()(k.namespaces) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
  return h;
}

XPathCache::XPathCache() = default;

XPathCache::~XPathCache() {
  Clear();
  if (ctx_) xmlXPathFreeContext(ctx_);
}

void XPathCache::Clear() {
  DropCompiled();
  results_.clear();
  resultNodes_ = 0;
}

void XPathCache::DropCompiled() {
  for (auto& [text, compiled] : compiled_) xmlXPathFreeCompExpr(compiled.expr);
  compiled_.clear();
}

// libxml2 looks prefixes up in the context's namespace list before the
// registered ones: the list holds the prefixed declarations in scope that
// the registered bindings do not name, for one query.
XPathCache::InScopePrefixes::InScopePrefixes(xmlXPathContextPtr ctx, const QueryNamespaces& namespaces,
                                             xmlNodePtr context)
    : ctx_(ctx) {
  if (!namespaces.inScope) return;
  xmlNodePtr element = ScopeElement(context);
  // libxml2 lists the declarations in scope, the nearest of each prefix.
  xmlNsPtr* inScope = element ? xmlGetNsList(element->doc, element) : nullptr;
  if (!inScope) return;
  for (xmlNsPtr* it = inScope; *it; ++it) {
    xmlNsPtr ns = *it;
    if (!ns->prefix) continue;
    std::string_view prefix = View(ns->prefix);
    auto same = [&](const auto& b) { return b.first == prefix; };
    if (std::any_of(namespaces.bindings.begin(), namespaces.bindings.end(), same)) continue;  // bound for the query
    list_.push_back(ns);
    bindings_.append(prefix).append(1, '\0').append(View(ns->href)).append(1, '\0');
  }
  xmlFree(inScope);
  if (list_.empty()) return;
  ctx_->namespaces = list_.data();
  ctx_->nsNr = static_cast<int>(list_.size());
}

XPathCache::InScopePrefixes::~InScopePrefixes() {
  ctx_->namespaces = nullptr;
  ctx_->nsNr = 0;
}

void XPathCache::PrepareContext(xmlDocPtr doc, const QueryNamespaces& namespaces) {
  if (!ctx_) {
    ctx_ = xmlXPathNewContext(doc);
    if (!ctx_) throw std::bad_alloc();
    ctx_->userData = this;  // for id()
    RegisterMsXslFunctions(ctx_);
    xmlXPathRegisterFunc(ctx_, Xml("id"), nullptr);
    if (xmlXPathRegisterFunc(ctx_, Xml("id"), IdFunction) != 0) throw std::bad_alloc();
  }
  ctx_->doc = doc;
  if (registeredNamespaces_ != namespaces.version) {
    // A compiled expression keeps what its prefixes meant when it was
    // compiled (an extension function found, the namespace's text): it
    // goes with the declarations it was compiled under.
    DropCompiled();
    xmlXPathRegisteredNsCleanup(ctx_);
    for (const auto& [prefix, uri] : namespaces.bindings)
      xmlXPathRegisterNs(ctx_, Xml(prefix), Xml(uri));
    registeredNamespaces_ = namespaces.version;
  }
}

const XPathCache::CompiledQuery* XPathCache::Compile(const std::string& query, const std::string& bindings,
                                                     std::string* reason) {
  // Under in-scope bindings, the key leads with their length (a query's
  // text may hold any character; none that compiles starts so).
  const std::string key = bindings.empty() ? std::string() : std::to_string(bindings.size()) + ':' + bindings + query;
  const std::string& lookup = bindings.empty() ? query : key;
  auto it = compiled_.find(lookup);
  if (it != compiled_.end()) return &it->second;
  ErrorCapture capture;
  CompiledQuery compiled{xmlXPathCtxtCompile(ctx_, Xml(query)), false};
  if (!compiled.expr) {
    if (reason) *reason = capture.Reason("The query is not a valid XPath expression.") + " in \"" + query + "\"";
    return nullptr;
  }
  if (!CheckQueryCalls(ctx_, query, &compiled.documentOrderAxis, reason)) {
    xmlXPathFreeCompExpr(compiled.expr);
    return nullptr;
  }
  if (compiled_.size() >= kMaxCompiled) DropCompiled();
  return &compiled_.emplace(lookup, compiled).first->second;
}

HRESULT XPathCache::Select(const std::string& query, xmlNodePtr context,
                           const QueryNamespaces& namespaces, uint64_t stamp, SharedSnapshot* out,
                           std::string* reason) {
  if (resultsStamp_ != stamp) {
    results_.clear();
    resultNodes_ = 0;
    resultsStamp_ = stamp;
  }
  ResultKey key{query, context, namespaces.version};
  auto hit = results_.find(key);
  if (hit != results_.end()) {
    *out = hit->second;
    return S_OK;
  }

  PrepareContext(context->doc, namespaces);
  InScopePrefixes inScope(ctx_, namespaces, context);
  const CompiledQuery* compiled = Compile(query, inScope.Bindings(), reason);
  if (!compiled) return E_FAIL;

  ErrorCapture capture;
  evaluationStamp_ = stamp;
  ctx_->node = context;
  ctx_->contextSize = -1;
  ctx_->proximityPosition = -1;
  // libxml2's preceding axis reads the parent of an attribute's parent: an
  // attribute on no element stands in a fragment for the evaluation, a
  // parent that no node test matches.
  // (So does one whose text is the context.)
  xmlNodePtr top = TreeHolder::TopOf(context), standIn = nullptr;
  if (top->type == XML_ATTRIBUTE_NODE) {
    standIn = xmlNewDocFragment(context->doc);
    if (!standIn) throw std::bad_alloc();
    top->parent = standIn;
  }
  xmlXPathObjectPtr result;
  {
    HiddenEntityContent hidden(compiled->documentOrderAxis, context->doc, top);
    result = xmlXPathCompiledEval(compiled->expr, ctx_);
  }
  if (standIn) {
    top->parent = nullptr;
    xmlFreeNode(standIn);
  }
  if (!result) {
    if (reason) *reason = capture.Reason("The query could not be evaluated.") + " in \"" + query + "\"";
    return E_FAIL;
  }
  if (result->type != XPATH_NODESET) {
    xmlXPathFreeObject(result);
    if (reason) *reason = "The expression \"" + query + "\" does not evaluate to a node set.";
    return E_FAIL;
  }
  // libxml2 takes the document for the parent of a parentless node: from a
  // node outside the document's tree (created, removed) a query stays in
  // that node's own subtree, where parentNode ends.
  xmlNodePtr detachedTop = TreeHolder::IsAttached(top) ? nullptr : top;
  auto nodes = std::make_shared<NodeSnapshot>();
  if (xmlNodeSetPtr set = result->nodesetval) {
    nodes->reserve(set->nodeNr);
    for (int i = 0; i < set->nodeNr; ++i) {
      xmlNodePtr n = set->nodeTab[i];
      // Namespace nodes are copies that die with the result; declarations
      // inside a DTD are not DOM nodes.
      if (!n || n->type == XML_NAMESPACE_DECL || DomTypeOf(n) == NODE_INVALID) continue;
      if (detachedTop && TreeHolder::TopOf(n) != detachedTop) continue;
      nodes->push_back(n);
    }
  }
  xmlXPathFreeObject(result);
  if (results_.size() >= kMaxResults || resultNodes_ + nodes->size() > kMaxResultNodes) {
    results_.clear();
    resultNodes_ = 0;
  }
  resultNodes_ += nodes->size();
  SharedSnapshot shared = std::move(nodes);
  results_.emplace(std::move(key), shared);
  *out = std::move(shared);
  return S_OK;
}

}  // namespace ardo::engine
