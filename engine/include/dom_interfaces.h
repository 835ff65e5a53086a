// The engine's DOM interfaces: nodes of every type, lists, selections,
// named node maps, parse errors, the implementation object, schema caches
// and the schema object model entry points.
//
// Ownership, for every method declared here:
// - A BSTR out-parameter belongs to the caller, who frees it with
//   SysFreeString; a null BSTR is a valid empty answer.
// - A VARIANT out-parameter belongs to the caller, who clears it with
//   VariantClear (the callee never reads what was there before).
// - An interface out-parameter carries one reference owned by the caller.
//   S_FALSE with a null pointer means "nothing there" (a query that found
//   nothing, a node without a parent), not a failure.
// - BSTR, VARIANT and interface in-parameters stay the caller's; a callee
//   that keeps an interface takes its own reference.
// - VARIANT_BOOL out-values are VARIANT_TRUE (-1) or VARIANT_FALSE (0).
#pragma once

#include "platform/platform.h"

struct IXMLDOMNode;
struct IXMLDOMNodeList;
struct IXMLDOMNamedNodeMap;
struct IXMLDOMDocument;
struct IXMLDOMDocumentType;
struct IXMLDOMImplementation;
struct IXMLDOMElement;
struct IXMLDOMAttribute;
struct IXMLDOMDocumentFragment;
struct IXMLDOMText;
struct IXMLDOMComment;
struct IXMLDOMCDATASection;
struct IXMLDOMProcessingInstruction;
struct IXMLDOMEntityReference;
struct IXMLDOMParseError;
struct IXMLDOMSchemaCollection;
struct IXMLDOMSelection;
struct ISchema;
struct ISchemaItem;
struct ISchemaItemCollection;
struct ISchemaStringCollection;
struct IVBSAXAttributes;

typedef enum tagDOMNodeType {
  NODE_INVALID = 0,
  NODE_ELEMENT = 1,
  NODE_ATTRIBUTE = 2,
  NODE_TEXT = 3,
  NODE_CDATA_SECTION = 4,
  NODE_ENTITY_REFERENCE = 5,
  NODE_ENTITY = 6,
  NODE_PROCESSING_INSTRUCTION = 7,
  NODE_COMMENT = 8,
  NODE_DOCUMENT = 9,
  NODE_DOCUMENT_TYPE = 10,
  NODE_DOCUMENT_FRAGMENT = 11,
  NODE_NOTATION = 12
} DOMNodeType;

