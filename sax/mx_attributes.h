// CMXAttributes: calling wrapper of IMXAttributes, an editable attribute list, to build the attributes
// handed to a writer's startElement.
#pragma once

#include "engine/include/xml_services.h"
#include "framework/interface_calling_wrapper.h"
#include "framework/wrapper_class.h"

class CMXAttributes : public CInterfaceCallingWrapper<IMXAttributes> {
 public:
  ARDO_WRAPPER_SPECIAL_MEMBERS(CMXAttributes, IMXAttributes)
};
