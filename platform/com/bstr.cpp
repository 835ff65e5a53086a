#include "platform/com/bstr.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

// Layout of a BSTR block: a 32-bit byte length, then the text, then a
// 16-bit NUL (two NUL bytes, so odd byte lengths are terminated as well).
// The BSTR points just past the length.

namespace {

// Per-thread BSTR bookkeeping. Allocating and freeing BSTRs are the most
// frequent calls at the COM boundary, so each thread keeps
//  - its share of the live count, written by that thread alone (one shared
//    counter would cost a locked instruction every time); LiveBstrCount adds
//    up the shares of the running threads and what ended threads left behind;
//  - a few freed small blocks per size, handed out again before asking the
//    allocator (names and numbers come and go in the same few sizes). The
//    cache is off under AddressSanitizer, and when OANOCACHE is set, so that
//    a use after free still shows.
constexpr size_t kClassBytes = 16;   // block sizes 16, 32, 48, 64
constexpr size_t kClasses = 4;
constexpr int kCachedPerClass = 16;

struct ThreadBstrs {
  std::atomic<long> live{0};
  void* cached[kClasses][kCachedPerClass];
  int cachedCount[kClasses] = {};
};

struct ShareRegistry {
  std::mutex mutex;
  std::vector<const ThreadBstrs*> running;
  std::atomic<long> ended{0};
};
ShareRegistry& Shares() {
  static ShareRegistry* registry = new ShareRegistry;  // outlives every thread
  return *registry;
}

bool CacheWanted() {
#if defined(__SANITIZE_ADDRESS__)
  return false;
#else
  static const bool wanted = std::getenv("OANOCACHE") == nullptr;
  return wanted;
#endif
}

// This thread's bookkeeping, made on its first BSTR. Plain pointers in
// static TLS, so that the common path reads them with one instruction.
__attribute__((tls_model("initial-exec"))) thread_local ThreadBstrs* t_bstrs = nullptr;
// Set when the thread's bookkeeping is gone (thread exit): what its last
// destructors allocate and free goes straight to the allocator and counts
// with the ended threads.
__attribute__((tls_model("initial-exec"))) thread_local bool t_bstrsGone = false;

// Folds the thread's share into the ended threads' count and empties its
// cache when the thread ends.
struct ThreadBstrsOwner {
  ThreadBstrs* bstrs = nullptr;
  ~ThreadBstrsOwner() {
    if (!bstrs) return;
    ShareRegistry& shares = Shares();
    {
      std::lock_guard<std::mutex> lock(shares.mutex);
      shares.ended.fetch_add(bstrs->live.load(std::memory_order_relaxed));
      shares.running.erase(std::find(shares.running.begin(), shares.running.end(), bstrs));
    }
    for (size_t k = 0; k < kClasses; ++k)
      for (int i = 0; i < bstrs->cachedCount[k]; ++i) std::free(bstrs->cached[k][i]);
    delete bstrs;
    t_bstrs = nullptr;
    t_bstrsGone = true;
  }
};
thread_local ThreadBstrsOwner t_owner;

__attribute__((noinline)) ThreadBstrs* JoinThread() {
  if (t_bstrsGone) return nullptr;
  auto* bstrs = new ThreadBstrs;
  ShareRegistry& shares = Shares();
  std::lock_guard<std::mutex> lock(shares.mutex);
  shares.running.push_back(bstrs);
  t_owner.bstrs = bstrs;
  t_bstrs = bstrs;
  return bstrs;
}

inline ThreadBstrs* ThisThread() {
  ThreadBstrs* bstrs = t_bstrs;
  return bstrs ? bstrs : JoinThread();
}

void CountBstr(ThreadBstrs* bstrs, long delta) {
  if (!bstrs) {
    Shares().ended.fetch_add(delta);
    return;
  }
  // Only this thread writes its share: a plain read and write will do.
  bstrs->live.store(bstrs->live.load(std::memory_order_relaxed) + delta, std::memory_order_relaxed);
}

// The size class of a block of `total` bytes; kClasses when it is too big to cache.
size_t ClassOf(size_t total) { return total <= kClasses * kClassBytes ? (total - 1) / kClassBytes : kClasses; }

void* TakeBlock(ThreadBstrs* bstrs, size_t total) {
  size_t k = ClassOf(total);
  if (k == kClasses) return std::malloc(total);
  if (bstrs && bstrs->cachedCount[k] > 0) return bstrs->cached[k][--bstrs->cachedCount[k]];
  return std::malloc((k + 1) * kClassBytes);  // the class's full size, so any of its sizes fits
}

void GiveBackBlock(ThreadBstrs* bstrs, void* block, size_t total) {
  size_t k = ClassOf(total);
  if (k < kClasses && bstrs && CacheWanted() && bstrs->cachedCount[k] < kCachedPerClass) {
    bstrs->cached[k][bstrs->cachedCount[k]++] = block;
    return;
  }
  std::free(block);
}

// Allocations left before the fault-injection hook starts failing them;
// negative when the hook is off.
std::atomic<long> g_allocationsBeforeFailure{-1};

bool AllocationAllowed() {
  long left = g_allocationsBeforeFailure.load();
  while (left >= 0) {
    if (left == 0) return false;
    if (g_allocationsBeforeFailure.compare_exchange_weak(left, left - 1)) return true;
  }
  return true;
}

uint32_t* Header(BSTR bstr) { return reinterpret_cast<uint32_t*>(bstr) - 1; }

// A block for byteLength bytes of text, filled from bytes or zero-filled.
BSTR AllocateBytes(const void* bytes, size_t byteLength) {
  if (byteLength > 0xFFFFFFF0u) return nullptr;
  if (!AllocationAllowed()) return nullptr;
  size_t total = sizeof(uint32_t) + byteLength + sizeof(OLECHAR);
  ThreadBstrs* bstrs = ThisThread();
  auto* block = static_cast<unsigned char*>(TakeBlock(bstrs, total));
  if (!block) return nullptr;
  *reinterpret_cast<uint32_t*>(block) = static_cast<uint32_t>(byteLength);
  unsigned char* text = block + sizeof(uint32_t);
  if (!bytes) {
    std::memset(text, 0, byteLength);
  } else if (byteLength <= 64) {
    // Names and numbers: a call to memcpy would cost more than the copy.
    const auto* from = static_cast<const unsigned char*>(bytes);
    for (size_t i = 0; i < byteLength; ++i) text[i] = from[i];
  } else {
    std::memcpy(text, bytes, byteLength);
  }
  text[byteLength] = 0;
  text[byteLength + 1] = 0;
  CountBstr(bstrs, 1);
  return reinterpret_cast<BSTR>(text);
}

}  // namespace

