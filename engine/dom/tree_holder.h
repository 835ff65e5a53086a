// Ownership of libxml2 trees.
//
// A TreeHolder owns one xmlDoc (its _private points back at the holder) and
// every detached subtree made from it: nodes created and not yet inserted,
// and nodes removed from the tree. The document object holds a reference on
// the holder of its current tree; every node object holds a reference on
// the holder of its node, so a tree replaced by a new load stays alive until
// the last node object of it goes.
//
// Detached subtrees are freed as soon as no node object lives anywhere
// inside them. Each detached root is registered with the number of node
// objects inside its subtree; the count follows object creation and
// destruction and moves with the nodes when a subtree is taken out of the
// tree or put back. A root whose count falls to zero becomes a candidate and
// is freed at the next sweep.
//
// Snapshot lists (selectNodes results) hold raw node pointers without node
// objects. While a snapshot list over a tree's nodes exists, nothing of that
// tree is freed: candidates wait for a sweep after the last list has gone.
// Nodes that came in from another tree may be in that tree's lists: a tree
// that receives nodes from a pinned tree takes on that tree's pins (and the
// pins it took on itself). A pin that has ended is dropped: lists made
// later hold no node that had left.
//
// Each pin knows the nodes its list holds, so that a pinned tree still
// frees what no list holds: a candidate subtree holding a listed node waits
// (blocked) until the lists change, the rest goes at once. A holder whose
// last reference goes while a list holds one of its nodes is kept on a
// deferred list until the pins it took on have ended.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include <libxml/tree.h>

#include "engine/dom/document_flavor.h"
#include "platform/com/live_objects.h"

namespace ardo::engine {

class DomDocument;
class NodeObject;

class TreeHolder : LiveObjectCounted<TreeHolder> {
 public:
  // Takes ownership of doc; the caller owns the one reference.
  TreeHolder(xmlDocPtr doc, DomDocument* owner);
  TreeHolder(const TreeHolder&) = delete;
  TreeHolder& operator=(const TreeHolder&) = delete;

  void AddRef() { refs_.fetch_add(1, std::memory_order_relaxed); }
  void Release();
  // False once the last reference went (the holder waits to be freed).
  bool Alive() const { return refs_.load(std::memory_order_acquire) > 0; }

  xmlDocPtr Doc() const { return doc_; }
  // Null once the tree's last reference went (a deferred tree's document
  // may be gone).
  DomDocument* Owner() const { return owner_.load(std::memory_order_acquire); }
  void SetOwner(DomDocument* owner);
  // The owner's lock, readable without the owner: another thread may be
  // letting go of the owner (locks are never freed, see doc_lock.h). It
  // stays while a going owner lets go of the tree.
  std::recursive_mutex* OwnerMutex() const { return ownerMutex_.load(std::memory_order_acquire); }
  // The kind of document the tree was made for.
  const DocumentFlavor& Flavor() const { return flavor_; }
  // A list may hold nodes of a deferred tree (moved into it from the list's
  // own tree). Handing one out brings the tree back: taken off the deferred
  // list with one reference, for the new document `owner` that holds it
  // from now on; its cached objects are moved to that document. False when
  // the tree is not waiting there (alive again, or being deleted).
  // The holder is known by its address alone: another thread may have
  // brought it back and freed it since it was seen deferred.
  bool TakeDeferred(DomDocument* owner);
  // Whether holder (known by its address alone, as above) waits on the
  // deferred list, and then the kind of document it was made for.
  static bool DeferredFlavor(const TreeHolder* holder, DocumentFlavor* flavor);
  // The holder of a node's tree.
  static TreeHolder* Of(const xmlNode* node) {
    return static_cast<TreeHolder*>(node->doc->_private);
  }

  // The parentless ancestor-or-self of a node (for an attribute, through its
  // element).
  static xmlNodePtr TopOf(xmlNodePtr node);
  // True when node's top is the document (or an external DTD subset).
  static bool IsAttached(xmlNodePtr node);
  // Referenced node objects inside the subtree (attributes and namespace
  // declarations included; cached objects do not count).
  static long CountObjects(xmlNodePtr subtree);

