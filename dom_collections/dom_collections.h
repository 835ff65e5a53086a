// The DOM collection and auxiliary wrappers, complete: node lists, selections,
// named node maps, parse errors, the implementation object and, once it is
// built, the schema collections.
#pragma once

#include "dom_collections/xml_dom_node_list.h"
#include "dom_collections/xml_dom_selection.h"
#include "dom_collections/xml_dom_named_node_map.h"
#include "dom_collections/xml_dom_parse_error.h"
#include "dom_collections/xml_dom_implementation.h"
#if __has_include("dom_collections/xml_dom_schema_collection.h")
#include "dom_collections/xml_dom_schema_collection.h"
#endif
