// CXMLDOMDocumentType: calling wrapper of IXMLDOMDocumentType: the DOCTYPE's
// name and its entity and notation maps.
#pragma once

#include "dom/dom_forward.h"
#include "dom/dom_member_lists.h"

// Its whole member set, expanded here and in dom/dom_wrappers.cpp.
#define ARDO_CXMLDOMDOCUMENTTYPE_MEMBERS(X) \
  ARDO_DOM_NODE_MEMBERS(X, CXMLDOMDocumentType, IXMLDOMDocumentType) \
  ARDO_DOM_DOCUMENT_TYPE_MEMBERS(X, CXMLDOMDocumentType, IXMLDOMDocumentType)

class CXMLDOMDocumentType : public CInterfaceCallingWrapper<IXMLDOMDocumentType> {
 public:
  ARDO_WRAPPER_SPECIAL_MEMBERS(CXMLDOMDocumentType, IXMLDOMDocumentType)
  ARDO_CXMLDOMDOCUMENTTYPE_MEMBERS(ARDO_DECLARE_MEMBER)
};

// The classes its members return, complete, so that a result can be used at
// once whichever wrapper header a host included first.
#include "dom/dom_wrappers.h"
#include "dom_collections/dom_collections.h"
