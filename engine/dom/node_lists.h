// Node lists: live child lists, live getElementsByTagName lists, and the
// snapshot lists of selectNodes (which are IXMLDOMSelection objects too).
//
// Live lists remember the last position they reached and the document
// stamp it was valid for, so item(0), item(1), ... walks in linear time
// and any change to the document starts them afresh.
#pragma once

#include <string>
#include <vector>

#include <libxml/tree.h>

#include "engine/dom/node_object.h"
#include "engine/xpath/xpath_cache.h"

namespace ardo::engine {

class DomDocument;

// Shared position logic of the live lists. A Walk names a list's nodes in
// both directions: First(), Next(n), Last() and Prev(n).
class LiveListCursor {
 public:
  // The index-th node, walking from whichever is nearest of the cached
  // position, the first node and (with the length known) the last.
  template <class Walk>
  xmlNodePtr At(long index, uint64_t stamp, const Walk& walk);
  template <class Walk>
  long Length(uint64_t stamp, const Walk& walk);
  // Whether the cached length is that of stamp.
  bool KnowsLength(uint64_t stamp) const { return stamp_ == stamp && length_ >= 0; }
  // The list changed from `was` to `now` by `delta` nodes: a length known at
  // `was` stays known, and the place in the list becomes `node` at `index`
  // (forgotten with a null node).
  void Follow(uint64_t was, uint64_t now, long delta, long index, xmlNodePtr node);
  // The cached place: its node (null when none) and index.
  xmlNodePtr PlaceNode() const { return node_; }
  long PlaceIndex() const { return index_; }

 private:
  void Revalidate(uint64_t stamp);
  uint64_t stamp_ = 0;
  long index_ = -1;
  xmlNodePtr node_ = nullptr;
  long length_ = -1;
  // Steps walked at stamp_ beyond the one a read in order takes. A host
  // that reads out of order (from both ends, at random) has them grow;
  // once they come to the length, every node is indexed (all_), and reads
  // cost nothing more until the list changes.
  long detour_ = 0;
  std::vector<xmlNodePtr> all_;
};

// A live list's place among the lists of the node it rests on, which the
// node's edits update. The last reference to a list may go on any thread:
// the place is given up under the node's document lock.
template <class List>
class ListedOn {
 public:
  ListedOn(NodeObject* node, List* list) : node_(node), list_(list) {
    node->TrackChanges();
    node->AddList(list);
  }
  ListedOn(const ListedOn&) = delete;
  ListedOn& operator=(const ListedOn&) = delete;
  ~ListedOn() {
    node_->Call([this] {
      node_->RemoveList(list_);
      return S_OK;
    });
  }

 private:
  NodeObject* node_;
  List* list_;
};

class ChildNodeList final : public ComObject<ChildNodeList, IXMLDOMNodeList> {
 public:
  explicit ChildNodeList(NodeObject* parent);

  // A child came in (+1) or is about to go (-1), the parent's stamp moving
  // from `was` to `now`: a known length follows it (see
  // ElementsByTagNameList::Follow).
  void Follow(uint64_t was, uint64_t now, const xmlNode* child, int sign);

  HRESULT get_item(long index, IXMLDOMNode** item) override;
  HRESULT get_length(long* length) override;
  HRESULT nextNode(IXMLDOMNode** item) override;
  HRESULT reset() override;
  HRESULT get__newEnum(IUnknown** out) override;

 private:
  xmlNodePtr At(long index);
  long Count();
  uint64_t ListStamp() const;

  ComPtr<IXMLDOMNode> hold_;
  NodeObject* parent_;
  LiveListCursor cursor_;
  long position_ = 0;
  ListedOn<ChildNodeList> listed_;  // last: it goes first, while hold_ keeps the node
};

class ElementsByTagNameList final : public ComObject<ElementsByTagNameList, IXMLDOMNodeList> {
 public:
  // "*" matches every element; other names match the qualified name.
  ElementsByTagNameList(NodeObject* root, std::string name);

  // An element subtree came in (+1) or is about to go (-1) below the root,
  // whose stamp moves from `was` to `now`: a known length follows it, so
  // that a host removing the list's items one by one, asking its length
  // each time, does not recount the tree at every step.
  void Follow(uint64_t was, uint64_t now, const xmlNode* subtree, int sign);

  HRESULT get_item(long index, IXMLDOMNode** item) override;
  HRESULT get_length(long* length) override;
  HRESULT nextNode(IXMLDOMNode** item) override;
  HRESULT reset() override;
  HRESULT get__newEnum(IUnknown** out) override;

