// _com_error: the COM support classes' error, thrown by value.
#pragma once

#include <string>

#include "platform/com/hresult.h"

class _com_error {
 public:
  explicit _com_error(HRESULT hr) : hr_(hr) {}
  HRESULT Error() const { return hr_; }
  WORD WCode() const;  // the Win32 code of a Win32-facility HRESULT, else 0
  // The status code's message (owned by the error object).
  const char* ErrorMessage() const;

 private:
  HRESULT hr_;
  mutable std::string message_;
};

// Throws _com_error(hr).
[[noreturn]] void _com_issue_error(HRESULT hr);