// Kinds of schema object model items, as ISchemaItem::get_itemType reports
// them. The high bits group the kinds (declarations, types, particles).
typedef enum _SOMITEMTYPE {
  SOMITEM_SCHEMA = 0x1000,
  SOMITEM_ATTRIBUTE = 0x1001,
  SOMITEM_ATTRIBUTEGROUP = 0x1002,
  SOMITEM_NOTATION = 0x1003,
  SOMITEM_IDENTITYCONSTRAINT = 0x1100,
  SOMITEM_KEY = 0x1101,
  SOMITEM_KEYREF = 0x1102,
  SOMITEM_UNIQUE = 0x1103,
  SOMITEM_ANYTYPE = 0x2000,
  SOMITEM_DATATYPE = 0x2100,
  SOMITEM_DATATYPE_ANYTYPE = 0x2101,
  SOMITEM_DATATYPE_ANYURI = 0x2102,
  SOMITEM_DATATYPE_BASE64BINARY = 0x2103,
  SOMITEM_DATATYPE_BOOLEAN = 0x2104,
  SOMITEM_DATATYPE_BYTE = 0x2105,
  SOMITEM_DATATYPE_DATE = 0x2106,
  SOMITEM_DATATYPE_DATETIME = 0x2107,
  SOMITEM_DATATYPE_DAY = 0x2108,
  SOMITEM_DATATYPE_DECIMAL = 0x2109,
  SOMITEM_DATATYPE_DOUBLE = 0x210A,
  SOMITEM_DATATYPE_DURATION = 0x210B,
  SOMITEM_DATATYPE_ENTITIES = 0x210C,
  SOMITEM_DATATYPE_ENTITY = 0x210D,
  SOMITEM_DATATYPE_FLOAT = 0x210E,
  SOMITEM_DATATYPE_HEXBINARY = 0x210F,
  SOMITEM_DATATYPE_ID = 0x2110,
  SOMITEM_DATATYPE_IDREF = 0x2111,
  SOMITEM_DATATYPE_IDREFS = 0x2112,
  SOMITEM_DATATYPE_INT = 0x2113,
  SOMITEM_DATATYPE_INTEGER = 0x2114,
  SOMITEM_DATATYPE_LANGUAGE = 0x2115,
  SOMITEM_DATATYPE_LONG = 0x2116,
  SOMITEM_DATATYPE_MONTH = 0x2117,
  SOMITEM_DATATYPE_MONTHDAY = 0x2118,
  SOMITEM_DATATYPE_NAME = 0x2119,
  SOMITEM_DATATYPE_NCNAME = 0x211A,
  SOMITEM_DATATYPE_NEGATIVEINTEGER = 0x211B,
  SOMITEM_DATATYPE_NMTOKEN = 0x211C,
  SOMITEM_DATATYPE_NMTOKENS = 0x211D,
  SOMITEM_DATATYPE_NONNEGATIVEINTEGER = 0x211E,
  SOMITEM_DATATYPE_NONPOSITIVEINTEGER = 0x211F,
  SOMITEM_DATATYPE_NORMALIZEDSTRING = 0x2120,
  SOMITEM_DATATYPE_NOTATION = 0x2121,
  SOMITEM_DATATYPE_POSITIVEINTEGER = 0x2122,
  SOMITEM_DATATYPE_QNAME = 0x2123,
  SOMITEM_DATATYPE_SHORT = 0x2124,
  SOMITEM_DATATYPE_STRING = 0x2125,
  SOMITEM_DATATYPE_TIME = 0x2126,
  SOMITEM_DATATYPE_TOKEN = 0x2127,
  SOMITEM_DATATYPE_UNSIGNEDBYTE = 0x2128,
  SOMITEM_DATATYPE_UNSIGNEDINT = 0x2129,
  SOMITEM_DATATYPE_UNSIGNEDLONG = 0x212A,
  SOMITEM_DATATYPE_UNSIGNEDSHORT = 0x212B,
  SOMITEM_DATATYPE_YEAR = 0x212C,
  SOMITEM_DATATYPE_YEARMONTH = 0x212D,
  SOMITEM_DATATYPE_ANYSIMPLETYPE = 0x21FF,
  SOMITEM_SIMPLETYPE = 0x2200,
  SOMITEM_COMPLEXTYPE = 0x2400,
  SOMITEM_PARTICLE = 0x4000,
  SOMITEM_ANY = 0x4001,
  SOMITEM_ANYATTRIBUTE = 0x4002,
  SOMITEM_ELEMENT = 0x4003,
  SOMITEM_GROUP = 0x4100,
  SOMITEM_ALL = 0x4101,
  SOMITEM_CHOICE = 0x4102,
  SOMITEM_SEQUENCE = 0x4103,
  SOMITEM_EMPTYPARTICLE = 0x4104,
  SOMITEM_NULL = 0x0800,
  SOMITEM_NULL_TYPE = 0x2800,
  SOMITEM_NULL_ANY = 0x4801,
  SOMITEM_NULL_ANYATTRIBUTE = 0x4802,
  SOMITEM_NULL_ELEMENT = 0x4803
} SOMITEMTYPE;

// The DOM implementation object: which features the engine claims.
struct IXMLDOMImplementation : public IDispatch {
  ARDO_INTERFACE(IXMLDOMImplementation, IDispatch,
                   0x2933BF8F, 0x7B36, 0x11D2, 0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60)
  virtual HRESULT hasFeature(BSTR feature, BSTR version, VARIANT_BOOL* hasFeature) = 0;
};

