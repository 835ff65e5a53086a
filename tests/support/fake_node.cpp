#include "tests/support/fake_node.h"

namespace ardo::test {

FakeNode::FakeNode() = default;

FakeNode::~FakeNode() {
  for (auto& [method, b] : behaviour_)
    if (b.node) b.node->Release();
}

void FakeNode::SetResult(const std::string& method, HRESULT hr) { behaviour_[method].hr = hr; }

void FakeNode::SetText(const std::string& method, std::optional<std::u16string> text) {
  behaviour_[method].text = std::move(text);
}

void FakeNode::SetFlag(const std::string& method, VARIANT_BOOL flag) {
  behaviour_[method].flag = flag;
}

void FakeNode::SetNode(const std::string& method, IXMLDOMNode* node) {
  Behaviour& b = behaviour_[method];
  if (node) node->AddRef();
  if (b.node) b.node->Release();
  b.node = node;
}

const FakeNode::Received* FakeNode::LastReceived(const std::string& method) const {
  for (auto it = received_.rbegin(); it != received_.rend(); ++it)
    if (it->method == method) return &*it;
  return nullptr;
}

int FakeNode::Calls(const std::string& method) const {
  auto it = calls_.find(method);
  return it == calls_.end() ? 0 : it->second;
}

HRESULT FakeNode::Enter(const char* method) {
  ++calls_[method];
  auto it = behaviour_.find(method);
  return it != behaviour_.end() && it->second.hr ? *it->second.hr : S_OK;
}

HRESULT FakeNode::String(const char* method, BSTR* out) {
  HRESULT hr = Enter(method);
  if (!out) return E_POINTER;
  *out = nullptr;
  const Behaviour& b = behaviour_[method];
  if (b.text && SUCCEEDED(hr)) {  // a failing call hands out nothing
    *out = SysAllocStringLen(b.text->data(), static_cast<UINT>(b.text->size()));
    if (!*out) return E_OUTOFMEMORY;
  }
  return hr;
}

HRESULT FakeNode::Flag(const char* method, VARIANT_BOOL* out) {
  HRESULT hr = Enter(method);
  if (!out) return E_POINTER;
  *out = behaviour_[method].flag;
  return hr;
}

HRESULT FakeNode::Node(const char* method, IXMLDOMNode** out) {
  HRESULT hr = Enter(method);
  if (!out) return E_POINTER;
  *out = SUCCEEDED(hr) ? behaviour_[method].node : nullptr;
  if (*out) (*out)->AddRef();
  return hr;
}

HRESULT FakeNode::NotServed(const char* method) {
  ++calls_[method];
  return E_NOTIMPL;
}

void FakeNode::RecordBstr(const char* method, BSTR value) {
  Received r;
  r.method = method;
  r.kind = Received::Kind::kBstr;
  r.null = value == nullptr;
  if (value) r.text.assign(value, SysStringLen(value));
  received_.push_back(std::move(r));
}

void FakeNode::RecordFlag(const char* method, VARIANT_BOOL value) {
  Received r;
  r.method = method;
  r.kind = Received::Kind::kFlag;
  r.flag = value;
  received_.push_back(std::move(r));
}

void FakeNode::RecordNode(const char* method, IXMLDOMNode* value) {
  Received r;
  r.method = method;
  r.kind = Received::Kind::kNode;
  r.null = value == nullptr;
  r.node = value;
  received_.push_back(std::move(r));
}

void FakeNode::RecordVariant(const char* method, const VARIANT& value) {
  Received r;
  r.method = method;
  r.kind = Received::Kind::kVariant;
  r.vt = value.vt;
  if (value.vt == VT_BSTR && value.bstrVal)
    r.text.assign(value.bstrVal, SysStringLen(value.bstrVal));
  received_.push_back(std::move(r));
}

HRESULT FakeNode::get_nodeName(BSTR* name) { return String("get_nodeName", name); }

HRESULT FakeNode::get_nodeValue(VARIANT* value) {
  HRESULT hr = Enter("get_nodeValue");
  if (!value) return E_POINTER;
  VariantInit(value);
  const Behaviour& b = behaviour_["get_nodeValue"];
  if (FAILED(hr)) return hr;
  if (b.text) {
    value->vt = VT_BSTR;
    value->bstrVal = SysAllocStringLen(b.text->data(), static_cast<UINT>(b.text->size()));
    if (!value->bstrVal) {
      value->vt = VT_EMPTY;
      return E_OUTOFMEMORY;
    }
  } else {
    value->vt = VT_NULL;
  }
  return hr;
}

HRESULT FakeNode::put_nodeValue(VARIANT value) {
  RecordVariant("put_nodeValue", value);
  return Enter("put_nodeValue");
}

HRESULT FakeNode::get_nodeType(DOMNodeType* type) {
  HRESULT hr = Enter("get_nodeType");
  if (!type) return E_POINTER;
  *type = NODE_ELEMENT;
  return hr;
}

HRESULT FakeNode::get_parentNode(IXMLDOMNode** parent) { return Node("get_parentNode", parent); }

HRESULT FakeNode::get_childNodes(IXMLDOMNodeList** childList) {
  if (childList) *childList = nullptr;
  return NotServed("get_childNodes");
}

HRESULT FakeNode::get_firstChild(IXMLDOMNode** firstChild) {
  return Node("get_firstChild", firstChild);
}

HRESULT FakeNode::get_lastChild(IXMLDOMNode** lastChild) { return Node("get_lastChild", lastChild); }

HRESULT FakeNode::get_previousSibling(IXMLDOMNode** previousSibling) {
  return Node("get_previousSibling", previousSibling);
}

HRESULT FakeNode::get_nextSibling(IXMLDOMNode** nextSibling) {
  return Node("get_nextSibling", nextSibling);
}

HRESULT FakeNode::get_attributes(IXMLDOMNamedNodeMap** attributeMap) {
  if (attributeMap) *attributeMap = nullptr;
  return NotServed("get_attributes");
}

HRESULT FakeNode::insertBefore(IXMLDOMNode* newChild, VARIANT refChild, IXMLDOMNode** outNewChild) {
  RecordNode("insertBefore", newChild);
  RecordVariant("insertBefore", refChild);
  return Node("insertBefore", outNewChild);
}

HRESULT FakeNode::replaceChild(IXMLDOMNode* newChild, IXMLDOMNode* oldChild,
                               IXMLDOMNode** outOldChild) {
  RecordNode("replaceChild", newChild);
  RecordNode("replaceChild", oldChild);
  return Node("replaceChild", outOldChild);
}

HRESULT FakeNode::removeChild(IXMLDOMNode* childNode, IXMLDOMNode** oldChild) {
  RecordNode("removeChild", childNode);
  return Node("removeChild", oldChild);
}

HRESULT FakeNode::appendChild(IXMLDOMNode* newChild, IXMLDOMNode** outNewChild) {
  RecordNode("appendChild", newChild);
  return Node("appendChild", outNewChild);
}

HRESULT FakeNode::hasChildNodes(VARIANT_BOOL* hasChild) { return Flag("hasChildNodes", hasChild); }

HRESULT FakeNode::get_ownerDocument(IXMLDOMDocument** DOMDocument) {
  if (DOMDocument) *DOMDocument = nullptr;
  return NotServed("get_ownerDocument");
}

HRESULT FakeNode::cloneNode(VARIANT_BOOL deep, IXMLDOMNode** cloneRoot) {
  RecordFlag("cloneNode", deep);
  return Node("cloneNode", cloneRoot);
}

HRESULT FakeNode::get_nodeTypeString(BSTR* nodeType) {
  return String("get_nodeTypeString", nodeType);
}

HRESULT FakeNode::get_text(BSTR* text) { return String("get_text", text); }

HRESULT FakeNode::put_text(BSTR text) {
  RecordBstr("put_text", text);
  return Enter("put_text");
}

HRESULT FakeNode::get_specified(VARIANT_BOOL* isSpecified) {
  return Flag("get_specified", isSpecified);
}

HRESULT FakeNode::get_definition(IXMLDOMNode** definitionNode) {
  return Node("get_definition", definitionNode);
}

HRESULT FakeNode::get_nodeTypedValue(VARIANT* typedValue) {
  if (typedValue) VariantInit(typedValue);
  return NotServed("get_nodeTypedValue");
}

HRESULT FakeNode::put_nodeTypedValue(VARIANT typedValue) {
  return NotServed("put_nodeTypedValue");
}

HRESULT FakeNode::get_dataType(VARIANT* dataTypeName) {
  if (dataTypeName) VariantInit(dataTypeName);
  return NotServed("get_dataType");
}

HRESULT FakeNode::put_dataType(BSTR dataTypeName) {
  RecordBstr("put_dataType", dataTypeName);
  return Enter("put_dataType");
}

HRESULT FakeNode::get_xml(BSTR* xmlString) { return String("get_xml", xmlString); }

HRESULT FakeNode::transformNode(IXMLDOMNode* stylesheet, BSTR* xmlString) {
  if (xmlString) *xmlString = nullptr;
  return NotServed("transformNode");
}

HRESULT FakeNode::selectNodes(BSTR queryString, IXMLDOMNodeList** resultList) {
  RecordBstr("selectNodes", queryString);
  if (resultList) *resultList = nullptr;
  return NotServed("selectNodes");
}

HRESULT FakeNode::selectSingleNode(BSTR queryString, IXMLDOMNode** resultNode) {
  RecordBstr("selectSingleNode", queryString);
  return Node("selectSingleNode", resultNode);
}

HRESULT FakeNode::get_parsed(VARIANT_BOOL* isParsed) { return Flag("get_parsed", isParsed); }

HRESULT FakeNode::get_namespaceURI(BSTR* namespaceURI) {
  return String("get_namespaceURI", namespaceURI);
}

HRESULT FakeNode::get_prefix(BSTR* prefixString) { return String("get_prefix", prefixString); }

HRESULT FakeNode::get_baseName(BSTR* nameString) { return String("get_baseName", nameString); }

HRESULT FakeNode::transformNodeToObject(IXMLDOMNode* stylesheet, VARIANT outputObject) {
  return NotServed("transformNodeToObject");
}

}  // namespace ardo::test
