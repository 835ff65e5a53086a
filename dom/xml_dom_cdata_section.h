// CXMLDOMCDATASection: calling wrapper of IXMLDOMCDATASection. Its SplitText
// returns a CXMLDOMText, the class the interface method declares.
#pragma once

#include "dom/dom_forward.h"
#include "dom/dom_member_lists.h"

// Its whole member set, expanded here and in dom/dom_wrappers.cpp.
#define ARDO_CXMLDOMCDATASECTION_MEMBERS(X) \
  ARDO_DOM_NODE_MEMBERS(X, CXMLDOMCDATASection, IXMLDOMCDATASection) \
  ARDO_DOM_CHARACTER_DATA_MEMBERS(X, CXMLDOMCDATASection, IXMLDOMCDATASection) \
  ARDO_DOM_TEXT_MEMBERS(X, CXMLDOMCDATASection, IXMLDOMCDATASection)

class CXMLDOMCDATASection : public CInterfaceCallingWrapper<IXMLDOMCDATASection> {
 public:
  ARDO_WRAPPER_SPECIAL_MEMBERS(CXMLDOMCDATASection, IXMLDOMCDATASection)
  ARDO_CXMLDOMCDATASECTION_MEMBERS(ARDO_DECLARE_MEMBER)
};

// The classes its members return, complete, so that a result can be used at
// once whichever wrapper header a host included first.
#include "dom/dom_wrappers.h"
#include "dom_collections/dom_collections.h"