// Every node type derives from this interface; its 36 members are shared by
// all of them. Tree getters answer S_FALSE and null where there is no node.
struct IXMLDOMNode : public IDispatch {
  ARDO_INTERFACE(IXMLDOMNode, IDispatch,
                   0x2933BF80, 0x7B36, 0x11D2, 0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60)
  virtual HRESULT get_nodeName(BSTR* name) = 0;
  virtual HRESULT get_nodeValue(VARIANT* value) = 0;
  virtual HRESULT put_nodeValue(VARIANT value) = 0;
  virtual HRESULT get_nodeType(DOMNodeType* type) = 0;
  virtual HRESULT get_parentNode(IXMLDOMNode** parent) = 0;
  virtual HRESULT get_childNodes(IXMLDOMNodeList** childList) = 0;
  virtual HRESULT get_firstChild(IXMLDOMNode** firstChild) = 0;
  virtual HRESULT get_lastChild(IXMLDOMNode** lastChild) = 0;
  virtual HRESULT get_previousSibling(IXMLDOMNode** previousSibling) = 0;
  virtual HRESULT get_nextSibling(IXMLDOMNode** nextSibling) = 0;
  virtual HRESULT get_attributes(IXMLDOMNamedNodeMap** attributeMap) = 0;
  // refChild: an object VARIANT naming the node to insert before, or an
  // empty/null VARIANT to append.
  virtual HRESULT insertBefore(IXMLDOMNode* newChild, VARIANT refChild,
                               IXMLDOMNode** outNewChild) = 0;
  virtual HRESULT replaceChild(IXMLDOMNode* newChild, IXMLDOMNode* oldChild,
                               IXMLDOMNode** outOldChild) = 0;
  virtual HRESULT removeChild(IXMLDOMNode* childNode, IXMLDOMNode** oldChild) = 0;
  virtual HRESULT appendChild(IXMLDOMNode* newChild, IXMLDOMNode** outNewChild) = 0;
  virtual HRESULT hasChildNodes(VARIANT_BOOL* hasChild) = 0;
  virtual HRESULT get_ownerDocument(IXMLDOMDocument** DOMDocument) = 0;
  virtual HRESULT cloneNode(VARIANT_BOOL deep, IXMLDOMNode** cloneRoot) = 0;
  virtual HRESULT get_nodeTypeString(BSTR* nodeType) = 0;
  virtual HRESULT get_text(BSTR* text) = 0;
  virtual HRESULT put_text(BSTR text) = 0;
  virtual HRESULT get_specified(VARIANT_BOOL* isSpecified) = 0;
  virtual HRESULT get_definition(IXMLDOMNode** definitionNode) = 0;
  virtual HRESULT get_nodeTypedValue(VARIANT* typedValue) = 0;
  virtual HRESULT put_nodeTypedValue(VARIANT typedValue) = 0;
  virtual HRESULT get_dataType(VARIANT* dataTypeName) = 0;
  virtual HRESULT put_dataType(BSTR dataTypeName) = 0;
  virtual HRESULT get_xml(BSTR* xmlString) = 0;
  virtual HRESULT transformNode(IXMLDOMNode* stylesheet, BSTR* xmlString) = 0;
  virtual HRESULT selectNodes(BSTR queryString, IXMLDOMNodeList** resultList) = 0;
  virtual HRESULT selectSingleNode(BSTR queryString, IXMLDOMNode** resultNode) = 0;
  virtual HRESULT get_parsed(VARIANT_BOOL* isParsed) = 0;
  virtual HRESULT get_namespaceURI(BSTR* namespaceURI) = 0;
  virtual HRESULT get_prefix(BSTR* prefixString) = 0;
  virtual HRESULT get_baseName(BSTR* nameString) = 0;
  virtual HRESULT transformNodeToObject(IXMLDOMNode* stylesheet, VARIANT outputObject) = 0;
};

struct IXMLDOMDocumentFragment : public IXMLDOMNode {
  ARDO_INTERFACE(IXMLDOMDocumentFragment, IXMLDOMNode,
                   0x3EFAA413, 0x272F, 0x11D2, 0x83, 0x6F, 0x00, 0x00, 0xF8, 0x7A, 0x77, 0x82)
};

