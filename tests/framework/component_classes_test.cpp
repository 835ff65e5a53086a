// The component classes: every creation function asks its own class for its
// own interface and throws on anything but S_OK; wrapper results take over
// the one reference, raw results hand it to the caller; the DOM document
// classes create real documents wherever the engine registers them.
#include <memory>

#include <gtest/gtest.h>

#include "ardoxml/ardoxml.h"
#include "tests/framework/framework_fakes.h"
#include "tests/support/assertions.h"
#include "tests/support/com_exception_assertions.h"
#include "tests/support/leak_fixture.h"

namespace ardo::test {
namespace {

// The created object as a raw pointer carrying the one reference.
template <class T>
IUnknown* Raw(T* raw) { return raw; }
template <class Wrapper>
IUnknown* Raw(Wrapper wrapper) { return wrapper.Detach(0); }

struct Creator {
  const char* name;
  CLSID clsid;           // the class it must ask for
  const GUID* memberId;  // the class's m_ClsId
  IID iid;               // the interface it must ask for
  IUnknown* (*create)(IUnknown* outer, unsigned long context);
};

#define CREATOR(Class, Function, Clsid, Iid)                                              \
  Creator {                                                                               \
    #Class "::" #Function, Clsid, &Class::m_ClsId, Iid,                                   \
        [](IUnknown* outer, unsigned long context) { return Raw(Class::Function(outer, context)); } \
  }

#define DOM_DOCUMENT(Class, Clsid)                                         \
  CREATOR(Class, CreateXMLDOMDocument2, Clsid, IID_IXMLDOMDocument2),      \
      CREATOR(Class, CreateXMLDOMDocumentEvents, Clsid, DIID_XMLDOMDocumentEvents)

#define XML_WRITER(Class, Clsid)                                                   \
  CREATOR(Class, CreateMXWriter, Clsid, IID_IMXWriter),                            \
      CREATOR(Class, CreateSAXContentHandler, Clsid, IID_ISAXContentHandler),      \
      CREATOR(Class, CreateSAXErrorHandler, Clsid, IID_ISAXErrorHandler),          \
      CREATOR(Class, CreateSAXDTDHandler, Clsid, IID_ISAXDTDHandler),              \
      CREATOR(Class, CreateSAXLexicalHandler, Clsid, IID_ISAXLexicalHandler),      \
      CREATOR(Class, CreateSAXDeclHandler, Clsid, IID_ISAXDeclHandler),            \
      CREATOR(Class, CreateVBSAXContentHandler, Clsid, IID_IVBSAXContentHandler),  \
      CREATOR(Class, CreateVBSAXErrorHandler, Clsid, IID_IVBSAXErrorHandler),      \
      CREATOR(Class, CreateVBSAXDTDHandler, Clsid, IID_IVBSAXDTDHandler),          \
      CREATOR(Class, CreateVBSAXLexicalHandler, Clsid, IID_IVBSAXLexicalHandler),  \
      CREATOR(Class, CreateVBSAXDeclHandler, Clsid, IID_IVBSAXDeclHandler)

#define SAX_ATTRIBUTES(Class, Clsid)                                   \
  CREATOR(Class, CreateSAXAttributes, Clsid, IID_ISAXAttributes),      \
      CREATOR(Class, CreateMXAttributes, Clsid, IID_IMXAttributes),    \
      CREATOR(Class, CreateVBSAXAttributes, Clsid, IID_IVBSAXAttributes)

#define SAX_READER(Class, Clsid)                                                   \
  CREATOR(Class, CreateSAXXMLReader, Clsid, IID_ISAXXMLReader),                    \
      CREATOR(Class, CreateVBSAXXMLReader, Clsid, IID_IVBSAXXMLReader)

// All 81 creation functions.
const Creator kCreators[] = {
    DOM_DOCUMENT(CDOMDocumentClass, CLSID_DOMDocument),
    DOM_DOCUMENT(CDOMDocument26Class, CLSID_DOMDocument26),
    DOM_DOCUMENT(CDOMDocument30Class, CLSID_DOMDocument30),
    DOM_DOCUMENT(CDOMDocument40Class, CLSID_DOMDocument40),
    DOM_DOCUMENT(CFreeThreadedDOMDocumentClass, CLSID_FreeThreadedDOMDocument),
    DOM_DOCUMENT(CFreeThreadedDOMDocument26Class, CLSID_FreeThreadedDOMDocument26),
    DOM_DOCUMENT(CFreeThreadedDOMDocument30Class, CLSID_FreeThreadedDOMDocument30),
    DOM_DOCUMENT(CFreeThreadedDOMDocument40Class, CLSID_FreeThreadedDOMDocument40),
    CREATOR(CXMLSchemaCacheClass, CreateXMLDOMSchemaCollection, CLSID_XMLSchemaCache, IID_IXMLDOMSchemaCollection),
    CREATOR(CXMLSchemaCache26Class, CreateXMLDOMSchemaCollection, CLSID_XMLSchemaCache26, IID_IXMLDOMSchemaCollection),
    CREATOR(CXMLSchemaCache30Class, CreateXMLDOMSchemaCollection, CLSID_XMLSchemaCache30, IID_IXMLDOMSchemaCollection),
    CREATOR(CXMLSchemaCache40Class, CreateXMLDOMSchemaCollection2, CLSID_XMLSchemaCache40, IID_IXMLDOMSchemaCollection2),
    CREATOR(CXSLTemplateClass, CreateXSLTemplate, CLSID_XSLTemplate, IID_IXSLTemplate),
    CREATOR(CXSLTemplate26Class, CreateXSLTemplate, CLSID_XSLTemplate26, IID_IXSLTemplate),
    CREATOR(CXSLTemplate30Class, CreateXSLTemplate, CLSID_XSLTemplate30, IID_IXSLTemplate),
    CREATOR(CXSLTemplate40Class, CreateXSLTemplate, CLSID_XSLTemplate40, IID_IXSLTemplate),
    CREATOR(CXMLHTTPClass, CreateXMLHTTPRequest, CLSID_XMLHTTP, IID_IXMLHTTPRequest),
    CREATOR(CXMLHTTP26Class, CreateXMLHTTPRequest, CLSID_XMLHTTP26, IID_IXMLHTTPRequest),
    CREATOR(CXMLHTTP30Class, CreateXMLHTTPRequest, CLSID_XMLHTTP30, IID_IXMLHTTPRequest),
    CREATOR(CXMLHTTP40Class, CreateXMLHTTPRequest, CLSID_XMLHTTP40, IID_IXMLHTTPRequest),
    CREATOR(CServerXMLHTTPClass, CreateServerXMLHTTPRequest2, CLSID_ServerXMLHTTP, IID_IServerXMLHTTPRequest2),
    CREATOR(CServerXMLHTTP30Class, CreateServerXMLHTTPRequest2, CLSID_ServerXMLHTTP30, IID_IServerXMLHTTPRequest2),
    CREATOR(CServerXMLHTTP40Class, CreateServerXMLHTTPRequest2, CLSID_ServerXMLHTTP40, IID_IServerXMLHTTPRequest2),
    SAX_READER(CSAXXMLReaderClass, CLSID_SAXXMLReader),
    CREATOR(CSAXXMLReaderClass, CreateMXReaderControl, CLSID_SAXXMLReader, IID_IMXReaderControl),
    SAX_READER(CSAXXMLReader30Class, CLSID_SAXXMLReader30),
    CREATOR(CSAXXMLReader30Class, CreateMXReaderControl, CLSID_SAXXMLReader30, IID_IMXReaderControl),
    SAX_READER(CSAXXMLReader40Class, CLSID_SAXXMLReader40),
    XML_WRITER(CMXXMLWriterClass, CLSID_MXXMLWriter),
    XML_WRITER(CMXXMLWriter30Class, CLSID_MXXMLWriter30),
    XML_WRITER(CMXXMLWriter40Class, CLSID_MXXMLWriter40),
    SAX_ATTRIBUTES(CSAXAttributesClass, CLSID_SAXAttributes),
    SAX_ATTRIBUTES(CSAXAttributes30Class, CLSID_SAXAttributes30),
    SAX_ATTRIBUTES(CSAXAttributes40Class, CLSID_SAXAttributes40),
};
static_assert(sizeof kCreators / sizeof kCreators[0] == 81);

class ComponentClassTest : public LeakCheckedTest {};

bool IsRegistered(REFCLSID clsid) {
  IClassFactory* factory = nullptr;
  HRESULT hr = CoGetClassObject(clsid, CLSCTX_ALL, nullptr, IID_IClassFactory,
                                reinterpret_cast<void**>(&factory));
  if (factory) factory->Release();
  return SUCCEEDED(hr);
}

// First against the real registry: a registered document class creates a
// document holding exactly one reference and refuses the event interface,
// which a document raises rather than implements; an unregistered one reports
// so. Then a stand-in class object registered over each class in turn
// refuses with a code no engine component would give, so the code that comes
// back proves which class and interface were asked. An outer object is
// refused before the class object is asked at all.
TEST_F(ComponentClassTest, EveryCreatorAsksItsOwnClassForItsOwnInterface) {
  auto outer = MakeObject<FakeNode>();
  for (const Creator& c : kCreators) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(*c.memberId, c.clsid);
    const bool document = c.iid == IID_IXMLDOMDocument2, events = c.iid == DIID_XMLDOMDocumentEvents;
    if ((document || events) && !IsRegistered(c.clsid)) {
      EXPECT_THROWS_HR(c.create(nullptr, CLSCTX_ALL), REGDB_E_CLASSNOTREG);
    } else if (events) {
      EXPECT_THROWS_HR(c.create(nullptr, CLSCTX_ALL), E_NOINTERFACE);
    } else if (document) {
      IUnknown* doc = c.create(nullptr, CLSCTX_ALL);
      ASSERT_NE(doc, nullptr);
      EXPECT_EQ(doc->AddRef(), 2u);  // the created reference and this one
      EXPECT_EQ(doc->Release(), 1u);
      doc->Release();
    }
    auto factory = MakeObject<RecordingFactory>(E_ACCESSDENIED, nullptr);
    ScopedClassRegistration registration(c.clsid, factory->GetUnknown());
    ASSERT_HR(registration.Result(), S_OK);
    EXPECT_THROWS_HR(c.create(outer->GetUnknown(), CLSCTX_ALL), CLASS_E_NOAGGREGATION);
    EXPECT_THROWS_HR(c.create(nullptr, CLSCTX_ALL), E_ACCESSDENIED);
    ASSERT_EQ(factory->Asked().size(), 1u);
    EXPECT_EQ(factory->Asked()[0], c.iid);
  }
}

// A wrapper result takes over the one reference and a raw result hands it to
// the caller; a success code other than S_OK is a failure, and whatever
// object came with it must not leak.
TEST_F(ComponentClassTest, ResultsCarryTheOneReferenceAndOnlySOkSucceeds) {
  auto fake = MakeObject<FakeTemplate>();
  auto control = MakeObject<FakeReaderControl>();
  for (HRESULT answer : {S_FALSE, S_OK}) {
    auto templates = MakeObject<RecordingFactory>(answer, fake->GetUnknown());
    auto readers = MakeObject<RecordingFactory>(answer, control->GetUnknown());
    ScopedClassRegistration templateClass(CLSID_XSLTemplate40, templates->GetUnknown());
    ScopedClassRegistration readerClass(CLSID_SAXXMLReader30, readers->GetUnknown());
    if (answer != S_OK) {
      EXPECT_THROWS_HR(CXSLTemplate40Class::CreateXSLTemplate(nullptr, CLSCTX_ALL), answer);
      EXPECT_THROWS_HR(CSAXXMLReader30Class::CreateMXReaderControl(nullptr, CLSCTX_ALL), answer);
      continue;  // a kept reference would show as a leak at teardown
    }
    {
      CXSLTemplate created = CXSLTemplate40Class::CreateXSLTemplate(nullptr, CLSCTX_ALL);
      EXPECT_EQ(created.GetP(), static_cast<IXSLTemplate*>(fake.Get()));
      EXPECT_EQ(fake->RefCount(), 3u);  // the test's, the factory's and the wrapper's
    }
    EXPECT_EQ(fake->RefCount(), 2u);
    IMXReaderControl* raw = CSAXXMLReader30Class::CreateMXReaderControl(nullptr, CLSCTX_ALL);
    EXPECT_EQ(raw, static_cast<IMXReaderControl*>(control.Get()));
    EXPECT_EQ(control->RefCount(), 3u);  // the test's, the factory's and the caller's
    raw->Release();
  }
}

}  // namespace
}  // namespace ardo::test
