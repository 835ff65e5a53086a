// CXMLDOMCharacterData: calling wrapper of IXMLDOMCharacterData, the common
// interface of text, CDATA sections and comments.
#pragma once

#include "dom/dom_forward.h"
#include "dom/dom_member_lists.h"

// Its whole member set, expanded here and in dom/dom_wrappers.cpp.
#define ARDO_CXMLDOMCHARACTERDATA_MEMBERS(X) \
  ARDO_DOM_NODE_MEMBERS(X, CXMLDOMCharacterData, IXMLDOMCharacterData) \
  ARDO_DOM_CHARACTER_DATA_MEMBERS(X, CXMLDOMCharacterData, IXMLDOMCharacterData)

class CXMLDOMCharacterData : public CInterfaceCallingWrapper<IXMLDOMCharacterData> {
 public:
  ARDO_WRAPPER_SPECIAL_MEMBERS(CXMLDOMCharacterData, IXMLDOMCharacterData)
  ARDO_CXMLDOMCHARACTERDATA_MEMBERS(ARDO_DECLARE_MEMBER)
};

// The classes its members return, complete, so that a result can be used at
// once whichever wrapper header a host included first.
#include "dom/dom_wrappers.h"
#include "dom_collections/dom_collections.h"