// load and loadXML report a document that fails to parse as S_FALSE with
// VARIANT_FALSE; the reason is in get_parseError.
struct IXMLDOMDocument : public IXMLDOMNode {
  ARDO_INTERFACE(IXMLDOMDocument, IXMLDOMNode,
                   0x2933BF81, 0x7B36, 0x11D2, 0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60)
  virtual HRESULT get_doctype(IXMLDOMDocumentType** documentType) = 0;
  virtual HRESULT get_implementation(IXMLDOMImplementation** impl) = 0;
  virtual HRESULT get_documentElement(IXMLDOMElement** DOMElement) = 0;
  virtual HRESULT putref_documentElement(IXMLDOMElement* DOMElement) = 0;
  virtual HRESULT createElement(BSTR tagName, IXMLDOMElement** element) = 0;
  virtual HRESULT createDocumentFragment(IXMLDOMDocumentFragment** docFrag) = 0;
  virtual HRESULT createTextNode(BSTR data, IXMLDOMText** text) = 0;
  virtual HRESULT createComment(BSTR data, IXMLDOMComment** comment) = 0;
  virtual HRESULT createCDATASection(BSTR data, IXMLDOMCDATASection** cdata) = 0;
  virtual HRESULT createProcessingInstruction(BSTR target, BSTR data,
                                              IXMLDOMProcessingInstruction** pi) = 0;
  virtual HRESULT createAttribute(BSTR name, IXMLDOMAttribute** attribute) = 0;
  virtual HRESULT createEntityReference(BSTR name, IXMLDOMEntityReference** entityRef) = 0;
  virtual HRESULT getElementsByTagName(BSTR tagName, IXMLDOMNodeList** resultList) = 0;
  // Type: a node type number (or its name as text).
  virtual HRESULT createNode(VARIANT Type, BSTR name, BSTR namespaceURI, IXMLDOMNode** node) = 0;
  virtual HRESULT nodeFromID(BSTR idString, IXMLDOMNode** node) = 0;
  virtual HRESULT load(VARIANT xmlSource, VARIANT_BOOL* isSuccessful) = 0;
  virtual HRESULT get_readyState(long* value) = 0;
  virtual HRESULT get_parseError(IXMLDOMParseError** errorObj) = 0;
  virtual HRESULT get_url(BSTR* urlString) = 0;
  virtual HRESULT get_async(VARIANT_BOOL* isAsync) = 0;
  virtual HRESULT put_async(VARIANT_BOOL isAsync) = 0;
  virtual HRESULT abort() = 0;
  virtual HRESULT loadXML(BSTR bstrXML, VARIANT_BOOL* isSuccessful) = 0;
  virtual HRESULT save(VARIANT destination) = 0;
  virtual HRESULT get_validateOnParse(VARIANT_BOOL* isValidating) = 0;
  virtual HRESULT put_validateOnParse(VARIANT_BOOL isValidating) = 0;
  virtual HRESULT get_resolveExternals(VARIANT_BOOL* isResolving) = 0;
  virtual HRESULT put_resolveExternals(VARIANT_BOOL isResolving) = 0;
  virtual HRESULT get_preserveWhiteSpace(VARIANT_BOOL* isPreserving) = 0;
  virtual HRESULT put_preserveWhiteSpace(VARIANT_BOOL isPreserving) = 0;
  virtual HRESULT put_onreadystatechange(VARIANT readystatechangeSink) = 0;
  virtual HRESULT put_ondataavailable(VARIANT ondataavailableSink) = 0;
  virtual HRESULT put_ontransformnode(VARIANT ontransformnodeSink) = 0;
};

// Adds schema caches, validation and named properties ("SelectionLanguage",
// "SelectionNamespaces", ...) to the document.
struct IXMLDOMDocument2 : public IXMLDOMDocument {
  ARDO_INTERFACE(IXMLDOMDocument2, IXMLDOMDocument,
                   0x2933BF95, 0x7B36, 0x11D2, 0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60)
  virtual HRESULT get_namespaces(IXMLDOMSchemaCollection** namespaceCollection) = 0;
  virtual HRESULT get_schemas(VARIANT* otherCollection) = 0;
  virtual HRESULT putref_schemas(VARIANT otherCollection) = 0;
  virtual HRESULT validate(IXMLDOMParseError** errorObj) = 0;
  virtual HRESULT setProperty(BSTR name, VARIANT value) = 0;
  virtual HRESULT getProperty(BSTR name, VARIANT* value) = 0;
};

// Indexes are 0-based; an index out of range answers S_FALSE and null.
struct IXMLDOMNodeList : public IDispatch {
  ARDO_INTERFACE(IXMLDOMNodeList, IDispatch,
                   0x2933BF82, 0x7B36, 0x11D2, 0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60)
  virtual HRESULT get_item(long index, IXMLDOMNode** listItem) = 0;
  virtual HRESULT get_length(long* listLength) = 0;
  virtual HRESULT nextNode(IXMLDOMNode** nextItem) = 0;
  virtual HRESULT reset() = 0;
  virtual HRESULT get__newEnum(IUnknown** ppUnk) = 0;
};

