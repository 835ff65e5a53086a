// The engine's SAX interfaces, in both families, and the XML writer's.
//
// The ISAX* family (early-bound, IUnknown-based) passes text as a pointer and
// a length in UTF-16 code units: the text is borrowed for the call only and
// is not NUL-terminated in general. Text handed out through `const OLECHAR**`
// stays owned by the object that hands it out and is valid until that object
// changes or is released.
//
// The IVBSAX* family (IDispatch-based) passes text as BSTRs. The handler
// methods take `BSTR*`: the reader owns the BSTR before and after the call,
// and a handler that replaces it must free the old one and leave a BSTR that
// the reader may free with SysFreeString. BSTR and VARIANT out-parameters of
// the other methods belong to the caller; interface out-parameters carry one
// reference owned by the caller; in-parameters stay the caller's.
#pragma once

#include "platform/platform.h"

struct ISAXXMLReader;
struct ISAXLocator;
struct ISAXEntityResolver;
struct ISAXContentHandler;
struct ISAXDTDHandler;
struct ISAXErrorHandler;
struct ISAXLexicalHandler;
struct ISAXDeclHandler;
struct ISAXAttributes;
struct IVBSAXXMLReader;
struct IVBSAXLocator;
struct IVBSAXEntityResolver;
struct IVBSAXContentHandler;
struct IVBSAXDTDHandler;
struct IVBSAXErrorHandler;
struct IVBSAXLexicalHandler;
struct IVBSAXDeclHandler;
struct IVBSAXAttributes;

// ---------------------------------------------------------------- ISAX* ---

// Features and properties are named by their URIs. parse takes a BSTR of
// XML text, an IStream, a byte SAFEARRAY or a DOM document.
struct ISAXXMLReader : public IUnknown {
  ARDO_INTERFACE(ISAXXMLReader, IUnknown,
                   0xA4F96ED0, 0xF829, 0x476E, 0x81, 0xC0, 0xCD, 0xC7, 0xBD, 0x2A, 0x08, 0x02)
  virtual HRESULT getFeature(const OLECHAR* pwchName, VARIANT_BOOL* pvfValue) = 0;
  virtual HRESULT putFeature(const OLECHAR* pwchName, VARIANT_BOOL vfValue) = 0;
  virtual HRESULT getProperty(const OLECHAR* pwchName, VARIANT* pvarValue) = 0;
  virtual HRESULT putProperty(const OLECHAR* pwchName, VARIANT varValue) = 0;
  virtual HRESULT getEntityResolver(ISAXEntityResolver** ppResolver) = 0;
  virtual HRESULT putEntityResolver(ISAXEntityResolver* pResolver) = 0;
  virtual HRESULT getContentHandler(ISAXContentHandler** ppHandler) = 0;
  virtual HRESULT putContentHandler(ISAXContentHandler* pHandler) = 0;
  virtual HRESULT getDTDHandler(ISAXDTDHandler** ppHandler) = 0;
  virtual HRESULT putDTDHandler(ISAXDTDHandler* pHandler) = 0;
  virtual HRESULT getErrorHandler(ISAXErrorHandler** ppHandler) = 0;
  virtual HRESULT putErrorHandler(ISAXErrorHandler* pHandler) = 0;
  virtual HRESULT getBaseURL(const OLECHAR** ppwchBaseUrl) = 0;
  virtual HRESULT putBaseURL(const OLECHAR* pwchBaseUrl) = 0;
  virtual HRESULT getSecureBaseURL(const OLECHAR** ppwchSecureBaseUrl) = 0;
  virtual HRESULT putSecureBaseURL(const OLECHAR* pwchSecureBaseUrl) = 0;
  virtual HRESULT parse(VARIANT varInput) = 0;
  virtual HRESULT parseURL(const OLECHAR* pwchUrl) = 0;
};

struct ISAXXMLFilter : public ISAXXMLReader {
  ARDO_INTERFACE(ISAXXMLFilter, ISAXXMLReader,
                   0x70409222, 0xCA09, 0x4475, 0xAC, 0xB8, 0x40, 0x31, 0x2F, 0xE8, 0xD1, 0x45)
  virtual HRESULT getParent(ISAXXMLReader** ppReader) = 0;
  virtual HRESULT putParent(ISAXXMLReader* pReader) = 0;
};

