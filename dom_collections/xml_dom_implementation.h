// CXMLDOMImplementation: calling wrapper of IXMLDOMImplementation, which
// answers feature queries.
#pragma once

#include "dom/dom_forward.h"
#include "dom_collections/collection_member_lists.h"

// Its whole member set, expanded here and in dom_collections/dom_collections.cpp.
#define ARDO_CXMLDOMIMPLEMENTATION_MEMBERS(X) \
  ARDO_DOM_IMPLEMENTATION_MEMBERS(X, CXMLDOMImplementation, IXMLDOMImplementation)

class CXMLDOMImplementation : public CInterfaceCallingWrapper<IXMLDOMImplementation> {
 public:
  ARDO_WRAPPER_SPECIAL_MEMBERS(CXMLDOMImplementation, IXMLDOMImplementation)
  ARDO_CXMLDOMIMPLEMENTATION_MEMBERS(ARDO_DECLARE_MEMBER)
};

// The classes its members return, complete, so that a result can be used at
// once whichever wrapper header a host included first.
#include "dom/dom_wrappers.h"
#include "dom_collections/dom_collections.h"
