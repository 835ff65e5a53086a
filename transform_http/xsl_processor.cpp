#include "transform_http/xsl_processor.h"

ARDO_WRAPPER_DEFINE_SPECIAL_MEMBERS(CXSLProcessor, IXSLProcessor)
