// A hand-written stand-in for a DOM node, for the contract cases that the
// real engine cannot produce on demand: a chosen failing HRESULT from one
// method, a null BSTR or a BSTR with an embedded NUL, exact AddRef/Release
// counts around a call.
//
//   auto node = ardo::MakeObject<ardo::test::FakeNode>();
//   node->SetText("get_nodeName", std::u16string(u"ab\0cd", 5));
//   node->SetResult("get_nodeName", E_FAIL);
//
// Methods are named by their interface names ("get_nodeName"). Every method
// that the fake serves answers S_OK (or the HRESULT chosen for it) with:
// - string getters: the text chosen for them, a null BSTR by default;
// - boolean getters: the flag chosen, VARIANT_FALSE by default;
// - node getters and node results: the node chosen (one reference handed
//   out per call), null by default;
// - get_nodeType: NODE_ELEMENT; get_nodeValue: a VT_BSTR of the text chosen
//   for it, VT_NULL by default.
// A failing HRESULT chosen for a method hands out nothing (null, VT_EMPTY).
// Setters and methods with arguments record what they received (see
// Received). The rest (lists, attribute maps, transformations, typed values)
// answer E_NOTIMPL.
#pragma once

#include <atomic>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/include/xml_services.h"
#include "platform/platform.h"

namespace ardo::test {

// Counts the AddRef and Release calls an object receives, on top of the
// usual reference count.
template <class Impl, class... Interfaces>
class CallCounted : public ardo::ComObject<Impl, Interfaces...> {
  using Base = ardo::ComObject<Impl, Interfaces...>;

 public:
  ULONG STDMETHODCALLTYPE AddRef() override {
    ++add_refs_;
    return Base::AddRef();
  }
  ULONG STDMETHODCALLTYPE Release() override {
    ++releases_;  // before the base may delete the object
    return Base::Release();
  }
  long AddRefCalls() const { return add_refs_; }
  long ReleaseCalls() const { return releases_; }
  // The reference count without touching it.
  ULONG RefCount() const { return this->DebugRefCount(); }

 private:
  std::atomic<long> add_refs_{0};
  std::atomic<long> releases_{0};
};

class FakeNode : public CallCounted<FakeNode, IXMLDOMNode> {
 public:
  // One argument as the fake received it.
  struct Received {
    std::string method;
    enum class Kind { kBstr, kFlag, kNode, kVariant } kind = Kind::kBstr;
    bool null = false;        // a null BSTR or a null node pointer
    std::u16string text;      // a BSTR's full content (embedded NULs kept)
    VARIANT_BOOL flag = 0;    // a VARIANT_BOOL as received, all 16 bits
    IXMLDOMNode* node = nullptr;  // identity only; the fake takes no reference
    VARTYPE vt = VT_EMPTY;    // a VARIANT's type
  };

  FakeNode();
  ~FakeNode() override;

  // The HRESULT `method` answers from now on (out-values are still written).
  void SetResult(const std::string& method, HRESULT hr);
  // The BSTR a string getter hands out; nullopt hands out a null BSTR.
  void SetText(const std::string& method, std::optional<std::u16string> text);
  void SetFlag(const std::string& method, VARIANT_BOOL flag);
  // The node a node getter or node-returning method hands out (shared, not
  // adopted: the fake takes a reference of its own). Null hands out null.
  void SetNode(const std::string& method, IXMLDOMNode* node);

  // Every argument received, in order.
  const std::vector<Received>& AllReceived() const { return received_; }
  // The last argument `method` received; null when it received none.
  const Received* LastReceived(const std::string& method) const;
  // How often `method` was called.
  int Calls(const std::string& method) const;

  // IXMLDOMNode
  HRESULT get_nodeName(BSTR* name) override;
  HRESULT get_nodeValue(VARIANT* value) override;
  HRESULT put_nodeValue(VARIANT value) override;
  HRESULT get_nodeType(DOMNodeType* type) override;
  HRESULT get_parentNode(IXMLDOMNode** parent) override;
  HRESULT get_childNodes(IXMLDOMNodeList** childList) override;
  HRESULT get_firstChild(IXMLDOMNode** firstChild) override;
  HRESULT get_lastChild(IXMLDOMNode** lastChild) override;
  HRESULT get_previousSibling(IXMLDOMNode** previousSibling) override;
  HRESULT get_nextSibling(IXMLDOMNode** nextSibling) override;
  HRESULT get_attributes(IXMLDOMNamedNodeMap** attributeMap) override;
  HRESULT insertBefore(IXMLDOMNode* newChild, VARIANT refChild,
                       IXMLDOMNode** outNewChild) override;
  HRESULT replaceChild(IXMLDOMNode* newChild, IXMLDOMNode* oldChild,
                       IXMLDOMNode** outOldChild) override;
  HRESULT removeChild(IXMLDOMNode* childNode, IXMLDOMNode** oldChild) override;
  HRESULT appendChild(IXMLDOMNode* newChild, IXMLDOMNode** outNewChild) override;
  HRESULT hasChildNodes(VARIANT_BOOL* hasChild) override;
  HRESULT get_ownerDocument(IXMLDOMDocument** DOMDocument) override;
  HRESULT cloneNode(VARIANT_BOOL deep, IXMLDOMNode** cloneRoot) override;
  HRESULT get_nodeTypeString(BSTR* nodeType) override;
  HRESULT get_text(BSTR* text) override;
  HRESULT put_text(BSTR text) override;
  HRESULT get_specified(VARIANT_BOOL* isSpecified) override;
  HRESULT get_definition(IXMLDOMNode** definitionNode) override;
  HRESULT get_nodeTypedValue(VARIANT* typedValue) override;
  HRESULT put_nodeTypedValue(VARIANT typedValue) override;
  HRESULT get_dataType(VARIANT* dataTypeName) override;
  HRESULT put_dataType(BSTR dataTypeName) override;
  HRESULT get_xml(BSTR* xmlString) override;
  HRESULT transformNode(IXMLDOMNode* stylesheet, BSTR* xmlString) override;
  HRESULT selectNodes(BSTR queryString, IXMLDOMNodeList** resultList) override;
  HRESULT selectSingleNode(BSTR queryString, IXMLDOMNode** resultNode) override;
  HRESULT get_parsed(VARIANT_BOOL* isParsed) override;
  HRESULT get_namespaceURI(BSTR* namespaceURI) override;
  HRESULT get_prefix(BSTR* prefixString) override;
  HRESULT get_baseName(BSTR* nameString) override;
  HRESULT transformNodeToObject(IXMLDOMNode* stylesheet, VARIANT outputObject) override;

 private:
  struct Behaviour {
    std::optional<HRESULT> hr;
    std::optional<std::u16string> text;
    VARIANT_BOOL flag = VARIANT_FALSE;
    IXMLDOMNode* node = nullptr;  // one reference held by the fake
  };

  // Counts the call and answers the chosen HRESULT (S_OK by default).
  HRESULT Enter(const char* method);
  HRESULT String(const char* method, BSTR* out);
  HRESULT Flag(const char* method, VARIANT_BOOL* out);
  HRESULT Node(const char* method, IXMLDOMNode** out);
  HRESULT NotServed(const char* method);
  void RecordBstr(const char* method, BSTR value);
  void RecordFlag(const char* method, VARIANT_BOOL value);
  void RecordNode(const char* method, IXMLDOMNode* value);
  void RecordVariant(const char* method, const VARIANT& value);

  std::map<std::string, Behaviour> behaviour_;
  std::map<std::string, int> calls_;
  std::vector<Received> received_;
};

}  // namespace ardo::test
