#include "engine/dom/dom_document.h"

#include <atomic>
#include <cstdio>

#include <libxml/valid.h>

#include "engine/common/bstr_text.h"
#include "engine/common/byte_stream.h"
#include "engine/common/engine_errors.h"
#include "engine/common/last_error.h"
#include "engine/dom/document_namespaces.h"
#include "engine/dom/dom_implementation.h"
#include "engine/dom/file_writer.h"
#include "engine/dom/node_lists.h"
#include "engine/dom/node_navigation.h"
#include "engine/dom/node_serializer.h"
#include "engine/dom/parse_error.h"
#include "engine/dom/text_content.h"
#include "engine/dom/tree_edit.h"

namespace ardo::engine {
namespace {

std::atomic<uint64_t> g_stamps{0};
std::atomic<uint64_t> g_namespaceVersions{0};

xmlDocPtr NewEmptyTree() {
  xmlDocPtr doc = xmlNewDoc(Xml("1.0"));
  if (!doc) throw std::bad_alloc();
  return doc;
}

HRESULT ReturnFlag(bool value, VARIANT_BOOL* out) {
  if (!out) return E_INVALIDARG;
  *out = value ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

bool Named(const std::string& name, const char* expected) {
  return xmlStrcasecmp(Xml(name), Xml(expected)) == 0;
}

HRESULT BoolOf(const std::string& name, const VARIANT& value, bool* out) {
  VARIANT b;
  VariantInit(&b);
  if (FAILED(VariantChangeType(&b, &Dereferenced(value), 0, VT_BOOL)))
    return FailWith(E_INVALIDARG, "The " + name + " property takes true or false.");
  *out = b.boolVal != VARIANT_FALSE;
  return S_OK;
}

HRESULT LongOf(const std::string& name, const VARIANT& value, long* out) {
  VARIANT l;
  VariantInit(&l);
  if (FAILED(VariantChangeType(&l, &Dereferenced(value), 0, VT_I4)) || l.lVal < 0)
    return FailWith(E_INVALIDARG, "The " + name + " property takes a whole number from 0 to 2147483647.");
  *out = l.lVal;
  return S_OK;
}

HRESULT ReturnBool(bool value, VARIANT* out) {
  out->vt = VT_BOOL;
  out->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

HRESULT ReturnLong(long value, VARIANT* out) {
  out->vt = VT_I4;
  out->lVal = static_cast<LONG>(value);
  return S_OK;
}

// A node type given as a number or as its type string ("element").
bool NodeTypeOf(const VARIANT& value, DOMNodeType* out) {
  const VARIANT v = ShallowValue(value);
  if (v.vt == VT_BSTR) {
    std::string s = Utf8Of(v.bstrVal);
    for (int t = NODE_ELEMENT; t <= NODE_NOTATION; ++t) {
      if (Named(s, TypeString(static_cast<DOMNodeType>(t)))) {
        *out = static_cast<DOMNodeType>(t);
        return true;
      }
    }
  }
  VARIANT n;
  VariantInit(&n);
  if (FAILED(VariantChangeType(&n, &v, 0, VT_I4))) return false;
  if (n.lVal < NODE_ELEMENT || n.lVal > NODE_NOTATION) return false;
  *out = static_cast<DOMNodeType>(n.lVal);
  return true;
}

bool ValidName(const std::string& name) { return !name.empty() && xmlValidateQName(Xml(name), 0) == 0; }
// Processing instruction targets and entity names take no colon: a
// namespace-aware parser would not read them back.
bool ValidUnqualifiedName(const std::string& name) { return !name.empty() && xmlValidateNCName(Xml(name), 0) == 0; }
HRESULT BadPiTarget(const std::string& name) {
  return FailWith(E_FAIL, "\"" + name + "\" is not a valid processing instruction target.");
}
HRESULT BadEntityName(const std::string& name) {
  return FailWith(E_FAIL, "\"" + name + "\" is not a valid entity name.");
}
// The prefix "xmlns" belongs to namespace declarations, never to an element.
bool ValidElementName(const std::string& name) { return ValidName(name) && name.rfind("xmlns:", 0) != 0; }

// A new attribute named `name` in the namespace `uri` ("" for none). A
// name in the xml prefix is in the XML namespace, whatever the caller
// names: the prefix is bound to it everywhere.
HRESULT NewAttribute(xmlDocPtr doc, const std::string& name, std::string uri, xmlNodePtr* made) {
  if (!ValidName(name)) return FailWith(E_FAIL, "\"" + name + "\" is not a valid attribute name.");
  std::string_view prefix, local;
  SplitQName(name, &prefix, &local);
  if (prefix == "xml" && uri.empty()) uri = reinterpret_cast<const char*>(XML_XML_NAMESPACE);
  xmlAttrPtr a;
  if (uri.empty() || name == "xmlns" || prefix == "xmlns") {
    a = xmlNewDocProp(doc, Xml(name), nullptr);
  } else {
    if (HRESULT hr = CheckReservedBinding(prefix, uri); FAILED(hr)) return hr;
    a = xmlNewDocProp(doc, Xml(std::string(local)), nullptr);
    if (a) a->ns = DocumentNamespace(doc, Xml(uri), prefix.empty() ? Xml("ns") : Xml(std::string(prefix)));
  }
  if (!a) throw std::bad_alloc();
  *made = reinterpret_cast<xmlNodePtr>(a);
  return S_OK;
}

// A copy of source's tree (whole, or without its content) that declares
// the namespaces its names need and keeps its declarations' places among
// attributes.
xmlDocPtr CopyTree(xmlDocPtr source, bool deep) {
  xmlDocPtr tree;
  {
    ScopedDeclarations declared(reinterpret_cast<xmlNodePtr>(source), deep);
    tree = xmlCopyDoc(source, deep ? 1 : 0);
    if (tree) CopyDeclarationPlaces(reinterpret_cast<xmlNodePtr>(source), reinterpret_cast<xmlNodePtr>(tree));
  }
  if (!tree) throw std::bad_alloc();
  return tree;
}

}  // namespace

uint64_t NextNamespacesVersion() { return ++g_namespaceVersions; }

DocumentSettings DocumentSettings::DefaultsFor(const DocumentFlavor& flavor) {
  DocumentSettings s;
  if (flavor.version40) {
    s.selectionLanguage = "XPath";
    s.allowDocumentFunction = false;
    s.allowXsltScript = false;
  }
  s.namespaces.inScope = s.selectionLanguage == "XSLPattern";
  s.namespaces.version = NextNamespacesVersion();
  return s;
}

LoadOptions DocumentSettings::ToLoadOptions() const {
  LoadOptions o;
  o.preserveWhiteSpace = preserveWhiteSpace;
  o.validateOnParse = validateOnParse;
  o.resolveExternals = resolveExternals;
  o.prohibitDtd = prohibitDtd;
  o.maxElementDepth = maxElementDepth;
  o.maxXmlSizeKb = maxXmlSizeKb;
  return o;
}

// --- the document object ---------------------------------------------------------

DomDocument::DomDocument(const DocumentFlavor& flavor)
    : NodeImpl(DocumentTag{}), flavor_(flavor), settings_(DocumentSettings::DefaultsFor(flavor)) {
  if (flavor.freeThreaded) mutex_.reset(TakeDocumentMutex());
  SetDocument(this);
  VariantInit(&onReadyStateChange_);
  VariantInit(&onDataAvailable_);
  VariantInit(&onTransformNode_);
  VariantInit(&schemas_);
  xmlDocPtr doc = NewEmptyTree();
  tree_ = new TreeHolder(doc, this);
  node_ = reinterpret_cast<xmlNodePtr>(doc);
  Touch();
}

DomDocument::~DomDocument() {
  VariantClear(&onReadyStateChange_);
  VariantClear(&onDataAvailable_);
  VariantClear(&onTransformNode_);
  VariantClear(&schemas_);
  // Retired trees that outlive the document (none should: their node
  // objects hold it) must not reach back here.
  tree_->SetOwner(nullptr);
}

uint64_t NextStamp() { return ++g_stamps; }

void DomDocument::Touch() { stamp_ = NextStamp(); }

void DomDocument::InstallTree(xmlDocPtr doc) {
  auto* holder = new TreeHolder(doc, this);
  TreeHolder* old = tree_;
  tree_ = holder;
  node_ = reinterpret_cast<xmlNodePtr>(doc);
  queries_.Clear();
  Touch();
  // The document's lists start again.
  const uint64_t stamp = NextStamp();
  NoteChildrenChange(stamp);
  NoteElementsChange(stamp);
  old->Release();
}

ComPtr<DomDocument> DomDocument::ForDeferredTree(TreeHolder* holder) {
  DocumentFlavor flavor;
  if (!TreeHolder::DeferredFlavor(holder, &flavor)) return {};
  auto doc = MakeObject<DomDocument>(flavor);
  // Other threads reach the tree under the new document's lock as soon as
  // it is back: they find the document whole.
  DocLock lock(doc->Mutex());
  if (!holder->TakeDeferred(doc.Get())) return {};
  TreeHolder* empty = doc->tree_;
  doc->tree_ = holder;  // the reference TakeDeferred gave
  doc->node_ = reinterpret_cast<xmlNodePtr>(holder->Doc());
  doc->Touch();
  empty->Release();
  return doc;
}

ComPtr<DomDocument> DomDocument::CloneDocument(bool deep) {
  auto copy = MakeObject<DomDocument>(flavor_);
  copy->settings_ = settings_;
  xmlDocPtr tree = CopyTree(XmlDoc(), deep);
  copy->InstallTree(tree);
  BuildEntityContent(tree);
  return copy;
}

void DomDocument::LoadCopyOf(xmlDocPtr source) {
  CheckCopyDepth(reinterpret_cast<xmlNodePtr>(source));
  xmlDocPtr tree = CopyTree(source, true);
  InstallTree(tree);
  BuildEntityContent(tree);
  lastError_ = ParseFailure();
  readyState_ = 4;
}

template <class T>
HRESULT DomDocument::CreateAndReturn(xmlNodePtr node, T** out) {
  if (!node) throw std::bad_alloc();
  TreeEdit edit(*this);
  edit.AdoptNew(node);
  return ReturnNodeAs(node, out);
}

// --- IXMLDOMDocument -------------------------------------------------------------

HRESULT DomDocument::get_doctype(IXMLDOMDocumentType** p) {
  return Call([&] { return ReturnNodeAs(reinterpret_cast<xmlNodePtr>(XmlDoc()->intSubset), p); });
}

HRESULT DomDocument::get_implementation(IXMLDOMImplementation** p) {
  if (!p) return E_INVALIDARG;
  *p = MakeObject<DomImplementation>().Detach();
  return S_OK;
}

HRESULT DomDocument::get_documentElement(IXMLDOMElement** p) {
  return Call([&] { return ReturnNodeAs(xmlDocGetRootElement(XmlDoc()), p); });
}

HRESULT DomDocument::putref_documentElement(IXMLDOMElement* e) {
  return Call2(e, [&] {
    xmlNodePtr root = xmlDocGetRootElement(XmlDoc());
    if (!e) {
      if (!root) return S_OK;
      TreeEdit edit(*this);
      edit.Detach(root);
      return S_OK;
    }
    NodeObject* element = NodeObject::From(e);
    if (!element || element->IsNamespaceDeclaration() || element->Node()->type != XML_ELEMENT_NODE)
      return E_INVALIDARG;
    if (HRESULT hr = CheckSameThreading(*this, *element); FAILED(hr)) return hr;
    xmlNodePtr node = element->Node();
    if (node == root) return S_OK;
    if (IsReadOnly(node)) return RefuseReadOnly();
    TreeEdit edit(*this);
    edit.Move(node, node_, root);
    if (root) edit.Detach(root);
    return S_OK;
  });
}

HRESULT DomDocument::createElement(BSTR tagName, IXMLDOMElement** p) {
  return Call([&] {
    if (!p) return E_INVALIDARG;
    *p = nullptr;
    std::string name = Utf8Of(tagName);
    if (!ValidElementName(name)) return FailWith(E_FAIL, "\"" + name + "\" is not a valid element name.");
    return CreateAndReturn(xmlNewDocNode(XmlDoc(), nullptr, Xml(name), nullptr), p);
  });
}

HRESULT DomDocument::createDocumentFragment(IXMLDOMDocumentFragment** p) {
  return Call([&] {
    if (!p) return E_INVALIDARG;
    *p = nullptr;
    return CreateAndReturn(xmlNewDocFragment(XmlDoc()), p);
  });
}

HRESULT DomDocument::createTextNode(BSTR data, IXMLDOMText** p) {
  return Call([&] {
    if (!p) return E_INVALIDARG;
    *p = nullptr;
    std::string text = Utf8Of(data);
    return CreateAndReturn(xmlNewDocTextLen(XmlDoc(), Xml(text), static_cast<int>(text.size())), p);
  });
}

HRESULT DomDocument::createComment(BSTR data, IXMLDOMComment** p) {
  return Call([&] {
    if (!p) return E_INVALIDARG;
    *p = nullptr;
    return CreateAndReturn(xmlNewDocComment(XmlDoc(), Xml(Utf8Of(data))), p);
  });
}

HRESULT DomDocument::createCDATASection(BSTR data, IXMLDOMCDATASection** p) {
  return Call([&] {
    if (!p) return E_INVALIDARG;
    *p = nullptr;
    std::string text = Utf8Of(data);
    return CreateAndReturn(xmlNewCDataBlock(XmlDoc(), Xml(text), static_cast<int>(text.size())), p);
  });
}

HRESULT DomDocument::createProcessingInstruction(BSTR target, BSTR data, IXMLDOMProcessingInstruction** p) {
  return Call([&] {
    if (!p) return E_INVALIDARG;
    *p = nullptr;
    std::string name = Utf8Of(target);
    if (!ValidUnqualifiedName(name)) return BadPiTarget(name);
    std::string text = Utf8Of(data);
    // An XML declaration is made with its data or given it later.
    if (name == "xml" && !text.empty())
      if (HRESULT hr = CheckXmlDeclarationData(text); FAILED(hr)) return hr;
    return CreateAndReturn(xmlNewDocPI(XmlDoc(), Xml(name), Xml(text)), p);
  });
}

HRESULT DomDocument::createAttribute(BSTR name, IXMLDOMAttribute** p) {
  return Call([&] {
    if (!p) return E_INVALIDARG;
    *p = nullptr;
    xmlNodePtr made;
    if (HRESULT hr = NewAttribute(XmlDoc(), Utf8Of(name), std::string(), &made); FAILED(hr)) return hr;
    return CreateAndReturn(made, p);
  });
}

HRESULT DomDocument::createEntityReference(BSTR name, IXMLDOMEntityReference** p) {
  return Call([&] {
    if (!p) return E_INVALIDARG;
    *p = nullptr;
    std::string n = Utf8Of(name);
    if (!ValidUnqualifiedName(n)) return BadEntityName(n);
    return CreateAndReturn(xmlNewReference(XmlDoc(), Xml(n)), p);
  });
}

HRESULT DomDocument::getElementsByTagName(BSTR tagName, IXMLDOMNodeList** p) {
  return Call([&] {
    if (!p) return E_INVALIDARG;
    *p = MakeObject<ElementsByTagNameList>(this, Utf8Of(tagName)).Detach();
    return S_OK;
  });
}

HRESULT DomDocument::createNode(VARIANT type, BSTR name, BSTR namespaceURI, IXMLDOMNode** p) {
  return Call([&] { return DoCreateNode(type, name, namespaceURI, p); });
}

HRESULT DomDocument::DoCreateNode(const VARIANT& typeValue, BSTR nameText, BSTR uriText, IXMLDOMNode** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  DOMNodeType type;
  if (!NodeTypeOf(typeValue, &type))
    return FailWith(E_INVALIDARG, "The node type is neither a node type number nor a node type's name.");
  std::string name = Utf8Of(nameText), uri = Utf8Of(uriText);
  std::string_view prefix, local;
  SplitQName(name, &prefix, &local);
  xmlDocPtr doc = XmlDoc();
  switch (type) {
    case NODE_ELEMENT: {
      if (!ValidElementName(name)) return FailWith(E_FAIL, "\"" + name + "\" is not a valid element name.");
      if (uri.empty()) return CreateAndReturn(xmlNewDocNode(doc, nullptr, Xml(name), nullptr), out);
      if (HRESULT hr = CheckReservedBinding(prefix, uri); FAILED(hr)) return hr;
      // The namespace is the document's, declared by no element: the new
      // element shows no xmlns attribute, and its serialisations declare
      // it where the tree does not (see ScopedDeclarations).
      xmlNsPtr ns = DocumentNamespace(doc, Xml(uri), prefix.empty() ? nullptr : Xml(std::string(prefix)));
      if (!ns) throw std::bad_alloc();
      xmlNodePtr e = xmlNewDocNode(doc, ns, Xml(std::string(local)), nullptr);
      if (!e) throw std::bad_alloc();
      return CreateAndReturn(e, out);
    }
    case NODE_ATTRIBUTE: {
      xmlNodePtr made;
      if (HRESULT hr = NewAttribute(doc, name, uri, &made); FAILED(hr)) return hr;
      return CreateAndReturn(made, out);
    }
    case NODE_TEXT:
      return CreateAndReturn(xmlNewDocText(doc, Xml("")), out);
    case NODE_CDATA_SECTION:
      return CreateAndReturn(xmlNewCDataBlock(doc, Xml(""), 0), out);
    case NODE_COMMENT:
      return CreateAndReturn(xmlNewDocComment(doc, Xml("")), out);
    case NODE_PROCESSING_INSTRUCTION:
      if (!ValidUnqualifiedName(name)) return BadPiTarget(name);
      return CreateAndReturn(xmlNewDocPI(doc, Xml(name), Xml("")), out);
    case NODE_ENTITY_REFERENCE:
      if (!ValidUnqualifiedName(name)) return BadEntityName(name);
      return CreateAndReturn(xmlNewReference(doc, Xml(name)), out);
    case NODE_DOCUMENT_FRAGMENT:
      return CreateAndReturn(xmlNewDocFragment(doc), out);
    default:
      // Documents, document types, entities and notations are not created
      // this way.
      return FailWith(E_INVALIDARG, "A node of type " + std::to_string(static_cast<int>(type)) +
                                        " cannot be created by createNode.");
  }
}

HRESULT DomDocument::nodeFromID(BSTR id, IXMLDOMNode** p) {
  return Call([&] {
    if (!p) return E_INVALIDARG;
    *p = nullptr;
    return ReturnNode(queries_.ElementById(XmlDoc(), Stamp(), Utf8Of(id)), p);
  });
}

// --- load and save -----------------------------------------------------------------

namespace {

// The locks taken by the load running on this thread.
thread_local DocLockPair* t_loadLocks = nullptr;

}  // namespace

void DomDocument::Fire(const VARIANT& sink) {
  if (sink.vt != VT_DISPATCH || !sink.pdispVal) return;
  // The handler runs with the load's locks given up: it may wait for
  // another free-threaded document whose own handler is reading this one.
  // The handler may set a new one (or none) from inside: the one called is
  // held until it returns.
  ComPtr<IDispatch> handler(sink.pdispVal);
  UnlockedWhile unlocked(t_loadLocks);
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  handler->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr);
  handler.Reset();  // let go of before the locks are taken again
}

void DomDocument::SetReadyState(long state) {
  readyState_ = state;
  Fire(onReadyStateChange_);
}

void DomDocument::BeginLoad(bool keepContent) {
  // A host watching the states sees the old content gone as soon as the
  // load starts, and no error from an earlier load.
  if (!keepContent) {
    InstallTree(NewEmptyTree());
    lastError_ = ParseFailure();
    url_.clear();
  }
  SetReadyState(1);
}

HRESULT DomDocument::Finish(ParseOutcome outcome, const std::string& url, VARIANT_BOOL* ok) {
  bool loaded = outcome.doc != nullptr;
  // Loading is synchronous: the states a host watches pass one after the
  // other (2: read, 3: the object model is there, 4: done).
  SetReadyState(2);
  InstallTree(loaded ? outcome.doc : NewEmptyTree());
  lastError_ = std::move(outcome.error);
  url_ = url;
  SetReadyState(3);
  if (loaded) Fire(onDataAvailable_);
  SetReadyState(4);
  if (ok) *ok = loaded ? VARIANT_TRUE : VARIANT_FALSE;
  return loaded ? S_OK : S_FALSE;
}

DomDocument::ObjectSource DomDocument::SourceOf(IUnknown* unknown) {
  ObjectSource source;
  source.ours = dynamic_cast<DomDocument*>(unknown);
  if (source.ours) return source;
  source.stream = ByteStreamOf(unknown);
  if (!source.stream)
    unknown->QueryInterface(IXMLDOMDocument::kIID, reinterpret_cast<void**>(source.foreign.Out()));
  return source;
}

ParseOutcome DomDocument::LoadFromObject(const ObjectSource& source, bool* handled) {
  *handled = true;
  ParseOutcome outcome;
  if (DomDocument* other = source.ours) {
    DocLock lock(other == this ? nullptr : other->Mutex());
    // A document without an element is no document to load: it fails as
    // empty text does.
    if (!xmlDocGetRootElement(other->XmlDoc())) return ParseText("", settings_.ToLoadOptions());
    if (DeeperThan(reinterpret_cast<xmlNodePtr>(other->XmlDoc()), kMaxCopyDepth)) {
      outcome.error.errorCode = kParseErrorTooDeep;
      outcome.error.reason = "The document is nested too deeply to be copied.";
      return outcome;
    }
    outcome.doc = CopyTree(other->XmlDoc(), true);
    BuildEntityContent(outcome.doc);
    return outcome;
  }
  if (source.stream) return ParseStream(source.stream.Get(), settings_.ToLoadOptions());
  if (source.foreign) {
    BSTR xml = nullptr;
    HRESULT hr = source.foreign->get_xml(&xml);
    std::string text = Utf8OfWhole(xml);
    SysFreeString(xml);
    if (SUCCEEDED(hr)) return ParseText(text, settings_.ToLoadOptions());
  }
  *handled = false;
  return outcome;
}

namespace {

// The object a VARIANT holds, for locking its document along with ours.
IUnknown* ObjectIn(const VARIANT& value) {
  const VARIANT v = ShallowValue(value);
  return v.vt == VT_UNKNOWN ? v.punkVal : v.vt == VT_DISPATCH ? v.pdispVal : nullptr;
}

}  // namespace

HRESULT DomDocument::load(VARIANT source, VARIANT_BOOL* ok) {
  return Call2(ObjectIn(source), [&] { return DoLoad(source, ok); }, &t_loadLocks);
}

HRESULT DomDocument::DoLoad(const VARIANT& source, VARIANT_BOOL* ok) {
  // A readyState handler may let go of the document: it stays until the
  // load is done.
  ComPtr<IXMLDOMNode> self(Interface());
  if (ok) *ok = VARIANT_FALSE;
  const VARIANT v = ShallowValue(source);
  // A source of no kind the document loads from leaves it as it was.
  const bool objectSource = (v.vt == VT_UNKNOWN || v.vt == VT_DISPATCH) && v.punkVal;
  if (!(v.vt == VT_BSTR || objectSource || (v.vt == (VT_ARRAY | VT_UI1) && v.parray))) return E_INVALIDARG;
  const ObjectSource object = objectSource ? SourceOf(v.punkVal) : ObjectSource();
  if (objectSource && !object.Known()) return E_INVALIDARG;
  LoadOptions options = settings_.ToLoadOptions();
  BeginLoad(object.ours == this);
  std::string url;
  ParseOutcome outcome;
  if (v.vt == VT_BSTR) {
    url = Utf8Of(v.bstrVal);
    std::string path;
    if (url.empty()) {
      outcome.error.errorCode = kResourceNotFound;
      outcome.error.reason = "No file or URL was given to load.";
    } else if (IsWebUrl(url)) {
      outcome = ParseUrl(url, options);
    } else if (!LocalPathOf(url, &path)) {
      outcome.error.errorCode = kParseErrorUnsupportedUrl;
      outcome.error.url = url;
      outcome.error.reason = "Only files and http: or https: URLs can be loaded: " + url;
    } else {
      outcome = ParseFile(path, url, options);
    }
  } else if (v.vt == VT_UNKNOWN || v.vt == VT_DISPATCH) {
    bool handled;
    outcome = LoadFromObject(object, &handled);
    if (!handled) {
      SetReadyState(4);
      return E_INVALIDARG;
    }
  } else {  // a byte array, the last kind checked above
    void* data = nullptr;
    HRESULT hr = SafeArrayAccessData(v.parray, &data);
    if (FAILED(hr)) {
      SetReadyState(4);
      return hr;
    }
    // The bytes of every dimension, as they lie in memory.
    size_t size = v.parray->cDims > 0 ? 1 : 0;
    for (USHORT d = 0; d < v.parray->cDims; ++d) size *= v.parray->rgsabound[d].cElements;
    try {
      outcome = ParseBytes(static_cast<const char*>(data), size, std::string(), options);
    } catch (...) {
      SafeArrayUnaccessData(v.parray);
      throw;
    }
    SafeArrayUnaccessData(v.parray);
  }
  return Finish(std::move(outcome), url, ok);
}

HRESULT DomDocument::loadXML(BSTR xml, VARIANT_BOOL* ok) {
  return Call2(nullptr, [&] { return DoLoadXml(xml, ok); }, &t_loadLocks);
}

HRESULT DomDocument::DoLoadXml(BSTR xml, VARIANT_BOOL* ok) {
  ComPtr<IXMLDOMNode> self(Interface());  // as in DoLoad
  if (ok) *ok = VARIANT_FALSE;
  BeginLoad(false);
  const size_t length = xml ? SysStringLen(xml) : 0;
  return Finish(ParseUtf16Text(xml ? xml : u"", length, settings_.ToLoadOptions()), std::string(), ok);
}

HRESULT DomDocument::get_readyState(long* p) {
  return Call([&] {
    if (!p) return E_INVALIDARG;
    *p = readyState_;
    return S_OK;
  });
}

HRESULT DomDocument::get_parseError(IXMLDOMParseError** p) {
  return Call([&] {
    if (!p) return E_INVALIDARG;
    *p = MakeObject<ParseErrorObject>(lastError_).Detach();
    return S_OK;
  });
}

HRESULT DomDocument::get_url(BSTR* p) {
  return Call([&] {
    if (!p) return E_INVALIDARG;
    *p = nullptr;
    if (url_.empty()) return S_FALSE;
    return ReturnBstr(url_, p);
  });
}

HRESULT DomDocument::get_async(VARIANT_BOOL* p) { return Call([&] { return ReturnFlag(settings_.async, p); }); }
HRESULT DomDocument::put_async(VARIANT_BOOL v) {
  return Call([&] {
    settings_.async = v != VARIANT_FALSE;
    return S_OK;
  });
}

// Loading is synchronous: by the time abort could be called there is
// nothing left to stop.
HRESULT DomDocument::abort() { return S_OK; }

HRESULT DomDocument::save(VARIANT destination) {
  return Call2(ObjectIn(destination), [&] { return DoSave(destination); });
}

namespace {
constexpr char kNoSaveTarget[] =
    "A document saves to a file name, a stream (IStream or ISequentialStream) or another DOM document.";
}  // namespace

HRESULT DomDocument::DoSave(const VARIANT& destination) {
  const VARIANT v = ShallowValue(destination);
  std::string reason;
  if (v.vt == VT_BSTR) {
    std::string location = Utf8Of(v.bstrVal), path;
    if (location.empty() || !LocalPathOf(location, &path))
      return FailWith(E_INVALIDARG, "\"" + location + "\" names no local file to save to.");
    // A document that cannot be written leaves the file as it was.
    HRESULT writable = CheckWritable(XmlDoc(), &reason);
    if (FAILED(writable)) return FailWith(writable, reason);
    FileWriter file;
    HRESULT hr = file.Open(path, &reason);
    if (FAILED(hr)) return FailWith(hr, reason);
    hr = WriteDocument(XmlDoc(), [&file](const char* data, size_t n) { return file.Write(data, n); }, &reason);
    if (SUCCEEDED(hr) || file.WriteFailed()) hr = file.Commit(&reason);
    return FAILED(hr) ? FailWith(hr, reason) : S_OK;
  }
  IUnknown* unknown = v.vt == VT_UNKNOWN ? v.punkVal : v.vt == VT_DISPATCH ? v.pdispVal : nullptr;
  if (!unknown) return FailWith(E_INVALIDARG, kNoSaveTarget);
  if (auto* target = dynamic_cast<DomDocument*>(unknown)) {
    if (target == this) return S_OK;
    DocLock lock(target->Mutex());
    target->LoadCopyOf(XmlDoc());
    return S_OK;
  }
  if (ComPtr<ISequentialStream> stream = ByteStreamOf(unknown)) {
    HRESULT writable = CheckWritable(XmlDoc(), &reason);
    if (FAILED(writable)) return FailWith(writable, reason);
    HRESULT writeError = S_OK;
    HRESULT hr = WriteDocument(XmlDoc(), [&](const char* data, size_t n) {
      writeError = WriteAll(stream.Get(), data, n);
      return SUCCEEDED(writeError);
    }, &reason);
    if (FAILED(writeError)) return FailWith(writeError, "The stream refused the output.");
    return FAILED(hr) ? FailWith(hr, reason) : S_OK;
  }
  ComPtr<IXMLDOMDocument> foreign;
  if (SUCCEEDED(unknown->QueryInterface(IXMLDOMDocument::kIID, reinterpret_cast<void**>(foreign.Out())))) {
    BSTR xml = AllocBstr(SerializeNode(node_));
    if (!xml) return E_OUTOFMEMORY;
    VARIANT_BOOL ok = VARIANT_FALSE;
    HRESULT hr = foreign->loadXML(xml, &ok);
    SysFreeString(xml);
    return hr;
  }
  return FailWith(E_INVALIDARG, kNoSaveTarget);
}

HRESULT DomDocument::get_validateOnParse(VARIANT_BOOL* p) {
  return Call([&] { return ReturnFlag(settings_.validateOnParse, p); });
}
HRESULT DomDocument::put_validateOnParse(VARIANT_BOOL v) {
  return Call([&] {
    settings_.validateOnParse = v != VARIANT_FALSE;
    return S_OK;
  });
}
HRESULT DomDocument::get_resolveExternals(VARIANT_BOOL* p) {
  return Call([&] { return ReturnFlag(settings_.resolveExternals, p); });
}
HRESULT DomDocument::put_resolveExternals(VARIANT_BOOL v) {
  return Call([&] {
    settings_.resolveExternals = v != VARIANT_FALSE;
    return S_OK;
  });
}
HRESULT DomDocument::get_preserveWhiteSpace(VARIANT_BOOL* p) {
  return Call([&] { return ReturnFlag(settings_.preserveWhiteSpace, p); });
}
HRESULT DomDocument::put_preserveWhiteSpace(VARIANT_BOOL v) {
  return Call([&] {
    settings_.preserveWhiteSpace = v != VARIANT_FALSE;
    return S_OK;
  });
}

namespace {

HRESULT KeepSink(VARIANT* slot, const VARIANT& sink) {
  VARIANT copy;
  VariantInit(&copy);
  HRESULT hr = VariantCopyInd(&copy, &sink);
  if (FAILED(hr)) return hr;
  VariantClear(slot);
  *slot = copy;
  return S_OK;
}

}  // namespace

HRESULT DomDocument::put_onreadystatechange(VARIANT sink) {
  return Call([&] { return KeepSink(&onReadyStateChange_, sink); });
}
HRESULT DomDocument::put_ondataavailable(VARIANT sink) {
  return Call([&] { return KeepSink(&onDataAvailable_, sink); });
}
// Kept, but never called: libxslt offers no per-node hook to raise it from.
HRESULT DomDocument::put_ontransformnode(VARIANT sink) {
  return Call([&] { return KeepSink(&onTransformNode_, sink); });
}

// --- IXMLDOMDocument2 ----------------------------------------------------------------

HRESULT DomDocument::get_namespaces(IXMLDOMSchemaCollection** p) {
  return Call([&] {
    if (!p) return E_INVALIDARG;
    *p = MakeObject<DocumentNamespaces>(XmlDoc()).Detach();
    return S_OK;
  });
}

HRESULT DomDocument::get_schemas(VARIANT* p) {
  return Call([&] {
    if (!p) return E_INVALIDARG;
    VariantInit(p);
    return VariantCopy(p, &schemas_);
  });
}

HRESULT DomDocument::putref_schemas(VARIANT collection) {
  return Call([&] { return KeepSink(&schemas_, collection); });
}

HRESULT DomDocument::validate(IXMLDOMParseError** p) {
  return Call([&] {
    if (!p) return E_INVALIDARG;
    ParseFailure result = ValidateDocument(XmlDoc(), settings_.ToLoadOptions());
    *p = MakeObject<ParseErrorObject>(result).Detach();
    return result.errorCode == S_OK ? S_OK : S_FALSE;
  });
}

HRESULT DomDocument::setProperty(BSTR name, VARIANT value) {
  return Call([&] { return DoSetProperty(Utf8Of(name), value); });
}

HRESULT DomDocument::getProperty(BSTR name, VARIANT* value) {
  return Call([&] { return DoGetProperty(Utf8Of(name), value); });
}

HRESULT DomDocument::DoSetProperty(const std::string& name, const VARIANT& value) {
  if (Named(name, "SelectionLanguage")) {
    std::string v;
    if (FAILED(Utf8OfVariant(value, &v))) return E_INVALIDARG;
    HRESULT hr = CheckSelectionLanguage(v, flavor_.version40);
    if (FAILED(hr)) return hr;
    settings_.selectionLanguage = v;
    settings_.namespaces.inScope = v == "XSLPattern";
    settings_.namespaces.version = NextNamespacesVersion();
    return S_OK;
  }
  if (Named(name, "SelectionNamespaces")) {
    std::string v;
    if (FAILED(Utf8OfVariant(value, &v))) return E_INVALIDARG;
    QueryNamespaces ns;
    if (!ParseSelectionNamespaces(v, &ns.bindings))
      return FailWith(E_FAIL, "Malformed namespace declarations: " + v);
    ns.inScope = settings_.namespaces.inScope;
    ns.version = NextNamespacesVersion();
    settings_.namespaces = std::move(ns);
    settings_.selectionNamespaces = v;
    return S_OK;
  }
  struct BoolProperty {
    const char* name;
    bool DocumentSettings::*field;
  };
  static const BoolProperty kBools[] = {
      {"ProhibitDTD", &DocumentSettings::prohibitDtd},
      {"ResolveExternals", &DocumentSettings::resolveExternals},
      {"AllowDocumentFunction", &DocumentSettings::allowDocumentFunction},
      {"AllowXsltScript", &DocumentSettings::allowXsltScript},
      {"NewParser", &DocumentSettings::newParser},
      {"ServerHTTPRequest", &DocumentSettings::serverHttpRequest},
  };
  for (const auto& p : kBools) {
    if (!Named(name, p.name)) continue;
    bool b = false;
    HRESULT hr = BoolOf(p.name, value, &b);
    if (SUCCEEDED(hr)) settings_.*p.field = b;
    return hr;
  }
  if (Named(name, "MaxElementDepth")) return LongOf("MaxElementDepth", value, &settings_.maxElementDepth);
  if (Named(name, "MaxXMLSize")) return LongOf("MaxXMLSize", value, &settings_.maxXmlSizeKb);
  return FailWith(E_INVALIDARG, "Unknown property: " + name);
}

HRESULT DomDocument::DoGetProperty(const std::string& name, VARIANT* value) {
  if (!value) return E_INVALIDARG;
  VariantInit(value);
  if (Named(name, "SelectionLanguage")) return ReturnBstrVariant(settings_.selectionLanguage, value);
  if (Named(name, "SelectionNamespaces")) return ReturnBstrVariant(settings_.selectionNamespaces, value);
  if (Named(name, "ProhibitDTD")) return ReturnBool(settings_.prohibitDtd, value);
  if (Named(name, "ResolveExternals")) return ReturnBool(settings_.resolveExternals, value);
  if (Named(name, "AllowDocumentFunction")) return ReturnBool(settings_.allowDocumentFunction, value);
  if (Named(name, "AllowXsltScript")) return ReturnBool(settings_.allowXsltScript, value);
  if (Named(name, "NewParser")) return ReturnBool(settings_.newParser, value);
  if (Named(name, "ServerHTTPRequest")) return ReturnBool(settings_.serverHttpRequest, value);
  if (Named(name, "MaxElementDepth")) return ReturnLong(settings_.maxElementDepth, value);
  if (Named(name, "MaxXMLSize")) return ReturnLong(settings_.maxXmlSizeKb, value);
  return FailWith(E_INVALIDARG, "Unknown property: " + name);
}

}  // namespace ardo::engine
