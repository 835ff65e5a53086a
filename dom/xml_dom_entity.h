// CXMLDOMEntity: calling wrapper of IXMLDOMEntity, an entity declared in the
// DOCTYPE. Obtained by attaching an IXMLDOMEntity the host asked a node for.
#pragma once

#include "dom/dom_forward.h"
#include "dom/dom_member_lists.h"

// Its whole member set, expanded here and in dom/dom_wrappers.cpp.
#define ARDO_CXMLDOMENTITY_MEMBERS(X) \
  ARDO_DOM_NODE_MEMBERS(X, CXMLDOMEntity, IXMLDOMEntity) \
  ARDO_DOM_ENTITY_MEMBERS(X, CXMLDOMEntity, IXMLDOMEntity)

class CXMLDOMEntity : public CInterfaceCallingWrapper<IXMLDOMEntity> {
 public:
  ARDO_WRAPPER_SPECIAL_MEMBERS(CXMLDOMEntity, IXMLDOMEntity)
  ARDO_CXMLDOMENTITY_MEMBERS(ARDO_DECLARE_MEMBER)
};

// The classes its members return, complete, so that a result can be used at
// once whichever wrapper header a host included first.
#include "dom/dom_wrappers.h"
#include "dom_collections/dom_collections.h"
