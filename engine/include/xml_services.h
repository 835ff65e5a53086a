// Everything a client of the XML services engine needs: the interfaces of
// its components, the enumerations they pass, and the identities of its
// component classes and type library.
//
// The engine is reached only through these interfaces, obtained from
// CoCreateInstance or from other interfaces. Every method returns an
// HRESULT: negative is failure (out-parameters are then not to be used),
// S_OK and S_FALSE are both success. Ownership follows one rule set:
// - BSTR out-parameters belong to the caller (SysFreeString);
// - VARIANT out-parameters belong to the caller (VariantClear);
// - interface out-parameters carry one reference that the caller releases;
// - in-parameters of every kind stay the caller's; a callee that keeps an
//   interface takes a reference of its own;
// - VARIANT_BOOL is 16 bits: VARIANT_TRUE is -1, VARIANT_FALSE is 0.
#pragma once

#include "platform/platform.h"
#include "engine/include/dom_interfaces.h"
#include "engine/include/sax_interfaces.h"
#include "engine/include/http_xslt_interfaces.h"
#include "engine/include/class_ids.h"
