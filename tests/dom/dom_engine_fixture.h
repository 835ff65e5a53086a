// Shared by the DOM and DOM-collection tests: a leak-checked fixture that
// makes real engine documents through the wrappers, and small helpers to read
// results in the tests' own terms.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "dom/dom_wrappers.h"
#include "dom_collections/dom_collections.h"
#include "tests/support/assertions.h"
#include "tests/support/com_exception_assertions.h"
#include "tests/support/leak_fixture.h"

namespace ardo::test {

// A document with one of everything the wrappers can reach: a DOCTYPE with an
// entity and a notation, namespaces, attributes, text, a comment, a CDATA
// section and a processing instruction. No whitespace between elements, so
// child positions do not depend on whitespace handling.
inline constexpr const char* kDrivesXml =
    "<?xml version=\"1.0\"?>"
    "<!DOCTYPE drives ["
    "<!NOTATION png SYSTEM \"image/png\">"
    "<!ENTITY logo SYSTEM \"logo.png\" NDATA png>"
    "<!ENTITY maker \"Ardo\">"
    "]>"
    "<drives xmlns:v=\"urn:vendor\">"
    "<drive pid=\"7\" volts=\"48\"><name>Alpha</name><!--first--></drive>"
    "<drive pid=\"9\" volts=\"24\" v:rated=\"yes\"><name>Beta</name><![CDATA[<raw>]]></drive>"
    "<?audit checked?>"
    "<empty/>"
    "</drives>";

// Documents (not validating on parse) are made in the test body, after SetUp initialised COM, and die
// before TearDown counts the live objects.
class DomEngineTest : public LeakCheckedTest {
 protected:
  static CXMLDOMDocument2 NewDocument() {
    CXMLDOMDocument2 doc;
    HRESULT hr = doc.CoCreateInstance(CLSID_DOMDocument40, nullptr, CLSCTX_INPROC_SERVER);
    EXPECT_HR(hr, S_OK);
    // The sample DOCTYPE declares entities and notations but no elements, so
    // validating it would fail: the tests load without validation.
    if (!!doc) doc.SetValidateOnParse(0);
    return doc;
  }

  // A document loaded from `xml`; the test fails if it does not load.
  static CXMLDOMDocument2 Parse(const char* xml) {
    CXMLDOMDocument2 doc = NewDocument();
    if (!doc) return doc;
    int loaded = doc.LoadXML(xml);
    EXPECT_EQ(loaded, -1) << "LoadXML refused: " << Text(doc.GetParseError().GetReason());
    return doc;
  }

 public:
  static std::string Text(const CString& s) { return std::string(static_cast<const char*>(s)); }

  // The text of a VT_BSTR variant, or "<vt N>" for any other type; the
  // variant is cleared either way.
  static std::string TakeText(VARIANT v) {
    std::string text =
        v.vt == VT_BSTR ? ardo::BstrToUtf8(v.bstrVal) : "<vt " + std::to_string(v.vt) + ">";
    VariantClear(&v);
    return text;
  }

  // The variant's type; the variant is cleared.
  static VARTYPE TakeType(VARIANT v) { return _variant_t(v, false).vt; }

  // The object's reference count, observed without changing it.
  static ULONG RefCount(IUnknown* p) { return p->AddRef(), p->Release(); }
};

// Asks `from` for interface T; the caller owns the returned reference.
template <class T>
T* QueryFor(IUnknown* from) {
  T* out = nullptr;
  EXPECT_HR(from->QueryInterface(T::kIID, reinterpret_cast<void**>(&out)), S_OK);
  return out;
}

}  // namespace ardo::test
