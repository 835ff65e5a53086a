// The framework's exceptions: heap objects thrown by pointer; the catcher
// ends its handling with Delete(), which frees an auto-delete exception.
#pragma once

#include "platform/com/hresult.h"
#include "platform/mfc/object.h"

class CException : public CObject {
  DECLARE_DYNAMIC(CException)
 public:
  explicit CException(BOOL bAutoDelete = TRUE);
  ~CException() override;

  // Frees the object when its auto-delete flag is set; else does nothing.
  void Delete();

  // Copies the message (truncated, always NUL-terminated) into lpszError
  // and returns TRUE; a plain exception has no message: FALSE and "".
  virtual BOOL GetErrorMessage(LPTSTR lpszError, UINT nMaxError,
                               PUINT pnHelpContext = nullptr) const;
  virtual BOOL GetErrorMessage(LPTSTR lpszError, UINT nMaxError, PUINT pnHelpContext = nullptr);
  // Writes the message (or a generic one) to stderr; returns 0.
  virtual int ReportError(UINT nType = MB_OK, UINT nMessageID = 0);

  BOOL m_bAutoDelete;
};

class CMemoryException : public CException {
  DECLARE_DYNAMIC(CMemoryException)
 public:
  explicit CMemoryException(BOOL bAutoDelete = TRUE) : CException(bAutoDelete) {}
  BOOL GetErrorMessage(LPTSTR lpszError, UINT nMaxError,
                       PUINT pnHelpContext = nullptr) const override;
  using CException::GetErrorMessage;
};

class COleException : public CException {
  DECLARE_DYNAMIC(COleException)
 public:
  explicit COleException(SCODE sc = E_FAIL) : m_sc(sc) {}
  // The status code's message.
  BOOL GetErrorMessage(LPTSTR lpszError, UINT nMaxError,
                       PUINT pnHelpContext = nullptr) const override;
  using CException::GetErrorMessage;
  // The status carried by an exception: m_sc for a COleException,
  // E_OUTOFMEMORY for a memory exception, E_UNEXPECTED otherwise.
  static SCODE Process(const CException* pAnyException);

  SCODE m_sc;
};

// Throw a new heap exception by pointer; they do not return. Should memory
// run out, the memory exception falls back to a static, non-auto-delete object.
[[noreturn]] void AfxThrowOleException(SCODE sc);
[[noreturn]] void AfxThrowMemoryException();
