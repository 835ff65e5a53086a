#include "transform_http/xsl_template.h"

ARDO_WRAPPER_DEFINE_SPECIAL_MEMBERS(CXSLTemplate, IXSLTemplate)