struct IXMLDOMNamedNodeMap : public IDispatch {
  ARDO_INTERFACE(IXMLDOMNamedNodeMap, IDispatch,
                   0x2933BF83, 0x7B36, 0x11D2, 0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60)
  virtual HRESULT getNamedItem(BSTR name, IXMLDOMNode** namedItem) = 0;
  virtual HRESULT setNamedItem(IXMLDOMNode* newItem, IXMLDOMNode** nameItem) = 0;
  virtual HRESULT removeNamedItem(BSTR name, IXMLDOMNode** namedItem) = 0;
  virtual HRESULT get_item(long index, IXMLDOMNode** listItem) = 0;
  virtual HRESULT get_length(long* listLength) = 0;
  virtual HRESULT getQualifiedItem(BSTR baseName, BSTR namespaceURI,
                                   IXMLDOMNode** qualifiedItem) = 0;
  virtual HRESULT removeQualifiedItem(BSTR baseName, BSTR namespaceURI,
                                      IXMLDOMNode** qualifiedItem) = 0;
  virtual HRESULT nextNode(IXMLDOMNode** nextItem) = 0;
  virtual HRESULT reset() = 0;
  virtual HRESULT get__newEnum(IUnknown** ppUnk) = 0;
};

// Offsets and counts are in UTF-16 code units.
struct IXMLDOMCharacterData : public IXMLDOMNode {
  ARDO_INTERFACE(IXMLDOMCharacterData, IXMLDOMNode,
                   0x2933BF84, 0x7B36, 0x11D2, 0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60)
  virtual HRESULT get_data(BSTR* data) = 0;
  virtual HRESULT put_data(BSTR data) = 0;
  virtual HRESULT get_length(long* dataLength) = 0;
  virtual HRESULT substringData(long offset, long count, BSTR* data) = 0;
  virtual HRESULT appendData(BSTR data) = 0;
  virtual HRESULT insertData(long offset, BSTR data) = 0;
  virtual HRESULT deleteData(long offset, long count) = 0;
  virtual HRESULT replaceData(long offset, long count, BSTR data) = 0;
};

struct IXMLDOMAttribute : public IXMLDOMNode {
  ARDO_INTERFACE(IXMLDOMAttribute, IXMLDOMNode,
                   0x2933BF85, 0x7B36, 0x11D2, 0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60)
  virtual HRESULT get_name(BSTR* attributeName) = 0;
  virtual HRESULT get_value(VARIANT* attributeValue) = 0;
  virtual HRESULT put_value(VARIANT attributeValue) = 0;
};

// getAttribute of a missing attribute answers S_FALSE with a VT_NULL value.
struct IXMLDOMElement : public IXMLDOMNode {
  ARDO_INTERFACE(IXMLDOMElement, IXMLDOMNode,
                   0x2933BF86, 0x7B36, 0x11D2, 0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60)
  virtual HRESULT get_tagName(BSTR* tagName) = 0;
  virtual HRESULT getAttribute(BSTR name, VARIANT* value) = 0;
  virtual HRESULT setAttribute(BSTR name, VARIANT value) = 0;
  virtual HRESULT removeAttribute(BSTR name) = 0;
  virtual HRESULT getAttributeNode(BSTR name, IXMLDOMAttribute** attributeNode) = 0;
  virtual HRESULT setAttributeNode(IXMLDOMAttribute* DOMAttribute,
                                   IXMLDOMAttribute** attributeNode) = 0;
  virtual HRESULT removeAttributeNode(IXMLDOMAttribute* DOMAttribute,
                                      IXMLDOMAttribute** attributeNode) = 0;
  virtual HRESULT getElementsByTagName(BSTR tagName, IXMLDOMNodeList** resultList) = 0;
  virtual HRESULT normalize() = 0;
};

struct IXMLDOMText : public IXMLDOMCharacterData {
  ARDO_INTERFACE(IXMLDOMText, IXMLDOMCharacterData,
                   0x2933BF87, 0x7B36, 0x11D2, 0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60)
  virtual HRESULT splitText(long offset, IXMLDOMText** rightHandTextNode) = 0;
};

struct IXMLDOMComment : public IXMLDOMCharacterData {
  ARDO_INTERFACE(IXMLDOMComment, IXMLDOMCharacterData,
                   0x2933BF88, 0x7B36, 0x11D2, 0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60)
};

struct IXMLDOMProcessingInstruction : public IXMLDOMNode {
  ARDO_INTERFACE(IXMLDOMProcessingInstruction, IXMLDOMNode,
                   0x2933BF89, 0x7B36, 0x11D2, 0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60)
  virtual HRESULT get_target(BSTR* name) = 0;
  virtual HRESULT get_data(BSTR* value) = 0;
  virtual HRESULT put_data(BSTR value) = 0;
};

