// CXMLDOMElement: calling wrapper of IXMLDOMElement: the node members plus
// attribute access by name and by attribute node.
#pragma once

#include "dom/dom_forward.h"
#include "dom/dom_member_lists.h"

// Its whole member set, expanded here and in dom/dom_wrappers.cpp.
#define ARDO_CXMLDOMELEMENT_MEMBERS(X) \
  ARDO_DOM_NODE_MEMBERS(X, CXMLDOMElement, IXMLDOMElement) \
  ARDO_DOM_ELEMENT_MEMBERS(X, CXMLDOMElement, IXMLDOMElement)

class CXMLDOMElement : public CInterfaceCallingWrapper<IXMLDOMElement> {
 public:
  ARDO_WRAPPER_SPECIAL_MEMBERS(CXMLDOMElement, IXMLDOMElement)
  ARDO_CXMLDOMELEMENT_MEMBERS(ARDO_DECLARE_MEMBER)
};

// The classes its members return, complete, so that a result can be used at
// once whichever wrapper header a host included first.
#include "dom/dom_wrappers.h"
#include "dom_collections/dom_collections.h"
