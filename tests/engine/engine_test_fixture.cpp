#include "tests/engine/engine_test_fixture.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace ardo::test {

static VARIANT Typed(VARTYPE vt) {
  VARIANT v;
  VariantInit(&v);
  v.vt = vt;
  return v;
}
VARIANT Variant::Str(const char* utf8) { VARIANT v = Typed(VT_BSTR); v.bstrVal = ardo::Utf8ToBstr(utf8); return v; }
VARIANT Variant::I4(long value) { VARIANT v = Typed(VT_I4); v.lVal = LONG(value); return v; }
VARIANT Variant::Bool(bool value) { VARIANT v = Typed(VT_BOOL); v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE; return v; }
VARIANT Variant::R8(double value, VARTYPE vt) { VARIANT v = Typed(vt); v.dblVal = value; return v; }  // VT_DATE too
VARIANT Variant::Unknown(IUnknown* unknown) {
  VARIANT v = Typed(VT_UNKNOWN);
  if ((v.punkVal = unknown)) unknown->AddRef();
  return v;
}
VARIANT Variant::Dispatch(IDispatch* dispatch) {
  VARIANT v = Typed(VT_DISPATCH);
  if ((v.pdispVal = dispatch)) dispatch->AddRef();
  return v;
}

std::string Variant::Utf8() const { return v_.vt == VT_BSTR ? ardo::BstrToUtf8(v_.bstrVal) : ""; }

const std::vector<DocumentClass>& AllDocumentClasses() {
  static const std::vector<DocumentClass> classes = {
      {&CLSID_DOMDocument, "DOMDocument", false, false},
      {&CLSID_DOMDocument26, "DOMDocument26", false, false},
      {&CLSID_DOMDocument30, "DOMDocument30", false, false},
      {&CLSID_DOMDocument40, "DOMDocument40", false, true},
      {&CLSID_FreeThreadedDOMDocument, "FreeThreadedDOMDocument", true, false},
      {&CLSID_FreeThreadedDOMDocument26, "FreeThreadedDOMDocument26", true, false},
      {&CLSID_FreeThreadedDOMDocument30, "FreeThreadedDOMDocument30", true, false},
      {&CLSID_FreeThreadedDOMDocument40, "FreeThreadedDOMDocument40", true, true},
  };
  return classes;
}

template <typename Getter>
static std::string Read(IXMLDOMNode* node, Getter get, const char* what) {
  if (!node) return "<null>";
  Bstr b;
  if (FAILED((node->*get)(b.Out()))) return std::string("<") + what + " failed>";
  return b.Utf8();
}
std::string XmlOf(IXMLDOMNode* node) { return Read(node, &IXMLDOMNode::get_xml, "get_xml"); }
std::string TextOf(IXMLDOMNode* node) { return Read(node, &IXMLDOMNode::get_text, "get_text"); }
std::string NameOf(IXMLDOMNode* node) { return Read(node, &IXMLDOMNode::get_nodeName, "get_nodeName"); }

DOMNodeType TypeOf(IXMLDOMNode* node) {
  DOMNodeType type = NODE_INVALID;
  if (node) node->get_nodeType(&type);
  return type;
}

long LengthOf(IXMLDOMNodeList* list) {
  long n = -1;
  if (list) list->get_length(&n);
  return n;
}

long ChildCount(IXMLDOMNode* node) {
  ardo::ComPtr<IXMLDOMNodeList> children;
  if (!node || FAILED(node->get_childNodes(children.Out())) || !children) return -1;
  return LengthOf(children.Get());
}

std::vector<std::string> NamesOf(IXMLDOMNodeList* list) {
  std::vector<std::string> names;
  long n = LengthOf(list);
  for (long i = 0; i < n; ++i) {
    ardo::ComPtr<IXMLDOMNode> item;
    list->get_item(i, item.Out());
    names.push_back(NameOf(item.Get()));
  }
  return names;
}

std::vector<std::string> EnumeratedNames(IUnknown* newEnum) {
  std::vector<std::string> names;
  auto enumerator = ardo::ComPtr<IUnknown>::Share(newEnum).As<IEnumVARIANT>();
  EXPECT_TRUE(enumerator);
  for (HRESULT hr = S_OK; enumerator && hr == S_OK;) {
    Variant v;
    ULONG fetched = 9;
    hr = enumerator->Next(1, v.Out(), &fetched);
    EXPECT_TRUE(hr == S_OK || hr == S_FALSE) << std::hex << hr;
    EXPECT_EQ(fetched, hr == S_OK ? 1u : 0u);
    if (hr != S_OK) break;
    ardo::ComPtr<IXMLDOMNode> node;
    EXPECT_TRUE(v.vt() == VT_DISPATCH || v.vt() == VT_UNKNOWN) << v.vt();
    if (v.vt() == VT_DISPATCH || v.vt() == VT_UNKNOWN)
      v.get().punkVal->QueryInterface(IID_IXMLDOMNode, reinterpret_cast<void**>(node.Out()));
    names.push_back(NameOf(node.Get()));
  }
  return names;
}

