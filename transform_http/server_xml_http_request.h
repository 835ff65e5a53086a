// CServerXMLHTTPRequest: calling wrapper of IServerXMLHTTPRequest, a server HTTP request, with
// time-outs and options.
#pragma once

#include "engine/include/xml_services.h"
#include "framework/interface_calling_wrapper.h"
#include "framework/wrapper_class.h"

class CServerXMLHTTPRequest : public CInterfaceCallingWrapper<IServerXMLHTTPRequest> {
 public:
  ARDO_WRAPPER_SPECIAL_MEMBERS(CServerXMLHTTPRequest, IServerXMLHTTPRequest)
};
