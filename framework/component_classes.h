// The component classes: one per engine component class and version, each
// with its class identity m_ClsId and static creation functions named
// Create + the interface asked for.
//
//   CXMLDOMDocument2 doc = CDOMDocument40Class::CreateXMLDOMDocument2(nullptr, CLSCTX_ALL);
//
// Every creation function asks CoCreateInstance for one interface of a new
// instance of its class. Anything but S_OK (an unregistered class, a refused
// interface, refused aggregation, even S_FALSE) throws CComException*
// carrying that HRESULT, and nothing is created or leaked. A wrapper result
// holds the new object's one reference; a raw pointer result hands that
// reference to the caller, who releases it. No fallback to another version
// is tried: a host that wants one catches and calls the next class itself.
//
// The classes hold no state; assigning one object of a class to another does
// nothing.
#pragma once

#include "dom/xml_dom_document2.h"
#include "dom_collections/xml_dom_schema_collection.h"
#include "engine/include/xml_services.h"
#include "framework/com_exception.h"
#include "sax/mx_attributes.h"
#include "sax/mx_writer.h"
#include "sax/vbsax_attributes.h"
#include "sax/vbsax_xml_reader.h"
#include "transform_http/xml_http_request.h"
#include "transform_http/xsl_template.h"

// The creation functions of each component family, written once:
// X(class, result, interface asked, function name).
#define ARDO_DOM_DOCUMENT_CREATORS(X, Class)                                         \
  X(Class, CXMLDOMDocument2, IXMLDOMDocument2, CreateXMLDOMDocument2)                \
  X(Class, XMLDOMDocumentEvents*, XMLDOMDocumentEvents, CreateXMLDOMDocumentEvents)

#define ARDO_SCHEMA_CACHE_CREATORS(X, Class) \
  X(Class, CXMLDOMSchemaCollection, IXMLDOMSchemaCollection, CreateXMLDOMSchemaCollection)

#define ARDO_SCHEMA_CACHE40_CREATORS(X, Class) \
  X(Class, CXMLDOMSchemaCollection2, IXMLDOMSchemaCollection2, CreateXMLDOMSchemaCollection2)

#define ARDO_XSL_TEMPLATE_CREATORS(X, Class) \
  X(Class, CXSLTemplate, IXSLTemplate, CreateXSLTemplate)

#define ARDO_XMLHTTP_CREATORS(X, Class) \
  X(Class, CXMLHTTPRequest, IXMLHTTPRequest, CreateXMLHTTPRequest)

// The server request classes hand out the raw interface only.
#define ARDO_SERVER_XMLHTTP_CREATORS(X, Class) \
  X(Class, IServerXMLHTTPRequest2*, IServerXMLHTTPRequest2, CreateServerXMLHTTPRequest2)

// The 4.0 reader class offers no reader-control function.
#define ARDO_SAX_READER40_CREATORS(X, Class)                           \
  X(Class, ISAXXMLReader*, ISAXXMLReader, CreateSAXXMLReader)          \
  X(Class, CVBSAXXMLReader, IVBSAXXMLReader, CreateVBSAXXMLReader)

#define ARDO_SAX_READER_CREATORS(X, Class)                             \
  X(Class, ISAXXMLReader*, ISAXXMLReader, CreateSAXXMLReader)          \
  X(Class, IMXReaderControl*, IMXReaderControl, CreateMXReaderControl) \
  X(Class, CVBSAXXMLReader, IVBSAXXMLReader, CreateVBSAXXMLReader)

#define ARDO_XML_WRITER_CREATORS(X, Class)                                             \
  X(Class, CMXWriter, IMXWriter, CreateMXWriter)                                       \
  X(Class, ISAXContentHandler*, ISAXContentHandler, CreateSAXContentHandler)           \
  X(Class, ISAXErrorHandler*, ISAXErrorHandler, CreateSAXErrorHandler)                 \
  X(Class, ISAXDTDHandler*, ISAXDTDHandler, CreateSAXDTDHandler)                       \
  X(Class, ISAXLexicalHandler*, ISAXLexicalHandler, CreateSAXLexicalHandler)           \
  X(Class, ISAXDeclHandler*, ISAXDeclHandler, CreateSAXDeclHandler)                    \
  X(Class, IVBSAXContentHandler*, IVBSAXContentHandler, CreateVBSAXContentHandler)     \
  X(Class, IVBSAXErrorHandler*, IVBSAXErrorHandler, CreateVBSAXErrorHandler)           \
  X(Class, IVBSAXDTDHandler*, IVBSAXDTDHandler, CreateVBSAXDTDHandler)                 \
  X(Class, IVBSAXLexicalHandler*, IVBSAXLexicalHandler, CreateVBSAXLexicalHandler)     \
  X(Class, IVBSAXDeclHandler*, IVBSAXDeclHandler, CreateVBSAXDeclHandler)

#define ARDO_SAX_ATTRIBUTES_CREATORS(X, Class)                      \
  X(Class, ISAXAttributes*, ISAXAttributes, CreateSAXAttributes)    \
  X(Class, CMXAttributes, IMXAttributes, CreateMXAttributes)        \
  X(Class, CVBSAXAttributes, IVBSAXAttributes, CreateVBSAXAttributes)