IUnknown* IdentityOf(IUnknown* object) {
  if (!object) return nullptr;
  IUnknown* unknown = nullptr;
  if (FAILED(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown))) || !unknown)
    return nullptr;
  unknown->Release();
  return unknown;
}

// One scratch directory per test process, removed when the process ends.
std::string TempDir() {
  struct Scratch {
    std::string path;
    Scratch() {
      std::string pattern = ::testing::TempDir() + "ardo_engine_tests_XXXXXX";
      if (mkdtemp(pattern.data())) path = pattern;
    }
    ~Scratch() {
      std::error_code ignored;
      if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
  };
  static const Scratch scratch;
  return scratch.path.empty() ? ::testing::TempDir() : scratch.path;
}

std::string WriteTempFile(const std::string& name, const std::string& bytes) {
  std::string path = TempDir() + "/" + name;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), std::streamsize(bytes.size()));
  return path;
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

VARIANT ByteArrayVariant(const std::string& bytes) {
  VARIANT v;
  VariantInit(&v);
  SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, ULONG(bytes.size()));
  if (!array) return v;
  void* data = nullptr;
  if (SUCCEEDED(SafeArrayAccessData(array, &data))) {
    if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
    SafeArrayUnaccessData(array);
  }
  v.vt = VT_ARRAY | VT_UI1;
  v.parray = array;
  return v;
}

std::string BytesOfVariant(const VARIANT& v) {
  if (v.vt != (VT_ARRAY | VT_UI1) || !v.parray) return "<not a byte array>";
  LONG lower = 0, upper = -1;
  SafeArrayGetLBound(v.parray, 1, &lower);
  SafeArrayGetUBound(v.parray, 1, &upper);
  if (upper < lower) return "";
  void* data = nullptr;
  if (FAILED(SafeArrayAccessData(v.parray, &data))) return "<not accessible>";
  std::string bytes(static_cast<const char*>(data), size_t(upper - lower + 1));
  SafeArrayUnaccessData(v.parray);
  return bytes;
}

std::string StreamBytes(IStream* stream) {
  LARGE_INTEGER zero{};
  if (!stream || FAILED(stream->Seek(zero, STREAM_SEEK_SET, nullptr))) return "<not seekable>";
  std::string bytes;
  char buf[4096];
  for (;;) {
    ULONG read = 0;
    HRESULT hr = stream->Read(buf, sizeof buf, &read);
    if (FAILED(hr)) return "<read failed>";
    bytes.append(buf, read);
    if (read == 0 || hr == S_FALSE) break;
  }
  return bytes;
}

ardo::ComPtr<IXMLDOMDocument2> EngineTest::NewDocument(const CLSID& clsid) {
  ardo::ComPtr<IXMLDOMDocument2> doc;
  HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument2,
                                reinterpret_cast<void**>(doc.Out()));
  EXPECT_HR(hr, S_OK);
  EXPECT_TRUE(doc) << "CoCreateInstance gave no document";
  return doc;
}

ardo::ComPtr<IXMLDOMDocument2> EngineTest::ResolvingDocument() {
  ardo::ComPtr<IXMLDOMDocument2> doc = NewDocument();
  if (!doc) return doc;
  HRESULT resolving = doc->put_resolveExternals(VARIANT_TRUE), validating = doc->put_validateOnParse(VARIANT_FALSE);
  EXPECT_HR(resolving, S_OK);
  EXPECT_HR(validating, S_OK);
  if (resolving != S_OK || validating != S_OK) return {};
  return doc;
}

HRESULT EngineTest::LoadXml(IXMLDOMDocument* doc, const char* xml, VARIANT_BOOL* ok) {
  VARIANT_BOOL flag = VARIANT_FALSE;
  Bstr text(xml);
  HRESULT hr = doc->loadXML(text, &flag);
  if (ok) *ok = flag;
  return hr;
}

