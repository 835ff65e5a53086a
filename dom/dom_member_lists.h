// The member sets of the DOM node wrappers, each written once (see
// dom/wrapper_member_list.h for how a list becomes declarations and
// definitions).
//
// Common rules, true of every entry: a negative HRESULT throws CComException*
// carrying it (S_FALSE is success); strings come back as CString owned by the
// caller, VARIANTs with their contents owned by the caller (VariantClear);
// object results are wrappers that took over the delivered reference and are
// empty where the engine had no node; flags come back as -1 / 0. Object
// arguments are passed through borrowed: no AddRef, no Release, null as null.
#pragma once

#include "dom/wrapper_member_list.h"

// The node member set: every node-type wrapper carries it, on its own
// interface (which inherits these methods from IXMLDOMNode). Results stay
// generic: CloneNode of an element is a CXMLDOMNode.
#define ARDO_DOM_NODE_MEMBERS(X, Cls, Itf)                                                              \
  /* Name, value and type. */                                                                           \
  X(Cls, Itf, Get, CString, GetNodeName, (), (), get_nodeName)                                          \
  X(Cls, Itf, Get, VARIANT, GetNodeValue, (), (), get_nodeValue)                                        \
  X(Cls, Itf, Put, void, SetNodeValue, (_variant_t value), (, std::move(value)), put_nodeValue)          \
  X(Cls, Itf, Get, DOMNodeType, GetNodeType, (), (), get_nodeType)                                      \
  /* Navigation: an empty CXMLDOMNode where there is no such node. */                                   \
  X(Cls, Itf, Get, CXMLDOMNode, GetParentNode, (), (), get_parentNode)                                  \
  X(Cls, Itf, Get, CXMLDOMNodeList, GetChildNodes, (), (), get_childNodes)                              \
  X(Cls, Itf, Get, CXMLDOMNode, GetFirstChild, (), (), get_firstChild)                                  \
  X(Cls, Itf, Get, CXMLDOMNode, GetLastChild, (), (), get_lastChild)                                    \
  X(Cls, Itf, Get, CXMLDOMNode, GetPreviousSibling, (), (), get_previousSibling)                        \
  X(Cls, Itf, Get, CXMLDOMNode, GetNextSibling, (), (), get_nextSibling)                                \
  X(Cls, Itf, Get, CXMLDOMNamedNodeMap, GetAttributes, (), (), get_attributes)                          \
  /* Tree edits: each returns the node inserted, or the node taken out. */                              \
  X(Cls, Itf, Get, CXMLDOMNode, InsertBefore, (IXMLDOMNode * newChild, _variant_t refChild),            \
    (, newChild, std::move(refChild)), insertBefore)                                                    \
  X(Cls, Itf, Get, CXMLDOMNode, ReplaceChild, (IXMLDOMNode * newChild, IXMLDOMNode * oldChild),         \
    (, newChild, oldChild), replaceChild)                                                               \
  X(Cls, Itf, Get, CXMLDOMNode, RemoveChild, (IXMLDOMNode * child), (, child), removeChild)             \
  X(Cls, Itf, Get, CXMLDOMNode, AppendChild, (IXMLDOMNode * newChild), (, newChild), appendChild)       \
  X(Cls, Itf, Get, int, HasChildNodes, (), (), hasChildNodes)                                           \
  X(Cls, Itf, Get, CXMLDOMDocument, GetOwnerDocument, (), (), get_ownerDocument)                        \
  /* The deep flag reaches the engine as its low 16 bits: 65536 means shallow. */                       \
  X(Cls, Itf, Get, CXMLDOMNode, CloneNode, (int deep), (, deep), cloneNode)                             \
  /* Text, typing and serialisation. */                                                                 \
  X(Cls, Itf, Get, CString, GetNodeTypeString, (), (), get_nodeTypeString)                              \
  X(Cls, Itf, Get, CString, GetText, (), (), get_text)                                                  \
  X(Cls, Itf, Put, void, SetText, (const char* text), (, text), put_text)                               \
  X(Cls, Itf, Get, int, GetSpecified, (), (), get_specified)                                            \
  X(Cls, Itf, Get, CXMLDOMNode, GetDefinition, (), (), get_definition)                                  \
  X(Cls, Itf, Get, VARIANT, GetNodeTypedValue, (), (), get_nodeTypedValue)                              \
  X(Cls, Itf, Put, void, SetNodeTypedValue, (_variant_t value), (, std::move(value)), put_nodeTypedValue) \
  X(Cls, Itf, Get, VARIANT, GetDataType, (), (), get_dataType)                                          \
  X(Cls, Itf, Put, void, SetDataType, (const char* dataTypeName), (, dataTypeName), put_dataType)       \
  X(Cls, Itf, Get, CString, GetXml, (), (), get_xml)                                                    \
  X(Cls, Itf, Get, CString, TransformNode, (IXMLDOMNode * styleSheet), (, styleSheet), transformNode)   \
  /* Queries: a query the engine rejects throws; one that matches nothing gives an empty result. */     \
  X(Cls, Itf, Get, CXMLDOMNodeList, SelectNodes, (const char* query), (, query), selectNodes)           \
  X(Cls, Itf, Get, CXMLDOMNode, SelectSingleNode, (const char* query), (, query), selectSingleNode)     \
  X(Cls, Itf, Get, int, GetParsed, (), (), get_parsed)                                                  \
  /* Namespace parts of the name: "" where the node has none. */                                        \
  X(Cls, Itf, Get, CString, GetNamespaceURI, (), (), get_namespaceURI)                                  \
  X(Cls, Itf, Get, CString, GetPrefix, (), (), get_prefix)                                              \
  X(Cls, Itf, Get, CString, GetBaseName, (), (), get_baseName)                                          \
  X(Cls, Itf, Put, void, TransformNodeToObject, (IXMLDOMNode * styleSheet, _variant_t outputObject),    \
    (, styleSheet, std::move(outputObject)), transformNodeToObject)

