// CXMLDOMParseError: calling wrapper of IXMLDOMParseError, the report of a
// document's last load or validation (code 0 when there was no error).
#pragma once

#include "dom/dom_forward.h"
#include "dom_collections/collection_member_lists.h"

// Its whole member set, expanded here and in dom_collections/dom_collections.cpp.
#define ARDO_CXMLDOMPARSEERROR_MEMBERS(X) \
  ARDO_DOM_PARSE_ERROR_MEMBERS(X, CXMLDOMParseError, IXMLDOMParseError)

class CXMLDOMParseError : public CInterfaceCallingWrapper<IXMLDOMParseError> {
 public:
  ARDO_WRAPPER_SPECIAL_MEMBERS(CXMLDOMParseError, IXMLDOMParseError)
  ARDO_CXMLDOMPARSEERROR_MEMBERS(ARDO_DECLARE_MEMBER)
};

// The classes its members return, complete, so that a result can be used at
// once whichever wrapper header a host included first.
#include "dom/dom_wrappers.h"
#include "dom_collections/dom_collections.h"