ardo::ComPtr<IXMLDOMDocument2> EngineTest::Parse(const char* xml, const CLSID& clsid) {
  ardo::ComPtr<IXMLDOMDocument2> doc = NewDocument(clsid);
  if (!doc) return doc;
  VARIANT_BOOL ok = VARIANT_FALSE;
  HRESULT hr = LoadXml(doc.Get(), xml, &ok);
  EXPECT_HR(hr, S_OK);
  EXPECT_EQ(ok, VARIANT_TRUE) << "did not load: " << xml << "\nreason: " << ErrorOf(doc.Get()).reason;
  if (hr != S_OK || ok != VARIANT_TRUE) return {};
  return doc;
}

ardo::ComPtr<IXMLDOMElement> EngineTest::NewElement(IXMLDOMDocument* doc, const char* name) {
  ardo::ComPtr<IXMLDOMElement> e;
  EXPECT_HR(doc->createElement(Bstr(name), e.Out()), S_OK) << name;
  return e;
}

void EngineTest::Append(IXMLDOMNode* parent, IXMLDOMNode* child) {
  ardo::ComPtr<IXMLDOMNode> added;
  EXPECT_HR(parent->appendChild(child, added.Out()), S_OK);
}

VARIANT_BOOL EngineTest::LoadSource(IXMLDOMDocument* doc, VARIANT source, HRESULT expected) {
  Variant owned(source);
  VARIANT_BOOL ok = VARIANT_FALSE;
  EXPECT_HR(doc->load(owned.get(), &ok), expected);
  return ok;
}

ardo::ComPtr<IXMLDOMNodeList> EngineTest::Select(IXMLDOMNode* context, const char* query) {
  ardo::ComPtr<IXMLDOMNodeList> list;
  Bstr q(query);
  HRESULT hr = context->selectNodes(q, list.Out());
  EXPECT_HR(hr, S_OK) << query;
  EXPECT_TRUE(list) << query;
  return list;
}

ardo::ComPtr<IXMLDOMNode> EngineTest::SelectOne(IXMLDOMNode* context, const char* query) {
  ardo::ComPtr<IXMLDOMNode> node;
  Bstr q(query);
  HRESULT hr = context->selectSingleNode(q, node.Out());
  EXPECT_TRUE(SUCCEEDED(hr)) << query << " failed with " << std::hex << hr;
  return node;
}

ardo::ComPtr<IXMLDOMElement> EngineTest::Root(IXMLDOMDocument* doc) {
  ardo::ComPtr<IXMLDOMElement> root;
  EXPECT_TRUE(SUCCEEDED(doc->get_documentElement(root.Out())));
  return root;
}

void EngineTest::SetProperty(IXMLDOMDocument2* doc, const char* name, const char* value) {
  SetProperty(doc, name, Variant::Str(value));
}

void EngineTest::SetProperty(IXMLDOMDocument2* doc, const char* name, VARIANT value) {
  Variant v(value);
  EXPECT_HR(doc->setProperty(Bstr(name), v.get()), S_OK) << name;
}

std::string EngineTest::LastReason() {
  ardo::ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.Out()) != S_OK || !info) return std::string();
  Bstr reason;
  EXPECT_HR(info->GetDescription(reason.Out()), S_OK);
  return reason.Utf8();
}

std::string EngineTest::GetStringProperty(IXMLDOMDocument2* doc, const char* name) {
  Bstr n(name);
  Variant v;
  HRESULT hr = doc->getProperty(n, v.Out());
  EXPECT_HR(hr, S_OK) << name;
  EXPECT_EQ(v.vt(), VT_BSTR) << name;
  return v.Utf8();
}

EngineTest::ParseErrorInfo EngineTest::ErrorInfoOf(IXMLDOMParseError* error) {
  ParseErrorInfo info;
  Bstr reason, src, url;
  if (!error || FAILED(error->get_errorCode(&info.errorCode)) || FAILED(error->get_reason(reason.Out())) ||
      FAILED(error->get_srcText(src.Out())) || FAILED(error->get_url(url.Out())) ||
      FAILED(error->get_line(&info.line)) || FAILED(error->get_linepos(&info.linepos)) ||
      FAILED(error->get_filepos(&info.filepos)))
    ADD_FAILURE() << "the parse error object did not answer";
  info.reason = reason.Utf8(), info.srcText = src.Utf8(), info.url = url.Utf8();
  return info;
}

EngineTest::ParseErrorInfo EngineTest::ErrorOf(IXMLDOMDocument* doc) {
  ardo::ComPtr<IXMLDOMParseError> error;
  EXPECT_TRUE(SUCCEEDED(doc->get_parseError(error.Out())));
  EXPECT_TRUE(error);
  return ErrorInfoOf(error.Get());
}

}  // namespace ardo::test
