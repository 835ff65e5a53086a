// CXMLDOMAttribute: calling wrapper of IXMLDOMAttribute: the node members plus
// the attribute's name and its value as a VARIANT.
#pragma once

#include "dom/dom_forward.h"
#include "dom/dom_member_lists.h"

// Its whole member set, expanded here and in dom/dom_wrappers.cpp.
#define ARDO_CXMLDOMATTRIBUTE_MEMBERS(X) \
  ARDO_DOM_NODE_MEMBERS(X, CXMLDOMAttribute, IXMLDOMAttribute) \
  ARDO_DOM_ATTRIBUTE_MEMBERS(X, CXMLDOMAttribute, IXMLDOMAttribute)

class CXMLDOMAttribute : public CInterfaceCallingWrapper<IXMLDOMAttribute> {
 public:
  ARDO_WRAPPER_SPECIAL_MEMBERS(CXMLDOMAttribute, IXMLDOMAttribute)
  ARDO_CXMLDOMATTRIBUTE_MEMBERS(ARDO_DECLARE_MEMBER)
};

// The classes its members return, complete, so that a result can be used at
// once whichever wrapper header a host included first.
#include "dom/dom_wrappers.h"
#include "dom_collections/dom_collections.h"
