// CInterfaceCallingWrapper<T>: the owning interface pointer from which every
// calling wrapper class derives. It holds at most one interface pointer and,
// while it does, exactly one reference to it: copying adds a reference,
// destroying releases one. It adds no locking; a wrapper object is used by
// one thread at a time.
//
// Reference accounting, per member:
//   (p, 0)            takes over the reference the caller delivered
//   (p, non-zero)     adds one
//   copy, operator=   add one to the new pointer before releasing the old
//   Attach            only on an empty wrapper; answers 0 and changes nothing
//                     on a holding one (the caller keeps its reference)
//   Detach(0)         hands the reference to the caller; Detach(1) releases it
//   CopyTo            adds one for the caller
//   operator&         the slot itself, for an out-parameter; use it on an
//                     empty wrapper only (nothing is released)
#pragma once

#include "engine/include/xml_services.h"
#include "platform/platform.h"

namespace ardo {

// The class framework's exception for a failed call outside the wrapper
// methods: E_OUTOFMEMORY becomes CMemoryException*, every other code
// COleException* carrying it. Never returns.
[[noreturn]] void ThrowFrameworkException(long hr);

}  // namespace ardo

template <class T>
class CInterfaceCallingWrapper {
 public:
  CInterfaceCallingWrapper() : m_p(nullptr) {}
  CInterfaceCallingWrapper(T* p, int bAddRef) : m_p(nullptr) { Attach(p, bAddRef); }
  CInterfaceCallingWrapper(const CInterfaceCallingWrapper& other) : m_p(other.m_p) {
    if (m_p) m_p->AddRef();
  }
  virtual ~CInterfaceCallingWrapper() {
    if (m_p) m_p->Release();
  }

  // Two wrappers of one pointer assign without touching the count.
  CInterfaceCallingWrapper& operator=(const CInterfaceCallingWrapper& other) {
    if (other.m_p != m_p) {
      T* old = m_p;
      if (other.m_p) other.m_p->AddRef();
      if (old) old->Release();
      m_p = other.m_p;
    }
    return *this;
  }

  // Attach(p, 1); returns the pointer now held, which is the old one when
  // the wrapper was already holding.
  T* operator=(T* p) {
    Attach(p, 1);
    return m_p;
  }

  // 1 when p is now held (with an added reference if bAddRef), 0 when the
  // wrapper already held a pointer.
  int Attach(T* p, int bAddRef) {
    if (m_p) return 0;
    m_p = p;
    if (bAddRef && p) p->AddRef();
    return 1;
  }

  // The old pointer; with bRelease it carries no reference any more.
  T* Detach(int bRelease) {
    T* old = m_p;
    if (bRelease && old) old->Release();
    m_p = nullptr;
    return old;
  }

  // The held pointer with a reference added for the caller (null if empty).
  T* CopyTo() {
    if (m_p) m_p->AddRef();
    return m_p;
  }

  // The held pointer, borrowed: no reference added, no null test.
  T* GetP() const { return m_p; }
  T* P() { return m_p; }
  operator T*() const { return m_p; }
  T* operator->() const { return m_p; }

  // The interface itself; an empty wrapper throws COleException* (E_FAIL).
  T& operator*() {
    if (!m_p) ardo::ThrowFrameworkException(E_FAIL);
    return *m_p;
  }

  T** operator&() { return &m_p; }
  bool operator!() const { return m_p == nullptr; }

  // A new object of class clsid, asked for T. Returns the HRESULT and never
  // throws. On success the wrapper holds the new pointer (releasing one it
  // held before); on failure it is left as it was.
  long CoCreateInstance(const GUID& clsid, IUnknown* pUnkOuter, unsigned long dwClsContext) {
    T* created = nullptr;
    HRESULT hr = ::CoCreateInstance(clsid, pUnkOuter, static_cast<DWORD>(dwClsContext),
                                    ardo::IidOf<T>(), reinterpret_cast<void**>(&created));
    if (FAILED(hr)) {
      if (created) created->Release();  // a misbehaving factory: nothing to keep
      return hr;
    }
    if (m_p) m_p->Release();
    m_p = created;
    return hr;
  }

