// CXMLHTTPRequest: calling wrapper of IXMLHTTPRequest, a client HTTP request.
#pragma once

#include "engine/include/xml_services.h"
#include "framework/interface_calling_wrapper.h"
#include "framework/wrapper_class.h"

class CXMLHTTPRequest : public CInterfaceCallingWrapper<IXMLHTTPRequest> {
 public:
  ARDO_WRAPPER_SPECIAL_MEMBERS(CXMLHTTPRequest, IXMLHTTPRequest)
};
