#include "engine/dom/node_lists.h"

#include <algorithm>

#include <cstdlib>
#include <thread>
#include <utility>

#include "engine/common/bstr_text.h"
#include "engine/common/engine_errors.h"
#include "engine/common/last_error.h"
#include "engine/dom/dom_document.h"
#include "engine/dom/item_enumerator.h"
#include "engine/dom/node_navigation.h"
#include "engine/dom/tree_edit.h"

namespace ardo::engine {

// --- LiveListCursor ----------------------------------------------------------

void LiveListCursor::Revalidate(uint64_t stamp) {
  if (stamp_ == stamp) return;
  stamp_ = stamp;
  index_ = -1;
  node_ = nullptr;
  length_ = -1;
  detour_ = 0;
  std::vector<xmlNodePtr>().swap(all_);
}

template <class Walk>
xmlNodePtr LiveListCursor::At(long index, uint64_t stamp, const Walk& walk) {
  Revalidate(stamp);
  if (index < 0) return nullptr;
  if (length_ >= 0 && index >= length_) return nullptr;
  if (all_.empty() && detour_ > 0 && detour_ >= Length(stamp, walk)) {
    all_.reserve(static_cast<size_t>(length_));
    for (xmlNodePtr n = walk.First(); n; n = walk.Next(n)) all_.push_back(n);
  }
  if (!all_.empty()) return index < static_cast<long>(all_.size()) ? all_[static_cast<size_t>(index)] : nullptr;
  // Start from the nearest known place: the cached position, either end.
  long i = 0;
  xmlNodePtr n = nullptr;
  long best = index;
  if (node_ && std::labs(index - index_) <= best) best = std::labs(index - index_), i = index_, n = node_;
  if (length_ >= 0 && length_ - 1 - index < best) i = length_ - 1, n = walk.Last();
  if (!n) i = 0, n = walk.First();
  // An end reached without a step leaves the cached place alone: a host
  // that reads item(0) between the items of its walk keeps its walk linear.
  const bool step = i != index;
  detour_ += std::max(0L, std::labs(index - i) - 1);
  while (n && i < index) n = walk.Next(n), ++i;
  while (n && i > index) n = walk.Prev(n), --i;
  if (n && (step || !node_)) {
    index_ = i;
    node_ = n;
  }
  return n;
}

void LiveListCursor::Follow(uint64_t was, uint64_t now, long delta, long index, xmlNodePtr node) {
  if (!KnowsLength(was)) return;
  const long length = length_ + delta;
  Revalidate(now);
  length_ = std::max(0L, length);
  if (node && index >= 0 && index < length_) {
    index_ = index;
    node_ = node;
  }
}

template <class Walk>
long LiveListCursor::Length(uint64_t stamp, const Walk& walk) {
  Revalidate(stamp);
  if (length_ < 0) {
    long count = 0;
    for (xmlNodePtr n = walk.First(); n; n = walk.Next(n)) ++count;
    length_ = count;
  }
  return length_;
}

namespace {

HRESULT ReturnLength(long length, long* out) {
  if (!out) return E_INVALIDARG;
  *out = length;
  return S_OK;
}

}  // namespace

// --- ChildNodeList -----------------------------------------------------------

ChildNodeList::ChildNodeList(NodeObject* parent)
    : hold_(parent->Interface()), parent_(parent), listed_(parent, this) {}

void ChildNodeList::Follow(uint64_t was, uint64_t now, const xmlNode* child, int sign) {
  if (!cursor_.KnowsLength(was)) return;
  auto* c = const_cast<xmlNodePtr>(child);
  const bool listed = IsExposedChild(c);
  const xmlNodePtr place = cursor_.PlaceNode();
  long index = cursor_.PlaceIndex();
  xmlNodePtr kept = nullptr;
  if (listed && place && sign < 0 && c == place) {
    kept = DomNextSibling(c);  // the item last read goes: the next one takes its place
  } else if (listed && place && sign < 0) {
    // A child going from either end leaves the place known: a host taking
    // children from the front while it reads the middle stays linear.
    if (c == DomFirstChild(parent_->Node())) kept = place, --index;
    if (!DomNextSibling(c)) kept = place;
  } else if (listed && place && sign > 0 && c != place) {
    // A child added at the end, or just before the place, leaves the place
    // known: a host appending while it reads the list stays linear.
    const xmlNodePtr after = DomNextSibling(c);
    if (!after) kept = place;
    if (after == place) kept = place, ++index;
  }
  cursor_.Follow(was, now, listed ? sign : 0, index, kept);
}

namespace {

// A node's DOM children, both ways.
struct ChildWalk {
  xmlNodePtr parent;
  xmlNodePtr First() const { return DomFirstChild(parent); }
  xmlNodePtr Next(xmlNodePtr n) const { return DomNextSibling(n); }
  xmlNodePtr Last() const { return DomLastChild(parent); }
  xmlNodePtr Prev(xmlNodePtr n) const { return DomPreviousSibling(n); }
};

}  // namespace

// An attribute's children change with its value, and an entity
// reference's with the document it stands in (they are that document's
// entity's): lists over them follow every change of the document. Other
// nodes' children change only as the node's own stamp says.
uint64_t ChildNodeList::ListStamp() const {
  const xmlElementType type = parent_->Node()->type;
  if (type == XML_ATTRIBUTE_NODE || type == XML_ENTITY_REF_NODE || parent_->IsNamespaceDeclaration())
    return parent_->Document().Stamp();
  return parent_->ChildStamp();
}

xmlNodePtr ChildNodeList::At(long index) {
  if (parent_->IsNamespaceDeclaration()) return nullptr;
  return cursor_.At(index, ListStamp(), ChildWalk{parent_->Node()});
}

long ChildNodeList::Count() {
  if (parent_->IsNamespaceDeclaration()) return 0;
  return cursor_.Length(ListStamp(), ChildWalk{parent_->Node()});
}

HRESULT ChildNodeList::get_item(long index, IXMLDOMNode** item) {
  return parent_->Call([&] { return ReturnNode(At(index), item); });
}

HRESULT ChildNodeList::get_length(long* length) {
  return parent_->Call([&] { return ReturnLength(Count(), length); });
}

HRESULT ChildNodeList::nextNode(IXMLDOMNode** item) {
  return parent_->Call([&] {
    if (!item) return E_INVALIDARG;  // a failed call moves nothing
    xmlNodePtr n = At(position_);
    if (n) ++position_;
    return ReturnNode(n, item);
  });
}

HRESULT ChildNodeList::reset() {
  return parent_->Call([&] {
    position_ = 0;
    return S_OK;
  });
}

// Each enumerator walks a list of its own over the same node, so that its
// place is its own: enumerators stepped in turn each walk linearly.
HRESULT ChildNodeList::get__newEnum(IUnknown** out) {
  return ItemEnumerator::HandOut(NodesOf(MakeObject<ChildNodeList>(parent_).Get()), out);
}

// --- ElementsByTagNameList ---------------------------------------------------

ElementsByTagNameList::ElementsByTagNameList(NodeObject* root, std::string name)
    : hold_(root->Interface()), root_(root), name_(std::move(name)), all_(name_ == "*"), listed_(root, this) {}

void ElementsByTagNameList::Follow(uint64_t was, uint64_t now, const xmlNode* subtree, int sign) {
  if (!cursor_.KnowsLength(was)) return;
  const xmlNodePtr place = cursor_.PlaceNode();
  long count = 0, beforePlace = -1;
  auto* top = const_cast<xmlNodePtr>(subtree);
  xmlNodePtr last = top;
  for (xmlNodePtr n = top; n; n = NextWithin(n, top)) {
    if (n == place) beforePlace = count;
    if (Matches(n)) ++count;
    last = n;
  }
  // A host taking the items out one by one (item(0) or item(i) each time)
  // takes out the cached place: the place moves on to the first item after
  // the subtree that goes, which then stands where the place stood, so that
  // the next item asked for is a step away and not a walk from the start.
  // A subtree coming in with no item after it (a host appending while it
  // reads the list) leaves the place where it is.
  if (sign < 0 && beforePlace >= 0) {
    cursor_.Follow(was, now, -count, cursor_.PlaceIndex() - beforePlace, Walk{this}.Next(last));
  } else if (sign > 0 && place && beforePlace < 0 && !Walk{this}.Next(last)) {
    cursor_.Follow(was, now, count, cursor_.PlaceIndex(), place);
  } else {
    cursor_.Follow(was, now, sign * count, -1, nullptr);
  }
}

bool ElementsByTagNameList::Matches(const xmlNode* n) const {
  return n->type == XML_ELEMENT_NODE && (all_ || HasQualifiedName(n, name_));
}

// The root, or null when it is no node elements can be under.
xmlNodePtr ElementsByTagNameList::Root() const {
  if (root_->IsNamespaceDeclaration()) return nullptr;
  xmlNodePtr root = root_->Node();
  if (root->type != XML_ELEMENT_NODE && root->type != XML_DOCUMENT_NODE && root->type != XML_DOCUMENT_FRAG_NODE)
    return nullptr;
  return root;
}

xmlNodePtr ElementsByTagNameList::Walk::Next(xmlNodePtr from) const {
  xmlNodePtr root = list->root_->Node();
  xmlNodePtr n = from;
  while ((n = NextWithin(n, root)))
    if (list->Matches(n)) return n;
  return nullptr;
}

xmlNodePtr ElementsByTagNameList::Walk::Prev(xmlNodePtr from) const {
  xmlNodePtr root = list->root_->Node();
  xmlNodePtr n = from;
  for (;;) {
    // Preorder predecessor within root: the deepest last node of the
    // previous sibling's subtree, else the parent.
    if (n->prev) {
      n = n->prev;
      while (n->type == XML_ELEMENT_NODE && n->last) n = n->last;
    } else {
      n = n->parent;
      if (!n || n == root) return nullptr;
    }
    if (list->Matches(n)) return n;
  }
}

xmlNodePtr ElementsByTagNameList::Walk::First() const {
  xmlNodePtr root = list->Root();
  return root ? Next(root) : nullptr;
}

xmlNodePtr ElementsByTagNameList::Walk::Last() const {
  xmlNodePtr root = list->Root();
  if (!root || !root->last) return nullptr;
  xmlNodePtr n = root->last;
  while (n->type == XML_ELEMENT_NODE && n->last) n = n->last;
  return list->Matches(n) ? n : Prev(n);
}

xmlNodePtr ElementsByTagNameList::At(long index) {
  return cursor_.At(index, root_->ElementsStamp(), Walk{this});
}

long ElementsByTagNameList::Count() { return cursor_.Length(root_->ElementsStamp(), Walk{this}); }

HRESULT ElementsByTagNameList::get_item(long index, IXMLDOMNode** item) {
  return root_->Call([&] { return ReturnNode(At(index), item); });
}

HRESULT ElementsByTagNameList::get_length(long* length) {
  return root_->Call([&] { return ReturnLength(Count(), length); });
}

HRESULT ElementsByTagNameList::nextNode(IXMLDOMNode** item) {
  return root_->Call([&] {
    if (!item) return E_INVALIDARG;  // a failed call moves nothing
    xmlNodePtr n = At(position_);
    if (n) ++position_;
    return ReturnNode(n, item);
  });
}

HRESULT ElementsByTagNameList::reset() {
  return root_->Call([&] {
    position_ = 0;
    return S_OK;
  });
}

HRESULT ElementsByTagNameList::get__newEnum(IUnknown** out) {
  return ItemEnumerator::HandOut(NodesOf(MakeObject<ElementsByTagNameList>(root_, name_).Get()), out);
}

// --- SelectionList -----------------------------------------------------------

HRESULT ReturnSnapshotNode(const SharedSnapshot& nodes, long index, IXMLDOMNode** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (!nodes || index < 0 || index >= static_cast<long>(nodes->size())) return S_FALSE;
  return ReturnNode((*nodes)[index], out);
}

SelectionList::SelectionList(DomDocument* document, std::string expr, NodeObject* context,
                             SharedSnapshot nodes, QueryNamespaces namespaces, std::string language)
    : docHold_(document->Interface()),
      doc_(document),
      expr_(std::move(expr)),
      contextHold_(context->Interface()),
      context_(context),
      nodes_(std::move(nodes)),
      namespaces_(std::move(namespaces)),
      namespacesText_(document->Settings().selectionNamespaces),
      language_(std::move(language)),
      tree_(context->Tree()) {
  Hold(tree_);
}

SelectionList::~SelectionList() {
  nodes_.reset();
  DocLock lock(doc_->Mutex());
  // Subtrees whose freeing waited for this list go, while the list still
  // holds the tree.
  tree_->UnpinSnapshot(this);
  if (tree_->Owner() == doc_) tree_->Sweep();
  LetGo(tree_, std::move(foreign_), false);  // docHold_ still holds the document
}  // the references to another document's tree go after the lock

void SelectionList::Hold(TreeHolder* tree) {
  tree->PinSnapshot(this, nodes_);
  if (tree->Owner() == doc_) {
    tree->ListCreated();
  } else {
    foreign_.tree = TreeRef(tree);
    foreign_.owner = ComPtr<IXMLDOMNode>(tree->Owner()->Interface());
  }
}

void SelectionList::LetGo(TreeHolder* tree, ForeignHold hold, bool unpin) {
  if (unpin) tree->UnpinSnapshot(this);
  if (hold.tree)
    retired_.push_back(std::move(hold));
  else
    tree->ListDestroyed();
}

void SelectionList::Repin(TreeHolder* tree) {
  if (tree == tree_) return;
  ForeignHold previous = std::exchange(foreign_, ForeignHold());
  TreeHolder* old = std::exchange(tree_, tree);
  Hold(tree);
  LetGo(old, std::move(previous));
}

void SelectionList::ReleaseRetired() {
  std::vector<ForeignHold> retired;
  Locked([&] {
    retired.swap(retired_);
    return S_OK;
  });
}

template <class F>
HRESULT SelectionList::Locked(F&& f) {
  DocLock lock(doc_->Mutex());
  return NodeObject::Protect(f);
}

template <class F>
HRESULT SelectionList::LockedWith(NodeObject* context, F&& f) {
  std::vector<ForeignHold> retired;  // trees f let go of, released after the locks
  std::recursive_mutex* own = doc_->Mutex();
  for (std::recursive_mutex* other = nullptr;;) {
    DocLockPair lock(own, other);
    // context_ changes under the list's own lock only.
    std::recursive_mutex* now = (context ? context : context_)->DocMutex();
    if (!now || now == own || now == other) {
      HRESULT hr = NodeObject::Protect(f);
      retired.swap(retired_);
      return hr;
    }
    other = now;  // another document's (or moved meanwhile): take it too
  }
}

namespace {

// Where a listed node is now: its tree, the lock of the document that
// holds the tree (null for an apartment one), and whether a document holds
// it. Another thread may be moving the node between two documents whose
// locks the caller does not hold, and then let go of the tree it left: the
// tree is read only while the node cannot move, and is afterwards only an
// address (see TreeHolder::TakeDeferred) unless its document's lock is
// held.
struct Whereabouts {
  TreeHolder* tree = nullptr;
  std::recursive_mutex* mutex = nullptr;
  bool alive = false;  // not waiting for a list to let go of it
  bool owned = false;  // a document holds it now
};

Whereabouts WhereIs(xmlNodePtr node) {
  if (!node) return {};
  // A tree that holds a listed node is not freed (it waits instead).
  std::lock_guard<std::mutex> still(NodeMoveMutex());
  TreeHolder* tree = TreeHolder::Of(node);
  const bool alive = tree->Alive();
  return {tree, tree->OwnerMutex(), alive, alive && tree->Owner()};
}

}  // namespace

xmlNodePtr SelectionList::NodeAt(long index) const {
  return index >= 0 && index < static_cast<long>(nodes_->size()) ? (*nodes_)[index] : nullptr;
}

// Another thread may have moved a listed node into another free-threaded
// document since the list was taken: the node is handed out or changed
// under that document's lock as well as the list's.
template <class Index, class F>
HRESULT SelectionList::WithListed(Index&& index, F&& f) {
  std::recursive_mutex* own = doc_->Mutex();
  if (!own) {
    ComPtr<DomDocument> revived;  // held while f uses the node
    return Locked([&] {
      long i = index();
      xmlNodePtr n = NodeAt(i);
      // A tree its document let go of comes back under a document first,
      // as a handout would bring it: f may change it.
      if (Whereabouts at = WhereIs(n); at.tree && !at.alive) revived = DomDocument::ForDeferredTree(at.tree);
      return f(i, n);
    });
  }
  std::recursive_mutex* other;
  {
    DocLock lock(own);
    other = WhereIs(NodeAt(index())).mutex;
  }
  // A listed node's tree that its document let go comes back under a new
  // document before the node is handed out, so that the handout happens
  // under that document's lock as every other use of the tree does; held
  // until then.
  ComPtr<DomDocument> revived;
  for (int tries = 0;; ++tries) {
    TreeHolder* deferred = nullptr;
    {
      DocLockPair lock(own, other);
      long i = index();
      xmlNodePtr n = NodeAt(i);
      // (A tree on its way to the deferred list, its document going, is
      // neither there nor owned for a moment.)
      Whereabouts at = WhereIs(n);
      std::recursive_mutex* now = at.mutex;
      if (at.tree && !at.owned && tries < 10000) {
        if (!at.alive) deferred = at.tree;  // waits there while this list lives
      } else if (now == other || now == own) {
        auto call = [&] { return f(i, n); };
        return NodeObject::Protect(call);
      }
      other = now;
    }
    // Brought back with no list's lock held: the new document's lock is
    // the only one ForDeferredTree takes.
    if (deferred)
      if (auto brought = DomDocument::ForDeferredTree(deferred)) revived = std::move(brought);
  }
}

HRESULT SelectionList::get_item(long index, IXMLDOMNode** item) {
  return WithListed([&] { return index; }, [&](long i, xmlNodePtr) { return ReturnSnapshotNode(nodes_, i, item); });
}

HRESULT SelectionList::get_length(long* length) {
  return Locked([&] { return ReturnLength(static_cast<long>(nodes_->size()), length); });
}

HRESULT SelectionList::nextNode(IXMLDOMNode** item) {
  return WithListed([&] { return position_; },
                    [&](long i, xmlNodePtr) {
                      HRESULT hr = ReturnSnapshotNode(nodes_, i, item);
                      if (hr == S_OK) ++position_;
                      return hr;
                    });
}

HRESULT SelectionList::reset() {
  return Locked([&] {
    position_ = 0;
    return S_OK;
  });
}

HRESULT SelectionList::get__newEnum(IUnknown** out) {
  return ItemEnumerator::HandOut(NodesOf(this), out);
}

HRESULT SelectionList::get_expr(BSTR* expression) {
  return Locked([&] { return ReturnBstr(expr_, expression); });
}

HRESULT SelectionList::Run(const std::string& expr, NodeObject* context, const QueryNamespaces& namespaces,
                           SharedSnapshot* nodes) {
  xmlNodePtr node = context->IsNamespaceDeclaration() ? context->DeclaringElement() : context->Node();
  std::string reason;
  DomDocument& doc = context->Document();
  HRESULT hr = doc.Queries().Select(expr, node, namespaces, doc.Stamp(), nodes, &reason);
  return FAILED(hr) ? FailWith(hr, reason) : hr;
}

HRESULT SelectionList::Evaluate(const std::string& expr, NodeObject* context,
                                const QueryNamespaces& namespaces) {
  SharedSnapshot nodes;
  HRESULT hr = Run(expr, context, namespaces, &nodes);
  if (FAILED(hr)) return hr;
  // The new nodes are in the context's tree (it may have moved since).
  Repin(context->Tree());
  nodes_ = std::move(nodes);
  tree_->PinSnapshot(this, nodes_);
  position_ = 0;
  return S_OK;
}

HRESULT SelectionList::put_expr(BSTR expression) {
  return LockedWith(nullptr, [&] {
    std::string expr = Utf8Of(expression);
    HRESULT hr = Evaluate(expr, context_, namespaces_);
    if (SUCCEEDED(hr)) expr_ = std::move(expr);
    return hr;
  });
}

HRESULT SelectionList::get_context(IXMLDOMNode** node) {
  return Locked([&] {
    if (!node) return E_INVALIDARG;
    *node = context_->Interface();
    (*node)->AddRef();
    return S_OK;
  });
}

HRESULT SelectionList::putref_context(IXMLDOMNode* node) {
  NodeObject* context = NodeObject::From(node);
  if (!context) return E_INVALIDARG;
  // The old context goes after the locks: its release takes its own
  // document's lock, which another thread may hold waiting for ours.
  ComPtr<IXMLDOMNode> previous;
  return LockedWith(context, [&] {
    HRESULT hr = Evaluate(expr_, context, namespaces_);
    if (SUCCEEDED(hr)) {
      previous = std::exchange(contextHold_, ComPtr<IXMLDOMNode>(context->Interface()));
      context_ = context;
    }
    return hr;
  });
}

HRESULT SelectionList::peekNode(IXMLDOMNode** node) {
  return WithListed([&] { return position_; },
                    [&](long i, xmlNodePtr) { return ReturnSnapshotNode(nodes_, i, node); });
}

// A node matches when running the query from the context now would select
// it: the document may have changed since the list was taken. The answer
// comes from the document's query cache while the tree is unchanged.
HRESULT SelectionList::matches(IXMLDOMNode* node, IXMLDOMNode** context) {
  return LockedWith(nullptr, [&] {
    if (!context) return E_INVALIDARG;
    *context = nullptr;
    NodeObject* o = NodeObject::From(node);
    if (!o) return E_INVALIDARG;
    // A node under another lock is in no result from the context's tree.
    if (!context_->SharesLockWith(*o)) return S_FALSE;
    SharedSnapshot current;
    HRESULT hr = Run(expr_, context_, namespaces_, &current);
    if (FAILED(hr)) return hr;
    if (std::find(current->begin(), current->end(), o->Node()) == current->end()) return S_FALSE;
    *context = context_->Interface();
    (*context)->AddRef();
    return S_OK;
  });
}

// The document, its type and nodes inside entity content cannot leave
// their place: nothing is removed when one of them is among the nodes.
HRESULT SelectionList::CheckRemovable(long first, long count) const {
  for (long i = first; i < first + count; ++i) {
    xmlNodePtr n = (*nodes_)[i];
    if (n->type == XML_DOCUMENT_NODE || IsReadOnly(n) || n->type == XML_DTD_NODE)
      return FailWith(kInvalidTreeChange, "The selection holds a node that cannot be removed.");
  }
  return S_OK;
}

HRESULT SelectionList::RemoveNodes(long first, long count) {
  HRESULT hr = CheckRemovable(first, count);
  if (FAILED(hr)) return hr;
  // Nodes are taken out of their parents; the snapshot keeps the others.
  TreeEdit edit(*doc_);
  auto remaining = std::make_shared<NodeSnapshot>();
  remaining->reserve(nodes_->size() - static_cast<size_t>(count));
  remaining->insert(remaining->end(), nodes_->begin(), nodes_->begin() + first);
  remaining->insert(remaining->end(), nodes_->begin() + first + count, nodes_->end());
  for (long i = first; i < first + count; ++i) {
    xmlNodePtr n = (*nodes_)[i];
    if (n->parent) {
      DomDocument* owner = TreeHolder::Of(n)->Owner();
      if (owner && owner != doc_) edit.Touch(*owner);
      edit.Detach(n);
    }
  }
  nodes_ = std::move(remaining);
  // The nodes taken out may go: at once when they were all the list held,
  // else with the list's next change (see PinSnapshot).
  tree_->PinSnapshot(this, nodes_, !nodes_->empty());
  return S_OK;
}

HRESULT SelectionList::removeNext(IXMLDOMNode** node) {
  return WithListed([&] { return position_; },
                    [&](long i, xmlNodePtr n) {
                      if (!node) return E_INVALIDARG;
                      *node = nullptr;
                      if (!n) return S_FALSE;
                      ComPtr<IXMLDOMNode> next;
                      HRESULT hr = ReturnSnapshotNode(nodes_, i, next.Out());
                      if (FAILED(hr)) return hr;
                      hr = RemoveNodes(i, 1);
                      if (SUCCEEDED(hr)) *node = next.Detach();
                      return hr;
                    });
}

// Every node of the selection, wherever its position stands, or none when
// one of them cannot be removed. Nodes that have moved to other documents
// are taken out under those documents' locks, all held at once.
HRESULT SelectionList::removeAll() {
  std::vector<ComPtr<DomDocument>> revived;  // held until the nodes are out
  for (;;) {
    std::vector<std::recursive_mutex*> locks{doc_->Mutex()};
    std::vector<TreeHolder*> deferred;
    {
      DocLock lock(doc_->Mutex());
      for (xmlNodePtr n : *nodes_) {
        Whereabouts at = WhereIs(n);
        locks.push_back(at.mutex);
        if (!at.alive) deferred.push_back(at.tree);
      }
    }
    // A tree its document let go of comes back under a document first, as
    // a handout would bring it (with no list's lock held, as there).
    for (TreeHolder* tree : deferred)
      if (auto brought = DomDocument::ForDeferredTree(tree)) revived.push_back(std::move(brought));
    if (!deferred.empty()) {
      std::this_thread::yield();
      continue;
    }
    DocLockSet lock(std::move(locks));
    // Every node still where it was seen (else once more from the start).
    bool held = true;
    for (xmlNodePtr n : *nodes_) {
      Whereabouts at = WhereIs(n);
      held = held && at.owned && lock.Holds(at.mutex);
    }
    if (!held) {
      std::this_thread::yield();
      continue;
    }
    auto removeEvery = [&] {
      HRESULT hr = RemoveNodes(0, static_cast<long>(nodes_->size()));
      if (SUCCEEDED(hr)) position_ = 0;
      return hr;
    };
    return NodeObject::Protect(removeEvery);
  }
}

HRESULT SelectionList::clone(IXMLDOMSelection** copy) {
  ComPtr<SelectionList> c;
  // The copy reads its context's tree: under that document's lock too.
  HRESULT hr = LockedWith(nullptr, [&] {
    if (!copy) return E_INVALIDARG;
    c = MakeObject<SelectionList>(doc_, expr_, context_, nodes_, namespaces_, language_);
    c->Repin(tree_);  // the nodes' tree, where the context may have left
    c->position_ = position_;
    c->namespacesText_ = namespacesText_;
    return S_OK;
  });
  if (c) {
    c->ReleaseRetired();
    *copy = c.Detach();
  }
  return hr;
}

HRESULT SelectionList::getProperty(BSTR name, VARIANT* value) {
  return Locked([&] {
    if (!value) return E_INVALIDARG;
    VariantInit(value);
    std::string n = Utf8Of(name);
    if (xmlStrcasecmp(Xml(n), Xml("SelectionLanguage")) == 0) return ReturnBstrVariant(language_, value);
    if (xmlStrcasecmp(Xml(n), Xml("SelectionNamespaces")) == 0)
      return ReturnBstrVariant(namespacesText_, value);
    return FailWith(E_INVALIDARG, "Unknown property: " + n);
  });
}

HRESULT SelectionList::setProperty(BSTR name, VARIANT value) {
  return LockedWith(nullptr, [&] {
    std::string n = Utf8Of(name), v;
    HRESULT hr = Utf8OfVariant(value, &v);
    if (FAILED(hr)) return E_INVALIDARG;
    if (xmlStrcasecmp(Xml(n), Xml("SelectionLanguage")) == 0) {
      hr = CheckSelectionLanguage(v, doc_->Flavor().version40);
      if (FAILED(hr)) return hr;
      // The language decides which prefixes the query may use: a change
      // runs it again.
      if ((v == "XSLPattern") != namespaces_.inScope) {
        QueryNamespaces ns = namespaces_;
        ns.inScope = !ns.inScope;
        ns.version = NextNamespacesVersion();
        hr = Evaluate(expr_, context_, ns);
        if (FAILED(hr)) return hr;
        namespaces_ = std::move(ns);
      }
      language_ = v;
      return S_OK;
    }
    if (xmlStrcasecmp(Xml(n), Xml("SelectionNamespaces")) == 0) {
      QueryNamespaces ns;
      if (!ParseSelectionNamespaces(v, &ns.bindings)) return FailWith(E_FAIL, "Malformed namespace declarations.");
      ns.inScope = namespaces_.inScope;
      ns.version = NextNamespacesVersion();
      hr = Evaluate(expr_, context_, ns);
      if (FAILED(hr)) return hr;
      namespaces_ = std::move(ns);
      namespacesText_ = v;
      return S_OK;
    }
    return FailWith(E_INVALIDARG, "Unknown property: " + n);
  });
}

HRESULT CheckSelectionLanguage(const std::string& language, bool version40) {
  if (language == "XPath" || (language == "XSLPattern" && !version40)) return S_OK;
  return FailWith(E_FAIL, "Unsupported selection language: " + language);
}

}  // namespace ardo::engine