struct IXMLDOMCDATASection : public IXMLDOMText {
  ARDO_INTERFACE(IXMLDOMCDATASection, IXMLDOMText,
                   0x2933BF8A, 0x7B36, 0x11D2, 0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60)
};

struct IXMLDOMDocumentType : public IXMLDOMNode {
  ARDO_INTERFACE(IXMLDOMDocumentType, IXMLDOMNode,
                   0x2933BF8B, 0x7B36, 0x11D2, 0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60)
  virtual HRESULT get_name(BSTR* rootName) = 0;
  virtual HRESULT get_entities(IXMLDOMNamedNodeMap** entityMap) = 0;
  virtual HRESULT get_notations(IXMLDOMNamedNodeMap** notationMap) = 0;
};

// Identifiers come back as VT_BSTR, or VT_NULL when the declaration has none.
struct IXMLDOMNotation : public IXMLDOMNode {
  ARDO_INTERFACE(IXMLDOMNotation, IXMLDOMNode,
                   0x2933BF8C, 0x7B36, 0x11D2, 0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60)
  virtual HRESULT get_publicId(VARIANT* publicID) = 0;
  virtual HRESULT get_systemId(VARIANT* systemID) = 0;
};

struct IXMLDOMEntity : public IXMLDOMNode {
  ARDO_INTERFACE(IXMLDOMEntity, IXMLDOMNode,
                   0x2933BF8D, 0x7B36, 0x11D2, 0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60)
  virtual HRESULT get_publicId(VARIANT* publicID) = 0;
  virtual HRESULT get_systemId(VARIANT* systemID) = 0;
  virtual HRESULT get_notationName(BSTR* name) = 0;
};

struct IXMLDOMEntityReference : public IXMLDOMNode {
  ARDO_INTERFACE(IXMLDOMEntityReference, IXMLDOMNode,
                   0x2933BF8E, 0x7B36, 0x11D2, 0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60)
};

// Describes the last load: errorCode 0 means no error. line and linepos are
// 1-based where known and 0 otherwise; filepos is the offset from the start
// of the input (0 for the first): in bytes for a file, stream or byte array,
// in UTF-16 code units for loadXML's text.
struct IXMLDOMParseError : public IDispatch {
  ARDO_INTERFACE(IXMLDOMParseError, IDispatch,
                   0x3EFAA426, 0x272F, 0x11D2, 0x83, 0x6F, 0x00, 0x00, 0xF8, 0x7A, 0x77, 0x82)
  virtual HRESULT get_errorCode(long* errorCode) = 0;
  virtual HRESULT get_url(BSTR* urlString) = 0;
  virtual HRESULT get_reason(BSTR* reasonString) = 0;
  virtual HRESULT get_srcText(BSTR* sourceString) = 0;
  virtual HRESULT get_line(long* lineNumber) = 0;
  virtual HRESULT get_linepos(long* linePosition) = 0;
  virtual HRESULT get_filepos(long* filePosition) = 0;
};

// A set of schemas keyed by target namespace URI.
struct IXMLDOMSchemaCollection : public IDispatch {
  ARDO_INTERFACE(IXMLDOMSchemaCollection, IDispatch,
                   0x373984C8, 0xB845, 0x449B, 0x91, 0xE7, 0x45, 0xAC, 0x83, 0x03, 0x6A, 0xDE)
  // var: a schema document (VT_DISPATCH) or a location to load it from (VT_BSTR).
  virtual HRESULT add(BSTR namespaceURI, VARIANT var) = 0;
  virtual HRESULT get(BSTR namespaceURI, IXMLDOMNode** schemaNode) = 0;
  virtual HRESULT remove(BSTR namespaceURI) = 0;
  virtual HRESULT get_length(long* length) = 0;
  virtual HRESULT get_namespaceURI(long index, BSTR* length) = 0;
  virtual HRESULT addCollection(IXMLDOMSchemaCollection* otherCollection) = 0;
  virtual HRESULT get__newEnum(IUnknown** ppUnk) = 0;
};

