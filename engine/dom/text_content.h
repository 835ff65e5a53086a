// The text property of a node: the character data of its subtree, with
// white space normalised unless it is preserved.
//
// Normalisation (preserveWhiteSpace off and no xml:space="preserve" in
// force): each text node's leading and trailing white space is dropped and
// replaced by a single space between two pieces of text, and the result
// has no white space at either end. CDATA sections are kept as they are.
// Comments and processing instructions do not contribute.
#pragma once

#include <string>

#include <libxml/tree.h>

namespace ardo::engine {

// The text of node; docPreserve is the document's preserveWhiteSpace.
std::string TextOf(xmlNodePtr node, bool docPreserve);

// The value of an attribute (its text children, entity references expanded).
std::string AttributeValue(xmlAttrPtr attr);
// The character of a reference to a predefined entity (&amp; and the like)
// that has no content nodes, else null.
const xmlChar* PredefinedText(xmlNodePtr ref);

// The xml:space setting an element declares: 1 preserve, 0 default, -1 none.
int DeclaredSpace(xmlNodePtr element);

// True when xml:space="preserve" is in force at node (an element, or the
// parent element of another node).
bool SpacePreservedAt(xmlNodePtr node);

}  // namespace ardo::engine