// Line and column are 1-based.
struct ISAXLocator : public IUnknown {
  ARDO_INTERFACE(ISAXLocator, IUnknown,
                   0x9B7E472A, 0x0DE4, 0x4640, 0xBF, 0xF3, 0x84, 0xD3, 0x8A, 0x05, 0x1C, 0x31)
  virtual HRESULT getColumnNumber(int* pnColumn) = 0;
  virtual HRESULT getLineNumber(int* pnLine) = 0;
  virtual HRESULT getPublicId(const OLECHAR** ppwchPublicId) = 0;
  virtual HRESULT getSystemId(const OLECHAR** ppwchSystemId) = 0;
};

struct ISAXEntityResolver : public IUnknown {
  ARDO_INTERFACE(ISAXEntityResolver, IUnknown,
                   0x99BCA7BD, 0xE8C4, 0x4D5F, 0xA0, 0xCF, 0x6D, 0x90, 0x79, 0x01, 0xFF, 0x07)
  virtual HRESULT resolveEntity(const OLECHAR* pwchPublicId, const OLECHAR* pwchSystemId,
                                VARIANT* pvarInput) = 0;
};

// A failing HRESULT from any handler method stops the parse, and the reader
// returns it from parse.
struct ISAXContentHandler : public IUnknown {
  ARDO_INTERFACE(ISAXContentHandler, IUnknown,
                   0x1545CDFA, 0x9E4E, 0x4497, 0xA8, 0xA4, 0x2B, 0xF7, 0xD0, 0x11, 0x2C, 0x44)
  virtual HRESULT putDocumentLocator(ISAXLocator* pLocator) = 0;
  virtual HRESULT startDocument() = 0;
  virtual HRESULT endDocument() = 0;
  virtual HRESULT startPrefixMapping(const OLECHAR* pwchPrefix, int cchPrefix,
                                     const OLECHAR* pwchUri, int cchUri) = 0;
  virtual HRESULT endPrefixMapping(const OLECHAR* pwchPrefix, int cchPrefix) = 0;
  virtual HRESULT startElement(const OLECHAR* pwchNamespaceUri, int cchNamespaceUri,
                               const OLECHAR* pwchLocalName, int cchLocalName,
                               const OLECHAR* pwchQName, int cchQName,
                               ISAXAttributes* pAttributes) = 0;
  virtual HRESULT endElement(const OLECHAR* pwchNamespaceUri, int cchNamespaceUri,
                             const OLECHAR* pwchLocalName, int cchLocalName,
                             const OLECHAR* pwchQName, int cchQName) = 0;
  virtual HRESULT characters(const OLECHAR* pwchChars, int cchChars) = 0;
  virtual HRESULT ignorableWhitespace(const OLECHAR* pwchChars, int cchChars) = 0;
  virtual HRESULT processingInstruction(const OLECHAR* pwchTarget, int cchTarget,
                                        const OLECHAR* pwchData, int cchData) = 0;
  virtual HRESULT skippedEntity(const OLECHAR* pwchName, int cchName) = 0;
};

struct ISAXDTDHandler : public IUnknown {
  ARDO_INTERFACE(ISAXDTDHandler, IUnknown,
                   0xE15C1BAF, 0xAFB3, 0x4D60, 0x8C, 0x36, 0x19, 0xA8, 0xC4, 0x5D, 0xEF, 0xED)
  virtual HRESULT notationDecl(const OLECHAR* pwchName, int cchName,
                               const OLECHAR* pwchPublicId, int cchPublicId,
                               const OLECHAR* pwchSystemId, int cchSystemId) = 0;
  virtual HRESULT unparsedEntityDecl(const OLECHAR* pwchName, int cchName,
                                     const OLECHAR* pwchPublicId, int cchPublicId,
                                     const OLECHAR* pwchSystemId, int cchSystemId,
                                     const OLECHAR* pwchNotationName, int cchNotationName) = 0;
};

