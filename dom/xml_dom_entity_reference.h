// CXMLDOMEntityReference: calling wrapper of IXMLDOMEntityReference: the node
// members and nothing more.
#pragma once

#include "dom/dom_forward.h"
#include "dom/dom_member_lists.h"

// Its whole member set, expanded here and in dom/dom_wrappers.cpp.
#define ARDO_CXMLDOMENTITYREFERENCE_MEMBERS(X) \
  ARDO_DOM_NODE_MEMBERS(X, CXMLDOMEntityReference, IXMLDOMEntityReference)

class CXMLDOMEntityReference : public CInterfaceCallingWrapper<IXMLDOMEntityReference> {
 public:
  ARDO_WRAPPER_SPECIAL_MEMBERS(CXMLDOMEntityReference, IXMLDOMEntityReference)
  ARDO_CXMLDOMENTITYREFERENCE_MEMBERS(ARDO_DECLARE_MEMBER)
};

// The classes its members return, complete, so that a result can be used at
// once whichever wrapper header a host included first.
#include "dom/dom_wrappers.h"
#include "dom_collections/dom_collections.h"
