#include "engine/xslt/stylesheet_transform.h"

#include <libxslt/security.h>
#include <libxslt/transform.h>
#include <libxslt/xslt.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>

#include "engine/common/bstr_text.h"
#include "engine/common/error_capture.h"
#include "engine/dom/node_navigation.h"
#include "engine/dom/node_serializer.h"
#include "engine/xpath/ms_functions.h"

namespace ardo::engine {
namespace {

// A private copy of the document that node belongs to (or, for a node
// other than a document, a document with a copy of that node at its top),
// without the XML declaration node.
xmlDocPtr PrivateCopy(xmlNodePtr node) {
  CheckCopyDepth(node);
  xmlDocPtr copy;
  if (node->type == XML_DOCUMENT_NODE) {
    copy = xmlCopyDoc(reinterpret_cast<xmlDocPtr>(node), 1);
    if (!copy) throw std::bad_alloc();
    if (xmlNodePtr decl = FindXmlDeclaration(copy)) {
      xmlUnlinkNode(decl);
      xmlFreeNode(decl);
    }
    return copy;
  }
  copy = xmlNewDoc(Xml("1.0"));
  if (!copy) throw std::bad_alloc();
  xmlNodePtr top = xmlDocCopyNode(node, copy, 1);
  if (!top) {
    xmlFreeDoc(copy);
    throw std::bad_alloc();
  }
  if (top->type == XML_ELEMENT_NODE) {
    xmlDocSetRootElement(copy, top);
  } else {
    xmlAddChild(reinterpret_cast<xmlNodePtr>(copy), top);
  }
  return copy;
}

// Serialises a result; with forceUtf8 the bytes are UTF-8 whatever
// xsl:output names.
bool SaveResult(xmlDocPtr result, xsltStylesheetPtr style, bool forceUtf8, std::string* out) {
  xmlChar* savedEncoding = nullptr;
  if (forceUtf8) {
    savedEncoding = const_cast<xmlChar*>(style->encoding);
    style->encoding = xmlStrdup(Xml("UTF-8"));
  }
  xmlChar* buf = nullptr;
  int len = 0;
  int rc = xsltSaveResultToString(&buf, &len, result, style);
  if (forceUtf8) {
    xmlFree(const_cast<xmlChar*>(style->encoding));
    style->encoding = savedEncoding;
  }
  if (rc != 0) return false;
  if (buf) out->assign(reinterpret_cast<const char*>(buf), static_cast<size_t>(len));
  xmlFree(buf);
  return true;
}

// The text goes into a UTF-16 string: a declaration there says so.
void DeclareUtf16(std::string* text) {
  if (text->compare(0, 5, "<?xml") != 0) return;
  size_t end = text->find("?>");
  size_t pos = text->find("encoding=\"UTF-8\"");
  if (pos != std::string::npos && pos < end) text->replace(pos, 16, "encoding=\"UTF-16\"");
}

}  // namespace

void InitTransforms() { RegisterMsXslFunctionsForXslt(); }

HRESULT Transform(const TransformRequest& request, TransformTarget target, std::string* output,
                  xmlDocPtr* tree, std::string* reason) {
  if (tree) *tree = nullptr;
  if (request.stylesheet->type == XML_ATTRIBUTE_NODE || request.source->type == XML_ATTRIBUTE_NODE) {
    if (reason) *reason = "Attributes cannot be transformed or used as style sheets.";
    return E_INVALIDARG;
  }
  ErrorCapture capture;
  xmlDocPtr styleDoc = PrivateCopy(request.stylesheet);
  xsltStylesheetPtr style = xsltParseStylesheetDoc(styleDoc);
  // libxslt lets an unknown instruction pass with a warning; a 1.0 style
  // sheet with one does not compile.
  if (!style || style->errors > 0 || capture.HasMessageStartingWith("compilation error")) {
    if (style) {
      xsltFreeStylesheet(style);
    } else {
      xmlFreeDoc(styleDoc);
    }
    if (reason) *reason = capture.Joined("The style sheet does not compile.");
    return E_FAIL;
  }
  xmlDocPtr source = nullptr;
  xsltTransformContextPtr ctxt = nullptr;
  xsltSecurityPrefsPtr security = nullptr;
  xmlDocPtr result = nullptr;
  HRESULT hr = S_OK;
  try {
    source = PrivateCopy(request.source);
    ctxt = xsltNewTransformContext(style, source);
    security = xsltNewSecurityPrefs();
    if (!ctxt || !security) throw std::bad_alloc();
    xsltSetSecurityPrefs(security, XSLT_SECPREF_WRITE_FILE, xsltSecurityForbid);
    xsltSetSecurityPrefs(security, XSLT_SECPREF_CREATE_DIRECTORY, xsltSecurityForbid);
    xsltSetSecurityPrefs(security, XSLT_SECPREF_WRITE_NETWORK, xsltSecurityForbid);
    xsltSetSecurityPrefs(security, XSLT_SECPREF_READ_NETWORK, xsltSecurityForbid);
    if (!request.allowDocumentFunction)
      xsltSetSecurityPrefs(security, XSLT_SECPREF_READ_FILE, xsltSecurityForbid);
    xsltSetCtxtSecurityPrefs(security, ctxt);
    xsltSetTransformErrorFunc(ctxt, nullptr, ErrorCapture::GenericMessage);
    result = xsltApplyStylesheetUser(style, source, nullptr, nullptr, nullptr, ctxt);
    if (!result || ctxt->state == XSLT_STATE_ERROR || ctxt->state == XSLT_STATE_STOPPED ||
        capture.HasMessageStartingWith("runtime error")) {
      if (reason) *reason = capture.Joined("The transformation failed.");
      hr = E_FAIL;
    } else if (target == TransformTarget::Tree) {
      // An HTML result is a tree of the same shape; the DOM takes it as XML.
      if (result->type == XML_HTML_DOCUMENT_NODE) result->type = XML_DOCUMENT_NODE;
      *tree = result;
      result = nullptr;
    } else if (!SaveResult(result, style, target == TransformTarget::Text, output)) {
      if (reason) *reason = capture.Joined("The transformation output could not be written.");
      hr = E_FAIL;
    } else if (target == TransformTarget::Text) {
      DeclareUtf16(output);
    }
  } catch (...) {
    if (result) xmlFreeDoc(result);
    if (ctxt) xsltFreeTransformContext(ctxt);
    if (security) xsltFreeSecurityPrefs(security);
    if (source) xmlFreeDoc(source);
    xsltFreeStylesheet(style);
    throw;
  }
  if (result) xmlFreeDoc(result);
  xsltFreeTransformContext(ctxt);
  xsltFreeSecurityPrefs(security);
  xmlFreeDoc(source);
  xsltFreeStylesheet(style);
  return hr;
}

}  // namespace ardo::engine
