// CComException: the library's one error type. Every wrapper method whose
// interface call fails, and every component-class creation that does not
// answer S_OK, throws one carrying the HRESULT unchanged.
//
// It follows the class framework's convention: a heap object thrown by
// pointer, caught as CComException*, CException* or CObject*, and freed by
// the catcher with Delete().
//
//   try { doc.LoadXML(text); }
//   catch (CComException* e) { long hr = e->m_hr; e->Delete(); ... }
#pragma once

#include "platform/platform.h"

class CComException : public CException {
 public:
  // Auto-delete is on, so Delete() frees the object.
  explicit CComException(long hr);
  ~CComException() override;

  // Allocates a CComException(hr) and throws its address. Under memory
  // exhaustion the allocation itself throws CMemoryException* instead.
  [[noreturn]] static void Throw(long hr);

  // The HRESULT of the failing call, sign-extended.
  long m_hr;
};

// Throws CComException(hr) for any hr, S_OK included: the callers decide
// what counts as failure.
[[noreturn]] void AfxThrowComException(long hr);
