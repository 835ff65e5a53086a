#include "sax/vbsax_attributes.h"

ARDO_WRAPPER_DEFINE_SPECIAL_MEMBERS(CVBSAXAttributes, IVBSAXAttributes)
