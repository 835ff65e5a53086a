// CXMLDOMDocumentFragment: calling wrapper of IXMLDOMDocumentFragment: the node
// members and nothing more.
#pragma once

#include "dom/dom_forward.h"
#include "dom/dom_member_lists.h"

// Its whole member set, expanded here and in dom/dom_wrappers.cpp.
#define ARDO_CXMLDOMDOCUMENTFRAGMENT_MEMBERS(X) \
  ARDO_DOM_NODE_MEMBERS(X, CXMLDOMDocumentFragment, IXMLDOMDocumentFragment)

class CXMLDOMDocumentFragment : public CInterfaceCallingWrapper<IXMLDOMDocumentFragment> {
 public:
  ARDO_WRAPPER_SPECIAL_MEMBERS(CXMLDOMDocumentFragment, IXMLDOMDocumentFragment)
  ARDO_CXMLDOMDOCUMENTFRAGMENT_MEMBERS(ARDO_DECLARE_MEMBER)
};

// The classes its members return, complete, so that a result can be used at
// once whichever wrapper header a host included first.
#include "dom/dom_wrappers.h"
#include "dom_collections/dom_collections.h"