 private:
  xmlNodePtr At(long index);
  long Count();
  // The list's walk: matching elements in document order under the root.
  struct Walk {
    const ElementsByTagNameList* list;
    xmlNodePtr First() const;
    xmlNodePtr Next(xmlNodePtr from) const;
    xmlNodePtr Last() const;
    xmlNodePtr Prev(xmlNodePtr from) const;
  };
  bool Matches(const xmlNode* n) const;
  xmlNodePtr Root() const;

  ComPtr<IXMLDOMNode> hold_;
  NodeObject* root_;
  std::string name_;
  bool all_;
  LiveListCursor cursor_;
  long position_ = 0;
  ListedOn<ElementsByTagNameList> listed_;  // as in ChildNodeList
};

// The result of selectNodes: the nodes the query selected when it ran.
// While it exists the nodes it lists are not freed (see tree_holder.h).
class SelectionList final : public ComObject<SelectionList, IXMLDOMSelection> {
 public:
  SelectionList(DomDocument* document, std::string expr, NodeObject* context, SharedSnapshot nodes,
                QueryNamespaces namespaces, std::string language);
  ~SelectionList() override;

  // IXMLDOMNodeList
  HRESULT get_item(long index, IXMLDOMNode** item) override;
  HRESULT get_length(long* length) override;
  HRESULT nextNode(IXMLDOMNode** item) override;
  HRESULT reset() override;
  HRESULT get__newEnum(IUnknown** out) override;
  // IXMLDOMSelection
  HRESULT get_expr(BSTR* expression) override;
  HRESULT put_expr(BSTR expression) override;
  HRESULT get_context(IXMLDOMNode** node) override;
  HRESULT putref_context(IXMLDOMNode* node) override;
  HRESULT peekNode(IXMLDOMNode** node) override;
  HRESULT matches(IXMLDOMNode* node, IXMLDOMNode** context) override;
  HRESULT removeNext(IXMLDOMNode** node) override;
  HRESULT removeAll() override;
  HRESULT clone(IXMLDOMSelection** copy) override;
  HRESULT getProperty(BSTR name, VARIANT* value) override;
  HRESULT setProperty(BSTR name, VARIANT value) override;

 private:
  template <class F>
  HRESULT Locked(F&& f);
  // Locked, with the lock of the document context (null: the list's own
  // context) is in now as well: the context may be in, or have moved to,
  // another free-threaded document, whose tree and query cache a query reads.
  template <class F>
  HRESULT LockedWith(NodeObject* context, F&& f);
  // Runs expr from context through the document's query cache.
  static HRESULT Run(const std::string& expr, NodeObject* context, const QueryNamespaces& namespaces,
                     SharedSnapshot* nodes);
  // Runs expr and makes the result this list's nodes, from the start.
  HRESULT Evaluate(const std::string& expr, NodeObject* context, const QueryNamespaces& namespaces);
  HRESULT CheckRemovable(long first, long count) const;
  HRESULT RemoveNodes(long first, long count);
  xmlNodePtr NodeAt(long index) const;
  template <class Index, class F>
  HRESULT WithListed(Index&& index, F&& f);
  // Pins and keeps live `tree` instead of the current one.
  void Repin(TreeHolder* tree);
  // Pins tree and keeps it live, or the reverse. A tree of the list's own
  // document counts the list as a live object (under that document's lock,
  // which the list's calls hold); another document's tree is held by plain
  // references, which need no lock of that document, and which go once
  // the call has let go of its locks (LockedWith does; ReleaseRetired for
  // a copy made under the original's lock).
  struct ForeignHold;
  void Hold(TreeHolder* tree);
  void LetGo(TreeHolder* tree, ForeignHold hold, bool unpin = true);
  void ReleaseRetired();

  ComPtr<IXMLDOMNode> docHold_;
  DomDocument* doc_;
  std::string expr_;
  ComPtr<IXMLDOMNode> contextHold_;
  NodeObject* context_;
  SharedSnapshot nodes_;
  QueryNamespaces namespaces_;
  std::string namespacesText_;
  std::string language_;
  TreeHolder* tree_;  // the tree of the listed nodes, pinned and kept live
  // Another document's tree: the references that keep it and its document.
  struct ForeignHold {
    TreeRef tree;
    ComPtr<IXMLDOMNode> owner;
  };
  ForeignHold foreign_;
  std::vector<ForeignHold> retired_;
  long position_ = 0;
};

// Enumerates a list or a map as VT_DISPATCH nodes.

// The nodes of a snapshot that are still worth handing out.
HRESULT ReturnSnapshotNode(const SharedSnapshot& nodes, long index, IXMLDOMNode** out);

// S_OK for a selection language that documents of the version take;
// E_FAIL with the reason otherwise.
HRESULT CheckSelectionLanguage(const std::string& language, bool version40);

}  // namespace ardo::engine
