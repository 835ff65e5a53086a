// CVBSAXAttributes: calling wrapper of IVBSAXAttributes, the attributes of one start tag, as a
// content handler receives them.
#pragma once

#include "engine/include/xml_services.h"
#include "framework/interface_calling_wrapper.h"
#include "framework/wrapper_class.h"

class CVBSAXAttributes : public CInterfaceCallingWrapper<IVBSAXAttributes> {
 public:
  ARDO_WRAPPER_SPECIAL_MEMBERS(CVBSAXAttributes, IVBSAXAttributes)
};
