#include "transform_http/xml_http_request.h"

ARDO_WRAPPER_DEFINE_SPECIAL_MEMBERS(CXMLHTTPRequest, IXMLHTTPRequest)