  // Registers a new detached root holding liveObjects node objects.
  void AddRoot(xmlNodePtr root, long liveObjects);
  // Unregisters a detached root that is being linked under a parent and
  // returns its object count.
  long TakeRoot(xmlNodePtr root);
  // Adds delta to the count of the detached subtree that contains node, if
  // node is in a detached subtree.
  void AdjustContaining(xmlNodePtr node, long delta);

  // A node object now stands for node / went away (it is cached). The
  // latter may free the detached subtree that contained the node.
  //
  // Referenced node objects keep their tree and its document alive through
  // the tree: while it has any, the tree holds a reference on itself and on
  // its document (so an object's first handout and its last release cost
  // those references, not every one).
  [[gnu::always_inline]] void ObjectCreated(xmlNodePtr node) {
    // Every object made or revived here may be cached here later.
    mayHaveCached_ = true;
    LiveUp();
    if (!roots_.empty()) AdjustContaining(node, +1);
  }
  [[gnu::always_inline]] void ObjectDestroyed(xmlNodePtr node) {
    if (!roots_.empty()) AdjustContaining(node, -1);
    if (!candidates_.empty() || !blocked_.empty()) Sweep();
    LiveDown();
  }
  // The same for the common case, without a call: an attached node's
  // object while other objects of the tree are referenced. False when the
  // full ObjectCreated / ObjectDestroyed is needed.
  [[gnu::always_inline]] bool QuickObjectCreated() {
    if (liveObjects_ == 0 || !plain_) return false;
    ++liveObjects_;
    return true;
  }
  [[gnu::always_inline]] bool QuickObjectDestroyed() {
    if (liveObjects_ <= 1 || !plain_) return false;
    --liveObjects_;
    return true;
  }
  // A referenced object's node was adopted into / out of this tree.
  void ObjectMovedIn();
  void ObjectMovedOut();
  // A selection list over this tree's nodes keeps the tree and its document
  // alive as a referenced node object does. A host walking a list then does
  // not take and give back those references with every item it reads.
  void ListCreated() { LiveUp(); }
  void ListDestroyed() { LiveDown(); }

  // Frees candidate subtrees that no object refers to, unless a snapshot
  // list is alive.
  void Sweep();

  // A stand-in node for a notation declaration (libxml2 keeps notations in a
  // hash table, not as nodes), created on first use and kept with the tree.
  xmlNodePtr NotationNode(xmlDtdPtr dtd, const xmlChar* name);
  // A stand-in attribute for a pseudo-attribute of the XML declaration
  // (version="1.0"), read-only, created on first use and kept with the tree.
  xmlNodePtr DeclarationPart(const xmlChar* name, const std::string& value);

  // The namespace the document keeps for names declared nowhere (libxml2's
  // list of them) with this URI and prefix, or null; and a new one for the
  // list. The list grows with every namespace a host names: it is indexed
  // as it grows, not walked at every lookup.
  xmlNsPtr KeptNamespace(const xmlChar* uri, const xmlChar* prefix);
  void Keep(xmlNsPtr ns);

  // Released node objects stay cached on this tree's nodes; they are
  // deleted with their subtree or with the tree (which then looks for them
  // only when some were ever cached on it).
  void NoteCached() { mayHaveCached_ = true; }

  // Deletes the cached node object in a node's (or declaration's) _private
  // field, if there is one.
  static void DeleteCached(void* privateField);

  // A snapshot list over this tree's nodes announces itself (list is its
  // key) with the nodes it holds, again whenever it comes to hold others,
  // and lets go. `fewer`: the nodes are some of those it held before (a
  // selection's removeNext): the nodes listed so far are kept as they are,
  // so that the ones that left wait for the list's next change to be freed,
  // where collecting them all again at each removal would make emptying a
  // selection one node at a time quadratic.
  using ListedNodes = std::shared_ptr<const std::vector<xmlNodePtr>>;
  void PinSnapshot(const void* list, ListedNodes nodes, bool fewer = false);
  void UnpinSnapshot(const void* list);
  // The subtree `moved` of the tree `from` is being adopted into this one.
  void NoteForeignNodes(TreeHolder& from, xmlNodePtr moved);

