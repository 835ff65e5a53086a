// Win32 system error codes, from one list: the constants here, their names
// in ardo::HResultName (as HRESULT_FROM_WIN32(...)) and their messages.
#pragma once

#include "platform/win/win_types.h"

// X(name, value, message)
#define ARDO_WIN32_ERROR_LIST(X)                                                   \
  X(ERROR_SUCCESS, 0, "The operation completed successfully.")                     \
  X(ERROR_INVALID_FUNCTION, 1, "Incorrect function.")                              \
  X(ERROR_FILE_NOT_FOUND, 2, "The system cannot find the file specified.")         \
  X(ERROR_PATH_NOT_FOUND, 3, "The system cannot find the path specified.")         \
  X(ERROR_ACCESS_DENIED, 5, "Access is denied.")                                   \
  X(ERROR_INVALID_HANDLE, 6, "The handle is invalid.")                             \
  X(ERROR_NOT_ENOUGH_MEMORY, 8, "Not enough memory resources are available.")      \
  X(ERROR_INVALID_DATA, 13, "The data is invalid.")                                \
  X(ERROR_OUTOFMEMORY, 14, "Not enough memory resources are available.")           \
  X(ERROR_NOT_SUPPORTED, 50, "The request is not supported.")                      \
  X(ERROR_INVALID_PARAMETER, 87, "The parameter is incorrect.")                    \
  X(ERROR_CALL_NOT_IMPLEMENTED, 120, "This function is not supported.")            \
  X(ERROR_INSUFFICIENT_BUFFER, 122, "The data area passed is too small.")          \
  X(ERROR_TIMEOUT, 1460, "The operation timed out.")                               \
  X(ERROR_NO_UNICODE_TRANSLATION, 1113,                                            \
    "No mapping for the Unicode character exists in the target code page.")

#define ARDO_DEFINE_WIN32_ERROR(name, value, message) inline constexpr DWORD name = value;
ARDO_WIN32_ERROR_LIST(ARDO_DEFINE_WIN32_ERROR)
#undef ARDO_DEFINE_WIN32_ERROR

// The calling thread's last error code (thread-local, 0 at thread start).
DWORD GetLastError();
void SetLastError(DWORD code);