// pwchErrorMessage is NUL-terminated.
struct ISAXErrorHandler : public IUnknown {
  ARDO_INTERFACE(ISAXErrorHandler, IUnknown,
                   0xA60511C4, 0xCCF5, 0x479E, 0x98, 0xA3, 0xDC, 0x8D, 0xC5, 0x45, 0xB7, 0xD0)
  virtual HRESULT error(ISAXLocator* pLocator, const OLECHAR* pwchErrorMessage,
                        HRESULT hrErrorCode) = 0;
  virtual HRESULT fatalError(ISAXLocator* pLocator, const OLECHAR* pwchErrorMessage,
                             HRESULT hrErrorCode) = 0;
  virtual HRESULT ignorableWarning(ISAXLocator* pLocator, const OLECHAR* pwchErrorMessage,
                                   HRESULT hrErrorCode) = 0;
};

struct ISAXLexicalHandler : public IUnknown {
  ARDO_INTERFACE(ISAXLexicalHandler, IUnknown,
                   0x7F85D5F5, 0x47A8, 0x4497, 0xBD, 0xA5, 0x84, 0xBA, 0x04, 0x81, 0x9E, 0xA6)
  virtual HRESULT startDTD(const OLECHAR* pwchName, int cchName,
                           const OLECHAR* pwchPublicId, int cchPublicId,
                           const OLECHAR* pwchSystemId, int cchSystemId) = 0;
  virtual HRESULT endDTD() = 0;
  virtual HRESULT startEntity(const OLECHAR* pwchName, int cchName) = 0;
  virtual HRESULT endEntity(const OLECHAR* pwchName, int cchName) = 0;
  virtual HRESULT startCDATA() = 0;
  virtual HRESULT endCDATA() = 0;
  virtual HRESULT comment(const OLECHAR* pwchChars, int cchChars) = 0;
};

struct ISAXDeclHandler : public IUnknown {
  ARDO_INTERFACE(ISAXDeclHandler, IUnknown,
                   0x862629AC, 0x771A, 0x47B2, 0x83, 0x37, 0x4E, 0x68, 0x43, 0xC1, 0xBE, 0x90)
  virtual HRESULT elementDecl(const OLECHAR* pwchName, int cchName,
                              const OLECHAR* pwchModel, int cchModel) = 0;
  virtual HRESULT attributeDecl(const OLECHAR* pwchElementName, int cchElementName,
                                const OLECHAR* pwchAttributeName, int cchAttributeName,
                                const OLECHAR* pwchType, int cchType,
                                const OLECHAR* pwchValueDefault, int cchValueDefault,
                                const OLECHAR* pwchValue, int cchValue) = 0;
  virtual HRESULT internalEntityDecl(const OLECHAR* pwchName, int cchName,
                                     const OLECHAR* pwchValue, int cchValue) = 0;
  virtual HRESULT externalEntityDecl(const OLECHAR* pwchName, int cchName,
                                     const OLECHAR* pwchPublicId, int cchPublicId,
                                     const OLECHAR* pwchSystemId, int cchSystemId) = 0;
};

// Attribute indexes are 0-based; a name not found answers E_INVALIDARG.
struct ISAXAttributes : public IUnknown {
  ARDO_INTERFACE(ISAXAttributes, IUnknown,
                   0xF078ABE1, 0x45D2, 0x4832, 0x91, 0xEA, 0x44, 0x66, 0xCE, 0x2F, 0x25, 0xC9)
  virtual HRESULT getLength(int* pnLength) = 0;
  virtual HRESULT getURI(int nIndex, const OLECHAR** ppwchUri, int* pcchUri) = 0;
  virtual HRESULT getLocalName(int nIndex, const OLECHAR** ppwchLocalName,
                               int* pcchLocalName) = 0;
  virtual HRESULT getQName(int nIndex, const OLECHAR** ppwchQName, int* pcchQName) = 0;
  virtual HRESULT getName(int nIndex, const OLECHAR** ppwchUri, int* pcchUri,
                          const OLECHAR** ppwchLocalName, int* pcchLocalName,
                          const OLECHAR** ppwchQName, int* pcchQName) = 0;
  virtual HRESULT getIndexFromName(const OLECHAR* pwchUri, int cchUri,
                                   const OLECHAR* pwchLocalName, int cchLocalName,
                                   int* pnIndex) = 0;
  virtual HRESULT getIndexFromQName(const OLECHAR* pwchQName, int cchQName, int* pnIndex) = 0;
  virtual HRESULT getType(int nIndex, const OLECHAR** ppwchType, int* pcchType) = 0;
  virtual HRESULT getTypeFromName(const OLECHAR* pwchUri, int cchUri,
                                  const OLECHAR* pwchLocalName, int cchLocalName,
                                  const OLECHAR** ppwchType, int* pcchType) = 0;
  virtual HRESULT getTypeFromQName(const OLECHAR* pwchQName, int cchQName,
                                   const OLECHAR** ppwchType, int* pcchType) = 0;
  virtual HRESULT getValue(int nIndex, const OLECHAR** ppwchValue, int* pcchValue) = 0;
  virtual HRESULT getValueFromName(const OLECHAR* pwchUri, int cchUri,
                                   const OLECHAR* pwchLocalName, int cchLocalName,
                                   const OLECHAR** ppwchValue, int* pcchValue) = 0;
  virtual HRESULT getValueFromQName(const OLECHAR* pwchQName, int cchQName,
                                    const OLECHAR** ppwchValue, int* pcchValue) = 0;
};

