// Structural changes to libxml2 trees that keep node objects valid.
//
// libxml2's own editing calls free nodes (xmlNodeSetContent frees the old
// children, xmlAddChild merges adjacent text nodes into one and frees the
// other); a node with a live object must never be freed under it. Every
// change goes through TreeEdit instead: nodes taken out of a tree become
// detached roots of their TreeHolder, which frees them once nothing refers
// to them, and nodes are linked by hand so that nothing merges.
//
// A TreeEdit lasts for one DOM call. It marks the documents it changes (so
// cached query results and live lists see the change) and sweeps their
// trees when it ends.
#pragma once

#include <string_view>
#include <unordered_set>
#include <vector>

#include <libxml/tree.h>

#include "engine/dom/tree_holder.h"
#include "platform/platform.h"

namespace ardo::engine {

class DomDocument;

class TreeEdit {
 public:
  explicit TreeEdit(DomDocument& document);
  TreeEdit(const TreeEdit&) = delete;
  TreeEdit& operator=(const TreeEdit&) = delete;
  ~TreeEdit();

  // Takes node (with its subtree) out of its parent; it becomes a detached
  // root. Namespace references into the old ancestors are re-declared on
  // the node.
  void Detach(xmlNodePtr node);
  // Links a parentless node under parent, before `before` (null appends).
  // A node of another tree is adopted into parent's tree first, and the
  // objects inside it move with it. Attributes go to parent's attribute list.
  void Attach(xmlNodePtr node, xmlNodePtr parent, xmlNodePtr before);
  // Detach when linked, then Attach.
  void Move(xmlNodePtr node, xmlNodePtr parent, xmlNodePtr before);
  // Registers a node just created in the document's tree as a detached root.
  void AdoptNew(xmlNodePtr node);

  // Replaces the children of an element or attribute with one text node
  // (none for empty text).
  void ReplaceChildrenWithText(xmlNodePtr node, std::string_view text);
  // Sets an attribute's value, keeping the document's ID table in step.
  void SetAttributeValue(xmlAttrPtr attr, std::string_view text);
  // Sets the content of a text, CDATA, comment or PI node.
  void SetContent(xmlNodePtr node, std::string_view text);
  // Marks a change to document (a second document taking part).
  void Touch(DomDocument& document);

 private:
  void Track(TreeHolder* holder);
  void Unlink(xmlNodePtr node);
  // libxml2 finds a document's ID entry by its attribute's current value:
  // before an edit inside an ID attribute changes the value, its entry is
  // taken out, and it goes back under the new value when the edit ends.
  void NoteValueEdit(xmlNodePtr attr);

  std::vector<TreeRef> trees_;
  std::vector<DomDocument*> documents_;
  std::vector<xmlAttrPtr> ids_;
};

// Links a parentless node under parent, before `before` (null appends), as
// it is: libxml2's own insertion merges adjacent text, freeing nodes.
void LinkChild(xmlNodePtr parent, xmlNodePtr node, xmlNodePtr before);

// libxml2 declares on a subtree it copies or adopts the namespaces that the
// subtree uses from outside itself. Those declarations (`added`) become the
// document's own namespaces, as a created node's are (serialisations
// declare them where needed): the nodes show the declarations they had.
void LiftDeclarations(xmlNodePtr root, const std::unordered_set<xmlNsPtr>& added);

// Why the document type stays where it is.
inline constexpr char kDocumentTypeStays[] = "The document type of a document cannot be removed or replaced.";
// The failure of a change to a read-only node (the content of an entity,
// of an entity reference or of the document type).
HRESULT RefuseReadOnly();
// The failure of a node argument that is not the child it should be.
HRESULT RefuseNotAChild(const char* role);

// Checks that child may be inserted under parent (and, for the document,
// that a second element would not result; `replacing` is the child that
// leaves at the same time, if any; `before` the child it is inserted in
// front of, null at the end). S_OK or the failing HRESULT.
HRESULT CheckInsertion(xmlNodePtr parent, xmlNodePtr child, xmlNodePtr replacing, xmlNodePtr before);

}  // namespace ardo::engine
