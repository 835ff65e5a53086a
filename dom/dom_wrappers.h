// The DOM node wrappers, complete. Each class derives only from its own
// CInterfaceCallingWrapper<T>; none derives from CXMLDOMNode, so a node of one
// type is passed where an IXMLDOMNode* is expected through its conversion to
// its own interface pointer.
#pragma once

#include "dom/xml_dom_node.h"
#include "dom/xml_dom_document.h"
#include "dom/xml_dom_document2.h"
#include "dom/xml_dom_element.h"
#include "dom/xml_dom_attribute.h"
#include "dom/xml_dom_character_data.h"
#include "dom/xml_dom_text.h"
#include "dom/xml_dom_cdata_section.h"
#include "dom/xml_dom_comment.h"
#include "dom/xml_dom_processing_instruction.h"
#include "dom/xml_dom_document_type.h"
#include "dom/xml_dom_document_fragment.h"
#include "dom/xml_dom_entity.h"
#include "dom/xml_dom_entity_reference.h"
#include "dom/xml_dom_notation.h"
