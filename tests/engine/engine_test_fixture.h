// Helpers for driving the engine through its COM interfaces the way a host
// does: create a document of a chosen class identity, load inline text,
// query it and read results back as UTF-8.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/include/xml_services.h"
#include "platform/platform.h"
#include "tests/support/assertions.h"
#include "tests/support/leak_fixture.h"

namespace ardo::test {

// An owned BSTR made from UTF-8 text, freed on scope exit.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(const char* utf8) : b_(ardo::Utf8ToBstr(utf8)) {}
  explicit Bstr(const std::string& utf8) : b_(ardo::Utf8ToBstr(utf8.c_str())) {}
  ~Bstr() { SysFreeString(b_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR get() const { return b_; }
  operator BSTR() const { return b_; }
  BSTR* Out() {
    SysFreeString(b_);
    b_ = nullptr;
    return &b_;
  }
  std::string Utf8() const { return ardo::BstrToUtf8(b_); }

 private:
  BSTR b_ = nullptr;
};

// An owned VARIANT, cleared on scope exit.
class Variant {
 public:
  Variant() { VariantInit(&v_); }
  ~Variant() { VariantClear(&v_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  static VARIANT Str(const char* utf8);  // caller clears (or hands it to a Variant)
  static VARIANT I4(long value);
  static VARIANT Bool(bool value);
  static VARIANT R8(double value, VARTYPE vt = VT_R8);  // VT_R8 or VT_DATE
  static VARIANT Unknown(IUnknown* unknown);  // adds a reference
  static VARIANT Dispatch(IDispatch* dispatch);  // adds a reference
  // Takes over a VARIANT built by one of the factories.
  explicit Variant(VARIANT v) : v_(v) {}
  VARIANT& get() { return v_; }
  const VARIANT& get() const { return v_; }
  VARIANT* Out() {
    VariantClear(&v_);
    return &v_;
  }
  VARTYPE vt() const { return v_.vt; }
  std::string Utf8() const;  // the BSTR content, or "" when not VT_BSTR

 private:
  VARIANT v_;
};

// Every class identity a DOM document comes in, with the name of its
// version for test names.
struct DocumentClass {
  const CLSID* clsid;
  const char* name;
  bool freeThreaded;
  bool version40;
};
const std::vector<DocumentClass>& AllDocumentClasses();

// Reads a node (or any IXMLDOMNode-derived interface) back as text.
std::string XmlOf(IXMLDOMNode* node);
std::string TextOf(IXMLDOMNode* node);
std::string NameOf(IXMLDOMNode* node);
DOMNodeType TypeOf(IXMLDOMNode* node);
long LengthOf(IXMLDOMNodeList* list);
long ChildCount(IXMLDOMNode* node);
// Names of every node of a list, in list order.
std::vector<std::string> NamesOf(IXMLDOMNodeList* list);
// The node's identity: its IUnknown pointer (the reference is released, so
// the value only compares; it is not to be used).
IUnknown* IdentityOf(IUnknown* object);

// Names of the nodes an IEnumVARIANT (from get__newEnum) hands out one at
// a time until it reports S_FALSE with nothing fetched.
std::vector<std::string> EnumeratedNames(IUnknown* newEnum);

// Writes bytes to a new file under the test's temporary folder and returns
// its path.
std::string WriteTempFile(const std::string& name, const std::string& bytes);
std::string ReadFileBytes(const std::string& path);
std::string TempDir();

// A SAFEARRAY of VT_UI1 holding the bytes, in a VARIANT the caller clears.
VARIANT ByteArrayVariant(const std::string& bytes);
// The bytes of a VT_ARRAY|VT_UI1 VARIANT.
std::string BytesOfVariant(const VARIANT& v);
// The whole content of a stream, read from its start.
std::string StreamBytes(IStream* stream);

class EngineTest : public LeakCheckedTest {
 protected:
  // A new document of the class identity (4.0 by default). Fails the test
  // and returns null when the engine does not create it.
  ardo::ComPtr<IXMLDOMDocument2> NewDocument(const CLSID& clsid = CLSID_DOMDocument40);
  // A new 4.0 document that reads external entities and DTDs and does not
  // validate; null (the test failed) when one cannot be made so.
  ardo::ComPtr<IXMLDOMDocument2> ResolvingDocument();
  // A new document loaded from inline text; fails the test and returns null
  // if it does not load.
  ardo::ComPtr<IXMLDOMDocument2> Parse(const char* xml, const CLSID& clsid = CLSID_DOMDocument40);
  // loadXML's HRESULT and success flag.
  HRESULT LoadXml(IXMLDOMDocument* doc, const char* xml, VARIANT_BOOL* ok = nullptr);

  ardo::ComPtr<IXMLDOMElement> NewElement(IXMLDOMDocument* doc, const char* name);
  void Append(IXMLDOMNode* parent, IXMLDOMNode* child);  // expects S_OK
  // load() from a source VARIANT (cleared afterwards); expects the HRESULT.
  VARIANT_BOOL LoadSource(IXMLDOMDocument* doc, VARIANT source, HRESULT expected = S_OK);

  ardo::ComPtr<IXMLDOMNodeList> Select(IXMLDOMNode* context, const char* query);
  ardo::ComPtr<IXMLDOMNode> SelectOne(IXMLDOMNode* context, const char* query);
  ardo::ComPtr<IXMLDOMElement> Root(IXMLDOMDocument* doc);
  void SetProperty(IXMLDOMDocument2* doc, const char* name, const char* value);
  void SetProperty(IXMLDOMDocument2* doc, const char* name, VARIANT value);  // expects S_OK
  std::string GetStringProperty(IXMLDOMDocument2* doc, const char* name);
  // The description of the thread's error object ("" when there is none).
  std::string LastReason();

  // errorCode, reason and the other fields of the document's parse error.
  struct ParseErrorInfo {
    long errorCode = 0;
    std::string reason, srcText, url;
    long line = 0, linepos = 0, filepos = 0;
  };
  ParseErrorInfo ErrorOf(IXMLDOMDocument* doc);
  ParseErrorInfo ErrorInfoOf(IXMLDOMParseError* error);
};

}  // namespace ardo::test
