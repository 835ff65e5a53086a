#include "platform/comsupport/com_error.h"

WORD _com_error::WCode() const {
  return HRESULT_FACILITY(hr_) == FACILITY_WIN32 && FAILED(hr_)
             ? static_cast<WORD>(HRESULT_CODE(hr_))
             : 0;
}

const char* _com_error::ErrorMessage() const {
  if (message_.empty()) message_ = ardo::HResultMessage(hr_);
  return message_.c_str();
}

void _com_issue_error(HRESULT hr) { throw _com_error(hr); }
