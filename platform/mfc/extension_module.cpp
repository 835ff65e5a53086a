#include "platform/mfc/extension_module.h"

#include <mutex>

IMPLEMENT_DYNAMIC(CDynLinkLibrary, CObject)

namespace {

struct LibraryList {
  std::mutex mutex;
  CDynLinkLibrary* head = nullptr;
};

LibraryList& Libraries() {
  static LibraryList* list = new LibraryList;
  return *list;
}

}  // namespace

BOOL AfxInitExtensionModule(AFX_EXTENSION_MODULE& state, HMODULE hModule) {
  if (state.bInitialized) return TRUE;
  state.hModule = hModule;
  state.hResource = hModule;
  state.bInitialized = TRUE;
  return TRUE;
}

void AfxTermExtensionModule(AFX_EXTENSION_MODULE& state, BOOL bAll) {
  // Unlink under the lock, delete outside it (destructors unlink themselves).
  CDynLinkLibrary* doomed = nullptr;
  {
    LibraryList& list = Libraries();
    std::lock_guard<std::mutex> lock(list.mutex);
    CDynLinkLibrary** link = &list.head;
    while (*link) {
      CDynLinkLibrary* library = *link;
      if (bAll || library->m_hModule == state.hModule) {
        *link = library->m_pNextDLL;
        library->m_pNextDLL = doomed;
        doomed = library;
      } else {
        link = &library->m_pNextDLL;
      }
    }
  }
  while (doomed) {
    CDynLinkLibrary* next = doomed->m_pNextDLL;
    doomed->m_pNextDLL = nullptr;
    delete doomed;
    doomed = next;
  }
  state.bInitialized = FALSE;
}

CDynLinkLibrary::CDynLinkLibrary(AFX_EXTENSION_MODULE& state, BOOL bSystem)
    : m_hModule(state.hModule),
      m_hResource(state.hResource),
      m_pFirstSharedClass(state.pFirstSharedClass),
      m_pFirstSharedFactory(state.pFirstSharedFactory),
      m_bSystem(bSystem),
      m_pNextDLL(nullptr) {
  LibraryList& list = Libraries();
  std::lock_guard<std::mutex> lock(list.mutex);
  m_pNextDLL = list.head;
  list.head = this;
}

CDynLinkLibrary::~CDynLinkLibrary() {
  LibraryList& list = Libraries();
  std::lock_guard<std::mutex> lock(list.mutex);
  for (CDynLinkLibrary** link = &list.head; *link; link = &(*link)->m_pNextDLL) {
    if (*link == this) {
      *link = m_pNextDLL;
      break;
    }
  }
}

namespace ardo {

int LinkedExtensionLibraryCount() {
  LibraryList& list = Libraries();
  std::lock_guard<std::mutex> lock(list.mutex);
  int count = 0;
  for (CDynLinkLibrary* library = list.head; library; library = library->m_pNextDLL) ++count;
  return count;
}

int LinkedExtensionLibraryCount(HMODULE hModule) {
  LibraryList& list = Libraries();
  std::lock_guard<std::mutex> lock(list.mutex);
  int count = 0;
  for (CDynLinkLibrary* library = list.head; library; library = library->m_pNextDLL)
    if (library->m_hModule == hModule) ++count;
  return count;
}

}  // namespace ardo
