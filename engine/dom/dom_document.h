// DomDocument: the DOM document component (IXMLDOMDocument2) in its eight
// class identities, apartment-threaded and free-threaded.
//
// Each identity keeps the defaults of the version it stands for. All of
// them start with async on (loading is synchronous all the same),
// preserveWhiteSpace off, validateOnParse on, resolveExternals on (external
// DTDs and entities are read from local files, never fetched over the
// network; a local one that cannot be read fails the load), ProhibitDTD
// off, MaxElementDepth 256 and MaxXMLSize 0 (no limit). The version-independent, 2.6 and 3.0 identities select with
// "XSLPattern" (evaluated as XPath 1.0) and allow the XSLT document()
// function; the 4.0 identities know only "XPath" and disallow document().
//
// MaxElementDepth: nesting deeper than the limit is a parse error. The
// parser never goes deeper than 2048 levels, so 0 ("no limit") and larger
// values end there.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include <libxml/tree.h>

#include "engine/dom/document_flavor.h"
#include "engine/dom/document_loader.h"
#include "engine/dom/node_object.h"
#include "engine/xpath/xpath_cache.h"

namespace ardo::engine {

struct DocumentSettings {
  bool async = true;
  bool preserveWhiteSpace = false;
  bool validateOnParse = true;
  bool resolveExternals = true;
  bool prohibitDtd = false;
  bool allowDocumentFunction = true;
  bool allowXsltScript = true;
  bool newParser = false;
  bool serverHttpRequest = false;
  long maxElementDepth = 256;
  long maxXmlSizeKb = 0;
  std::string selectionLanguage = "XSLPattern";
  std::string selectionNamespaces;
  QueryNamespaces namespaces;

  static DocumentSettings DefaultsFor(const DocumentFlavor& flavor);
  LoadOptions ToLoadOptions() const;
};

// A new value for QueryNamespaces::version, unique in the process.
uint64_t NextNamespacesVersion();

// A new stamp of the documents' common count (every one larger than the
// last).
uint64_t NextStamp();

class DomDocument final : public NodeImpl<DomDocument, IXMLDOMDocument2> {
 public:
  explicit DomDocument(const DocumentFlavor& flavor);
  ~DomDocument() override;

  // The document object counts its references as any COM object, in the
  // count its node objects keep.
  ULONG STDMETHODCALLTYPE AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
  // A free-threaded document goes under its own lock: a node of its tree
  // handed out meanwhile (from a list of another document) takes that lock
  // and a reference on the document, which must not come back from zero.
  ULONG STDMETHODCALLTYPE Release() override {
    if (!Mutex()) return ReleaseDocument();
    DocLock lock(Mutex());
    return ReleaseDocument();
  }

  const DocumentFlavor& Flavor() const { return flavor_; }
  std::recursive_mutex* Mutex() const { return mutex_.get(); }
  // Changes with every change to the tree (process-wide unique values).
  uint64_t Stamp() const { return stamp_; }
  // Marks a change to the tree.
  void Touch();
  TreeHolder* CurrentTree() const { return tree_; }
  xmlDocPtr XmlDoc() const { return reinterpret_cast<xmlDocPtr>(node_); }
  const DocumentSettings& Settings() const { return settings_; }
  XPathCache& Queries() { return queries_; }

  // Replaces the tree with doc (taken over); node objects of the old tree
  // keep it alive until they go.
  void InstallTree(xmlDocPtr doc);
  // A new document holding a deferred tree (see TreeHolder::TakeDeferred),
  // or null when the tree is not waiting to be deleted.
  static ComPtr<DomDocument> ForDeferredTree(TreeHolder* holder);
  // A new document of the same identity and settings holding a copy of the
  // tree (deep) or of the document node alone.
  ComPtr<DomDocument> CloneDocument(bool deep);
  // Loads from a tree of another document (copied).
  void LoadCopyOf(xmlDocPtr source);

