// CXMLDOMComment: calling wrapper of IXMLDOMComment: the node and
// character-data members, no SplitText.
#pragma once

#include "dom/dom_forward.h"
#include "dom/dom_member_lists.h"

// Its whole member set, expanded here and in dom/dom_wrappers.cpp.
#define ARDO_CXMLDOMCOMMENT_MEMBERS(X) \
  ARDO_DOM_NODE_MEMBERS(X, CXMLDOMComment, IXMLDOMComment) \
  ARDO_DOM_CHARACTER_DATA_MEMBERS(X, CXMLDOMComment, IXMLDOMComment)

class CXMLDOMComment : public CInterfaceCallingWrapper<IXMLDOMComment> {
 public:
  ARDO_WRAPPER_SPECIAL_MEMBERS(CXMLDOMComment, IXMLDOMComment)
  ARDO_CXMLDOMCOMMENT_MEMBERS(ARDO_DECLARE_MEMBER)
};

// The classes its members return, complete, so that a result can be used at
// once whichever wrapper header a host included first.
#include "dom/dom_wrappers.h"
#include "dom_collections/dom_collections.h"
