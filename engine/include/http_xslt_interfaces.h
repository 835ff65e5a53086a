// The engine's XSLT and HTTP interfaces.
//
// Ownership, for every method declared here: BSTR and VARIANT out-parameters
// belong to the caller (SysFreeString / VariantClear); interface
// out-parameters carry one reference owned by the caller; BSTR, VARIANT and
// interface in-parameters stay the caller's, and a callee that keeps an
// interface takes its own reference.
#pragma once

#include "platform/platform.h"
#include "engine/include/dom_interfaces.h"

struct IXSLProcessor;

// A compiled style sheet, shareable between processors.
struct IXSLTemplate : public IDispatch {
  ARDO_INTERFACE(IXSLTemplate, IDispatch,
                   0x2933BF93, 0x7B36, 0x11D2, 0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60)
  virtual HRESULT putref_stylesheet(IXMLDOMNode* stylesheet) = 0;
  virtual HRESULT get_stylesheet(IXMLDOMNode** stylesheet) = 0;
  virtual HRESULT createProcessor(IXSLProcessor** ppProcessor) = 0;
};

// One transformation run: input, parameters, output. transform answers
// VARIANT_TRUE when the transformation completed.
struct IXSLProcessor : public IDispatch {
  ARDO_INTERFACE(IXSLProcessor, IDispatch,
                   0x2933BF92, 0x7B36, 0x11D2, 0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60)
  virtual HRESULT put_input(VARIANT var) = 0;
  virtual HRESULT get_input(VARIANT* pVar) = 0;
  virtual HRESULT get_ownerTemplate(IXSLTemplate** ppTemplate) = 0;
  virtual HRESULT setStartMode(BSTR mode, BSTR namespaceURI) = 0;
  virtual HRESULT get_startMode(BSTR* mode) = 0;
  virtual HRESULT get_startModeURI(BSTR* namespaceURI) = 0;
  virtual HRESULT put_output(VARIANT output) = 0;
  virtual HRESULT get_output(VARIANT* pOutput) = 0;
  virtual HRESULT transform(VARIANT_BOOL* pDone) = 0;
  virtual HRESULT reset() = 0;
  virtual HRESULT get_readyState(long* pReadyState) = 0;
  virtual HRESULT addParameter(BSTR baseName, VARIANT parameter, BSTR namespaceURI) = 0;
  virtual HRESULT addObject(IDispatch* obj, BSTR namespaceURI) = 0;
  virtual HRESULT get_stylesheet(IXMLDOMNode** stylesheet) = 0;
};

// Options of a server request, for getOption and setOption.
typedef enum _SERVERXMLHTTP_OPTION {
  SXH_OPTION_URL = -1,
  SXH_OPTION_URL_CODEPAGE = 0,
  SXH_OPTION_ESCAPE_PERCENT_IN_URL = 1,
  SXH_OPTION_IGNORE_SERVER_SSL_CERT_ERROR_FLAGS = 2,
  SXH_OPTION_SELECT_CLIENT_SSL_CERT = 3
} SERVERXMLHTTP_OPTION;

// Bits of SXH_OPTION_IGNORE_SERVER_SSL_CERT_ERROR_FLAGS.
typedef enum _SXH_SERVER_CERT_OPTION {
  SXH_SERVER_CERT_IGNORE_UNKNOWN_CA = 0x00000100,
  SXH_SERVER_CERT_IGNORE_WRONG_USAGE = 0x00000200,
  SXH_SERVER_CERT_IGNORE_CERT_CN_INVALID = 0x00001000,
  SXH_SERVER_CERT_IGNORE_CERT_DATE_INVALID = 0x00002000,
  SXH_SERVER_CERT_IGNORE_ALL_SERVER_ERRORS = 0x00003300
} SXH_SERVER_CERT_OPTION;

typedef enum _SXH_PROXY_SETTING {
  SXH_PROXY_SET_DEFAULT = 0,
  SXH_PROXY_SET_PRECONFIG = 0,
  SXH_PROXY_SET_DIRECT = 0x1,
  SXH_PROXY_SET_PROXY = 0x2
} SXH_PROXY_SETTING;

