#include "engine/common/doc_lock.h"

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

}  // namespace ardo::engine
