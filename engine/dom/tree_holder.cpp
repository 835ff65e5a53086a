#include "engine/dom/tree_holder.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <mutex>

#include <libxml/valid.h>

#include "engine/common/bstr_text.h"
#include "engine/dom/dom_document.h"
#include "engine/dom/node_navigation.h"
#include "engine/dom/node_object.h"
#include "engine/dom/text_content.h"

namespace ardo::engine {
namespace {

// The pins trees took on from each other and the holders waiting for
// them to end, for the whole process.
std::mutex& GcMutex() {
  static std::mutex* m = new std::mutex;
  return *m;
}
std::vector<TreeHolder*>* g_deferred = nullptr;
// Moves on whenever a list lets go of nodes (blocked candidates may go).
std::atomic<uint64_t> g_pinChanges{0};

}  // namespace

TreeHolder::TreeHolder(xmlDocPtr doc, DomDocument* owner)
    : doc_(doc), owner_(owner), flavor_(owner ? owner->Flavor() : DocumentFlavor{}) {
  ownerMutex_.store(owner ? owner->Mutex() : nullptr, std::memory_order_release);
  doc_->_private = this;
}

void TreeHolder::SetOwner(DomDocument* owner) {
  // A document going keeps its lock here until the tree has gone too: a
  // list that reaches the tree meanwhile waits on that lock for the end.
  if (owner) ownerMutex_.store(owner->Mutex(), std::memory_order_release);
  owner_.store(owner, std::memory_order_release);
}

template <class F>
void TreeHolder::ForEachSubtree(F f) {
  f(reinterpret_cast<xmlNodePtr>(doc_));
  if (doc_->extSubset) f(reinterpret_cast<xmlNodePtr>(doc_->extSubset));
  for (xmlNodePtr n : notations_) f(n);
  for (xmlAttrPtr a : declarationParts_) f(reinterpret_cast<xmlNodePtr>(a));
  for (auto& [root, count] : roots_) f(root);
}

TreeHolder::~TreeHolder() {
  // Cached objects first: they stand on nodes that are about to go.
  if (mayHaveCached_) ForEachSubtree(DeleteCachedIn);
  for (xmlNodePtr n : notations_) {
    xmlFree(const_cast<xmlChar*>(n->name));
    xmlFree(n);
  }
  notations_.clear();  // a copied document type below looks for its own
  for (xmlAttrPtr a : declarationParts_) xmlFreeProp(a);
  declarationParts_.clear();
  for (auto& [root, count] : roots_) {
    assert(count == 0);
    (void)count;
    FreeSubtree(root);
  }
  doc_->_private = nullptr;
  xmlFreeDoc(doc_);
}

void TreeHolder::Release() {
  if (refs_.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
  {
    std::lock_guard<std::mutex> lock(GcMutex());
    // Lists over trees this one took nodes from may hold some of them: it
    // waits only while one does. (Looked at under the lock: a list handing
    // out one of its nodes brings the tree back only from the deferred list.)
    bool holds = false;
    if (const auto* listed = ListedLocked())
      ForEachSubtree([&](xmlNodePtr root) { holds = holds || HoldsListed(root, *listed); });
    if (holds) {
      // Its document may go before it does: nothing reaches back there.
      SetOwner(nullptr);
      ownerMutex_.store(nullptr, std::memory_order_release);
      if (!g_deferred) g_deferred = new std::vector<TreeHolder*>;
      g_deferred->push_back(this);
      return;
    }
  }
  delete this;
}

bool TreeHolder::DeferredFlavor(const TreeHolder* holder, DocumentFlavor* flavor) {
  std::lock_guard<std::mutex> lock(GcMutex());
  if (!g_deferred || std::find(g_deferred->begin(), g_deferred->end(), holder) == g_deferred->end()) return false;
  *flavor = holder->flavor_;
  return true;
}

bool TreeHolder::TakeDeferred(DomDocument* owner) {
  std::lock_guard<std::mutex> lock(GcMutex());
  // Found on the list before anything of it is read (a waiting tree has
  // no reference). Another tree may have come to the same address since:
  // one made for another kind of document stays where it is.
  if (!g_deferred) return false;
  auto it = std::find(g_deferred->begin(), g_deferred->end(), this);
  if (it == g_deferred->end()) return false;
  if (flavor_.freeThreaded != owner->Flavor().freeThreaded) return false;
  g_deferred->erase(it);
  SetOwner(owner);
  // Cached objects still name the document the tree had.
  if (mayHaveCached_)
    ForEachSubtree([&](xmlNodePtr root) {
      // The document node's _private is this holder, not an object.
      if (root->type != XML_DOCUMENT_NODE) return RehomeObjects(root, owner, this);
      for (xmlNodePtr c = root->children; c; c = c->next) RehomeObjects(c, owner, this);
    });
  refs_.store(1, std::memory_order_release);
  return true;
}

void TreeHolder::PinSnapshot(const void* list, ListedNodes nodes, bool fewer) {
  std::lock_guard<std::mutex> lock(GcMutex());
  pins_->lists[list] = std::move(nodes);
  if (fewer) return;
  ++pins_->version;
  g_pinChanges.fetch_add(1, std::memory_order_acq_rel);
}

void TreeHolder::UnpinSnapshot(const void* list) {
  std::vector<TreeHolder*> dead;
  {
    std::lock_guard<std::mutex> lock(GcMutex());
    pins_->lists.erase(list);
    ++pins_->version;
    g_pinChanges.fetch_add(1, std::memory_order_acq_rel);
    // The last list over this tree went: trees waiting on its pins alone go.
    if (!pins_->lists.empty() || !g_deferred) return;
    auto waiting = std::stable_partition(g_deferred->begin(), g_deferred->end(),
                                         [](TreeHolder* h) { return h->PinnedLocked(); });
    dead.assign(waiting, g_deferred->end());
    g_deferred->erase(waiting, g_deferred->end());
  }
  for (TreeHolder* h : dead) delete h;
}

void TreeHolder::NoteForeignNodes(TreeHolder& from, xmlNodePtr moved) {
  if (&from == this) return;
  std::lock_guard<std::mutex> lock(GcMutex());
  // Only a subtree holding a listed node brings the lists' pins along.
  const auto* listed = from.ListedLocked();
  if (!listed || !HoldsListed(moved, *listed)) return;
  auto takeOn = [&](const PinRef& pin) {
    if (!pin->lists.empty() &&
        std::find(inheritedPins_.begin(), inheritedPins_.end(), pin) == inheritedPins_.end())
      inheritedPins_.push_back(pin);
  };
  takeOn(from.pins_);
  for (const PinRef& pin : from.inheritedPins_) takeOn(pin);
}

bool TreeHolder::PinnedLocked() {
  inheritedPins_.erase(std::remove_if(inheritedPins_.begin(), inheritedPins_.end(),
                                      [](const PinRef& pin) { return pin->lists.empty(); }),
                       inheritedPins_.end());
  return !pins_->lists.empty() || !inheritedPins_.empty();
}

const std::unordered_set<const xmlNode*>* TreeHolder::ListedLocked() {
  if (!PinnedLocked()) return nullptr;
  std::vector<std::pair<PinRef, uint64_t>> from{{pins_, pins_->version}};
  for (const PinRef& pins : inheritedPins_) from.emplace_back(pins, pins->version);
  if (from != listedFrom_) {
    // Addresses only: a listed node elsewhere may be changing under
    // another document's lock, and is not looked at.
    listed_.clear();
    for (const auto& [pins, version] : from)
      for (const auto& [list, nodes] : pins->lists)
        if (nodes) listed_.insert(nodes->begin(), nodes->end());
    listedFrom_ = std::move(from);
  }
  return &listed_;
}

bool TreeHolder::HoldsListed(xmlNodePtr root, const std::unordered_set<const xmlNode*>& listed) {
  if (listed.empty()) return false;
  std::vector<xmlNodePtr> stack{root};
  while (!stack.empty()) {
    xmlNodePtr n = stack.back();
    stack.pop_back();
    if (listed.count(n)) return true;
    if (n->type == XML_ELEMENT_NODE)
      for (xmlAttrPtr a = n->properties; a; a = a->next) stack.push_back(reinterpret_cast<xmlNodePtr>(a));
    if (n->type == XML_ENTITY_REF_NODE) continue;  // its children are the entity's
    for (xmlNodePtr c = n->children; c; c = c->next) stack.push_back(c);
  }
  return false;
}

xmlNodePtr TreeHolder::TopOf(xmlNodePtr node) {
  while (node->parent) node = node->parent;
  return node;
}

bool TreeHolder::IsAttached(xmlNodePtr node) {
  xmlNodePtr top = TopOf(node);
  return top->type == XML_DOCUMENT_NODE || top->type == XML_HTML_DOCUMENT_NODE ||
         top->type == XML_DTD_NODE;
}

namespace {

bool Referenced(void* privateField) {
  return privateField && !static_cast<NodeObject*>(privateField)->IsCached();
}

}  // namespace

long TreeHolder::CountObjects(xmlNodePtr subtree) {
  long count = 0;
  std::vector<xmlNodePtr> stack{subtree};
  while (!stack.empty()) {
    xmlNodePtr n = stack.back();
    stack.pop_back();
    if (Referenced(n->_private)) ++count;
    if (n->type == XML_ELEMENT_NODE) {
      for (xmlNsPtr ns = n->nsDef; ns; ns = ns->next)
        if (Referenced(ns->_private)) ++count;
      for (xmlAttrPtr a = n->properties; a; a = a->next) stack.push_back(reinterpret_cast<xmlNodePtr>(a));
    }
    if (n->type == XML_ENTITY_REF_NODE || n->type == XML_DTD_NODE) continue;
    for (xmlNodePtr c = n->children; c; c = c->next) stack.push_back(c);
  }
  return count;
}

void TreeHolder::AddRoot(xmlNodePtr root, long liveObjects) {
  roots_[root] = liveObjects;
  if (liveObjects == 0) candidates_.push_back(root);
  Replan();
}

long TreeHolder::TakeRoot(xmlNodePtr root) {
  auto it = roots_.find(root);
  if (it == roots_.end()) return 0;
  long count = it->second;
  roots_.erase(it);
  Replan();
  return count;
}

void TreeHolder::AdjustContaining(xmlNodePtr node, long delta) {
  if (delta == 0 || roots_.empty()) return;
  xmlNodePtr top = TopOf(node);
  auto it = roots_.find(top);
  if (it == roots_.end()) return;
  it->second += delta;
  assert(it->second >= 0);
  if (it->second == 0) {
    candidates_.push_back(top);
    Replan();
  }
}

void TreeHolder::FirstLive() {
  AddRef();
  Owner()->Interface()->AddRef();
}

void TreeHolder::LastLiveGone() {
  // The document first: its own reference on this tree may be the next to go.
  DomDocument* owner = Owner();
  owner->Interface()->Release();
  Release();  // may delete this
}

void TreeHolder::ObjectMovedIn() {
  mayHaveCached_ = true;
  LiveUp();
}
void TreeHolder::ObjectMovedOut() { LiveDown(); }

void TreeHolder::Sweep() {
  const uint64_t changes = g_pinChanges.load(std::memory_order_acquire);
  if (!blocked_.empty() && changes != blockedAt_) {
    candidates_.insert(candidates_.end(), blocked_.begin(), blocked_.end());
    blocked_.clear();
  }
  if (candidates_.empty()) return;
  std::vector<xmlNodePtr> pending, going;
  pending.swap(candidates_);
  {
    // While lists last, each candidate is looked for in what they hold.
    std::lock_guard<std::mutex> lock(GcMutex());
    const auto* listed = ListedLocked();
    for (xmlNodePtr root : pending) {
      auto it = roots_.find(root);
      if (it == roots_.end() || it->second != 0) continue;
      if (listed && HoldsListed(root, *listed)) {
        blocked_.push_back(root);
        continue;
      }
      roots_.erase(it);
      going.push_back(root);
    }
  }
  for (xmlNodePtr root : going) FreeSubtree(root);
  const bool freed = !going.empty();
  blockedAt_ = changes;
  Replan();
  // A freed node's address may be handed out again; cached query results
  // keyed by node address must not outlive it.
  if (DomDocument* owner = Owner(); freed && owner) owner->Touch();
}

void TreeHolder::DeleteCached(void* privateField) {
  if (!privateField) return;
  auto* o = static_cast<NodeObject*>(privateField);
  assert(o->IsCached());
  NodeObject::Delete(o);
}

void TreeHolder::DeleteCachedIn(xmlNodePtr root) {
  std::vector<xmlNodePtr> stack{root};
  while (!stack.empty()) {
    xmlNodePtr n = stack.back();
    stack.pop_back();
    // The document's _private is its holder, not an object.
    if (n->type != XML_DOCUMENT_NODE && n->type != XML_HTML_DOCUMENT_NODE) DeleteCached(n->_private);
    if (n->type == XML_ELEMENT_NODE) {
      for (xmlNsPtr ns = n->nsDef; ns; ns = ns->next) DeleteCached(ns->_private);
      for (xmlAttrPtr a = n->properties; a; a = a->next) stack.push_back(reinterpret_cast<xmlNodePtr>(a));
    }
    if (n->type == XML_ENTITY_REF_NODE) continue;
    for (xmlNodePtr c = n->children; c; c = c->next) stack.push_back(c);
  }
}

void TreeHolder::FreeSubtree(xmlNodePtr root) {
  // Nothing referenced lives in the subtree, but cached objects may.
  if (mayHaveCached_) DeleteCachedIn(root);
  switch (root->type) {
    case XML_ATTRIBUTE_NODE:
      xmlFreeProp(reinterpret_cast<xmlAttrPtr>(root));
      break;
    case XML_DTD_NODE:
      // Its notations' stand-ins go with it (a copied document type).
      for (auto it = notations_.begin(); it != notations_.end();) {
        xmlNodePtr n = *it;
        if (n->parent != root) {
          ++it;
          continue;
        }
        if (mayHaveCached_) DeleteCachedIn(n);
        xmlFree(const_cast<xmlChar*>(n->name));
        xmlFree(n);
        it = notations_.erase(it);
      }
      xmlFreeDtd(reinterpret_cast<xmlDtdPtr>(root));
      break;
    default:
      xmlFreeNode(root);
      break;
  }
}

namespace {

std::string NamespaceKey(const xmlChar* uri, const xmlChar* prefix) {
  std::string key(uri ? reinterpret_cast<const char*>(uri) : "");
  key.push_back('\0');
  if (prefix) key.append(reinterpret_cast<const char*>(prefix)).push_back('\0');
  return key;
}

}  // namespace

void TreeHolder::IndexKeptNamespaces() {
  for (xmlNsPtr ns = keptUpTo_ ? keptUpTo_->next : doc_->oldNs; ns; ns = ns->next) {
    keptNamespaces_.emplace(NamespaceKey(ns->href, ns->prefix), ns);
    keptUpTo_ = ns;
  }
}

xmlNsPtr TreeHolder::KeptNamespace(const xmlChar* uri, const xmlChar* prefix) {
  IndexKeptNamespaces();
  auto it = keptNamespaces_.find(NamespaceKey(uri, prefix));
  return it == keptNamespaces_.end() ? nullptr : it->second;
}

void TreeHolder::Keep(xmlNsPtr ns) {
  // The list's head must be the XML namespace (libxml2 assumes so).
  if (!doc_->oldNs) xmlSearchNs(doc_, reinterpret_cast<xmlNodePtr>(doc_), Xml("xml"));
  IndexKeptNamespaces();
  if (keptUpTo_) {
    keptUpTo_->next = ns;
  } else {
    doc_->oldNs = ns;
  }
  IndexKeptNamespaces();
}

xmlNodePtr TreeHolder::NotationNode(xmlDtdPtr dtd, const xmlChar* name) {
  for (xmlNodePtr n : notations_)
    if (n->parent == reinterpret_cast<xmlNodePtr>(dtd) && xmlStrEqual(n->name, name)) return n;
  auto* n = static_cast<xmlNodePtr>(xmlMalloc(sizeof(xmlNode)));
  if (!n) return nullptr;
  memset(n, 0, sizeof(xmlNode));
  n->type = XML_NOTATION_NODE;
  n->name = xmlStrdup(name);
  n->parent = reinterpret_cast<xmlNodePtr>(dtd);
  n->doc = doc_;
  notations_.push_back(n);
  return n;
}

xmlNodePtr TreeHolder::DeclarationPart(const xmlChar* name, const std::string& value) {
  for (xmlAttrPtr a : declarationParts_)
    if (xmlStrEqual(a->name, name) && AttributeValue(a) == value) return reinterpret_cast<xmlNodePtr>(a);
  declarationParts_.reserve(declarationParts_.size() + 1);
  xmlAttrPtr a = xmlNewDocProp(doc_, name, nullptr);
  if (!a) throw std::bad_alloc();
  xmlNodePtr text = xmlNewDocText(doc_, Xml(value));
  if (!text) {
    xmlFreeProp(a);
    throw std::bad_alloc();
  }
  text->parent = reinterpret_cast<xmlNodePtr>(a);
  a->children = a->last = text;
  MarkReadOnlyStandIn(a);
  declarationParts_.push_back(a);
  return reinterpret_cast<xmlNodePtr>(a);
}

}  // namespace ardo::engine
