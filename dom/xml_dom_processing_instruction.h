// CXMLDOMProcessingInstruction: calling wrapper of IXMLDOMProcessingInstruction.
// Its GetData/SetData act on the instruction's own data property; it has no
// character-data members.
#pragma once

#include "dom/dom_forward.h"
#include "dom/dom_member_lists.h"

// Its whole member set, expanded here and in dom/dom_wrappers.cpp.
#define ARDO_CXMLDOMPROCESSINGINSTRUCTION_MEMBERS(X) \
  ARDO_DOM_NODE_MEMBERS(X, CXMLDOMProcessingInstruction, IXMLDOMProcessingInstruction) \
  ARDO_DOM_PROCESSING_INSTRUCTION_MEMBERS(X, CXMLDOMProcessingInstruction, IXMLDOMProcessingInstruction)

class CXMLDOMProcessingInstruction : public CInterfaceCallingWrapper<IXMLDOMProcessingInstruction> {
 public:
  ARDO_WRAPPER_SPECIAL_MEMBERS(CXMLDOMProcessingInstruction, IXMLDOMProcessingInstruction)
  ARDO_CXMLDOMPROCESSINGINSTRUCTION_MEMBERS(ARDO_DECLARE_MEMBER)
};

// The classes its members return, complete, so that a result can be used at
// once whichever wrapper header a host included first.
#include "dom/dom_wrappers.h"
#include "dom_collections/dom_collections.h"
