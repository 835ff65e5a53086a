#include "platform/com/hresult.h"

#include <cstdio>

namespace {

struct NamedCode {
  HRESULT hr;
  const char* name;
  const char* message;
};

#define ARDO_HRESULT_ENTRY(name, value, message) {name, #name, message},
constexpr NamedCode kCodes[] = {ARDO_HRESULT_LIST(ARDO_HRESULT_ENTRY)};
#undef ARDO_HRESULT_ENTRY

struct NamedWin32Error {
  DWORD code;
  const char* name;
  const char* message;
};

#define ARDO_WIN32_ENTRY(name, value, message) {name, #name, message},
constexpr NamedWin32Error kWin32Errors[] = {ARDO_WIN32_ERROR_LIST(ARDO_WIN32_ENTRY)};
#undef ARDO_WIN32_ENTRY

const NamedCode* FindCode(HRESULT hr) {
  for (const auto& code : kCodes)
    if (code.hr == hr) return &code;
  return nullptr;
}

// The Win32 error behind an HRESULT of the Win32 facility, if it has a name.
const NamedWin32Error* FindWin32Error(HRESULT hr) {
  if (HRESULT_FACILITY(hr) != FACILITY_WIN32 || SUCCEEDED(hr)) return nullptr;
  for (const auto& error : kWin32Errors)
    if (error.code != 0 && HRESULT_FROM_WIN32(error.code) == hr) return &error;
  return nullptr;
}

std::string Hex(HRESULT hr) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(hr));
  return buf;
}

}  // namespace

namespace ardo {

std::string HResultName(HRESULT hr) {
  if (const NamedCode* code = FindCode(hr)) return code->name;
  if (const NamedWin32Error* error = FindWin32Error(hr))
    return std::string("HRESULT_FROM_WIN32(") + error->name + ")";
  return Hex(hr);
}

std::string HResultMessage(HRESULT hr) {
  if (const NamedCode* code = FindCode(hr)) return code->message;
  if (const NamedWin32Error* error = FindWin32Error(hr)) return error->message;
  return "Unknown error " + Hex(hr) + ".";
}

}  // namespace ardo