struct IXMLDOMSchemaCollection2 : public IXMLDOMSchemaCollection {
  ARDO_INTERFACE(IXMLDOMSchemaCollection2, IXMLDOMSchemaCollection,
                   0x50EA08B0, 0xDD1B, 0x4664, 0x9A, 0x50, 0xC2, 0xF4, 0x0F, 0x4B, 0xD7, 0x9A)
  virtual HRESULT validate() = 0;
  virtual HRESULT put_validateOnLoad(VARIANT_BOOL validateOnLoad) = 0;
  virtual HRESULT get_validateOnLoad(VARIANT_BOOL* validateOnLoad) = 0;
  virtual HRESULT getSchema(BSTR namespaceURI, ISchema** schema) = 0;
  virtual HRESULT getDeclaration(IXMLDOMNode* node, ISchemaItem** item) = 0;
};

// A node list that remembers its XPath expression and context node.
struct IXMLDOMSelection : public IXMLDOMNodeList {
  ARDO_INTERFACE(IXMLDOMSelection, IXMLDOMNodeList,
                   0xAA634FC7, 0x5888, 0x44A7, 0xA2, 0x57, 0x3A, 0x47, 0x15, 0x0D, 0x3A, 0x0E)
  virtual HRESULT get_expr(BSTR* expression) = 0;
  virtual HRESULT put_expr(BSTR expression) = 0;
  virtual HRESULT get_context(IXMLDOMNode** ppNode) = 0;
  virtual HRESULT putref_context(IXMLDOMNode* pNode) = 0;
  virtual HRESULT peekNode(IXMLDOMNode** ppNode) = 0;
  virtual HRESULT matches(IXMLDOMNode* pNode, IXMLDOMNode** ppNode) = 0;
  virtual HRESULT removeNext(IXMLDOMNode** ppNode) = 0;
  virtual HRESULT removeAll() = 0;
  virtual HRESULT clone(IXMLDOMSelection** ppNode) = 0;
  virtual HRESULT getProperty(BSTR name, VARIANT* value) = 0;
  virtual HRESULT setProperty(BSTR name, VARIANT value) = 0;
};

// The document's outgoing events. A document raises them through connection
// points and does not implement this interface itself, so asking a document
// for it answers E_NOINTERFACE.
struct XMLDOMDocumentEvents : public IDispatch {
  ARDO_INTERFACE(XMLDOMDocumentEvents, IDispatch,
                   0x3EFAA427, 0x272F, 0x11D2, 0x83, 0x6F, 0x00, 0x00, 0xF8, 0x7A, 0x77, 0x82)
};

// Dispatch identities of the two events.
inline constexpr DISPID DISPID_XMLDOMEVENT_ONDATAAVAILABLE = 198;
inline constexpr DISPID DISPID_XMLDOMEVENT_ONREADYSTATECHANGE = -609;

// Schema object model. Only the entry points are declared here: an item and
// the schema (itself an item), with the collections the schema hands out.
struct ISchemaStringCollection : public IDispatch {
  ARDO_INTERFACE(ISchemaStringCollection, IDispatch,
                   0x50EA08B1, 0xDD1B, 0x4664, 0x9A, 0x50, 0xC2, 0xF4, 0x0F, 0x4B, 0xD7, 0x9A)
  virtual HRESULT get_item(long index, BSTR* bstr) = 0;
  virtual HRESULT get_length(long* length) = 0;
  virtual HRESULT get__newEnum(IUnknown** ppunk) = 0;
};

struct ISchemaItemCollection : public IDispatch {
  ARDO_INTERFACE(ISchemaItemCollection, IDispatch,
                   0x50EA08B2, 0xDD1B, 0x4664, 0x9A, 0x50, 0xC2, 0xF4, 0x0F, 0x4B, 0xD7, 0x9A)
  virtual HRESULT get_item(long index, ISchemaItem** item) = 0;
  virtual HRESULT itemByName(BSTR name, ISchemaItem** item) = 0;
  virtual HRESULT itemByQName(BSTR name, BSTR namespaceURI, ISchemaItem** item) = 0;
  virtual HRESULT get_length(long* length) = 0;
  virtual HRESULT get__newEnum(IUnknown** ppunk) = 0;
};

struct ISchemaItem : public IDispatch {
  ARDO_INTERFACE(ISchemaItem, IDispatch,
                   0x50EA08B3, 0xDD1B, 0x4664, 0x9A, 0x50, 0xC2, 0xF4, 0x0F, 0x4B, 0xD7, 0x9A)
  virtual HRESULT get_name(BSTR* name) = 0;
  virtual HRESULT get_namespaceURI(BSTR* namespaceURI) = 0;
  virtual HRESULT get_schema(ISchema** schema) = 0;
  virtual HRESULT get_id(BSTR* id) = 0;
  virtual HRESULT get_itemType(SOMITEMTYPE* itemType) = 0;
  virtual HRESULT get_unhandledAttributes(IVBSAXAttributes** attributes) = 0;
  virtual HRESULT writeAnnotation(IUnknown* annotationSink, VARIANT_BOOL* isWritten) = 0;
};

