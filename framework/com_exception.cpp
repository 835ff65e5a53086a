#include "framework/com_exception.h"

CComException::CComException(long hr) : CException(TRUE), m_hr(hr) {}

CComException::~CComException() = default;

void CComException::Throw(long hr) {
  throw new CComException(hr);
}

void AfxThrowComException(long hr) {
  CComException::Throw(hr);
}
