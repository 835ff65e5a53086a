// CXMLDOMNode: calling wrapper of IXMLDOMNode, the type in which navigation,
// query results and list items come back. The node members plus the two
// probes IsNextSibling and TestNode, which never throw and answer 1 or 0.
#pragma once

#include "dom/dom_forward.h"
#include "dom/dom_member_lists.h"

// Its whole member set, expanded here and in dom/dom_wrappers.cpp.
#define ARDO_CXMLDOMNODE_MEMBERS(X) \
  ARDO_DOM_NODE_MEMBERS(X, CXMLDOMNode, IXMLDOMNode) \
  ARDO_DOM_NODE_PROBES(X, CXMLDOMNode, IXMLDOMNode)

class CXMLDOMNode : public CInterfaceCallingWrapper<IXMLDOMNode> {
 public:
  ARDO_WRAPPER_SPECIAL_MEMBERS(CXMLDOMNode, IXMLDOMNode)
  ARDO_CXMLDOMNODE_MEMBERS(ARDO_DECLARE_MEMBER)
};

// The classes its members return, complete, so that a result can be used at
// once whichever wrapper header a host included first.
#include "dom/dom_wrappers.h"
#include "dom_collections/dom_collections.h"
