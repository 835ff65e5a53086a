// CXMLDOMDocument: calling wrapper of IXMLDOMDocument, the root of a tree,
// the factory of its nodes, and what loads and saves XML. What GetOwnerDocument
// of every node wrapper returns.
#pragma once

#include "dom/dom_forward.h"
#include "dom/dom_member_lists.h"

// Its whole member set, expanded here and in dom/dom_wrappers.cpp.
#define ARDO_CXMLDOMDOCUMENT_MEMBERS(X) \
  ARDO_DOM_NODE_MEMBERS(X, CXMLDOMDocument, IXMLDOMDocument) \
  ARDO_DOM_DOCUMENT_MEMBERS(X, CXMLDOMDocument, IXMLDOMDocument)

class CXMLDOMDocument : public CInterfaceCallingWrapper<IXMLDOMDocument> {
 public:
  ARDO_WRAPPER_SPECIAL_MEMBERS(CXMLDOMDocument, IXMLDOMDocument)
  ARDO_CXMLDOMDOCUMENT_MEMBERS(ARDO_DECLARE_MEMBER)
};

// The classes its members return, complete, so that a result can be used at
// once whichever wrapper header a host included first.
#include "dom/dom_wrappers.h"
#include "dom_collections/dom_collections.h"
