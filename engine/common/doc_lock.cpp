#include "engine/common/doc_lock.h"

#include <algorithm>
#include <thread>
#include <vector>

namespace ardo::engine {
namespace {

std::mutex g_poolMutex;

std::vector<std::recursive_mutex*>& Pool() {
  static auto* pool = new std::vector<std::recursive_mutex*>();  // outlives every document
  return *pool;
}

}  // namespace

std::recursive_mutex* TakeDocumentMutex() {
  {
    std::lock_guard<std::mutex> lock(g_poolMutex);
    auto& pool = Pool();
    if (!pool.empty()) {
      std::recursive_mutex* m = pool.back();
      pool.pop_back();
      return m;
    }
  }
  return new std::recursive_mutex();
}

void GiveBackDocumentMutex(std::recursive_mutex* mutex) {
  if (!mutex) return;
  std::lock_guard<std::mutex> lock(g_poolMutex);
  Pool().push_back(mutex);
}

DocLockSet::DocLockSet(std::vector<std::recursive_mutex*> mutexes) : mutexes_(std::move(mutexes)) {
  mutexes_.erase(std::remove(mutexes_.begin(), mutexes_.end(), nullptr), mutexes_.end());
  std::sort(mutexes_.begin(), mutexes_.end());
  mutexes_.erase(std::unique(mutexes_.begin(), mutexes_.end()), mutexes_.end());
  // Wait for one, try the others; on a refusal give all back and wait for
  // the one that refused.
  for (size_t first = 0; !mutexes_.empty();) {
    mutexes_[first]->lock();
    size_t refused = mutexes_.size();
    for (size_t i = 0; i < mutexes_.size() && refused == mutexes_.size(); ++i)
      if (i != first && !mutexes_[i]->try_lock()) refused = i;
    if (refused == mutexes_.size()) return;
    for (size_t i = 0; i < refused; ++i)
      if (i != first) mutexes_[i]->unlock();
    mutexes_[first]->unlock();
    first = refused;
    std::this_thread::yield();
  }
}

DocLockSet::~DocLockSet() {
  for (std::recursive_mutex* m : mutexes_) m->unlock();
}

bool DocLockSet::Holds(std::recursive_mutex* mutex) const {
  return !mutex || std::binary_search(mutexes_.begin(), mutexes_.end(), mutex);
}

std::mutex& NodeMoveMutex() {
  static auto* mutex = new std::mutex();  // outlives every document
  return *mutex;
}

}  // namespace ardo::engine