  // As above, the class named by its ProgID. An unknown ProgID returns the
  // lookup's HRESULT and leaves the wrapper as it was. Only running out of
  // memory for the temporary BSTR throws (CMemoryException*).
  long CoCreateInstance(const char* szProgID, IUnknown* pUnkOuter, unsigned long dwClsContext) {
    BSTR progId = CString(szProgID).AllocSysString();
    CLSID clsid;
    HRESULT hr = ::CLSIDFromProgID(progId, &clsid);
    if (SUCCEEDED(hr)) hr = CoCreateInstance(clsid, pUnkOuter, dwClsContext);
    SysFreeString(progId);
    return hr;
  }

 protected:
  T* m_p;
};

// The 31 interfaces that have a calling wrapper class, and so an exported
// instantiation of the template: X(interface, wrapper class).
#define ARDO_WRAPPED_INTERFACES(X)                               \
  X(IXMLDOMNode, CXMLDOMNode)                                    \
  X(IXMLDOMDocument, CXMLDOMDocument)                            \
  X(IXMLDOMNodeList, CXMLDOMNodeList)                            \
  X(IXMLDOMNamedNodeMap, CXMLDOMNamedNodeMap)                    \
  X(IXMLDOMCharacterData, CXMLDOMCharacterData)                  \
  X(IXMLDOMAttribute, CXMLDOMAttribute)                          \
  X(IXMLDOMElement, CXMLDOMElement)                              \
  X(IXMLDOMText, CXMLDOMText)                                    \
  X(IXMLDOMComment, CXMLDOMComment)                              \
  X(IXMLDOMProcessingInstruction, CXMLDOMProcessingInstruction)  \
  X(IXMLDOMCDATASection, CXMLDOMCDATASection)                    \
  X(IXMLDOMDocumentType, CXMLDOMDocumentType)                    \
  X(IXMLDOMNotation, CXMLDOMNotation)                            \
  X(IXMLDOMEntity, CXMLDOMEntity)                                \
  X(IXMLDOMEntityReference, CXMLDOMEntityReference)              \
  X(IXMLDOMImplementation, CXMLDOMImplementation)                \
  X(IXSLProcessor, CXSLProcessor)                                \
  X(IXSLTemplate, CXSLTemplate)                                  \
  X(IXMLDOMDocument2, CXMLDOMDocument2)                          \
  X(IXMLDOMDocumentFragment, CXMLDOMDocumentFragment)            \
  X(IXMLDOMParseError, CXMLDOMParseError)                        \
  X(IXMLDOMSchemaCollection, CXMLDOMSchemaCollection)            \
  X(IXMLDOMSchemaCollection2, CXMLDOMSchemaCollection2)          \
  X(IXMLDOMSelection, CXMLDOMSelection)                          \
  X(IXMLHTTPRequest, CXMLHTTPRequest)                            \
  X(IServerXMLHTTPRequest, CServerXMLHTTPRequest)                \
  X(IMXWriter, CMXWriter)                                        \
  X(IMXAttributes, CMXAttributes)                                \
  X(IVBSAXXMLReader, CVBSAXXMLReader)                            \
  X(IVBSAXAttributes, CVBSAXAttributes)                          \
  X(IVBSAXLocator, CVBSAXLocator)

// Instantiated once, in the library; hosts link against those.
#define ARDO_DECLARE_WRAPPER_INSTANTIATION(Interface, Class) \
  extern template class CInterfaceCallingWrapper<Interface>;
ARDO_WRAPPED_INTERFACES(ARDO_DECLARE_WRAPPER_INSTANTIATION)
#undef ARDO_DECLARE_WRAPPER_INSTANTIATION
