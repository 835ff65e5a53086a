#include "support/memory_meter.h"

#include <malloc.h>

#include <cerrno>
#include <atomic>
#include <cstdlib>
#include <new>

// The counting allocator: the benchmark program defines the malloc family
// itself and forwards to the C library's own entry points, so every
// allocation in the process passes through here. Usable sizes are counted
// on both sides, so a block allocated and freed inside one measurement
// balances exactly.
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* p, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* p);
}

namespace {

std::atomic<bool> g_counting{false};
std::atomic<long long> g_inUse{0};
std::atomic<long long> g_peak{0};

void Count(void* p) {
  if (!p || !g_counting.load(std::memory_order_relaxed)) return;
  long long size = (long long)malloc_usable_size(p);
  long long now = g_inUse.fetch_add(size, std::memory_order_relaxed) + size;
  long long peak = g_peak.load(std::memory_order_relaxed);
  while (now > peak && !g_peak.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
  }
}

void Uncount(void* p) {
  if (p && g_counting.load(std::memory_order_relaxed))
    g_inUse.fetch_sub((long long)malloc_usable_size(p), std::memory_order_relaxed);
}

}  // namespace

extern "C" {

void* malloc(size_t size) {
  void* p = __libc_malloc(size);
  Count(p);
  return p;
}

void* calloc(size_t count, size_t size) {
  void* p = __libc_calloc(count, size);
  Count(p);
  return p;
}

void* realloc(void* old, size_t size) {
  Uncount(old);
  void* p = __libc_realloc(old, size);
  if (p) Count(p);
  else if (old && size != 0) Count(old);  // the old block is still there
  return p;
}

void free(void* p) {
  Uncount(p);
  __libc_free(p);
}

void* memalign(size_t alignment, size_t size) {
  void* p = __libc_memalign(alignment, size);
  Count(p);
  return p;
}

void* aligned_alloc(size_t alignment, size_t size) { return memalign(alignment, size); }

int posix_memalign(void** out, size_t alignment, size_t size) {
  void* p = __libc_memalign(alignment, size);
  if (!p) return ENOMEM;
  Count(p);
  *out = p;
  return 0;
}

}  // extern "C"

namespace ardo::bench {

void StartHeapCount() {
  g_inUse.store(0, std::memory_order_relaxed);
  g_peak.store(0, std::memory_order_relaxed);
  g_counting.store(true, std::memory_order_seq_cst);
}

long long StopHeapCount() {
  g_counting.store(false, std::memory_order_seq_cst);
  return g_peak.load(std::memory_order_relaxed);
}

}  // namespace ardo::bench
