// Forward declarations of the DOM and DOM-collection wrapper classes. The
// wrappers return each other by value (a node returns its owner document, a
// document its elements, an element its attribute map), so every class header
// needs the others' names only; include dom/dom_wrappers.h and
// dom_collections/dom_collections.h for the complete classes.
#pragma once

#include "engine/include/xml_services.h"
#include "framework/interface_calling_wrapper.h"
#include "framework/wrapper_class.h"
#include "platform/platform.h"

class CXMLDOMNode;
class CXMLDOMDocument;
class CXMLDOMDocument2;
class CXMLDOMElement;
class CXMLDOMAttribute;
class CXMLDOMCharacterData;
class CXMLDOMText;
class CXMLDOMCDATASection;
class CXMLDOMComment;
class CXMLDOMProcessingInstruction;
class CXMLDOMDocumentType;
class CXMLDOMDocumentFragment;
class CXMLDOMEntity;
class CXMLDOMEntityReference;
class CXMLDOMNotation;

class CXMLDOMNodeList;
class CXMLDOMSelection;
class CXMLDOMNamedNodeMap;
class CXMLDOMParseError;
class CXMLDOMImplementation;
class CXMLDOMSchemaCollection;