// The two probes only CXMLDOMNode carries. They never throw and answer 1 only
// for exactly S_OK (unlike the boolean getters' -1); the node the engine
// delivers is released at once, so reference counts are left as they were.
#define ARDO_DOM_NODE_PROBES(X, Cls, Itf)                                              \
  X(Cls, Itf, ProbeOk, int, IsNextSibling, (), (), get_nextSibling)                    \
  X(Cls, Itf, ProbeOk, int, TestNode, (const char* query), (, query), selectSingleNode)

// The document member set, carried by CXMLDOMDocument and CXMLDOMDocument2.
#define ARDO_DOM_DOCUMENT_MEMBERS(X, Cls, Itf)                                                           \
  X(Cls, Itf, Get, CXMLDOMDocumentType, GetDoctype, (), (), get_doctype)                                 \
  X(Cls, Itf, Get, CXMLDOMImplementation, GetImplementation, (), (), get_implementation)                 \
  X(Cls, Itf, Get, CXMLDOMElement, GetDocumentElement, (), (), get_documentElement)                      \
  X(Cls, Itf, Put, void, SetRefDocumentElement, (IXMLDOMElement * newRoot), (, newRoot),                 \
    putref_documentElement)                                                                              \
  /* Node factories: the new node is not yet in the tree. */                                             \
  X(Cls, Itf, Get, CXMLDOMElement, CreateElement, (const char* tagName), (, tagName), createElement)     \
  X(Cls, Itf, Get, CXMLDOMDocumentFragment, CreateDocumentFragment, (), (), createDocumentFragment)      \
  X(Cls, Itf, Get, CXMLDOMText, CreateTextNode, (const char* text), (, text), createTextNode)            \
  X(Cls, Itf, Get, CXMLDOMComment, CreateComment, (const char* text), (, text), createComment)           \
  X(Cls, Itf, Get, CXMLDOMCDATASection, CreateCDATASection, (const char* text), (, text),                \
    createCDATASection)                                                                                  \
  X(Cls, Itf, Get, CXMLDOMProcessingInstruction, CreateProcessingInstruction,                            \
    (const char* target, const char* data), (, target, data), createProcessingInstruction)               \
  X(Cls, Itf, Get, CXMLDOMAttribute, CreateAttribute, (const char* name), (, name), createAttribute)     \
  X(Cls, Itf, Get, CXMLDOMEntityReference, CreateEntityReference, (const char* name), (, name),          \
    createEntityReference)                                                                               \
  X(Cls, Itf, Get, CXMLDOMNodeList, GetElementsByTagName, (const char* tagName), (, tagName),            \
    getElementsByTagName)                                                                                \
  /* The node type is handed over unchanged; the result stays a generic node. */                        \
  X(Cls, Itf, Get, CXMLDOMNode, CreateNode, (_variant_t type, const char* name, const char* namespaceURI), \
    (, std::move(type), name, namespaceURI), createNode)                                                 \
  X(Cls, Itf, Get, CXMLDOMNode, NodeFromID, (const char* id), (, id), nodeFromID)                        \
  /* Load and LoadXML answer 0 (no throw) for a document that does not parse; GetParseError says why. */ \
  X(Cls, Itf, Get, int, Load, (_variant_t source), (, std::move(source)), load)                          \
  X(Cls, Itf, Get, long, GetReadyState, (), (), get_readyState)                                          \
  X(Cls, Itf, Get, CXMLDOMParseError, GetParseError, (), (), get_parseError)                             \
  X(Cls, Itf, Get, CString, GetUrl, (), (), get_url)                                                     \
  X(Cls, Itf, Get, int, GetAsync, (), (), get_async)                                                     \
  X(Cls, Itf, Put, void, SetAsync, (int flag), (, flag), put_async)                                      \
  X(Cls, Itf, Put, void, Abort, (), (), abort)                                                           \
  X(Cls, Itf, Get, int, LoadXML, (const char* xml), (, xml), loadXML)                                    \
  X(Cls, Itf, Put, void, Save, (_variant_t destination), (, std::move(destination)), save)               \
  /* Parse flags: the setters hand the int's low 16 bits through, so 1 stays 1. */                       \
  X(Cls, Itf, Get, int, GetValidateOnParse, (), (), get_validateOnParse)                                 \
  X(Cls, Itf, Put, void, SetValidateOnParse, (int flag), (, flag), put_validateOnParse)                  \
  X(Cls, Itf, Get, int, GetResolveExternals, (), (), get_resolveExternals)                               \
  X(Cls, Itf, Put, void, SetResolveExternals, (int flag), (, flag), put_resolveExternals)                \
  X(Cls, Itf, Get, int, GetPreserveWhiteSpace, (), (), get_preserveWhiteSpace)                           \
  X(Cls, Itf, Put, void, SetPreserveWhiteSpace, (int flag), (, flag), put_preserveWhiteSpace)            \
  /* Event sinks, handed over as VARIANTs the engine interprets. */                                      \
  X(Cls, Itf, Put, void, SetOnreadystatechange, (_variant_t handler), (, std::move(handler)),            \
    put_onreadystatechange)                                                                              \
  X(Cls, Itf, Put, void, SetOndataavailable, (_variant_t handler), (, std::move(handler)),               \
    put_ondataavailable)                                                                                 \
  X(Cls, Itf, Put, void, SetOntransformnode, (_variant_t handler), (, std::move(handler)),               \
    put_ontransformnode)

