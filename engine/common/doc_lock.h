// The per-document lock of free-threaded documents. Apartment-threaded
// documents hand out a null mutex and every guard is then a no-op.
#pragma once

#include <mutex>
#include <vector>

namespace ardo::engine {

// The locks of free-threaded documents are never destroyed: a document
// gives its lock back to a pool that the next free-threaded document takes
// from. A node that another thread has just moved to another document may
// still be reaching for its old document's lock; that lock then still
// exists (perhaps serving another document, which the caller sees once it
// holds it, and retries with the node's current lock).
std::recursive_mutex* TakeDocumentMutex();
void GiveBackDocumentMutex(std::recursive_mutex* mutex);

class DocLock {
 public:
  explicit DocLock(std::recursive_mutex* mutex) : mutex_(mutex) {
    if (mutex_) mutex_->lock();
  }
  DocLock(const DocLock&) = delete;
  DocLock& operator=(const DocLock&) = delete;
  ~DocLock() {
    if (mutex_) mutex_->unlock();
  }

 private:
  std::recursive_mutex* mutex_;
};

// Holds two document locks at once (a node moved between documents), taken
// together so that two threads moving in opposite directions cannot deadlock.
class DocLockPair {
 public:
  DocLockPair(std::recursive_mutex* a, std::recursive_mutex* b) : a_(a), b_(a == b ? nullptr : b) { Relock(); }
  DocLockPair(const DocLockPair&) = delete;
  DocLockPair& operator=(const DocLockPair&) = delete;
  ~DocLockPair() { Unlock(); }
  // Gives both up for a while (a handler called from inside the call runs
  // with none of its locks held) and takes them again, as the constructor
  // does.
  void Unlock() {
    if (a_) a_->unlock();
    if (b_) b_->unlock();
  }
  void Relock() {
    if (a_ && b_) {
      std::lock(*a_, *b_);
    } else if (a_) {
      a_->lock();
    } else if (b_) {
      b_->lock();
    }
  }

 private:
  std::recursive_mutex* a_;
  std::recursive_mutex* b_;
};

// Names a pair of locks in *slot while it lasts (the load running on a
// thread, for its handlers), then what the slot named before.
class ExposedLocks {
 public:
  ExposedLocks(DocLockPair** slot, DocLockPair* locks) : slot_(slot), outer_(slot ? *slot : nullptr) {
    if (slot_) *slot_ = locks;
  }
  ExposedLocks(const ExposedLocks&) = delete;
  ExposedLocks& operator=(const ExposedLocks&) = delete;
  ~ExposedLocks() {
    if (slot_) *slot_ = outer_;
  }

 private:
  DocLockPair** slot_;
  DocLockPair* outer_;
};

// Gives a pair of locks up until it goes (a handler runs meanwhile), then
// takes them again, however the handler returns.
class UnlockedWhile {
 public:
  explicit UnlockedWhile(DocLockPair* locks) : locks_(locks) {
    if (locks_) locks_->Unlock();
  }
  UnlockedWhile(const UnlockedWhile&) = delete;
  UnlockedWhile& operator=(const UnlockedWhile&) = delete;
  ~UnlockedWhile() {
    if (locks_) locks_->Relock();
  }

 private:
  DocLockPair* locks_;
};

// Holds the locks of any number of documents (nodes of one list spread over
// several). They are taken as std::lock takes two: never waiting for one
// while holding another.
class DocLockSet {
 public:
  explicit DocLockSet(std::vector<std::recursive_mutex*> mutexes);
  DocLockSet(const DocLockSet&) = delete;
  DocLockSet& operator=(const DocLockSet&) = delete;
  ~DocLockSet();
  bool Holds(std::recursive_mutex* mutex) const;

 private:
  std::vector<std::recursive_mutex*> mutexes_;
};

// Taken while a subtree changes documents, and to read which document a
// node is in without that document's lock (a list's node that another
// thread may be moving between two other documents). Nothing is locked
// while it is held.
std::mutex& NodeMoveMutex();

}  // namespace ardo::engine