// The 32 component classes: X(class, class identity, creator family).
#define ARDO_COMPONENT_CLASSES(X)                                                         \
  X(CDOMDocumentClass, CLSID_DOMDocument, ARDO_DOM_DOCUMENT_CREATORS)                     \
  X(CDOMDocument26Class, CLSID_DOMDocument26, ARDO_DOM_DOCUMENT_CREATORS)                 \
  X(CDOMDocument30Class, CLSID_DOMDocument30, ARDO_DOM_DOCUMENT_CREATORS)                 \
  X(CDOMDocument40Class, CLSID_DOMDocument40, ARDO_DOM_DOCUMENT_CREATORS)                 \
  X(CFreeThreadedDOMDocumentClass, CLSID_FreeThreadedDOMDocument, ARDO_DOM_DOCUMENT_CREATORS)     \
  X(CFreeThreadedDOMDocument26Class, CLSID_FreeThreadedDOMDocument26, ARDO_DOM_DOCUMENT_CREATORS) \
  X(CFreeThreadedDOMDocument30Class, CLSID_FreeThreadedDOMDocument30, ARDO_DOM_DOCUMENT_CREATORS) \
  X(CFreeThreadedDOMDocument40Class, CLSID_FreeThreadedDOMDocument40, ARDO_DOM_DOCUMENT_CREATORS) \
  X(CXMLSchemaCacheClass, CLSID_XMLSchemaCache, ARDO_SCHEMA_CACHE_CREATORS)               \
  X(CXMLSchemaCache26Class, CLSID_XMLSchemaCache26, ARDO_SCHEMA_CACHE_CREATORS)           \
  X(CXMLSchemaCache30Class, CLSID_XMLSchemaCache30, ARDO_SCHEMA_CACHE_CREATORS)           \
  X(CXMLSchemaCache40Class, CLSID_XMLSchemaCache40, ARDO_SCHEMA_CACHE40_CREATORS)         \
  X(CXSLTemplateClass, CLSID_XSLTemplate, ARDO_XSL_TEMPLATE_CREATORS)                     \
  X(CXSLTemplate26Class, CLSID_XSLTemplate26, ARDO_XSL_TEMPLATE_CREATORS)                 \
  X(CXSLTemplate30Class, CLSID_XSLTemplate30, ARDO_XSL_TEMPLATE_CREATORS)                 \
  X(CXSLTemplate40Class, CLSID_XSLTemplate40, ARDO_XSL_TEMPLATE_CREATORS)                 \
  X(CXMLHTTPClass, CLSID_XMLHTTP, ARDO_XMLHTTP_CREATORS)                                  \
  X(CXMLHTTP26Class, CLSID_XMLHTTP26, ARDO_XMLHTTP_CREATORS)                              \
  X(CXMLHTTP30Class, CLSID_XMLHTTP30, ARDO_XMLHTTP_CREATORS)                              \
  X(CXMLHTTP40Class, CLSID_XMLHTTP40, ARDO_XMLHTTP_CREATORS)                              \
  X(CServerXMLHTTPClass, CLSID_ServerXMLHTTP, ARDO_SERVER_XMLHTTP_CREATORS)               \
  X(CServerXMLHTTP30Class, CLSID_ServerXMLHTTP30, ARDO_SERVER_XMLHTTP_CREATORS)           \
  X(CServerXMLHTTP40Class, CLSID_ServerXMLHTTP40, ARDO_SERVER_XMLHTTP_CREATORS)           \
  X(CSAXXMLReaderClass, CLSID_SAXXMLReader, ARDO_SAX_READER_CREATORS)                     \
  X(CSAXXMLReader30Class, CLSID_SAXXMLReader30, ARDO_SAX_READER_CREATORS)                 \
  X(CSAXXMLReader40Class, CLSID_SAXXMLReader40, ARDO_SAX_READER40_CREATORS)               \
  X(CMXXMLWriterClass, CLSID_MXXMLWriter, ARDO_XML_WRITER_CREATORS)                       \
  X(CMXXMLWriter30Class, CLSID_MXXMLWriter30, ARDO_XML_WRITER_CREATORS)                   \
  X(CMXXMLWriter40Class, CLSID_MXXMLWriter40, ARDO_XML_WRITER_CREATORS)                   \
  X(CSAXAttributesClass, CLSID_SAXAttributes, ARDO_SAX_ATTRIBUTES_CREATORS)               \
  X(CSAXAttributes30Class, CLSID_SAXAttributes30, ARDO_SAX_ATTRIBUTES_CREATORS)           \
  X(CSAXAttributes40Class, CLSID_SAXAttributes40, ARDO_SAX_ATTRIBUTES_CREATORS)

#define ARDO_DECLARE_CREATOR(Class, Result, Interface, Name) \
  static Result Name(IUnknown* pUnkOuter, unsigned long dwClsContext);

#define ARDO_DECLARE_COMPONENT_CLASS(Class, ClsId, Creators) \
  class Class {                                              \
   public:                                                   \
    static const GUID m_ClsId;                               \
    Class& operator=(const Class& other);                    \
    Creators(ARDO_DECLARE_CREATOR, Class)                    \
  };

ARDO_COMPONENT_CLASSES(ARDO_DECLARE_COMPONENT_CLASS)

#undef ARDO_DECLARE_COMPONENT_CLASS
#undef ARDO_DECLARE_CREATOR
