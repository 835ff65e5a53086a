// The floor under any engine that hands out one COM object per node: the
// least such an object can do (a reference count, an object found again
// through the node's _private, the next steps fetched early as the engine
// fetches them), walked by the same host loop as the engine.
//
// The objects live in their own file, as a component's objects live behind
// its library: the host's calls into them stay indirect calls, as they are
// into the engine. (Defined beside the walk, the compiler sees the only
// implementation and inlines it, which no host of a component gets.)
#pragma once

#include <libxml/tree.h>

#include "engine/include/xml_services.h"

namespace ardo::bench {

struct FloorNode : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_nodeType(DOMNodeType* type) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_firstChild(FloorNode** out) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_nextSibling(FloorNode** out) = 0;
};

// The object for the document node, with one reference. Objects for the
// other nodes are made on the first walk and kept, as the engine keeps
// them; FreeFloor deletes them all (the document stays the caller's).
// Typed: elements, text and other nodes have object classes of their own,
// as nodes with typed interfaces must (an element's interface is not a
// text node's); the host's calls then go to one of several
// implementations, which the processor predicts less well than one.
FloorNode* NewFloor(xmlDocPtr doc, bool typed = false);
void FreeFloor(xmlDocPtr doc);

}  // namespace ardo::bench
