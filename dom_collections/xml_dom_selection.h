// CXMLDOMSelection: calling wrapper of IXMLDOMSelection, a live XPath
// selection. It is not a CXMLDOMNodeList: it carries its own copy of the list
// members, from the same member list.
#pragma once

#include "dom/dom_forward.h"
#include "dom_collections/collection_member_lists.h"

// Its whole member set, expanded here and in dom_collections/dom_collections.cpp.
#define ARDO_CXMLDOMSELECTION_MEMBERS(X) \
  ARDO_DOM_NODE_SEQUENCE_MEMBERS(X, CXMLDOMSelection, IXMLDOMSelection) \
  ARDO_DOM_SELECTION_MEMBERS(X, CXMLDOMSelection, IXMLDOMSelection)

class CXMLDOMSelection : public CInterfaceCallingWrapper<IXMLDOMSelection> {
 public:
  ARDO_WRAPPER_SPECIAL_MEMBERS(CXMLDOMSelection, IXMLDOMSelection)
  ARDO_CXMLDOMSELECTION_MEMBERS(ARDO_DECLARE_MEMBER)
};

// The classes its members return, complete, so that a result can be used at
// once whichever wrapper header a host included first.
#include "dom/dom_wrappers.h"
#include "dom_collections/dom_collections.h"