// Named properties, the same pair on IXMLDOMDocument2 and IXMLDOMSelection.
// The wrapper knows no names: the engine accepts or refuses them (a refusal
// throws with the engine's HRESULT).
#define ARDO_DOM_PROPERTY_MEMBERS(X, Cls, Itf)                                             \
  X(Cls, Itf, Put, void, SetProperty, (const char* name, _variant_t value),                \
    (, name, std::move(value)), setProperty)                                               \
  X(Cls, Itf, Get, VARIANT, GetProperty, (const char* name), (, name), getProperty)

// What IXMLDOMDocument2 adds to the document set.
#define ARDO_DOM_DOCUMENT2_MEMBERS(X, Cls, Itf)                                             \
  X(Cls, Itf, Get, CXMLDOMSchemaCollection, GetNamespaces, (), (), get_namespaces)          \
  X(Cls, Itf, Get, VARIANT, GetSchemas, (), (), get_schemas)                                \
  X(Cls, Itf, Put, void, SetRefSchemas, (_variant_t schemas), (, std::move(schemas)), putref_schemas) \
  /* Wraps whatever parse-error object the engine hands out, error or not. */              \
  X(Cls, Itf, Get, CXMLDOMParseError, Validate, (), (), validate)                           \
  ARDO_DOM_PROPERTY_MEMBERS(X, Cls, Itf)

