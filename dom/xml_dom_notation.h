// CXMLDOMNotation: calling wrapper of IXMLDOMNotation, a notation declared in
// the DOCTYPE: its public and system identifiers.
#pragma once

#include "dom/dom_forward.h"
#include "dom/dom_member_lists.h"

// Its whole member set, expanded here and in dom/dom_wrappers.cpp.
#define ARDO_CXMLDOMNOTATION_MEMBERS(X) \
  ARDO_DOM_NODE_MEMBERS(X, CXMLDOMNotation, IXMLDOMNotation) \
  ARDO_DOM_EXTERNAL_ID_MEMBERS(X, CXMLDOMNotation, IXMLDOMNotation)

class CXMLDOMNotation : public CInterfaceCallingWrapper<IXMLDOMNotation> {
 public:
  ARDO_WRAPPER_SPECIAL_MEMBERS(CXMLDOMNotation, IXMLDOMNotation)
  ARDO_CXMLDOMNOTATION_MEMBERS(ARDO_DECLARE_MEMBER)
};

// The classes its members return, complete, so that a result can be used at
// once whichever wrapper header a host included first.
#include "dom/dom_wrappers.h"
#include "dom_collections/dom_collections.h"
