#include "platform/mfc/exception.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

IMPLEMENT_DYNAMIC(CException, CObject)
IMPLEMENT_DYNAMIC(CMemoryException, CException)
IMPLEMENT_DYNAMIC(COleException, CException)

namespace {

// Copies text into a caller's buffer, truncating, always terminated.
BOOL CopyMessage(const std::string& text, LPTSTR buffer, UINT size, PUINT helpContext) {
  if (helpContext) *helpContext = 0;
  if (!buffer || size == 0) return FALSE;
  size_t count = text.size() < size - 1 ? text.size() : size - 1;
  std::memcpy(buffer, text.data(), count);
  buffer[count] = '\0';
  return TRUE;
}

}  // namespace

CException::CException(BOOL bAutoDelete) : m_bAutoDelete(bAutoDelete) {}
CException::~CException() = default;

void CException::Delete() {
  if (m_bAutoDelete) delete this;
}

BOOL CException::GetErrorMessage(LPTSTR lpszError, UINT nMaxError, PUINT pnHelpContext) const {
  if (pnHelpContext) *pnHelpContext = 0;
  if (lpszError && nMaxError > 0) lpszError[0] = '\0';
  return FALSE;
}

BOOL CException::GetErrorMessage(LPTSTR lpszError, UINT nMaxError, PUINT pnHelpContext) {
  return static_cast<const CException*>(this)->GetErrorMessage(lpszError, nMaxError,
                                                               pnHelpContext);
}

int CException::ReportError(UINT, UINT) {
  char message[512];
  if (!GetErrorMessage(message, sizeof message)) std::strcpy(message, "An unknown error occurred.");
  std::fprintf(stderr, "%s\n", message);
  return 0;
}

BOOL CMemoryException::GetErrorMessage(LPTSTR lpszError, UINT nMaxError,
                                       PUINT pnHelpContext) const {
  return CopyMessage("Out of memory.", lpszError, nMaxError, pnHelpContext);
}

BOOL COleException::GetErrorMessage(LPTSTR lpszError, UINT nMaxError, PUINT pnHelpContext) const {
  return CopyMessage(ardo::HResultMessage(m_sc), lpszError, nMaxError, pnHelpContext);
}

SCODE COleException::Process(const CException* pAnyException) {
  if (!pAnyException) return E_UNEXPECTED;
  if (pAnyException->IsKindOf(RUNTIME_CLASS(COleException)))
    return static_cast<const COleException*>(pAnyException)->m_sc;
  if (pAnyException->IsKindOf(RUNTIME_CLASS(CMemoryException))) return E_OUTOFMEMORY;
  return E_UNEXPECTED;
}

void AfxThrowOleException(SCODE sc) {
  COleException* e = new (std::nothrow) COleException(sc);
  if (!e) AfxThrowMemoryException();
  throw e;
}

void AfxThrowMemoryException() {
  // With no memory left for a new exception, throw one kept for the purpose;
  // its auto-delete flag is off, so the catcher's Delete() leaves it alone.
  static CMemoryException reserve(FALSE);
  CMemoryException* e = new (std::nothrow) CMemoryException(TRUE);
  throw e ? e : &reserve;
}
