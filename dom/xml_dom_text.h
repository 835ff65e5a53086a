// CXMLDOMText: calling wrapper of IXMLDOMText: the character-data members plus
// SplitText.
#pragma once

#include "dom/dom_forward.h"
#include "dom/dom_member_lists.h"

// Its whole member set, expanded here and in dom/dom_wrappers.cpp.
#define ARDO_CXMLDOMTEXT_MEMBERS(X) \
  ARDO_DOM_NODE_MEMBERS(X, CXMLDOMText, IXMLDOMText) \
  ARDO_DOM_CHARACTER_DATA_MEMBERS(X, CXMLDOMText, IXMLDOMText) \
  ARDO_DOM_TEXT_MEMBERS(X, CXMLDOMText, IXMLDOMText)

class CXMLDOMText : public CInterfaceCallingWrapper<IXMLDOMText> {
 public:
  ARDO_WRAPPER_SPECIAL_MEMBERS(CXMLDOMText, IXMLDOMText)
  ARDO_CXMLDOMTEXT_MEMBERS(ARDO_DECLARE_MEMBER)
};

// The classes its members return, complete, so that a result can be used at
// once whichever wrapper header a host included first.
#include "dom/dom_wrappers.h"
#include "dom_collections/dom_collections.h"
