// Joining the host's class framework as an extension module. The library
// keeps one module-wide record, registered when the library is loaded and
// ended when it is unloaded; start-up does nothing else (no COM
// initialisation, no engine objects, no configuration, no threads).
//
// A shared library has no entry function here, so the load and unload steps
// run from one static object's constructor and destructor.
#include <dlfcn.h>

#include "platform/platform.h"

namespace {

AFX_EXTENSION_MODULE g_extensionModule = {};

// The handle of this library: the base address it was loaded at.
HMODULE ThisModule() {
  Dl_info info{};
  return dladdr(reinterpret_cast<void*>(&g_extensionModule), &info) ? info.dli_fbase : nullptr;
}

class ExtensionModuleRegistration {
 public:
  ExtensionModuleRegistration() {
    if (!AfxInitExtensionModule(g_extensionModule, ThisModule())) {
      // The load would fail here; undo the partial registration instead.
      AfxTermExtensionModule(g_extensionModule, FALSE);
      return;
    }
    // Linked into the framework's list by its constructor; deleted by
    // AfxTermExtensionModule, never by us.
    new CDynLinkLibrary(g_extensionModule, FALSE);
  }
  ~ExtensionModuleRegistration() { AfxTermExtensionModule(g_extensionModule, FALSE); }

  ExtensionModuleRegistration(const ExtensionModuleRegistration&) = delete;
  ExtensionModuleRegistration& operator=(const ExtensionModuleRegistration&) = delete;
};

const ExtensionModuleRegistration g_registration;

}  // namespace
