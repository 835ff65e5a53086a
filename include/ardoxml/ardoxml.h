// ardoxml for host programs: the one header to include.
//
// It brings the platform stand-in (COM, OLE Automation, the class framework
// subset and the COM support classes), the engine's interfaces and class
// identities, the calling-wrapper template and exception, the component
// classes that create engine objects, every calling wrapper class and the
// drive model catalogue.
//
//   CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
//   try {
//     CXMLDOMDocument2 doc = CDOMDocument40Class::CreateXMLDOMDocument2(nullptr, CLSCTX_ALL);
//     ...
//   } catch (CComException* e) {
//     long hr = e->m_hr;
//     e->Delete();
//   }
//   CoUninitialize();
#pragma once

#include "platform/platform.h"
#include "engine/include/xml_services.h"

#include "framework/com_exception.h"
#include "framework/interface_calling_wrapper.h"
#include "framework/wrapper_class.h"
#include "framework/call_shapes.h"

#include "dom/dom_wrappers.h"
#include "dom_collections/dom_collections.h"
#include "dom_collections/xml_dom_schema_collection.h"
#include "sax/sax_wrappers.h"
#include "transform_http/transform_http.h"
#include "framework/component_classes.h"

#include "catalogue/ardo_model_lookup.h"
