// CVBSAXLocator: calling wrapper of IVBSAXLocator, where in the document the reader is, as
// content and error handlers receive it.
#pragma once

#include "engine/include/xml_services.h"
#include "framework/interface_calling_wrapper.h"
#include "framework/wrapper_class.h"

class CVBSAXLocator : public CInterfaceCallingWrapper<IVBSAXLocator> {
 public:
  ARDO_WRAPPER_SPECIAL_MEMBERS(CVBSAXLocator, IVBSAXLocator)
};
