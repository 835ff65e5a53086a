// The kind of a DOM document: its class identity, whether its calls take a
// lock, and whether it follows the 4.0 defaults.
#pragma once

#include "engine/include/xml_services.h"

namespace ardo::engine {

struct DocumentFlavor {
  const CLSID* clsid = nullptr;
  bool freeThreaded = false;
  bool version40 = false;
};

}  // namespace ardo::engine
