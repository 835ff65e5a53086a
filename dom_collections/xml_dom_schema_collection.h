// CXMLDOMSchemaCollection and CXMLDOMSchemaCollection2: calling wrappers of
// the schema caches, sets of XML schemas keyed by target namespace URI that
// documents validate against. The second wraps the 4.0 interface, which adds
// validation control; it does not derive from the first.
#pragma once

#include "engine/include/xml_services.h"
#include "framework/interface_calling_wrapper.h"
#include "framework/wrapper_class.h"

class CXMLDOMSchemaCollection : public CInterfaceCallingWrapper<IXMLDOMSchemaCollection> {
 public:
  ARDO_WRAPPER_SPECIAL_MEMBERS(CXMLDOMSchemaCollection, IXMLDOMSchemaCollection)
};

class CXMLDOMSchemaCollection2 : public CInterfaceCallingWrapper<IXMLDOMSchemaCollection2> {
 public:
  ARDO_WRAPPER_SPECIAL_MEMBERS(CXMLDOMSchemaCollection2, IXMLDOMSchemaCollection2)
};
