// XSLT transformations of DOM nodes with libxslt (transformNode and
// transformNodeToObject).
//
// libxslt may change the trees it is given (white-space stripping, the
// compiled style sheet keeps its document), so both the source and the
// style sheet are copied first: the caller's trees and node objects are
// never touched. A transformation of a node other than a document or
// fragment starts at that node (the root template does not run for it)
// with the whole tree it is in reachable (its document, or the top of a
// detached subtree); under a literal-result style sheet the node is
// transformed as the root of a document of its own. The XSLT document() function reads local files only,
// and only when allowed; nothing is ever written and nothing goes to the
// network. Messages are captured.
#pragma once

#include <string>

#include <libxml/tree.h>

#include "platform/platform.h"

namespace ardo::engine {

struct TransformRequest {
  xmlNodePtr source = nullptr;
  xmlNodePtr stylesheet = nullptr;  // a document, or the element at the top of a style sheet
  bool allowDocumentFunction = false;
  bool allowScript = false;  // msxsl:script blocks (which this engine cannot run)
  int processorVersion = 3;   // system-property('msxsl:version'): 3, or 4 for the 4.0 documents
};

enum class TransformTarget {
  Text,   // UTF-8 text, with any XML declaration naming UTF-16 (it goes into a BSTR)
  Bytes,  // the bytes in the encoding that xsl:output names
  Tree,   // the result tree
};

// E_FAIL with *reason when the style sheet does not compile or the run fails.
HRESULT Transform(const TransformRequest& request, TransformTarget target, std::string* output,
                  xmlDocPtr* tree, std::string* reason);

// Sets up libxslt's message sinks and extension functions (engine load).
void InitTransforms();

}  // namespace ardo::engine
