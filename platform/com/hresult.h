// HRESULT: a 32-bit signed status; negative means failure. The named codes
// come from hresult_list.h; compare with them, never with bare hex.
#pragma once

#include <string>

#include "platform/com/hresult_list.h"
#include "platform/win/win32_errors.h"
#include "platform/win/win_types.h"

typedef int32_t HRESULT;
typedef int32_t SCODE;

#define ARDO_DEFINE_HRESULT(name, value, message) \
  inline constexpr HRESULT name = static_cast<HRESULT>(static_cast<uint32_t>(value##u));
ARDO_HRESULT_LIST(ARDO_DEFINE_HRESULT)
#undef ARDO_DEFINE_HRESULT

inline constexpr int FACILITY_NULL = 0;
inline constexpr int FACILITY_RPC = 1;
inline constexpr int FACILITY_DISPATCH = 2;
inline constexpr int FACILITY_STORAGE = 3;
inline constexpr int FACILITY_ITF = 4;
inline constexpr int FACILITY_WIN32 = 7;
inline constexpr int SEVERITY_SUCCESS = 0;
inline constexpr int SEVERITY_ERROR = 1;

#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)
#define MAKE_HRESULT(sev, fac, code)                                                    \
  static_cast<HRESULT>((static_cast<uint32_t>(sev) << 31) |                             \
                       (static_cast<uint32_t>(fac) << 16) | static_cast<uint32_t>(code))
#define HRESULT_CODE(hr) (static_cast<uint32_t>(hr) & 0xFFFFu)
#define HRESULT_FACILITY(hr) ((static_cast<uint32_t>(hr) >> 16) & 0x1FFFu)
#define HRESULT_SEVERITY(hr) ((static_cast<uint32_t>(hr) >> 31) & 0x1u)

// A Win32 error code as an HRESULT: zero stays S_OK, other codes land in
// the Win32 facility with the error bit set.
constexpr HRESULT HRESULT_FROM_WIN32(unsigned long code) {
  return static_cast<HRESULT>(code) <= 0
             ? static_cast<HRESULT>(code)
             : static_cast<HRESULT>((code & 0xFFFFu) | (uint32_t(FACILITY_WIN32) << 16) |
                                    0x80000000u);
}

namespace ardo {

// "E_FAIL", "HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)", or "0x8000ABCD" for
// a code without a name.
std::string HResultName(HRESULT hr);
// A one-sentence description; "Unknown error 0x8000ABCD." for a code
// without a name.
std::string HResultMessage(HRESULT hr);

}  // namespace ardo