  // IXMLDOMDocument
  HRESULT get_doctype(IXMLDOMDocumentType** p) override;
  HRESULT get_implementation(IXMLDOMImplementation** p) override;
  HRESULT get_documentElement(IXMLDOMElement** p) override;
  HRESULT putref_documentElement(IXMLDOMElement* e) override;
  HRESULT createElement(BSTR tagName, IXMLDOMElement** p) override;
  HRESULT createDocumentFragment(IXMLDOMDocumentFragment** p) override;
  HRESULT createTextNode(BSTR data, IXMLDOMText** p) override;
  HRESULT createComment(BSTR data, IXMLDOMComment** p) override;
  HRESULT createCDATASection(BSTR data, IXMLDOMCDATASection** p) override;
  HRESULT createProcessingInstruction(BSTR target, BSTR data, IXMLDOMProcessingInstruction** p) override;
  HRESULT createAttribute(BSTR name, IXMLDOMAttribute** p) override;
  HRESULT createEntityReference(BSTR name, IXMLDOMEntityReference** p) override;
  HRESULT getElementsByTagName(BSTR tagName, IXMLDOMNodeList** p) override;
  HRESULT createNode(VARIANT type, BSTR name, BSTR namespaceURI, IXMLDOMNode** p) override;
  HRESULT nodeFromID(BSTR id, IXMLDOMNode** p) override;
  HRESULT load(VARIANT source, VARIANT_BOOL* ok) override;
  HRESULT get_readyState(long* p) override;
  HRESULT get_parseError(IXMLDOMParseError** p) override;
  HRESULT get_url(BSTR* p) override;
  HRESULT get_async(VARIANT_BOOL* p) override;
  HRESULT put_async(VARIANT_BOOL v) override;
  HRESULT abort() override;
  HRESULT loadXML(BSTR xml, VARIANT_BOOL* ok) override;
  HRESULT save(VARIANT destination) override;
  HRESULT get_validateOnParse(VARIANT_BOOL* p) override;
  HRESULT put_validateOnParse(VARIANT_BOOL v) override;
  HRESULT get_resolveExternals(VARIANT_BOOL* p) override;
  HRESULT put_resolveExternals(VARIANT_BOOL v) override;
  HRESULT get_preserveWhiteSpace(VARIANT_BOOL* p) override;
  HRESULT put_preserveWhiteSpace(VARIANT_BOOL v) override;
  HRESULT put_onreadystatechange(VARIANT sink) override;
  HRESULT put_ondataavailable(VARIANT sink) override;
  HRESULT put_ontransformnode(VARIANT sink) override;

  // IXMLDOMDocument2
  HRESULT get_namespaces(IXMLDOMSchemaCollection** p) override;
  HRESULT get_schemas(VARIANT* p) override;
  HRESULT putref_schemas(VARIANT collection) override;
  HRESULT validate(IXMLDOMParseError** p) override;
  HRESULT setProperty(BSTR name, VARIANT value) override;
  HRESULT getProperty(BSTR name, VARIANT* value) override;

 private:
  ULONG ReleaseDocument() {
    ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
  }

  template <class T>
  HRESULT CreateAndReturn(xmlNodePtr node, T** out);
  HRESULT DoCreateNode(const VARIANT& type, BSTR name, BSTR namespaceURI, IXMLDOMNode** out);
  HRESULT DoLoad(const VARIANT& source, VARIANT_BOOL* ok);
  HRESULT DoLoadXml(BSTR xml, VARIANT_BOOL* ok);
  HRESULT DoSave(const VARIANT& destination);
  HRESULT DoSetProperty(const std::string& name, const VARIANT& value);
  HRESULT DoGetProperty(const std::string& name, VARIANT* value);
  // Installs a parse result: the new tree, or an empty one and the error.
  HRESULT Finish(ParseOutcome outcome, const std::string& url, VARIANT_BOOL* ok);
  // What load reads an object as: one of our documents, a stream or another
  // DOM document (none of them for an object load does not read).
  struct ObjectSource {
    DomDocument* ours = nullptr;
    ComPtr<ISequentialStream> stream;
    ComPtr<IXMLDOMDocument> foreign;
    bool Known() const { return ours || stream || foreign; }
  };
  static ObjectSource SourceOf(IUnknown* unknown);
  ParseOutcome LoadFromObject(const ObjectSource& source, bool* handled);
  // A load starts: the old content goes now (unless the document is its
  // own source), and readyState becomes 1.
  void BeginLoad(bool keepContent);
  void SetReadyState(long state);
  static void Fire(const VARIANT& sink);

  DocumentFlavor flavor_;
  DocumentSettings settings_;
  struct MutexGiveBack {
    void operator()(std::recursive_mutex* m) const { GiveBackDocumentMutex(m); }
  };
  std::unique_ptr<std::recursive_mutex, MutexGiveBack> mutex_;
  uint64_t stamp_ = 0;
  XPathCache queries_;
  ParseFailure lastError_;
  std::string url_;
  long readyState_ = 4;
  VARIANT onReadyStateChange_;
  VARIANT onDataAvailable_;
  VARIANT onTransformNode_;
  VARIANT schemas_;
};

}  // namespace ardo::engine