// -------------------------------------------------------------- IVBSAX* ---

struct IVBSAXXMLReader : public IDispatch {
  ARDO_INTERFACE(IVBSAXXMLReader, IDispatch,
                   0x8C033CAA, 0x6CD6, 0x4F73, 0xB7, 0x28, 0x45, 0x31, 0xAF, 0x74, 0x94, 0x5F)
  virtual HRESULT getFeature(BSTR strName, VARIANT_BOOL* fValue) = 0;
  virtual HRESULT putFeature(BSTR strName, VARIANT_BOOL fValue) = 0;
  virtual HRESULT getProperty(BSTR strName, VARIANT* varValue) = 0;
  virtual HRESULT putProperty(BSTR strName, VARIANT varValue) = 0;
  virtual HRESULT get_entityResolver(IVBSAXEntityResolver** oResolver) = 0;
  virtual HRESULT putref_entityResolver(IVBSAXEntityResolver* oResolver) = 0;
  virtual HRESULT get_contentHandler(IVBSAXContentHandler** oHandler) = 0;
  virtual HRESULT putref_contentHandler(IVBSAXContentHandler* oHandler) = 0;
  virtual HRESULT get_dtdHandler(IVBSAXDTDHandler** oHandler) = 0;
  virtual HRESULT putref_dtdHandler(IVBSAXDTDHandler* oHandler) = 0;
  virtual HRESULT get_errorHandler(IVBSAXErrorHandler** oHandler) = 0;
  virtual HRESULT putref_errorHandler(IVBSAXErrorHandler* oHandler) = 0;
  virtual HRESULT get_baseURL(BSTR* strBaseURL) = 0;
  virtual HRESULT put_baseURL(BSTR strBaseURL) = 0;
  virtual HRESULT get_secureBaseURL(BSTR* strSecureBaseURL) = 0;
  virtual HRESULT put_secureBaseURL(BSTR strSecureBaseURL) = 0;
  virtual HRESULT parse(VARIANT varInput) = 0;
  virtual HRESULT parseURL(BSTR strURL) = 0;
};

struct IVBSAXXMLFilter : public IDispatch {
  ARDO_INTERFACE(IVBSAXXMLFilter, IDispatch,
                   0x1299EB1B, 0x5B88, 0x433E, 0x82, 0xDE, 0x82, 0xCA, 0x75, 0xAD, 0x4E, 0x04)
  virtual HRESULT get_parent(IVBSAXXMLReader** oReader) = 0;
  virtual HRESULT putref_parent(IVBSAXXMLReader* oReader) = 0;
};

struct IVBSAXLocator : public IDispatch {
  ARDO_INTERFACE(IVBSAXLocator, IDispatch,
                   0x796E7AC5, 0x5AA2, 0x4EFF, 0xAC, 0xAD, 0x3F, 0xAA, 0xF0, 0x1A, 0x32, 0x88)
  virtual HRESULT get_columnNumber(int* nColumn) = 0;
  virtual HRESULT get_lineNumber(int* nLine) = 0;
  virtual HRESULT get_publicId(BSTR* strPublicId) = 0;
  virtual HRESULT get_systemId(BSTR* strSystemId) = 0;
};

