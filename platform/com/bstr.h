// BSTR: a UTF-16 string with a 32-bit byte-length prefix and a NUL
// terminator, allocated and freed only by the Sys* functions. A null BSTR
// is a valid empty string. Every allocation failure returns null/FALSE.
#pragma once

#include "platform/com/hresult.h"
#include "platform/win/text_encoding.h"

typedef OLECHAR* BSTR;
typedef BSTR* LPBSTR;

// A copy of the NUL-terminated text; null gives null.
BSTR SysAllocString(const OLECHAR* text);
// A string of len characters copied from text, or zero-filled when text is
// null; embedded NULs are kept.
BSTR SysAllocStringLen(const OLECHAR* text, UINT len);
// A string holding len raw bytes (odd lengths allowed); zero-filled for null.
BSTR SysAllocStringByteLen(const char* bytes, UINT len);
// Replaces *pbstr with a new copy; the old string is freed only on success.
INT SysReAllocString(BSTR* pbstr, const OLECHAR* text);
INT SysReAllocStringLen(BSTR* pbstr, const OLECHAR* text, UINT len);
// Null is a no-op.
void SysFreeString(BSTR bstr);
// Length in characters / in bytes from the prefix; 0 for null.
UINT SysStringLen(BSTR bstr);
UINT SysStringByteLen(BSTR bstr);

namespace ardo {

// BSTRs allocated and not yet freed, process-wide.
long LiveBstrCount();
// Test hook: after n more successful allocations every Sys*Alloc* fails
// (returns null) until called again; n < 0 turns the hook off.
void FailBstrAllocationsAfter(long n);

}  // namespace ardo