#define ARDO_DOM_ELEMENT_MEMBERS(X, Cls, Itf)                                                       \
  X(Cls, Itf, Get, CString, GetTagName, (), (), get_tagName)                                        \
  /* An absent attribute gives whatever VARIANT the engine wrote (VT_NULL), not an exception. */    \
  X(Cls, Itf, Get, VARIANT, GetAttribute, (const char* name), (, name), getAttribute)               \
  X(Cls, Itf, Put, void, SetAttribute, (const char* name, _variant_t value),                        \
    (, name, std::move(value)), setAttribute)                                                       \
  X(Cls, Itf, Put, void, RemoveAttribute, (const char* name), (, name), removeAttribute)            \
  X(Cls, Itf, Get, CXMLDOMAttribute, GetAttributeNode, (const char* name), (, name), getAttributeNode) \
  X(Cls, Itf, Get, CXMLDOMAttribute, SetAttributeNode, (IXMLDOMAttribute * attribute),              \
    (, attribute), setAttributeNode)                                                                \
  X(Cls, Itf, Get, CXMLDOMAttribute, RemoveAttributeNode, (IXMLDOMAttribute * attribute),           \
    (, attribute), removeAttributeNode)                                                             \
  X(Cls, Itf, Get, CXMLDOMNodeList, GetElementsByTagName, (const char* tagName), (, tagName),       \
    getElementsByTagName)                                                                           \
  X(Cls, Itf, Put, void, Normalize, (), (), normalize)

#define ARDO_DOM_ATTRIBUTE_MEMBERS(X, Cls, Itf)                             \
  X(Cls, Itf, Get, CString, GetName, (), (), get_name)                      \
  X(Cls, Itf, Get, VARIANT, GetValue, (), (), get_value)                    \
  X(Cls, Itf, Put, void, SetValue, (_variant_t value), (, std::move(value)), put_value)

// The character-data set, carried by the character data, text, CDATA section
// and comment wrappers. Offsets and counts are in the engine's UTF-16 code
// units, passed through unchecked: the engine refuses a bad one by HRESULT.
#define ARDO_DOM_CHARACTER_DATA_MEMBERS(X, Cls, Itf)                                                \
  X(Cls, Itf, Get, CString, GetData, (), (), get_data)                                              \
  X(Cls, Itf, Put, void, SetData, (const char* text), (, text), put_data)                           \
  X(Cls, Itf, Get, long, GetLength, (), (), get_length)                                             \
  X(Cls, Itf, Get, CString, SubstringData, (long offset, long count), (, offset, count), substringData) \
  X(Cls, Itf, Put, void, AppendData, (const char* text), (, text), appendData)                       \
  X(Cls, Itf, Put, void, InsertData, (long offset, const char* text), (, offset, text), insertData) \
  X(Cls, Itf, Put, void, DeleteData, (long offset, long count), (, offset, count), deleteData)       \
  X(Cls, Itf, Put, void, ReplaceData, (long offset, long count, const char* text),                  \
    (, offset, count, text), replaceData)

// Text and CDATA sections split into a text node, whatever the source type.
#define ARDO_DOM_TEXT_MEMBERS(X, Cls, Itf) \
  X(Cls, Itf, Get, CXMLDOMText, SplitText, (long offset), (, offset), splitText)

#define ARDO_DOM_PROCESSING_INSTRUCTION_MEMBERS(X, Cls, Itf)      \
  X(Cls, Itf, Get, CString, GetTarget, (), (), get_target)        \
  X(Cls, Itf, Get, CString, GetData, (), (), get_data)            \
  X(Cls, Itf, Put, void, SetData, (const char* text), (, text), put_data)

#define ARDO_DOM_DOCUMENT_TYPE_MEMBERS(X, Cls, Itf)                                 \
  X(Cls, Itf, Get, CString, GetName, (), (), get_name)                              \
  X(Cls, Itf, Get, CXMLDOMNamedNodeMap, GetEntities, (), (), get_entities)          \
  X(Cls, Itf, Get, CXMLDOMNamedNodeMap, GetNotations, (), (), get_notations)

// Entities and notations both name their external identifiers as VARIANTs
// (VT_NULL when undeclared): the caller tests the type and clears it.
#define ARDO_DOM_EXTERNAL_ID_MEMBERS(X, Cls, Itf)                \
  X(Cls, Itf, Get, VARIANT, GetPublicId, (), (), get_publicId)  \
  X(Cls, Itf, Get, VARIANT, GetSystemId, (), (), get_systemId)

#define ARDO_DOM_ENTITY_MEMBERS(X, Cls, Itf) \
  ARDO_DOM_EXTERNAL_ID_MEMBERS(X, Cls, Itf)  \
  X(Cls, Itf, Get, CString, GetNotationName, (), (), get_notationName)