struct IVBSAXEntityResolver : public IDispatch {
  ARDO_INTERFACE(IVBSAXEntityResolver, IDispatch,
                   0x0C05D096, 0xF45B, 0x4ACA, 0xAD, 0x1A, 0xAA, 0x0B, 0xC2, 0x55, 0x18, 0xDC)
  virtual HRESULT resolveEntity(BSTR* strPublicId, BSTR* strSystemId, VARIANT* varInput) = 0;
};

struct IVBSAXContentHandler : public IDispatch {
  ARDO_INTERFACE(IVBSAXContentHandler, IDispatch,
                   0x2ED7290A, 0x4DD5, 0x4B46, 0xBB, 0x26, 0x4E, 0x41, 0x55, 0xE7, 0x7F, 0xAA)
  virtual HRESULT putref_documentLocator(IVBSAXLocator* oLocator) = 0;
  virtual HRESULT startDocument() = 0;
  virtual HRESULT endDocument() = 0;
  virtual HRESULT startPrefixMapping(BSTR* strPrefix, BSTR* strURI) = 0;
  virtual HRESULT endPrefixMapping(BSTR* strPrefix) = 0;
  virtual HRESULT startElement(BSTR* strNamespaceURI, BSTR* strLocalName, BSTR* strQName,
                               IVBSAXAttributes* oAttributes) = 0;
  virtual HRESULT endElement(BSTR* strNamespaceURI, BSTR* strLocalName, BSTR* strQName) = 0;
  virtual HRESULT characters(BSTR* strChars) = 0;
  virtual HRESULT ignorableWhitespace(BSTR* strChars) = 0;
  virtual HRESULT processingInstruction(BSTR* strTarget, BSTR* strData) = 0;
  virtual HRESULT skippedEntity(BSTR* strName) = 0;
};

struct IVBSAXDTDHandler : public IDispatch {
  ARDO_INTERFACE(IVBSAXDTDHandler, IDispatch,
                   0x24FB3297, 0x302D, 0x4620, 0xBA, 0x39, 0x3A, 0x73, 0x2D, 0x85, 0x05, 0x58)
  virtual HRESULT notationDecl(BSTR* strName, BSTR* strPublicId, BSTR* strSystemId) = 0;
  virtual HRESULT unparsedEntityDecl(BSTR* strName, BSTR* strPublicId, BSTR* strSystemId,
                                     BSTR* strNotationName) = 0;
};

struct IVBSAXErrorHandler : public IDispatch {
  ARDO_INTERFACE(IVBSAXErrorHandler, IDispatch,
                   0xD963D3FE, 0x173C, 0x4862, 0x90, 0x95, 0xB9, 0x2F, 0x66, 0x99, 0x5F, 0x52)
  virtual HRESULT error(IVBSAXLocator* oLocator, BSTR* strErrorMessage, long nErrorCode) = 0;
  virtual HRESULT fatalError(IVBSAXLocator* oLocator, BSTR* strErrorMessage,
                             long nErrorCode) = 0;
  virtual HRESULT ignorableWarning(IVBSAXLocator* oLocator, BSTR* strErrorMessage,
                                   long nErrorCode) = 0;
};

struct IVBSAXLexicalHandler : public IDispatch {
  ARDO_INTERFACE(IVBSAXLexicalHandler, IDispatch,
                   0x032AAC35, 0x8C0E, 0x4D9D, 0x97, 0x9F, 0xE3, 0xB7, 0x02, 0x93, 0x55, 0x76)
  virtual HRESULT startDTD(BSTR* strName, BSTR* strPublicId, BSTR* strSystemId) = 0;
  virtual HRESULT endDTD() = 0;
  virtual HRESULT startEntity(BSTR* strName) = 0;
  virtual HRESULT endEntity(BSTR* strName) = 0;
  virtual HRESULT startCDATA() = 0;
  virtual HRESULT endCDATA() = 0;
  virtual HRESULT comment(BSTR* strChars) = 0;
};

