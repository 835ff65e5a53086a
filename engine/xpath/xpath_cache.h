// XPath for one document: compiled expressions kept by query text, and
// query results kept by (query, context node, namespace declarations) for
// as long as the document has not changed.
//
// Host code that asks the same question of an unchanged document again
// (the drive catalogue re-runs its query at every step) then gets the node
// set without another evaluation; any change to the tree gives the document
// a new stamp and the kept results are dropped.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include <libxml/xpath.h>

#include "engine/dom/node_navigation.h"
#include "platform/platform.h"

namespace ardo::engine {

using NodeSnapshot = std::vector<xmlNodePtr>;
using SharedSnapshot = std::shared_ptr<const NodeSnapshot>;

// Prefix declarations for queries (from SelectionNamespaces), with a
// version that changes whenever they do.
struct QueryNamespaces {
  std::vector<std::pair<std::string, std::string>> bindings;  // prefix, URI
  // Whether the prefixes declared where the query starts count as well
  // (after the bindings): the XSLPattern language of the older document
  // identities reads a document's own prefixes, so that queries written
  // for it name them without SelectionNamespaces.
  bool inScope = false;
  uint64_t version = 0;
};

// Parses "xmlns:a='urn:a' xmlns:b=\"urn:b\"" (a default declaration
// "xmlns='...'" is accepted and ignored: XPath 1.0 has no default
// namespace for names). False for malformed text.
bool ParseSelectionNamespaces(const std::string& text,
                              std::vector<std::pair<std::string, std::string>>* out);

class XPathCache {
 public:
  XPathCache();
  XPathCache(const XPathCache&) = delete;
  XPathCache& operator=(const XPathCache&) = delete;
  ~XPathCache();

  // The nodes that query selects from context, in document order
  // (namespace nodes left out). stamp is the document's change stamp.
  // E_FAIL with *reason for a malformed query, an unknown function or
  // prefix, or a result that is not a node set.
  HRESULT Select(const std::string& query, xmlNodePtr context, const QueryNamespaces& namespaces,
                 uint64_t stamp, SharedSnapshot* out, std::string* reason);

  // Drops everything (the document's tree was replaced).
  void Clear();

  // The element of doc's tree with the ID value (see IdIndex); stamp is the
  // document's change stamp. XPath's id() asks it too.
  xmlNodePtr ElementById(xmlDocPtr doc, uint64_t stamp, const std::string& value) {
    return ids_.Find(doc, stamp, value);
  }
  // The change stamp of the document a query being evaluated runs over.
  uint64_t EvaluationStamp() const { return evaluationStamp_; }

 private:
  struct ResultKey {
    std::string query;
    xmlNodePtr context;
    uint64_t namespaces;
    bool operator==(const ResultKey& o) const {
      return context == o.context && namespaces == o.namespaces && query == o.query;
    }
  };
  struct ResultKeyHash {
    size_t operator()(const ResultKey& k) const;
  };

  struct CompiledQuery {
    xmlXPathCompExprPtr expr;
    bool documentOrderAxis;  // steps along following or preceding
  };
  // The prefixes in scope where a query starts, offered to libxml2 for the
  // query's compilation and evaluation (when the namespaces ask for them).
  class InScopePrefixes {
   public:
    InScopePrefixes(xmlXPathContextPtr ctx, const QueryNamespaces& namespaces, xmlNodePtr context);
    InScopePrefixes(const InScopePrefixes&) = delete;
    InScopePrefixes& operator=(const InScopePrefixes&) = delete;
    ~InScopePrefixes();
    // The bindings offered, as text ("" for none): libxml2 fixes what a
    // prefix means in a compiled query (the namespace of a simple path,
    // the function a call finds), so a compiled query goes with them.
    const std::string& Bindings() const { return bindings_; }

   private:
    xmlXPathContextPtr ctx_;
    std::vector<xmlNsPtr> list_;
    std::string bindings_;
  };
  // The query compiled under the namespaces registered and the in-scope
  // bindings offered (see InScopePrefixes::Bindings).
  const CompiledQuery* Compile(const std::string& query, const std::string& bindings, std::string* reason);
  void DropCompiled();
  void PrepareContext(xmlDocPtr doc, const QueryNamespaces& namespaces);

  xmlXPathContextPtr ctx_ = nullptr;
  uint64_t registeredNamespaces_ = UINT64_MAX;
  std::unordered_map<std::string, CompiledQuery> compiled_;
  std::unordered_map<ResultKey, SharedSnapshot, ResultKeyHash> results_;
  uint64_t resultsStamp_ = 0;
  size_t resultNodes_ = 0;  // in results_
  IdIndex ids_;
  uint64_t evaluationStamp_ = 0;
};

}  // namespace ardo::engine
