// The per-document lock of free-threaded documents. Apartment-threaded
// documents hand out a null mutex and every guard is then a no-op.
#pragma once

#include <mutex>

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
  DocLockPair(std::recursive_mutex* a, std::recursive_mutex* b) : a_(a), b_(a == b ? nullptr : b) {
    if (a_ && b_) {
      std::lock(*a_, *b_);
    } else if (a_) {
      a_->lock();
    } else if (b_) {
      b_->lock();
    }
  }
  DocLockPair(const DocLockPair&) = delete;
  DocLockPair& operator=(const DocLockPair&) = delete;
  ~DocLockPair() {
    if (a_) a_->unlock();
    if (b_) b_->unlock();
  }

 private:
  std::recursive_mutex* a_;
  std::recursive_mutex* b_;
};

}  // namespace ardo::engine
