#include "engine/dom/dom_implementation.h"

#include <libxml/xmlstring.h>

#include "engine/common/bstr_text.h"

namespace ardo::engine {

HRESULT DomImplementation::hasFeature(BSTR feature, BSTR version, VARIANT_BOOL* has) {
  if (!has) return E_INVALIDARG;
  std::string f = Utf8Of(feature), v = Utf8Of(version);
  bool known = xmlStrcasecmp(Xml(f), Xml("XML")) == 0 || xmlStrcasecmp(Xml(f), Xml("DOM")) == 0 ||
               xmlStrcasecmp(Xml(f), Xml("MS-DOM")) == 0;
  *has = known && (v.empty() || v == "1.0") ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

}  // namespace ardo::engine