// A client request. readyState runs 0 (uninitialised) to 4 (completed);
// status and the response getters fail until a response has arrived.
struct IXMLHTTPRequest : public IDispatch {
  ARDO_INTERFACE(IXMLHTTPRequest, IDispatch,
                   0xED8C108D, 0x4349, 0x11D2, 0x91, 0xA4, 0x00, 0xC0, 0x4F, 0x79, 0x69, 0xE8)
  virtual HRESULT open(BSTR bstrMethod, BSTR bstrUrl, VARIANT varAsync, VARIANT bstrUser,
                       VARIANT bstrPassword) = 0;
  virtual HRESULT setRequestHeader(BSTR bstrHeader, BSTR bstrValue) = 0;
  virtual HRESULT getResponseHeader(BSTR bstrHeader, BSTR* pbstrValue) = 0;
  virtual HRESULT getAllResponseHeaders(BSTR* pbstrHeaders) = 0;
  virtual HRESULT send(VARIANT varBody) = 0;
  virtual HRESULT abort() = 0;
  virtual HRESULT get_status(long* plStatus) = 0;
  virtual HRESULT get_statusText(BSTR* pbstrStatus) = 0;
  virtual HRESULT get_responseXML(IDispatch** ppBody) = 0;
  virtual HRESULT get_responseText(BSTR* pbstrBody) = 0;
  virtual HRESULT get_responseBody(VARIANT* pvarBody) = 0;
  virtual HRESULT get_responseStream(VARIANT* pvarBody) = 0;
  virtual HRESULT get_readyState(long* plState) = 0;
  virtual HRESULT put_onreadystatechange(IDispatch* pReadyStateSink) = 0;
};

// Time-outs are in milliseconds; 0 means no limit.
struct IServerXMLHTTPRequest : public IXMLHTTPRequest {
  ARDO_INTERFACE(IServerXMLHTTPRequest, IXMLHTTPRequest,
                   0x2E9196BF, 0x13BA, 0x4DD4, 0x91, 0xCA, 0x6C, 0x57, 0x1F, 0x28, 0x14, 0x95)
  virtual HRESULT setTimeouts(long resolveTimeout, long connectTimeout, long sendTimeout,
                              long receiveTimeout) = 0;
  virtual HRESULT waitForResponse(VARIANT timeoutInSeconds, VARIANT_BOOL* isSuccessful) = 0;
  virtual HRESULT getOption(SERVERXMLHTTP_OPTION option, VARIANT* value) = 0;
  virtual HRESULT setOption(SERVERXMLHTTP_OPTION option, VARIANT value) = 0;
};

struct IServerXMLHTTPRequest2 : public IServerXMLHTTPRequest {
  ARDO_INTERFACE(IServerXMLHTTPRequest2, IServerXMLHTTPRequest,
                   0x2E01311B, 0xC322, 0x4B0A, 0xBD, 0x77, 0xB9, 0x0C, 0xFD, 0xC8, 0xDC, 0xE7)
  virtual HRESULT setProxy(SXH_PROXY_SETTING proxySetting, VARIANT varProxyServer,
                           VARIANT varBypassList) = 0;
  virtual HRESULT setProxyCredentials(BSTR bstrUserName, BSTR bstrPassword) = 0;
};

// The classic names of the interface identities.
inline constexpr const IID& IID_IXSLTemplate = IXSLTemplate::kIID;
inline constexpr const IID& IID_IXSLProcessor = IXSLProcessor::kIID;
inline constexpr const IID& IID_IXMLHTTPRequest = IXMLHTTPRequest::kIID;
inline constexpr const IID& IID_IServerXMLHTTPRequest = IServerXMLHTTPRequest::kIID;
inline constexpr const IID& IID_IServerXMLHTTPRequest2 = IServerXMLHTTPRequest2::kIID;
