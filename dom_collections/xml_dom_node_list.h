// CXMLDOMNodeList: calling wrapper of IXMLDOMNodeList, what SelectNodes,
// GetChildNodes and GetElementsByTagName return. Walk it by index below
// GetLength(), or with NextNode until an empty node and Reset.
#pragma once

#include "dom/dom_forward.h"
#include "dom_collections/collection_member_lists.h"

// Its whole member set, expanded here and in dom_collections/dom_collections.cpp.
#define ARDO_CXMLDOMNODELIST_MEMBERS(X) \
  ARDO_DOM_NODE_SEQUENCE_MEMBERS(X, CXMLDOMNodeList, IXMLDOMNodeList)

class CXMLDOMNodeList : public CInterfaceCallingWrapper<IXMLDOMNodeList> {
 public:
  ARDO_WRAPPER_SPECIAL_MEMBERS(CXMLDOMNodeList, IXMLDOMNodeList)
  ARDO_CXMLDOMNODELIST_MEMBERS(ARDO_DECLARE_MEMBER)
};

// The classes its members return, complete, so that a result can be used at
// once whichever wrapper header a host included first.
#include "dom/dom_wrappers.h"
#include "dom_collections/dom_collections.h"
