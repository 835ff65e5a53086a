#include "engine/dom/document_factory.h"

namespace ardo::engine {
namespace {

const DocumentFlavor kFlavors[] = {
    {&CLSID_DOMDocument, false, false},
    {&CLSID_DOMDocument26, false, false},
    {&CLSID_DOMDocument30, false, false},
    {&CLSID_DOMDocument40, false, true},
    {&CLSID_FreeThreadedDOMDocument, true, false},
    {&CLSID_FreeThreadedDOMDocument26, true, false},
    {&CLSID_FreeThreadedDOMDocument30, true, false},
    {&CLSID_FreeThreadedDOMDocument40, true, true},
    {&CLSID_XMLDOMDocument, false, false},
    {&CLSID_XMLDOMFreeThreadedDocument, true, false},
};

struct ProgId {
  const char* name;
  const CLSID* clsid;
};

// The first ProgID of a class is the one ProgIDFromCLSID reports.
const ProgId kProgIds[] = {
    {"Msxml2.DOMDocument", &CLSID_DOMDocument},
    {"Msxml2.DOMDocument.2.6", &CLSID_DOMDocument26},
    {"Msxml2.DOMDocument.3.0", &CLSID_DOMDocument30},
    {"Msxml2.DOMDocument.4.0", &CLSID_DOMDocument40},
    {"Msxml2.FreeThreadedDOMDocument", &CLSID_FreeThreadedDOMDocument},
    {"Msxml2.FreeThreadedDOMDocument.2.6", &CLSID_FreeThreadedDOMDocument26},
    {"Msxml2.FreeThreadedDOMDocument.3.0", &CLSID_FreeThreadedDOMDocument30},
    {"Msxml2.FreeThreadedDOMDocument.4.0", &CLSID_FreeThreadedDOMDocument40},
    {"Microsoft.XMLDOM", &CLSID_XMLDOMDocument},
    {"Microsoft.FreeThreadedXMLDOM", &CLSID_XMLDOMFreeThreadedDocument},
    {"Microsoft.XMLDOM.1.0", &CLSID_XMLDOMDocument},
    {"Microsoft.FreeThreadedXMLDOM.1.0", &CLSID_XMLDOMFreeThreadedDocument},
    {"MSXML.DOMDocument", &CLSID_XMLDOMDocument},
    {"MSXML.FreeThreadedDOMDocument", &CLSID_XMLDOMFreeThreadedDocument},
};

}  // namespace

HRESULT DocumentClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  try {
    ComPtr<DomDocument> doc = MakeObject<DomDocument>(flavor_);
    return doc->QueryInterface(riid, ppv);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

void RegisterDocumentClasses() {
  for (const auto& flavor : kFlavors) {
    ComPtr<DocumentClassFactory> factory = MakeObject<DocumentClassFactory>(flavor);
    DWORD cookie = 0;
    CoRegisterClassObject(*flavor.clsid, static_cast<IClassFactory*>(factory.Get()), CLSCTX_INPROC_SERVER,
                          REGCLS_MULTIPLEUSE, &cookie);
  }
  for (const auto& p : kProgIds) ardo::RegisterProgID(p.name, *p.clsid);
}

}  // namespace ardo::engine