struct IVBSAXDeclHandler : public IDispatch {
  ARDO_INTERFACE(IVBSAXDeclHandler, IDispatch,
                   0xE8917260, 0x7579, 0x4BE1, 0xB5, 0xDD, 0x7A, 0xFB, 0xFA, 0x6F, 0x07, 0x7B)
  virtual HRESULT elementDecl(BSTR* strName, BSTR* strModel) = 0;
  virtual HRESULT attributeDecl(BSTR* strElementName, BSTR* strAttributeName, BSTR* strType,
                                BSTR* strValueDefault, BSTR* strValue) = 0;
  virtual HRESULT internalEntityDecl(BSTR* strName, BSTR* strValue) = 0;
  virtual HRESULT externalEntityDecl(BSTR* strName, BSTR* strPublicId, BSTR* strSystemId) = 0;
};

struct IVBSAXAttributes : public IDispatch {
  ARDO_INTERFACE(IVBSAXAttributes, IDispatch,
                   0x10DC0586, 0x132B, 0x4CAC, 0x8B, 0xB3, 0xDB, 0x00, 0xAC, 0x8B, 0x7E, 0xE0)
  virtual HRESULT get_length(int* nLength) = 0;
  virtual HRESULT getURI(int nIndex, BSTR* strURI) = 0;
  virtual HRESULT getLocalName(int nIndex, BSTR* strLocalName) = 0;
  virtual HRESULT getQName(int nIndex, BSTR* strQName) = 0;
  virtual HRESULT getIndexFromName(BSTR strURI, BSTR strLocalName, int* nIndex) = 0;
  virtual HRESULT getIndexFromQName(BSTR strQName, int* nIndex) = 0;
  virtual HRESULT getType(int nIndex, BSTR* strType) = 0;
  virtual HRESULT getTypeFromName(BSTR strURI, BSTR strLocalName, BSTR* strType) = 0;
  virtual HRESULT getTypeFromQName(BSTR strQName, BSTR* strType) = 0;
  virtual HRESULT getValue(int nIndex, BSTR* strValue) = 0;
  virtual HRESULT getValueFromName(BSTR strURI, BSTR strLocalName, BSTR* strValue) = 0;
  virtual HRESULT getValueFromQName(BSTR strQName, BSTR* strValue) = 0;
};

// ------------------------------------------------------- writer, reader ---

// The XML writer is also a SAX handler of both families: it serialises the
// events it receives. Its output is a BSTR of what was written so far
// (VT_BSTR) unless an IStream was given as the destination.
struct IMXWriter : public IDispatch {
  ARDO_INTERFACE(IMXWriter, IDispatch,
                   0x4D7FF4BA, 0x1565, 0x4EA8, 0x94, 0xE1, 0x6E, 0x72, 0x4A, 0x46, 0xF9, 0x8D)
  virtual HRESULT put_output(VARIANT varDestination) = 0;
  virtual HRESULT get_output(VARIANT* varDestination) = 0;
  virtual HRESULT put_encoding(BSTR strEncoding) = 0;
  virtual HRESULT get_encoding(BSTR* strEncoding) = 0;
  virtual HRESULT put_byteOrderMark(VARIANT_BOOL fWriteByteOrderMark) = 0;
  virtual HRESULT get_byteOrderMark(VARIANT_BOOL* fWriteByteOrderMark) = 0;
  virtual HRESULT put_indent(VARIANT_BOOL fIndentMode) = 0;
  virtual HRESULT get_indent(VARIANT_BOOL* fIndentMode) = 0;
  virtual HRESULT put_standalone(VARIANT_BOOL fValue) = 0;
  virtual HRESULT get_standalone(VARIANT_BOOL* fValue) = 0;
  virtual HRESULT put_omitXMLDeclaration(VARIANT_BOOL fValue) = 0;
  virtual HRESULT get_omitXMLDeclaration(VARIANT_BOOL* fValue) = 0;
  virtual HRESULT put_version(BSTR strVersion) = 0;
  virtual HRESULT get_version(BSTR* strVersion) = 0;
  virtual HRESULT put_disableOutputEscaping(VARIANT_BOOL fValue) = 0;
  virtual HRESULT get_disableOutputEscaping(VARIANT_BOOL* fValue) = 0;
  virtual HRESULT flush() = 0;
};

