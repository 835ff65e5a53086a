// CVBSAXXMLReader: calling wrapper of IVBSAXXMLReader, the SAX reader: parses a document and calls the
// handlers attached to it.
#pragma once

#include "engine/include/xml_services.h"
#include "framework/interface_calling_wrapper.h"
#include "framework/wrapper_class.h"

class CVBSAXXMLReader : public CInterfaceCallingWrapper<IVBSAXXMLReader> {
 public:
  ARDO_WRAPPER_SPECIAL_MEMBERS(CVBSAXXMLReader, IVBSAXXMLReader)
};
