#include "sax/mx_attributes.h"

ARDO_WRAPPER_DEFINE_SPECIAL_MEMBERS(CMXAttributes, IMXAttributes)
