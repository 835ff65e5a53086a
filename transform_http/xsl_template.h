// CXSLTemplate: calling wrapper of IXSLTemplate, a compiled XSLT style sheet, from which
// processors are made.
#pragma once

#include "engine/include/xml_services.h"
#include "framework/interface_calling_wrapper.h"
#include "framework/wrapper_class.h"

class CXSLTemplate : public CInterfaceCallingWrapper<IXSLTemplate> {
 public:
  ARDO_WRAPPER_SPECIAL_MEMBERS(CXSLTemplate, IXSLTemplate)
};
