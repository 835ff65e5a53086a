// Engine start-up, run once when the library is loaded: libxml2 is
// initialised (and never cleaned up while the process runs), its and
// libxslt's generic messages are silenced for good (each engine call
// captures what it needs through error_capture.h), the external-entity
// loader that keeps the engine off the network is installed, and the DOM
// document classes and the type library that lets hosts bind to the DOM
// late are registered with the COM runtime.
#include <libxml/globals.h>
#include <libxml/parser.h>
#include <libxslt/extensions.h>
#include <libxslt/xslt.h>
#include <libxslt/xsltutils.h>

#include "engine/common/error_capture.h"
#include "engine/dom/document_factory.h"
#include "engine/dom/dom_dispatch.h"
#include "engine/dom/document_loader.h"
#include "engine/xslt/stylesheet_transform.h"

namespace ardo::engine {
namespace {

void Silent(void*, const char*, ...) {}

struct EngineStartup {
  EngineStartup() {
    xmlInitParser();
    xmlSetGenericErrorFunc(nullptr, Silent);
    xmlThrDefSetGenericErrorFunc(nullptr, Silent);
    xsltSetGenericErrorFunc(nullptr, ErrorCapture::GenericMessage);
    xsltSetGenericDebugFunc(nullptr, Silent);
    InstallEntityLoader();
    // libxslt sets up its globals (the extension lock, its extra functions)
    // on the first style sheet otherwise: two threads compiling their first
    // ones at once would both do it.
    xsltInitGlobals();
    xsltInit();
    InitTransforms();
    RegisterDocumentClasses();
    ServeDomLateBinding();
  }
};

const EngineStartup g_startup;

}  // namespace
}  // namespace ardo::engine