// An editable attribute list that also answers ISAXAttributes and
// IVBSAXAttributes. Indexes are 0-based.
struct IMXAttributes : public IDispatch {
  ARDO_INTERFACE(IMXAttributes, IDispatch,
                   0xF10D27CC, 0x3EC0, 0x415C, 0x8E, 0xD8, 0x77, 0xAB, 0x1C, 0x5E, 0x72, 0x62)
  virtual HRESULT addAttribute(BSTR strURI, BSTR strLocalName, BSTR strQName, BSTR strType,
                               BSTR strValue) = 0;
  virtual HRESULT addAttributeFromIndex(VARIANT varAtts, int nIndex) = 0;
  virtual HRESULT clear() = 0;
  virtual HRESULT removeAttribute(int nIndex) = 0;
  virtual HRESULT setAttribute(int nIndex, BSTR strURI, BSTR strLocalName, BSTR strQName,
                               BSTR strType, BSTR strValue) = 0;
  virtual HRESULT setAttributes(VARIANT varAtts) = 0;
  virtual HRESULT setLocalName(int nIndex, BSTR strLocalName) = 0;
  virtual HRESULT setQName(int nIndex, BSTR strQName) = 0;
  virtual HRESULT setType(int nIndex, BSTR strType) = 0;
  virtual HRESULT setURI(int nIndex, BSTR strURI) = 0;
  virtual HRESULT setValue(int nIndex, BSTR strValue) = 0;
};

// Lets a handler pause, resume or stop the reader that is calling it.
struct IMXReaderControl : public IDispatch {
  ARDO_INTERFACE(IMXReaderControl, IDispatch,
                   0x808F4E35, 0x8D5A, 0x4FBE, 0x84, 0x66, 0x33, 0xA4, 0x12, 0x79, 0xED, 0x30)
  virtual HRESULT abort() = 0;
  virtual HRESULT resume() = 0;
  virtual HRESULT suspend() = 0;
};

// The classic names of the interface identities.
inline constexpr const IID& IID_ISAXXMLReader = ISAXXMLReader::kIID;
inline constexpr const IID& IID_ISAXXMLFilter = ISAXXMLFilter::kIID;
inline constexpr const IID& IID_ISAXLocator = ISAXLocator::kIID;
inline constexpr const IID& IID_ISAXEntityResolver = ISAXEntityResolver::kIID;
inline constexpr const IID& IID_ISAXContentHandler = ISAXContentHandler::kIID;
inline constexpr const IID& IID_ISAXDTDHandler = ISAXDTDHandler::kIID;
inline constexpr const IID& IID_ISAXErrorHandler = ISAXErrorHandler::kIID;
inline constexpr const IID& IID_ISAXLexicalHandler = ISAXLexicalHandler::kIID;
inline constexpr const IID& IID_ISAXDeclHandler = ISAXDeclHandler::kIID;
inline constexpr const IID& IID_ISAXAttributes = ISAXAttributes::kIID;
inline constexpr const IID& IID_IVBSAXXMLReader = IVBSAXXMLReader::kIID;
inline constexpr const IID& IID_IVBSAXXMLFilter = IVBSAXXMLFilter::kIID;
inline constexpr const IID& IID_IVBSAXLocator = IVBSAXLocator::kIID;
inline constexpr const IID& IID_IVBSAXEntityResolver = IVBSAXEntityResolver::kIID;
inline constexpr const IID& IID_IVBSAXContentHandler = IVBSAXContentHandler::kIID;
inline constexpr const IID& IID_IVBSAXDTDHandler = IVBSAXDTDHandler::kIID;
inline constexpr const IID& IID_IVBSAXErrorHandler = IVBSAXErrorHandler::kIID;
inline constexpr const IID& IID_IVBSAXLexicalHandler = IVBSAXLexicalHandler::kIID;
inline constexpr const IID& IID_IVBSAXDeclHandler = IVBSAXDeclHandler::kIID;
inline constexpr const IID& IID_IVBSAXAttributes = IVBSAXAttributes::kIID;
inline constexpr const IID& IID_IMXWriter = IMXWriter::kIID;
inline constexpr const IID& IID_IMXAttributes = IMXAttributes::kIID;
inline constexpr const IID& IID_IMXReaderControl = IMXReaderControl::kIID;
