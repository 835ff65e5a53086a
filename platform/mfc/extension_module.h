// The extension-module record and the list of linked extension libraries,
// which a dynamic library uses to join the host's class framework on load.
#pragma once

#include "platform/mfc/object.h"

class COleObjectFactory;  // not provided: no object factories are shared

struct AFX_EXTENSION_MODULE {
  BOOL bInitialized;
  HMODULE hModule;
  HMODULE hResource;
  CRuntimeClass* pFirstSharedClass;
  COleObjectFactory* pFirstSharedFactory;
};

// Marks the record initialised for the module; returns TRUE (also when it
// already was).
BOOL AfxInitExtensionModule(AFX_EXTENSION_MODULE& state, HMODULE hModule);
// Unlinks and deletes the module's CDynLinkLibrary objects (bAll: every
// module's) and clears the initialised flag.
void AfxTermExtensionModule(AFX_EXTENSION_MODULE& state, BOOL bAll = FALSE);

// A library linked into the process-wide list for as long as it exists
// (created on the heap at load; deleted by AfxTermExtensionModule).
class CDynLinkLibrary : public CObject {
  DECLARE_DYNAMIC(CDynLinkLibrary)
 public:
  CDynLinkLibrary(AFX_EXTENSION_MODULE& state, BOOL bSystem = FALSE);
  ~CDynLinkLibrary() override;

  HMODULE m_hModule;
  HMODULE m_hResource;
  CRuntimeClass* m_pFirstSharedClass;
  COleObjectFactory* m_pFirstSharedFactory;
  BOOL m_bSystem;
  CDynLinkLibrary* m_pNextDLL;
};

namespace ardo {

// How many CDynLinkLibrary objects are linked now (all modules, or one).
int LinkedExtensionLibraryCount();
int LinkedExtensionLibraryCount(HMODULE hModule);

}  // namespace ardo
