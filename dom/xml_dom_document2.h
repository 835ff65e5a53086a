// CXMLDOMDocument2: calling wrapper of IXMLDOMDocument2, the document with
// schemas, on-demand validation and named properties (SelectionLanguage,
// SelectionNamespaces, ...). The document type the component classes create.
#pragma once

#include "dom/dom_forward.h"
#include "dom/dom_member_lists.h"

// Its whole member set, expanded here and in dom/dom_wrappers.cpp.
#define ARDO_CXMLDOMDOCUMENT2_MEMBERS(X) \
  ARDO_DOM_NODE_MEMBERS(X, CXMLDOMDocument2, IXMLDOMDocument2) \
  ARDO_DOM_DOCUMENT_MEMBERS(X, CXMLDOMDocument2, IXMLDOMDocument2) \
  ARDO_DOM_DOCUMENT2_MEMBERS(X, CXMLDOMDocument2, IXMLDOMDocument2)

class CXMLDOMDocument2 : public CInterfaceCallingWrapper<IXMLDOMDocument2> {
 public:
  ARDO_WRAPPER_SPECIAL_MEMBERS(CXMLDOMDocument2, IXMLDOMDocument2)
  ARDO_CXMLDOMDOCUMENT2_MEMBERS(ARDO_DECLARE_MEMBER)
};

// The classes its members return, complete, so that a result can be used at
// once whichever wrapper header a host included first.
#include "dom/dom_wrappers.h"
#include "dom_collections/dom_collections.h"
