// The member sets of the DOM collection and auxiliary wrappers, each written
// once (see dom/wrapper_member_list.h for how a list is expanded). A negative
// HRESULT throws CComException* carrying it; the end of a walk and an index
// out of range are not failures: they give an empty CXMLDOMNode.
#pragma once

#include "dom/dom_member_lists.h"
#include "dom/wrapper_member_list.h"

// Indexed access and walking, identical on node lists, selections and named
// node maps. The walk position lives in the engine's object, so copies of a
// wrapper share it. The index passes unchecked; Get_newEnum's IUnknown* is
// owned by the caller.
#define ARDO_DOM_NODE_SEQUENCE_MEMBERS(X, Cls, Itf)                          \
  X(Cls, Itf, Get, CXMLDOMNode, GetItem, (long index), (, index), get_item) \
  X(Cls, Itf, Get, long, GetLength, (), (), get_length)                     \
  X(Cls, Itf, Get, CXMLDOMNode, NextNode, (), (), nextNode)                 \
  X(Cls, Itf, Put, void, Reset, (), (), reset)                              \
  X(Cls, Itf, Get, IUnknown*, Get_newEnum, (), (), get__newEnum)

// What a live selection adds: its expression and context, peeking and
// removing at the walk position, and matching a node against the expression
// (an empty wrapper when it does not match). Clone shares nothing with the
// source, not even the position.
#define ARDO_DOM_SELECTION_MEMBERS(X, Cls, Itf)                                                  \
  X(Cls, Itf, Get, CString, GetExpr, (), (), get_expr)                                           \
  X(Cls, Itf, Put, void, SetExpr, (const char* expression), (, expression), put_expr)            \
  X(Cls, Itf, Get, CXMLDOMNode, GetContext, (), (), get_context)                                 \
  X(Cls, Itf, Put, void, SetRefContext, (IXMLDOMNode * context), (, context), putref_context)    \
  X(Cls, Itf, Get, CXMLDOMNode, PeekNode, (), (), peekNode)                                      \
  X(Cls, Itf, Get, CXMLDOMNode, Matches, (IXMLDOMNode * node), (, node), matches)                \
  X(Cls, Itf, Get, CXMLDOMNode, RemoveNext, (), (), removeNext)                                  \
  X(Cls, Itf, Put, void, RemoveAll, (), (), removeAll)                                           \
  X(Cls, Itf, Get, CXMLDOMSelection, Clone, (), (), clone)                                       \
  ARDO_DOM_PROPERTY_MEMBERS(X, Cls, Itf)

// Named access to attributes (or a DOCTYPE's entities and notations). A name
// the map does not hold gives an empty CXMLDOMNode. TestNamedItem never
// throws: 1 only when the engine succeeded and delivered a node, which it
// releases at once.
#define ARDO_DOM_NAMED_NODE_MAP_MEMBERS(X, Cls, Itf)                                              \
  X(Cls, Itf, Get, CXMLDOMNode, GetNamedItem, (const char* name), (, name), getNamedItem)         \
  X(Cls, Itf, ProbeFound, int, TestNamedItem, (const char* name), (, name), getNamedItem)         \
  X(Cls, Itf, Get, CXMLDOMNode, SetNamedItem, (IXMLDOMNode * newItem), (, newItem), setNamedItem) \
  X(Cls, Itf, Get, CXMLDOMNode, RemoveNamedItem, (const char* name), (, name), removeNamedItem)   \
  X(Cls, Itf, Get, CXMLDOMNode, GetQualifiedItem, (const char* baseName, const char* namespaceURI), \
    (, baseName, namespaceURI), getQualifiedItem)                                                 \
  X(Cls, Itf, Get, CXMLDOMNode, RemoveQualifiedItem,                                              \
    (const char* baseName, const char* namespaceURI), (, baseName, namespaceURI), removeQualifiedItem)

// The report of the last load or validation. The code is returned as the
// engine gives it, never thrown; URL and source text are "" when absent.
#define ARDO_DOM_PARSE_ERROR_MEMBERS(X, Cls, Itf)               \
  X(Cls, Itf, Get, long, GetErrorCode, (), (), get_errorCode)  \
  X(Cls, Itf, Get, CString, GetUrl, (), (), get_url)           \
  X(Cls, Itf, Get, CString, GetReason, (), (), get_reason)     \
  X(Cls, Itf, Get, CString, GetSrcText, (), (), get_srcText)   \
  X(Cls, Itf, Get, long, GetLine, (), (), get_line)            \
  X(Cls, Itf, Get, long, GetLinepos, (), (), get_linepos)      \
  X(Cls, Itf, Get, long, GetFilepos, (), (), get_filepos)

// Feature query: -1 for a supported feature, 0 otherwise.
#define ARDO_DOM_IMPLEMENTATION_MEMBERS(X, Cls, Itf)                                  \
  X(Cls, Itf, Get, int, HasFeature, (const char* feature, const char* version),       \
    (, feature, version), hasFeature)