BSTR SysAllocString(const OLECHAR* text) {
  if (!text) return nullptr;
  return SysAllocStringLen(text, static_cast<UINT>(std::char_traits<OLECHAR>::length(text)));
}

BSTR SysAllocStringLen(const OLECHAR* text, UINT len) {
  return AllocateBytes(text, static_cast<size_t>(len) * sizeof(OLECHAR));
}

BSTR SysAllocStringByteLen(const char* bytes, UINT len) { return AllocateBytes(bytes, len); }

INT SysReAllocString(BSTR* pbstr, const OLECHAR* text) {
  if (!pbstr) return FALSE;
  UINT len = text ? static_cast<UINT>(std::char_traits<OLECHAR>::length(text)) : 0;
  return SysReAllocStringLen(pbstr, text, len);
}

INT SysReAllocStringLen(BSTR* pbstr, const OLECHAR* text, UINT len) {
  if (!pbstr) return FALSE;
  // text may point into *pbstr, so copy before freeing.
  BSTR fresh = SysAllocStringLen(text, len);
  if (!fresh) return FALSE;
  SysFreeString(*pbstr);
  *pbstr = fresh;
  return TRUE;
}

void SysFreeString(BSTR bstr) {
  if (!bstr) return;
  ThreadBstrs* bstrs = ThisThread();
  CountBstr(bstrs, -1);
  GiveBackBlock(bstrs, Header(bstr), sizeof(uint32_t) + *Header(bstr) + sizeof(OLECHAR));
}

UINT SysStringLen(BSTR bstr) { return bstr ? *Header(bstr) / sizeof(OLECHAR) : 0; }

UINT SysStringByteLen(BSTR bstr) { return bstr ? *Header(bstr) : 0; }

namespace ardo {

long LiveBstrCount() {
  ShareRegistry& shares = Shares();
  std::lock_guard<std::mutex> lock(shares.mutex);
  long total = shares.ended.load();
  for (const ThreadBstrs* bstrs : shares.running) total += bstrs->live.load(std::memory_order_relaxed);
  return total;
}

void FailBstrAllocationsAfter(long n) { g_allocationsBeforeFailure.store(n < 0 ? -1 : n); }

}  // namespace ardo
