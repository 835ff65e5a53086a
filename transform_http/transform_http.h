// The calling wrappers of XSLT templates and processors and of client and
// server HTTP requests.
#pragma once

#include "transform_http/xsl_template.h"
#include "transform_http/xsl_processor.h"
#include "transform_http/xml_http_request.h"
#include "transform_http/server_xml_http_request.h"
