// CXMLDOMNamedNodeMap: calling wrapper of IXMLDOMNamedNodeMap, a node's
// attributes or a DOCTYPE's entities and notations.
#pragma once

#include "dom/dom_forward.h"
#include "dom_collections/collection_member_lists.h"

// Its whole member set, expanded here and in dom_collections/dom_collections.cpp.
#define ARDO_CXMLDOMNAMEDNODEMAP_MEMBERS(X) \
  ARDO_DOM_NAMED_NODE_MAP_MEMBERS(X, CXMLDOMNamedNodeMap, IXMLDOMNamedNodeMap) \
  ARDO_DOM_NODE_SEQUENCE_MEMBERS(X, CXMLDOMNamedNodeMap, IXMLDOMNamedNodeMap)

class CXMLDOMNamedNodeMap : public CInterfaceCallingWrapper<IXMLDOMNamedNodeMap> {
 public:
  ARDO_WRAPPER_SPECIAL_MEMBERS(CXMLDOMNamedNodeMap, IXMLDOMNamedNodeMap)
  ARDO_CXMLDOMNAMEDNODEMAP_MEMBERS(ARDO_DECLARE_MEMBER)
};

// The classes its members return, complete, so that a result can be used at
// once whichever wrapper header a host included first.
#include "dom/dom_wrappers.h"
#include "dom_collections/dom_collections.h"
