// CXSLProcessor: calling wrapper of IXSLProcessor, one transformation: input, parameters, output.
#pragma once

#include "engine/include/xml_services.h"
#include "framework/interface_calling_wrapper.h"
#include "framework/wrapper_class.h"

class CXSLProcessor : public CInterfaceCallingWrapper<IXSLProcessor> {
 public:
  ARDO_WRAPPER_SPECIAL_MEMBERS(CXSLProcessor, IXSLProcessor)
};