struct ISchema : public ISchemaItem {
  ARDO_INTERFACE(ISchema, ISchemaItem,
                   0x50EA08B4, 0xDD1B, 0x4664, 0x9A, 0x50, 0xC2, 0xF4, 0x0F, 0x4B, 0xD7, 0x9A)
  virtual HRESULT get_targetNamespace(BSTR* targetNamespace) = 0;
  virtual HRESULT get_version(BSTR* version) = 0;
  virtual HRESULT get_types(ISchemaItemCollection** types) = 0;
  virtual HRESULT get_elements(ISchemaItemCollection** elements) = 0;
  virtual HRESULT get_attributes(ISchemaItemCollection** attributes) = 0;
  virtual HRESULT get_attributeGroups(ISchemaItemCollection** attributeGroups) = 0;
  virtual HRESULT get_modelGroups(ISchemaItemCollection** modelGroups) = 0;
  virtual HRESULT get_notations(ISchemaItemCollection** notations) = 0;
  virtual HRESULT get_schemaLocations(ISchemaStringCollection** schemaLocations) = 0;
};

// The classic names of the interface identities.
inline constexpr const IID& IID_IXMLDOMImplementation = IXMLDOMImplementation::kIID;
inline constexpr const IID& IID_IXMLDOMNode = IXMLDOMNode::kIID;
inline constexpr const IID& IID_IXMLDOMDocumentFragment = IXMLDOMDocumentFragment::kIID;
inline constexpr const IID& IID_IXMLDOMDocument = IXMLDOMDocument::kIID;
inline constexpr const IID& IID_IXMLDOMDocument2 = IXMLDOMDocument2::kIID;
inline constexpr const IID& IID_IXMLDOMNodeList = IXMLDOMNodeList::kIID;
inline constexpr const IID& IID_IXMLDOMNamedNodeMap = IXMLDOMNamedNodeMap::kIID;
inline constexpr const IID& IID_IXMLDOMCharacterData = IXMLDOMCharacterData::kIID;
inline constexpr const IID& IID_IXMLDOMAttribute = IXMLDOMAttribute::kIID;
inline constexpr const IID& IID_IXMLDOMElement = IXMLDOMElement::kIID;
inline constexpr const IID& IID_IXMLDOMText = IXMLDOMText::kIID;
inline constexpr const IID& IID_IXMLDOMComment = IXMLDOMComment::kIID;
inline constexpr const IID& IID_IXMLDOMProcessingInstruction = IXMLDOMProcessingInstruction::kIID;
inline constexpr const IID& IID_IXMLDOMCDATASection = IXMLDOMCDATASection::kIID;
inline constexpr const IID& IID_IXMLDOMDocumentType = IXMLDOMDocumentType::kIID;
inline constexpr const IID& IID_IXMLDOMNotation = IXMLDOMNotation::kIID;
inline constexpr const IID& IID_IXMLDOMEntity = IXMLDOMEntity::kIID;
inline constexpr const IID& IID_IXMLDOMEntityReference = IXMLDOMEntityReference::kIID;
inline constexpr const IID& IID_IXMLDOMParseError = IXMLDOMParseError::kIID;
inline constexpr const IID& IID_IXMLDOMSchemaCollection = IXMLDOMSchemaCollection::kIID;
inline constexpr const IID& IID_IXMLDOMSchemaCollection2 = IXMLDOMSchemaCollection2::kIID;
inline constexpr const IID& IID_IXMLDOMSelection = IXMLDOMSelection::kIID;
inline constexpr const IID& DIID_XMLDOMDocumentEvents = XMLDOMDocumentEvents::kIID;
inline constexpr const IID& IID_XMLDOMDocumentEvents = XMLDOMDocumentEvents::kIID;
inline constexpr const IID& IID_ISchemaStringCollection = ISchemaStringCollection::kIID;
inline constexpr const IID& IID_ISchemaItemCollection = ISchemaItemCollection::kIID;
inline constexpr const IID& IID_ISchemaItem = ISchemaItem::kIID;
inline constexpr const IID& IID_ISchema = ISchema::kIID;
