#include "sax/vbsax_locator.h"

ARDO_WRAPPER_DEFINE_SPECIAL_MEMBERS(CVBSAXLocator, IVBSAXLocator)
