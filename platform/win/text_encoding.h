// Conversion between narrow text and UTF-16. Every narrow code page is UTF-8
// here (CP_ACP included). Bad UTF-8 bytes and lone surrogates become U+FFFD
// unless the caller asks for a failure with *_ERR_INVALID_CHARS.
#pragma once

#include <string>
#include <string_view>

#include "platform/win/win32_errors.h"
#include "platform/win/win_types.h"

typedef WCHAR OLECHAR;
typedef OLECHAR* LPOLESTR;
typedef const OLECHAR* LPCOLESTR;

inline constexpr UINT CP_ACP = 0;
inline constexpr UINT CP_OEMCP = 1;
inline constexpr UINT CP_THREAD_ACP = 3;
inline constexpr UINT CP_UTF8 = 65001;

inline constexpr DWORD MB_ERR_INVALID_CHARS = 0x00000008;
inline constexpr DWORD WC_ERR_INVALID_CHARS = 0x00000080;

// UTF-16 -> narrow. cchWideChar -1: the input is NUL-terminated and the count
// returned includes the terminator. cbMultiByte 0: returns the size needed.
// Returns 0 and sets the last error (ERROR_INSUFFICIENT_BUFFER,
// ERROR_INVALID_PARAMETER, ERROR_NO_UNICODE_TRANSLATION) on failure.
// *lpUsedDefaultChar, when given, tells whether a replacement was made.
int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWCH lpWideCharStr, int cchWideChar,
                        LPSTR lpMultiByteStr, int cbMultiByte, LPCCH lpDefaultChar,
                        LPBOOL lpUsedDefaultChar);

// Narrow -> UTF-16, with the same counting and failure rules.
int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCCH lpMultiByteStr, int cbMultiByte,
                        LPWSTR lpWideCharStr, int cchWideChar);

namespace ardo {

// Lossless for valid input; never fails (bad input becomes U+FFFD).
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);
// UTF-32 (wchar_t on this platform) to UTF-8; invalid code points become U+FFFD.
std::string WideToUtf8(std::wstring_view text);

// A new BSTR holding the UTF-8 text; null in gives null out, and so does a
// failed allocation. The caller frees it with SysFreeString.
OLECHAR* Utf8ToBstr(const char* text);
// The same for every byte of a view, NULs included (null only when the
// allocation failed).
OLECHAR* Utf8ToBstr(std::string_view text);
// UTF-8 of a UTF-16 string up to its first NUL; null gives "".
std::string BstrToUtf8(const OLECHAR* text);

}  // namespace ardo
