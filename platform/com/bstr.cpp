#include "platform/com/bstr.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

// Layout of a BSTR block: a 32-bit byte length, then the text, then a
// 16-bit NUL (two NUL bytes, so odd byte lengths are terminated as well).
// The BSTR points just past the length.

namespace {

std::atomic<long> g_liveBstrs{0};
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
  auto* block = static_cast<unsigned char*>(std::malloc(total));
  if (!block) return nullptr;
  *reinterpret_cast<uint32_t*>(block) = static_cast<uint32_t>(byteLength);
  unsigned char* text = block + sizeof(uint32_t);
  if (bytes)
    std::memcpy(text, bytes, byteLength);
  else
    std::memset(text, 0, byteLength);
  text[byteLength] = 0;
  text[byteLength + 1] = 0;
  g_liveBstrs.fetch_add(1);
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
  g_liveBstrs.fetch_sub(1);
  std::free(Header(bstr));
}

UINT SysStringLen(BSTR bstr) { return bstr ? *Header(bstr) / sizeof(OLECHAR) : 0; }

UINT SysStringByteLen(BSTR bstr) { return bstr ? *Header(bstr) : 0; }

namespace ardo {

long LiveBstrCount() { return g_liveBstrs.load(); }

void FailBstrAllocationsAfter(long n) { g_allocationsBeforeFailure.store(n < 0 ? -1 : n); }

}  // namespace ardo
