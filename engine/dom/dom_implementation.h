// DomImplementation: the features the DOM claims ("XML", "DOM" and
// "MS-DOM", version 1.0 or unspecified).
#pragma once

#include "engine/include/xml_services.h"

namespace ardo::engine {

class DomImplementation final : public ComObject<DomImplementation, IXMLDOMImplementation> {
 public:
  HRESULT hasFeature(BSTR feature, BSTR version, VARIANT_BOOL* has) override;
};

}  // namespace ardo::engine