 private:
  ~TreeHolder();
  // Frees a detached subtree and the cached objects on its nodes.
  void FreeSubtree(xmlNodePtr root);
  // Deletes the cached objects on the nodes of a subtree.
  static void DeleteCachedIn(xmlNodePtr root);
  // Calls f for the root of every node list of the tree: the document,
  // its external subset, stand-ins and detached subtrees.
  template <class F>
  void ForEachSubtree(F f);

  [[gnu::always_inline]] void LiveUp() {
    if (liveObjects_++ == 0) FirstLive();
  }
  [[gnu::always_inline]] void LiveDown() {
    if (--liveObjects_ == 0) LastLiveGone();  // may delete this
  }
  void FirstLive();
  void LastLiveGone();
  // Notes whether the tree has detached subtrees or candidates to look at.
  void Replan() { plain_ = roots_.empty() && candidates_.empty(); }

  std::atomic<long> refs_{1};
  long liveObjects_ = 0;  // under the document lock
  // No detached roots and no candidates: an object's handout and release
  // need no more than the live count (the quick paths above). Beside the
  // count, so that they read one line of the holder.
  bool plain_ = true;
  xmlDocPtr doc_;
  std::atomic<DomDocument*> owner_;
  std::atomic<std::recursive_mutex*> ownerMutex_{nullptr};
  DocumentFlavor flavor_;
  std::unordered_map<xmlNodePtr, long> roots_;
  std::vector<xmlNodePtr> candidates_;
  // Candidates that held a listed node when last looked at, and the count
  // of pin changes then (they are looked at again once it moves on).
  std::vector<xmlNodePtr> blocked_;
  uint64_t blockedAt_ = 0;
  std::vector<xmlNodePtr> notations_;
  std::vector<xmlAttrPtr> declarationParts_;
  std::unordered_map<std::string, xmlNsPtr> keptNamespaces_;
  xmlNsPtr keptUpTo_ = nullptr;  // the last of the list indexed
  void IndexKeptNamespaces();
  bool mayHaveCached_ = false;
  // The snapshot lists over this tree's nodes and what they hold, kept
  // where the trees that took them on can read them after this holder is
  // gone (the lists under the process's collection lock).
  struct PinSet {
    std::unordered_map<const void*, ListedNodes> lists;
    uint64_t version = 0;  // moves on with every change of lists
  };
  using PinRef = std::shared_ptr<PinSet>;
  PinRef pins_ = std::make_shared<PinSet>();
  // The pins of other trees that this one took on (under the lock).
  std::vector<PinRef> inheritedPins_;
  // Whether a pin of this tree or one it took on lasts; drops those that
  // ended (under the collection lock).
  bool PinnedLocked();
  // The nodes that the lists of those pins hold (under the collection
  // lock; null when none lasts). Collected again only when a list changed.
  const std::unordered_set<const xmlNode*>* ListedLocked();
  std::unordered_set<const xmlNode*> listed_;
  std::vector<std::pair<PinRef, uint64_t>> listedFrom_;  // held: an address is not reused meanwhile
  // Whether a subtree holds one of those nodes.
  static bool HoldsListed(xmlNodePtr root, const std::unordered_set<const xmlNode*>& listed);
};

// An owning reference to a TreeHolder.
class TreeRef {
 public:
  TreeRef() = default;
  explicit TreeRef(TreeHolder* h) : h_(h) {
    if (h_) h_->AddRef();
  }
  static TreeRef Adopt(TreeHolder* h) {
    TreeRef r;
    r.h_ = h;
    return r;
  }
  TreeRef(const TreeRef& o) : TreeRef(o.h_) {}
  TreeRef(TreeRef&& o) noexcept : h_(std::exchange(o.h_, nullptr)) {}
  TreeRef& operator=(const TreeRef& o) {
    TreeRef(o).Swap(*this);
    return *this;
  }
  TreeRef& operator=(TreeRef&& o) noexcept {
    TreeRef(std::move(o)).Swap(*this);
    return *this;
  }
  ~TreeRef() {
    if (h_) h_->Release();
  }
  void Swap(TreeRef& o) { std::swap(h_, o.h_); }
  TreeHolder* Get() const { return h_; }
  TreeHolder* operator->() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }

 private:
  TreeHolder* h_ = nullptr;
};

}  // namespace ardo::engine
