// CMXWriter: calling wrapper of IMXWriter, the XML writer: serialises the SAX events it receives
// (it is also a handler of both SAX families) into a string or a stream.
#pragma once

#include "engine/include/xml_services.h"
#include "framework/interface_calling_wrapper.h"
#include "framework/wrapper_class.h"

class CMXWriter : public CInterfaceCallingWrapper<IMXWriter> {
 public:
  ARDO_WRAPPER_SPECIAL_MEMBERS(CMXWriter, IMXWriter)
};
